#pragma once

#include <cstdint>

namespace pla013::reports::internal {

// One element of the report's body flow, a few bytes each: what it is, how
// many lines it takes and how it breaks across pages. What it shows is its
// BandFlow's.
struct Band {
    enum class Kind : std::uint8_t { Text, MemoCaption, Memo, Image, Totals, Detail, Empty, Inline };
    static constexpr std::uint8_t kNoLevel = 0xFF;

    Kind kind;
    std::uint8_t level;   // group level (detail lines: the number of levels)
    std::uint16_t lines;  // height in lines
    bool keepWithNext;    // never the last band of a page while the next one fits on an empty page
    bool newPage;         // starts a page
    // Part of a group kept on one page, and not its last band: the group
    // moves whole to the next page when it fits there.
    bool together = false;
    // The heading of a group of this level (its first header text), which a
    // page the group continues on repeats; kNoLevel for other bands.
    std::uint8_t heading = kNoLevel;
    // The groups of this level and deeper end with this band; kNoLevel when none does.
    std::uint8_t closes = kNoLevel;
    // A line left blank on purpose (a group's spacing).
    bool blank = false;
};

}  // namespace pla013::reports::internal
