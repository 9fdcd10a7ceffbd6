#pragma once
// The report's data as CSV for spreadsheets: one line of captions, then one
// line per detail row (the groups' data columns, then the report's columns);
// no titles, page texts or totals.
//
// Written for the spreadsheets this system's users open it with: UTF-8 with
// a byte-order mark (so accents survive), ';' between fields and decimal
// commas (the Brazilian list and decimal separators), lines ended by CR LF,
// dates as dd/mm/yyyy. A text made only of digits (a code such as 0012) is
// written as the formula ="0012", which spreadsheets show as that text with
// its leading zeros. A text that starts with = + - or @ gets a leading
// apostrophe so that it is never taken for a formula. Fields holding ';',
// quotes, line breaks or outer blanks are quoted, quotes doubled.

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
