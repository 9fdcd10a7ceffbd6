#include "recipes/RecipeMerge.h"

#include <cstdint>
#include <exception>
#include <string_view>
#include <unordered_map>

#include "host/Errors.h"

namespace pla013 {

using namespace host;

namespace {

int requireField(const CompactPacket& p, const std::string& name, const char* what) {
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
std::string_view keyText(const ValueView& v, std::string& scratch) {
    if (v.kind == ValueView::Kind::Text) return v.text;
    scratch = v.isNull() ? std::string() : variantOf(v).toString();
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

    LineGroups(const CompactPacket& rows, std::size_t dishField, std::size_t ownerField) {
        const std::size_t n = rows.rowCount();
        std::vector<std::uint32_t> groupOf(n);
        std::vector<std::size_t> count;
        std::string s1, s2;
        std::uint32_t current = 0;
        for (std::size_t r = 0; r < n; ++r) {
            const std::string_view code = keyText(rows.view(r, dishField), s1);
            const std::string_view owner = keyText(rows.view(r, ownerField), s2);
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
        m_lines.resize(n);
        std::vector<std::size_t> next(m_start.begin(), m_start.end() - 1);
        for (std::size_t r = 0; r < n; ++r) m_lines[next[groupOf[r]]++] = r;
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

// Where each field of a composition row comes from.
struct Source {
    enum Kind { Null, DishCode, DishName, DishOwner, Sequence, Standard, Other } kind = Null;
    std::size_t column = 0;  // in the dish or line packet
    FieldType type = FieldType::String;
};

std::vector<Source> rowPlan(const CompactPacket& dishes, const CompactPacket& standardLines,
                            const CompactPacket& otherLines, const RecipeSide& standard, const RecipeSide& other,
                            const std::vector<FieldDef>& fields) {
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

CompactPacket ComposeRecipes(const CompactPacket& dishes, const CompactPacket& standardLines,
                             const CompactPacket& otherLines, const RecipeSide& standard, const RecipeSide& other,
                             const std::vector<FieldDef>& compositionFields) {
    CompactPacket out(compositionFields);
    if (dishes.empty()) return out;

    const std::vector<Source> plan = rowPlan(dishes, standardLines, otherLines, standard, other, compositionFields);
    const std::size_t dCode = std::size_t(requireField(dishes, "CDPRATO", "pratos"));
    const std::size_t dOwner = std::size_t(requireField(dishes, "CDFILAUXPRAT", "pratos"));
    LineGroups stdGroups(standardLines, std::size_t(requireField(standardLines, standard.dishField, "receita padrão")),
                         std::size_t(requireField(standardLines, standard.ownerField, "receita padrão")));
    LineGroups otherGroups(otherLines, std::size_t(requireField(otherLines, other.dishField, "receita")),
                           std::size_t(requireField(otherLines, other.ownerField, "receita")));

    // Row k (from 0) of a dish; a side without line k leaves its fields null.
    constexpr std::size_t none = std::size_t(-1);
    auto addRow = [&](std::size_t dish, std::size_t k, std::size_t s, std::size_t o) {
        const std::size_t row = out.addRow();
        for (std::size_t t = 0; t < plan.size(); ++t) {
            const Source& src = plan[t];
            switch (src.kind) {
                case Source::DishCode:
                case Source::DishName:
                case Source::DishOwner: out.copyCell(row, t, dishes, dish, src.column); break;
                case Source::Sequence: out.setInteger(row, t, std::int64_t(k + 1)); break;
                case Source::Standard:
                    if (s != none) out.copyCell(row, t, standardLines, s, src.column);
                    break;
                case Source::Other:
                    if (o != none) out.copyCell(row, t, otherLines, o, src.column);
                    break;
                case Source::Null: break;
            }
        }
    };

    out.reserve(std::max(standardLines.rowCount(), otherLines.rowCount()));
    std::string s1, s2;
    std::uint32_t sHint = 0, oHint = 0;
    for (std::size_t dish = 0; dish < dishes.rowCount(); ++dish) {
        const std::string_view code = keyText(dishes.view(dish, dCode), s1);
        const std::string_view owner = keyText(dishes.view(dish, dOwner), s2);
        const std::uint32_t sg = stdGroups.find(code, owner, sHint);
        const std::uint32_t og = otherGroups.find(code, owner, oHint);
        if (sg != LineGroups::npos) sHint = sg + 1;
        if (og != LineGroups::npos) oHint = og + 1;
        const std::size_t n = stdGroups.size(sg), m = otherGroups.size(og);

        if (stdGroups.used(sg) || otherGroups.used(og)) {
            // Listed again: its standard lines are inserted anew, and every
            // other line finds its place among the rows already composed.
            for (std::size_t k = 0; k < n; ++k) addRow(dish, k, stdGroups.line(sg, k), none);
            continue;
        }
        stdGroups.markUsed(sg);
        otherGroups.markUsed(og);
        for (std::size_t k = 0; k < std::max(n, m); ++k)
            addRow(dish, k, k < n ? stdGroups.line(sg, k) : none, k < m ? otherGroups.line(og, k) : none);
    }
    return out;
}

DataPacket ComposeRecipes(const DataPacket& dishes, const DataPacket& standardLines, const DataPacket& otherLines,
                          const RecipeSide& standard, const RecipeSide& other,
                          const std::vector<FieldDef>& compositionFields) {
    return ComposeRecipes(CompactPacket::fromPacket(dishes), CompactPacket::fromPacket(standardLines),
                          CompactPacket::fromPacket(otherLines), standard, other, compositionFields)
        .toPacket();
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
    CompactPacket composition;
    std::exception_ptr compositionFailure;
    try {
        const auto dishes = result.at(0).compactPacket();
        const auto standardLines = result.at(1).compactPacket();
        const auto otherLines = result.at(2).compactPacket();
        if (!dishes->empty())
            composition =
                ComposeRecipes(*dishes, *standardLines, *otherLines, standard, other, sets.composition->FieldDefs);
    } catch (...) {
        compositionFailure = std::current_exception();
    }
    sets.dishes->SetData(result.takeAt(0).takeCompactPacket());
    sets.standardLines->SetData(result.takeAt(1).takeCompactPacket());
    sets.otherLines->SetData(result.takeAt(2).takeCompactPacket());
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
