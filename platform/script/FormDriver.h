#pragma once
// The interactive driver (pla013 drive): the form driven one line at a time
// by a view on the other side of a pipe, as a person at the screen drives
// it. Each input line is a script step (docs/script.md) or one of the
// driver's own (layout, filters, restore, preview FILE, print FILE); what
// happens comes back as JSON events, one a line, and every line ends with
// {"t":"done"}. After each step the controls whose state changed are sent
// ({"t":"controls"}); a form that opens is sent whole ({"t":"layout"}).

#include <functional>
#include <map>
#include <sstream>
#include <string>

#include "platform/script/ScriptRunner.h"

namespace pla013::host {
class TForm;
}

namespace pla013::script {

class DriverUi;
class LineQueue;

class FormDriver {
public:
    FormDriver(DriverUi& ui, ScriptHost host, LineQueue& input);
    ~FormDriver();
    FormDriver(const FormDriver&) = delete;
    FormDriver& operator=(const FormDriver&) = delete;

    // Runs the input's lines until it ends; the forms still open are then
    // closed as the user would close them.
    void serve();
    // One line, as serve() runs it.
    void handle(const std::string& line);
    // Sends what changed in the form since the last time (the whole form
    // when another one is shown).
    void sendChanges();

private:
    void serveUntil(const std::function<bool()>& done);
    bool runLine(const Step& step);
    void sendLayout(const host::TForm* form);
    void sendFilters();
    bool restore(const std::string& saved);
    host::TForm* currentForm() const;

    DriverUi& m_ui;
    std::ostringstream m_output;  // what the runner's dumps print
    ScriptRunner m_runner;
    LineQueue& m_input;
    const host::TForm* m_shown = nullptr;
    std::map<std::string, std::string> m_sent;  // control name: its state as last sent
    std::string m_formSent;                     // the form's own state as last sent
};

}  // namespace pla013::script
