#pragma once
// The report as one worksheet (libxlsxwriter): title, subtitle and filters,
// the column headers, then the flow of the report without page breaks (group
// texts, detail rows, memo lines, photos, totals) and the printed-at line.
// Codes and other texts are written as strings, so leading zeros stay;
// numbers and dates as numbers with the column's format.

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
