#pragma once

#include <string>

namespace pla013::reports {

// A photo of a group header or footer, read once when the report is laid out.
struct ImageData {
    std::string bytes;   // encoded image (PNG, JPEG); empty when unavailable
    std::string source;  // path or "dados embutidos", for placeholders
};

}  // namespace pla013::reports
