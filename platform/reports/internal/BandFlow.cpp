#include "platform/reports/internal/BandFlow.h"

#include <algorithm>

namespace pla013::reports::internal {

void BandFlow::add(Band::Kind kind, int level, int lines, bool keepWithNext, Line line) {
    m_inlineEnd = -1;
    m_bands.push_back({kind, std::uint8_t(level), std::uint16_t(lines), keepWithNext, false});
    m_bands.back().together = m_together;
    if (!m_content) return;
    line.level = level;
    line.height = lines;
    m_lines.push_back(std::move(line));
}

void BandFlow::markHeading(std::size_t band, int level, int cell) {
    m_bands[band].heading = std::uint8_t(level);
    if (m_content) {
        m_headings.push_back(m_lines[band]);
        m_headingCells.push_back(cell);
    }
}

void BandFlow::closeLevels(int level) {
    if (m_bands.empty()) {  // the group's bands are out already
        if (m_open.size() > std::size_t(level)) m_open.resize(std::size_t(level));
        return;
    }
    m_bands.back().closes = std::min(m_bands.back().closes, std::uint8_t(level));
}

void BandFlow::keepTogether(bool on) {
    if (!on && m_together && !m_bands.empty()) m_bands.back().together = false;
    m_together = on;
}

int BandFlow::continuation(std::vector<Line>* out) const {
    std::size_t levels = m_open.size();
    // A page that opens with a group's heading starts that group afresh; a
    // group whose only lines left are blank ones does not go on.
    for (const Band& b : m_bands) {
        if (b.heading != Band::kNoLevel) levels = std::min(levels, std::size_t(b.heading));
        if (!b.blank) break;
        if (b.closes != Band::kNoLevel) levels = std::min(levels, std::size_t(b.closes));
    }
    int n = 0;
    for (std::size_t g = 0; g < levels; ++g) {
        if (!m_open[g]) continue;
        ++n;
        if (!out || !m_content) continue;
        Line l = m_openHeadings[g];
        const std::size_t cell = std::size_t(m_openHeadingCells[g]);
        if (cell < l.cells.size()) {
            l.cells[cell].text += " (continuação)";
            l.cells[cell].value = host::Variant(l.cells[cell].text);
        }
        out->push_back(std::move(l));
    }
    return n;
}

void BandFlow::drop(std::size_t n) {
    for (std::size_t i = 0; i < n && !m_bands.empty(); ++i) {
        const Band& b = m_bands.front();
        if (b.heading != Band::kNoLevel) {
            m_open.resize(std::size_t(b.heading) + 1, false);
            m_open[b.heading] = true;
            if (m_content) {
                m_openHeadings.resize(m_open.size());
                m_openHeadingCells.resize(m_open.size());
                m_openHeadings[b.heading] = std::move(m_headings.front());
                m_openHeadingCells[b.heading] = m_headingCells.front();
                m_headings.pop_front();
                m_headingCells.pop_front();
            }
        }
        if (b.closes != Band::kNoLevel && m_open.size() > b.closes) m_open.resize(b.closes);
        if (m_content) {
            if (m_lines.front().image && !m_images.empty() && m_images.front().get() == m_lines.front().image)
                m_images.pop_front();
            m_lines.pop_front();
        }
        m_bands.pop_front();
    }
}

void BandFlow::addText(Band::Kind kind, int level, std::string text, bool bold, bool keepWithNext) {
    Line l;
    if (m_content) {
        const int indent = level * 2;
        switch (kind) {
            case Band::Kind::MemoCaption:
                l.style = LineStyle::MemoCaption;
                l.bold = true;
                break;
            case Band::Kind::Memo: l.style = LineStyle::Memo; break;
            case Band::Kind::Empty: l.style = LineStyle::Empty; break;
            default:
                l.style = LineStyle::GroupText;
                l.bold = bold;
                break;
        }
        addFreeText(l, text, indent);
    }
    add(kind, level, 1, keepWithNext, std::move(l));
    if (kind == Band::Kind::Empty && m_content) m_lines.back().level = 0;
}

void BandFlow::addImage(int level, int lines, bool keepWithNext, std::unique_ptr<ImageData> image) {
    Line l;
    if (m_content && image) {
        const int indent = level * 2;
        l.style = LineStyle::Image;
        l.image = image.get();
        l.cells.push_back({});
        l.cells.back().x = indent;
        l.cells.back().width = m_pageWidth - indent;
        l.cells.back().text = l.image->bytes.empty() ? "(foto indisponível: " + l.image->source + ")" : "[foto]";
        m_images.push_back(std::move(image));
    }
    add(Band::Kind::Image, level, lines, keepWithNext, std::move(l));
}

void BandFlow::addTotals(int level, Totals totals) {
    Line l;
    if (m_content) {
        l.style = LineStyle::Totals;
        l.bold = true;
        fillTotals(l, totals, level * 2);
        if (!totals.cells.empty()) l.gutters = m_columns.gutters();
    }
    add(Band::Kind::Totals, level, 1, false, std::move(l));
}

// The last band waiting is never on a page yet (a page is decided only when
// a band after it is known), so its line can still take cells.
void BandFlow::addInline(int level, std::string text, int width) {
    Cell c;
    if (m_content) {
        c.text = std::move(text);
        c.value = host::Variant(c.text);
        c.width = std::max(1, width - 2);
    }
    if (m_inlineEnd >= 0 && !m_bands.empty() && m_inlineEnd + width <= m_pageWidth + 2) {
        c.x = m_inlineEnd;
        if (m_content) m_lines.back().cells.push_back(std::move(c));
        m_inlineEnd += width;
        return;
    }
    Line l;
    c.x = level * 2;
    if (m_content) {
        l.style = LineStyle::GroupText;
        l.cells.push_back(std::move(c));
    }
    add(Band::Kind::Inline, level, 1, false, std::move(l));
    m_inlineEnd = level * 2 + width;
}

void BandFlow::addDetail(int level, const ReportData::Row& row, bool bold, bool keepWithNext) {
    Line l;
    if (m_content) {
        l.style = LineStyle::Detail;
        l.bold = bold;
        m_columns.detailCells(row, l.cells);
        l.gutters = m_columns.gutters();
    }
    add(Band::Kind::Detail, level, 1, keepWithNext, std::move(l));
}

void BandFlow::addFreeText(Line& line, const std::string& text, int indent) const {
    Cell c;
    c.text = text;
    c.value = host::Variant(text);
    c.x = indent;
    c.width = m_pageWidth - indent;
    line.cells.push_back(std::move(c));
}

// The caption fills the room left of the first figure placed under a column.
void BandFlow::fillTotals(Line& line, const Totals& t, int indent) const {
    int firstX = m_pageWidth;
    for (const auto& c : t.cells) firstX = std::min(firstX, c.x);
    if (!t.caption.empty()) {
        Cell c;
        c.text = t.caption;
        c.value = host::Variant(t.caption);
        c.x = indent;
        c.width = std::max(1, firstX - indent - 1);
        if (t.cells.empty()) c.width = m_pageWidth - indent;
        line.cells.push_back(std::move(c));
    }
    for (const auto& c : t.cells) line.cells.push_back(c);
}

}  // namespace pla013::reports::internal
