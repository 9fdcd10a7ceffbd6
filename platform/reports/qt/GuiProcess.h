#pragma once
// The process-wide set-up that drawing report pages with Qt needs in a
// program without a window of its own (today the PDF benchmark's Qt
// baseline; the product's PDF needs no Qt): the Qt platform, Qt's runtime
// folder and the QGuiApplication. It changes the environment, so it belongs
// in main before any thread starts (setenv while other threads run is
// undefined behaviour).

#include <memory>
#include <string>

class QGuiApplication;

namespace pla013::reports {

class GuiProcess {
public:
    // Selects Qt's offscreen platform unless QT_QPA_PLATFORM names another
    // (pages are drawn all the same, and no display is needed); gives Qt a
    // private runtime folder when the session has none; creates the
    // QGuiApplication. A process that already has one (the
    // desktop host's QApplication) is left as it is. The program's own
    // arguments are not shown to Qt, so Qt takes none of them.
    // host::EHostError when the process runs a Qt application object without
    // a GUI, which fonts cannot work with.
    explicit GuiProcess(const std::string& programName);
    ~GuiProcess();
    GuiProcess(const GuiProcess&) = delete;
    GuiProcess& operator=(const GuiProcess&) = delete;

    // A QGuiApplication exists: pages can be drawn.
    static bool ready();

private:
    std::string m_name;
    int m_argc = 1;
    char* m_argv[2] = {nullptr, nullptr};
    std::unique_ptr<QGuiApplication> m_app;
};

}  // namespace pla013::reports
