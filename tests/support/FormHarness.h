#pragma once
// A real host around the module for tests: a fresh SQLite sample database in
// a temporary folder, the embedded application server on a loopback port,
// the HTTP transport, the report dialog, and the script runner driving the
// form through the module's own entry point.

#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "TempDir.h"
#include "platform/runtime/HostOptions.h"
#include "platform/runtime/HostSession.h"
#include "platform/script/ScriptRunner.h"
#include "platform/script/ScriptUi.h"

namespace pla013 {
class TfrmRelatPrato;
}

namespace pla013test {

// Creates (once per process) a sample database and returns a fresh copy of
// it in dir, so that each test can change its data freely.
std::string copyOfSampleDatabase(const std::filesystem::path& dir);

class FormHarness {
public:
    // Options as the command line would give them; db defaults to a fresh
    // copy of the sample database and reports to the repository's folder.
    explicit FormHarness(pla013::runtime::HostOptions options = {});
    ~FormHarness();

    struct Result {
        int status = 0;
        std::vector<std::string> lines;  // standard output, one line each
        std::string err;
    };
    // Runs script steps (the text of a script file).
    Result run(const std::string& script);

    // The open form, or null.
    pla013::TfrmRelatPrato* form() const;
    pla013::runtime::HostSession& session() { return *m_session; }
    pla013::script::ScriptUi& ui() { return *m_ui; }
    const std::filesystem::path& dir() const { return m_dir.path(); }
    const std::string& databasePath() const { return m_dbPath; }

private:
    TempDir m_dir;
    std::string m_dbPath;
    std::ostringstream m_out, m_err;
    std::unique_ptr<pla013::script::ScriptUi> m_ui;
    std::unique_ptr<pla013::runtime::HostSession> m_session;
    std::unique_ptr<pla013::script::ScriptRunner> m_runner;
};

// Helpers over the output lines.
bool contains(const std::vector<std::string>& lines, const std::string& line);
std::vector<std::string> withPrefix(const std::vector<std::string>& lines, const std::string& prefix);
// The JSON line of a dumped control, or empty.
std::string dumpLine(const std::vector<std::string>& lines, const std::string& control);

}  // namespace pla013test
