#include "platform/script/ScriptRunner.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <optional>
#include <sstream>

#include "host/Data.h"
#include "host/Errors.h"
#include "host/Form.h"

using json = nlohmann::ordered_json;

namespace pla013::script {

std::vector<Step> parseScript(std::istream& in) {
    std::vector<Step> steps;
    std::string line;
    int n = 0;
    while (std::getline(in, line)) {
        ++n;
        std::vector<std::string> tokens;
        std::size_t i = 0;
        while (i < line.size()) {
            char c = line[i];
            if (c == ' ' || c == '\t' || c == '\r') {
                ++i;
                continue;
            }
            if (c == '#') break;
            std::string tok;
            if (c == '"') {
                ++i;
                bool closed = false;
                while (i < line.size()) {
                    if (line[i] == '"') {
                        if (i + 1 < line.size() && line[i + 1] == '"') {
                            tok += '"';
                            i += 2;
                            continue;
                        }
                        closed = true;
                        ++i;
                        break;
                    }
                    tok += line[i++];
                }
                if (!closed) throw ScriptError("line " + std::to_string(n) + ": unterminated quoted argument");
            } else {
                while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r') tok += line[i++];
            }
            tokens.push_back(tok);
        }
        if (tokens.empty()) continue;
        Step s;
        s.line = n;
        s.verb = tokens[0];
        s.args.assign(tokens.begin() + 1, tokens.end());
        steps.push_back(std::move(s));
    }
    return steps;
}

ScriptRunner::ScriptRunner(ScriptUi& ui, ScriptHost host, std::ostream& out)
    : m_ui(ui), m_host(std::move(host)), m_out(out) {
    m_ui.modalLoop = [this](host::TForm& form) { runUntil([&form] { return form.IsClosed(); }); };
}

int ScriptRunner::run(const std::vector<Step>& steps, std::ostream& err) {
    m_steps = &steps;
    m_next = 0;
    m_fatal.clear();
    runUntil([] { return false; });
    if (!m_fatal.empty()) {
        err << "error: " << m_fatal << '\n';
        return 2;
    }
    return 0;
}

void ScriptRunner::runUntil(const std::function<bool()>& done) {
    if (!m_steps) return;  // single steps run from code: no script to go on with
    ++m_depth;
    while (m_fatal.empty() && m_next < m_steps->size() && !done()) {
        try {
            runStep((*m_steps)[m_next++]);
        } catch (const ScriptError& e) {
            m_fatal = e.what();
        }
    }
    --m_depth;
}

void ScriptRunner::runLoop(const std::function<void()>& loop) {
    struct Level {
        int& depth;
        explicit Level(int& d) : depth(++d) {}
        ~Level() { --depth; }
    } level(m_depth);
    loop();
}

bool ScriptRunner::runStep(const Step& step) {
    bool completed = true;
    try {
        execute(step);
    } catch (const host::EAbort&) {
        m_ui.emit("abort");
        completed = false;
    } catch (const ScriptError& e) {
        throw ScriptError("line " + std::to_string(step.line) + " (" + step.verb + "): " + e.what());
    } catch (const ScriptUi::BadAnswer& e) {
        throw ScriptError("line " + std::to_string(step.line) + " (" + step.verb + "): " + e.what());
    } catch (const std::exception& e) {
        // A real error: the user is shown it and the form stays usable.
        m_ui.ShowError(e.what());
        completed = false;
    }
    // Closed forms are released once no modal loop runs any more: a modal
    // form is still asked whether it is closed when its loop ends.
    if (m_depth <= 1) {
        host::Application().ProcessReleases();
        if (m_ui.activeForm() && !host::Application().Owns(m_ui.activeForm())) m_ui.setActiveForm(nullptr);
    }
    return completed;
}

host::TForm* ScriptRunner::currentForm() const {
    const auto& forms = host::Application().Forms();
    for (auto it = forms.rbegin(); it != forms.rend(); ++it)
        if (!(*it)->IsClosed()) return it->get();
    return nullptr;
}

host::TForm& ScriptRunner::openForm() const {
    host::TForm* f = currentForm();
    if (!f) throw ScriptError("the form is not open");
    return *f;
}

host::TControl& ScriptRunner::control(const std::string& name) const {
    host::TControl* c = openForm().FindControl(name);
    if (!c) throw ScriptError("unknown control '" + name + "'");
    return *c;
}

namespace {

void needArgs(const Step& s, std::size_t min, std::size_t max) {
    if (s.args.size() < min || s.args.size() > max)
        throw ScriptError("'" + s.verb + "' takes " +
                          (min == max ? std::to_string(min) : std::to_string(min) + " to " + std::to_string(max)) +
                          " argument(s)");
}

int toIndex(const std::string& text) {
    try {
        std::size_t used = 0;
        int v = std::stoi(text, &used);
        if (used == text.size()) return v;
    } catch (...) {}
    throw ScriptError("'" + text + "' is not a number");
}

std::vector<std::string> splitKeys(const std::string& text) {
    std::vector<std::string> keys;
    std::string cur;
    for (char c : text) {
        if (c == ',') {
            if (!cur.empty()) keys.push_back(cur);
            cur.clear();
        } else {
            cur += c;
        }
    }
    if (!cur.empty()) keys.push_back(cur);
    return keys;
}

// A JSON line as the dumps write it: JSON lets DEL go unescaped, but the
// command line shows it as "\x7f", which no JSON reader takes; written
// \u007f it reads back as the same character.
std::string jsonLine(const std::string& dumped) {
    std::string out;
    out.reserve(dumped.size());
    for (const char c : dumped)
        if (c == '\x7f')
            out += "\\u007f";
        else
            out += c;
    return out;
}

// What typing gives: a keyboard enters no control character (C0, DEL) into
// an edit, so a script's text does not either; they would otherwise reach
// codes and the queries they filter.
std::string typeable(const std::string& text) {
    std::string out;
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (u >= 0x20 && u != 0x7f) out += c;
    }
    return out;
}

// Focus the control as a person would before acting on it; false when it
// cannot take the focus (the action is then impossible).
bool reach(host::TForm& form, host::TControl& c, ScriptUi& ui, const std::string& what) {
    if (!c.CanFocus()) {
        ui.Log("cannot " + what + " " + c.Name() + ": it is disabled or hidden");
        return false;
    }
    form.FocusControl(&c);
    return form.ActiveControl() == &c;
}

}  // namespace

const std::vector<ScriptRunner::StepRule>& ScriptRunner::stepTable() {
    // docs/script.md documents every row; tests/script holds the two together.
    static const std::vector<StepRule> table{
        {"launch", 0, 0, &ScriptRunner::stepLaunch},
        {"launch-branch", 1, 1, &ScriptRunner::stepLaunchBranch},
        {"report", 1, 1, &ScriptRunner::stepReport},
        {"type", 1, 2, &ScriptRunner::stepType},
        {"tab", 0, 0, &ScriptRunner::stepTab},
        {"focus", 1, 1, &ScriptRunner::stepFocus},
        {"click", 1, 1, &ScriptRunner::stepClick},
        {"select", 2, 2, &ScriptRunner::stepSelect},
        {"answer", 2, 2, &ScriptRunner::stepAnswer},
        {"preview", 0, 0, &ScriptRunner::stepPreview},
        {"print", 0, 0, &ScriptRunner::stepPrint},
        {"save", 1, 1, &ScriptRunner::stepSave},
        {"activate", 0, 0, &ScriptRunner::stepActivate},
        {"close", 0, 0, &ScriptRunner::stepClose},
        {"dump", 0, kAnyCount, &ScriptRunner::stepDump},
        {"dump-form", 0, 0, &ScriptRunner::stepDumpForm},
        {"dump-data", 1, 1, &ScriptRunner::stepDumpData},
        {"dump-params", 0, 0, &ScriptRunner::stepDumpParams},
        {"call", 1, kAnyCount, &ScriptRunner::stepCall, "a method name"},
    };
    return table;
}

std::vector<std::string> ScriptRunner::stepNames() {
    std::vector<std::string> names;
    for (const StepRule& rule : stepTable()) names.emplace_back(rule.name);
    return names;
}

void ScriptRunner::execute(const Step& s) {
    const auto& table = stepTable();
    auto rule = std::find_if(table.begin(), table.end(), [&s](const StepRule& r) { return s.verb == r.name; });
    if (rule == table.end()) throw ScriptError("unknown step '" + s.verb + "'");
    if (rule->needs && s.args.size() < rule->minArgs) throw ScriptError("'" + s.verb + "' needs " + rule->needs);
    needArgs(s, rule->minArgs, rule->maxArgs);
    (this->*rule->handler)(s);
}

void ScriptRunner::stepLaunch(const Step&) { m_host.launch(host::Variant::null()); }

void ScriptRunner::stepLaunchBranch(const Step& s) {
    m_host.launch(host::Variant(std::vector<host::Variant>{host::Variant(s.args[0])}));
}

void ScriptRunner::stepReport(const Step& s) {
    auto& form = openForm();
    auto& c = control("cbbReportNames");
    int pos = toIndex(s.args[0]);
    auto& combo = static_cast<host::TComboBox&>(c);
    if (pos < 0 || pos >= int(combo.Items().size()))
        throw ScriptError("report position " + s.args[0] + " is not in the list (" +
                          std::to_string(combo.Items().size()) + " reports)");
    if (reach(form, c, m_ui, "choose a report in")) combo.Select(pos);
}

void ScriptRunner::stepType(const Step& s) {
    auto& form = openForm();
    auto& c = control(s.args[0]);
    auto* edit = dynamic_cast<host::TEdit*>(&c);
    if (!edit) throw ScriptError("cannot type into " + c.Name() + " (" + host::ControlKindName(c.Kind()) + ")");
    if (reach(form, c, m_ui, "type into")) edit->SetText(edit->Typed(typeable(s.args.size() > 1 ? s.args[1] : "")));
}

void ScriptRunner::stepTab(const Step&) { openForm().SelectNext(true); }

void ScriptRunner::stepFocus(const Step& s) {
    auto& form = openForm();
    form.FocusControl(&control(s.args[0]));
}

void ScriptRunner::stepClick(const Step& s) {
    auto& form = openForm();
    auto& c = control(s.args[0]);
    switch (c.Kind()) {
        case host::ControlKind::RadioButton:
        case host::ControlKind::CheckBox:
        case host::ControlKind::SearchButton:
        case host::ControlKind::SpeedButton: break;
        default: throw ScriptError("cannot click " + c.Name() + " (" + host::ControlKindName(c.Kind()) + ")");
    }
    bool usable = c.Showing();
    for (const host::TControl* p = &c; p && usable; p = p->Parent()) usable = p->Enabled();
    if (!usable) {
        m_ui.Log("cannot click " + c.Name() + ": it is disabled or hidden");
        return;
    }
    form.UserClick(&c);
}

void ScriptRunner::stepSelect(const Step& s) {
    auto& form = openForm();
    auto& c = control(s.args[0]);
    int index = toIndex(s.args[1]);
    if (auto* combo = dynamic_cast<host::TComboBox*>(&c)) {
        if (index < 0 || index >= int(combo->Items().size())) throw ScriptError(c.Name() + " has no item " + s.args[1]);
        if (reach(form, c, m_ui, "select in")) combo->Select(index);
    } else if (auto* group = dynamic_cast<host::TRadioGroup*>(&c)) {
        if (index < 0 || index >= int(group->Items().size())) throw ScriptError(c.Name() + " has no item " + s.args[1]);
        if (reach(form, c, m_ui, "select in")) group->SetItemIndex(index);
    } else {
        throw ScriptError("cannot select in " + c.Name() + " (" + host::ControlKindName(c.Kind()) + ")");
    }
}

void ScriptRunner::stepAnswer(const Step& s) {
    const std::string& kind = s.args[0];
    const std::string& value = s.args[1];
    if (kind == "search") {
        m_ui.queueSearchAnswer(value == "cancel" ? std::nullopt : std::optional<std::string>(value));
    } else if (kind == "list") {
        m_ui.queueListAnswer(value == "cancel" ? std::nullopt
                                               : std::optional<std::vector<std::string>>(splitKeys(value)));
    } else {
        throw ScriptError("answer takes 'search' or 'list', not '" + kind + "'");
    }
}

void ScriptRunner::stepPreview(const Step&) {
    auto& form = openForm();
    form.UserClick(&control("sbtPreview"));
}

void ScriptRunner::stepPrint(const Step&) {
    auto& form = openForm();
    form.UserClick(&control("sbtPrint"));
}

// The file name answers this step's save-as dialog only: a save refused
// before its dialog opens must not hand it to the next one.
void ScriptRunner::stepSave(const Step& s) {
    auto& form = openForm();
    struct Drop {
        ScriptUi& ui;
        ~Drop() { ui.dropSaveFiles(); }
    } drop{m_ui};
    m_ui.queueSaveFile(s.args[0]);
    form.UserClick(&control("sbtSalvarComo"));
}

void ScriptRunner::stepActivate(const Step&) {
    auto& form = openForm();
    m_ui.setActiveForm(&form);
    form.Activate();
}

void ScriptRunner::stepClose(const Step&) { openForm().Close(); }

void ScriptRunner::stepDump(const Step& s) {
    auto& form = openForm();
    if (s.args.empty()) {
        for (const host::TControl* c : form.AllControls()) m_out << jsonLine(dumpControl(*c)) << '\n';
    } else {
        for (const auto& name : s.args) m_out << jsonLine(dumpControl(control(name))) << '\n';
    }
    m_out.flush();
}

void ScriptRunner::stepDumpForm(const Step&) { dumpForm(); }

void ScriptRunner::stepDumpData(const Step& s) { dumpData(s.args[0]); }

void ScriptRunner::stepDumpParams(const Step&) {
    if (m_host.lastReportParams)
        for (const auto& line : m_host.lastReportParams()) m_out << jsonLine(line) << '\n';
    m_out.flush();
}

void ScriptRunner::stepCall(const Step& s) {
    std::vector<std::string> args(s.args.begin() + 1, s.args.end());
    if (!openForm().Invoke(s.args[0], args)) throw ScriptError("the form has no method '" + s.args[0] + "'");
}

namespace {
json variantJson(const host::Variant& v) {
    switch (v.kind()) {
        case host::Variant::Kind::Unassigned:
        case host::Variant::Kind::Null: return nullptr;
        case host::Variant::Kind::Integer: return v.toInt();
        case host::Variant::Kind::Float: return v.toDouble();
        case host::Variant::Kind::Date: return host::DateToIso(v.toDate());
        default: return v.toString();
    }
}
}  // namespace

std::string ScriptRunner::dumpControl(const host::TControl& c) {
    using K = host::ControlKind;
    json j;
    j["Name"] = c.Name();
    j["Kind"] = host::ControlKindName(c.Kind());
    bool enabled = c.Enabled();
    if (c.Kind() == K::RadioGroup) enabled = enabled && static_cast<const host::TRadioGroup&>(c).ItemsEnabled();
    j["Enabled"] = enabled;
    j["Visible"] = c.Visible();
    switch (c.Kind()) {
        case K::Edit:
        case K::MaskEdit:
        case K::SpinEdit:
        case K::DateEdit: j["Text"] = static_cast<const host::TEdit&>(c).Text(); break;
        case K::ComboBox: j["Text"] = static_cast<const host::TComboBox&>(c).Text(); break;
        default: j["Caption"] = c.Caption(); break;
    }
    if (c.Kind() == K::MaskEdit) j["EditMask"] = static_cast<const host::TMaskEdit&>(c).EditMask();
    if (c.Kind() == K::RadioButton) j["Checked"] = static_cast<const host::TRadioButton&>(c).Checked();
    if (c.Kind() == K::CheckBox) j["Checked"] = static_cast<const host::TCheckBox&>(c).Checked();
    if (c.Kind() == K::ComboBox) {
        const auto& cb = static_cast<const host::TComboBox&>(c);
        j["ItemIndex"] = cb.ItemIndex();
        j["Items"] = cb.Items();
    }
    if (c.Kind() == K::RadioGroup) {
        const auto& rg = static_cast<const host::TRadioGroup&>(c);
        j["ItemIndex"] = rg.ItemIndex();
        j["Items"] = rg.Items();
    }
    if (c.Kind() == K::SpinEdit) {
        const auto& sp = static_cast<const host::TSpinEdit&>(c);
        j["Value"] = sp.Value();
        j["MaxValue"] = sp.MaxValue();
    }
    if (c.Kind() == K::Notebook) j["ActivePage"] = static_cast<const host::TNotebook&>(c).ActivePage();
    switch (c.Kind()) {
        case K::Edit:
        case K::MaskEdit:
        case K::SpinEdit:
        case K::DateEdit:
        case K::ComboBox: j["Color"] = host::ColorName(c.Color()); break;
        default: break;
    }
    j["Left"] = c.Left();
    j["Top"] = c.Top();
    return j.dump();
}

void ScriptRunner::dumpForm() {
    json j;
    host::TForm* form = currentForm();
    if (form) {
        j["Caption"] = form->Caption();
        j["Presentation"] = host::PresentationName(form->GetPresentation());
        for (const auto& [name, value] : form->PublishedFields()) j[name] = variantJson(value);
    }
    j["FormCriado"] = m_host.formCriado ? m_host.formCriado() : false;
    if (form) j["ActiveControl"] = form->ActiveControl() ? json(form->ActiveControl()->Name()) : json(nullptr);
    m_out << jsonLine(j.dump()) << '\n';
    m_out.flush();
}

void ScriptRunner::dumpData(const std::string& name) {
    auto* data = dynamic_cast<host::TDataSet*>(openForm().FindComponent(name));
    if (!data) throw ScriptError("unknown data set '" + name + "'");
    auto csv = [](const std::string& t) {
        if (t.find_first_of(",\"\n\r") == std::string::npos) return t;
        std::string q = "\"";
        for (char c : t) q += c == '"' ? std::string("\"\"") : std::string(1, c);
        return q + "\"";
    };
    // Row by row from the data set's storage: a large set is never copied.
    std::ostringstream o;
    const auto& fields = data->Fields();
    for (std::size_t i = 0; i < fields.size(); ++i) o << (i ? "," : "") << csv(fields[i]->FieldName());
    o << '\n';
    std::vector<host::Variant> row;
    for (auto rows = data->ReadRows(); rows.Next();) {
        rows.Values(row);
        for (std::size_t i = 0; i < row.size(); ++i) {
            const auto& v = row[i];
            std::string t = v.isNullOrUnassigned()                  ? std::string()
                            : v.kind() == host::Variant::Kind::Date ? host::DateToIso(v.toDate())
                                                                    : v.toString();
            o << (i ? "," : "") << csv(t);
        }
        o << '\n';
        if (o.tellp() > (1 << 16)) {
            m_out << o.str();
            o.str({});
        }
    }
    m_out << o.str();
    m_out.flush();
}

}  // namespace pla013::script
