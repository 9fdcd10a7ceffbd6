#pragma once
// What a view needs to draw a control and keep it up to date, as JSON: the
// keys of the script's dump (Name, Kind, Enabled, Visible, Caption or Text,
// EditMask, Checked, ItemIndex, Items, Value, MaxValue, ActivePage, Color,
// Left, Top) plus Parent, Width, Height, Tab (the place in the form's tab
// order, -1 outside it), TabStop (whether Tab stops there), ReadOnly, MaxLength, MinValue, Columns and, for a
// search button, Field (the control it searches for) and Title.

#include <map>
#include <string>

#include <nlohmann/json.hpp>

namespace pla013::host {
class TControl;
class TForm;
}  // namespace pla013::host

namespace pla013::script {

class ControlState {
public:
    // The place of every control of the form in its tab order.
    using TabPlaces = std::map<const host::TControl*, int>;
    static TabPlaces tabPlaces(const host::TForm& form);

    static nlohmann::ordered_json describe(const host::TControl& control, const TabPlaces& tabs);
    // The form itself: Name, Caption, Width and Height of its client area.
    static nlohmann::ordered_json describeForm(const host::TForm& form);
};

}  // namespace pla013::script
