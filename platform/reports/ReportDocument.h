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

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "host/DataPacket.h"
#include "platform/reports/ReportDefinition.h"

namespace pla013::reports {

// A parameter of a run with the value it ended up with.
struct ReportParam {
    std::string name;
    ParamType type = ParamType::String;
    host::Variant value;  // unassigned/null when unbound
};

struct ImageData {
    std::string bytes;   // encoded image (PNG, JPEG); empty when unavailable
    std::string source;  // path or "dados embutidos", for placeholders
};

enum class LineStyle {
    Title,
    Subtitle,
    Filter,
    ColumnHeader,
    GroupText,
    Detail,
    MemoCaption,
    Memo,
    Image,
    Totals,
    Empty,
    PageFooter,
    Blank
};

struct Cell {
    std::string text;  // formatted, not cut to width
    int x = 0;         // first character position
    int width = 0;     // in characters
    Align align = Align::Left;
    int column = -1;      // index among the active columns; -1 for free text
    host::Variant value;  // raw value behind the text (flat targets)
    std::string format;
};

struct Line {
    LineStyle style = LineStyle::Blank;
    int level = 0;   // group level of group texts
    int height = 1;  // in lines
    bool bold = false;
    std::vector<Cell> cells;
    const ImageData* image = nullptr;
    // Page footer only: the page number texts, right-aligned.
    std::string right;
};

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

    const ReportDefinition& definition() const { return *m_in.definition; }
    const std::string& reportId() const { return m_in.reportId; }
    const std::vector<ReportParam>& params() const { return m_in.params; }
    int pageWidth() const { return m_def.pageWidth(); }
    int linesPerPage() const;
    bool landscape() const { return m_def.orientation == Orientation::Landscape; }

    std::size_t rowCount() const { return m_in.data.rows.size(); }
    std::size_t pageCount() const { return m_pages.size(); }
    // The lines of page p (0-based): header, body bands, footer.
    std::vector<Line> pageLines(std::size_t page) const;

    // Flow without pages, for the flat targets.
    std::string titleText() const { return m_def.title; }
    std::string subtitleText() const { return m_subtitle; }
    const std::vector<std::string>& filterLines() const { return m_filterLines; }
    std::string printedAtText() const;
    Line columnHeaderLine() const;
    bool showsColumnHeader() const { return m_detailShown; }
    std::size_t bandCount() const { return m_bands.size(); }
    Line bandLine(std::size_t band) const;

    // Flat data export: captions and, per printed detail row, the values.
    struct DataColumn {
        std::string caption;
        int field = -1;  // index in the data
        std::string format;
    };
    const std::vector<DataColumn>& dataColumns() const { return m_dataColumns; }
    // Rows of the detail lines in order (rows excluded by printIf are not).
    std::vector<std::size_t> detailRows() const;
    const host::Variant& value(std::size_t row, int field) const { return m_in.data.rows[row][field]; }

    // Text of a value for display, by a format ("" = by its kind).
    static std::string text(const host::Variant& v, const std::string& format);

private:
    enum class BandKind : std::uint8_t { Text, MemoCaption, Memo, Image, Totals, Detail, Empty };
    struct Band {
        BandKind kind;
        std::uint8_t level;
        std::uint16_t lines;
        bool keepWithNext;
        bool newPage;
        std::uint32_t ref;  // row, text, image or totals index
    };
    struct TextEntry {
        std::string text;
        bool bold;
    };
    struct TotalsEntry {
        std::string caption;
        std::vector<Cell> cells;  // placed under columns
    };
    struct Page {
        std::size_t first, last;  // bands [first, last)
    };
    struct Accumulator;

    void convertTypes();
    void checkFields();
    void addComputed();
    void chooseColumns();
    void buildFilters();
    void buildFlow();
    void paginate();
    int headerLines(std::size_t page) const;

    bool holds(const Condition& c, std::size_t row) const;
    std::string paramText(const ReportParam& p, bool forDisplay, const std::string& format) const;
    const ReportParam* findParam(const std::string& name) const;
    std::string expand(const std::string& templ, std::size_t row) const;
    int fieldIndex(const std::string& name) const;
    std::string conditionText(const host::Variant& v) const;

    void emitSection(const std::vector<SectionItem>& items, int level, std::size_t row,
                     const std::vector<Accumulator>* accs, bool header);
    void emitTotals(const std::string& caption, const std::vector<TotalDef>& totals, const Accumulator& acc, int level);
    const ImageData* loadImage(const host::Variant& v);

    Input m_in;
    const ReportDefinition& m_def;
    std::map<std::string, int> m_fieldIndex;  // upper-case name -> data column
    std::vector<int> m_colField;              // active column -> data column
    std::vector<const ColumnDef*> m_cols;     // active columns
    std::vector<int> m_colX;
    bool m_detailShown = true;
    std::string m_subtitle;
    std::vector<std::string> m_filterLines;
    std::vector<DataColumn> m_dataColumns;

    std::vector<Band> m_bands;
    std::vector<TextEntry> m_texts;
    std::vector<std::unique_ptr<ImageData>> m_images;
    std::vector<TotalsEntry> m_totals;
    std::vector<Page> m_pages;
    std::vector<std::size_t> m_detailRows;
};

}  // namespace pla013::reports
