#pragma once
// A report laid out: the definition applied to its data and parameter values.
//
// The body is a flow of bands (group texts, detail lines, memo lines, images,
// totals) built in one pass over the rows; pagination splits the flow into
// pages of a fixed number of lines, each with the page header (title,
// subtitle, the filters on the first page, the column headers) and the page
// footer (printed-at, "Página X de Y"). Every paginated target (preview,
// printer, PDF, HTML) renders the same pages, so page counts agree; the flat
// targets (CSV, XLSX) read the flow without pages.
//
// Cell texts are produced on demand, page by page, so that a large report
// keeps only its data and a few bytes per band in memory.
//
// The parts behind it (platform/reports/internal): ReportData and Evaluator
// (rows, computed fields, conditions, templates), FlowBuilder with
// RunningTotals (rows to bands), BandFlow (bands to lines), Paginator (bands
// to pages), PageFrame (page header and footer), ColumnLayout, ImageLoader.

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "host/DataPacket.h"
#include "platform/reports/Cell.h"
#include "platform/reports/ImageData.h"
#include "platform/reports/Line.h"
#include "platform/reports/ReportDefinition.h"
#include "platform/reports/ReportParam.h"

namespace pla013::reports {

namespace internal {
class BandFlow;
class ColumnLayout;
class Evaluator;
class PageFrame;
class ReportData;
}  // namespace internal

class ReportDocument {
public:
    struct Input {
        const ReportDefinition* definition = nullptr;
        std::string reportId;  // "PLA01301", shown on every page
        std::vector<ReportParam> params;
        std::map<std::string, host::Variant> lookups;
        host::DataPacket data;
        host::TDateTime printedAt = 0;
        std::string imageFolder;  // relative image paths are read from here
    };

    // Lays out the flow and the pages. EHostError (file and place) when the
    // definition names a field that the data does not have.
    explicit ReportDocument(Input input);
    ~ReportDocument();

    const ReportDefinition& definition() const { return m_def; }
    const std::string& reportId() const { return m_reportId; }
    const std::vector<ReportParam>& params() const;
    int pageWidth() const { return m_def.pageWidth(); }
    int linesPerPage() const;
    bool landscape() const { return m_def.orientation == Orientation::Landscape; }

    std::size_t rowCount() const;
    std::size_t pageCount() const { return m_pages.size(); }
    // The lines of page p (0-based): header, body bands, footer.
    std::vector<Line> pageLines(std::size_t page) const;

    // Flow without pages, for the flat targets.
    std::string titleText() const { return m_def.title; }
    std::string subtitleText() const;
    const std::vector<std::string>& filterLines() const;
    std::string printedAtText() const;
    Line columnHeaderLine() const;
    bool showsColumnHeader() const;
    std::size_t bandCount() const;
    Line bandLine(std::size_t band) const;

    // Flat data export: captions and, per printed detail row, the values.
    struct DataColumn {
        std::string caption;
        int field = -1;  // index in the data
        std::string format;
    };
    const std::vector<DataColumn>& dataColumns() const { return m_dataColumns; }
    // Rows of the detail lines in order (rows excluded by printIf are not).
    std::vector<std::size_t> detailRows() const { return m_detailRows; }
    const host::Variant& value(std::size_t row, int field) const;

    // Text of a value for display, by a format ("" = by its kind).
    static std::string text(const host::Variant& v, const std::string& format);

private:
    struct PageRange {
        std::size_t first, last;  // bands [first, last)
    };

    void chooseDataColumns();
    void layOut(const std::string& imageFolder);

    const ReportDefinition& m_def;
    std::string m_reportId;
    std::unique_ptr<internal::ReportData> m_data;
    std::unique_ptr<internal::Evaluator> m_eval;
    std::unique_ptr<internal::ColumnLayout> m_columns;
    std::unique_ptr<internal::PageFrame> m_frame;
    std::unique_ptr<internal::BandFlow> m_flow;
    std::vector<DataColumn> m_dataColumns;
    std::vector<PageRange> m_pages;
    std::vector<std::size_t> m_detailRows;
};

}  // namespace pla013::reports
