#include "platform/gui/ProgressWindow.h"

#include <QApplication>
#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>

namespace pla013::gui {

ProgressWindow::ProgressWindow()
    : QWidget(nullptr, Qt::Tool | Qt::WindowTitleHint | Qt::CustomizeWindowHint | Qt::WindowStaysOnTopHint),
      m_text(new QLabel(this)) {
    setObjectName("progressWindow");
    setWindowTitle(QStringLiteral("Aguarde"));
    auto* layout = new QVBoxLayout(this);
    m_text->setObjectName("text");
    m_text->setMinimumWidth(280);
    layout->addWidget(m_text);
    auto* bar = new QProgressBar(this);
    bar->setRange(0, 0);  // busy: the work does not say how far it is
    bar->setTextVisible(false);
    layout->addWidget(bar);
}

void ProgressWindow::showText(const std::string& text, QWidget* over) {
    m_text->setText(QString::fromStdString(text));
    adjustSize();
    if (over) move(over->window()->geometry().center() - rect().center());
    show();
    raise();
    // Painted now: the caller goes on working without returning to the loop.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

QString ProgressWindow::text() const { return m_text->text(); }

}  // namespace pla013::gui
