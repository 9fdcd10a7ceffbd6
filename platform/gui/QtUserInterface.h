#pragma once
// The user's side of the host on Qt 6 Widgets: message boxes, the search and
// list dialogs, the progress window, the hourglass, the forms as child
// windows of the main window's multiple-document area or as modal dialogs,
// and the file and print dialogs. The Qt twin of the script host's headless
// interface; the module never knows which one is attached.

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

#include <QString>

#include "host/Ports.h"

class QDialog;
class QMdiArea;
class QObject;
class QMdiSubWindow;
class QPrinter;
class QWidget;

namespace pla013::runtime {
class HostSession;
}

namespace pla013::gui {

class FormView;
class ProgressWindow;

class QtUserInterface final : public host::IUserInterface {
public:
    QtUserInterface();
    ~QtUserInterface() override;
    QtUserInterface(const QtUserInterface&) = delete;
    QtUserInterface& operator=(const QtUserInterface&) = delete;

    // --- host::IUserInterface ---
    void ShowError(const std::string& text) override;
    void ShowMessage(const std::string& text) override;
    void FocusMoved(host::TControl& control) override;
    std::optional<std::size_t> SearchDialog(const host::SearchRequest& request, host::TDataSet& data) override;
    std::optional<std::vector<std::string>> ListDialog(const std::string& caption, host::TDataSet& data,
                                                       const std::string& keyField) override;
    void ShowProgress(const std::string& text) override;
    void HideProgress() override;
    void SetCursor(host::Cursor cursor) override;
    void ShowChild(host::TForm& form) override;
    void ShowModal(host::TForm& form) override;
    std::optional<std::string> AskSaveFileName(const std::string& suggested) override;
    void Log(const std::string& text) override;

    // --- the host application around it ---
    // Child forms open in this area (without one, as windows of their own).
    void setMdiArea(QMdiArea* area);
    // Parent of dialogs when no modal window is open.
    void setMainWindow(QWidget* window);
    QWidget* dialogParent() const;

    // The view of an open form, or null.
    FormView* viewOf(const host::TForm& form) const;
    std::vector<host::TForm*> openForms() const;
    // Closes every open form as the user would (its close handler runs).
    void closeAllForms();
    // Takes every view down at once, before the forms are destroyed.
    void detachAll();

    // Runs a modal dialog of the host; afterwards the window the user was
    // in is active again (the focus goes back where the form has it).
    int execDialog(QDialog& dialog);

    // Chooses a printer for `pages` pages: the system's print dialog, or the
    // answer hook. False when the user cancels.
    bool choosePrinter(QPrinter& printer, int pages);

    // Answer hooks for tests and automation: when set, they answer instead of
    // the file and print dialogs (nullopt / false stand for cancel).
    std::function<std::optional<std::string>(const std::string& suggested)> saveFileAnswer;
    std::function<bool(QPrinter&)> printerAnswer;
    // Diagnostics sink (the log is kept in memory too).
    std::function<void(const std::string&)> logSink;

    // A form's window has been shown, and is about to go; window is its
    // sub-window, top-level window or dialog. A child window is announced
    // once the call that showed it is over; a modal dialog after its first
    // activation, before it shows (the call that showed it waits for it).
    std::function<void(host::TForm& form, QWidget* window)> onFormShown;
    std::function<void(host::TForm& form, QWidget* window)> onFormClosing;
    // The folder the save dialog opens in, and where the user saved last.
    void setSaveFolder(const QString& folder) { m_saveFolder = folder; }
    std::function<void(const QString& folder)> onSaveFolder;
    // A file was written there (a print to a PDF file): the next save starts there.
    void rememberSaveFolder(const QString& folder);
    // A passing word in the main window's status bar.
    void showStatus(const QString& text);

    // Every message, dialog and focus move, one line each, as the script host
    // writes them ("message: ...", "dialog: search Filial", "focus: ...").
    const std::vector<std::string>& events() const { return m_events; }
    void clearEvents() { m_events.clear(); }
    bool progressVisible() const;
    QString progressText() const;
    // The form's progress window out of sight for a while and back, as the
    // host's own takes its place (the form asked for nothing).
    void setProgressShown(bool shown);
    host::Cursor cursor() const { return m_cursor; }
    host::TForm* activeForm() const { return m_activeForm; }

    // User actions in progress (any view); deferred work waits for none.
    int busyDepth() const { return m_busy; }
    void enterBusy() { ++m_busy; }
    void leaveBusy() { --m_busy; }

private:
    struct OpenForm {
        FormView* view = nullptr;
        QWidget* window = nullptr;  // QMdiSubWindow, top-level window or QDialog
        QMdiSubWindow* sub = nullptr;
        bool modal = false;
    };
    void emitEvent(const std::string& line);
    void activate(host::TForm& form);
    void announceShown(host::TForm& form, int delayMs = 0);
    void formHidden(host::TForm& form);
    void teardown(host::TForm* form);
    void scheduleTeardown(host::TForm* form);
    void scheduleTeardown(host::TForm* form, int delayMs);

    std::unique_ptr<QObject> m_context;  // receiver of deferred work; cancels it when gone
    QMdiArea* m_area = nullptr;
    QWidget* m_main = nullptr;
    std::map<const host::TForm*, OpenForm> m_open;
    std::unique_ptr<ProgressWindow> m_progress;
    host::Cursor m_cursor = host::Cursor::Default;
    host::TForm* m_activeForm = nullptr;
    std::vector<std::string> m_events;
    int m_busy = 0;
    QString m_saveFolder;
};

// The application server's transport as the desktop uses it: each call runs
// on a thread of its own while the windows repaint, and one that takes a
// moment shows the progress window; "Cancelar" gives the call up at once
// (its answer, if any comes, is dropped and no data set changes) and ends
// the user's action as the silent abort.
class BackgroundTransport final : public host::INetTransport {
public:
    BackgroundTransport(pla013::runtime::HostSession& session, QtUserInterface& ui);
    void Connect(const std::string& host, int port) override;
    host::Variant Call(const std::string& host, int port, const std::string& serverName, const std::string& method,
                       const std::vector<host::CallArg>& args) override;
    // Installs it as the host's transport; the destructor puts inner back.
    void install();
    ~BackgroundTransport() override;

private:
    // Runs the work off this thread behind the progress window; false when
    // the user cancelled it.
    bool runServerWork(const std::string& doing, const std::function<void(std::stop_token stop)>& work);

    pla013::runtime::HostSession& m_session;
    QtUserInterface& m_ui;
};

}  // namespace pla013::gui
