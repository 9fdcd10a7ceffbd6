#pragma once
// Pages as PDF, written directly: A4 in the report's orientation, each page's
// texts, rules and photos placed where PageGeometry puts them (the screen
// draws the same geometry with Qt).
//
// Our own writer over zlib rather than a PDF library: the pages are text,
// rules and the odd image, and what they need is few, fixed things: the
// DejaVu fonts embedded as subsets of the glyphs used (CIDFontType2,
// Identity-H, with their widths and a ToUnicode map, so every accent is drawn
// and the text can be selected and searched), one text instruction per cell,
// each page's content compressed as it is written, and the photos as they are
// stored (JPEG, PNG). The library at hand, libharu 2.3, keeps each font's
// whole tables (a one-line page in one font is an 86 KB file, one of our
// pages with its three fonts 19 KB) and writes ToUnicode maps that readers
// warn about; bench_pdf_writer measures both on the same pages. Needs no
// display and no toolkit; the file is written page by page, and nothing of a
// page is kept after it.

#include <memory>
#include <string>
#include <vector>

#include "platform/reports/FileRenderer.h"
#include "platform/reports/Line.h"

namespace pla013::reports {

// Laid-out pages to a PDF file, one at a time (nothing of a page is kept):
// PdfRenderer writes a document's pages with it, the desktop's print to a
// PDF file the preview's. Failures are host::EHostError; the file is the
// caller's to remove then.
class PdfWriter {
public:
    PdfWriter(const std::string& path, int charactersPerLine, int linesPerPage, bool landscape);
    ~PdfWriter();
    PdfWriter(const PdfWriter&) = delete;
    PdfWriter& operator=(const PdfWriter&) = delete;
    void page(const std::vector<Line>& lines);
    // Writes what ends the file (fonts, page tree, document title) and closes it.
    void finish(const std::string& title);

private:
    class Impl;
    std::unique_ptr<Impl> m_impl;
};

class PdfRenderer final : public FileRenderer {
public:
    void render(const ReportDocument& document, const std::string& path) override;
    std::string mimeType() const override { return "application/pdf"; }
};

}  // namespace pla013::reports
