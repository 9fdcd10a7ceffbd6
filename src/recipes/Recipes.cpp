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

// Shows the progress window for as long as it lives.
class JanelaProgresso {
public:
    JanelaProgresso(TForm* form, const std::string& texto) { ActiveShowAvi(form, 6, texto); }
    ~JanelaProgresso() {
        try {
            DeactiveShowAvi();
        } catch (...) {}
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
    Variant resultado = netEmissaoReceita->Call("GetRelCompRecPL", {{CallArg::Kind::TextByRef, FCdFilialRec},
                                                                    {CallArg::Kind::TextByRef, CdPratoInic},
                                                                    {CallArg::Kind::TextByRef, CdPratoFina},
                                                                    {CallArg::Kind::Int32, Variant(tipoCusto)},
                                                                    {CallArg::Kind::Date, Variant::date(referencia)}});
    LoadRecipeComparison(std::move(resultado), {cdsPratosRel, cdsPratoPadr, cdsPratoLoca, cdsReceitaPadLoc},
                         StandardRecipeSide(), LocalRecipeSide());
}

void TfrmRelatPrato::RelCompRecPS(std::string CdPratoInic, std::string CdPratoFina) {
    for (TClientDataSet* cds : {cdsReceitaPadSer, cdsPratosRelPS, cdsPratoPadr, cdsPratoServ}) esvazia(cds);
    FCdFilialRec = rdbPadrao->Checked() ? FCdFilial : medCdFilial->Text();
    const std::string servico = rdbServico->Checked() ? medCdServFili->Text() : std::string("XXX");
    const int tipoCusto = NumeroTipoCusto(cbbTipoCust->ItemIndex());
    const TDateTime referencia = DataProc(FCdFilial);
    const std::string filial = medCdFilial->Text();
    Variant resultado = netEmissaoReceita->Call("GetRelCompRecPS", {{CallArg::Kind::TextByValue, filial},
                                                                    {CallArg::Kind::TextByRef, FCdFilialRec},
                                                                    {CallArg::Kind::TextByRef, CdPratoInic},
                                                                    {CallArg::Kind::TextByRef, CdPratoFina},
                                                                    {CallArg::Kind::TextByRef, servico},
                                                                    {CallArg::Kind::Int32, Variant(tipoCusto)},
                                                                    {CallArg::Kind::Date, Variant::date(referencia)}});
    LoadRecipeComparison(std::move(resultado), {cdsPratosRelPS, cdsPratoPadr, cdsPratoServ, cdsReceitaPadSer},
                         StandardRecipeSide(), ServiceRecipeSide());
}

void TfrmRelatPrato::RelCRecPLCent(std::string CdPratoInic, std::string CdPratoFina) {
    esvazia(cdsRecPLCent);
    const std::string listaFiliais = rbtTodaFili->Checked() ? std::string("T") : FListaFilial;
    const std::string texto = msgPadrao->Msg("get_DadosRec");
    JanelaProgresso progresso(frmRelatPrato, texto);
    const TDateTime referencia = DataProc(FCdFilial);
    const int tipoCusto = NumeroTipoCusto(cbbTipoCust->ItemIndex());
    const Variant resultado =
        netEmissaoReceita->Call("GetRelPlCent", {{CallArg::Kind::TextByRef, listaFiliais},
                                                 {CallArg::Kind::TextByRef, CdPratoInic},
                                                 {CallArg::Kind::TextByRef, CdPratoFina},
                                                 {CallArg::Kind::TextByValue, FCdFilial},
                                                 {CallArg::Kind::Int32, Variant(tipoCusto)},
                                                 {CallArg::Kind::Date, Variant::date(referencia)}});
    const Variant dados = CheckResultServ(resultado, true, 0);
    auto p = dados.compactPacket();
    if (!p) throw EVariantError("A resposta de GetRelPlCent não traz um pacote de dados.");
    cdsRecPLCent->SetData(host::CompactPacket(*p));
}

}  // namespace pla013
