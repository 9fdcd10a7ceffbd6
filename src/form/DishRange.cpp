// The dish range fields.

#include "form/TfrmRelatPrato.h"
#include "host/Errors.h"
#include "host/Utils.h"

namespace pla013 {

using namespace host;

void TfrmRelatPrato::medCdPratoIniChange(TObject*) { edtNmPratoIni->SetText(""); }

void TfrmRelatPrato::medCdPratoIniExit(TObject*) { Vd_CdPrato(medCdPratoIni, edtNmPratoIni, false); }

void TfrmRelatPrato::medCdPratoFinChange(TObject*) { edtNmPratoFin->SetText(""); }

void TfrmRelatPrato::medCdPratoFinExit(TObject*) { Vd_CdPrato(medCdPratoFin, edtNmPratoFin, false); }

void TfrmRelatPrato::btnCdPratoIniBeforePesq(TObject*, bool&) {
    qryPrato->Close();
    qryPrato->ParamByName("P_CDFILAUXPRAT").SetAsString(medCdFilial->Text());
    qryPrato->ParamByName("P_CDPRATO").SetAsString("");
    qryPrato->ParamByName("P_TCDPRATO").SetAsString("T");
}

void TfrmRelatPrato::btnCdPratoIniAfterPesq(TObject*) {
    medCdPratoIni->SetText(qryPratoCDPRATO->AsString());
    edtNmPratoIni->SetText(qryPratoNMPRATO->AsString());
}

void TfrmRelatPrato::btnProdFinAfterPesq(TObject*) {
    medCdPratoFin->SetText(qryPratoCDPRATO->AsString());
    edtNmPratoFin->SetText(qryPratoNMPRATO->AsString());
}

void TfrmRelatPrato::Vd_CdPrato(TMaskEdit* medCodigo, TEdit* edtNome, bool Obrigatorio) {
    try {
        const std::string codigo = medCodigo->Text();
        if (EmptyString(codigo)) {
            if (!Obrigatorio) return;
            MensErro(msgPadrao->Msg(medCodigo->Name() == "medCdPratoIni" ? "PRATOINI_EMPTY" : "PRATOFIN_EMPTY"), true);
        }
        std::string copia = codigo;
        qryPrato->Close();
        qryPrato->ParamByName("P_CDFILAUXPRAT").SetAsString(medCdFilial->Text());
        qryPrato->ParamByName("P_CDPRATO").SetAsString(medCodigo->Text());
        qryPrato->ParamByName("P_TCDPRATO").SetAsString("");
        qryPrato->Open();
        ValidEx(dtsPrato__, TPictureType::ptPrato, copia, {}, "", true);
        if (qryPrato->IsEmpty()) {
            medCodigo->SetFocus();
            MensErro(msgPadrao->Msg("Prat_NCad"), true);
        }
        edtNome->SetText(qryPratoNMPRATO->AsString());
    } catch (const EAbort&) {
        medCodigo->SetFocus();
        throw;
    }
}

}  // namespace pla013
