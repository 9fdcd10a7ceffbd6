#pragma once
// Compares what the view draws with what the form's controls hold: every
// control's widget at the designed geometry, shown, enabled and coloured as
// the control is, with the kind's own state (text, caption, checked, items,
// item index, page). Each difference is one line of the result.

#include <string>
#include <vector>

namespace pla013::host {
class TForm;
}
namespace pla013::gui {
class FormView;
}

namespace pla013guitest {

struct DrawnState {
    std::size_t controlsChecked = 0;
    std::vector<std::string> differences;
};

DrawnState compareDrawnState(const pla013::gui::FormView& view, const pla013::host::TForm& form);

}  // namespace pla013guitest
