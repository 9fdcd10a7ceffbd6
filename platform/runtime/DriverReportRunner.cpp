#include "platform/runtime/DriverReportRunner.h"

#include "host/Errors.h"
#include "platform/reports/ReportRunner.h"
#include "platform/script/DriverUi.h"

namespace pla013::runtime {

namespace {
// Progress goes to the view at most this often (the first and the last of
// each stage always).
constexpr auto kProgressEvery = std::chrono::milliseconds(150);
}  // namespace

DriverReportRunner::DriverReportRunner(pla013::reports::ReportRunner& engine, pla013::script::DriverUi& ui)
    : m_engine(engine), m_ui(ui) {}

DriverReportRunner::~DriverReportRunner() = default;

void DriverReportRunner::install() {
    host::Ports ports = host::InstalledPorts();
    ports.reports = this;
    host::Install(ports);
}

std::vector<std::pair<std::string, std::string>> DriverReportRunner::ListReports(const std::string& family) {
    return m_engine.ListReports(family);
}

void DriverReportRunner::cancel() {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_running) m_running->request_stop();
}

void DriverReportRunner::Run(host::TfrmDadosGerRel& form, const std::string& definitionFile, host::ReportTarget target,
                             const std::string& fileName) {
    std::string file = fileName;
    const char* shown = "file";
    if (target != host::ReportTarget::File) {
        file = m_ui.takePreviewFile();
        shown = target == host::ReportTarget::Printer ? "print" : "preview";
        if (file.empty())
            throw host::EHostError("Visualização indisponível: a tela não disse onde mostrar o relatório.");
    }
    auto run = m_engine.prepare(form, definitionFile, host::ReportTarget::File, file);

    std::stop_source stopper;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_running = stopper;
    }
    struct Ending {
        DriverReportRunner& self;
        ~Ending() {
            std::lock_guard<std::mutex> lock(self.m_mutex);
            self.m_running.reset();
        }
    } ending{*this};

    std::string lastStage;
    std::size_t lastDone = 0, lastTotal = 0;
    auto lastSent = std::chrono::steady_clock::time_point{};
    auto progress = [&](const std::string& stage, std::size_t done, std::size_t total) {
        const auto now = std::chrono::steady_clock::now();
        if (stage == lastStage && done == lastDone && total == lastTotal) return;
        const bool edge = stage != lastStage || (total > 0 && done == total);
        if (!edge && now - lastSent < kProgressEvery) return;
        lastStage = stage;
        lastDone = done;
        lastTotal = total;
        lastSent = now;
        m_ui.progress(stage, done, total);
    };
    m_engine.execute(*run, {stopper.get_token(), progress});

    const auto& outcome = m_engine.lastOutcome();
    m_ui.reportDone(shown, file, outcome ? outcome->reportId : std::string(), outcome ? outcome->pages : 0,
                    outcome ? outcome->rows : 0);
}

}  // namespace pla013::runtime
