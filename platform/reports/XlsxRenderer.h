#pragma once
// The report as a workbook (libxlsxwriter). The first sheet, named after
// the report's title, is its data as plain rows: one heading row (frozen,
// with an autofilter), then one row per printed detail row with the groups'
// data columns before the report's columns, the same columns as the CSV.
// Codes and other texts are strings, so leading zeros stay; numbers and
// dates are numbers with the column's format (money to the cent, quantities
// to three places, as the definition formats them). The second sheet,
// "Impressão", is the printed layout without page breaks: title, subtitle,
// filters, column headers, group texts, detail rows, memo lines, photos,
// totals and the printed-at line. Both are set up for A4, the data sheet in
// landscape with its heading row repeated on every printed page.

#include "platform/reports/FileRenderer.h"

namespace pla013::reports {

class XlsxRenderer final : public FileRenderer {
public:
    void render(const ReportDocument& document, const std::string& path) override;
    std::string mimeType() const override {
        return "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet";
    }
};

}  // namespace pla013::reports
