#include "ModalSteps.h"

#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

namespace pla013guitest {

namespace {
constexpr int kLimitMs = 20000;
std::vector<const ModalSteps*>& live() {
    static std::vector<const ModalSteps*> all;
    return all;
}
}  // namespace

bool ModalSteps::anyPending() {
    for (const ModalSteps* s : live())
        if (!s->done()) return true;
    return false;
}

ModalSteps::ModalSteps() {
    m_timer.setInterval(20);
    QObject::connect(&m_timer, &QTimer::timeout, [this] { poll(); });
    m_timer.start();
    m_waiting.start();
    live().push_back(this);
}

ModalSteps::~ModalSteps() { std::erase(live(), this); }

ModalSteps::Match ModalSteps::named(const QString& objectName) {
    return [objectName](QWidget* w) { return w->objectName() == objectName; };
}

void ModalSteps::expect(std::string what, Match match, Act act) {
    if (m_steps.empty()) m_waiting.restart();
    m_steps.push_back({std::move(what), std::move(match), std::move(act)});
}

void ModalSteps::expectMessage(const QString& text) {
    expect(
        "message " + text.toStdString(), [](QWidget* w) { return qobject_cast<QMessageBox*>(w) != nullptr; },
        [this, text](QWidget* w) {
            auto* box = qobject_cast<QMessageBox*>(w);
            m_messages.push_back(box->text().toStdString());
            if (box->text() != text)
                m_failures.push_back("message box says '" + box->text().toStdString() + "', expected '" +
                                     text.toStdString() + "'");
            QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
        });
}

void ModalSteps::poll() {
    if (m_steps.empty()) return;
    QWidget* modal = QApplication::activeModalWidget();
    if (modal && modal->isVisible() && m_steps.front().match(modal)) {
        // Taken off first: acting may open another modal window, whose loop
        // runs the next step from inside this one.
        Step step = std::move(m_steps.front());
        m_steps.pop_front();
        m_waiting.restart();
        step.act(modal);
        return;
    }
    if (m_waiting.elapsed() < kLimitMs) return;
    m_failures.push_back("timed out waiting for " + m_steps.front().what +
                         (modal ? " (open: " + modal->objectName().toStdString() + ")" : std::string()));
    m_steps.clear();
    while (QWidget* w = QApplication::activeModalWidget()) {
        if (auto* d = qobject_cast<QDialog*>(w))
            d->reject();
        else
            w->close();
        if (QApplication::activeModalWidget() == w) w->hide();
    }
}

}  // namespace pla013guitest
