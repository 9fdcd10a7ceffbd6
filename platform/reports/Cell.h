#pragma once

#include <string>

#include "host/Variant.h"
#include "platform/reports/ReportDefinition.h"

namespace pla013::reports {

// One text of a line, placed in characters from the left margin.
struct Cell {
    std::string text;  // formatted, not cut to width
    int x = 0;         // first character position
    int width = 0;     // in characters
    Align align = Align::Left;
    int column = -1;      // index among the active columns; -1 for free text
    host::Variant value;  // raw value behind the text (flat targets)
    std::string format;
};

}  // namespace pla013::reports
