#include "platform/reports/internal/PageFrame.h"

#include <algorithm>

#include "platform/reports/internal/ValueFormat.h"

namespace pla013::reports::internal {

namespace {

constexpr int kTitleLines = 2;
constexpr int kFooterLines = 2;
constexpr std::size_t kMaxFilterLines = 8;

}  // namespace

PageFrame::PageFrame(const ReportDefinition& def, const Evaluator& eval, const ColumnLayout& columns, Texts texts)
    : m_columns(columns),
      m_texts(std::move(texts)),
      m_landscape(def.orientation == Orientation::Landscape),
      m_pageWidth(def.pageWidth()) {
    buildFilters(def, eval);
}

// "label: value" of every labelled parameter shown, in the order declared.
std::vector<std::string> PageFrame::filterItems(const ReportDefinition& def, const Evaluator& eval) const {
    std::vector<std::string> items;
    const ReportData& data = eval.data();
    for (const auto& pd : def.parameters) {
        if (pd.label.empty()) continue;
        const ReportParam* p = data.findParam(pd.name);
        if (!p || !eval.holds(pd.showWhen, nullptr)) continue;
        std::string value = eval.paramText(*p, true, pd.format);
        if (value.empty()) continue;
        items.push_back(pd.label + ": " + value);
    }
    return items;
}

// The filters fill lines three blanks apart, at most kMaxFilterLines of them.
void PageFrame::buildFilters(const ReportDefinition& def, const Evaluator& eval) {
    std::string line;
    const std::size_t width = std::size_t(m_pageWidth);
    for (const auto& item : filterItems(def, eval)) {
        std::string it = cutText(item, width, true);
        if (!line.empty() && textWidth(line) + 3 + textWidth(it) > width) {
            m_filterLines.push_back(line);
            line.clear();
        }
        line += (line.empty() ? "" : "   ") + it;
    }
    if (!line.empty()) m_filterLines.push_back(line);
    if (m_filterLines.size() > kMaxFilterLines) {
        m_filterLines.resize(kMaxFilterLines);
        m_filterLines.back() = cutText(m_filterLines.back() + " …", width, true);
    }
}

int PageFrame::headerLines(std::size_t page) const {
    int n = kTitleLines + (m_texts.subtitle.empty() ? 0 : 1) + 1 /*blank*/;
    if (page == 0) n += int(m_filterLines.size());
    if (m_columns.detailShown()) n += m_columns.headerHeight();
    return n;
}

int PageFrame::bodyLines(std::size_t page) const {
    return std::max(4, linesPerPage() - headerLines(page) - kFooterLines);
}

std::string PageFrame::printedAtText() const {
    return "Impresso em " + formatDate(m_texts.printedAt, "dd/mm/yyyy") + " às " +
           formatDate(m_texts.printedAt, "hh:nn");
}

void PageFrame::appendHeader(std::size_t page, std::vector<Line>& lines) const {
    auto textLine = [&](LineStyle style, const std::string& t, int height, bool bold) {
        Line l;
        l.style = style;
        l.height = height;
        l.bold = bold;
        Cell c;
        c.text = t;
        c.value = host::Variant(t);
        c.width = m_pageWidth;
        l.cells.push_back(std::move(c));
        lines.push_back(std::move(l));
    };
    textLine(LineStyle::Title, m_texts.title, kTitleLines, true);
    lines.back().right = m_texts.reportId;
    if (!m_texts.subtitle.empty()) textLine(LineStyle::Subtitle, m_texts.subtitle, 1, false);
    if (page == 0)
        for (const auto& f : m_filterLines) textLine(LineStyle::Filter, f, 1, false);
    textLine(LineStyle::Blank, "", 1, false);
    if (m_columns.detailShown()) lines.push_back(m_columns.headerLine());
}

Line PageFrame::footer(std::size_t page, std::size_t pageCount) const {
    Line f;
    f.style = LineStyle::PageFooter;
    f.height = kFooterLines;
    Cell c;
    c.text = printedAtText();
    c.width = m_pageWidth / 2;
    f.cells.push_back(std::move(c));
    f.right = "Página " + std::to_string(page + 1) + " de " + std::to_string(pageCount);
    return f;
}

}  // namespace pla013::reports::internal
