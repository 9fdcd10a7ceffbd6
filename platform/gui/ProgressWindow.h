#pragma once
// The progress windows of the desktop host.
//
// ProgressWindow is the modeless one the form asks for (ActiveShowAvi): a
// text and a busy bar, painted at once, since the work that follows keeps
// the event loop busy.
//
// runInBackground runs long work of the host (a report's data, layout and
// file; a server call) on a thread of its own while the event loop goes on:
// the windows repaint, and after a moment a window-modal progress window
// (WorkProgressDialog) shows the stage, the pages so far and "Cancelar".
// The user cannot touch the forms meanwhile (their input waits until the
// work ends), so the caller keeps its synchronous view of the work.

#include <cstddef>
#include <functional>
#include <stop_token>
#include <string>

#include <QDialog>
#include <QWidget>

class QLabel;
class QProgressBar;
class QPushButton;

namespace pla013::gui {

class ProgressWindow final : public QWidget {
public:
    // A window of its own (not a child of the main window, which may go
    // first); shown over `over` when given.
    ProgressWindow();
    void showText(const std::string& text, QWidget* over = nullptr);
    QString text() const;

private:
    QLabel* m_text;
};

// Progress of background work, from any thread: stage ("dados", "paginas",
// "gravacao" or a text of the caller), done and total (0: not known).
using WorkProgress = std::function<void(const std::string& stage, std::size_t done, std::size_t total)>;

class WorkProgressDialog final : public QDialog {
public:
    // writing: what the engine's writing stage ("gravacao") does for this
    // work (the pages prepared for the screen, printed, or a file written).
    WorkProgressDialog(const QString& title, QWidget* parent, const QString& writing = {});
    void show(const std::string& stage, std::size_t done, std::size_t total);
    // After "Cancelar": says that the work is stopping.
    void stopping();
    // Set when the user presses "Cancelar" (or closes the window).
    std::function<void()> onCancel;

    // The text the window shows for a stage of the report engine (before
    // the first stage is known: reading the data).
    static QString stageText(const std::string& stage, const QString& writing = {});

protected:
    void reject() override;

private:
    QLabel* m_stage;
    QLabel* m_count;
    QProgressBar* m_bar;
    QPushButton* m_cancel;
    QString m_writing;
};

// Runs work(stop, progress) on its own thread and returns when it has ended
// (the thread joined), throwing what it threw. The progress window shows
// over `parent` once the work has taken showAfterMs. Returns false when the
// user cancelled and the work stopped by throwing (what it threw is then
// dropped); work that ended well in spite of a late "Cancelar" is done.
// `whenShown` runs once, as the window appears; `writing` names the
// engine's writing stage (see WorkProgressDialog).
bool runInBackground(QWidget* parent, const QString& title,
                     const std::function<void(std::stop_token stop, const WorkProgress& progress)>& work,
                     int showAfterMs = 300, const std::function<void()>& whenShown = {}, const QString& writing = {});

}  // namespace pla013::gui
