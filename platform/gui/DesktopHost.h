#pragma once
// The desktop host assembled: the user interface on Qt, the host session
// (catering database, embedded application server, transport, report
// engine), the report dialog with its preview window, the report module
// loaded from its shared library, and the main window that launches it.
// The executable only parses its options and runs this; tests build the
// same thing around a fresh database.

#include <memory>
#include <string>

#include "platform/host/HostOptions.h"

namespace host {
class Variant;
}
namespace pla013host {
class HostSession;
class ModuleLoader;
}  // namespace pla013host

namespace pla013gui {

class GuiReportRunner;
class HostMainWindow;
class QtUserInterface;

class DesktopHost {
public:
    // Needs a QApplication. Failures (database, server, module) are
    // host::EHostError or std::exception with a clear text; nothing is left open.
    explicit DesktopHost(const pla013host::HostOptions& options, const std::string& modulePath = {});
    ~DesktopHost();
    DesktopHost(const DesktopHost&) = delete;
    DesktopHost& operator=(const DesktopHost&) = delete;

    HostMainWindow& window() { return *m_window; }
    QtUserInterface& ui() { return *m_ui; }
    pla013host::HostSession& session() { return *m_session; }
    pla013host::ModuleLoader& module() { return *m_module; }
    GuiReportRunner& reports() { return *m_reports; }

    // IniProc with the argument, as the host application calls it; a failure
    // is shown to the user.
    void launch(const host::Variant& argument);

private:
    void releaseClosedForms();

    std::unique_ptr<QtUserInterface> m_ui;
    std::unique_ptr<pla013host::HostSession> m_session;
    std::unique_ptr<GuiReportRunner> m_reports;
    std::unique_ptr<pla013host::ModuleLoader> m_module;
    std::unique_ptr<HostMainWindow> m_window;
};

}  // namespace pla013gui
