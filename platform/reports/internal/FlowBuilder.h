#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "platform/reports/ReportDefinition.h"
#include "platform/reports/internal/BandFlow.h"
#include "platform/reports/internal/ColumnLayout.h"
#include "platform/reports/internal/Evaluator.h"
#include "platform/reports/internal/ImageLoader.h"
#include "platform/reports/internal/ReportData.h"
#include "platform/reports/internal/RunningTotals.h"

namespace pla013::reports::internal {

// Lays out the body of a report row by row: group footers and headers where
// a group changes, detail lines, and totals from the groups' running totals.
// Rows are given in order, each once, then finish() closes the flow. What it
// keeps between rows is the previous row (which must stay valid until the
// next one is added) and one RunningTotals per scope. It marks each group's
// heading and end, so that pages repeat the headings of the groups they
// continue, and the bands of groups kept on one page. A flow without content
// gets the bands alone: no texts, totals or images are made for it.
class FlowBuilder {
public:
    struct Context {
        const ReportDefinition& def;
        const ReportData& data;
        const Evaluator& eval;
        const ColumnLayout& columns;
        const ImageLoader& images;
        int pageWidth;
    };

    FlowBuilder(const Context& context, BandFlow& flow);

    void addRow(const ReportData::Row& row);
    void finish();
    // Rows of the detail lines as they are added (rows excluded by printIf are not).
    std::function<void(const ReportData::Row&)> onDetail;

private:
    std::size_t changedLevel(const ReportData::Row& row) const;
    bool sameGroup(std::size_t level, const ReportData::Row& a, const ReportData::Row& b) const;
    void closeGroups(std::size_t fromLevel, const ReportData::Row& lastRow);
    void openGroups(std::size_t fromLevel, const ReportData::Row& firstRow);
    void collectTotalFields();
    void emitSection(const std::vector<SectionItem>& items, int level, const ReportData::Row& row, bool header);
    void emitMemo(const SectionItem& item, int indent, const ReportData::Row& row);
    void emitTotals(const std::string& caption, const std::vector<TotalDef>& totals, const RunningTotals& acc,
                    int level, const ReportData::Row* row);
    Cell totalCell(const TotalDef& total, const RunningTotals& acc, const std::vector<Cell>& placed, int& column) const;

    Context m_ctx;
    BandFlow& m_flow;
    std::size_t m_levels;
    std::vector<std::vector<int>> m_groupFields;  // data columns of each level's key
    std::vector<int> m_totalFields;               // data columns that any total reads
    std::vector<RunningTotals> m_groupTotals;     // by level
    RunningTotals m_grandTotals;
    const ReportData::Row* m_previous = nullptr;
    std::size_t m_togetherLevel;  // the open group kept on one page; m_levels when none
    std::vector<int> m_indent;    // by level: how many levels of indentation its texts take
    int m_headingCell = -1;       // the cell of a heading detail line that takes "(continuação)"
};

}  // namespace pla013::reports::internal
