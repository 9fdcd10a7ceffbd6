// pla013-desktop: the desktop host of the dish report module.

#include <iostream>
#include <stdexcept>
#include <string>
#include <vector>

#include <QApplication>
#include <QMessageBox>
#include <QStyleFactory>

#include "platform/gui/DesktopHost.h"
#include "platform/gui/HostMainWindow.h"
#include "platform/host/HostOptions.h"

namespace {

int fail(const std::string& text, int status) {
    std::cerr << "pla013-desktop: " << text << '\n';
    QMessageBox::critical(nullptr, QStringLiteral("pla013-desktop"), QString::fromStdString(text));
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("pla013-desktop"));
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));

    // Qt has taken its own options; the rest are the host's.
    std::vector<std::string> args;
    const QStringList given = QApplication::arguments();
    for (qsizetype i = 1; i < given.size(); ++i) args.push_back(given[i].toStdString());
    pla013host::HostOptions options;
    try {
        options = pla013host::HostOptions::parse(args);
    } catch (const std::invalid_argument& e) {
        return fail(e.what(), 2);
    }
    if (!args.empty()) {
        if (args[0] == "--help" || args[0] == "-h") {
            std::cout << "usage: pla013-desktop [context options]\n\n" << pla013host::HostOptions::usage();
            return 0;
        }
        return fail("unknown argument '" + args[0] + "'\n\n" + pla013host::HostOptions::usage(), 2);
    }

    try {
        pla013gui::DesktopHost host(options);
        host.window().show();
        return app.exec();
    } catch (const std::exception& e) {
        return fail(e.what(), 1);
    }
}
