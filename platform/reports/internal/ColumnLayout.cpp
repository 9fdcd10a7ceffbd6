#include "platform/reports/internal/ColumnLayout.h"

#include <algorithm>

#include "platform/reports/internal/ValueFormat.h"

namespace pla013::reports::internal {

ColumnLayout::ColumnLayout(const ReportDefinition& def, const ReportData& data, const Evaluator& eval) : m_eval(&eval) {
    int x = 0;
    for (const auto& c : def.columns) {
        if (!eval.holds(c.when, nullptr)) continue;
        m_cols.push_back(&c);
        m_captions.push_back(eval.expand(c.caption, nullptr));
        m_fields.push_back(data.fieldIndex(c.field));
        m_indentFields.push_back(c.indent.empty() ? -1 : data.fieldIndex(c.indent));
        m_x.push_back(x);
        x += c.width + 1;
    }
    m_detailShown = eval.holds(def.detail.when, nullptr) && !m_cols.empty();
}

int ColumnLayout::columnOf(int field) const {
    for (std::size_t i = 0; i < m_cols.size() && field >= 0 && m_detailShown; ++i)
        if (m_fields[i] == field) return int(i);
    return -1;
}

Line ColumnLayout::headerLine() const {
    Line l;
    l.style = LineStyle::ColumnHeader;
    l.height = 2;
    l.bold = true;
    for (std::size_t i = 0; i < m_cols.size(); ++i) {
        Cell c;
        c.text = m_captions[i];
        c.value = host::Variant(c.text);
        c.x = m_x[i];
        c.width = m_cols[i]->width;
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
        if (!m_cols[i]->markerText.empty() && m_eval->holds(m_cols[i]->markerWhen, &row))
            c.text = m_cols[i]->markerText;
        if (m_indentFields[i] >= 0) {
            const host::Variant& by = row[m_indentFields[i]];
            double n = by.isNullOrUnassigned() ? 0 : by.toDouble();
            if (n > 0) c.text.insert(0, std::size_t(std::min(n, 50.0)) * 2, ' ');
        }
        c.x = m_x[i];
        c.width = m_cols[i]->width;
        c.align = m_cols[i]->align;
        c.column = int(i);
        cells.push_back(std::move(c));
    }
}

}  // namespace pla013::reports::internal
