#include "platform/script/DriverUi.h"

#include <algorithm>
#include <sstream>

#include <nlohmann/json.hpp>

#include "host/Data.h"
#include "host/Form.h"
#include "platform/script/EventWriter.h"
#include "platform/script/LineQueue.h"
#include "platform/script/ScriptRunner.h"

namespace pla013::script {

using json = nlohmann::ordered_json;

namespace {

std::ostream& nowhere() {
    static std::ostream out(nullptr);
    return out;
}

struct Column {
    std::string field;
    std::string label;
    int width = 10;  // characters
};

// The fields asked for, or every visible field, with their display labels.
std::vector<Column> columnsOf(host::TDataSet& data, const std::vector<std::string>& wanted) {
    std::vector<Column> out;
    auto add = [&out](const host::TField& f) {
        out.push_back({f.FieldName(), f.DisplayLabel.empty() ? f.FieldName() : f.DisplayLabel,
                       f.DisplayWidth > 0 ? f.DisplayWidth : (f.Size() > 0 ? f.Size() : 10)});
    };
    for (const auto& name : wanted)
        if (host::TField* f = data.FindField(name)) add(*f);
    if (out.empty())
        for (const auto& f : data.Fields())
            if (f->Visible) add(*f);
    if (out.empty() && !data.Fields().empty()) add(*data.Fields().front());
    return out;
}

// Columns, rows and each row's key, as the dialog event carries them.
void writeRows(json& event, host::TDataSet& data, const std::vector<Column>& columns, const std::string& keyField) {
    json cols = json::array();
    for (const auto& c : columns) cols.push_back({{"label", c.label}, {"width", c.width}});
    json rows = json::array();
    json keys = json::array();
    host::TField* key = keyField.empty() ? nullptr : data.FindField(keyField);
    for (data.First(); !data.Eof(); data.Next()) {
        json row = json::array();
        for (const auto& c : columns) row.push_back(data.FieldByName(c.field).AsString());
        rows.push_back(std::move(row));
        keys.push_back(key ? key->AsString() : std::string());
    }
    event["columns"] = std::move(cols);
    event["rows"] = std::move(rows);
    event["keys"] = std::move(keys);
}

}  // namespace

DriverUi::DriverUi(EventWriter& events, LineQueue& input, std::ostream& log)
    : ScriptUi(nowhere(), log), m_events(events), m_input(input) {}

DriverUi::~DriverUi() = default;

void DriverUi::ShowError(const std::string& text) {
    if (beforeDialog) beforeDialog();
    m_events.write({{"t", "message"}, {"kind", "error"}, {"text", text}});
}

void DriverUi::ShowMessage(const std::string& text) {
    if (beforeDialog) beforeDialog();
    m_events.write({{"t", "message"}, {"kind", "info"}, {"text", text}});
}

void DriverUi::FocusMoved(host::TControl& control) { m_events.write({{"t", "focus"}, {"control", control.Name()}}); }

void DriverUi::emit(const std::string& line) {
    if (line == "abort")
        m_events.write({{"t", "abort"}});
    else
        m_events.write({{"t", "line"}, {"text", line}});
}

void DriverUi::fatal(const std::string& text) { m_events.write({{"t", "fatal"}, {"text", text}}); }

void DriverUi::refuse(const std::string& why) { m_events.write({{"t", "error"}, {"text", why}}); }

std::optional<std::string> DriverUi::awaitAnswer(const std::string& kind) {
    for (;;) {
        const std::optional<std::string> line = m_input.pop();
        if (!line) return std::nullopt;  // the view went away: the dialog is cancelled
        std::vector<Step> steps;
        try {
            std::istringstream in(*line);
            steps = parseScript(in);
        } catch (const ScriptError& e) {
            refuse(e.what());
            continue;
        }
        if (steps.empty()) continue;
        const Step& s = steps.front();
        if (s.verb != "answer" || s.args.size() != 2 || s.args[0] != kind) {
            refuse("a " + kind + " dialog is open: '" + *line + "' must wait for its answer");
            continue;
        }
        if (s.args[1] == "cancel") return std::nullopt;
        return s.args[1];
    }
}

std::optional<std::size_t> DriverUi::SearchDialog(const host::SearchRequest& request, host::TDataSet& data) {
    if (beforeDialog) beforeDialog();
    const auto columns = columnsOf(data, request.keyFields);
    const std::string keyField = columns.empty() ? std::string() : columns.front().field;
    json event{{"t", "dialog"}, {"kind", "search"}, {"title", request.title}, {"empty", request.emptyText}};
    writeRows(event, data, columns, keyField);
    const std::vector<std::string> keys = event["keys"].get<std::vector<std::string>>();
    // An answer the dialog refuses leaves it open: the view is told so and
    // shown the dialog again.
    for (;;) {
        m_events.write(event);
        const auto answer = awaitAnswer("search");
        if (!answer) return std::nullopt;
        const auto it = std::find(keys.begin(), keys.end(), *answer);
        if (it != keys.end()) return std::size_t(it - keys.begin());
        refuse("the search dialog '" + request.title + "' lists no " + keyField + " '" + *answer + "'");
    }
}

std::optional<std::vector<std::string>> DriverUi::ListDialog(const std::string& caption, host::TDataSet& data,
                                                             const std::string& keyField) {
    if (beforeDialog) beforeDialog();
    // The caption is "title|second text".
    const auto bar = caption.find('|');
    json event{{"t", "dialog"},
               {"kind", "list"},
               {"title", caption.substr(0, bar)},
               {"subtitle", bar == std::string::npos ? std::string() : caption.substr(bar + 1)}};
    writeRows(event, data, columnsOf(data, {}), keyField);
    const std::vector<std::string> keys = event["keys"].get<std::vector<std::string>>();
    for (;;) {
        m_events.write(event);
        const auto answer = awaitAnswer("list");
        if (!answer) return std::nullopt;
        std::vector<std::string> chosen;
        std::string unknown;
        std::string key;
        std::istringstream in(*answer);
        while (std::getline(in, key, ',')) {
            if (key.empty()) continue;
            if (std::find(keys.begin(), keys.end(), key) == keys.end()) unknown = key;
            chosen.push_back(key);
        }
        if (unknown.empty()) return chosen;
        refuse("the list dialog '" + caption + "' lists no " + keyField + " '" + unknown + "'");
    }
}

void DriverUi::ShowProgress(const std::string& text) { m_events.write({{"t", "wait"}, {"text", text}}); }

void DriverUi::HideProgress() { m_events.write({{"t", "wait"}, {"text", nullptr}}); }

std::string DriverUi::takePreviewFile() {
    std::string file = std::move(m_previewFile);
    m_previewFile.clear();
    return file;
}

void DriverUi::reportDone(const std::string& target, const std::string& file, const std::string& report,
                          std::size_t pages, std::size_t rows) {
    m_reportRan = true;
    m_events.write(
        {{"t", "report"}, {"target", target}, {"file", file}, {"report", report}, {"pages", pages}, {"rows", rows}});
}

bool DriverUi::takeReportRan() {
    const bool ran = m_reportRan;
    m_reportRan = false;
    return ran;
}

void DriverUi::progress(const std::string& stage, std::size_t done, std::size_t total) {
    m_events.write({{"t", "progress"}, {"stage", stage}, {"done", done}, {"total", total}});
}

}  // namespace pla013::script
