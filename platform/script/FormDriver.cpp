#include "platform/script/FormDriver.h"

#include "host/Errors.h"
#include "host/Form.h"
#include "platform/script/ControlState.h"
#include "platform/script/DriverUi.h"
#include "platform/script/EventWriter.h"
#include "platform/script/FormFilters.h"
#include "platform/script/LineQueue.h"

namespace pla013::script {

using json = nlohmann::ordered_json;

FormDriver::FormDriver(DriverUi& ui, ScriptHost host, LineQueue& input)
    : m_ui(ui), m_runner(ui, std::move(host), m_output), m_input(input) {
    // A modal form's steps come from the same input, until it closes.
    m_ui.modalLoop = [this](host::TForm& form) {
        sendChanges();
        m_runner.runLoop([this, &form] { serveUntil([&form] { return form.IsClosed(); }); });
    };
    m_ui.beforeDialog = [this] { sendChanges(); };
}

FormDriver::~FormDriver() {
    m_ui.modalLoop = nullptr;
    m_ui.beforeDialog = nullptr;
}

host::TForm* FormDriver::currentForm() const {
    const auto& forms = host::Application().Forms();
    for (auto it = forms.rbegin(); it != forms.rend(); ++it)
        if (!(*it)->IsClosed()) return it->get();
    return nullptr;
}

void FormDriver::serve() {
    m_ui.events().write({{"t", "ready"}});
    m_runner.runLoop([this] { serveUntil([] { return false; }); });
    // The view has gone: the filters go to it as they stand, and the forms
    // close as the user would close them, so that their close handlers run.
    sendFilters();
    while (host::TForm* form = currentForm()) {
        try {
            form->Close();
        } catch (const std::exception&) {}
        if (!form->IsClosed()) break;
    }
    host::Application().ProcessReleases();
}

void FormDriver::serveUntil(const std::function<bool()>& done) {
    while (!done()) {
        const std::optional<std::string> line = m_input.pop();
        if (!line) {
            // No more input: a modal form waiting for steps is closed.
            if (host::TForm* form = currentForm(); form && form->GetPresentation() == host::Presentation::Modal) {
                try {
                    form->Close();
                } catch (const std::exception&) {}
            }
            return;
        }
        handle(*line);
    }
}

void FormDriver::handle(const std::string& line) {
    std::vector<Step> steps;
    bool ok = false;
    try {
        std::istringstream in(line);
        steps = parseScript(in);
        if (steps.empty()) return;  // a blank line or a comment
        ok = runLine(steps.front());
    } catch (const ScriptError& e) {
        m_ui.events().write({{"t", "error"}, {"text", e.what()}});
    }
    std::string text = m_output.str();
    m_output.str({});
    for (std::size_t start = 0; start < text.size();) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        m_ui.events().write({{"t", "output"}, {"text", text.substr(start, end - start)}});
        start = end + 1;
    }
    sendChanges();
    if (m_ui.takeReportRan()) sendFilters();
    const host::TForm* form = currentForm();
    json done{{"t", "done"}, {"ok", ok}, {"open", form != nullptr}};
    done["active"] = form && form->ActiveControl() ? json(form->ActiveControl()->Name()) : json(nullptr);
    m_ui.events().write(done);
}

bool FormDriver::runLine(const Step& step) {
    if (step.verb == "layout") {
        sendLayout(currentForm());
        return true;
    }
    if (step.verb == "filters") {
        sendFilters();
        return true;
    }
    if (step.verb == "restore") {
        if (step.args.size() != 1) throw ScriptError("'restore' takes the saved filters as one argument");
        return restore(step.args[0]);
    }
    if (step.verb == "answer") throw ScriptError("no dialog is open");
    if ((step.verb == "preview" || step.verb == "print") && step.args.size() == 1) {
        m_ui.setPreviewFile(step.args[0]);
        Step plain = step;
        plain.args.clear();
        const bool ok = m_runner.runStep(plain);
        m_ui.takePreviewFile();  // a run refused before it began leaves it
        return ok;
    }
    if (step.verb == "close" && currentForm()) sendFilters();
    return m_runner.runStep(step);
}

void FormDriver::sendLayout(const host::TForm* form) {
    m_shown = form;
    m_sent.clear();
    m_formSent.clear();
    if (!form) {
        m_ui.events().write({{"t", "layout"}, {"form", nullptr}, {"controls", json::array()}});
        return;
    }
    const auto tabs = ControlState::tabPlaces(*form);
    json controls = json::array();
    for (const host::TControl* c : form->AllControls()) {
        json state = ControlState::describe(*c, tabs);
        m_sent[c->Name()] = state.dump(-1, ' ', false, json::error_handler_t::replace);
        controls.push_back(std::move(state));
    }
    json described = ControlState::describeForm(*form);
    m_formSent = described.dump(-1, ' ', false, json::error_handler_t::replace);
    m_ui.events().write({{"t", "layout"}, {"form", std::move(described)}, {"controls", std::move(controls)}});
}

void FormDriver::sendChanges() {
    const host::TForm* form = currentForm();
    if (form != m_shown) return sendLayout(form);
    if (!form) return;
    const auto tabs = ControlState::tabPlaces(*form);
    json changed = json::array();
    for (const host::TControl* c : form->AllControls()) {
        json state = ControlState::describe(*c, tabs);
        std::string text = state.dump(-1, ' ', false, json::error_handler_t::replace);
        std::string& sent = m_sent[c->Name()];
        if (sent == text) continue;
        sent = std::move(text);
        changed.push_back(std::move(state));
    }
    json described = ControlState::describeForm(*form);
    std::string formText = described.dump(-1, ' ', false, json::error_handler_t::replace);
    if (formText != m_formSent) {
        m_formSent = std::move(formText);
        m_ui.events().write({{"t", "form"}, {"form", std::move(described)}});
    }
    if (!changed.empty()) m_ui.events().write({{"t", "controls"}, {"controls", std::move(changed)}});
}

void FormDriver::sendFilters() {
    const host::TForm* form = currentForm();
    if (!form) return;
    json values = json::array();
    for (const auto& [name, value] : FormFilters::capture(*form)) values.push_back({name, value});
    m_ui.events().write({{"t", "filters"}, {"report", FormFilters::report(*form)}, {"filters", std::move(values)}});
}

bool FormDriver::restore(const std::string& saved) {
    host::TForm* form = currentForm();
    if (!form) throw ScriptError("the form is not open");
    FormFilters::Filters filters;
    std::string report;
    try {
        const json j = json::parse(saved);
        report = j.value("report", std::string());
        for (const auto& pair : j.value("filters", json::array()))
            filters.emplace_back(pair.at(0).get<std::string>(), pair.at(1).get<std::string>());
    } catch (const json::exception& e) {
        throw ScriptError(std::string("the saved filters cannot be read: ") + e.what());
    }
    const bool ok = FormFilters::restore(*form, m_runner, report, filters);
    m_ui.events().write({{"t", "restored"}, {"ok", ok}});
    return ok;
}

}  // namespace pla013::script
