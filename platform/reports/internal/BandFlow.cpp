#include "platform/reports/internal/BandFlow.h"

#include <algorithm>

namespace pla013::reports::internal {

void BandFlow::add(Band::Kind kind, int level, int lines, bool keepWithNext, std::size_t ref) {
    m_bands.push_back({kind, std::uint8_t(level), std::uint16_t(lines), keepWithNext, false, std::uint32_t(ref)});
}

void BandFlow::addText(Band::Kind kind, int level, std::string text, bool bold, bool keepWithNext) {
    m_texts.push_back({std::move(text), bold});
    add(kind, level, 1, keepWithNext, m_texts.size() - 1);
}

void BandFlow::addImage(int level, int lines, bool keepWithNext, std::unique_ptr<ImageData> image) {
    m_images.push_back(std::move(image));
    add(Band::Kind::Image, level, lines, keepWithNext, m_images.size() - 1);
}

void BandFlow::addTotals(int level, Totals totals) {
    m_totals.push_back(std::move(totals));
    add(Band::Kind::Totals, level, 1, false, m_totals.size() - 1);
}

void BandFlow::addDetail(int level, std::size_t row) { add(Band::Kind::Detail, level, 1, false, row); }

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

Line BandFlow::line(std::size_t index) const {
    const Band& b = m_bands[index];
    Line l;
    l.level = b.level;
    l.height = b.lines;
    const int indent = int(b.level) * 2;
    switch (b.kind) {
        case Band::Kind::Text:
            l.style = LineStyle::GroupText;
            l.bold = m_texts[b.ref].bold;
            addFreeText(l, m_texts[b.ref].text, indent);
            break;
        case Band::Kind::MemoCaption:
            l.style = LineStyle::MemoCaption;
            l.bold = true;
            addFreeText(l, m_texts[b.ref].text, indent);
            break;
        case Band::Kind::Memo:
            l.style = LineStyle::Memo;
            addFreeText(l, m_texts[b.ref].text, indent);
            break;
        case Band::Kind::Empty:
            l.style = LineStyle::Empty;
            l.level = 0;
            addFreeText(l, m_texts[b.ref].text, indent);
            break;
        case Band::Kind::Image:
            l.style = LineStyle::Image;
            l.image = m_images[b.ref].get();
            l.cells.push_back({});
            l.cells.back().x = indent;
            l.cells.back().width = m_pageWidth - indent;
            l.cells.back().text = l.image->bytes.empty() ? "(foto indisponível: " + l.image->source + ")" : "[foto]";
            break;
        case Band::Kind::Totals:
            l.style = LineStyle::Totals;
            l.bold = true;
            fillTotals(l, m_totals[b.ref], indent);
            break;
        case Band::Kind::Detail:
            l.style = LineStyle::Detail;
            m_columns.detailCells(m_data.row(b.ref), l.cells);
            break;
    }
    return l;
}

}  // namespace pla013::reports::internal
