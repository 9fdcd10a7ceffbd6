#include "FormHarness.h"

#include <unistd.h>

#include <atomic>
#include <mutex>

#include "form/TfrmRelatPrato.h"
#include "host/Errors.h"
#include "host/Form.h"
#include "platform/db/DatabaseInitializer.h"
#include "platform/reports/ReportRunner.h"
#include "shell/Cli_pla01303.h"

namespace fs = std::filesystem;

namespace pla013test {

std::string copyOfSampleDatabase(const fs::path& dir) {
    static std::mutex mutex;
    static TempDir* master = nullptr;
    {
        std::lock_guard lock(mutex);
        if (!master) {
            master = new TempDir();  // kept for the process' life
            pla013::db::initializeDatabase((master->path() / "sample.sqlite").string(), true);
        }
    }
    fs::path copy = dir / "catering.sqlite";
    fs::copy_file(master->path() / "sample.sqlite", copy, fs::copy_options::overwrite_existing);
    return copy.string();
}

FormHarness::FormHarness(pla013::runtime::HostOptions options) {
    if (options.db.empty()) options.db = copyOfSampleDatabase(m_dir.path());
    if (options.reports.empty()) options.reports = PLA013_REPORTS_DIR;
    m_dbPath = options.db;
    m_ui = std::make_unique<pla013::script::ScriptUi>(m_out, m_err);
    pla013::runtime::HostSession::Hooks hooks;
    hooks.reportLine = [this](const std::string& line) { m_ui->emit(line); };
    hooks.preview = [](const pla013::reports::PreviewPages&) {};
    m_session = std::make_unique<pla013::runtime::HostSession>(options, *m_ui, hooks);
    pla013::script::ScriptHost scriptHost;
    scriptHost.launch = [this](const pla013::host::Variant& argument) {
        try {
            pla013::IniProc(argument);
        } catch (const pla013::host::EAbort&) {
            m_ui->emit("abort");
        } catch (const std::exception& e) {
            m_ui->ShowError(e.what());
        }
    };
    scriptHost.formCriado = [] { return pla013::FormCriado; };
    scriptHost.lastReportParams = [this] { return m_session->reports().lastParamLines(); };
    m_runner = std::make_unique<pla013::script::ScriptRunner>(*m_ui, scriptHost, m_out);
    pla013::Cli_pla01303_Initialization();
}

FormHarness::~FormHarness() {
    pla013::host::Application().DestroyAll();
    pla013::Cli_pla01303_Finalization();
    m_runner.reset();
    m_session.reset();
}

FormHarness::Result FormHarness::run(const std::string& script) {
    std::istringstream in(script);
    Result r;
    m_out.str("");
    m_err.str("");
    std::ostringstream err;
    r.status = m_runner->run(pla013::script::parseScript(in), err);
    std::istringstream out(m_out.str());
    for (std::string line; std::getline(out, line);) r.lines.push_back(line);
    r.err = err.str() + m_err.str();
    return r;
}

pla013::TfrmRelatPrato* FormHarness::form() const { return pla013::FormCriado ? pla013::frmRelatPrato : nullptr; }

bool contains(const std::vector<std::string>& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

std::vector<std::string> withPrefix(const std::vector<std::string>& lines, const std::string& prefix) {
    std::vector<std::string> out;
    for (const auto& l : lines)
        if (l.rfind(prefix, 0) == 0) out.push_back(l);
    return out;
}

std::string dumpLine(const std::vector<std::string>& lines, const std::string& control) {
    const std::string key = "{\"Name\":\"" + control + "\"";
    for (const auto& l : lines)
        if (l.rfind(key, 0) == 0) return l;
    return {};
}

}  // namespace pla013test
