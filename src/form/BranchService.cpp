// Branch and service code fields of the "Padrão" page.

#include "form/TfrmRelatPrato.h"
#include "host/Errors.h"
#include "host/Utils.h"

namespace pla013 {

using namespace host;

void TfrmRelatPrato::medCdFilialChange(TObject*) { edtNmFilial->SetText(""); }

void TfrmRelatPrato::medCdFilialExit(TObject*) { Vd_CdFilial(true); }

void TfrmRelatPrato::btnFilialBeforePesq(TObject*, bool&) { qryFilial->Close(); }

void TfrmRelatPrato::btnFilialAfterPesq(TObject*) {
    medCdFilial->SetText(qryFilialCDFILIAL->AsString());
    edtNmFilial->SetText(qryFilialNMFILIAL->AsString());
}

void TfrmRelatPrato::medCdServFiliChange(TObject*) { edtNmServico->SetText(""); }

void TfrmRelatPrato::medCdServFiliExit(TObject*) { Vd_CdServFili(false); }

void TfrmRelatPrato::btnServicoBeforePesq(TObject*, bool&) {
    qryServico->Close();
    qryServico->ParamByName("P_CDFILIAL").SetAsString(medCdFilial->Text());
}

void TfrmRelatPrato::btnServicoAfterPesq(TObject*) {
    medCdServFili->SetText(qryServicoCDSERVFILI->AsString());
    edtNmServico->SetText(qryServicoNMSERVICO->AsString());
}

void TfrmRelatPrato::Vd_CdFilial(bool Obrigatorio) {
    try {
        medCdFilial->SetText(Ajusta(medCdFilial->Text(), 4));
        const std::string nome = ValidaFilial(medCdFilial->Text(), Operador(), Obrigatorio);
        edtNmFilial->SetText(nome);
    } catch (const EAbort&) {
        if (medCdFilial->Enabled()) medCdFilial->SetFocus();
        throw;
    }
}

void TfrmRelatPrato::Vd_CdServFili(bool Obrigatorio) {
    try {
        const std::string codigo = medCdServFili->Text();
        if (EmptyString(codigo)) {
            if (!Obrigatorio) return;
            MensErro(msgPadrao->Msg("SERV_EMPTY"), true);
        }
        medCdServFili->SetText(Ajusta(codigo, 5));
        qryVdServico->Close();
        qryVdServico->ParamByName("P_CDFILIAL").SetAsString(medCdFilial->Text());
        qryVdServico->ParamByName("P_CDSERVFILI").SetAsString(medCdServFili->Text());
        qryVdServico->Open();
        if (qryVdServico->IsEmpty()) MensErro(msgPadrao->Msg("SERV_NCAD"), true);
        edtNmServico->SetText(qryVdServicoNMSERVICO->AsString());
    } catch (const EAbort&) {
        medCdServFili->SetFocus();
        throw;
    }
}

}  // namespace pla013
