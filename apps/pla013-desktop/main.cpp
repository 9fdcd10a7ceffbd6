// pla013-desktop: the desktop host of the dish report module.

#include <iostream>
#include <stdexcept>
#include <string>
#include <vector>

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QStringList>
#include <QTranslator>

#include "platform/gui/DesktopHost.h"
#include "platform/gui/HostMainWindow.h"
#include "platform/gui/HostStyle.h"
#include "platform/runtime/HostOptions.h"

int main(int argc, char** argv) {
    using pla013::gui::DesktopHost;
    const std::vector<std::string> given(argv + 1, argv + argc);
    if (DesktopHost::wantsHelp(given)) {
        std::cout << DesktopHost::usage();
        return 0;
    }
    // Without a display Qt cannot open a window: say so instead of aborting.
    if (!DesktopHost::hasDisplay(given)) {
        std::cerr << "pla013-desktop: no display (DISPLAY or WAYLAND_DISPLAY is not set); "
                     "use the command-line host pla013 instead.\n";
        return 1;
    }
    // The application object exists before any thread starts (the embedded
    // server's, the report engine's).
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("pla013-desktop"));
    pla013::gui::installHostLook(app);
    // Qt's own dialogs (file, print, message buttons) in Brazilian Portuguese,
    // as the rest of the program; without the translations they stay English.
    QLocale::setDefault(QLocale(QLocale::Portuguese, QLocale::Brazil));
    const QString translations = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    QTranslator qtbase, qt;
    if (qtbase.load(QStringLiteral("qtbase_pt_BR"), translations)) QApplication::installTranslator(&qtbase);
    if (qt.load(QStringLiteral("qt_pt_BR"), translations)) QApplication::installTranslator(&qt);

    // Qt has taken its own options; the rest are the host's.
    std::vector<std::string> args;
    const QStringList remaining = QApplication::arguments();
    for (qsizetype i = 1; i < remaining.size(); ++i) args.push_back(remaining[i].toStdString());
    pla013::runtime::HostOptions options;
    try {
        options = DesktopHost::parseOptions(args);
    } catch (const std::invalid_argument& e) {
        DesktopHost::showStartupError(e.what());
        return 2;
    }

    try {
        DesktopHost host(options);
        host.window().show();
        return app.exec();
    } catch (const std::exception& e) {
        DesktopHost::showStartupError(e.what());
        return 1;
    }
}
