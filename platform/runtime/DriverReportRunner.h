#pragma once
// The report dialog of the interactive driver (pla013 drive): the engine's
// runner, with each run's progress sent to the view and a stop that the
// view can ask for at any moment (cancel()), from the thread that reads its
// lines while the form's thread runs the report.
//
// A file is written where the save step said. A preview or a print is laid
// out as HTML in the file the view named before it (preview FILE): the view
// shows it, and prints it with the browser's own print; this host never
// prints on a printer of its own.

#include <chrono>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>
#include <utility>
#include <vector>

#include "host/Ports.h"

namespace pla013::reports {
class ReportRunner;
}
namespace pla013::script {
class DriverUi;
}

namespace pla013::runtime {

class DriverReportRunner final : public host::IReportRunner {
public:
    DriverReportRunner(pla013::reports::ReportRunner& engine, pla013::script::DriverUi& ui);
    ~DriverReportRunner() override;

    void Run(host::TfrmDadosGerRel& form, const std::string& definitionFile, host::ReportTarget target,
             const std::string& fileName) override;
    std::vector<std::pair<std::string, std::string>> ListReports(const std::string& family) override;

    // Installs this runner as the host's report dialog.
    void install();
    // Stops the run going on, if any, at its next row or page: nothing is
    // written and the step ends in the silent abort. Any thread.
    void cancel();

private:
    pla013::reports::ReportRunner& m_engine;
    pla013::script::DriverUi& m_ui;
    std::mutex m_mutex;
    std::optional<std::stop_source> m_running;
};

}  // namespace pla013::runtime
