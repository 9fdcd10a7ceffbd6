// Print, preview and save-as: every option is checked before the report runs.

#include "form/TfrmRelatPrato.h"
#include "host/Errors.h"
#include "host/Messages.h"
#include "host/Utils.h"

namespace pla013 {

using namespace host;

void TfrmRelatPrato::sbtPrintClick(TObject* Sender) {
    Vd_Impressao(true);
    TfrmDadosGerRel::sbtPrintClick(Sender);
}

void TfrmRelatPrato::sbtSalvarComoClick(TObject* Sender) {
    Vd_Impressao(true);
    TfrmDadosGerRel::sbtSalvarComoClick(Sender);
}

void TfrmRelatPrato::sbtPreviewClick(TObject* Sender) {
    Vd_Impressao(true);
    const int p = cbbReportNames->ItemIndex();
    if (p != 1 && p != 7 && p != 8) {
        TfrmDadosGerRel::sbtPreviewClick(Sender);
        return;
    }
    if (chbProduto->Checked() || chbModPrep->Checked() || chbFoto->Checked()) {
        TfrmDadosGerRel::sbtPreviewClick(Sender);
        return;
    }
    if (p == 1 && chbNutriente->Checked()) {
        TfrmDadosGerRel::sbtPreviewClick(Sender);
        return;
    }
    chbProduto->SetFocus();
    MensErro(msgPadrao->Msg("Rec_Deve"), true);
}

void TfrmRelatPrato::Vd_Impressao(bool Obrigatorio) {
    const int p = cbbReportNames->ItemIndex();
    const char modulo = ModuloAtiv();
    Vd_TipoCard(modulo == '8' || modulo == 'L');

    if (depDataInic->Enabled() && depDataFina->Enabled()) {
        if (depDataInic->Focused()) depDataInic->CheckValidDate();
        if (depDataFina->Focused()) depDataFina->CheckValidDate();
        if (EmptyString(depDataInic->Text())) {
            depDataInic->SetFocus();
            MensErro(msgPadrao->Msg("DATAINI"), true);
        }
        if (EmptyString(depDataFina->Text())) {
            depDataFina->SetFocus();
            MensErro(msgPadrao->Msg("DATAFIN"), true);
        }
    }

    if (p == 4 || p == 5 || p == 8) {
        if (rbtListFili->Checked() && EmptyString(FListaFilial)) {
            // For the report at position 8 the group lies on a page that is not
            // shown: the focus request is refused and logged, the message stands.
            grbFilial->SetFocus();
            MensErro(msgPadrao->Msg("FILI_EMPTY"), true);
        }
    } else {
        if (rdbLocal->Checked() || rdbServico->Checked()) Vd_CdFilial(Obrigatorio);
        if (rdbServico->Checked() && p != 6) Vd_CdServFili(Obrigatorio);
    }

    if (medCdPratoFin->Focused()) {
        Vd_CdPrato(medCdPratoFin, edtNmPratoFin, Obrigatorio);
        Vd_CdPrato(medCdPratoIni, edtNmPratoIni, Obrigatorio);
    } else {
        Vd_CdPrato(medCdPratoIni, edtNmPratoIni, Obrigatorio);
        Vd_CdPrato(medCdPratoFin, edtNmPratoFin, Obrigatorio);
    }

    // Ordinal, byte by byte; a proper prefix is the smaller.
    if (medCdPratoIni->Text().compare(medCdPratoFin->Text()) > 0) {
        medCdPratoFin->SetFocus();
        MensErro(msgPadrao->Msg("PRATOINI>PRATOFIN"), true);
    }

    if (p == 8) {
        Vd_FilialLista(true);
        Vd_ServicoLista(true);
    }

    Vd_NrNivel();
}

void TfrmRelatPrato::Vd_NrNivel() {
    if (rdgDadosOperador->ItemIndex() != 1) return;
    try {
        if (EmptyString(speNivel->Text()) || speNivel->Value() < 0 || speNivel->Value() > speNivel->MaxValue())
            MensErro(Format(msgPadrao->Msg("NIVEL_INV"), {Variant(speNivel->MaxValue())}), true);
    } catch (const EAbort&) {
        speNivel->SetFocus();
        throw;
    }
}

}  // namespace pla013
