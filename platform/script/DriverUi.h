#pragma once
// The user interface of the interactive driver (pla013 drive): the script
// host's, with every message, focus move, dialog and progress written as a
// JSON event for the view on the other side of the pipe. A search or list
// dialog writes its rows and then blocks the form's thread until the view
// answers it with an `answer` line, as a modal dialog blocks the desktop.

#include <cstddef>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "platform/script/ScriptUi.h"

namespace pla013::script {

class EventWriter;
class LineQueue;

class DriverUi : public ScriptUi {
public:
    DriverUi(EventWriter& events, LineQueue& input, std::ostream& log);
    ~DriverUi() override;

    void ShowError(const std::string& text) override;
    void ShowMessage(const std::string& text) override;
    void FocusMoved(host::TControl& control) override;
    std::optional<std::size_t> SearchDialog(const host::SearchRequest& request, host::TDataSet& data) override;
    std::optional<std::vector<std::string>> ListDialog(const std::string& caption, host::TDataSet& data,
                                                       const std::string& keyField) override;
    void ShowProgress(const std::string& text) override;
    void HideProgress() override;
    void emit(const std::string& line) override;

    // Runs before a message or dialog is written, so that the view shows the
    // form as it stands when the user reads it.
    std::function<void()> beforeDialog;

    // Where the next preview or print is laid out (an HTML file the view
    // shows, and prints with the browser's own print); taken by the run.
    void setPreviewFile(std::string file) { m_previewFile = std::move(file); }
    std::string takePreviewFile();

    // A report run ended: target ("file", "preview", "print"), the file
    // written, the report ("PLA01301"), its pages and rows.
    void reportDone(const std::string& target, const std::string& file, const std::string& report, std::size_t pages,
                    std::size_t rows);
    // Whether a report ran since the last call.
    bool takeReportRan();
    // Progress of a report run: stage ("dados", "paginas", "gravacao"),
    // done and total.
    void progress(const std::string& stage, std::size_t done, std::size_t total);

    // The driver cannot go on (the database or the server could not be
    // opened): the reason, for the view's log and its user.
    void fatal(const std::string& text);

    EventWriter& events() { return m_events; }

private:
    // The answer of the dialog of this kind ("search", "list"): its text, or
    // nothing for "cancel" or when the input ends. Other lines are refused
    // with an error event while the dialog waits.
    std::optional<std::string> awaitAnswer(const std::string& kind);
    void refuse(const std::string& why);

    EventWriter& m_events;
    LineQueue& m_input;
    std::string m_previewFile;
    bool m_reportRan = false;
};

}  // namespace pla013::script
