#pragma once
// The PDF path the reports had before their own writer: the pages drawn by
// the Qt painter of then (TodaysPagePainter) into Qt's PDF writer. Kept for the
// benchmark alone, as the baseline it measures in the same run; needs a
// QGuiApplication (GuiProcess).

#include "platform/reports/FileRenderer.h"

namespace benchpdf {

class QtPdfWriter final : public pla013::reports::FileRenderer {
public:
    void render(const pla013::reports::ReportDocument& document, const std::string& path) override;
    std::string mimeType() const override { return "application/pdf"; }
};

}  // namespace benchpdf
