#include "platform/reports/ReportDocument.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <optional>
#include <set>
#include <sstream>

#include "host/Errors.h"
#include "platform/reports/Expression.h"
#include "platform/reports/internal/Base64.h"
#include "platform/reports/internal/ValueFormat.h"

namespace pla013::reports {

using internal::formatDate;
using internal::formatValue;

namespace {

constexpr int kTitleLines = 2;
constexpr int kFooterLines = 2;
constexpr std::size_t kMaxFilterLines = 8;
constexpr std::size_t kNoRow = std::size_t(-1);

std::string upper(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return char(std::toupper(c)); });
    return s;
}

}  // namespace

// Running figures of one scope (a group or the whole report), per data field.
struct ReportDocument::Accumulator {
    struct Stat {
        double sum = 0;
        long long count = 0;
        std::optional<double> min, max;
    };
    std::vector<Stat> stats;  // by data column
    long long rows = 0;

    void reset(std::size_t fields) {
        stats.assign(fields, Stat{});
        rows = 0;
    }
    void add(const host::DataPacket& data, std::size_t row, const std::vector<int>& fields) {
        ++rows;
        for (int f : fields) {
            const host::Variant& v = data.rows[row][f];
            if (v.isNullOrUnassigned()) continue;
            double d = 0;
            using K = host::Variant::Kind;
            if (v.kind() == K::Integer || v.kind() == K::Float || v.kind() == K::Date) {
                d = v.toDouble();
            } else {
                Stat& s = stats[f];
                ++s.count;  // texts count, nothing else
                continue;
            }
            Stat& s = stats[f];
            s.sum += d;
            ++s.count;
            if (!s.min || d < *s.min) s.min = d;
            if (!s.max || d > *s.max) s.max = d;
        }
    }
    host::Variant value(TotalFunction fn, int field) const {
        if (field < 0) return host::Variant(static_cast<std::int64_t>(rows));
        const Stat& s = stats[field];
        switch (fn) {
            case TotalFunction::Sum:
                return s.count ? host::Variant(s.sum) : host::Variant::null();  // nothing to add up: blank, not 0
            case TotalFunction::Count: return host::Variant(static_cast<std::int64_t>(s.count));
            case TotalFunction::Avg: return s.count ? host::Variant(s.sum / double(s.count)) : host::Variant::null();
            case TotalFunction::Min: return s.min ? host::Variant(*s.min) : host::Variant::null();
            case TotalFunction::Max: return s.max ? host::Variant(*s.max) : host::Variant::null();
        }
        return host::Variant::null();
    }
};

ReportDocument::ReportDocument(Input input) : m_in(std::move(input)), m_def(*m_in.definition) {
    for (std::size_t i = 0; i < m_in.data.fields.size(); ++i)
        m_fieldIndex.emplace(upper(m_in.data.fields[i].name), int(i));
    convertTypes();
    addComputed();
    checkFields();
    chooseColumns();
    m_subtitle = expand(m_def.subtitle, kNoRow);
    buildFilters();
    buildFlow();
    paginate();
}

int ReportDocument::linesPerPage() const { return landscape() ? 48 : 70; }

std::string ReportDocument::text(const host::Variant& v, const std::string& format) { return formatValue(v, format); }

int ReportDocument::fieldIndex(const std::string& name) const {
    auto it = m_fieldIndex.find(upper(name));
    return it == m_fieldIndex.end() ? -1 : it->second;
}

const ReportParam* ReportDocument::findParam(const std::string& name) const {
    std::string u = upper(name);
    for (const auto& p : m_in.params)
        if (upper(p.name) == u) return &p;
    return nullptr;
}

void ReportDocument::convertTypes() {
    using K = host::Variant::Kind;
    for (const auto& [name, kind] : m_def.fieldTypes) {
        int f = fieldIndex(name);
        if (f < 0) continue;  // reported by checkFields with its place
        host::FieldType target = kind == "integer" ? host::FieldType::Integer
                                 : kind == "float" ? host::FieldType::Float
                                 : kind == "date"  ? host::FieldType::Date
                                                   : host::FieldType::String;
        m_in.data.fields[f].type = target;
        for (std::size_t r = 0; r < m_in.data.rows.size(); ++r) {
            host::Variant& v = m_in.data.rows[r][f];
            if (v.isNullOrUnassigned()) continue;
            auto bad = [&]() {
                return host::EHostError(definitionError(
                    m_def.file, m_def.fieldTypesPointer + "/" + name,
                    "o valor '" + v.toString() + "' da linha " + std::to_string(r + 1) + " não é do tipo " + kind));
            };
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
                            if (used != t.size()) throw bad();
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
                            if (used != t.size()) throw bad();
                            v = host::Variant(d);
                        } else if (v.kind() != K::Float) {
                            v = host::Variant(v.toDouble());
                        }
                        break;
                    case host::FieldType::Date:
                        if (v.kind() == K::Text) {
                            host::TDateTime d = 0;
                            if (!host::TryIsoToDate(v.toString().substr(0, 10), d)) throw bad();
                            v = host::Variant::date(d);
                        } else if (v.kind() != K::Date) {
                            v = host::Variant::date(v.toDouble());
                        }
                        break;
                }
            } catch (const host::EHostError&) {
                throw;
            } catch (const std::exception&) {
                throw bad();
            }
        }
    }
}

void ReportDocument::addComputed() {
    for (const auto& c : m_def.computed) {
        if (fieldIndex(c.name) >= 0)
            throw host::EHostError(definitionError(m_def.file, c.pointer + "/name",
                                                   "o campo calculado '" + c.name + "' já existe nos dados"));
        // The names of the expression must be data fields (or earlier computed
        // fields) or parameters.
        for (const auto& n : c.expression->names())
            if (n.rfind("P_", 0) != 0 && fieldIndex(n) < 0)
                throw host::EHostError(definitionError(m_def.file, c.pointer + "/expression",
                                                       "o campo '" + n + "' não existe nos dados do relatório"));
        int index = int(m_in.data.fields.size());
        m_in.data.fields.push_back({c.name, host::FieldType::Float, 0, false});
        m_fieldIndex.emplace(c.name, index);
        for (std::size_t r = 0; r < m_in.data.rows.size(); ++r) {
            auto& row = m_in.data.rows[r];
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
            auto result = c.expression->evaluate(resolve);
            row.push_back(result ? host::Variant(*result) : host::Variant::null());
        }
    }
}

void ReportDocument::checkFields() {
    for (const auto& ref : m_def.fieldRefs) {
        if (fieldIndex(ref.name) >= 0) continue;
        if (m_in.lookups.count(ref.name)) continue;
        std::string known;
        for (const auto& f : m_in.data.fields) known += (known.empty() ? "" : ", ") + f.name;
        throw host::EHostError(definitionError(
            m_def.file, ref.pointer,
            "o campo '" + ref.name +
                "' não existe nos dados do relatório (campos: " + (known.empty() ? "nenhum" : known) + ")"));
    }
    // Fields used by position must be data fields, not lookups.
    auto needData = [&](const std::string& name, const std::string& ptr) {
        if (fieldIndex(name) < 0)
            throw host::EHostError(
                definitionError(m_def.file, ptr, "o campo '" + name + "' não existe nos dados do relatório"));
    };
    for (const auto& c : m_def.columns) needData(c.field, c.pointer + "/field");
    for (const auto& g : m_def.groups)
        for (const auto& f : g.fields) needData(f, g.pointer + "/field");
}

void ReportDocument::chooseColumns() {
    int x = 0;
    for (const auto& c : m_def.columns) {
        if (!holds(c.when, kNoRow)) continue;
        m_cols.push_back(&c);
        m_colField.push_back(fieldIndex(c.field));
        m_colX.push_back(x);
        x += c.width + 1;
    }
    m_detailShown = holds(m_def.detail.when, kNoRow) && !m_cols.empty();
    for (const auto& g : m_def.groups)
        for (const auto& dc : g.dataColumns) m_dataColumns.push_back({dc.caption, fieldIndex(dc.field), {}});
    for (std::size_t i = 0; i < m_cols.size(); ++i)
        m_dataColumns.push_back({m_cols[i]->caption, m_colField[i], m_cols[i]->format});
}

std::string ReportDocument::conditionText(const host::Variant& v) const {
    using K = host::Variant::Kind;
    switch (v.kind()) {
        case K::Unassigned:
        case K::Null: return {};
        case K::Integer: return std::to_string(v.toInt());
        case K::Date: return host::DateToIso(v.toDate());
        default: return v.toString();
    }
}

bool ReportDocument::holds(const Condition& c, std::size_t row) const {
    switch (c.kind) {
        case Condition::Kind::Always: return true;
        case Condition::Kind::ParamEquals: {
            const ReportParam* p = findParam(c.name);
            std::string t = p ? conditionText(p->value) : std::string();
            return std::find(c.values.begin(), c.values.end(), t) != c.values.end();
        }
        case Condition::Kind::FieldEquals:
        case Condition::Kind::FieldNotNull: {
            if (row == kNoRow) return false;
            int f = fieldIndex(c.name);
            if (f < 0) return false;
            const host::Variant& v = m_in.data.rows[row][f];
            if (c.kind == Condition::Kind::FieldNotNull)
                return !v.isNullOrUnassigned() && !(v.kind() == host::Variant::Kind::Text && v.toString().empty());
            std::string t = conditionText(v);
            return std::find(c.values.begin(), c.values.end(), t) != c.values.end();
        }
        case Condition::Kind::All:
            return std::all_of(c.children.begin(), c.children.end(), [&](const Condition& k) { return holds(k, row); });
        case Condition::Kind::Any:
            return std::any_of(c.children.begin(), c.children.end(), [&](const Condition& k) { return holds(k, row); });
        case Condition::Kind::Not: return !holds(c.children.front(), row);
    }
    return true;
}

std::string ReportDocument::paramText(const ReportParam& p, bool forDisplay, const std::string& format) const {
    if (p.value.isNullOrUnassigned()) return {};
    std::string raw = conditionText(p.value);
    if (forDisplay) {
        if (const ParameterDef* d = m_def.findParameter(p.name)) {
            auto it = d->display.find(raw);
            if (it != d->display.end()) return it->second;
            if (format.empty() && !d->format.empty()) return formatValue(p.value, d->format);
        }
        if (p.value.kind() == host::Variant::Kind::Date || !format.empty()) return formatValue(p.value, format);
    }
    return raw;
}

std::string ReportDocument::expand(const std::string& templ, std::size_t row) const {
    std::string out;
    out.reserve(templ.size() + 16);
    for (std::size_t i = 0; i < templ.size(); ++i) {
        char c = templ[i];
        if ((c == '{' || c == '}') && i + 1 < templ.size() && templ[i + 1] == c) {
            out += c;
            ++i;
            continue;
        }
        if (c != '{') {
            out += c;
            continue;
        }
        auto end = templ.find('}', i);  // syntax was checked when the definition was read
        std::string inside = templ.substr(i + 1, end - i - 1);
        auto bar = inside.find('|');
        std::string name = upper(inside.substr(0, bar));
        std::string format = bar == std::string::npos ? std::string() : inside.substr(bar + 1);
        i = end;
        if (name.rfind("P_", 0) == 0) {
            if (const ReportParam* p = findParam(name)) out += paramText(*p, true, format);
            continue;
        }
        int f = fieldIndex(name);
        if (f >= 0 && row != kNoRow) {
            out += formatValue(m_in.data.rows[row][f], format);
            continue;
        }
        auto l = m_in.lookups.find(name);
        if (l != m_in.lookups.end()) out += formatValue(l->second, format);
    }
    return out;
}

void ReportDocument::buildFilters() {
    std::string line;
    std::vector<std::string> items;
    for (const auto& pd : m_def.parameters) {
        if (pd.label.empty()) continue;
        const ReportParam* p = findParam(pd.name);
        if (!p || !holds(pd.showWhen, kNoRow)) continue;
        std::string value = paramText(*p, true, pd.format);
        if (value.empty()) continue;
        items.push_back(pd.label + ": " + value);
    }
    const std::size_t width = std::size_t(pageWidth());
    for (const auto& item : items) {
        std::string it = internal::cutText(item, width, true);
        if (!line.empty() && internal::textWidth(line) + 3 + internal::textWidth(it) > width) {
            m_filterLines.push_back(line);
            line.clear();
        }
        line += (line.empty() ? "" : "   ") + it;
    }
    if (!line.empty()) m_filterLines.push_back(line);
    if (m_filterLines.size() > kMaxFilterLines) {
        m_filterLines.resize(kMaxFilterLines);
        m_filterLines.back() = internal::cutText(m_filterLines.back() + " …", width, true);
    }
}

const ImageData* ReportDocument::loadImage(const host::Variant& v) {
    std::string src = v.toString();
    auto img = std::make_unique<ImageData>();
    if (src.rfind("data:", 0) == 0) {
        img->source = "dados embutidos";
        auto comma = src.find(";base64,");
        if (comma != std::string::npos) img->bytes = internal::decodeBase64(src.substr(comma + 8));
    } else {
        std::filesystem::path path(src);
        if (path.is_relative() && !m_in.imageFolder.empty()) path = std::filesystem::path(m_in.imageFolder) / path;
        img->source = src;
        std::ifstream in(path, std::ios::binary);
        if (in) {
            std::ostringstream s;
            s << in.rdbuf();
            img->bytes = s.str();
        }
    }
    m_images.push_back(std::move(img));
    return m_images.back().get();
}

void ReportDocument::emitTotals(const std::string& caption, const std::vector<TotalDef>& totals, const Accumulator& acc,
                                int level) {
    TotalsEntry entry;
    entry.caption = caption;
    for (const auto& t : totals) {
        int field = t.field.empty() ? -1 : fieldIndex(t.field);
        host::Variant v = acc.value(t.function, field);
        if (t.function == TotalFunction::Count && v.kind() == host::Variant::Kind::Float)
            v = host::Variant(static_cast<std::int64_t>(std::llround(v.toDouble())));
        // Under the column that shows the field, else after the caption.
        int col = -1;
        for (std::size_t i = 0; i < m_cols.size() && field >= 0 && m_detailShown; ++i)
            if (m_colField[i] == field) {
                col = int(i);
                break;
            }
        // A second figure for the same column goes beside the caption.
        for (const auto& placed : entry.cells)
            if (placed.column == col) col = -1;
        std::string format = t.format;
        if (format.empty() && col >= 0 && t.function != TotalFunction::Count) format = m_cols[col]->format;
        Cell cell;
        cell.value = v;
        cell.format = format;
        cell.text = formatValue(v, format);
        if (col >= 0) {
            cell.x = m_colX[col];
            cell.width = m_cols[col]->width;
            cell.align = m_cols[col]->align == Align::Left ? Align::Right : m_cols[col]->align;
            cell.column = col;
            entry.cells.push_back(cell);
        } else {
            std::string item = t.caption.empty() ? cell.text : t.caption + " " + cell.text;
            entry.caption += (entry.caption.empty() ? "" : "   ") + item;
        }
    }
    m_totals.push_back(std::move(entry));
    m_bands.push_back({BandKind::Totals, std::uint8_t(level), 1, false, false, std::uint32_t(m_totals.size() - 1)});
}

void ReportDocument::emitSection(const std::vector<SectionItem>& items, int level, std::size_t row,
                                 const std::vector<Accumulator>* accs, bool header) {
    const std::size_t indent = std::size_t(level) * 2;
    const std::size_t width = std::size_t(pageWidth()) - indent;
    for (const auto& item : items) {
        if (!holds(item.when, row)) continue;
        switch (item.kind) {
            case SectionItem::Kind::Text:
                m_texts.push_back({expand(item.text, row), item.bold});
                m_bands.push_back(
                    {BandKind::Text, std::uint8_t(level), 1, header, false, std::uint32_t(m_texts.size() - 1)});
                break;
            case SectionItem::Kind::Memo: {
                const host::Variant& v = m_in.data.rows[row][fieldIndex(item.field)];
                std::string body = v.toString();
                if (body.find_first_not_of(" \t\r\n") == std::string::npos) break;
                if (!item.caption.empty()) {
                    m_texts.push_back({item.caption, true});
                    m_bands.push_back({BandKind::MemoCaption, std::uint8_t(level), 1, true, false,
                                       std::uint32_t(m_texts.size() - 1)});
                }
                for (auto& l : internal::wrapText(body, width)) {
                    m_texts.push_back({std::move(l), false});
                    m_bands.push_back(
                        {BandKind::Memo, std::uint8_t(level), 1, false, false, std::uint32_t(m_texts.size() - 1)});
                }
                break;
            }
            case SectionItem::Kind::Image: {
                const host::Variant& v = m_in.data.rows[row][fieldIndex(item.field)];
                if (v.isNullOrUnassigned() || v.toString().empty()) break;
                loadImage(v);
                m_bands.push_back({BandKind::Image, std::uint8_t(level), std::uint16_t(item.lines), header, false,
                                   std::uint32_t(m_images.size() - 1)});
                break;
            }
            case SectionItem::Kind::Totals:
                if (accs) emitTotals(expand(item.caption, row), item.totals, (*accs)[level], level);
                break;
        }
    }
}

void ReportDocument::buildFlow() {
    const auto& rows = m_in.data.rows;
    const std::size_t levels = m_def.groups.size();
    std::vector<std::vector<int>> groupFields(levels);
    for (std::size_t g = 0; g < levels; ++g)
        for (const auto& f : m_def.groups[g].fields) groupFields[g].push_back(fieldIndex(f));

    // Fields that any total sums, so that rows only update what is shown.
    std::set<int> totalFieldSet;
    auto collect = [&](const std::vector<TotalDef>& ts) {
        for (const auto& t : ts)
            if (!t.field.empty()) totalFieldSet.insert(fieldIndex(t.field));
    };
    collect(m_def.totals);
    for (const auto& g : m_def.groups)
        for (const auto& it : g.footer)
            if (it.kind == SectionItem::Kind::Totals) collect(it.totals);
    for (const auto& g : m_def.groups)
        for (const auto& it : g.header)
            if (it.kind == SectionItem::Kind::Totals) collect(it.totals);
    std::vector<int> totalFields(totalFieldSet.begin(), totalFieldSet.end());

    std::vector<Accumulator> accs(levels);
    Accumulator grand;
    grand.reset(m_in.data.fields.size());
    for (auto& a : accs) a.reset(m_in.data.fields.size());

    if (rows.empty()) {
        m_texts.push_back({m_def.emptyText, false});
        m_bands.push_back({BandKind::Empty, 0, 1, false, false, std::uint32_t(m_texts.size() - 1)});
    }
    m_bands.reserve(rows.size() + 16);
    m_detailRows.reserve(rows.size());
    auto sameGroup = [&](std::size_t g, std::size_t a, std::size_t b) {
        for (int f : groupFields[g])
            if (!(rows[a][f] == rows[b][f])) return false;
        return true;
    };
    for (std::size_t r = 0; r < rows.size(); ++r) {
        // The first level whose key changed: every deeper group closes and opens.
        std::size_t changed = levels;
        if (r == 0) {
            changed = 0;
        } else {
            for (std::size_t g = 0; g < levels; ++g)
                if (!sameGroup(g, r - 1, r)) {
                    changed = g;
                    break;
                }
        }
        if (r > 0)
            for (std::size_t g = levels; g-- > changed;)
                emitSection(m_def.groups[g].footer, int(g), r - 1, &accs, false);
        for (std::size_t g = changed; g < levels; ++g) {
            accs[g].reset(m_in.data.fields.size());
            std::size_t before = m_bands.size();
            emitSection(m_def.groups[g].header, int(g), r, &accs, true);
            if (m_def.groups[g].newPage && r > 0 && before < m_bands.size()) m_bands[before].newPage = true;
        }
        if (!holds(m_def.detail.printIf, r)) continue;
        for (auto& a : accs) a.add(m_in.data, r, totalFields);
        grand.add(m_in.data, r, totalFields);
        m_detailRows.push_back(r);
        if (m_detailShown)
            m_bands.push_back({BandKind::Detail, std::uint8_t(levels), 1, false, false, std::uint32_t(r)});
    }
    if (!rows.empty())
        for (std::size_t g = levels; g-- > 0;)
            emitSection(m_def.groups[g].footer, int(g), rows.size() - 1, &accs, false);
    if (!m_def.totals.empty()) emitTotals(m_def.totalsCaption, m_def.totals, grand, 0);
}

int ReportDocument::headerLines(std::size_t page) const {
    int n = kTitleLines + (m_subtitle.empty() ? 0 : 1) + 1 /*blank*/;
    if (page == 0) n += int(m_filterLines.size());
    if (m_detailShown) n += 2;  // captions and the rule under them
    return n;
}

void ReportDocument::paginate() {
    const std::size_t n = m_bands.size();
    std::size_t i = 0;
    while (i < n || m_pages.empty()) {
        std::size_t page = m_pages.size();
        int capacity = std::max(4, linesPerPage() - headerLines(page) - kFooterLines);
        int used = 0;
        std::size_t first = i;
        while (i < n) {
            const Band& b = m_bands[i];
            if (b.newPage && i > first) break;
            // A run of bands kept with their next one moves as a whole when it
            // fits on an empty page.
            bool runStart = i == first || !m_bands[i - 1].keepWithNext;
            if (runStart && b.keepWithNext) {
                int run = 0;
                std::size_t j = i;
                while (j < n) {
                    run += m_bands[j].lines;
                    if (!m_bands[j].keepWithNext) break;
                    ++j;
                }
                if (used + run > capacity && i > first && run <= capacity) break;
            }
            if (used + b.lines > capacity && i > first) break;
            used += b.lines;
            ++i;
        }
        m_pages.push_back({first, i});
    }
}

std::string ReportDocument::printedAtText() const {
    return "Impresso em " + formatDate(m_in.printedAt, "dd/mm/yyyy") + " às " + formatDate(m_in.printedAt, "hh:nn");
}

Line ReportDocument::columnHeaderLine() const {
    Line l;
    l.style = LineStyle::ColumnHeader;
    l.height = 2;
    l.bold = true;
    for (std::size_t i = 0; i < m_cols.size(); ++i) {
        Cell c;
        c.text = m_cols[i]->caption;
        c.value = host::Variant(c.text);
        c.x = m_colX[i];
        c.width = m_cols[i]->width;
        c.align = m_cols[i]->align;
        c.column = int(i);
        l.cells.push_back(std::move(c));
    }
    return l;
}

Line ReportDocument::bandLine(std::size_t index) const {
    const Band& b = m_bands[index];
    Line l;
    l.level = b.level;
    l.height = b.lines;
    const int indent = int(b.level) * 2;
    auto freeText = [&](const std::string& t) {
        Cell c;
        c.text = t;
        c.value = host::Variant(t);
        c.x = indent;
        c.width = pageWidth() - indent;
        l.cells.push_back(std::move(c));
    };
    switch (b.kind) {
        case BandKind::Text:
            l.style = LineStyle::GroupText;
            l.bold = m_texts[b.ref].bold;
            freeText(m_texts[b.ref].text);
            break;
        case BandKind::MemoCaption:
            l.style = LineStyle::MemoCaption;
            l.bold = true;
            freeText(m_texts[b.ref].text);
            break;
        case BandKind::Memo:
            l.style = LineStyle::Memo;
            freeText(m_texts[b.ref].text);
            break;
        case BandKind::Empty:
            l.style = LineStyle::Empty;
            l.level = 0;
            freeText(m_texts[b.ref].text);
            break;
        case BandKind::Image:
            l.style = LineStyle::Image;
            l.image = m_images[b.ref].get();
            l.cells.push_back({});
            l.cells.back().x = indent;
            l.cells.back().width = pageWidth() - indent;
            l.cells.back().text = l.image->bytes.empty() ? "(foto indisponível: " + l.image->source + ")" : "[foto]";
            break;
        case BandKind::Totals: {
            l.style = LineStyle::Totals;
            l.bold = true;
            const TotalsEntry& t = m_totals[b.ref];
            int firstX = pageWidth();
            for (const auto& c : t.cells) firstX = std::min(firstX, c.x);
            if (!t.caption.empty()) {
                Cell c;
                c.text = t.caption;
                c.value = host::Variant(t.caption);
                c.x = indent;
                c.width = std::max(1, firstX - indent - 1);
                if (t.cells.empty()) c.width = pageWidth() - indent;
                l.cells.push_back(std::move(c));
            }
            for (const auto& c : t.cells) l.cells.push_back(c);
            break;
        }
        case BandKind::Detail: {
            l.style = LineStyle::Detail;
            const auto& row = m_in.data.rows[b.ref];
            l.cells.reserve(m_cols.size());
            for (std::size_t i = 0; i < m_cols.size(); ++i) {
                Cell c;
                c.value = row[m_colField[i]];
                c.format = m_cols[i]->format;
                c.text = formatValue(c.value, c.format);
                c.x = m_colX[i];
                c.width = m_cols[i]->width;
                c.align = m_cols[i]->align;
                c.column = int(i);
                l.cells.push_back(std::move(c));
            }
            break;
        }
    }
    return l;
}

std::vector<Line> ReportDocument::pageLines(std::size_t page) const {
    std::vector<Line> lines;
    const Page& p = m_pages[page];
    lines.reserve(p.last - p.first + 12);
    auto textLine = [&](LineStyle style, const std::string& t, int height, bool bold) {
        Line l;
        l.style = style;
        l.height = height;
        l.bold = bold;
        Cell c;
        c.text = t;
        c.value = host::Variant(t);
        c.width = pageWidth();
        l.cells.push_back(std::move(c));
        lines.push_back(std::move(l));
    };
    // Header: title with the report's identification at the right.
    textLine(LineStyle::Title, m_def.title, kTitleLines, true);
    lines.back().right = m_in.reportId;
    if (!m_subtitle.empty()) textLine(LineStyle::Subtitle, m_subtitle, 1, false);
    if (page == 0)
        for (const auto& f : m_filterLines) textLine(LineStyle::Filter, f, 1, false);
    textLine(LineStyle::Blank, "", 1, false);
    if (m_detailShown) lines.push_back(columnHeaderLine());
    for (std::size_t b = p.first; b < p.last; ++b) lines.push_back(bandLine(b));
    // Footer, at the bottom of the page.
    Line f;
    f.style = LineStyle::PageFooter;
    f.height = kFooterLines;
    Cell c;
    c.text = printedAtText();
    c.width = pageWidth() / 2;
    f.cells.push_back(std::move(c));
    f.right = "Página " + std::to_string(page + 1) + " de " + std::to_string(m_pages.size());
    lines.push_back(std::move(f));
    return lines;
}

std::vector<std::size_t> ReportDocument::detailRows() const { return m_detailRows; }

}  // namespace pla013::reports
