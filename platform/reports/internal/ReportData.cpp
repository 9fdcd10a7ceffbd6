#include "platform/reports/internal/ReportData.h"

#include <algorithm>
#include <cmath>
#include <optional>

#include "host/CostSum.h"
#include "host/Errors.h"
#include "platform/reports/Expression.h"
#include "platform/reports/ReportDocument.h"
#include "platform/reports/internal/DefinitionRules.h"
#include "platform/reports/internal/Evaluator.h"
#include "platform/reports/internal/ValueFormat.h"

namespace pla013::reports::internal {

namespace {

host::FieldType fieldTypeOf(const std::string& kind) {
    return kind == "integer" ? host::FieldType::Integer
           : kind == "float" ? host::FieldType::Float
           : kind == "date"  ? host::FieldType::Date
                             : host::FieldType::String;
}

// Converts one value in place; false (the value untouched) when its text is
// not of the target type. Errors of the host pass through.
bool convertValue(host::Variant& v, host::FieldType target) {
    using K = host::Variant::Kind;
    try {
        switch (target) {
            case host::FieldType::String:
                if (v.kind() != K::Text) v = host::Variant(v.toString());
                break;
            case host::FieldType::Integer:
                if (v.kind() == K::Text) {
                    std::size_t used = 0;
                    std::string t = v.toString();
                    long long n = std::stoll(t, &used);
                    if (used != t.size()) return false;
                    v = host::Variant(static_cast<std::int64_t>(n));
                } else if (v.kind() != K::Integer) {
                    v = host::Variant(static_cast<std::int64_t>(std::llround(v.toDouble())));
                }
                break;
            case host::FieldType::Float:
                if (v.kind() == K::Text) {
                    std::size_t used = 0;
                    std::string t = v.toString();
                    double d = std::stod(t, &used);
                    if (used != t.size()) return false;
                    v = host::Variant(d);
                } else if (v.kind() != K::Float) {
                    v = host::Variant(v.toDouble());
                }
                break;
            case host::FieldType::Date:
                if (v.kind() == K::Text) {
                    host::TDateTime d = 0;
                    if (!host::TryIsoToDate(v.toString().substr(0, 10), d)) return false;
                    v = host::Variant::date(d);
                } else if (v.kind() != K::Date) {
                    v = host::Variant::date(v.toDouble());
                }
                break;
        }
    } catch (const host::EHostError&) {
        throw;
    } catch (const std::exception&) {
        return false;
    }
    return true;
}

void conditionFields(const Condition& c, std::vector<std::string>& out) {
    if (c.kind == Condition::Kind::FieldEquals || c.kind == Condition::Kind::FieldNotNull) out.push_back(c.name);
    for (const auto& child : c.children) conditionFields(child, out);
}

void capText(host::Variant& v) {
    // Bytes bound the code points: most texts are decided without counting.
    const std::string* text = v.textIf();
    if (!text || text->size() <= ReportData::kMaxTextLength) return;
    if (textWidth(*text) > ReportData::kMaxTextLength)
        v = host::Variant(cutText(*text, ReportData::kMaxTextLength, /*ellipsis=*/true));
}

}  // namespace

ReportData::ReportData(host::DataPacket data, std::vector<ReportParam> params,
                       std::map<std::string, host::Variant> lookups)
    : m_data(std::move(data)), m_params(std::move(params)), m_lookups(std::move(lookups)) {
    for (std::size_t i = 0; i < m_data.fields.size(); ++i)
        m_fieldIndex.emplace(upperCase(m_data.fields[i].name), int(i));
}

ReportData::ReportData(std::unique_ptr<RowSource> source, std::vector<ReportParam> params,
                       std::map<std::string, host::Variant> lookups)
    : ReportData(host::DataPacket{}, std::move(params), std::move(lookups)) {
    m_source = std::move(source);
    m_data.fields = m_source->fields();
    for (std::size_t i = 0; i < m_data.fields.size(); ++i)
        m_fieldIndex.emplace(upperCase(m_data.fields[i].name), int(i));
}

void ReportData::prepare(const ReportDefinition& def, const std::stop_token& stop) {
    m_def = &def;
    for (const auto& [name, kind] : def.fieldTypes) {
        int f = fieldIndex(name);
        if (f < 0) continue;  // reported by checkFields with its place
        m_conversions.push_back({name, kind, f, fieldTypeOf(kind)});
        m_data.fields[f].type = fieldTypeOf(kind);
    }
    m_isImage.assign(m_data.fields.size(), false);
    for (const auto& g : def.groups)
        for (const auto* items : {&g.header, &g.footer})
            for (const auto& item : *items)
                if (item.kind == SectionItem::Kind::Image && fieldIndex(item.field) >= 0)
                    m_isImage[std::size_t(fieldIndex(item.field))] = true;
    for (auto& [name, value] : m_lookups) capText(value);
    m_dataFieldCount = m_data.fields.size();
    for (const auto& c : def.computed) {
        checkComputed(def, c);
        m_fieldIndex.emplace(c.name, int(m_data.fields.size()));
        m_data.fields.push_back({c.name, host::FieldType::Float, 0, false});
    }
    checkFields(def);
    // A number is rounded as its column (or its computed field's format)
    // shows it before anything adds or subtracts it row by row, so that a
    // printed difference is the difference of the printed figures. The
    // aggregates read the values before this rounding.
    m_decimals.assign(m_data.fields.size(), -1);
    auto keep = [&](int f, int d) {
        if (f >= 0 && d >= 0) m_decimals[std::size_t(f)] = std::max(m_decimals[std::size_t(f)], d);
    };
    for (const auto& col : def.columns) keep(fieldIndex(col.field), formatDecimals(col.format));
    bool aggregates = false;
    for (const auto& c : def.computed) {
        keep(fieldIndex(c.name), formatDecimals(c.format));
        aggregates = aggregates || c.aggregate != ComputedDef::Aggregate::None;
    }
    spoolRows(stop, aggregates);
}

// Reads the data once: each row converted and, where no aggregate needs the
// rows around it, finished, into the spool. Rows of a packet are released
// as they are read.
void ReportData::spoolRows(const std::stop_token& stop, bool aggregates) {
    RowSpool first;
    RowSpool& into = aggregates ? first : m_spool;
    std::size_t number = 0;
    auto take = [&](Row& row) {
        if (stop.stop_requested()) throw ReportCancelled();
        convertRow(row, ++number);
        if (!aggregates) finishRow(row);
        into.append(row);
    };
    if (m_source) {
        Row row;
        while (m_source->next(row)) {
            if (row.size() != m_source->fields().size())
                throw host::EHostError("Os dados do relatório trazem uma linha com " + std::to_string(row.size()) +
                                       " valores em vez de " + std::to_string(m_source->fields().size()) + ".");
            take(row);
            row.clear();
        }
        m_source.reset();
    } else {
        for (auto& row : m_data.rows) {
            take(row);
            Row().swap(row);
        }
        decltype(m_data.rows)().swap(m_data.rows);
    }
    if (aggregates) fillAggregates(first, stop);
    if (!m_def->order.empty()) sortRows(stop);
}

// Converts the declared types, cuts long texts and makes room for the
// computed fields (null until computed); number counts the rows from 1, for
// the error.
void ReportData::convertRow(Row& row, std::size_t number) const {
    const ReportDefinition& def = *m_def;
    for (const auto& c : m_conversions) {
        host::Variant& v = row[c.field];
        if (v.isNullOrUnassigned()) continue;
        if (!convertValue(v, c.target))
            throw host::EHostError(definitionError(
                def.file, def.fieldTypesPointer + "/" + c.name,
                "o valor '" + v.toString() + "' da linha " + std::to_string(number) + " não é do tipo " + c.kind));
    }
    for (std::size_t f = 0; f < row.size() && f < m_isImage.size(); ++f)
        if (!m_isImage[f]) capText(row[f]);
    row.resize(m_data.fields.size(), host::Variant::null());
}

// Rounds the numbers shown and computes the fields that are not aggregates
// (those were filled in before), in their order.
void ReportData::finishRow(Row& row) const {
    auto round = [&](std::size_t f) {
        host::Variant& v = row[f];
        if (f < m_decimals.size() && m_decimals[f] >= 0 && v.kind() == host::Variant::Kind::Float)
            v = host::Variant(roundHalfAway(v.toDouble(), m_decimals[f]));
    };
    for (std::size_t f = 0; f < m_dataFieldCount; ++f) round(f);
    for (std::size_t k = 0; k < m_def->computed.size(); ++k) {
        const ComputedDef& c = m_def->computed[k];
        const std::size_t slot = m_dataFieldCount + k;
        if (c.aggregate == ComputedDef::Aggregate::None) row[slot] = computedValue(c, row);
        round(slot);
    }
}

namespace {

// The runs of one aggregate: neighbouring rows equal on its fields.
struct Runs {
    std::vector<int> over;
    std::vector<host::Variant> values;  // by run, once computed
    std::size_t current = 0;            // the run of the row being read
    bool started = false;

    // Moves to row's run; true when row starts a new one.
    bool advance(const std::vector<host::Variant>& row, const std::vector<host::Variant>& previous) {
        const bool same = started && std::all_of(over.begin(), over.end(), [&](int f) {
                              return row[std::size_t(f)] == previous[std::size_t(f)];
                          });
        if (started && !same) ++current;
        started = true;
        return !same;
    }
};

}  // namespace

// The aggregates, in the order defined: each run of neighbouring rows equal
// on the aggregate's fields gets the sum (a CostSum: the values as the data
// holds them, added in order, rounded once by the field's format) or the
// count of its rows that the condition lets in. An aggregate may read the
// ones before it, so they are computed in rounds over the rows spooled: a
// round computes the aggregates whose fields come from the data or from
// earlier rounds, keeping one value per run. The last reading fills every
// row, finishes it and spools it again, for the passes of the report.
void ReportData::fillAggregates(RowSpool& first, const std::stop_token& stop) {
    const Evaluator eval(*m_def, *this);
    const std::size_t count = m_def->computed.size();
    std::vector<Runs> runs(count);
    std::vector<int> round(count, -1);  // -1: not an aggregate
    int rounds = 0;
    for (std::size_t k = 0; k < count; ++k) {
        const ComputedDef& c = m_def->computed[k];
        if (c.aggregate == ComputedDef::Aggregate::None) continue;
        for (const auto& f : c.over) runs[k].over.push_back(fieldIndex(f));
        std::vector<std::string> reads = c.over;
        if (!c.field.empty()) reads.push_back(c.field);
        if (c.when) conditionFields(*c.when, reads);
        int r = 0;
        for (const auto& name : reads) {
            const int f = fieldIndex(name);
            if (f >= int(m_dataFieldCount)) r = std::max(r, round[std::size_t(f) - m_dataFieldCount] + 1);
        }
        round[k] = r;
        rounds = std::max(rounds, r + 1);
    }

    Row row, previous;
    for (int r = 0; r <= rounds; ++r) {
        const bool last = r == rounds;
        for (auto& run : runs) run.current = 0, run.started = false;
        std::vector<host::CostSum> sums(count);
        std::vector<long long> counts(count, 0);
        auto close = [&](std::size_t k) {
            const ComputedDef& c = m_def->computed[k];
            runs[k].values.push_back(c.aggregate == ComputedDef::Aggregate::Sum
                                         ? sums[k].exact()
                                         : host::Variant(static_cast<std::int64_t>(counts[k])));
            sums[k] = host::CostSum();
            counts[k] = 0;
        };
        bool any = false;
        first.rewind();
        while (first.next(row)) {
            if (stop.stop_requested()) throw ReportCancelled();
            for (std::size_t k = 0; k < count; ++k) {
                if (round[k] < 0 || round[k] > r) continue;
                const bool starts = runs[k].advance(row, previous);
                if (round[k] < r) {
                    row[m_dataFieldCount + k] = runs[k].values[runs[k].current];
                    continue;
                }
                if (starts && any) close(k);
                const ComputedDef& c = m_def->computed[k];
                if (c.when && !eval.holds(*c.when, &row)) continue;
                const int field = c.field.empty() ? -1 : fieldIndex(c.field);
                if (c.aggregate == ComputedDef::Aggregate::Sum)
                    sums[k].add(row[std::size_t(field)]);
                else if (field < 0 || !row[std::size_t(field)].isNullOrUnassigned())
                    ++counts[k];
            }
            any = true;
            if (last) {
                finishRow(row);
                m_spool.append(row);
            }
            previous.swap(row);
        }
        if (!last && any)
            for (std::size_t k = 0; k < count; ++k)
                if (round[k] == r) close(k);
    }
}

namespace {

// Nulls first, numbers by value, anything else by its text.
bool valueLess(const host::Variant& a, const host::Variant& b) {
    if (a.isNullOrUnassigned() || b.isNullOrUnassigned()) return a.isNullOrUnassigned() && !b.isNullOrUnassigned();
    using K = host::Variant::Kind;
    auto numeric = [](const host::Variant& v) {
        return v.kind() == K::Integer || v.kind() == K::Float || v.kind() == K::Date;
    };
    if (numeric(a) && numeric(b)) return a.toDouble() < b.toDouble();
    return a.toString() < b.toString();
}

}  // namespace

void ReportData::sortRows(const std::stop_token& stop) {
    std::vector<int> keys;
    for (const auto& f : m_def->order) keys.push_back(fieldIndex(f));
    // The keys of each row beside its place in the spool.
    std::vector<host::Variant> values;
    values.reserve(m_spool.rowCount() * keys.size());
    std::vector<std::uint64_t> positions;
    positions.reserve(m_spool.rowCount());
    Row row;
    m_spool.rewind();
    while (m_spool.next(row)) {
        if (stop.stop_requested()) throw ReportCancelled();
        for (int k : keys) values.push_back(std::move(row[std::size_t(k)]));
        positions.push_back(m_spool.lastPosition());
    }
    std::vector<std::uint32_t> index(positions.size());
    for (std::size_t i = 0; i < index.size(); ++i) index[i] = std::uint32_t(i);
    const std::size_t n = keys.size();
    std::stable_sort(index.begin(), index.end(), [&](std::uint32_t a, std::uint32_t b) {
        for (std::size_t k = 0; k < n; ++k) {
            const host::Variant& x = values[a * n + k];
            const host::Variant& y = values[b * n + k];
            if (valueLess(x, y)) return true;
            if (valueLess(y, x)) return false;
        }
        return false;
    });
    m_order.resize(index.size());
    for (std::size_t i = 0; i < index.size(); ++i) m_order[i] = positions[index[i]];
}

void ReportData::rewind() {
    m_next = 0;
    m_spool.rewind();
}

const ReportData::Row* ReportData::next() {
    Row& row = m_buffers[m_next % 2];
    if (m_order.empty()) {
        if (!m_spool.next(row)) return nullptr;
    } else {
        if (m_next >= m_order.size()) return nullptr;
        m_spool.readAt(m_order[m_next], row);
    }
    ++m_next;
    return &row;
}

int ReportData::fieldIndex(const std::string& name) const {
    auto it = m_fieldIndex.find(upperCase(name));
    return it == m_fieldIndex.end() ? -1 : it->second;
}

const ReportParam* ReportData::findParam(const std::string& name) const {
    std::string u = upperCase(name);
    for (const auto& p : m_params)
        if (upperCase(p.name) == u) return &p;
    return nullptr;
}

const host::Variant* ReportData::lookup(const std::string& name) const {
    auto it = m_lookups.find(name);
    return it == m_lookups.end() ? nullptr : &it->second;
}

void ReportData::checkComputed(const ReportDefinition& def, const ComputedDef& c) const {
    if (fieldIndex(c.name) >= 0)
        throw host::EHostError(
            definitionError(def.file, c.pointer + "/name", "o campo calculado '" + c.name + "' já existe nos dados"));
    if (c.aggregate != ComputedDef::Aggregate::None) {
        // An aggregate reads the data as it came: the data's own fields and
        // the aggregates before it.
        std::vector<std::string> names = c.over;
        if (!c.field.empty()) names.push_back(c.field);
        if (c.when) conditionFields(*c.when, names);
        for (const auto& n : names) {
            const int f = fieldIndex(n);
            const bool aggregate =
                f >= int(m_dataFieldCount) &&
                def.computed[std::size_t(f) - m_dataFieldCount].aggregate != ComputedDef::Aggregate::None;
            if (f < 0 || (f >= int(m_dataFieldCount) && !aggregate))
                throw host::EHostError(definitionError(
                    def.file, c.pointer,
                    "um agregado lê só campos dos dados e agregados anteriores, e '" + n + "' não é um deles"));
        }
        return;
    }
    // The names of the expression must be data fields (or earlier computed
    // fields) or parameters.
    std::vector<std::string> names = c.expression->names();
    if (c.otherwise) names.insert(names.end(), c.otherwise->names().begin(), c.otherwise->names().end());
    for (const auto& n : names)
        if (n.rfind("P_", 0) != 0 && fieldIndex(n) < 0)
            throw host::EHostError(definitionError(def.file, c.pointer + "/expression",
                                                   "o campo '" + n + "' não existe nos dados do relatório"));
}

host::Variant ReportData::computedValue(const ComputedDef& c, const Row& row) const {
    auto resolve = [&](const std::string& n) -> std::optional<double> {
        const host::Variant* v = nullptr;
        if (n.rfind("P_", 0) == 0) {
            const ReportParam* p = findParam(n);
            if (p) v = &p->value;
        } else {
            v = &row[m_fieldIndex.at(n)];
        }
        if (!v || v->isNullOrUnassigned()) return std::nullopt;
        try {
            return v->toDouble();
        } catch (const std::exception&) {
            return std::nullopt;  // a text that is not a number counts as null
        }
    };
    const Expression* e = c.expression.get();
    if (c.when && !Evaluator(*m_def, *this).holds(*c.when, &row)) e = c.otherwise.get();
    if (!e) return host::Variant::null();
    auto result = e->evaluate(resolve);
    return result ? host::Variant(*result) : host::Variant::null();
}

void ReportData::checkFields(const ReportDefinition& def) const {
    for (const auto& ref : def.fieldRefs) {
        if (fieldIndex(ref.name) >= 0) continue;
        if (m_lookups.count(ref.name)) continue;
        std::string known;
        for (const auto& f : m_data.fields) known += (known.empty() ? "" : ", ") + f.name;
        throw host::EHostError(definitionError(
            def.file, ref.pointer,
            "o campo '" + ref.name +
                "' não existe nos dados do relatório (campos: " + (known.empty() ? "nenhum" : known) + ")"));
    }
    // Fields used by position must be data fields, not lookups.
    auto needData = [&](const std::string& name, const std::string& ptr) {
        if (fieldIndex(name) < 0)
            throw host::EHostError(
                definitionError(def.file, ptr, "o campo '" + name + "' não existe nos dados do relatório"));
    };
    for (const auto& c : def.columns) needData(c.field, c.pointer + "/field");
    for (const auto& g : def.groups)
        for (const auto& f : g.fields) needData(f, g.pointer + "/field");
}

}  // namespace pla013::reports::internal
