#pragma once

#include <cstdint>

namespace pla013::reports::internal {

// One element of the report's body flow, a few bytes each: what it is, how
// many lines it takes and how it breaks across pages. What it shows is its
// BandFlow's.
struct Band {
    enum class Kind : std::uint8_t { Text, MemoCaption, Memo, Image, Totals, Detail, Empty };
    Kind kind;
    std::uint8_t level;   // group level (detail lines: the number of levels)
    std::uint16_t lines;  // height in lines
    bool keepWithNext;    // never the last band of a page while the next one fits on an empty page
    bool newPage;         // starts a page
};

}  // namespace pla013::reports::internal
