#pragma once
// The desktop host around a fresh copy of the sample database, for tests on
// Qt's offscreen platform: the same assembly as pla013-desktop (main window,
// Qt user interface, host session with the embedded server, report dialog
// with preview, the module loaded from its shared library). Helpers act on
// the widgets only, as a person would: mouse clicks and keys.

#include <functional>
#include <memory>
#include <string>

#include <QElapsedTimer>
#include <QString>
#include <QTimer>

#include "FormHarness.h"
#include "platform/gui/DesktopHost.h"
#include "platform/gui/FormView.h"
#include "platform/gui/HostMainWindow.h"
#include "platform/gui/QtUserInterface.h"

class QWidget;

namespace pla013guitest {

class GuiHarness {
public:
    // The operator's settings are kept in settingsDir (by default a folder
    // of this harness's own), never in the real home.
    explicit GuiHarness(pla013::runtime::HostOptions options = {}, const std::filesystem::path& settingsDir = {});
    ~GuiHarness();

    pla013::gui::DesktopHost& host() { return *m_host; }
    pla013::gui::QtUserInterface& ui() { return m_host->ui(); }
    pla013::gui::HostMainWindow& window() { return m_host->window(); }
    const std::filesystem::path& dir() const { return m_dir.path(); }

    // The open dish report form and its view (null when none is open).
    pla013::host::TForm* form() const;
    pla013::gui::FormView* view() const;
    pla013::host::TControl& control(const std::string& name) const;
    QWidget* widget(const std::string& name) const;
    // A published field of the form (FCdFilial, FListaFilial...).
    std::string field(const std::string& name) const;
    bool formCriado();

    // Menu entries through the menu bar, with the mouse.
    void clickMenu(const QString& menu, const QString& entry);
    // The child window through its menu entry; waits until it shows.
    void openChild();

    // --- the user at the screen ---
    void click(QWidget* w);
    void click(const std::string& control) { click(widget(control)); }
    // Clicks into the field, selects its text and types over it.
    void typeInto(const std::string& control, const QString& text);
    void key(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier);  // to the focused widget
    void tab() { key(Qt::Key_Tab); }
    // Chooses an entry of a combo box through its popup list.
    void chooseInCombo(const std::string& control, int index);
    static void processEvents();
    // Types text into a widget key by key, accented letters included.
    static void typeText(QWidget* w, const QString& text);
    // Processes events until the condition holds (at most a few seconds).
    static bool waitUntil(const std::function<bool()>& condition);

    // The control the Qt focus is on (null when the focus is elsewhere).
    pla013::host::TControl* focusedControl() const;

private:
    pla013test::TempDir m_dir;
    std::unique_ptr<pla013::gui::DesktopHost> m_host;
    // Closes (and fails the test on) a modal window nobody expected, so that
    // a test never hangs on one.
    QTimer m_watchdog;
    QElapsedTimer m_modalSince;
};

}  // namespace pla013guitest
