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
// Nothing is laid out ahead: each target reads the rows in one pass and gets
// the pages (or bands, or rows) as they are made, so memory holds about one
// page, the groups' running totals and, for rows handed as a packet, the
// data. The number of pages, which every page footer shows, comes from a
// first pass that makes the bands' sizes alone (no texts, totals or images)
// and keeps no page; it runs once, at the first call that needs it.
//
// The parts behind it (platform/reports/internal): ReportData and Evaluator
// (rows, computed fields, conditions, templates), FlowBuilder with
// RunningTotals (rows to bands), BandFlow (bands to lines), Paginator (bands
// to pages), PageFrame (page header and footer), ColumnLayout, ImageLoader.

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

#include "host/DataPacket.h"
#include "host/Errors.h"
#include "platform/reports/Cell.h"
#include "platform/reports/ImageData.h"
#include "platform/reports/Line.h"
#include "platform/reports/ReportDefinition.h"
#include "platform/reports/ReportParam.h"
#include "platform/reports/RowSource.h"

namespace pla013::reports {

namespace internal {
class BandFlow;
class ColumnLayout;
class Evaluator;
class PageFrame;
class ReportData;
}  // namespace internal

// A run stopped by whoever started it (the user's "Cancelar", a signal):
// the silent abort, so the form goes on as after any action it abandons.
class ReportCancelled : public host::EAbort {
public:
    const char* what() const noexcept override { return "report cancelled"; }
};

class ReportDocument {
public:
    struct Input {
        const ReportDefinition* definition = nullptr;
        std::string reportId;  // "PLA01301", shown on every page
        std::vector<ReportParam> params;
        std::map<std::string, host::Variant> lookups;
        host::DataPacket data;
        // Rows read as the report is made, instead of data's (their fields
        // are the source's).
        std::unique_ptr<RowSource> rows;
        host::TDateTime printedAt = 0;
        std::string imageFolder;  // relative image paths are read from here
        // The preparation of the rows and every pass over them stop with
        // ReportCancelled at the next row once asked.
        std::stop_token stop;
    };

    // Prepares the data. EHostError (file and place) when the definition
    // names a field that the data does not have, or a value of the packet
    // is not of its declared type (a value read from a RowSource: at the
    // pass that reads it); ReportCancelled when the stop is asked.
    explicit ReportDocument(Input input);
    ~ReportDocument();

    const ReportDefinition& definition() const { return m_def; }
    const std::string& reportId() const { return m_reportId; }
    const std::vector<ReportParam>& params() const;
    int pageWidth() const { return m_def.pageWidth(); }
    int linesPerPage() const;
    bool landscape() const { return m_def.orientation == Orientation::Landscape; }

    // The number of rows, pages, bands of the flow and detail rows printed,
    // from the counting pass.
    std::size_t rowCount() const;
    // The rows of the data, read when the document was made (no pass).
    std::size_t dataRowCount() const;
    std::size_t detailRowCount() const;
    std::size_t pageCount() const;
    std::size_t bandCount() const;

    // Lays the pages out in order and hands each one's lines (header, body
    // bands, footer) to sink with its index (0-based), valid during the
    // call; sink returns false to stop.
    using PageSink = std::function<bool(std::size_t page, const std::vector<Line>& lines)>;
    void forEachPage(const PageSink& sink) const;

    // Flow without pages, for the flat targets.
    std::string titleText() const { return m_def.title; }
    std::string subtitleText() const;
    const std::vector<std::string>& filterLines() const;
    std::string printedAtText() const;
    Line columnHeaderLine() const;
    bool showsColumnHeader() const;
    // The lines of the body's bands, in order.
    void forEachBand(const std::function<void(const Line&)>& sink) const;

    // Flat data export: captions (distinct: a caption printed once per side
    // of a comparison is qualified by its side) and, per printed detail row,
    // the values.
    struct DataColumn {
        std::string caption;
        int field = -1;  // index in the row
        std::string format;
    };
    const std::vector<DataColumn>& dataColumns() const { return m_dataColumns; }
    // The rows of the detail lines in order (rows excluded by printIf are not).
    void forEachDetailRow(const std::function<void(const std::vector<host::Variant>&)>& sink) const;

    // Text of a value for display, by a format ("" = by its kind).
    static std::string text(const host::Variant& v, const std::string& format);

private:
    // What the counting pass finds.
    struct Counts {
        std::size_t rows = 0, pages = 0, bands = 0, details = 0;
    };
    // Drains the bands waiting in the flow; complete: the flow is closed.
    // False stops the pass.
    using Drain = std::function<bool(internal::BandFlow& flow, bool complete)>;

    void chooseDataColumns();
    const Counts& counts() const;
    std::size_t pass(bool content, const Drain& drain,
                     const std::function<void(const std::vector<host::Variant>&)>& onDetail = {}) const;

    const ReportDefinition& m_def;
    std::string m_reportId;
    std::string m_imageFolder;
    std::unique_ptr<internal::ReportData> m_data;
    std::unique_ptr<internal::Evaluator> m_eval;
    std::unique_ptr<internal::ColumnLayout> m_columns;
    std::unique_ptr<internal::PageFrame> m_frame;
    std::vector<DataColumn> m_dataColumns;
    mutable std::optional<Counts> m_counts;
    std::stop_token m_stop;
};

}  // namespace pla013::reports
