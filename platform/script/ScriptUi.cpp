#include "platform/script/ScriptUi.h"

#include <stdexcept>

#include "host/Data.h"
#include "host/Form.h"

namespace pla013::script {

ScriptUi::ScriptUi(std::ostream& out, std::ostream& log) : m_out(out), m_log(log) {}
ScriptUi::~ScriptUi() = default;

void ScriptUi::emit(const std::string& line) {
    m_lines.push_back(line);
    m_out << line << '\n';
    m_out.flush();
}

void ScriptUi::ShowError(const std::string& text) { emit("message: " + text); }
void ScriptUi::ShowMessage(const std::string& text) { emit("message: " + text); }
void ScriptUi::FocusMoved(host::TControl& control) { emit("focus: " + control.Name()); }

namespace {
// The key field of a list: the first field shown, else the first visible field.
std::string keyFieldOf(const host::SearchRequest& request, host::TDataSet& data) {
    if (!request.keyFields.empty()) return request.keyFields.front();
    for (const auto& f : data.Fields())
        if (f->Visible) return f->FieldName();
    return data.Fields().empty() ? std::string() : data.Fields().front()->FieldName();
}
}  // namespace

std::optional<std::size_t> ScriptUi::SearchDialog(const host::SearchRequest& request, host::TDataSet& data) {
    emit("dialog: search " + request.title);
    if (m_search.empty()) {
        Log("no answer queued for the search dialog '" + request.title + "': cancelled");
        return std::nullopt;
    }
    auto answer = m_search.front();
    m_search.pop_front();
    if (!answer) return std::nullopt;
    std::string field = keyFieldOf(request, data);
    data.First();
    for (int i = 0; !data.Eof(); ++i, data.Next())
        if (data.FieldByName(field).AsString() == *answer) return std::size_t(i);
    throw BadAnswer("the search dialog '" + request.title + "' lists no " + field + " '" + *answer + "'");
}

std::optional<std::vector<std::string>> ScriptUi::ListDialog(const std::string& caption, host::TDataSet& data,
                                                             const std::string& keyField) {
    // The caption is "title|second text"; the dialog shows the title.
    emit("dialog: list " + caption.substr(0, caption.find('|')));
    if (m_list.empty()) {
        Log("no answer queued for the list dialog '" + caption + "': cancelled");
        return std::nullopt;
    }
    auto answer = m_list.front();
    m_list.pop_front();
    if (!answer) return std::nullopt;
    std::vector<std::string> keys;
    data.First();
    std::vector<std::string> listed;
    for (; !data.Eof(); data.Next()) listed.push_back(data.FieldByName(keyField).AsString());
    for (const auto& k : *answer) {
        if (std::find(listed.begin(), listed.end(), k) == listed.end())
            throw BadAnswer("the list dialog '" + caption + "' lists no " + keyField + " '" + k + "'");
        keys.push_back(k);
    }
    return keys;
}

void ScriptUi::ShowProgress(const std::string& text) {
    m_progressOpen = true;
    emit("dialog: progress " + text);
}

void ScriptUi::HideProgress() { m_progressOpen = false; }

void ScriptUi::SetCursor(host::Cursor cursor) { m_cursor = cursor; }

void ScriptUi::ShowChild(host::TForm& form) {
    // Showing a child again brings it to the front; only a form that was not
    // the active window is activated.
    if (m_activeForm == &form) return;
    m_activeForm = &form;
    form.Activate();
}

void ScriptUi::ShowModal(host::TForm& form) {
    host::TForm* previous = m_activeForm;
    m_activeForm = &form;
    form.Activate();
    if (modalLoop) modalLoop(form);
    m_activeForm = previous == &form ? nullptr : previous;
}

std::optional<std::string> ScriptUi::AskSaveFileName(const std::string& suggested) {
    if (m_save.empty()) {
        Log("no file name given for save-as (suggested " + suggested + "): cancelled");
        return std::nullopt;
    }
    auto f = m_save.front();
    m_save.pop_front();
    return f;
}

void ScriptUi::Log(const std::string& text) { m_log << "log: " << text << '\n'; }

}  // namespace pla013::script
