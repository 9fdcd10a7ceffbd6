// pla013-desktop: the desktop host of the dish report module.

#include <cstdlib>
#include <iostream>
#include <stdexcept>
#include <string>
#include <vector>

#include <QApplication>
#include <QMessageBox>
#include <QStyleFactory>

#include "platform/gui/DesktopHost.h"
#include "platform/gui/HostMainWindow.h"
#include "platform/runtime/HostOptions.h"

namespace {

int fail(const std::string& text, int status) {
    std::cerr << "pla013-desktop: " << text << '\n';
    // Started from a desktop menu there is no terminal to read: the error is
    // shown on screen too (not on the windowless platforms).
    const QString platform = QGuiApplication::platformName();
    if (platform != QLatin1String("offscreen") && platform != QLatin1String("minimal"))
        QMessageBox::critical(nullptr, QStringLiteral("pla013-desktop"), QString::fromStdString(text));
    return status;
}

bool wantsHelp(int argc, char** argv) {
    for (int i = 1; i < argc; ++i)
        if (std::string(argv[i]) == "--help" || std::string(argv[i]) == "-h") return true;
    return false;
}

bool hasDisplay(int argc, char** argv) {
    if (std::getenv("DISPLAY") || std::getenv("WAYLAND_DISPLAY") || std::getenv("QT_QPA_PLATFORM")) return true;
    for (int i = 1; i < argc; ++i)
        if (std::string(argv[i]) == "-platform") return true;
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    if (wantsHelp(argc, argv)) {
        std::cout << "usage: pla013-desktop [context options]\n\n" << pla013::runtime::HostOptions::usage();
        return 0;
    }
    // Without a display Qt cannot open a window: say so instead of aborting.
    if (!hasDisplay(argc, argv)) {
        std::cerr << "pla013-desktop: no display (DISPLAY or WAYLAND_DISPLAY is not set); "
                     "use the command-line host pla013 instead.\n";
        return 1;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("pla013-desktop"));
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));

    // Qt has taken its own options; the rest are the host's.
    std::vector<std::string> args;
    const QStringList given = QApplication::arguments();
    for (qsizetype i = 1; i < given.size(); ++i) args.push_back(given[i].toStdString());
    pla013::runtime::HostOptions options;
    try {
        options = pla013::runtime::HostOptions::parse(args);
    } catch (const std::invalid_argument& e) {
        return fail(e.what(), 2);
    }
    if (!args.empty()) {
        return fail("unknown argument '" + args[0] + "'\n\n" + pla013::runtime::HostOptions::usage(), 2);
    }

    try {
        pla013::gui::DesktopHost host(options);
        host.window().show();
        return app.exec();
    } catch (const std::exception& e) {
        return fail(e.what(), 1);
    }
}
