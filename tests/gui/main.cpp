// The desktop host's tests run on Qt's offscreen platform: one QApplication
// for all of them.

#include <gtest/gtest.h>

#include <cstdio>

#include <QApplication>
#include <QDir>

#include "platform/gui/HostStyle.h"

namespace {
// The offscreen platform says what it cannot do (raise, grab...) on every
// window; those lines are not the tests' business.
void quietHandler(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (type == QtWarningMsg && message.startsWith(QStringLiteral("This plugin does not support"))) return;
    fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, message)));
}
}  // namespace

int main(int argc, char** argv) {
    qInstallMessageHandler(quietHandler);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    pla013::gui::installHostLook(app);
    // Popup lists wait this long before they take a click: short, for speed.
    QApplication::setDoubleClickInterval(60);
    // Screenshots of the form and the preview land here, for a person to see.
    QDir().mkpath(QStringLiteral(PLA013_SCREENSHOT_DIR));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
