#include "platform/reports/internal/ColumnLayout.h"

#include <algorithm>

#include "platform/reports/internal/DefinitionRules.h"
#include "platform/reports/internal/ValueFormat.h"

namespace pla013::reports::internal {

ColumnLayout::ColumnLayout(const ReportDefinition& def, const ReportData& data, const Evaluator& eval) : m_eval(&eval) {
    for (const auto& c : def.columns) {
        if (!eval.holds(c.when, nullptr)) continue;
        m_cols.push_back(&c);
        m_captions.push_back(eval.expand(c.caption, nullptr));
        m_fields.push_back(data.fieldIndex(c.field));
        m_indentFields.push_back(c.indent.empty() ? -1 : data.fieldIndex(c.indent));
        m_widths.push_back(c.width);
    }
    m_detailShown = eval.holds(def.detail.when, nullptr) && !m_cols.empty();
    place(def.pageWidth());
}

// Shares the spare width by the columns' grow, then places the columns and
// the spanning headings.
void ColumnLayout::place(int pageWidth) {
    int used = 0, grow = 0;
    for (std::size_t i = 0; i < m_cols.size(); ++i) {
        used += m_widths[i] + (i ? columnGap(*m_cols[i - 1], *m_cols[i]) : 0);
        grow += m_cols[i]->grow;
    }
    const int spare = std::max(0, pageWidth - used);
    int given = 0, last = -1;
    for (std::size_t i = 0; i < m_cols.size() && grow > 0; ++i) {
        if (m_cols[i]->grow == 0) continue;
        const int share = spare * m_cols[i]->grow / grow;
        m_widths[i] += share;
        given += share;
        last = int(i);
    }
    if (last >= 0) m_widths[std::size_t(last)] += spare - given;
    int x = 0;
    for (std::size_t i = 0; i < m_cols.size(); ++i) {
        if (i) {
            const int gap = columnGap(*m_cols[i - 1], *m_cols[i]);
            if (gutterBetween(*m_cols[i - 1], *m_cols[i])) m_gutters.push_back(x + gap / 2 - 1);
            x += gap - 1;
        }
        m_x.push_back(x);
        x += m_widths[i] + 1;
        const std::string& span = m_cols[i]->span;
        if (span.empty()) continue;
        if (i && m_cols[i - 1]->span == span) {
            m_spans.back().width = m_x[i] + m_widths[i] - m_spans.back().x;
            continue;
        }
        Cell c;
        c.text = m_eval->expand(span, nullptr);
        c.value = host::Variant(c.text);
        c.x = m_x[i];
        c.width = m_widths[i];
        c.align = Align::Center;
        m_spans.push_back(std::move(c));
    }
}

int ColumnLayout::columnOf(int field) const {
    for (std::size_t i = 0; i < m_cols.size() && field >= 0 && m_detailShown; ++i)
        if (m_fields[i] == field) return int(i);
    return -1;
}

Line ColumnLayout::headerLine() const {
    Line l;
    l.style = LineStyle::ColumnHeader;
    l.height = headerHeight();
    l.bold = true;
    l.spans = m_spans;
    l.gutters = m_gutters;
    for (std::size_t i = 0; i < m_cols.size(); ++i) {
        Cell c;
        c.text = m_captions[i];
        c.value = host::Variant(c.text);
        c.x = m_x[i];
        c.width = m_widths[i];
        c.align = m_cols[i]->align;
        c.column = int(i);
        l.cells.push_back(std::move(c));
    }
    return l;
}

void ColumnLayout::detailCells(const ReportData::Row& row, std::vector<Cell>& cells) const {
    cells.reserve(m_cols.size());
    for (std::size_t i = 0; i < m_cols.size(); ++i) {
        Cell c;
        c.value = row[m_fields[i]];
        c.format = m_cols[i]->format;
        c.text = formatValue(c.value, c.format);
        for (const auto& m : m_cols[i]->markers)
            if (m_eval->holds(m.when, &row)) {
                c.text = m.text;
                break;
            }
        if (m_indentFields[i] >= 0) {
            const host::Variant& by = row[m_indentFields[i]];
            double n = by.isNullOrUnassigned() ? 0 : by.toDouble();
            if (n > 0) c.text.insert(0, std::size_t(std::min(n, 50.0)) * 2, ' ');
        }
        c.x = m_x[i];
        c.width = m_widths[i];
        c.align = m_cols[i]->align;
        c.column = int(i);
        cells.push_back(std::move(c));
    }
}

}  // namespace pla013::reports::internal
