#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "host/Variant.h"
#include "platform/reports/Line.h"
#include "platform/reports/ReportDefinition.h"
#include "platform/reports/internal/ColumnLayout.h"
#include "platform/reports/internal/Evaluator.h"

namespace pla013::reports::internal {

// What every page prints around its bands: the header (title with the
// report's identification, subtitle, the filters on the first page, the
// column headers) and the footer (printed-at, "Página X de Y"), and so the
// lines left for bands on each page.
class PageFrame {
public:
    struct Texts {
        std::string title;
        std::string reportId;  // "PLA01301", at the right of the title
        std::string subtitle;  // expanded
        host::TDateTime printedAt = 0;
    };

    PageFrame(const ReportDefinition& def, const Evaluator& eval, const ColumnLayout& columns, Texts texts);

    int linesPerPage() const { return m_landscape ? 48 : 70; }
    int headerLines(std::size_t page) const;
    // At least 4, however many filter lines the first page has.
    int bodyLines(std::size_t page) const;

    const std::string& subtitle() const { return m_texts.subtitle; }
    const std::vector<std::string>& filterLines() const { return m_filterLines; }
    std::string printedAtText() const;

    void appendHeader(std::size_t page, std::vector<Line>& lines) const;
    Line footer(std::size_t page, std::size_t pageCount) const;

private:
    void buildFilters(const ReportDefinition& def, const Evaluator& eval);
    std::vector<std::string> filterItems(const ReportDefinition& def, const Evaluator& eval) const;

    const ColumnLayout& m_columns;
    Texts m_texts;
    bool m_landscape;
    int m_pageWidth;
    std::vector<std::string> m_filterLines;
};

}  // namespace pla013::reports::internal
