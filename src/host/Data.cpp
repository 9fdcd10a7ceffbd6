#include "host/Data.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numeric>

#include "host/Errors.h"

namespace pla013::host {

namespace {

constexpr std::size_t npos = std::size_t(-1);

char lowerAscii(char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; }

// Names of fields, indexes and parameters compare without regard to ASCII case.
bool sameName(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (lowerAscii(a[i]) != lowerAscii(b[i])) return false;
    return true;
}

bool sameTextIgnoringCase(const std::string& a, const std::string& b) { return sameName(a, b); }

bool startsWith(const std::string& text, const std::string& prefix, bool ignoreCase) {
    if (prefix.size() > text.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        const char x = ignoreCase ? lowerAscii(text[i]) : text[i];
        const char y = ignoreCase ? lowerAscii(prefix[i]) : prefix[i];
        if (x != y) return false;
    }
    return true;
}

std::string trim(const std::string& s) {
    std::size_t b = 0, e = s.size();
    while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) --e;
    return s.substr(b, e - b);
}

std::vector<std::string> splitFieldList(const std::string& list) {
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

bool isBlank(const Variant& v) { return v.isNullOrUnassigned(); }

// A value of the field's kind, or Null. Throws EVariantError when the value
// does not convert.
Variant coerce(const Variant& v, FieldType t) {
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

bool kindFits(Variant::Kind k, FieldType t) {
    switch (t) {
        case FieldType::String: return k == Variant::Kind::Text || k == Variant::Kind::Null;
        case FieldType::Integer: return k == Variant::Kind::Integer || k == Variant::Kind::Null;
        case FieldType::Float: return k == Variant::Kind::Float || k == Variant::Kind::Null;
        case FieldType::Date: return k == Variant::Kind::Date || k == Variant::Kind::Null;
    }
    return false;
}

// Order of index keys and filter comparisons: nulls first; texts byte by
// byte (ordinal, case-sensitive); numbers and dates by value.
int compareValues(const Variant& a, const Variant& b) {
    const bool na = isBlank(a), nb = isBlank(b);
    if (na || nb) return na == nb ? 0 : (na ? -1 : 1);
    const std::string* ta = a.textIf();
    const std::string* tb = b.textIf();
    if (ta && tb) {
        const int c = ta->compare(*tb);
        return c < 0 ? -1 : (c > 0 ? 1 : 0);
    }
    double x = 0, y = 0;
    if (a.numberIf(x) && b.numberIf(y)) return x < y ? -1 : (x > y ? 1 : 0);
    const int c = a.toString().compare(b.toString());
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

// Locate's equality: nulls match nulls; texts exactly, ignoring ASCII case,
// or as a prefix; numbers by value.
bool keyMatches(const Variant& have, const Variant& want, bool ignoreCase, bool partial) {
    const bool nh = isBlank(have), nw = isBlank(want);
    if (nh || nw) return nh == nw;
    const std::string* th = have.textIf();
    const std::string* tw = want.textIf();
    if (th && tw) {
        if (partial) return startsWith(*th, *tw, ignoreCase);
        return ignoreCase ? sameTextIgnoringCase(*th, *tw) : *th == *tw;
    }
    double x = 0, y = 0;
    if (have.numberIf(x) && want.numberIf(y)) return x == y;
    return have.toString() == want.toString();
}

std::uint64_t hashMix(std::uint64_t h, std::uint64_t v) {
    h ^= v + 0x9e3779b97f4a7c15ULL + (h << 6) + (h >> 2);
    return h;
}

std::uint64_t hashValue(const Variant& v, bool ignoreCase) {
    if (isBlank(v)) return 0x7f4a7c159e3779b9ULL;
    if (const std::string* t = v.textIf()) {
        std::uint64_t h = 1469598103934665603ULL;  // FNV-1a
        for (char c : *t) {
            h ^= static_cast<unsigned char>(ignoreCase ? lowerAscii(c) : c);
            h *= 1099511628211ULL;
        }
        return h;
    }
    double d = 0;
    if (v.numberIf(d)) {
        if (d == 0) d = 0;  // -0.0 and 0.0 are one key
        std::uint64_t bits = 0;
        std::memcpy(&bits, &d, sizeof bits);
        return bits * 0xff51afd7ed558ccdULL;
    }
    return std::hash<std::string>()(v.toString());
}

std::uint64_t hashKey(const std::vector<Variant>& row, const std::vector<int>& columns, bool ignoreCase) {
    std::uint64_t h = 0;
    for (int c : columns) h = hashMix(h, hashValue(row[std::size_t(c)], ignoreCase));
    return h;
}

std::uint64_t hashWanted(const std::vector<Variant>& values, bool ignoreCase) {
    std::uint64_t h = 0;
    for (const Variant& v : values) h = hashMix(h, hashValue(v, ignoreCase));
    return h;
}

// Multimap from key hashes to storage rows, open addressing with linear
// probing: two words per row and no allocation per entry, which matters at
// millions of rows. Candidates are checked against the real key by callers.
class RowHashTable {
public:
    void reserve(std::size_t n) {
        std::size_t cap = 16;
        while (cap < n * 2) cap *= 2;
        if (cap > m_slots.size()) rehash(cap);
    }

    void insert(std::uint64_t hash, std::size_t row) {
        if ((m_used + 1) * 2 > m_slots.size()) rehash(std::max<std::size_t>(16, grownCapacity()));
        std::size_t i = home(hash);
        while (m_slots[i].row != kEmpty && m_slots[i].row != kErased) i = (i + 1) & m_mask;
        if (m_slots[i].row == kEmpty) ++m_used;
        m_slots[i] = Slot{hash, row};
        ++m_live;
    }

    void erase(std::uint64_t hash, std::size_t row) {
        if (m_slots.empty()) return;
        for (std::size_t i = home(hash); m_slots[i].row != kEmpty; i = (i + 1) & m_mask) {
            if (m_slots[i].row == row && m_slots[i].hash == hash) {
                m_slots[i].row = kErased;
                --m_live;
                return;
            }
        }
    }

    template <class F>
    void forEach(std::uint64_t hash, F&& f) const {
        if (m_slots.empty()) return;
        for (std::size_t i = home(hash); m_slots[i].row != kEmpty; i = (i + 1) & m_mask)
            if (m_slots[i].row != kErased && m_slots[i].hash == hash) f(m_slots[i].row);
    }

private:
    static constexpr std::size_t kEmpty = std::size_t(-1);
    static constexpr std::size_t kErased = std::size_t(-2);
    struct Slot {
        std::uint64_t hash = 0;
        std::size_t row = kEmpty;
    };

    std::size_t home(std::uint64_t hash) const { return std::size_t((hash * 0x9e3779b97f4a7c15ULL) >> 20) & m_mask; }

    std::size_t grownCapacity() const {
        std::size_t cap = 16;
        while (cap < (m_live + 1) * 4) cap *= 2;
        return cap;
    }

    void rehash(std::size_t capacity) {
        std::vector<Slot> old;
        old.swap(m_slots);
        m_slots.assign(capacity, Slot{});
        m_mask = capacity - 1;
        m_used = m_live = 0;
        for (const Slot& s : old)
            if (s.row != kEmpty && s.row != kErased) insert(s.hash, s.row);
    }

    std::vector<Slot> m_slots;
    std::size_t m_mask = 0, m_used = 0, m_live = 0;
};

// ---------------------------------------------------------------------------
// Filter expressions.

enum class CompareOp { Eq, Ne, Lt, Le, Gt, Ge };

struct Operand {
    bool isField = false;
    std::string text;       // field name, or the literal as written (quotes undone)
    bool isNumber = false;  // numeric literal
    int column = -1;        // resolved field
    Variant value;          // literal converted for the field it is compared with
};

struct FilterExpr {
    enum class Kind { And, Or, Not, Compare } kind = Kind::Compare;
    std::unique_ptr<FilterExpr> left, right;
    CompareOp op = CompareOp::Eq;
    Operand a, b;
};

struct FilterSyntaxError {
    std::string reason;
};

class FilterParser {
public:
    explicit FilterParser(const std::string& text) : m_text(text) { advance(); }

    std::unique_ptr<FilterExpr> parse() {
        auto e = parseOr();
        if (m_tok.kind != Tok::End) fail("unexpected " + describe(m_tok));
        return e;
    }

private:
    enum class Tok { End, Ident, String, Number, LParen, RParen, Op, And, Or, Not };
    struct Token {
        Tok kind = Tok::End;
        std::string text;
        CompareOp op = CompareOp::Eq;
        std::size_t pos = 0;
    };

    [[noreturn]] void fail(const std::string& reason) { throw FilterSyntaxError{reason}; }

    static std::string describe(const Token& t) {
        switch (t.kind) {
            case Tok::End: return "end of text";
            case Tok::String: return "'" + t.text + "'";
            case Tok::LParen: return "'('";
            case Tok::RParen: return "')'";
            default: return "'" + t.text + "' at position " + std::to_string(t.pos + 1);
        }
    }

    void advance() {
        std::size_t& i = m_pos;
        while (i < m_text.size() && std::isspace(static_cast<unsigned char>(m_text[i]))) ++i;
        m_tok = Token{};
        m_tok.pos = i;
        if (i >= m_text.size()) return;
        const char c = m_text[i];
        if (c == '\'') {
            std::string value;
            ++i;
            for (;;) {
                if (i >= m_text.size())
                    fail("unterminated text literal starting at position " + std::to_string(m_tok.pos + 1));
                if (m_text[i] == '\'') {
                    if (i + 1 < m_text.size() && m_text[i + 1] == '\'') {
                        value += '\'';
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                value += m_text[i++];
            }
            m_tok.kind = Tok::String;
            m_tok.text = std::move(value);
            return;
        }
        if (c == '(' || c == ')') {
            m_tok.kind = c == '(' ? Tok::LParen : Tok::RParen;
            m_tok.text = std::string(1, c);
            ++i;
            return;
        }
        if (c == '=' || c == '<' || c == '>') {
            m_tok.kind = Tok::Op;
            const char n = i + 1 < m_text.size() ? m_text[i + 1] : '\0';
            if (c == '=') {
                m_tok.op = CompareOp::Eq;
                i += 1;
            } else if (c == '<' && n == '>') {
                m_tok.op = CompareOp::Ne;
                i += 2;
            } else if (c == '<' && n == '=') {
                m_tok.op = CompareOp::Le;
                i += 2;
            } else if (c == '>' && n == '=') {
                m_tok.op = CompareOp::Ge;
                i += 2;
            } else if (c == '<') {
                m_tok.op = CompareOp::Lt;
                i += 1;
            } else {
                m_tok.op = CompareOp::Gt;
                i += 1;
            }
            m_tok.text = m_text.substr(m_tok.pos, i - m_tok.pos);
            return;
        }
        const bool digit = c >= '0' && c <= '9';
        const bool signedNumber = (c == '-' || c == '+') && i + 1 < m_text.size() &&
                                  ((m_text[i + 1] >= '0' && m_text[i + 1] <= '9') || m_text[i + 1] == '.');
        if (digit || signedNumber ||
            (c == '.' && i + 1 < m_text.size() && m_text[i + 1] >= '0' && m_text[i + 1] <= '9')) {
            std::size_t j = i + (signedNumber ? 1 : 0);
            bool dot = false;
            while (j < m_text.size() && ((m_text[j] >= '0' && m_text[j] <= '9') || (m_text[j] == '.' && !dot))) {
                if (m_text[j] == '.') dot = true;
                ++j;
            }
            m_tok.kind = Tok::Number;
            m_tok.text = m_text.substr(i, j - i);
            i = j;
            return;
        }
        if (std::isalpha(static_cast<unsigned char>(c)) || c == '_') {
            std::size_t j = i;
            while (j < m_text.size() && (std::isalnum(static_cast<unsigned char>(m_text[j])) || m_text[j] == '_')) ++j;
            m_tok.text = m_text.substr(i, j - i);
            i = j;
            if (sameName(m_tok.text, "AND"))
                m_tok.kind = Tok::And;
            else if (sameName(m_tok.text, "OR"))
                m_tok.kind = Tok::Or;
            else if (sameName(m_tok.text, "NOT"))
                m_tok.kind = Tok::Not;
            else
                m_tok.kind = Tok::Ident;
            return;
        }
        fail("unexpected character '" + std::string(1, c) + "' at position " + std::to_string(i + 1));
    }

    std::unique_ptr<FilterExpr> parseOr() {
        auto left = parseAnd();
        while (m_tok.kind == Tok::Or) {
            advance();
            auto node = std::make_unique<FilterExpr>();
            node->kind = FilterExpr::Kind::Or;
            node->left = std::move(left);
            node->right = parseAnd();
            left = std::move(node);
        }
        return left;
    }

    std::unique_ptr<FilterExpr> parseAnd() {
        auto left = parseNot();
        while (m_tok.kind == Tok::And) {
            advance();
            auto node = std::make_unique<FilterExpr>();
            node->kind = FilterExpr::Kind::And;
            node->left = std::move(left);
            node->right = parseNot();
            left = std::move(node);
        }
        return left;
    }

    std::unique_ptr<FilterExpr> parseNot() {
        if (m_tok.kind == Tok::Not) {
            advance();
            auto node = std::make_unique<FilterExpr>();
            node->kind = FilterExpr::Kind::Not;
            node->left = parseNot();
            return node;
        }
        if (m_tok.kind == Tok::LParen) {
            advance();
            auto inner = parseOr();
            if (m_tok.kind != Tok::RParen) fail("expected ')' but found " + describe(m_tok));
            advance();
            return inner;
        }
        return parseComparison();
    }

    Operand parseOperand() {
        Operand o;
        switch (m_tok.kind) {
            case Tok::Ident: o.isField = true; break;
            case Tok::String: break;
            case Tok::Number: o.isNumber = true; break;
            default: fail("expected a field name or a value but found " + describe(m_tok));
        }
        o.text = m_tok.text;
        advance();
        return o;
    }

    std::unique_ptr<FilterExpr> parseComparison() {
        auto node = std::make_unique<FilterExpr>();
        node->kind = FilterExpr::Kind::Compare;
        node->a = parseOperand();
        if (m_tok.kind != Tok::Op) fail("expected a comparison operator but found " + describe(m_tok));
        node->op = m_tok.op;
        advance();
        node->b = parseOperand();
        if (!node->a.isField && !node->b.isField) fail("a comparison needs a field name");
        return node;
    }

    const std::string& m_text;
    std::size_t m_pos = 0;
    Token m_tok;
};

bool applyOp(CompareOp op, int c) {
    switch (op) {
        case CompareOp::Eq: return c == 0;
        case CompareOp::Ne: return c != 0;
        case CompareOp::Lt: return c < 0;
        case CompareOp::Le: return c <= 0;
        case CompareOp::Gt: return c > 0;
        case CompareOp::Ge: return c >= 0;
    }
    return false;
}

// A comparison with a null field is false, whatever the operator, so that a
// filter never selects rows through missing values; NOT inverts the result.
bool evaluate(const FilterExpr& e, const std::vector<Variant>& row) {
    switch (e.kind) {
        case FilterExpr::Kind::And: return evaluate(*e.left, row) && evaluate(*e.right, row);
        case FilterExpr::Kind::Or: return evaluate(*e.left, row) || evaluate(*e.right, row);
        case FilterExpr::Kind::Not: return !evaluate(*e.left, row);
        case FilterExpr::Kind::Compare: {
            const Variant& x = e.a.isField ? row[std::size_t(e.a.column)] : e.a.value;
            const Variant& y = e.b.isField ? row[std::size_t(e.b.column)] : e.b.value;
            if (isBlank(x) || isBlank(y)) return false;
            return applyOp(e.op, compareValues(x, y));
        }
    }
    return false;
}

// Equality comparisons of fields with literals joined only by AND: such a
// filter is answered from a hash of the compared fields.
bool collectEqualities(const FilterExpr& e, std::vector<int>& columns, std::vector<Variant>& values) {
    if (e.kind == FilterExpr::Kind::And)
        return collectEqualities(*e.left, columns, values) && collectEqualities(*e.right, columns, values);
    if (e.kind != FilterExpr::Kind::Compare || e.op != CompareOp::Eq || e.a.isField == e.b.isField) return false;
    const Operand& field = e.a.isField ? e.a : e.b;
    const Operand& literal = e.a.isField ? e.b : e.a;
    if (isBlank(literal.value)) return false;
    columns.push_back(field.column);
    values.push_back(literal.value);
    return true;
}

std::string stateError(const std::string& name, const char* what) { return name + ": " + what; }

}  // namespace

// ===========================================================================
// TField

// Display attributes start from the definition, as a field shown in a list
// without a designed label shows its name at its width.
TField::TField(TDataSet& owner, FieldDef def) : m_owner(owner), m_def(std::move(def)) {
    DisplayLabel = m_def.name;
    DisplayWidth = m_def.size;
}

Variant TField::Value() const { return m_owner.CurrentValue(m_index); }

bool TField::IsNull() const { return Value().isNullOrUnassigned(); }

std::string TField::AsString() const { return Value().toString(); }

std::int64_t TField::AsInteger() const { return Value().toInt(); }

double TField::AsFloat() const { return Value().toDouble(); }

TDateTime TField::AsDateTime() const {
    const Variant v = Value();
    return v.isNullOrUnassigned() ? 0.0 : v.toDate();
}

// A text longer than the field's width is stored whole: the width describes
// the column for display and reports, and cutting a value here would lose
// data without telling anyone.
void TField::SetValue(const Variant& v) {
    Variant converted;
    try {
        converted = coerce(v, m_def.type);
    } catch (const EVariantError& e) {
        throw EHostError(m_owner.Name() + ": invalid value for field '" + m_def.name + "': " + e.what());
    }
    m_owner.WriteCurrent(m_index, converted);
}

// Empty text clears a number or date field, as typing nothing into it would.
void TField::SetAsString(const std::string& v) {
    if (m_def.type != FieldType::String && trim(v).empty()) {
        Clear();
        return;
    }
    SetValue(Variant(v));
}

void TField::SetAsInteger(std::int64_t v) { SetValue(Variant(v)); }

void TField::SetAsFloat(double v) { SetValue(Variant(v)); }

void TField::Clear() { SetValue(Variant::null()); }

// ===========================================================================
// TDataSet

TDataSet::TDataSet(std::string name) : TObject(std::move(name)) {}

TDataSet::~TDataSet() = default;

void TDataSet::Open() {
    if (Active()) return;
    m_state = TDataSetState::dsBrowse;
    Rebuild();
}

void TDataSet::Close() {
    ClearStorage();
    m_state = TDataSetState::dsInactive;
}

void TDataSet::CheckBrowseMode() {}

bool TDataSet::RowBefore(std::size_t a, std::size_t b) const { return a < b; }

void TDataSet::First() {
    CheckBrowseMode();
    Settle();
    m_cursor = 0;
    m_bof = true;
    m_eof = m_visible.empty();
}

void TDataSet::Next() {
    CheckBrowseMode();
    Settle();
    if (std::size_t(m_cursor) + 1 < m_visible.size()) {
        ++m_cursor;
        m_bof = false;
        m_eof = false;
    } else {
        m_eof = true;
        if (m_visible.empty()) m_bof = true;
    }
}

void TDataSet::Prior() {
    CheckBrowseMode();
    Settle();
    if (m_cursor > 0 && !m_visible.empty()) {
        --m_cursor;
        m_bof = false;
        m_eof = false;
    } else {
        m_bof = true;
        if (m_visible.empty()) m_eof = true;
    }
}

void TDataSet::Last() {
    CheckBrowseMode();
    Settle();
    m_cursor = m_visible.empty() ? 0 : int(m_visible.size()) - 1;
    m_eof = true;
    m_bof = m_visible.empty();
}

bool TDataSet::Eof() const { return !Active() || m_eof; }

bool TDataSet::Bof() const { return !Active() || m_bof; }

bool TDataSet::IsEmpty() const { return !Active() || (m_visible.empty() && m_pending.empty()); }

int TDataSet::RecordCount() const { return Active() ? int(m_visible.size() + m_pending.size()) : 0; }

int TDataSet::RecNo() const {
    const std::size_t row = CurrentRow();
    if (!Active() || row == npos) return 0;
    return m_pending.empty() ? m_cursor + 1 : PositionOf(row) + 1;
}

void TDataSet::MoveTo(int visibleIndex) {
    CheckBrowseMode();
    Settle();
    if (visibleIndex < 0 || std::size_t(visibleIndex) >= m_visible.size())
        throw EHostError(Name() + ": record " + std::to_string(visibleIndex + 1) + " out of range (" +
                         std::to_string(m_visible.size()) + " records)");
    m_cursor = visibleIndex;
    m_bof = false;
    m_eof = false;
}

int TDataSet::ColumnOf(const std::string& name) const {
    for (std::size_t i = 0; i < m_fields.size(); ++i)
        if (m_fields[i]->FieldName() == name) return int(i);
    for (std::size_t i = 0; i < m_fields.size(); ++i)
        if (sameName(m_fields[i]->FieldName(), name)) return int(i);
    return -1;
}

TField* TDataSet::FindField(const std::string& name) {
    const int i = ColumnOf(name);
    return i < 0 ? nullptr : m_fields[std::size_t(i)].get();
}

TField& TDataSet::FieldByName(const std::string& name) {
    if (TField* f = FindField(name)) return *f;
    throw EHostError(Name() + ": field '" + name + "' not found");
}

DataPacket TDataSet::Snapshot() const {
    DataPacket p;
    for (const auto& f : m_fields) p.fields.push_back(f->Def());
    if (!Active()) return p;
    const std::vector<std::size_t> order = VisibleOrder();
    p.rows.reserve(order.size());
    for (std::size_t row : order) p.rows.push_back(m_rows[row]);
    return p;
}

// Field objects are kept, by name, across reloads so that the pointers that
// callers hold stay valid; the values are checked against the field kinds
// before anything changes, so a bad row leaves the old content in place.
void TDataSet::SetStorage(std::vector<FieldDef> defs, std::vector<std::vector<Variant>> rows) {
    for (std::size_t r = 0; r < rows.size(); ++r) {
        auto& row = rows[r];
        if (row.size() != defs.size())
            throw EHostError(Name() + ": row " + std::to_string(r + 1) + " has " + std::to_string(row.size()) +
                             " values for " + std::to_string(defs.size()) + " fields");
        for (std::size_t c = 0; c < defs.size(); ++c) {
            if (kindFits(row[c].kind(), defs[c].type)) continue;
            try {
                row[c] = coerce(row[c], defs[c].type);
            } catch (const EVariantError& e) {
                throw EHostError(Name() + ": row " + std::to_string(r + 1) + ", field '" + defs[c].name +
                                 "': " + e.what());
            }
        }
    }

    std::vector<std::unique_ptr<TField>> fields;
    fields.reserve(defs.size());
    for (std::size_t c = 0; c < defs.size(); ++c) {
        std::unique_ptr<TField> reuse;
        for (auto& old : m_fields) {
            if (old && sameName(old->FieldName(), defs[c].name)) {
                reuse = std::move(old);
                break;
            }
        }
        if (!reuse) reuse = std::make_unique<TField>(*this, defs[c]);
        reuse->m_def = defs[c];
        reuse->m_index = int(c);
        fields.push_back(std::move(reuse));
    }
    m_fields = std::move(fields);
    m_rows = std::move(rows);
    m_buffer.clear();
    Rebuild();
}

void TDataSet::ClearStorage() {
    m_rows.clear();
    m_visible.clear();
    m_pending.clear();
    m_cursorRow = npos;
    m_buffer.clear();
    m_cursor = 0;
    m_bof = m_eof = true;
}

void TDataSet::Rebuild() {
    m_pending.clear();
    m_cursorRow = npos;
    m_visible.resize(m_rows.size());
    std::iota(m_visible.begin(), m_visible.end(), std::size_t(0));
    m_cursor = 0;
    m_bof = true;
    m_eof = m_visible.empty();
}

std::size_t TDataSet::CurrentRow() const {
    if (!m_pending.empty()) return m_cursorRow;
    if (m_cursor >= 0 && std::size_t(m_cursor) < m_visible.size()) return m_visible[std::size_t(m_cursor)];
    return npos;
}

Variant TDataSet::CurrentValue(int column) const {
    if (!Active() || column < 0) return Variant::null();
    if (m_state == TDataSetState::dsEdit || m_state == TDataSetState::dsInsert)
        return std::size_t(column) < m_buffer.size() ? m_buffer[std::size_t(column)] : Variant::null();
    const std::size_t row = CurrentRow();
    if (row == npos || std::size_t(column) >= m_rows[row].size()) return Variant::null();
    return m_rows[row][std::size_t(column)];
}

void TDataSet::WriteCurrent(int column, const Variant& v) {
    if (m_state != TDataSetState::dsEdit && m_state != TDataSetState::dsInsert)
        throw EHostError(stateError(Name(), "data set not in edit or insert mode"));
    if (column < 0 || std::size_t(column) >= m_buffer.size())
        throw EHostError(Name() + ": field is not part of the data set");
    m_buffer[std::size_t(column)] = v;
}

TField* TDataSet::AddFieldObject(FieldDef def) {
    auto f = std::make_unique<TField>(*this, std::move(def));
    f->m_index = int(m_fields.size());
    m_fields.push_back(std::move(f));
    return m_fields.back().get();
}

int TDataSet::PositionOf(std::size_t row) const {
    auto before = [this](std::size_t a, std::size_t b) { return RowBefore(a, b); };
    const auto a = std::lower_bound(m_visible.begin(), m_visible.end(), row, before) - m_visible.begin();
    const auto b = std::lower_bound(m_pending.begin(), m_pending.end(), row, before) - m_pending.begin();
    return int(a + b);
}

void TDataSet::PlaceCursorOn(std::size_t row) {
    if (m_pending.empty())
        m_cursor = PositionOf(row);
    else
        m_cursorRow = row;
    m_bof = false;
    m_eof = false;
}

// Appending after the last row is the common case (rows arrive in key
// order) and costs O(1). Out-of-order rows of a small set go straight into
// place; in a large set they wait in m_pending, which is merged into
// m_visible in one pass when it grows past about the square root of the
// row count, or when the cursor moves. A post thus costs O(log n) compares
// plus an amortised O(sqrt n) of moved indices instead of O(n).
void TDataSet::InsertVisible(std::size_t row) {
    auto before = [this](std::size_t a, std::size_t b) { return RowBefore(a, b); };
    if (m_visible.empty() || !RowBefore(row, m_visible.back())) {
        m_visible.push_back(row);
        if (m_pending.empty())
            m_cursor = int(m_visible.size()) - 1;
        else
            m_cursorRow = row;
    } else if (m_pending.empty() && m_visible.size() <= 4096) {
        const auto pos = std::upper_bound(m_visible.begin(), m_visible.end(), row, before);
        m_cursor = int(pos - m_visible.begin());
        m_visible.insert(pos, row);
    } else {
        m_pending.insert(std::upper_bound(m_pending.begin(), m_pending.end(), row, before), row);
        m_cursorRow = row;
        const std::size_t limit = std::max<std::size_t>(1024, 2 * std::size_t(std::sqrt(double(m_visible.size()))));
        if (m_pending.size() > limit) Settle();
    }
    m_bof = false;
    m_eof = false;
}

void TDataSet::RemoveVisible(std::size_t row) {
    Settle();
    auto before = [this](std::size_t a, std::size_t b) { return RowBefore(a, b); };
    const auto pos = std::lower_bound(m_visible.begin(), m_visible.end(), row, before);
    if (pos == m_visible.end() || *pos != row) return;
    const int at = int(pos - m_visible.begin());
    m_visible.erase(pos);
    if (at < m_cursor) --m_cursor;
    if (m_visible.empty()) {
        m_cursor = 0;
        m_bof = m_eof = true;
    } else if (std::size_t(m_cursor) >= m_visible.size()) {
        m_cursor = int(m_visible.size()) - 1;
        m_eof = true;
    }
}

void TDataSet::Settle() {
    if (m_pending.empty()) return;
    auto before = [this](std::size_t a, std::size_t b) { return RowBefore(a, b); };
    std::vector<std::size_t> merged;
    merged.reserve(m_visible.size() + m_pending.size());
    auto from = m_visible.begin();
    for (std::size_t row : m_pending) {
        const auto pos = std::lower_bound(from, m_visible.end(), row, before);
        merged.insert(merged.end(), from, pos);
        merged.push_back(row);
        from = pos;
    }
    merged.insert(merged.end(), from, m_visible.end());
    m_visible.swap(merged);
    m_pending.clear();
    const std::size_t row = m_cursorRow;
    m_cursorRow = npos;
    if (row != npos) m_cursor = PositionOf(row);
}

std::vector<std::size_t> TDataSet::VisibleOrder() const {
    if (m_pending.empty()) return m_visible;
    std::vector<std::size_t> merged(m_visible.size() + m_pending.size());
    std::merge(m_visible.begin(), m_visible.end(), m_pending.begin(), m_pending.end(), merged.begin(),
               [this](std::size_t a, std::size_t b) { return RowBefore(a, b); });
    return merged;
}

// ===========================================================================
// TParam / TParams

void TParam::SetAsString(const std::string& v) {
    m_value = Variant(v);
    m_type = FieldType::String;
    m_bound = true;
}

void TParam::SetAsInteger(std::int64_t v) {
    m_value = Variant(v);
    m_type = FieldType::Integer;
    m_bound = true;
}

void TParam::SetAsDate(TDateTime v) {
    m_value = Variant::date(std::floor(v));
    m_type = FieldType::Date;
    m_bound = true;
}

void TParam::SetAsDateTime(TDateTime v) {
    m_value = Variant::date(v);
    m_type = FieldType::Date;
    m_bound = true;
}

void TParam::Clear() {
    m_value = Variant::null();
    m_bound = true;
}

TParam& TParams::CreateParam(FieldType type, const std::string& name) {
    m_params.push_back(std::make_unique<TParam>(name, type));
    return *m_params.back();
}

TParam* TParams::FindParam(const std::string& name) {
    for (auto& p : m_params)
        if (sameName(p->Name(), name)) return p.get();
    return nullptr;
}

TParam& TParams::ParamByName(const std::string& name) {
    if (TParam* p = FindParam(name)) return *p;
    throw EHostError("Parameter '" + name + "' not found");
}

// ===========================================================================
// TADOIBQuery

TADOIBQuery::TADOIBQuery(std::string name) : TDataSet(std::move(name)) {}

TParam& TADOIBQuery::ParamByName(const std::string& name) {
    if (Active())
        throw EHostError(Name() + ": cannot set parameter '" + name +
                         "' of an open query; parameters change only while closed");
    if (TParam* p = m_params.FindParam(name)) return *p;
    throw EHostError(Name() + ": parameter '" + name + "' not found");
}

TField* TADOIBQuery::AddPersistentField(FieldDef def, const std::string& label, int displayWidth, bool visible) {
    if (Active()) throw EHostError(Name() + ": persistent fields change only while closed");
    if (FindField(def.name)) throw EHostError(Name() + ": field '" + def.name + "' already exists");
    TField* f = AddFieldObject(def);
    f->DisplayLabel = label.empty() ? def.name : label;
    f->DisplayWidth = displayWidth > 0 ? displayWidth : def.size;
    f->Visible = visible;
    m_persistent.push_back(std::move(def));
    m_display.push_back(Display{f->DisplayLabel, f->DisplayWidth, visible});
    return f;
}

// A parameter name may occur more than once in the list (one entry per
// occurrence in a dialect's text) while ParamByName reaches only the first:
// a later entry that was never given a value takes the value of the first
// entry of its name that was, so every occurrence is bound to what the
// caller set. Parameters left unset go to the database as Null.
void TADOIBQuery::Open() {
    if (Active()) return;
    QueryRequest request;
    request.name = Name();
    request.sql = SQL;
    for (std::size_t i = 0; i < m_params.Count(); ++i) {
        const TParam& p = m_params[i];
        Variant value = p.Value();
        if (value.isUnassigned()) {
            for (std::size_t j = 0; j < m_params.Count(); ++j) {
                if (j != i && sameName(m_params[j].Name(), p.Name()) && !m_params[j].Value().isUnassigned()) {
                    value = m_params[j].Value();
                    break;
                }
            }
        }
        if (value.isUnassigned()) value = Variant::null();
        request.params.emplace_back(p.Name(), std::move(value));
    }

    DataPacket result = Database().Open(request);

    if (m_persistent.empty()) {
        SetStorage(result.fields, std::move(result.rows));
    } else {
        std::vector<int> source;
        for (const FieldDef& def : m_persistent) {
            const int c = result.fieldIndex(def.name);
            if (c < 0) throw EHostError(Name() + ": field '" + def.name + "' not found in the query result");
            source.push_back(c);
        }
        std::vector<std::vector<Variant>> rows;
        rows.reserve(result.rows.size());
        for (auto& in : result.rows) {
            std::vector<Variant> row;
            row.reserve(source.size());
            for (int c : source) {
                if (std::size_t(c) >= in.size())
                    throw EHostError(Name() + ": a result row is shorter than its field list");
                row.push_back(std::move(in[std::size_t(c)]));
            }
            rows.push_back(std::move(row));
        }
        SetStorage(m_persistent, std::move(rows));
        // Display attributes belong to the persistent field and survive reloads.
        for (std::size_t i = 0; i < m_fields.size() && i < m_display.size(); ++i) {
            m_fields[i]->DisplayLabel = m_display[i].label;
            m_fields[i]->DisplayWidth = m_display[i].width;
            m_fields[i]->Visible = m_display[i].visible;
        }
    }
    m_state = TDataSetState::dsBrowse;
    First();
}

void TADOIBQuery::Close() { TDataSet::Close(); }

// ===========================================================================
// TClientDataSet

struct TClientDataSet::FilterNode {
    std::unique_ptr<FilterExpr> root;
};

struct TClientDataSet::KeyLookup {
    std::vector<int> columns;
    bool ignoreCase = false;
    RowHashTable rows;
};

TClientDataSet::TClientDataSet(std::string name) : TDataSet(std::move(name)) {}

void TClientDataSet::SetIndexName(const std::string& name) {
    if (!name.empty()) {
        const bool known =
            std::any_of(IndexDefs.begin(), IndexDefs.end(), [&](const IndexDef& d) { return sameName(d.name, name); });
        if (!known) throw EHostError(Name() + ": index '" + name + "' not found");
    }
    CheckBrowseMode();
    const std::string old = m_indexName;
    m_indexName = name;
    if (!Active()) return;
    try {
        Rebuild();
    } catch (...) {
        m_indexName = old;
        Rebuild();
        throw;
    }
}

void TClientDataSet::CreateDataSet() {
    if (FieldDefs.empty()) throw EHostError(Name() + ": cannot create the data set without field definitions");
    m_state = TDataSetState::dsInactive;
    m_editRow = -1;
    DropLookups();
    ClearStorage();
    SetStorage(FieldDefs, {});
    m_state = TDataSetState::dsBrowse;
}

void TClientDataSet::EmptyDataSet() {
    if (!Active()) throw EHostError(Name() + ": cannot perform this operation on a closed data set");
    m_state = TDataSetState::dsBrowse;
    m_editRow = -1;
    m_buffer.clear();
    m_rows.clear();
    DropLookups();
    Rebuild();
}

void TClientDataSet::Open() {
    if (Active()) return;
    if (!FieldDefs.empty()) {
        CreateDataSet();
        return;
    }
    if (m_fields.empty()) throw EHostError(Name() + ": no field definitions and no data to open");
    std::vector<FieldDef> defs;
    for (const auto& f : m_fields) defs.push_back(f->Def());
    SetStorage(std::move(defs), {});
    m_state = TDataSetState::dsBrowse;
}

void TClientDataSet::Close() {
    m_editRow = -1;
    DropLookups();
    TDataSet::Close();
}

void TClientDataSet::SetData(const DataPacket& packet) { SetData(DataPacket(packet)); }

void TClientDataSet::SetData(DataPacket&& packet) {
    if (m_state == TDataSetState::dsEdit || m_state == TDataSetState::dsInsert) {
        m_state = TDataSetState::dsBrowse;
        m_buffer.clear();
        m_editRow = -1;
    }
    DropLookups();
    SetStorage(packet.fields, std::move(packet.rows));
    FieldDefs = std::move(packet.fields);
    m_state = TDataSetState::dsBrowse;
}

DataPacket TClientDataSet::Data() const {
    DataPacket p;
    if (m_fields.empty())
        p.fields = FieldDefs;
    else
        for (const auto& f : m_fields) p.fields.push_back(f->Def());
    if (Active()) p.rows = m_rows;
    return p;
}

void TClientDataSet::SetFilter(const std::string& filter) {
    std::shared_ptr<FilterNode> tree;
    if (!trim(filter).empty()) {
        tree = std::make_shared<FilterNode>();
        try {
            tree->root = FilterParser(filter).parse();
        } catch (const FilterSyntaxError& e) {
            throw EHostError(Name() + ": invalid filter \"" + filter + "\": " + e.reason);
        }
    }
    CheckBrowseMode();
    if (Active() && m_filtered && tree) ResolveFilter(*tree, filter);  // unknown fields fail before anything changes
    m_filter = filter;
    m_filterTree = std::move(tree);
    if (Active() && m_filtered) Rebuild();
}

void TClientDataSet::SetFiltered(bool v) {
    if (v == m_filtered) return;
    CheckBrowseMode();
    m_filtered = v;
    if (!Active()) return;
    try {
        Rebuild();
    } catch (...) {
        m_filtered = !v;
        Rebuild();
        throw;
    }
}

std::vector<int> TClientDataSet::ResolveFields(const std::string& list) const {
    std::vector<int> columns;
    for (const std::string& name : splitFieldList(list)) {
        const int c = ColumnOf(name);
        if (c < 0) throw EHostError(Name() + ": field '" + name + "' not found");
        columns.push_back(c);
    }
    if (columns.empty()) throw EHostError(Name() + ": no key fields given");
    return columns;
}

void TClientDataSet::ResolveFilter(FilterNode& tree, const std::string& text) const {
    auto resolveOperand = [&](Operand& o) {
        if (!o.isField) return;
        o.column = ColumnOf(o.text);
        if (o.column < 0) throw EHostError(Name() + ": field '" + o.text + "' of filter \"" + text + "\" not found");
    };
    // Literals take the kind of the field they meet, once, so that rows
    // compare without conversions.
    auto convertLiteral = [&](Operand& literal, const Operand& field) {
        if (literal.isField) return;
        if (!field.isField) {
            literal.value = literal.isNumber ? Variant(Variant(literal.text).toDouble()) : Variant(literal.text);
            return;
        }
        const FieldDef& def = m_fields[std::size_t(field.column)]->Def();
        try {
            literal.value = coerce(Variant(literal.text), def.type);
        } catch (const EVariantError&) {
            throw EHostError(Name() + ": value '" + literal.text + "' of filter \"" + text +
                             "\" does not suit field '" + def.name + "' (" + FieldTypeName(def.type) + ")");
        }
    };
    std::vector<FilterExpr*> stack{tree.root.get()};
    while (!stack.empty()) {
        FilterExpr* e = stack.back();
        stack.pop_back();
        if (!e) continue;
        if (e->kind == FilterExpr::Kind::Compare) {
            resolveOperand(e->a);
            resolveOperand(e->b);
            convertLiteral(e->a, e->b);
            convertLiteral(e->b, e->a);
        } else {
            stack.push_back(e->left.get());
            stack.push_back(e->right.get());
        }
    }
}

bool TClientDataSet::PassesFilter(std::size_t row) const {
    if (!m_filtered || !m_filterTree || !m_filterTree->root) return true;
    return evaluate(*m_filterTree->root, m_rows[row]);
}

bool TClientDataSet::RowBefore(std::size_t a, std::size_t b) const {
    if (!m_indexCols.empty()) {
        const auto& ra = m_rows[a];
        const auto& rb = m_rows[b];
        for (int c : m_indexCols) {
            const int r = compareValues(ra[std::size_t(c)], rb[std::size_t(c)]);
            if (r != 0) return r < 0;
        }
    }
    return a < b;  // equal keys keep the order in which rows were added
}

// Recomputes the visible rows from the index and the filter. On a bad index
// or filter nothing stays visible and the error propagates.
void TClientDataSet::Rebuild() {
    m_pending.clear();
    m_cursorRow = npos;
    m_cursor = 0;
    m_bof = m_eof = true;
    try {
        m_indexCols.clear();
        if (!m_indexName.empty()) {
            auto def = std::find_if(IndexDefs.begin(), IndexDefs.end(),
                                    [&](const IndexDef& d) { return sameName(d.name, m_indexName); });
            if (def == IndexDefs.end()) throw EHostError(Name() + ": index '" + m_indexName + "' not found");
            m_indexCols = ResolveFields(def->fields);
        }
        const bool filtering = m_filtered && m_filterTree && m_filterTree->root;
        if (filtering) ResolveFilter(*m_filterTree, m_filter);

        std::vector<std::size_t> visible;
        std::vector<int> columns;
        std::vector<Variant> values;
        if (filtering && collectEqualities(*m_filterTree->root, columns, values)) {
            KeyLookup& lookup = Lookup(columns, false);
            lookup.rows.forEach(hashWanted(values, false), [&](std::size_t row) {
                if (PassesFilter(row)) visible.push_back(row);
            });
            std::sort(visible.begin(), visible.end());
        } else if (filtering) {
            for (std::size_t r = 0; r < m_rows.size(); ++r)
                if (PassesFilter(r)) visible.push_back(r);
        } else {
            visible.resize(m_rows.size());
            std::iota(visible.begin(), visible.end(), std::size_t(0));
        }
        if (!m_indexCols.empty()) {
            // Content often arrives in index order already (a composition, a
            // packet saved from an indexed set): then one pass is enough.
            auto before = [this](std::size_t a, std::size_t b) { return RowBefore(a, b); };
            if (!std::is_sorted(visible.begin(), visible.end(), before))
                std::sort(visible.begin(), visible.end(), before);
        }
        m_visible = std::move(visible);
    } catch (...) {
        m_visible.clear();
        m_indexCols.clear();
        throw;
    }
    m_eof = m_visible.empty();
}

TClientDataSet::KeyLookup& TClientDataSet::Lookup(const std::vector<int>& columns, bool caseInsensitive) {
    for (auto it = m_lookups.begin(); it != m_lookups.end(); ++it) {
        if ((*it)->columns == columns && (*it)->ignoreCase == caseInsensitive) {
            if (it + 1 == m_lookups.end()) return **it;
            auto hit = *it;
            m_lookups.erase(it);
            m_lookups.push_back(hit);
            return *hit;
        }
    }
    auto lookup = std::make_shared<KeyLookup>();
    lookup->columns = columns;
    lookup->ignoreCase = caseInsensitive;
    lookup->rows.reserve(m_rows.size());
    for (std::size_t r = 0; r < m_rows.size(); ++r)
        lookup->rows.insert(hashKey(m_rows[r], columns, caseInsensitive), r);
    if (m_lookups.size() >= 4) m_lookups.erase(m_lookups.begin());
    m_lookups.push_back(lookup);
    return *lookup;
}

void TClientDataSet::DropLookups() { m_lookups.clear(); }

// Exact keys are answered from a hash of the key fields (built on first use,
// kept up to date by Post): O(1) per call whatever the index and the case
// option. A partial key needs a scan of the visible rows.
bool TClientDataSet::Locate(const std::string& keyFields, const std::vector<Variant>& values,
                            std::set<LocateOption> options) {
    if (!Active()) throw EHostError(Name() + ": cannot perform this operation on a closed data set");
    CheckBrowseMode();
    const std::vector<int> columns = ResolveFields(keyFields);
    if (values.size() != columns.size())
        throw EHostError(Name() + ": Locate on \"" + keyFields + "\" needs " + std::to_string(columns.size()) +
                         " values, got " + std::to_string(values.size()));
    const bool ignoreCase = options.count(LocateOption::CaseInsensitive) > 0;
    const bool partial = options.count(LocateOption::PartialKey) > 0;

    std::vector<Variant> wanted;
    wanted.reserve(values.size());
    for (std::size_t i = 0; i < values.size(); ++i) {
        const FieldDef& def = m_fields[std::size_t(columns[i])]->Def();
        try {
            wanted.push_back(coerce(values[i], def.type));
        } catch (const EVariantError& e) {
            throw EHostError(Name() + ": Locate value for field '" + def.name + "': " + e.what());
        }
    }
    auto matches = [&](std::size_t row) {
        for (std::size_t i = 0; i < columns.size(); ++i)
            if (!keyMatches(m_rows[row][std::size_t(columns[i])], wanted[i], ignoreCase, partial)) return false;
        return true;
    };

    if (partial) {
        Settle();
        for (std::size_t pos = 0; pos < m_visible.size(); ++pos) {
            if (matches(m_visible[pos])) {
                m_cursor = int(pos);
                m_bof = m_eof = false;
                return true;
            }
        }
        return false;
    }

    KeyLookup& lookup = Lookup(columns, ignoreCase);
    std::size_t best = npos;
    lookup.rows.forEach(hashWanted(wanted, ignoreCase), [&](std::size_t row) {
        if (!matches(row) || !PassesFilter(row)) return;
        if (best == npos || RowBefore(row, best)) best = row;
    });
    if (best == npos) return false;
    PlaceCursorOn(best);
    return true;
}

void TClientDataSet::CheckBrowseMode() {
    if (m_state == TDataSetState::dsEdit || m_state == TDataSetState::dsInsert) Post();
}

void TClientDataSet::Insert() {
    if (!Active()) throw EHostError(Name() + ": cannot perform this operation on a closed data set");
    CheckBrowseMode();
    m_buffer.assign(m_fields.size(), Variant::null());
    m_editRow = -1;
    m_state = TDataSetState::dsInsert;
}

// Without an active index rows keep the order in which they were posted, so
// Append and Insert both add the row at the end of that order.
void TClientDataSet::Append() { Insert(); }

void TClientDataSet::Edit() {
    if (!Active()) throw EHostError(Name() + ": cannot perform this operation on a closed data set");
    if (m_state == TDataSetState::dsEdit || m_state == TDataSetState::dsInsert) return;
    if (IsEmpty()) {
        Insert();
        return;
    }
    const std::size_t row = CurrentRow();
    if (row == npos) throw EHostError(Name() + ": no current record");
    m_buffer = m_rows[row];
    m_editRow = int(row);
    m_state = TDataSetState::dsEdit;
}

void TClientDataSet::Post() {
    if (!Active()) throw EHostError(Name() + ": cannot perform this operation on a closed data set");
    if (m_state != TDataSetState::dsEdit && m_state != TDataSetState::dsInsert) return;
    for (std::size_t c = 0; c < m_fields.size() && c < m_buffer.size(); ++c)
        if (m_fields[c]->Required() && isBlank(m_buffer[c]))
            throw EHostError(Name() + ": field '" + m_fields[c]->FieldName() + "' must have a value");

    if (m_state == TDataSetState::dsInsert) {
        const std::size_t row = m_rows.size();
        m_rows.push_back(std::move(m_buffer));
        m_buffer.clear();
        m_state = TDataSetState::dsBrowse;
        m_editRow = -1;
        for (auto& lookup : m_lookups)
            lookup->rows.insert(hashKey(m_rows[row], lookup->columns, lookup->ignoreCase), row);
        if (PassesFilter(row)) InsertVisible(row);
        return;
    }

    const std::size_t row = std::size_t(m_editRow);
    std::vector<Variant>& stored = m_rows[row];
    for (auto& lookup : m_lookups) {
        const std::uint64_t before = hashKey(stored, lookup->columns, lookup->ignoreCase);
        const std::uint64_t after = hashKey(m_buffer, lookup->columns, lookup->ignoreCase);
        if (before == after) continue;
        lookup->rows.erase(before, row);
        lookup->rows.insert(after, row);
    }
    bool keyChanged = false;
    for (int c : m_indexCols) {
        const Variant& x = stored[std::size_t(c)];
        const Variant& y = m_buffer[std::size_t(c)];
        if (x.kind() != y.kind() || compareValues(x, y) != 0) keyChanged = true;
    }
    if (keyChanged) RemoveVisible(row);  // found by its old key, before the key changes
    stored = std::move(m_buffer);
    m_buffer.clear();
    m_state = TDataSetState::dsBrowse;
    m_editRow = -1;
    const bool visible = PassesFilter(row);
    if (keyChanged && visible)
        InsertVisible(row);
    else if (!keyChanged && !visible)
        RemoveVisible(row);  // the cursor moves on to the next visible row
}

void TClientDataSet::Cancel() {
    if (m_state != TDataSetState::dsEdit && m_state != TDataSetState::dsInsert) return;
    m_buffer.clear();
    m_editRow = -1;
    m_state = TDataSetState::dsBrowse;
}

void TClientDataSet::Delete() {
    if (!Active()) throw EHostError(Name() + ": cannot perform this operation on a closed data set");
    if (m_state == TDataSetState::dsInsert) {
        Cancel();
        return;
    }
    Cancel();
    if (IsEmpty()) throw EHostError(Name() + ": cannot delete from an empty data set");
    Settle();
    const std::size_t row = CurrentRow();
    if (row == npos) throw EHostError(Name() + ": no current record");
    m_rows.erase(m_rows.begin() + std::ptrdiff_t(row));
    m_visible.erase(m_visible.begin() + m_cursor);
    for (std::size_t& v : m_visible)
        if (v > row) --v;
    DropLookups();
    if (m_visible.empty()) {
        m_cursor = 0;
        m_bof = m_eof = true;
    } else if (std::size_t(m_cursor) >= m_visible.size()) {
        m_cursor = int(m_visible.size()) - 1;
        m_eof = true;
    } else {
        m_eof = false;
    }
}

}  // namespace pla013::host
