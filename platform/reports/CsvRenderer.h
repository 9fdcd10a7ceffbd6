#pragma once
// The report's data as CSV for spreadsheets: one line of captions, then one
// line per detail row (the groups' data columns, then the report's columns);
// no titles, page texts or totals.
//
// Plain RFC 4180 text, as any CSV reader takes it: fields holding ';', a
// quote, a line break or outer blanks are quoted, quotes doubled; lines end
// with CR LF. Made for the spreadsheets this system's users open it with:
// UTF-8 with a byte-order mark (so accents survive), ';' between fields and
// decimal commas (the Brazilian list and decimal separators), dates as
// dd/mm/yyyy. Codes are written as they are ("0012"); keeping their leading
// zeros is the reading program's choice (docs/report-format.md, CSV). A
// text that starts with = + - or @ gets a leading apostrophe so that no
// spreadsheet ever takes it for a formula.

#include "platform/reports/FileRenderer.h"

namespace pla013::reports {

class CsvRenderer final : public FileRenderer {
public:
    void render(const ReportDocument& document, const std::string& path) override;
    std::string mimeType() const override { return "text/csv"; }

    // The text of one field as written (quoting included).
    static std::string field(const std::string& text, bool isText);
};

}  // namespace pla013::reports
