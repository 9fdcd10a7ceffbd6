// The choice of report and the filter pages it shows.

#include "form/TfrmRelatPrato.h"
#include "host/Utils.h"

namespace pla013 {

using namespace host;

void TfrmRelatPrato::AplicaListaFilial() {
    const bool MF = ModuFili();
    SetChildEnabled(*grbFilial, !MF);
    rbtTodaFili->SetChecked(!MF);
    rbtTodaFili->SetEnabled(!MF);
    rbtListFili->SetChecked(MF);
    rbtListFili->SetEnabled(!MF);
    // Enabling the group enabled its dialog button too, and "Todas" runs no
    // click when it was checked already: the button is usable only while
    // "Lista" is chosen and the list is not the host's single branch.
    btnFilialCent->SetEnabled(rbtListFili->Checked() && !MF);
    if (MF) {
        btnFilialCent->SetEnabled(false);
        FListaFilial = FCdFilial;
    }
}

void TfrmRelatPrato::cbbReportNamesChange(TObject*) {
    const int p = cbbReportNames->ItemIndex();
    const bool MF = ModuFili();

    const std::string codigo = p >= 0 && p < int(FReportCodes.size()) ? FReportCodes[std::size_t(p)] : std::string();
    FArqRelat = lblCodTela->Caption().substr(0, 6) + codigo + ".QR2";
    Repaint();
    const bool Z = FArqRelat == "PLA0130A.QR2";
    const bool A = p == 1 || Z;

    const char modulo = ModuloAtiv();
    if (modulo == '8' || modulo == 'L') {
        rdbTipo->SetVisible(true);
        nbkFiltroFili->SetActivePage("TipoCard");
    } else {
        rdbTipo->SetVisible(false);
        nbkFiltroFili->SetActivePage("Padrão");
    }

    if (FArqRelat == "PLA01308.QR2") {
        rdbTipo->SetChecked(true);
        rdbPadrao->SetEnabled(false);
        rdbLocal->SetEnabled(false);
        rdbServico->SetEnabled(false);
        SetChildEnabled(*grbImprimir, true);
        chbNutriente->SetEnabled(p == 1);
        speNivel->SetEnabled(true);
        SetChildEnabled(*rdgDadosOperador, true);
        chbProduto->SetChecked(true);
        return;
    }

    nbkFiltroFili->SetActivePage("Padrão");
    rdbPadrao->SetEnabled(A);
    rdbLocal->SetEnabled(A);
    rdbServico->SetEnabled(A);
    rdbPadrao->SetChecked(A);
    SetChildEnabled(*grbImprimir, p == 1);
    chbNutriente->SetEnabled(p == 1);
    SetChildEnabled(*grbTipoCust, p == 2 || p == 3 || p == 4);
    speNivel->SetEnabled(p == 0 || p == 1);
    SetChildEnabled(*rdgDadosOperador, p == 0 || p == 1 || Z);
    chbProduto->SetChecked(A);
    SetChildEnabled(*grbData, p == 5);
    if (p == 0) rdbPadrao->SetChecked(true);
    if (p == 2) rdbLocal->SetChecked(true);
    if (p == 3) rdbServico->SetChecked(true);

    if (p == 4 || p == 5) {
        nbkFiltroFili->SetActivePage("ListaFilial");
        AplicaListaFilial();
    } else {
        nbkFiltroFili->SetActivePage("Padrão");
        if (p == 6) {
            const bool filial = !MF && !rdbPadrao->Checked();
            lblCdFilial->SetEnabled(filial);
            medCdFilial->SetEnabled(filial);
            btnFilial->SetEnabled(filial);
            lblCdServico->SetEnabled(false);
            medCdServFili->SetEnabled(false);
            btnServico->SetEnabled(false);
            if (!MF) {
                rdbLocal->SetChecked(false);
                rdbPadrao->SetChecked(false);
                rdbTipo->SetChecked(false);
                rdbServico->SetChecked(false);
            } else {
                rdbPadrao->SetChecked(true);
            }
        }
    }

    if (p == 8) {
        nbkFiltroFili->SetActivePage("ListaFilialEServico");
        SetChildEnabled(*grbFilialLista, !MF);
        rbtFilialTodas->SetChecked(!MF);
        rbtFilialTodas->SetEnabled(!MF);
        rbtFilialLista->SetChecked(MF);
        rbtFilialLista->SetEnabled(!MF);
        SetChildEnabled(*grbServico, true);
        rdbServicoTodos->SetChecked(true);
        rdbServicoTodos->SetEnabled(true);
        rdbServicoLista->SetChecked(false);
        rdbServicoLista->SetEnabled(true);
        // As on the branch-list page: enabling the groups enabled the dialog
        // buttons, which are usable only while their "Lista" is chosen.
        btnFili->SetEnabled(rbtFilialLista->Checked() && !MF);
        btnServicoLista->SetEnabled(rdbServicoLista->Checked());
        SetChildEnabled(*grbImprimir, true);
        chbNutriente->SetEnabled(false);
        speNivel->SetEnabled(true);
        SetChildEnabled(*rdgDadosOperador, true);
        chbProduto->SetChecked(true);
        depDataInic->SetEnabled(true);
        depDataFina->SetEnabled(true);
        if (MF) {
            btnFili->SetEnabled(false);
            FListaFilial = FCdFilial;
        }
    }
}

void TfrmRelatPrato::rdbPadraoClick(TObject*) {
    const bool filial = (rdbLocal->Checked() || rdbServico->Checked()) && !ModuFili();
    lblCdFilial->SetEnabled(filial);
    medCdFilial->SetEnabled(filial);
    btnFilial->SetEnabled(filial);
    const bool servico = rdbServico->Checked();
    lblCdServico->SetEnabled(servico);
    medCdServFili->SetEnabled(servico);
    btnServico->SetEnabled(servico);
}

void TfrmRelatPrato::rdgDadosOperadorClick(TObject*) {
    speNivel->SetValue(0);
    speNivel->SetEnabled(rdgDadosOperador->ItemIndex() == 1);
}

}  // namespace pla013
