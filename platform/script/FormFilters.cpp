#include "platform/script/FormFilters.h"

#include <optional>
#include <set>

#include "host/Form.h"
#include "platform/script/ScriptRunner.h"

namespace pla013::script {

namespace {

const char* const kReportList = "cbbReportNames";

std::optional<int> index(const std::string& text) {
    if (text.empty() || text.size() > 6 || text.find_first_not_of("0123456789") != std::string::npos)
        return std::nullopt;
    return std::stoi(text);
}

// One step as the user would take it; false when the step ended in the
// silent abort or could not be taken at all.
bool act(ScriptRunner& runner, std::string verb, std::vector<std::string> args) {
    Step step;
    step.verb = std::move(verb);
    step.args = std::move(args);
    try {
        return runner.runStep(step);
    } catch (const ScriptError&) {
        return false;
    }
}

}  // namespace

bool FormFilters::usable(const host::TControl& c) {
    for (const host::TControl* p = &c; p && p->Kind() != host::ControlKind::Form; p = p->Parent()) {
        if (!p->Visible() || !p->Enabled()) return false;
        if (p->Kind() == host::ControlKind::Page && p->Parent()) {
            const auto* book = static_cast<const host::TNotebook*>(p->Parent());
            if (book->Page(p->Caption()) != p || book->ActivePage() != p->Caption()) return false;
        }
    }
    return true;
}

std::string FormFilters::report(const host::TForm& form) {
    auto* list = dynamic_cast<host::TComboBox*>(form.FindControl(kReportList));
    return list && list->ItemIndex() >= 0 ? list->Text() : std::string();
}

FormFilters::Filters FormFilters::capture(const host::TForm& form) {
    std::vector<host::TControl*> order = form.TabSequence();
    std::set<host::TControl*> seen(order.begin(), order.end());
    for (host::TControl* c : form.AllControls())
        if (!seen.count(c)) order.push_back(c);
    Filters choices, fields;
    for (host::TControl* c : order) {
        if (c->Name() == kReportList || !usable(*c)) continue;
        if (auto* box = dynamic_cast<host::TCheckBox*>(c))
            choices.emplace_back(c->Name(), box->Checked() ? "1" : "0");
        else if (auto* radio = dynamic_cast<host::TRadioButton*>(c)) {
            if (radio->Checked()) choices.emplace_back(c->Name(), "1");
        } else if (auto* combo = dynamic_cast<host::TComboBox*>(c)) {
            if (combo->ItemIndex() >= 0) choices.emplace_back(c->Name(), std::to_string(combo->ItemIndex()));
        } else if (auto* group = dynamic_cast<host::TRadioGroup*>(c)) {
            if (group->ItemIndex() >= 0) choices.emplace_back(c->Name(), std::to_string(group->ItemIndex()));
        } else if (auto* edit = dynamic_cast<host::TEdit*>(c)) {
            if (!edit->ReadOnly()) fields.emplace_back(c->Name(), edit->Text());
        }
    }
    choices.insert(choices.end(), fields.begin(), fields.end());
    return choices;
}

bool FormFilters::restore(host::TForm& form, ScriptRunner& runner, const std::string& report, const Filters& filters,
                          bool keepFilled) {
    std::set<const host::TControl*> filled;
    if (keepFilled)
        for (const host::TControl* c : form.AllControls())
            if (auto* edit = dynamic_cast<const host::TEdit*>(c); edit && !edit->Text().empty()) filled.insert(c);
    auto* list = dynamic_cast<host::TComboBox*>(form.FindControl(kReportList));
    if (!list) return false;
    if (!report.empty()) {
        const auto& items = list->Items();
        for (std::size_t i = 0; i < items.size(); ++i)
            if (items[i] == report && list->ItemIndex() != int(i)) {
                act(runner, "report", {std::to_string(i)});
                break;
            }
        if (FormFilters::report(form) != report) return false;  // the form kept its own choice
    }
    for (const auto& [name, value] : filters) {
        if (form.IsClosed()) return false;
        host::TControl* c = form.FindControl(name);
        // A field the form shows no more for this report is not the user's.
        if (!c || !usable(*c)) continue;
        if (auto* box = dynamic_cast<host::TCheckBox*>(c)) {
            if (box->Checked() != (value == "1")) act(runner, "click", {name});
        } else if (auto* radio = dynamic_cast<host::TRadioButton*>(c)) {
            if (!radio->Checked()) act(runner, "click", {name});
        } else if (auto* combo = dynamic_cast<host::TComboBox*>(c)) {
            const auto i = index(value);
            if (i && *i < int(combo->Items().size()) && combo->ItemIndex() != *i) act(runner, "select", {name, value});
        } else if (auto* group = dynamic_cast<host::TRadioGroup*>(c)) {
            const auto i = index(value);
            if (i && *i < int(group->Items().size()) && group->ItemIndex() != *i) act(runner, "select", {name, value});
        } else if (auto* edit = dynamic_cast<host::TEdit*>(c)) {
            if (edit->ReadOnly() || edit->Text() == value || filled.count(edit)) continue;
            // Typed and left, so that its exit check runs as for the user.
            if (!act(runner, "type", {name, value}) || form.ActiveControl() != edit) return false;
            act(runner, "focus", {kReportList});
            if (form.IsClosed() || form.ActiveControl() == edit) return false;  // refused: the user sees why
        }
    }
    return true;
}

}  // namespace pla013::script
