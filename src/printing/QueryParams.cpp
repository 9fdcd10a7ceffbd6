// Binding of the filters to the report's query parameters.

#include "form/TfrmRelatPrato.h"
#include "host/Utils.h"

namespace pla013 {

using namespace host;

void TfrmRelatPrato::rpddPadraoBeforeGetQueryParams(TParams& Params, bool&) {
    const int p = cbbReportNames->ItemIndex();
    // Sets a parameter only when the report declares it.
    auto param = [&Params](const char* name) -> TParam* {
        return ExistParam(Params, name) ? &Params.ParamByName(name) : nullptr;
    };
    const bool padrao = rdbPadrao->Checked();

    if (TParam* par = param("P_CDFILAUXPRAT")) par->SetAsString(padrao ? std::string("P") : medCdFilial->Text());
    if (TParam* par = param("P_CDFILIAL")) par->SetAsString(padrao ? FCdFilial : medCdFilial->Text());
    if (TParam* par = param("P_CDSERVFILI"))
        par->SetAsString(rdbServico->Checked() ? medCdServFili->Text() : std::string("XXXXX"));
    if (TParam* par = param("P_CDFILIPROC")) par->SetAsString(iif(padrao, FCdFilial, medCdFilial->Text()));
    if (TParam* par = param("P_LISTAFILI")) {
        par->SetAsString(FListaFilial);
        if (rbtTodaFili->Checked()) par->SetAsString("T");
    }
    if (TParam* par = param("P_PRATOINICIAL")) par->SetAsString(medCdPratoIni->Text());
    if (TParam* par = param("P_PRATOFINAL")) par->SetAsString(medCdPratoFin->Text());

    const TDBPicture& picture = DBPictObj(TPictureType::ptPrato);
    const std::string pratoInicial = medCdPratoIni->Text();
    const std::string pratoFinal = medCdPratoFin->Text() + Replicate("Z", 10 - int(medCdPratoFin->Text().size()));

    if (TParam* par = param("P_CDPRATOINIC")) par->SetAsString(pratoInicial);
    if (TParam* par = param("P_CDPRATOFINA")) par->SetAsString(pratoFinal);
    if (TParam* par = param("P_MAXNIVEL")) par->SetAsInteger(picture.GetTtNiveis());
    if (TParam* par = param("P_NIVEL")) {
        if (rdgDadosOperador->ItemIndex() == 0)
            par->SetAsInteger(picture.TamAcNivel(std::to_string(picture.GetTtNiveis())));
        else if (rdgDadosOperador->ItemIndex() == 1)
            par->SetAsInteger(picture.TamAcNivel(std::to_string(speNivel->Value())));
    }
    if (TParam* par = param("P_ORDENA")) par->SetAsInteger(rdgDadosOperador->ItemIndex());
    if (TParam* par = param("P_IDTIPORECE")) {
        if (rdbPadrao->Checked()) par->SetAsString("P");
        if (rdbLocal->Checked()) par->SetAsString("F");
        if (rdbServico->Checked()) par->SetAsString("S");
    }
    auto simNao = [](bool v) { return std::string(v ? "S" : "N"); };
    if (TParam* par = param("P_IDRECEITA")) par->SetAsString(simNao(chbProduto->Checked()));
    if (TParam* par = param("P_IDPREPARO")) par->SetAsString(simNao(chbModPrep->Checked()));
    if (TParam* par = param("P_IDFOTO")) par->SetAsString(simNao(chbFoto->Checked()));
    if (TParam* par = param("P_IDNUTRIENTE")) par->SetAsString(simNao(chbNutriente->Checked()));
    if (TParam* par = param("P_NRTIPOCUST")) par->SetAsInteger(NumeroTipoCusto(cbbTipoCust->ItemIndex()));
    if (TParam* par = param("P_DTREFERENCIA")) par->SetAsDateTime(DataProc(FCdFilial));

    if (depDataInic->Enabled() && depDataFina->Enabled() && depDataFina->GetDate() < depDataInic->GetDate()) {
        depDataInic->SetFocus();
        MensErro(msgPadrao->Msg("datas"), true);
    }

    if (TParam* par = param("P_DTINICIAL")) par->SetAsDate(depDataInic->GetDate());
    if (TParam* par = param("P_DTFINAL")) par->SetAsDate(depDataFina->GetDate());
    if (TParam* par = param("P_DATAINICIAL")) par->SetAsString(depDataInic->Text());
    if (TParam* par = param("P_DATAFINAL")) par->SetAsString(depDataFina->Text());

    if (p == 2) RelCompRecPL(pratoInicial, pratoFinal);
    if (p == 3) RelCompRecPS(pratoInicial, pratoFinal);
    if (p == 4) RelCRecPLCent(pratoInicial, pratoFinal);

    if (TParam* par = param("P_CDFILCENTPME")) par->SetAsString(medCdCentral->Text());
    if (TParam* par = param("P_CDTIPOCARD")) par->SetAsString(medCdTpCard->Text());
    if (TParam* par = param("P_NMFILCENTPME")) par->SetAsString(edtNmCentral->Text());
    if (TParam* par = param("P_NMTIPOCARD")) par->SetAsString(edtNmTpCard->Text());

    if (p == 8) {
        if (rbtFilialTodas->Checked()) FListaFilial = "T";
        if (rdbServicoTodos->Checked()) FListaServico = "T";
        if (TParam* par = param("P_CDFILIAL")) par->SetAsString(FListaFilial);
        if (TParam* par = param("P_TCDFILIAL")) par->SetAsString(FListaFilial);
        if (TParam* par = param("P_CDFILISERV")) par->SetAsString(FListaServico);
        if (TParam* par = param("P_TCDFILISERV")) par->SetAsString(FListaServico);
    }
}

}  // namespace pla013
