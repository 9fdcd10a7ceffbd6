#pragma once
// The form's filters as the user left them, and back, for a host that keeps
// them for the operator (the web host keeps them in the database).
//
// A filter is a control's name and value: "1"/"0" for a check box, "1" for
// the radio button chosen, the item index of a combo box or radio group, the
// text of a field. Only what the user can reach now is captured (shown and
// enabled, not read-only; the report list itself not), choices first, then
// fields, each in tab order: the choices decide which fields are there to
// fill. Filters come back through the form's own handlers, as the user
// would put them: the report chosen, each box and choice clicked, each field
// typed and left, so that its exit check runs. A value the form no longer
// takes (a branch that was removed) is refused with the form's usual
// message and the rest is not restored.

#include <string>
#include <utility>
#include <vector>

namespace pla013::host {
class TControl;
class TForm;
}  // namespace pla013::host

namespace pla013::script {

class ScriptRunner;

class FormFilters {
public:
    using Filters = std::vector<std::pair<std::string, std::string>>;

    // The name of the report chosen in the form (empty without one).
    static std::string report(const host::TForm& form);
    static Filters capture(const host::TForm& form);
    // Chooses the report and puts the filters back through runner's steps.
    // False when the form refused the report or a value (the rest is left
    // as the form has it). keepFilled: a field the form has filled itself
    // keeps its value.
    static bool restore(host::TForm& form, ScriptRunner& runner, const std::string& report, const Filters& filters,
                        bool keepFilled = false);

    // Shown and enabled within the form (a notebook page counts as shown
    // only while it is the active one).
    static bool usable(const host::TControl& control);
};

}  // namespace pla013::script
