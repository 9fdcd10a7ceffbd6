#include "recipes/RecipeMerge.h"

#include <cstdint>
#include <exception>
#include <string_view>
#include <unordered_map>

#include "host/Errors.h"

namespace pla013 {

using namespace host;

namespace {

int requireField(const DataPacket& p, const std::string& name, const char* what) {
    int i = p.fieldIndex(name);
    if (i < 0) throw EHostError(std::string("Pacote de ") + what + " sem o campo " + name + ".");
    return i;
}

int targetIndex(const std::vector<FieldDef>& fields, const std::string& name) {
    for (std::size_t i = 0; i < fields.size(); ++i)
        if (fields[i].name == name) return int(i);
    throw EHostError("A composição não tem o campo " + name + ".");
}

// The text of a key field: null counts as empty text, as in a filter.
std::string_view keyText(const Variant& v, std::string& scratch) {
    if (const std::string* t = v.textIf()) return *t;
    scratch = v.isNullOrUnassigned() ? std::string() : v.toString();
    return scratch;
}

// The lines of each dish (code and owner equal byte for byte), in arrival
// order, as one flat list: group g owns lines[start[g] .. start[g + 1]).
//
// The server sends each dish's lines together and the dishes in key order;
// for such input a new run of lines is recognised by comparing its key with
// the previous run's, and a dish finds its group by comparing with the group
// after the one found last, so no key is hashed. Any other order is still
// grouped correctly: the hash index is built the first time it is needed.
class LineGroups {
public:
    static constexpr std::uint32_t npos = std::uint32_t(-1);

    LineGroups(const DataPacket& packet, std::size_t dishField, std::size_t ownerField) {
        const auto& rows = packet.rows;
        std::vector<std::uint32_t> groupOf(rows.size());
        std::vector<std::size_t> count;
        std::string s1, s2;
        std::uint32_t current = 0;
        for (std::size_t r = 0; r < rows.size(); ++r) {
            const std::string_view code = keyText(rows[r][dishField], s1);
            const std::string_view owner = keyText(rows[r][ownerField], s2);
            if (r == 0 || code != m_codes[current] || owner != m_owners[current]) {
                const bool ascending = !m_indexed && (m_codes.empty() || code > m_codes.back() ||
                                                      (code == m_codes.back() && owner > m_owners.back()));
                current = ascending ? npos : find(code, owner);
                if (current == npos) {
                    current = std::uint32_t(m_codes.size());
                    m_codes.emplace_back(code);
                    m_owners.emplace_back(owner);
                    if (m_indexed) m_index.emplace(key(code, owner), current);
                    count.push_back(0);
                }
            }
            groupOf[r] = current;
            ++count[current];
        }
        m_start.assign(count.size() + 1, 0);
        for (std::size_t g = 0; g < count.size(); ++g) m_start[g + 1] = m_start[g] + count[g];
        m_lines.resize(rows.size());
        std::vector<std::size_t> next(m_start.begin(), m_start.end() - 1);
        for (std::size_t r = 0; r < rows.size(); ++r) m_lines[next[groupOf[r]]++] = r;
        m_used.assign(m_codes.size(), false);
    }

    // The group of a dish, npos when it has no line; hint: the group most
    // likely to be it.
    std::uint32_t find(std::string_view code, std::string_view owner, std::uint32_t hint = npos) {
        if (hint < m_codes.size() && m_codes[hint] == code && m_owners[hint] == owner) return hint;
        if (!m_indexed) {
            m_index.reserve(m_codes.size());
            for (std::uint32_t g = 0; g < m_codes.size(); ++g) m_index.emplace(key(m_codes[g], m_owners[g]), g);
            m_indexed = true;
        }
        auto it = m_index.find(key(code, owner));
        return it == m_index.end() ? npos : it->second;
    }

    std::size_t size(std::uint32_t g) const { return g == npos ? 0 : m_start[g + 1] - m_start[g]; }
    std::size_t line(std::uint32_t g, std::size_t k) const { return m_lines[m_start[g] + k]; }
    // Whether a dish with this group was composed already.
    bool used(std::uint32_t g) const { return g != npos && m_used[g]; }
    void markUsed(std::uint32_t g) {
        if (g != npos) m_used[g] = true;
    }

private:
    static std::string key(std::string_view code, std::string_view owner) {
        std::string k;
        k.reserve(code.size() + owner.size() + 1);
        k.append(code);
        k += '\x1f';
        k.append(owner);
        return k;
    }

    std::vector<std::string> m_codes, m_owners;  // the key of each group
    std::vector<std::size_t> m_start;
    std::vector<std::size_t> m_lines;
    std::vector<bool> m_used;
    std::unordered_map<std::string, std::uint32_t> m_index;
    bool m_indexed = false;
};

// A copied value in the kind of the field it lands in (copied as it is when
// it has that kind already).
Variant asFieldValue(const Variant& v, FieldType type) {
    switch (v.kind()) {
        case Variant::Kind::Unassigned:
        case Variant::Kind::Null: return Variant::null();
        case Variant::Kind::Text:
            if (type == FieldType::String) return v;
            break;
        case Variant::Kind::Integer:
            if (type == FieldType::Integer) return v;
            break;
        case Variant::Kind::Float:
            if (type == FieldType::Float) return v;
            break;
        case Variant::Kind::Date:
            if (type == FieldType::Date) return v;
            break;
        default: break;
    }
    switch (type) {
        case FieldType::String: return Variant(v.toString());
        case FieldType::Integer: return Variant(v.toInt());
        case FieldType::Float: return Variant(v.toDouble());
        case FieldType::Date: return Variant::date(v.toDate());
    }
    return v;
}

// Where each field of a composition row comes from.
struct Source {
    enum Kind { Null, DishCode, DishName, DishOwner, Sequence, Standard, Other } kind = Null;
    std::size_t column = 0;  // in the dish or line packet
    FieldType type = FieldType::String;
};

std::vector<Source> rowPlan(const DataPacket& dishes, const DataPacket& standardLines, const DataPacket& otherLines,
                            const RecipeSide& standard, const RecipeSide& other, const std::vector<FieldDef>& fields) {
    std::vector<Source> plan(fields.size());
    for (std::size_t t = 0; t < fields.size(); ++t) plan[t].type = fields[t].type;
    auto set = [&](const std::string& target, Source::Kind kind, std::size_t column) {
        const std::size_t t = std::size_t(targetIndex(fields, target));
        plan[t].kind = kind;
        plan[t].column = column;
    };
    set("CDPRATO", Source::DishCode, std::size_t(requireField(dishes, "CDPRATO", "pratos")));
    set("NMPRATO", Source::DishName, std::size_t(requireField(dishes, "NMPRATO", "pratos")));
    set("CDFILAUXPRAT", Source::DishOwner, std::size_t(requireField(dishes, "CDFILAUXPRAT", "pratos")));
    set("NRSEQUPRATO", Source::Sequence, 0);
    for (const auto& name : standard.columns)
        set(name, Source::Standard, std::size_t(requireField(standardLines, name, "receita padrão")));
    for (const auto& name : other.columns)
        set(name, Source::Other, std::size_t(requireField(otherLines, name, "receita")));
    return plan;
}

}  // namespace

DataPacket ComposeRecipes(const DataPacket& dishes, const DataPacket& standardLines, const DataPacket& otherLines,
                          const RecipeSide& standard, const RecipeSide& other,
                          const std::vector<FieldDef>& compositionFields) {
    DataPacket out;
    out.fields = compositionFields;
    if (dishes.rows.empty()) return out;

    const std::vector<Source> plan = rowPlan(dishes, standardLines, otherLines, standard, other, compositionFields);
    const std::size_t dCode = std::size_t(requireField(dishes, "CDPRATO", "pratos"));
    const std::size_t dOwner = std::size_t(requireField(dishes, "CDFILAUXPRAT", "pratos"));
    LineGroups stdGroups(standardLines, std::size_t(requireField(standardLines, standard.dishField, "receita padrão")),
                         std::size_t(requireField(standardLines, standard.ownerField, "receita padrão")));
    LineGroups otherGroups(otherLines, std::size_t(requireField(otherLines, other.dishField, "receita")),
                           std::size_t(requireField(otherLines, other.ownerField, "receita")));

    // Row k (from 0) of a dish; a side without line k leaves its fields null.
    auto addRow = [&](const std::vector<Variant>& dish, std::size_t k, const std::vector<Variant>* s,
                      const std::vector<Variant>* o) {
        std::vector<Variant> row;
        row.reserve(plan.size());
        for (const Source& src : plan) {
            switch (src.kind) {
                case Source::DishCode:
                case Source::DishName:
                case Source::DishOwner: row.push_back(asFieldValue(dish[src.column], src.type)); break;
                case Source::Sequence: row.emplace_back(std::int64_t(k + 1)); break;
                case Source::Standard:
                    row.push_back(s ? asFieldValue((*s)[src.column], src.type) : Variant::null());
                    break;
                case Source::Other:
                    row.push_back(o ? asFieldValue((*o)[src.column], src.type) : Variant::null());
                    break;
                case Source::Null: row.push_back(Variant::null()); break;
            }
        }
        out.rows.push_back(std::move(row));
    };

    out.rows.reserve(std::max(standardLines.rows.size(), otherLines.rows.size()));
    std::string s1, s2;
    std::uint32_t sHint = 0, oHint = 0;
    for (const auto& dish : dishes.rows) {
        const std::string_view code = keyText(dish[dCode], s1);
        const std::string_view owner = keyText(dish[dOwner], s2);
        const std::uint32_t sg = stdGroups.find(code, owner, sHint);
        const std::uint32_t og = otherGroups.find(code, owner, oHint);
        if (sg != LineGroups::npos) sHint = sg + 1;
        if (og != LineGroups::npos) oHint = og + 1;
        const std::size_t n = stdGroups.size(sg), m = otherGroups.size(og);

        if (stdGroups.used(sg) || otherGroups.used(og)) {
            // Listed again: its standard lines are inserted anew, and every
            // other line finds its place among the rows already composed.
            for (std::size_t k = 0; k < n; ++k) addRow(dish, k, &standardLines.rows[stdGroups.line(sg, k)], nullptr);
            continue;
        }
        stdGroups.markUsed(sg);
        otherGroups.markUsed(og);
        for (std::size_t k = 0; k < std::max(n, m); ++k)
            addRow(dish, k, k < n ? &standardLines.rows[stdGroups.line(sg, k)] : nullptr,
                   k < m ? &otherLines.rows[otherGroups.line(og, k)] : nullptr);
    }
    return out;
}

std::string QuotedFilterValue(const std::string& value) {
    std::string out;
    out.reserve(value.size() + 2);
    for (char c : value) {
        out += c;
        if (c == '\'') out += '\'';
    }
    return out;
}

namespace {

RecipeSide side(const std::string& dishField, const std::string& ownerField, char suffix,
                const std::string& ownerEquals) {
    RecipeSide s;
    s.dishField = dishField;
    s.ownerField = ownerField;
    for (const char* base : {"CDPRODUTO", "CDARV", "NMPRODUTO", "SGUNIDPROD", "QTBRUTPROD", "VRCUSTPROD"})
        s.columns.push_back(base + std::string(1, suffix));
    s.ownerEquals = ownerEquals;
    return s;
}

}  // namespace

RecipeSide StandardRecipeSide() { return side("CDPRATOP", "CDFILAUXPRATP", 'P', " = "); }
RecipeSide LocalRecipeSide() { return side("CDPRATOL", "CDFILAUXPRATL", 'L', " ="); }
RecipeSide ServiceRecipeSide() { return side("CDPRATOS", "CDFILAUXPRATS", 'S', " ="); }

std::string DishFilter(const RecipeSide& side, const std::string& dish, const std::string& owner) {
    return side.dishField + " = '" + QuotedFilterValue(dish) + "'" + "AND " + side.ownerField + side.ownerEquals + "'" +
           QuotedFilterValue(owner) + "'";
}

void LoadRecipeComparison(Variant result, const RecipeDataSets& sets, const RecipeSide& standard,
                          const RecipeSide& other) {
    // The composition reads the three packets before they move into their
    // data sets, so that no packet is ever held twice; a failure to compose
    // is reported where a pass over the loaded data sets would meet it.
    DataPacket composition;
    std::exception_ptr compositionFailure;
    try {
        const auto dishes = result.at(0).packet();
        const auto standardLines = result.at(1).packet();
        const auto otherLines = result.at(2).packet();
        if (!dishes->rows.empty())
            composition =
                ComposeRecipes(*dishes, *standardLines, *otherLines, standard, other, sets.composition->FieldDefs);
    } catch (...) {
        compositionFailure = std::current_exception();
    }
    sets.dishes->SetData(result.takeAt(0).takePacket());
    sets.standardLines->SetData(result.takeAt(1).takePacket());
    sets.otherLines->SetData(result.takeAt(2).takePacket());
    if (sets.dishes->IsEmpty()) return;
    if (compositionFailure) std::rethrow_exception(compositionFailure);

    sets.composition->SetData(std::move(composition));
    sets.dishes->Last();
    const std::string dish = sets.dishes->FieldByName("CDPRATO").AsString();
    const std::string owner = sets.dishes->FieldByName("CDFILAUXPRAT").AsString();
    sets.standardLines->SetFiltered(true);
    sets.standardLines->SetFilter(DishFilter(standard, dish, owner));
    sets.otherLines->SetFiltered(true);
    sets.otherLines->SetFilter(DishFilter(other, dish, owner));
}

}  // namespace pla013
