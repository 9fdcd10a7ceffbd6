#include "GuiHarness.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMdiArea>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QTest>

#include <gtest/gtest.h>

#include "ModalSteps.h"

#include "host/Form.h"
#include "platform/runtime/ModuleLoader.h"

namespace pla013guitest {

GuiHarness::GuiHarness(pla013::runtime::HostOptions options, const std::filesystem::path& settingsDir) {
    if (options.db.empty()) options.db = pla013test::copyOfSampleDatabase(m_dir.path());
    const std::filesystem::path settings = settingsDir.empty() ? m_dir.path() / "settings" : settingsDir;
    qputenv("PLA013_SETTINGS_DIR", QByteArray::fromStdString(settings.string()));
    if (options.reports.empty()) options.reports = PLA013_REPORTS_DIR;
    m_host = std::make_unique<pla013::gui::DesktopHost>(options, PLA013_MODULE_PATH);
    m_watchdog.setInterval(50);
    QObject::connect(&m_watchdog, &QTimer::timeout, [this] {
        QWidget* modal = QApplication::activeModalWidget();
        // The progress window of long work goes by itself.
        if (!modal || ModalSteps::anyPending() || modal->objectName() == QLatin1String("workProgress")) {
            m_modalSince.invalidate();
            return;
        }
        if (!m_modalSince.isValid()) m_modalSince.start();
        if (m_modalSince.elapsed() < 1000) return;
        QString text = modal->objectName();
        if (auto* box = qobject_cast<QMessageBox*>(modal)) text += ": " + box->text();
        ADD_FAILURE() << "unexpected modal window " << text.toStdString();
        m_modalSince.invalidate();
        if (auto* d = qobject_cast<QDialog*>(modal))
            d->reject();
        else
            modal->close();
    });
    m_watchdog.start();
    window().show();
    window().activateWindow();
    if (!QTest::qWaitForWindowExposed(&window())) throw std::runtime_error("the main window does not show");
    processEvents();
}

GuiHarness::~GuiHarness() {
    // Whatever a failed test left open goes quietly.
    while (QWidget* modal = QApplication::activeModalWidget()) {
        modal->close();
        processEvents();
        if (QApplication::activeModalWidget() == modal) break;
    }
    m_host.reset();
}

void GuiHarness::processEvents() {
    for (int i = 0; i < 3; ++i) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

void GuiHarness::typeText(QWidget* w, const QString& text) {
    for (QChar ch : text) {
        if (ch.unicode() < 128)
            QTest::keyClick(w, char(ch.unicode()));
        else
            QTest::sendKeyEvent(QTest::Click, w, Qt::Key_unknown, QString(ch), Qt::NoModifier);
    }
}

bool GuiHarness::waitUntil(const std::function<bool()>& condition) {
    QElapsedTimer clock;
    clock.start();
    while (!condition()) {
        if (clock.elapsed() > 5000) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

pla013::host::TForm* GuiHarness::form() const {
    for (auto it = pla013::host::Application().Forms().rbegin(); it != pla013::host::Application().Forms().rend(); ++it)
        if (!(*it)->IsClosed()) return it->get();
    return nullptr;
}

pla013::gui::FormView* GuiHarness::view() const {
    pla013::host::TForm* f = form();
    return f ? m_host->ui().viewOf(*f) : nullptr;
}

pla013::host::TControl& GuiHarness::control(const std::string& name) const {
    pla013::host::TForm* f = form();
    if (!f) throw std::runtime_error("no form is open");
    pla013::host::TControl* c = f->FindControl(name);
    if (!c) throw std::runtime_error("the form has no control " + name);
    return *c;
}

QWidget* GuiHarness::widget(const std::string& name) const {
    pla013::gui::FormView* v = view();
    if (!v) throw std::runtime_error("no form view is open");
    QWidget* w = v->widgetFor(control(name));
    if (!w) throw std::runtime_error("no widget drawn for " + name);
    return w;
}

std::string GuiHarness::field(const std::string& name) const {
    pla013::host::TForm* f = form();
    if (!f) return {};
    for (const auto& [key, value] : f->PublishedFields())
        if (key == name) return value.toString();
    throw std::runtime_error("the form publishes no field " + name);
}

bool GuiHarness::formCriado() { return m_host->module().formCriado(); }

pla013::host::TControl* GuiHarness::focusedControl() const {
    pla013::gui::FormView* v = view();
    QWidget* focus = QApplication::focusWidget();
    return v && focus ? v->controlFor(focus) : nullptr;
}

void GuiHarness::clickMenu(const QString& menuTitle, const QString& entry) {
    QMenuBar* bar = window().menuBar();
    QAction* menuAction = nullptr;
    for (QAction* a : bar->actions())
        if (a->text().remove('&') == menuTitle) menuAction = a;
    if (!menuAction) throw std::runtime_error("no menu " + menuTitle.toStdString());
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->actionGeometry(menuAction).center());
    QMenu* menu = menuAction->menu();
    if (!QTest::qWaitForWindowExposed(menu)) throw std::runtime_error("the menu does not open");
    QAction* item = nullptr;
    for (QAction* a : menu->actions())
        if (a->text().remove('&') == entry) item = a;
    if (!item) throw std::runtime_error("no menu entry " + entry.toStdString());
    QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(item).center());
    processEvents();
}

void GuiHarness::openChild() {
    clickMenu("Relatórios", "Emissão das Receitas");
    processEvents();
}

void GuiHarness::click(QWidget* w) {
    QTest::mouseClick(w, Qt::LeftButton, {}, w->rect().center());
    processEvents();
}

void GuiHarness::typeInto(const std::string& name, const QString& text) {
    QWidget* w = widget(name);
    click(w);
    QWidget* target = QApplication::focusWidget() ? QApplication::focusWidget() : w;
    QTest::keyClick(target, Qt::Key_A, Qt::ControlModifier);
    if (!text.isEmpty())
        typeText(target, text);
    else
        QTest::keyClick(target, Qt::Key_Delete);
    processEvents();
}

void GuiHarness::key(int key, Qt::KeyboardModifiers modifiers) {
    QWidget* target = QApplication::focusWidget();
    if (!target) target = view();
    QTest::keyClick(target, Qt::Key(key), modifiers);
    processEvents();
}

void GuiHarness::chooseInCombo(const std::string& name, int index) {
    auto* combo = qobject_cast<QComboBox*>(widget(name));
    if (!combo) throw std::runtime_error(name + " is not drawn as a combo box");
    click(combo);  // opens the list
    QAbstractItemView* list = combo->view();
    if (!list->isVisible()) {
        combo->showPopup();
        processEvents();
    }
    if (!QTest::qWaitForWindowExposed(list->window())) throw std::runtime_error("the list does not open");
    // A popup list takes no click until a double-click interval has passed
    // since it opened.
    QTest::qWait(QApplication::doubleClickInterval() + 30);
    const QRect item = list->visualRect(list->model()->index(index, 0));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, item.center());
    processEvents();
}

}  // namespace pla013guitest
