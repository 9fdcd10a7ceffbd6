#pragma once
#include <cstddef>
#include <functional>
#include <istream>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/script/ScriptUi.h"

namespace pla013::host {
class TForm;
class TControl;
}  // namespace pla013::host

namespace pla013::script {

// A script step that cannot run: unknown step or control, bad syntax, no form.
struct ScriptError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

struct Step {
    int line = 0;
    std::string verb;
    std::vector<std::string> args;
};

// Splits a script into steps: one a line, '#' starts a comment, an argument
// in double quotes may hold blanks (a doubled quote inside stands for one).
std::vector<Step> parseScript(std::istream& in);

// What the runner needs from its host: launching the module and the module's
// created-once flag, plus optional dumps of the last report run.
struct ScriptHost {
    std::function<void(const host::Variant& argument)> launch;  // IniProc; failures shown as messages
    std::function<bool()> formCriado;
    std::function<std::vector<std::string>()> lastReportParams;  // JSON lines; empty when no run
};

// Drives the headless form exactly as a person at the screen would.
class ScriptRunner {
public:
    ScriptRunner(ScriptUi& ui, ScriptHost host, std::ostream& out);
    // Runs every step; returns the exit status (0, or 2 after a step that
    // could not run, with the reason on err).
    int run(const std::vector<Step>& steps, std::ostream& err);

    // Runs one step as run() does; false when it ended through the silent
    // abort (or a real error shown to the user). ScriptError when it cannot run.
    bool runStep(const Step& step);

    // Runs a loop of the host's own that feeds steps to runStep (the
    // interactive driver's) one level deeper: closed forms are released after
    // a step only in the outermost loop, since the module still holds a
    // modal form while the loop inside it runs.
    void runLoop(const std::function<void()>& loop);

    // One control as a JSON object of its properties.
    static std::string dumpControl(const host::TControl& control);

    // The names of every step a script may use, in the order of the table.
    static std::vector<std::string> stepNames();

private:
    // One row of the step table. The argument count is checked before the
    // handler runs, so a handler may read its arguments without looking.
    struct StepRule {
        const char* name;
        std::size_t minArgs;
        std::size_t maxArgs;  // kAnyCount: no upper bound
        void (ScriptRunner::*handler)(const Step& step);
        // When set, a step given too few arguments is told what it lacks
        // rather than how many it takes.
        const char* needs = nullptr;
    };
    static constexpr std::size_t kAnyCount = static_cast<std::size_t>(-1);
    static const std::vector<StepRule>& stepTable();

    void runUntil(const std::function<bool()>& done);
    void execute(const Step& step);

    void stepLaunch(const Step& step);
    void stepLaunchBranch(const Step& step);
    void stepReport(const Step& step);
    void stepType(const Step& step);
    void stepTab(const Step& step);
    void stepFocus(const Step& step);
    void stepClick(const Step& step);
    void stepSelect(const Step& step);
    void stepAnswer(const Step& step);
    void stepPreview(const Step& step);
    void stepPrint(const Step& step);
    void stepSave(const Step& step);
    void stepActivate(const Step& step);
    void stepClose(const Step& step);
    void stepDump(const Step& step);
    void stepDumpForm(const Step& step);
    void stepDumpData(const Step& step);
    void stepDumpParams(const Step& step);
    void stepCall(const Step& step);

    host::TForm& openForm() const;
    host::TForm* currentForm() const;
    host::TControl& control(const std::string& name) const;
    void dumpForm();
    void dumpData(const std::string& name);

    ScriptUi& m_ui;
    ScriptHost m_host;
    std::ostream& m_out;
    const std::vector<Step>* m_steps = nullptr;
    std::size_t m_next = 0;
    // The first step that could not run. Inside a modal form the error cannot
    // travel through the module's entry point, so it is kept here and the
    // script stops as soon as control is back.
    std::string m_fatal;
    int m_depth = 0;  // nesting of run loops: 1 at the script's own level
};

}  // namespace pla013::script
