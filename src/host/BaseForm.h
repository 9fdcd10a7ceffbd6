#pragma once
// The host's generic report form: report list, code labels, message table,
// report dialog and the print, preview and save-as buttons.

#include <string>
#include <vector>

#include "Data.h"
#include "Form.h"
#include "Messages.h"
#include "Ports.h"

namespace pla013::host {

using TBeforeGetQueryParamsEvent = std::function<void(TParams& params, bool& flag)>;

// Runs ".QR2" report definitions through the report runner port.
class TReportDesignerDialog : public TObject {
public:
    explicit TReportDesignerDialog(std::string name) : TObject(std::move(name)) {}
    TBeforeGetQueryParamsEvent BeforeGetQueryParams;
};

class TfrmDadosGerRel : public TForm {
public:
    explicit TfrmDadosGerRel(std::string name);
    ~TfrmDadosGerRel() override;

    TLabel* lblCodTela;
    TGroupBox* grbDadosRel;
    TBevel* bvlSeparator;
    TPanel* panRelat;
    TComboBox* cbbReportNames;
    TPanel* panMenu;
    TLabel* lblCodRel;
    TSpeedButton* sbtPrint;
    TSpeedButton* sbtPreview;
    TSpeedButton* sbtSalvarComo;
    TMessages* msgPadrao;
    TReportDesignerDialog* rpddPadrao;
    std::vector<std::string> FReportCodes;

    void FormCreate(TObject* sender);
    void FormActivate(TObject* sender);
    void FormClose(TObject* sender, TCloseAction& action);
    void sbtPrintClick(TObject* sender);
    void sbtPreviewClick(TObject* sender);
    void sbtSalvarComoClick(TObject* sender);

    // File name of the definition of the report chosen in cbbReportNames.
    std::string ChosenDefinition() const;
    // Where the last save-as went (empty when none).

private:
    void RunChosen(ReportTarget target, const std::string& fileName);
};

}  // namespace pla013::host
