#pragma once
// Pages as PDF (Qt 6 QPdfWriter), A4 in the report's orientation, in DejaVu
// Sans so that Portuguese accents are drawn and the font is embedded. Needs
// a QGuiApplication; one is created on demand (on the offscreen platform
// when there is no display) when the process has none.

#include "platform/reports/FileRenderer.h"

namespace pla013::reports {

class ReportRunner;

class PdfRenderer final : public FileRenderer {
public:
    void render(const ReportDocument& document, const std::string& path) override;
    std::string mimeType() const override { return "application/pdf"; }

    // Makes sure a QGuiApplication exists; host::EHostError when the process
    // runs a non-GUI Qt application object, which fonts cannot work with.
    static void ensureGuiApplication();
};

// Registers ".pdf" with the runner; printing then sends PDF to CUPS.
void installPdfSupport(ReportRunner& runner);

}  // namespace pla013::reports
