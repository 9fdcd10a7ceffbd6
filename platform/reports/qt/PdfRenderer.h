#pragma once
// Pages as PDF (Qt 6 QPdfWriter), A4 in the report's orientation, in DejaVu
// Sans so that Portuguese accents are drawn and the font is embedded. Needs
// a QGuiApplication, made by the program at its start (GuiProcess); without
// one, render() refuses with host::EHostError and writes nothing.

#include "platform/reports/FileRenderer.h"

namespace pla013::reports {

class ReportRunner;

class PdfRenderer final : public FileRenderer {
public:
    void render(const ReportDocument& document, const std::string& path) override;
    std::string mimeType() const override { return "application/pdf"; }
};

// Registers ".pdf" with the runner; printing then sends PDF to CUPS.
void installPdfSupport(ReportRunner& runner);

}  // namespace pla013::reports
