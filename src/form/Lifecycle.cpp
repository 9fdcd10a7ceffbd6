// Creation, activation and closing of the dish report form.

#include "form/TfrmRelatPrato.h"
#include "host/Errors.h"
#include "host/Utils.h"
#include "shell/Cli_pla01303.h"

namespace pla013 {

using namespace host;

void TfrmRelatPrato::FormCreate(TObject* Sender) {
    TfrmDadosGerRel::FormCreate(Sender);

    for (TClientDataSet* cds : {cdsReceitaPadLoc, cdsReceitaPadSer, cdsRecPLCent, cdsPratosRel, cdsPratoPadr,
                                cdsPratoLoca, cdsPratosRelPS, cdsPratoServ})
        cds->CreateDataSet();

    // The central kitchen of the host's current branch (not yet FCdFilial:
    // the launcher sets that after creation).
    qryCentral->Close();
    qryCentral->ParamByName("P_CDFILIAL").SetAsString(FiliProc());
    qryCentral->Open();
    auto column = [this](const char* name) {
        return qryCentral->IsEmpty() ? std::string() : qryCentral->FieldByName(name).AsString();
    };
    if (column("IDFILCENTPME") == "S") {
        medCdCentral->SetText(column("CDFILIAL"));
        edtNmCentral->SetText(column("NMFILIAL"));
        medCdTpCard->SetColor(TColor::clInfoBk);
    } else if (EmptyString(column("CDFILCENTPME"))) {
        rdbTipo->SetEnabled(false);
        medCdTpCard->SetEnabled(false);
        medCdTpCard->SetColor(TColor::clBtnFace);
        lblCdTipo->SetEnabled(false);
        btpTpCard->SetEnabled(false);
    } else {
        medCdCentral->SetText(column("CDFILCENTPME"));
        edtNmCentral->SetText(column("NMCENTRAL"));
    }

    FPrimeiraVez = true;
    nbkFiltroFili->SetActivePage("Padrão");
}

void TfrmRelatPrato::FormActivate(TObject* Sender) {
    TfrmDadosGerRel::FormActivate(Sender);
    Repaint();
    const char modulo = ModuloAtiv();
    if (modulo == '8' || modulo == 'L') {
        rdbTipo->SetVisible(true);
    } else {
        rdbTipo->SetVisible(false);
        rdbLocal->SetLeft(185);
    }
    if (!FPrimeiraVez) return;

    FPrimeiraVez = false;

    const std::string mascara = DBPict(TPictureType::ptPrato);
    medCdPratoIni->SetEditMask(mascara);
    medCdPratoFin->SetEditMask(mascara);
    qryPratoCDPRATO->EditMask = mascara;

    const int niveis = DBPictObj(TPictureType::ptPrato).GetTtNiveis();
    speNivel->SetMaxValue(niveis >= 2 ? niveis - 2 : niveis);

    medCdFilial->SetText(FCdFilial);

    {
        // The hourglass goes back to the default also when the server fails.
        CursorGuard ampulheta(Cursor::HourGlass);
        netCustProd->SetConnected(true);
        cbbTipoCust->SetItems(ListaTipoCusto(*netCustProd, nullptr));
    }
    cbbTipoCust->SetItemIndex(0);

    qryVdFilial->Close();
    qryVdFilial->ParamByName("P_CDFILIAL").SetAsString(medCdFilial->Text());
    qryVdFilial->Open();
    edtNmFilial->SetText(qryVdFilial->IsEmpty() ? std::string() : qryVdFilialNMFILIAL->AsString());

    rdbPadraoClick(rdbPadrao);
    rdgDadosOperadorClick(rdgDadosOperador);

    // Preliminary layout of the chosen report; the report change handler below
    // sets the final one.
    const int p = cbbReportNames->ItemIndex();
    const bool Z = FArqRelat == "PLA0130A.QR2";
    const bool origem = p == 1 || Z;
    rdbPadrao->SetEnabled(origem);
    rdbLocal->SetEnabled(origem);
    rdbServico->SetEnabled(origem);
    SetChildEnabled(*grbImprimir, p == 1);
    SetChildEnabled(*grbTipoCust, p == 2 || p == 3);
    speNivel->SetEnabled(p == 0 || p == 1 || Z);
    SetChildEnabled(*rdgDadosOperador, p == 0 || p == 1 || Z);
    chbProduto->SetChecked(p == 1 || Z);
    SetChildEnabled(*grbData, p == 5);
    if (p == 0) rdbPadrao->SetChecked(true);
    if (p == 2) rdbLocal->SetChecked(true);
    if (p == 3) rdbServico->SetChecked(true);
    if (p == 4 || p == 5) AplicaListaFilial();

    cbbReportNames->SetFocus();
    cbbReportNamesChange(cbbReportNames);

    MostraDiaSemana(depDataInic, edtDataInic);
    MostraDiaSemana(depDataFina, edtDataFina);

    netEmissaoReceita->SetConnected(true);
}

void TfrmRelatPrato::FormClose(TObject* Sender, TCloseAction& Action) {
    netCustProd->SetConnected(false);
    FormCriado = false;
    TfrmDadosGerRel::FormClose(Sender, Action);
}

}  // namespace pla013
