#include "platform/reports/ReportDocument.h"

#include <map>
#include <set>

#include "host/Errors.h"
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

ReportDocument::ReportDocument(Input input)
    : m_def(*input.definition),
      m_reportId(std::move(input.reportId)),
      m_imageFolder(std::move(input.imageFolder)),
      m_stop(std::move(input.stop)) {
    if (input.rows)
        m_data = std::make_unique<internal::ReportData>(std::move(input.rows), std::move(input.params),
                                                        std::move(input.lookups));
    else
        m_data = std::make_unique<internal::ReportData>(std::move(input.data), std::move(input.params),
                                                        std::move(input.lookups));
    m_data->prepare(m_def, m_stop);
    m_eval = std::make_unique<internal::Evaluator>(m_def, *m_data);
    m_columns = std::make_unique<internal::ColumnLayout>(m_def, *m_data, *m_eval);
    chooseDataColumns();
    internal::PageFrame::Texts texts{m_def.title, m_reportId, m_eval->expand(m_def.subtitle, nullptr), input.printedAt};
    m_frame = std::make_unique<internal::PageFrame>(m_def, *m_eval, *m_columns, std::move(texts));
}

ReportDocument::~ReportDocument() = default;

namespace {

std::string lowerFirst(std::string s) {
    if (!s.empty() && s[0] >= 'A' && s[0] <= 'Z') s[0] = char(s[0] - 'A' + 'a');
    return s;
}

// Makes the captions of the flat formats distinct, so that every heading
// names one column. The comparison reports print the same columns once per
// side ("Produto", "Un.", "Qtde.", "Custo" under "Receita padrão" and again
// under "Receita local"): the columns split into runs, a run ending where a
// caption of it comes back; within a run, a caption that occurs more than
// once in the report is qualified by the run's first caption that occurs
// once and follows a repeated one ("Produto (receita padrão)", "Un.
// (receita padrão)"). What that leaves equal is numbered.
void makeCaptionsDistinct(std::vector<ReportDocument::DataColumn>& cols) {
    std::map<std::string, int> uses;
    for (const auto& c : cols) ++uses[c.caption];
    std::vector<std::string> captions;
    std::set<std::string> inRun;
    for (std::size_t start = 0; start < cols.size();) {
        std::size_t end = start;
        inRun.clear();
        while (end < cols.size() && inRun.insert(cols[end].caption).second) ++end;
        std::string qualifier;
        bool repeated = false;
        for (std::size_t i = start; i < end && qualifier.empty(); ++i) {
            if (uses[cols[i].caption] > 1)
                repeated = true;
            else if (repeated)
                qualifier = " (" + lowerFirst(cols[i].caption) + ")";
        }
        for (std::size_t i = start; i < end; ++i)
            captions.push_back(uses[cols[i].caption] > 1 ? cols[i].caption + qualifier : cols[i].caption);
        start = end;
    }
    std::map<std::string, int> seen;
    for (std::size_t i = 0; i < cols.size(); ++i) {
        int n = ++seen[captions[i]];
        cols[i].caption = n == 1 ? captions[i] : captions[i] + " (" + std::to_string(n) + ")";
    }
}

}  // namespace

// The groups' data columns, then the active columns.
void ReportDocument::chooseDataColumns() {
    for (const auto& g : m_def.groups)
        for (const auto& dc : g.dataColumns)
            m_dataColumns.push_back({m_eval->expand(dc.caption, nullptr), m_data->fieldIndex(dc.field), {}});
    for (std::size_t i = 0; i < m_columns->count(); ++i) {
        const ColumnDef& c = m_columns->column(i);
        std::string caption = c.dataCaption.empty() ? m_columns->caption(i) : m_eval->expand(c.dataCaption, nullptr);
        m_dataColumns.push_back({std::move(caption), m_columns->field(i), c.format});
    }
    makeCaptionsDistinct(m_dataColumns);
}

// One pass over the rows: each row to bands, and the bands waiting drained
// after each row and once more when the flow is closed. Returns the rows read.
std::size_t ReportDocument::pass(bool content, const Drain& drain,
                                 const std::function<void(const std::vector<host::Variant>&)>& onDetail) const {
    internal::BandFlow flow(*m_columns, pageWidth(), content);
    internal::ImageLoader images(m_imageFolder);
    internal::FlowBuilder builder({m_def, *m_data, *m_eval, *m_columns, images, pageWidth()}, flow);
    builder.onDetail = onDetail;
    std::size_t rows = 0;
    m_data->rewind();
    while (const internal::ReportData::Row* row = m_data->next()) {
        if (m_stop.stop_requested()) throw ReportCancelled();
        builder.addRow(*row);
        ++rows;
        if (!drain(flow, false)) return rows;
    }
    if (m_stop.stop_requested()) throw ReportCancelled();
    builder.finish();
    drain(flow, true);
    return rows;
}

// Bands' sizes alone, paginated and dropped page by page.
const ReportDocument::Counts& ReportDocument::counts() const {
    if (m_counts) return *m_counts;
    Counts c;
    internal::Paginator paginator([this](std::size_t page) { return m_frame->bodyLines(page); });
    c.rows = pass(
        false,
        [&](internal::BandFlow& flow, bool complete) {
            while (auto n = paginator.nextPage(flow.bands(), complete, flow.continuation(nullptr))) {
                c.bands += *n;
                flow.drop(*n);
            }
            return true;
        },
        [&](const std::vector<host::Variant>&) { ++c.details; });
    c.pages = paginator.pages();
    m_counts = c;
    return *m_counts;
}

std::size_t ReportDocument::rowCount() const { return counts().rows; }

std::size_t ReportDocument::detailRowCount() const { return counts().details; }

std::size_t ReportDocument::pageCount() const { return counts().pages; }

std::size_t ReportDocument::bandCount() const { return counts().bands; }

void ReportDocument::forEachPage(const PageSink& sink) const {
    const std::size_t total = pageCount();
    internal::Paginator paginator([this](std::size_t page) { return m_frame->bodyLines(page); });
    std::vector<Line> lines;
    bool goOn = true;
    pass(true, [&](internal::BandFlow& flow, bool complete) {
        while (goOn) {
            const std::size_t page = paginator.pages();
            auto n = paginator.nextPage(flow.bands(), complete, flow.continuation(nullptr));
            if (!n) break;
            // Both passes make the same bands: a difference is a fault here.
            if (page >= total) throw host::EHostError("O relatório mudou de tamanho enquanto era gravado.");
            lines.clear();
            m_frame->appendHeader(page, lines);
            flow.continuation(&lines);
            for (std::size_t b = 0; b < *n; ++b) lines.push_back(std::move(flow.line(b)));
            lines.push_back(m_frame->footer(page, total));
            goOn = sink(page, lines);
            flow.drop(*n);
        }
        return goOn;
    });
    if (goOn && paginator.pages() != total)
        throw host::EHostError("O relatório mudou de tamanho enquanto era gravado.");
}

// The last band waiting may still take cells (inline items) until the flow
// is complete.
void ReportDocument::forEachBand(const std::function<void(const Line&)>& sink) const {
    pass(true, [&](internal::BandFlow& flow, bool complete) {
        const std::size_t ready = complete || flow.size() == 0 ? flow.size() : flow.size() - 1;
        for (std::size_t b = 0; b < ready; ++b) sink(flow.line(b));
        flow.drop(ready);
        return true;
    });
}

void ReportDocument::forEachDetailRow(const std::function<void(const std::vector<host::Variant>&)>& sink) const {
    pass(
        false,
        [](internal::BandFlow& flow, bool) {
            flow.drop(flow.size());
            return true;
        },
        sink);
}

const std::vector<ReportParam>& ReportDocument::params() const { return m_data->params(); }

std::size_t ReportDocument::dataRowCount() const { return m_data->rowCount(); }

int ReportDocument::linesPerPage() const { return m_frame->linesPerPage(); }

std::string ReportDocument::subtitleText() const { return m_frame->subtitle(); }

const std::vector<std::string>& ReportDocument::filterLines() const { return m_frame->filterLines(); }

std::string ReportDocument::printedAtText() const { return m_frame->printedAtText(); }

Line ReportDocument::columnHeaderLine() const { return m_columns->headerLine(); }

bool ReportDocument::showsColumnHeader() const { return m_columns->detailShown(); }

std::string ReportDocument::text(const host::Variant& v, const std::string& format) {
    return internal::formatValue(v, format);
}

}  // namespace pla013::reports
