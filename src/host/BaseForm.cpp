#include "host/BaseForm.h"

#include <filesystem>

#include "host/Errors.h"
#include "host/Utils.h"

namespace pla013::host {

TfrmDadosGerRel::TfrmDadosGerRel(std::string name) : TForm(std::move(name)) {
    SetClientSize(434, 414);
    panMenu = AddControl<TPanel>(this, "panMenu");
    panMenu->SetBounds(0, 0, 434, 27);
    sbtPrint = AddControl<TSpeedButton>(panMenu, "sbtPrint");
    sbtPrint->SetBounds(2, 2, 23, 22);
    sbtPrint->SetCaption("Imprimir");
    sbtPreview = AddControl<TSpeedButton>(panMenu, "sbtPreview");
    sbtPreview->SetBounds(25, 2, 23, 22);
    sbtPreview->SetCaption("Visualizar");
    sbtSalvarComo = AddControl<TSpeedButton>(panMenu, "sbtSalvarComo");
    sbtSalvarComo->SetBounds(48, 2, 23, 22);
    sbtSalvarComo->SetCaption("Salvar como");
    lblCodRel = AddControl<TLabel>(panMenu, "lblCodRel");
    lblCodRel->SetBounds(300, 7, 50, 13);
    lblCodTela = AddControl<TLabel>(panMenu, "lblCodTela");
    lblCodTela->SetBounds(370, 7, 60, 13);
    grbDadosRel = AddControl<TGroupBox>(this, "grbDadosRel");
    grbDadosRel->SetBounds(0, 27, 434, 387);
    grbDadosRel->SetTabOrder(0);
    bvlSeparator = AddControl<TBevel>(grbDadosRel, "bvlSeparator");
    bvlSeparator->SetBounds(4, 41, 426, 2);
    panRelat = AddControl<TPanel>(grbDadosRel, "panRelat");
    panRelat->SetBounds(4, 12, 426, 28);
    panRelat->SetTabOrder(0);
    cbbReportNames = AddControl<TComboBox>(panRelat, "cbbReportNames");
    cbbReportNames->SetBounds(4, 3, 367, 21);
    cbbReportNames->SetTabOrder(0);
    cbbReportNames->SetColor(TColor::clInfoBk);
    msgPadrao = AddComponent<TMessages>("msgPadrao");
    rpddPadrao = AddComponent<TReportDesignerDialog>("rpddPadrao");

    OnCreate = [this](TObject* s) { FormCreate(s); };
    OnActivate = [this](TObject* s) { FormActivate(s); };
    OnClose = [this](TObject* s, TCloseAction& a) { FormClose(s, a); };
    sbtPrint->OnClick = [this](TObject* s) { sbtPrintClick(s); };
    sbtPreview->OnClick = [this](TObject* s) { sbtPreviewClick(s); };
    sbtSalvarComo->OnClick = [this](TObject* s) { sbtSalvarComoClick(s); };
}

TfrmDadosGerRel::~TfrmDadosGerRel() = default;

void TfrmDadosGerRel::FormCreate(TObject*) {
    // The report list: every definition of the family found in the report folder.
    std::vector<std::string> titles;
    FReportCodes.clear();
    if (InstalledPorts().reports) {
        std::string family = lblCodTela->Caption().substr(0, 6);
        for (const auto& [code, title] : Reports().ListReports(family)) {
            FReportCodes.push_back(code);
            titles.push_back(title);
        }
    } else {
        Log("no report dialog installed: the report list stays empty");
    }
    cbbReportNames->SetItems(titles);
    cbbReportNames->SetItemIndex(titles.empty() ? -1 : 0);
}

void TfrmDadosGerRel::FormActivate(TObject*) {}

void TfrmDadosGerRel::FormClose(TObject*, TCloseAction& action) { action = TCloseAction::caFree; }

std::string TfrmDadosGerRel::ChosenDefinition() const {
    int p = cbbReportNames->ItemIndex();
    if (p < 0 || p >= int(FReportCodes.size())) return {};
    return lblCodTela->Caption().substr(0, 6) + FReportCodes[p] + ".QR2";
}

void TfrmDadosGerRel::RunChosen(ReportTarget target, const std::string& fileName) {
    std::string definition = ChosenDefinition();
    int p = cbbReportNames->ItemIndex();
    std::string code = (p >= 0 && p < int(FReportCodes.size())) ? FReportCodes[p] : std::string();
    std::string folder = Context().ReportFolder();
    std::error_code ec;
    if (definition.empty() || !std::filesystem::is_regular_file(std::filesystem::path(folder) / definition, ec))
        MensErro(Format(msgPadrao->Msg("Arq_Rel_Err"), {code, folder}), true);
    Reports().Run(*this, definition, target, fileName);
}

void TfrmDadosGerRel::sbtPrintClick(TObject*) { RunChosen(ReportTarget::Printer, {}); }

void TfrmDadosGerRel::sbtPreviewClick(TObject*) { RunChosen(ReportTarget::Preview, {}); }

void TfrmDadosGerRel::sbtSalvarComoClick(TObject*) {
    std::string definition = ChosenDefinition();
    std::string suggested = definition.empty() ? "relatorio.pdf" : definition.substr(0, definition.size() - 4) + ".pdf";
    auto file = UI().AskSaveFileName(suggested);
    if (!file || file->empty()) return;  // the user cancelled
    RunChosen(ReportTarget::File, *file);
}

}  // namespace pla013::host
