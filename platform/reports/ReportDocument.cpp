#include "platform/reports/ReportDocument.h"

#include "platform/reports/internal/BandFlow.h"
#include "platform/reports/internal/ColumnLayout.h"
#include "platform/reports/internal/Evaluator.h"
#include "platform/reports/internal/FlowBuilder.h"
#include "platform/reports/internal/ImageLoader.h"
#include "platform/reports/internal/PageFrame.h"
#include "platform/reports/internal/Paginator.h"
#include "platform/reports/internal/ReportData.h"
#include "platform/reports/internal/ValueFormat.h"

namespace pla013::reports {

ReportDocument::ReportDocument(Input input) : m_def(*input.definition), m_reportId(std::move(input.reportId)) {
    m_data = std::make_unique<internal::ReportData>(std::move(input.data), std::move(input.params),
                                                    std::move(input.lookups));
    m_data->prepare(m_def);
    m_eval = std::make_unique<internal::Evaluator>(m_def, *m_data);
    m_columns = std::make_unique<internal::ColumnLayout>(m_def, *m_data, *m_eval);
    chooseDataColumns();
    internal::PageFrame::Texts texts{m_def.title, m_reportId, m_eval->expand(m_def.subtitle, nullptr), input.printedAt};
    m_frame = std::make_unique<internal::PageFrame>(m_def, *m_eval, *m_columns, std::move(texts));
    layOut(input.imageFolder);
}

ReportDocument::~ReportDocument() = default;

// The groups' data columns, then the active columns.
void ReportDocument::chooseDataColumns() {
    for (const auto& g : m_def.groups)
        for (const auto& dc : g.dataColumns) m_dataColumns.push_back({dc.caption, m_data->fieldIndex(dc.field), {}});
    for (std::size_t i = 0; i < m_columns->count(); ++i)
        m_dataColumns.push_back({m_columns->column(i).caption, m_columns->field(i), m_columns->column(i).format});
}

// Rows to bands, one row at a time, then bands to pages.
void ReportDocument::layOut(const std::string& imageFolder) {
    m_flow = std::make_unique<internal::BandFlow>(*m_data, *m_columns, pageWidth());
    internal::ImageLoader images(imageFolder);
    internal::FlowBuilder builder({m_def, *m_data, *m_eval, *m_columns, images, pageWidth()}, *m_flow);
    const std::size_t rows = m_data->rowCount();
    m_flow->reserve(rows + 16);
    for (std::size_t r = 0; r < rows; ++r) builder.addRow(r);
    builder.finish();
    m_detailRows = builder.detailRows();

    internal::Paginator paginator([this](std::size_t page) { return m_frame->bodyLines(page); });
    for (const auto& p : paginator.paginate(m_flow->bands())) m_pages.push_back({p.first, p.last});
}

const std::vector<ReportParam>& ReportDocument::params() const { return m_data->params(); }

int ReportDocument::linesPerPage() const { return m_frame->linesPerPage(); }

std::size_t ReportDocument::rowCount() const { return m_data->rowCount(); }

std::string ReportDocument::subtitleText() const { return m_frame->subtitle(); }

const std::vector<std::string>& ReportDocument::filterLines() const { return m_frame->filterLines(); }

std::string ReportDocument::printedAtText() const { return m_frame->printedAtText(); }

Line ReportDocument::columnHeaderLine() const { return m_columns->headerLine(); }

bool ReportDocument::showsColumnHeader() const { return m_columns->detailShown(); }

std::size_t ReportDocument::bandCount() const { return m_flow->size(); }

Line ReportDocument::bandLine(std::size_t band) const { return m_flow->line(band); }

const host::Variant& ReportDocument::value(std::size_t row, int field) const { return m_data->row(row)[field]; }

std::string ReportDocument::text(const host::Variant& v, const std::string& format) {
    return internal::formatValue(v, format);
}

std::vector<Line> ReportDocument::pageLines(std::size_t page) const {
    std::vector<Line> lines;
    const PageRange& p = m_pages[page];
    lines.reserve(p.last - p.first + 12);
    m_frame->appendHeader(page, lines);
    for (std::size_t b = p.first; b < p.last; ++b) lines.push_back(m_flow->line(b));
    lines.push_back(m_frame->footer(page, m_pages.size()));
    return lines;
}

}  // namespace pla013::reports
