#pragma once

#include <vector>

#include "platform/reports/Line.h"
#include "platform/reports/ReportDefinition.h"
#include "platform/reports/internal/Evaluator.h"
#include "platform/reports/internal/ReportData.h"

namespace pla013::reports::internal {

// The columns of a run: those whose condition holds, placed left to right
// with one blank between them (a gutter between spanning headings), the
// line's spare width shared among the columns that grow, and whether detail
// lines print at all.
class ColumnLayout {
public:
    ColumnLayout(const ReportDefinition& def, const ReportData& data, const Evaluator& eval);

    std::size_t count() const { return m_cols.size(); }
    const ColumnDef& column(std::size_t i) const { return *m_cols[i]; }
    // The column's caption with its placeholders filled.
    const std::string& caption(std::size_t i) const { return m_captions[i]; }
    int field(std::size_t i) const { return m_fields[i]; }  // data column shown
    int x(std::size_t i) const { return m_x[i]; }
    // The column's width: its own and its share of the line's spare width.
    int width(std::size_t i) const { return m_widths[i]; }
    // Where the gutters between spanning headings are drawn.
    const std::vector<int>& gutters() const { return m_gutters; }
    // Detail lines (and the column headers) print only when the detail's
    // condition holds and some column is active.
    bool detailShown() const { return m_detailShown; }
    // The active column that shows a data field; -1 when none does or the
    // detail does not print.
    int columnOf(int field) const;

    Line headerLine() const;
    // Lines the column headers take: the captions, the spanning headings
    // when there are some, and the rule under them.
    int headerHeight() const { return m_spans.empty() ? 2 : 3; }
    void detailCells(const ReportData::Row& row, std::vector<Cell>& cells) const;

private:
    void place(int pageWidth);

    const Evaluator* m_eval;
    std::vector<const ColumnDef*> m_cols;
    std::vector<std::string> m_captions;
    std::vector<int> m_fields;
    std::vector<int> m_indentFields;  // -1: no indentation
    std::vector<int> m_x;
    std::vector<int> m_widths;
    std::vector<int> m_gutters;
    std::vector<Cell> m_spans;
    bool m_detailShown = true;
};

}  // namespace pla013::reports::internal
