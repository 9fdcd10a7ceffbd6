#include "platform/reports/internal/BandFlow.h"

#include <algorithm>

namespace pla013::reports::internal {

void BandFlow::add(Band::Kind kind, int level, int lines, bool keepWithNext, Line line) {
    m_bands.push_back({kind, std::uint8_t(level), std::uint16_t(lines), keepWithNext, false});
    if (!m_content) return;
    line.level = level;
    line.height = lines;
    m_lines.push_back(std::move(line));
}

void BandFlow::drop(std::size_t n) {
    for (std::size_t i = 0; i < n && !m_bands.empty(); ++i) {
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
    }
    add(Band::Kind::Totals, level, 1, false, std::move(l));
}

void BandFlow::addDetail(int level, const ReportData::Row& row, bool bold) {
    Line l;
    if (m_content) {
        l.style = LineStyle::Detail;
        l.bold = bold;
        m_columns.detailCells(row, l.cells);
    }
    add(Band::Kind::Detail, level, 1, false, std::move(l));
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
