#pragma once
// Where everything of a laid-out page goes, in points from the paper's top
// left corner: each text with its font, start and baseline (cut with an
// ellipsis when wider than its cell), each rule, each image. Computed once
// here and drawn by every page target: the PDF writer (PdfRenderer) and the
// Qt painter of the screen and the printer dialog (qt/PagePainter), so that
// what the preview shows is what the file holds.
//
// The fonts are DejaVu Sans Condensed and its Bold at 8 points drawn at 86 %
// of their width for the body, and DejaVu Sans Bold at 12 points for the
// title; texts are measured with the fonts' own advance widths (no shaping,
// no kerning: the text reads back letter by letter).

#include <memory>
#include <string>
#include <vector>

#include "platform/reports/Line.h"

namespace pla013::reports {

namespace internal {
class TrueTypeFont;
}

enum class PageFont { Normal, Bold, Title };
constexpr int kPageFonts = 3;

struct PageFontStyle {
    const char* file;  // the TrueType file
    double size;       // points
    double hscale;     // horizontal scale of the glyphs (1 = as designed)
};
const PageFontStyle& pageFontStyle(PageFont font);

struct PageItem {
    enum class Kind { Text, Rule, Image };
    Kind kind = Kind::Text;
    // Text: font, start of the baseline (x, y), the text as drawn, and an
    // extra horizontal squeeze of a memo line too wide for its cell (1: none).
    PageFont font = PageFont::Normal;
    std::string text;
    double squeeze = 1;
    // Text: x, y (baseline). Rule: from (x, y) to (x2, y2). Image: the box.
    double x = 0, y = 0, x2 = 0, y2 = 0;
    double width = 0;   // rule: line width; image: box width
    double height = 0;  // image: box height
    bool gray = false;  // rule: the grey of the gutters
    const ImageData* image = nullptr;
};

// An image's pixel size, read from its PNG or JPEG header; false when the
// bytes are neither.
bool imagePixelSize(const std::string& bytes, int& width, int& height);

class PageGeometry {
public:
    // Paper in points (A4: 595 x 842, or its landscape).
    PageGeometry(int charactersPerLine, int linesPerPage, double paperWidth, double paperHeight);
    ~PageGeometry();

    // The items of one page, in drawing order (items is cleared first).
    void layout(const std::vector<Line>& lines, std::vector<PageItem>& items) const;

    double paperWidth() const { return m_paperWidth; }
    double paperHeight() const { return m_paperHeight; }
    // Advance of a text in a font, in points (squeeze 1).
    double advance(PageFont font, const std::string& text) const;

private:
    void text(std::vector<PageItem>& out, const std::string& s, double left, double top, double width, double height,
              Align align, PageFont font) const;
    void rule(std::vector<PageItem>& out, double y, double x0, double x1, double width) const;
    void gutters(std::vector<PageItem>& out, const Line& l, double top, double bottom) const;
    void cells(std::vector<PageItem>& out, const Line& l, double y, bool bold) const;
    void memo(std::vector<PageItem>& out, const Line& l, double y) const;
    void draw(std::vector<PageItem>& out, const Line& l, double y) const;
    void footer(std::vector<PageItem>& out, const Line& l) const;
    double cellLeft(const Cell& c) const;

    double m_cw, m_lh, m_width, m_bottom, m_paperWidth, m_paperHeight;
    std::shared_ptr<const internal::TrueTypeFont> m_fonts[kPageFonts];
    double m_scale[kPageFonts];                          // points per font unit, horizontally
    double m_ascent[kPageFonts], m_descent[kPageFonts];  // points
};

}  // namespace pla013::reports
