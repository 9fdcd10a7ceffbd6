#include "recipes/RecipeMerge.h"

#include <unordered_map>
#include <unordered_set>

#include "host/Errors.h"

namespace pla013 {

using namespace host;

namespace {

int requireField(const DataPacket& p, const std::string& name, const char* what) {
    int i = p.fieldIndex(name);
    if (i < 0) throw EHostError(std::string("Pacote de ") + what + " sem o campo " + name + ".");
    return i;
}

std::string dishKey(const Variant& code, const Variant& owner) {
    std::string k = code.isNullOrUnassigned() ? std::string() : code.toString();
    k += '\x1f';
    k += owner.isNullOrUnassigned() ? std::string() : owner.toString();
    return k;
}

// Line numbers of each dish, in arrival order.
std::unordered_map<std::string, std::vector<std::size_t>> groupByDish(const DataPacket& lines,
                                                                      const RecipeSide& side, const char* what) {
    int dish = requireField(lines, side.dishField, what);
    int owner = requireField(lines, side.ownerField, what);
    std::unordered_map<std::string, std::vector<std::size_t>> groups;
    groups.reserve(lines.rows.size() / 4 + 1);
    for (std::size_t r = 0; r < lines.rows.size(); ++r)
        groups[dishKey(lines.rows[r][std::size_t(dish)], lines.rows[r][std::size_t(owner)])].push_back(r);
    return groups;
}

// Converts a copied value to the kind of the field it lands in.
Variant asFieldValue(const Variant& v, FieldType type) {
    if (v.isNullOrUnassigned()) return Variant::null();
    switch (type) {
        case FieldType::String: return Variant(v.toString());
        case FieldType::Integer: return Variant(v.toInt());
        case FieldType::Float: return Variant(v.toDouble());
        case FieldType::Date: return Variant::date(v.toDate());
    }
    return v;
}

struct ColumnCopy {
    std::size_t from;
    std::size_t to;
    FieldType type;
};

std::vector<ColumnCopy> columnCopies(const DataPacket& lines, const RecipeSide& side,
                                     const std::vector<FieldDef>& target, const char* what) {
    std::vector<ColumnCopy> out;
    for (const auto& name : side.columns) {
        int from = requireField(lines, name, what);
        int to = -1;
        for (std::size_t i = 0; i < target.size(); ++i)
            if (target[i].name == name) to = int(i);
        if (to < 0) throw EHostError("A composição não tem o campo " + name + ".");
        out.push_back({std::size_t(from), std::size_t(to), target[std::size_t(to)].type});
    }
    return out;
}

int targetIndex(const std::vector<FieldDef>& fields, const std::string& name) {
    for (std::size_t i = 0; i < fields.size(); ++i)
        if (fields[i].name == name) return int(i);
    throw EHostError("A composição não tem o campo " + name + ".");
}

}  // namespace

DataPacket ComposeRecipes(const DataPacket& dishes, const DataPacket& standardLines, const DataPacket& otherLines,
                          const RecipeSide& standard, const RecipeSide& other,
                          const std::vector<FieldDef>& compositionFields) {
    DataPacket out;
    out.fields = compositionFields;
    if (dishes.rows.empty()) return out;

    const int dCode = requireField(dishes, "CDPRATO", "pratos");
    const int dName = requireField(dishes, "NMPRATO", "pratos");
    const int dOwner = requireField(dishes, "CDFILAUXPRAT", "pratos");
    const int tCode = targetIndex(compositionFields, "CDPRATO");
    const int tName = targetIndex(compositionFields, "NMPRATO");
    const int tOwner = targetIndex(compositionFields, "CDFILAUXPRAT");
    const int tSeq = targetIndex(compositionFields, "NRSEQUPRATO");

    const auto stdGroups = groupByDish(standardLines, standard, "receita padrão");
    const auto otherGroups = groupByDish(otherLines, other, "receita");
    const auto stdCopies = columnCopies(standardLines, standard, compositionFields, "receita padrão");
    const auto otherCopies = columnCopies(otherLines, other, compositionFields, "receita");
    static const std::vector<std::size_t> none;

    auto dishRow = [&](const std::vector<Variant>& dish, std::size_t k) {
        std::vector<Variant> row(compositionFields.size(), Variant::null());
        row[std::size_t(tCode)] = asFieldValue(dish[std::size_t(dCode)], FieldType::String);
        row[std::size_t(tName)] = asFieldValue(dish[std::size_t(dName)], FieldType::String);
        row[std::size_t(tOwner)] = asFieldValue(dish[std::size_t(dOwner)], FieldType::String);
        row[std::size_t(tSeq)] = Variant(std::int64_t(k + 1));
        return row;
    };

    std::unordered_set<std::string> composed;
    composed.reserve(dishes.rows.size());
    out.rows.reserve(standardLines.rows.size() + otherLines.rows.size());
    for (const auto& dish : dishes.rows) {
        const std::string key = dishKey(dish[std::size_t(dCode)], dish[std::size_t(dOwner)]);
        auto s = stdGroups.find(key);
        const auto& sLines = s == stdGroups.end() ? none : s->second;
        if (!composed.insert(key).second) {
            // Listed again: its standard lines are inserted anew, and every
            // other line finds its place among the rows already composed.
            for (std::size_t k = 0; k < sLines.size(); ++k) {
                auto row = dishRow(dish, k);
                for (const auto& c : stdCopies) row[c.to] = asFieldValue(standardLines.rows[sLines[k]][c.from], c.type);
                out.rows.push_back(std::move(row));
            }
            continue;
        }
        auto o = otherGroups.find(key);
        const auto& oLines = o == otherGroups.end() ? none : o->second;
        const std::size_t count = std::max(sLines.size(), oLines.size());
        for (std::size_t k = 0; k < count; ++k) {
            auto row = dishRow(dish, k);
            if (k < sLines.size())
                for (const auto& c : stdCopies)
                    row[c.to] = asFieldValue(standardLines.rows[sLines[k]][c.from], c.type);
            if (k < oLines.size())
                for (const auto& c : otherCopies) row[c.to] = asFieldValue(otherLines.rows[oLines[k]][c.from], c.type);
            out.rows.push_back(std::move(row));
        }
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

const DataPacket& packetAt(const Variant& result, std::size_t index) {
    auto p = result.at(index).packet();
    if (!p) throw EVariantError("O elemento " + std::to_string(index) + " da resposta não é um pacote de dados.");
    return *p;
}

}  // namespace

RecipeSide StandardRecipeSide() { return side("CDPRATOP", "CDFILAUXPRATP", 'P', " = "); }
RecipeSide LocalRecipeSide() { return side("CDPRATOL", "CDFILAUXPRATL", 'L', " ="); }
RecipeSide ServiceRecipeSide() { return side("CDPRATOS", "CDFILAUXPRATS", 'S', " ="); }

std::string DishFilter(const RecipeSide& side, const std::string& dish, const std::string& owner) {
    return side.dishField + " = '" + QuotedFilterValue(dish) + "'" + "AND " + side.ownerField + side.ownerEquals +
           "'" + QuotedFilterValue(owner) + "'";
}

void LoadRecipeComparison(const Variant& result, const RecipeDataSets& sets, const RecipeSide& standard,
                          const RecipeSide& other) {
    const DataPacket& dishes = packetAt(result, 0);
    sets.dishes->SetData(dishes);
    const DataPacket& standardLines = packetAt(result, 1);
    sets.standardLines->SetData(standardLines);
    const DataPacket& otherLines = packetAt(result, 2);
    sets.otherLines->SetData(otherLines);
    if (sets.dishes->IsEmpty()) return;

    sets.composition->SetData(
        ComposeRecipes(dishes, standardLines, otherLines, standard, other, sets.composition->FieldDefs));
    sets.dishes->Last();
    const std::string dish = sets.dishes->FieldByName("CDPRATO").AsString();
    const std::string owner = sets.dishes->FieldByName("CDFILAUXPRAT").AsString();
    sets.standardLines->SetFiltered(true);
    sets.standardLines->SetFilter(DishFilter(standard, dish, owner));
    sets.otherLines->SetFiltered(true);
    sets.otherLines->SetFilter(DishFilter(other, dish, owner));
}

}  // namespace pla013
