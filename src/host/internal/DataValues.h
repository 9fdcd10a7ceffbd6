#pragma once
// Value rules shared by the data components: how names compare, how values
// convert to a field's kind, how index keys order and how Locate matches.
// Inline because index sorts, filters and Locate call them once per row.

#include <cctype>
#include <string>
#include <string_view>
#include <vector>

#include "host/CompactPacket.h"
#include "host/DataPacket.h"
#include "host/Variant.h"

namespace pla013::host::internal {

inline char lowerAscii(char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; }

// Names of fields, indexes and parameters compare without regard to ASCII case.
inline bool sameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (lowerAscii(a[i]) != lowerAscii(b[i])) return false;
    return true;
}

inline bool startsWith(std::string_view text, std::string_view prefix, bool ignoreCase) {
    if (prefix.size() > text.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        const char x = ignoreCase ? lowerAscii(text[i]) : text[i];
        const char y = ignoreCase ? lowerAscii(prefix[i]) : prefix[i];
        if (x != y) return false;
    }
    return true;
}

inline std::string trim(const std::string& s) {
    std::size_t b = 0, e = s.size();
    while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) --e;
    return s.substr(b, e - b);
}

inline std::vector<std::string> splitFieldList(const std::string& list) {
    std::vector<std::string> out;
    std::size_t start = 0;
    while (start <= list.size()) {
        std::size_t semi = list.find(';', start);
        if (semi == std::string::npos) semi = list.size();
        std::string name = trim(list.substr(start, semi - start));
        if (!name.empty()) out.push_back(std::move(name));
        start = semi + 1;
    }
    return out;
}

inline bool isBlank(const Variant& v) { return v.isNullOrUnassigned(); }

// A value of the field's kind, or Null. Throws EVariantError when the value
// does not convert.
inline Variant coerce(const Variant& v, FieldType t) {
    switch (v.kind()) {
        case Variant::Kind::Unassigned:
        case Variant::Kind::Null: return Variant::null();
        default: break;
    }
    switch (t) {
        case FieldType::String: return v.kind() == Variant::Kind::Text ? v : Variant(v.toString());
        case FieldType::Integer: return v.kind() == Variant::Kind::Integer ? v : Variant(v.toInt());
        case FieldType::Float: return v.kind() == Variant::Kind::Float ? v : Variant(v.toDouble());
        case FieldType::Date: return v.kind() == Variant::Kind::Date ? v : Variant::date(v.toDate());
    }
    return v;
}

inline bool kindFits(Variant::Kind k, FieldType t) {
    switch (t) {
        case FieldType::String: return k == Variant::Kind::Text || k == Variant::Kind::Null;
        case FieldType::Integer: return k == Variant::Kind::Integer || k == Variant::Kind::Null;
        case FieldType::Float: return k == Variant::Kind::Float || k == Variant::Kind::Null;
        case FieldType::Date: return k == Variant::Kind::Date || k == Variant::Kind::Null;
    }
    return false;
}

// Order of index keys and filter comparisons: nulls first; texts byte by
// byte (ordinal, case-sensitive); numbers and dates by value (two integers
// exactly); a text against a number by the number's text.
inline int compareViews(const ValueView& a, const ValueView& b) {
    const bool na = a.isNull(), nb = b.isNull();
    if (na || nb) return na == nb ? 0 : (na ? -1 : 1);
    using K = ValueView::Kind;
    if (a.kind == K::Text && b.kind == K::Text) {
        const int c = a.text.compare(b.text);
        return c < 0 ? -1 : (c > 0 ? 1 : 0);
    }
    if (a.kind == K::Integer && b.kind == K::Integer)
        return a.integer < b.integer ? -1 : (a.integer > b.integer ? 1 : 0);
    if (a.isNumber() && b.isNumber()) return a.number < b.number ? -1 : (a.number > b.number ? 1 : 0);
    const int c = variantOf(a).toString().compare(variantOf(b).toString());
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

inline int compareValues(const Variant& a, const Variant& b) { return compareViews(viewOf(a), viewOf(b)); }

// Locate's equality: nulls match nulls; texts exactly, ignoring ASCII case,
// or as a prefix; numbers by value.
inline bool keyMatches(const ValueView& have, const ValueView& want, bool ignoreCase, bool partial) {
    const bool nh = have.isNull(), nw = want.isNull();
    if (nh || nw) return nh == nw;
    using K = ValueView::Kind;
    if (have.kind == K::Text && want.kind == K::Text) {
        if (partial) return startsWith(have.text, want.text, ignoreCase);
        return ignoreCase ? sameName(have.text, want.text) : have.text == want.text;
    }
    if (have.kind == K::Integer && want.kind == K::Integer) return have.integer == want.integer;
    if (have.isNumber() && want.isNumber()) return have.number == want.number;
    return variantOf(have).toString() == variantOf(want).toString();
}

inline bool keyMatches(const Variant& have, const Variant& want, bool ignoreCase, bool partial) {
    return keyMatches(viewOf(have), viewOf(want), ignoreCase, partial);
}

}  // namespace pla013::host::internal
