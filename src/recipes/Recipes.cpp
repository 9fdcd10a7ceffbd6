// Recipe data from the application server: the two connections and the three
// comparison data sets.

#include "form/TfrmRelatPrato.h"
#include "host/Errors.h"
#include "host/Utils.h"
#include "recipes/RecipeMerge.h"
#include "shell/Cli_pla01303.h"

namespace pla013 {

using namespace host;

namespace {

void esvazia(TClientDataSet* cds) {
    if (cds->Active())
        cds->EmptyDataSet();
    else
        cds->CreateDataSet();
}

const DataPacket& pacote(const Variant& resultado, std::size_t indice) {
    auto p = resultado.at(indice).packet();
    if (!p) throw EVariantError("O elemento " + std::to_string(indice) + " da resposta não é um pacote de dados.");
    return *p;
}

const std::vector<std::string> kLadoPadrao = {"CDPRODUTOP",  "CDARVP",      "NMPRODUTOP",
                                              "SGUNIDPRODP", "QTBRUTPRODP", "VRCUSTPRODP"};

std::vector<std::string> ladoComSufixo(char sufixo) {
    std::vector<std::string> out;
    for (std::string c : kLadoPadrao) {
        c.back() = sufixo;
        out.push_back(c);
    }
    return out;
}

// The filter that restricts a line data set to one dish's lines; values are
// quoted with inner quotes doubled, so that a code cannot break the filter.
std::string filtroDoPrato(const std::string& campoPrato, const std::string& campoDono, const std::string& sepDono,
                          const std::string& prato, const std::string& dono) {
    return campoPrato + " = '" + QuotedFilterValue(prato) + "'" + "AND " + campoDono + sepDono + "'" +
           QuotedFilterValue(dono) + "'";
}

// The composition replaces the content of target; the line data sets keep
// the filter of the last dish, as a dish-by-dish pass would leave them.
void compoe(TClientDataSet* pratos, TClientDataSet* padrao, TClientDataSet* outra, TClientDataSet* destino,
            const RecipeSide& ladoPadrao, const RecipeSide& ladoOutro, const std::string& sepPadrao,
            const std::string& sepOutro) {
    if (pratos->IsEmpty()) return;
    const DataPacket listaPratos = pratos->Data();
    destino->SetData(ComposeRecipes(listaPratos, padrao->Data(), outra->Data(), ladoPadrao, ladoOutro,
                                    destino->FieldDefs));
    pratos->Last();
    const std::string prato = pratos->FieldByName("CDPRATO").AsString();
    const std::string dono = pratos->FieldByName("CDFILAUXPRAT").AsString();
    padrao->SetFiltered(true);
    padrao->SetFilter(filtroDoPrato(ladoPadrao.dishField, ladoPadrao.ownerField, sepPadrao, prato, dono));
    outra->SetFiltered(true);
    outra->SetFilter(filtroDoPrato(ladoOutro.dishField, ladoOutro.ownerField, sepOutro, prato, dono));
}

// Shows the progress window for as long as it lives.
class JanelaProgresso {
public:
    JanelaProgresso(TForm* form, const std::string& texto) { ActiveShowAvi(form, 6, texto); }
    ~JanelaProgresso() {
        try {
            DeactiveShowAvi();
        } catch (...) {
        }
    }
    JanelaProgresso(const JanelaProgresso&) = delete;
    JanelaProgresso& operator=(const JanelaProgresso&) = delete;
};

}  // namespace

void TfrmRelatPrato::netCustProdBeforeConnect(TObject*) {
    netCustProd->SetHost(WebURL());
    netCustProd->SetPort(WebPort());
}

void TfrmRelatPrato::netEmissaoReceitaBeforeConnect(TObject*) {
    netEmissaoReceita->SetHost(WebURL());
    netEmissaoReceita->SetPort(WebPort());
}

void TfrmRelatPrato::RelCompRecPL(std::string CdPratoInic, std::string CdPratoFina) {
    for (TClientDataSet* cds : {cdsReceitaPadLoc, cdsPratosRel, cdsPratoPadr, cdsPratoLoca}) esvazia(cds);
    FCdFilialRec = rdbPadrao->Checked() ? FCdFilial : medCdFilial->Text();
    const int tipoCusto = NumeroTipoCusto(cbbTipoCust->ItemIndex());
    const TDateTime referencia = DataProc(FCdFilial);
    const Variant resultado = netEmissaoReceita->Call(
        "GetRelCompRecPL", {{CallArg::Kind::TextByRef, FCdFilialRec},
                            {CallArg::Kind::TextByRef, CdPratoInic},
                            {CallArg::Kind::TextByRef, CdPratoFina},
                            {CallArg::Kind::Int32, Variant(tipoCusto)},
                            {CallArg::Kind::Date, Variant::date(referencia)}});
    cdsPratosRel->SetData(pacote(resultado, 0));
    cdsPratoPadr->SetData(pacote(resultado, 1));
    cdsPratoLoca->SetData(pacote(resultado, 2));
    compoe(cdsPratosRel, cdsPratoPadr, cdsPratoLoca, cdsReceitaPadLoc, {"CDPRATOP", "CDFILAUXPRATP", kLadoPadrao},
           {"CDPRATOL", "CDFILAUXPRATL", ladoComSufixo('L')}, " = ", " =");
}

void TfrmRelatPrato::RelCompRecPS(std::string CdPratoInic, std::string CdPratoFina) {
    for (TClientDataSet* cds : {cdsReceitaPadSer, cdsPratosRelPS, cdsPratoPadr, cdsPratoServ}) esvazia(cds);
    FCdFilialRec = rdbPadrao->Checked() ? FCdFilial : medCdFilial->Text();
    const std::string servico = rdbServico->Checked() ? medCdServFili->Text() : std::string("XXX");
    const int tipoCusto = NumeroTipoCusto(cbbTipoCust->ItemIndex());
    const TDateTime referencia = DataProc(FCdFilial);
    const std::string filial = medCdFilial->Text();
    const Variant resultado = netEmissaoReceita->Call(
        "GetRelCompRecPS", {{CallArg::Kind::TextByValue, filial},
                            {CallArg::Kind::TextByRef, FCdFilialRec},
                            {CallArg::Kind::TextByRef, CdPratoInic},
                            {CallArg::Kind::TextByRef, CdPratoFina},
                            {CallArg::Kind::TextByRef, servico},
                            {CallArg::Kind::Int32, Variant(tipoCusto)},
                            {CallArg::Kind::Date, Variant::date(referencia)}});
    cdsPratosRelPS->SetData(pacote(resultado, 0));
    cdsPratoPadr->SetData(pacote(resultado, 1));
    cdsPratoServ->SetData(pacote(resultado, 2));
    compoe(cdsPratosRelPS, cdsPratoPadr, cdsPratoServ, cdsReceitaPadSer, {"CDPRATOP", "CDFILAUXPRATP", kLadoPadrao},
           {"CDPRATOS", "CDFILAUXPRATS", ladoComSufixo('S')}, " = ", " =");
}

void TfrmRelatPrato::RelCRecPLCent(std::string CdPratoInic, std::string CdPratoFina) {
    esvazia(cdsRecPLCent);
    const std::string listaFiliais = rbtTodaFili->Checked() ? std::string("T") : FListaFilial;
    const std::string texto = msgPadrao->Msg("get_DadosRec");
    JanelaProgresso progresso(frmRelatPrato, texto);
    const TDateTime referencia = DataProc(FCdFilial);
    const int tipoCusto = NumeroTipoCusto(cbbTipoCust->ItemIndex());
    const Variant resultado = netEmissaoReceita->Call(
        "GetRelPlCent", {{CallArg::Kind::TextByRef, listaFiliais},
                         {CallArg::Kind::TextByRef, CdPratoInic},
                         {CallArg::Kind::TextByRef, CdPratoFina},
                         {CallArg::Kind::TextByValue, FCdFilial},
                         {CallArg::Kind::Int32, Variant(tipoCusto)},
                         {CallArg::Kind::Date, Variant::date(referencia)}});
    const Variant dados = CheckResultServ(resultado, true, 0);
    auto p = dados.packet();
    if (!p) throw EVariantError("A resposta de GetRelPlCent não traz um pacote de dados.");
    cdsRecPLCent->SetData(*p);
}

}  // namespace pla013
