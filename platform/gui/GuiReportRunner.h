#pragma once
// The report dialog of the desktop host: the engine's runner, with preview
// and print on screen. A preview or print run lays the report out through
// the engine exactly as a saved file would be, keeps its pages, and then
// shows them in the preview window or sends them to the printer the user
// chooses in the system's print dialog. Save-as (from the form or from the
// preview) goes to the engine's file renderers: PDF, XLSX, CSV, HTML.
// The data, the layout and the writing run on a thread of their own behind
// a progress window with "Cancelar"; a cancelled run leaves nothing behind
// and ends as the silent abort.

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <QString>
#include <QTemporaryDir>

#include "host/Ports.h"

namespace pla013::reports {
class ReportRunner;
}

namespace pla013::gui {

class OperatorSettings;
class QtUserInterface;
class ReportPages;

class GuiReportRunner final : public host::IReportRunner {
public:
    GuiReportRunner(pla013::reports::ReportRunner& engine, QtUserInterface& ui);
    ~GuiReportRunner() override;

    void Run(host::TfrmDadosGerRel& form, const std::string& definitionFile, host::ReportTarget target,
             const std::string& fileName) override;
    std::vector<std::pair<std::string, std::string>> ListReports(const std::string& family) override;

    // Installs this runner as the host's report dialog (after the session
    // installed the engine).
    void install();

    // The pages of the last preview or print run.
    const ReportPages* lastPages() const { return m_last.get(); }

    class Capture;

    // Where the preview window's place and size are kept (null: nowhere).
    OperatorSettings* settings = nullptr;
    // Called as a run starts, with the form whose filters it takes.
    std::function<void(host::TForm& form)> onRun;

private:
    std::string scratchFile(const std::string& definitionFile);
    std::shared_ptr<ReportPages> layOut(host::TfrmDadosGerRel& form, const std::string& definitionFile);
    // The preview: the window opens with the first pages while the rest are
    // laid out on the run's thread; closing it stops the run.
    void preview(host::TfrmDadosGerRel& form, const std::string& definitionFile);
    // The PDF file printed to, if the printer was one.
    std::optional<std::string> print(const ReportPages& pages);
    // The file saved, if any.
    std::optional<std::string> saveAs(host::TfrmDadosGerRel& form, const std::string& definitionFile);
    void saveFile(host::TfrmDadosGerRel& form, const std::string& definitionFile, const std::string& fileName);
    // A run of the engine with its long part off this thread; EAbort when the
    // user cancels it (nothing written).
    // writing: what its writing stage does, for the progress window.
    void execute(host::TfrmDadosGerRel& form, const std::string& definitionFile, host::ReportTarget target,
                 const std::string& fileName, const QString& writing = {});

    pla013::reports::ReportRunner& m_engine;
    QtUserInterface& m_ui;
    std::shared_ptr<Capture> m_capture;
    QTemporaryDir m_scratch;
    std::shared_ptr<ReportPages> m_last;
};

}  // namespace pla013::gui
