#include "platform/reports/internal/DefinitionRules.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "host/Variant.h"

namespace pla013::reports::internal {

std::string upperCase(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return char(std::toupper(c)); });
    return s;
}

bool isIdentifier(const std::string& s) {
    if (s.empty() || !(std::isalpha(static_cast<unsigned char>(s[0])) || s[0] == '_')) return false;
    return std::all_of(s.begin(), s.end(), [](unsigned char c) { return std::isalnum(c) || c == '_'; });
}

bool isValidFormat(const std::string& f) {
    if (f.empty() || f == "text") return true;
    if (f.find("dd") != std::string::npos || f.find("yyyy") != std::string::npos || f.find("hh") != std::string::npos)
        return true;
    // Numbers: "0", "#,##0", "0.00", "#,##0.000", "0.000#" (decimals that
    // show only when not zero come last)...
    std::string body = f;
    if (body.rfind("#,##", 0) == 0) body = body.substr(4);
    if (body.empty() || body[0] != '0') return false;
    body = body.substr(1);
    if (body.empty()) return true;
    if (body[0] != '.' || body.size() < 2) return false;
    const auto firstHash = body.find('#');
    return std::all_of(body.begin() + 1, body.end(), [](char c) { return c == '0' || c == '#'; }) &&
           (firstHash == std::string::npos || body.find('0', firstHash) == std::string::npos);
}

bool isIsoDate(const std::string& s) {
    host::TDateTime d;
    return s.size() == 10 && host::TryIsoToDate(s, d);
}

bool isIsoDateTime(const std::string& s) {
    if (s.size() == 10) return isIsoDate(s);
    if (s.size() != 19 || (s[10] != ' ' && s[10] != 'T') || !isIsoDate(s.substr(0, 10))) return false;
    int h = 0, m = 0, sec = 0;
    if (std::sscanf(s.c_str() + 11, "%2d:%2d:%2d", &h, &m, &sec) != 3) return false;
    return s[13] == ':' && s[16] == ':' && h >= 0 && h < 24 && m >= 0 && m < 60 && sec >= 0 && sec < 60;
}

bool gutterBetween(const ColumnDef& left, const ColumnDef& right) {
    return !left.span.empty() && !right.span.empty() && left.span != right.span;
}

int columnGap(const ColumnDef& left, const ColumnDef& right) {
    if (gutterBetween(left, right)) return 3;
    return left.align == Align::Right && right.align != Align::Right ? 2 : 1;
}

}  // namespace pla013::reports::internal
