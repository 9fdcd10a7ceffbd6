// The menu type field of the "TipoCard" page.

#include "form/TfrmRelatPrato.h"
#include "host/Utils.h"

namespace pla013 {

using namespace host;

void TfrmRelatPrato::medCdTpCardChange(TObject*) { edtNmTpCard->SetText(""); }

void TfrmRelatPrato::medCdTpCardExit(TObject*) { Vd_TipoCard(false); }

void TfrmRelatPrato::btpTpCardBeforePesq(TObject*, bool&) {
    qryTipoCard->Close();
    qryTipoCard->ParamByName("P_CDFILCENTPME").SetAsString(medCdCentral->Text());
    qryTipoCard->ParamByName("P_CDTIPOCARD").Clear();
    qryTipoCard->Open();
}

void TfrmRelatPrato::btpTpCardAfterPesq(TObject*) {
    medCdTpCard->SetText(qryTipoCardCDTIPOCARD->AsString());
    edtNmTpCard->SetText(qryTipoCardNMTIPOCARD->AsString());
}

void TfrmRelatPrato::Vd_TipoCard(bool Obrigatorio) {
    const bool vazio = EmptyString(medCdTpCard->Text());
    if (FArqRelat != "PLA01308.QR2") return;
    if (!medCdTpCard->Enabled()) {
        cbbReportNames->SetFocus();
        MensErro(msgPadrao->Msg("Filial_N_Central"), true);
    }
    if (!rdbTipo->Checked()) return;
    if (Obrigatorio && vazio) {
        medCdTpCard->SetFocus();
        MensErro(msgPadrao->Msg("TipoCard_inf"), true);
    }
    if (vazio) return;
    medCdTpCard->SetText(Ajusta(medCdTpCard->Text(), 10));
    qryTipoCard->Close();
    qryTipoCard->ParamByName("P_CDFILCENTPME").SetAsString(medCdCentral->Text());
    qryTipoCard->ParamByName("P_CDTIPOCARD").SetAsString(medCdTpCard->Text());
    qryTipoCard->Open();
    if (qryTipoCard->IsEmpty()) MensErro(msgPadrao->Msg("TipoCard_cad"), true);
    edtNmTpCard->SetText(qryTipoCardNMTIPOCARD->AsString());
}

}  // namespace pla013
