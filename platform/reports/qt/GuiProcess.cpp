#include "platform/reports/qt/GuiProcess.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>

#include <QGuiApplication>

#include "host/Errors.h"

namespace pla013::reports {

GuiProcess::GuiProcess(const std::string& programName) : m_name(programName) {
    if (ready()) return;
    if (QCoreApplication::instance())
        throw host::EHostError(
            "PDF: o processo usa uma aplicação Qt sem interface gráfica; o PDF não pode ser gerado.");
    // Pages need no window: a display that is named but cannot be reached
    // would otherwise end the process when the application object is made.
    if (const char* platform = std::getenv("QT_QPA_PLATFORM"); !platform || !*platform)
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    // Qt wants a private runtime folder and complains on stderr without one.
    if (!std::getenv("XDG_RUNTIME_DIR")) {
        const std::string dir =
            (std::filesystem::temp_directory_path() / ("runtime-" + std::to_string(::getuid()))).string();
        if (::mkdir(dir.c_str(), 0700) == 0 || errno == EEXIST) ::setenv("XDG_RUNTIME_DIR", dir.c_str(), 0);
    }
    m_argv[0] = m_name.data();
    m_app = std::make_unique<QGuiApplication>(m_argc, m_argv);
}

GuiProcess::~GuiProcess() = default;

bool GuiProcess::ready() { return qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr; }

}  // namespace pla013::reports
