#pragma once
// Reading the outcome of script steps: the events in order (messages, focus
// moves, aborts, dialogs), the dumped controls and the form's fields.

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <functional>
#include <string>
#include <vector>

#include "FormHarness.h"
#include "form/TfrmRelatPrato.h"
#include "platform/db/SociDatabase.h"

namespace behaviour {

using json = nlohmann::json;
using pla013test::FormHarness;

inline pla013::runtime::HostOptions hostOptions(const std::string& branch = "0001", char module = 'P',
                                                bool singleBranch = false, const std::string& operatorCode = "1") {
    pla013::runtime::HostOptions o;
    o.branch = branch;
    o.module = module;
    o.singleBranch = singleBranch;
    o.operatorCode = operatorCode;
    return o;
}

// The user-visible events of a run, in order: "message: ...", "focus: ...",
// "abort" and "dialog: ..." lines.
inline std::vector<std::string> events(const FormHarness::Result& r) {
    std::vector<std::string> out;
    for (const auto& l : r.lines)
        if (l.rfind("message: ", 0) == 0 || l.rfind("focus: ", 0) == 0 || l == "abort" || l.rfind("dialog: ", 0) == 0)
            out.push_back(l);
    return out;
}

inline std::vector<std::string> messages(const FormHarness::Result& r) {
    return pla013test::withPrefix(r.lines, "message: ");
}

inline std::vector<std::string> focusMoves(const FormHarness::Result& r) {
    return pla013test::withPrefix(r.lines, "focus: ");
}

inline bool aborted(const FormHarness::Result& r) { return pla013test::contains(r.lines, "abort"); }

// The last dump of a control in the run; fails the test when there is none.
inline json control(const FormHarness::Result& r, const std::string& name) {
    const std::string key = "{\"Name\":\"" + name + "\"";
    for (auto it = r.lines.rbegin(); it != r.lines.rend(); ++it)
        if (it->rfind(key, 0) == 0) return json::parse(*it);
    ADD_FAILURE() << "no dump of " << name << " in:\n" << ::testing::PrintToString(r.lines);
    return json::object();
}

// The last dump-form object of the run.
inline json formState(const FormHarness::Result& r) {
    for (auto it = r.lines.rbegin(); it != r.lines.rend(); ++it)
        if (it->rfind("{\"Caption\"", 0) == 0 || it->rfind("{\"FormCriado\"", 0) == 0) return json::parse(*it);
    ADD_FAILURE() << "no dump-form in:\n" << ::testing::PrintToString(r.lines);
    return json::object();
}

inline std::string text(const FormHarness::Result& r, const std::string& name) {
    json c = control(r, name);
    return c.contains("Text") ? c["Text"].get<std::string>() : std::string("<no text>");
}

inline bool enabled(const FormHarness::Result& r, const std::string& name) {
    return control(r, name).value("Enabled", false);
}

inline bool checked(const FormHarness::Result& r, const std::string& name) {
    return control(r, name).value("Checked", false);
}

// Runs the steps and fails the test when a step could not run.
inline FormHarness::Result runOk(FormHarness& h, const std::string& script) {
    auto r = h.run(script);
    EXPECT_EQ(r.status, 0) << "script:\n" << script << "\nstderr:\n" << r.err;
    return r;
}

// A copy of the sample database changed by the given statements, for a
// harness that must see the change from its start.
inline std::string changedSampleDatabase(const pla013test::TempDir& dir, const std::vector<std::string>& statements) {
    std::string path = pla013test::copyOfSampleDatabase(dir.path());
    pla013::db::SociDatabase db(path);
    for (const auto& s : statements) db.execute(s);
    return path;
}

}  // namespace behaviour
