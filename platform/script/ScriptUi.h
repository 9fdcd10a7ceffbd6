#pragma once
#include <deque>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "host/Ports.h"

namespace pla013::script {

// The user interface of the headless host: every message, focus move and
// dialog becomes one output line; search and list dialogs are answered from
// queues filled by the script (or a test).
class ScriptUi : public host::IUserInterface {
public:
    explicit ScriptUi(std::ostream& out, std::ostream& log);
    ~ScriptUi() override;

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

    // Answers for the next dialogs; nullopt stands for cancel.
    void queueSearchAnswer(std::optional<std::string> key) { m_search.push_back(std::move(key)); }
    void queueListAnswer(std::optional<std::vector<std::string>> keys) { m_list.push_back(std::move(keys)); }
    void queueSaveFile(std::optional<std::string> file) { m_save.push_back(std::move(file)); }
    // Drops the file names no save-as dialog took (a save refused before its
    // dialog opened), so that none answers a later one.
    void dropSaveFiles() { m_save.clear(); }

    // What runs while a modal form is open: the script's next steps, until
    // the form closes. Without it ShowModal returns at once.
    std::function<void(host::TForm&)> modalLoop;

    // Output line for anything else the host wants to report (report runs).
    // A host with another output format (the interactive driver) translates
    // the lines here.
    virtual void emit(const std::string& line);

    bool progressOpen() const { return m_progressOpen; }
    host::Cursor cursor() const { return m_cursor; }
    const std::vector<std::string>& lines() const { return m_lines; }
    host::TForm* activeForm() const { return m_activeForm; }
    void setActiveForm(host::TForm* f) { m_activeForm = f; }

    // Raised when a queued answer names a row that the dialog does not list.
    struct BadAnswer : std::runtime_error {
        using std::runtime_error::runtime_error;
    };

private:
    std::ostream& m_out;
    std::ostream& m_log;
    std::deque<std::optional<std::string>> m_search;
    std::deque<std::optional<std::vector<std::string>>> m_list;
    std::deque<std::optional<std::string>> m_save;
    std::vector<std::string> m_lines;
    bool m_progressOpen = false;
    host::Cursor m_cursor = host::Cursor::Default;
    host::TForm* m_activeForm = nullptr;
};

}  // namespace pla013::script
