#pragma once
// The desktop host assembled: the user interface on Qt, the host session
// (catering database, embedded application server, transport, report
// engine), the report dialog with its preview window, the report module
// loaded from its shared library, and the main window that launches it.
// The executable only parses its options and runs this; tests build the
// same thing around a fresh database.

#include <memory>
#include <string>
#include <vector>

#include "platform/runtime/HostOptions.h"

class QWidget;

namespace pla013::host {
class TForm;
class Variant;
}  // namespace pla013::host
namespace pla013::runtime {
class HostSession;
class ModuleLoader;
}  // namespace pla013::runtime

namespace pla013::gui {

class BackgroundTransport;
class GuiReportRunner;
class HostMainWindow;
class OperatorSettings;
class QtUserInterface;

class DesktopHost {
public:
    // Needs a QApplication. Failures (database, server, module) are
    // host::EHostError or std::exception with a clear text; nothing is left open.
    explicit DesktopHost(const pla013::runtime::HostOptions& options, const std::string& modulePath = {});
    ~DesktopHost();
    DesktopHost(const DesktopHost&) = delete;
    DesktopHost& operator=(const DesktopHost&) = delete;

    HostMainWindow& window() { return *m_window; }
    QtUserInterface& ui() { return *m_ui; }
    pla013::runtime::HostSession& session() { return *m_session; }
    pla013::runtime::ModuleLoader& module() { return *m_module; }
    GuiReportRunner& reports() { return *m_reports; }
    OperatorSettings& settings() { return *m_settings; }

    // IniProc with the argument, as the host application calls it; a failure
    // is shown to the user.
    void launch(const host::Variant& argument);
    // "Limpar filtros": forgets the filters kept for the open form's report
    // and opens the form again as designed (it is closed as the user would;
    // nothing happens when its close handler refuses).
    void clearFilters();

    // The command line of pla013-desktop. args are those after the program
    // name; parseOptions takes them once Qt has removed its own (-platform...).
    static bool wantsHelp(const std::vector<std::string>& args);
    static std::string usage();
    // A window can be opened: a display is named, or a Qt platform is chosen.
    static bool hasDisplay(const std::vector<std::string>& args);
    // std::invalid_argument with a clear text on a bad value or an argument
    // that is not a context option.
    static pla013::runtime::HostOptions parseOptions(std::vector<std::string> args);
    // A failure before or while starting: on standard error, and in a message
    // box too unless the platform has no windows (started from a desktop menu
    // there is no terminal to read). Needs a QApplication.
    static void showStartupError(const std::string& text);

private:
    void releaseClosedForms();
    void remember(host::TForm& form, QWidget* window);
    void recall(host::TForm& form, QWidget* window);

    std::unique_ptr<QtUserInterface> m_ui;
    std::unique_ptr<pla013::runtime::HostSession> m_session;
    std::unique_ptr<GuiReportRunner> m_reports;
    std::unique_ptr<BackgroundTransport> m_transport;
    std::unique_ptr<pla013::runtime::ModuleLoader> m_module;
    std::unique_ptr<HostMainWindow> m_window;
    std::unique_ptr<OperatorSettings> m_settings;
    bool m_clearing = false;    // the form closes for "Limpar filtros"
    bool m_asDesigned = false;  // the next form shown is left as designed
};

}  // namespace pla013::gui
