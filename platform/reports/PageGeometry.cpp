#include "platform/reports/PageGeometry.h"

#include <algorithm>

#include "platform/reports/internal/PdfImage.h"
#include "platform/reports/internal/TrueTypeFont.h"

namespace pla013::reports {

namespace {

constexpr double kMargin = 28.0;  // points

// The condensed cut fits the report's character grid at a readable size; it
// is drawn a little narrower still (86 %), as the pages always were.
const PageFontStyle kFonts[kPageFonts] = {
    {"/usr/share/fonts/truetype/dejavu/DejaVuSansCondensed.ttf", 8.0, 0.86},
    {"/usr/share/fonts/truetype/dejavu/DejaVuSansCondensed-Bold.ttf", 8.0, 0.86},
    {"/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf", 12.0, 1.0},
};

const char* const kEllipsis = "\xE2\x80\xA6";  // U+2026

unsigned be16(const std::string& b, std::size_t at) {
    return (unsigned(std::uint8_t(b[at])) << 8) | std::uint8_t(b[at + 1]);
}

}  // namespace

const PageFontStyle& pageFontStyle(PageFont font) { return kFonts[int(font)]; }

bool imagePixelSize(const std::string& b, int& width, int& height) {
    if (b.size() >= 24 && b.compare(0, 8, "\x89PNG\r\n\x1a\n") == 0 && b.compare(12, 4, "IHDR") == 0) {
        width = int((be16(b, 16) << 16) | be16(b, 18));
        height = int((be16(b, 20) << 16) | be16(b, 22));
        return width > 0 && height > 0;
    }
    internal::JpegFrame jpeg;
    if (!internal::readJpegFrame(b, jpeg)) return false;
    width = jpeg.width;
    height = jpeg.height;
    return width > 0 && height > 0;
}

PageGeometry::PageGeometry(int charactersPerLine, int linesPerPage, double paperWidth, double paperHeight)
    : m_cw((paperWidth - 2 * kMargin) / std::max(1, charactersPerLine)),
      m_lh((paperHeight - 2 * kMargin) / std::max(1, linesPerPage)),
      m_width(paperWidth - 2 * kMargin),
      m_bottom(paperHeight - kMargin),
      m_paperWidth(paperWidth),
      m_paperHeight(paperHeight) {
    for (int f = 0; f < kPageFonts; ++f) {
        m_fonts[f] = internal::TrueTypeFont::load(kFonts[f].file);
        const double em = kFonts[f].size / m_fonts[f]->unitsPerEm();
        m_scale[f] = em * kFonts[f].hscale;
        m_ascent[f] = m_fonts[f]->ascender() * em;
        m_descent[f] = m_fonts[f]->descender() * em;
    }
}

PageGeometry::~PageGeometry() = default;

double PageGeometry::advance(PageFont font, const std::string& s) const {
    return double(m_fonts[int(font)]->textAdvance(s)) * m_scale[int(font)];
}

// s in the box as a one-line text aligned by align and centred vertically,
// cut with an ellipsis when wider than the box.
void PageGeometry::text(std::vector<PageItem>& out, const std::string& s, double left, double top, double width,
                        double height, Align align, PageFont font) const {
    if (s.empty()) return;
    const int f = int(font);
    const internal::TrueTypeFont& tt = *m_fonts[f];
    PageItem item;
    item.kind = PageItem::Kind::Text;
    item.font = font;
    double adv = double(tt.textAdvance(s)) * m_scale[f];
    if (adv <= width) {
        item.text = s;
    } else {
        // The longest start that fits with the ellipsis after it.
        const double ellipsis = double(tt.textAdvance(kEllipsis)) * m_scale[f];
        std::size_t cut = 0;
        double used = 0;
        bool full = false;
        internal::forEachCodepoint(s, [&](char32_t c) {
            if (full) return;
            const double w = tt.advance(tt.glyph(c)) * m_scale[f];
            if (used + w + ellipsis > width) {
                full = true;
                return;
            }
            used += w;
            cut += c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
        });
        if (ellipsis > width) return;
        item.text = s.substr(0, cut) + kEllipsis;
        adv = used + ellipsis;
    }
    double x = left;
    if (align == Align::Right)
        x += width - adv;
    else if (align == Align::Center)
        x += (width - adv) / 2;
    item.x = x;
    item.y = top + (height - (m_ascent[f] + m_descent[f])) / 2 + m_ascent[f];
    out.push_back(std::move(item));
}

void PageGeometry::rule(std::vector<PageItem>& out, double y, double x0, double x1, double width) const {
    PageItem r;
    r.kind = PageItem::Kind::Rule;
    r.x = x0;
    r.x2 = x1;
    r.y = r.y2 = y;
    r.width = width;
    out.push_back(std::move(r));
}

double PageGeometry::cellLeft(const Cell& c) const { return kMargin + c.x * m_cw; }

// The gutters of a line: a thin grey rule down the middle of each.
void PageGeometry::gutters(std::vector<PageItem>& out, const Line& l, double top, double bottom) const {
    for (int g : l.gutters) {
        PageItem r;
        r.kind = PageItem::Kind::Rule;
        r.x = r.x2 = kMargin + (g + 0.5) * m_cw;
        r.y = top;
        r.y2 = bottom;
        r.width = 0.4;
        r.gray = true;
        out.push_back(std::move(r));
    }
}

void PageGeometry::cells(std::vector<PageItem>& out, const Line& l, double y, bool bold) const {
    for (const Cell& c : l.cells)
        if (!c.text.empty())
            text(out, c.text, cellLeft(c), y, c.width * m_cw, m_lh, c.align, bold ? PageFont::Bold : PageFont::Normal);
}

// A memo line is wrapped to the line's characters; one that is still wider
// than the line in the font (capitals, wide letters) is drawn narrower rather
// than cut, so that no word of the text is lost.
void PageGeometry::memo(std::vector<PageItem>& out, const Line& l, double y) const {
    for (const Cell& c : l.cells) {
        if (c.text.empty()) continue;
        const double width = c.width * m_cw;
        const double adv = advance(PageFont::Normal, c.text);
        if (adv <= width) {
            text(out, c.text, cellLeft(c), y, width, m_lh, c.align, PageFont::Normal);
            continue;
        }
        text(out, c.text, cellLeft(c), y, adv, m_lh, Align::Left, PageFont::Normal);
        out.back().squeeze = width / adv;
    }
}

void PageGeometry::draw(std::vector<PageItem>& out, const Line& l, double y) const {
    switch (l.style) {
        case LineStyle::Title: {
            const double h = m_lh * 1.5;
            const double rw = advance(PageFont::Title, l.right) + 8;
            if (!l.cells.empty())
                text(out, l.cells.front().text, kMargin, y, m_width - rw, h, Align::Left, PageFont::Title);
            text(out, l.right, kMargin, y, m_width, h, Align::Right, PageFont::Title);
            rule(out, y + m_lh * 1.75, kMargin, kMargin + m_width, 1.0);
            break;
        }
        case LineStyle::ColumnHeader: {
            // The spanning headings over their columns, each underlined.
            for (const Cell& c : l.spans) {
                text(out, c.text, cellLeft(c), y, c.width * m_cw, m_lh, Align::Center, PageFont::Bold);
                rule(out, y + m_lh * 0.95, cellLeft(c), kMargin + (c.x + c.width) * m_cw, 0.3);
            }
            const double top = l.spans.empty() ? y : y + m_lh;
            cells(out, l, top, true);
            rule(out, top + m_lh * 1.4, kMargin, kMargin + m_width, 0.5);
            gutters(out, l, y, top + m_lh * 1.4);
            break;
        }
        case LineStyle::Totals:
            for (const Cell& c : l.cells)
                if (c.column >= 0) rule(out, y + 0.5, cellLeft(c), kMargin + (c.x + c.width) * m_cw, 0.3);
            cells(out, l, y, true);
            gutters(out, l, y, y + m_lh);
            break;
        case LineStyle::Detail:
            cells(out, l, y, l.bold);
            gutters(out, l, y, y + m_lh);
            break;
        case LineStyle::Image: {
            int pw = 0, ph = 0;
            if (l.image && imagePixelSize(l.image->bytes, pw, ph)) {
                double h = l.height * m_lh - 4;
                double w = h * pw / ph;
                if (w > m_width) {
                    h *= m_width / w;
                    w = m_width;
                }
                PageItem img;
                img.kind = PageItem::Kind::Image;
                img.x = kMargin + (l.cells.empty() ? 0 : l.cells.front().x * m_cw);
                img.y = y + 2;
                img.width = w;
                img.height = h;
                img.image = l.image;
                out.push_back(std::move(img));
            } else {
                cells(out, l, y, false);
            }
            break;
        }
        case LineStyle::Blank: break;
        case LineStyle::Memo: memo(out, l, y); break;
        default: cells(out, l, y, l.bold); break;
    }
}

void PageGeometry::footer(std::vector<PageItem>& out, const Line& l) const {
    const double y = m_bottom - m_lh;
    rule(out, y - 2, kMargin, kMargin + m_width, 0.5);
    if (!l.cells.empty()) text(out, l.cells.front().text, kMargin, y, m_width, m_lh, Align::Left, PageFont::Normal);
    text(out, l.right, kMargin, y, m_width, m_lh, Align::Right, PageFont::Normal);
}

void PageGeometry::layout(const std::vector<Line>& lines, std::vector<PageItem>& items) const {
    items.clear();
    double y = kMargin;
    for (const Line& l : lines) {
        if (l.style == LineStyle::PageFooter) {
            footer(items, l);
            continue;
        }
        draw(items, l, y);
        y += l.height * m_lh;
    }
}

}  // namespace pla013::reports
