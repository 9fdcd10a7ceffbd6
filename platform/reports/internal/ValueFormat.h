#pragma once
// Texts of values as reports show them (Brazilian conventions: "1.234,56",
// "31/12/2024"), and the UTF-8 width helpers of the text layouts.

#include <string>
#include <vector>

#include "host/CostSum.h"
#include "host/Variant.h"

namespace pla013::reports::internal {

// Formats: "" (by the value's kind), "text", number patterns "0", "0.00",
// "#,##0.000" (grouping when "#,##" leads; decimals = zeros after '.'; a '#'
// after them is a decimal shown only when it is not zero: "0.000#"), and
// date patterns with dd, mm, yyyy, hh, nn (minutes), ss, ddd / dddd (weekday,
// short / long, in Portuguese). Null gives "".
std::string formatValue(const host::Variant& value, const std::string& format);
// At most decimals places; with minDecimals, trailing zeros beyond that many go.
std::string formatNumber(double value, int decimals, bool grouping, int minDecimals = -1);
// The rounding of every figure a report shows (host/CostSum.h).
using host::roundHalfAway;
// The decimals a number format fixes ("#,##0.00" -> 2, "0" -> 0); -1 for a
// format that fixes none (empty, "text" or a date pattern).
int formatDecimals(const std::string& format);
// The decimals a number format always shows ("0.000#" -> 3); -1 as above.
int formatMinDecimals(const std::string& format);
std::string formatDate(host::TDateTime value, const std::string& pattern);

// A date-time of the local clock as an automation date.
host::TDateTime nowLocal();

// Code points of UTF-8 text (continuation bytes are not counted).
std::size_t textWidth(const std::string& utf8);
// The first n code points; with ellipsis, text longer than n ends in "…".
std::string cutText(const std::string& utf8, std::size_t n, bool ellipsis);
// Places text in a field of width n: cut when longer, padded when shorter.
std::string fitText(const std::string& utf8, std::size_t n, int align /*0 left, 1 right, 2 center*/);
// Breaks text into lines of at most width code points, at blanks where it
// can; line breaks in the text are kept.
std::vector<std::string> wrapText(const std::string& utf8, std::size_t width);

}  // namespace pla013::reports::internal
