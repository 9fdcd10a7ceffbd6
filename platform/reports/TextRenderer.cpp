#include "platform/reports/TextRenderer.h"

#include <algorithm>
#include <fstream>

#include "host/Errors.h"
#include "platform/reports/ReportDocument.h"
#include "platform/reports/internal/ValueFormat.h"

namespace pla013::reports {

using internal::fitText;
using internal::textWidth;

namespace {

int alignCode(Align a) { return a == Align::Right ? 1 : a == Align::Center ? 2 : 0; }

// Places the cells of a line at their positions.
std::string layoutCells(const std::vector<Cell>& cells) {
    std::string out;
    std::size_t pos = 0;
    for (const auto& c : cells) {
        if (std::size_t(c.x) > pos) {
            out.append(std::size_t(c.x) - pos, ' ');
            pos = std::size_t(c.x);
        }
        out += fitText(c.text, std::size_t(c.width), alignCode(c.align));
        pos += std::size_t(c.width);
    }
    while (!out.empty() && out.back() == ' ') out.pop_back();
    return out;
}

// Puts the character ch at position pos (in characters) of line, padding it.
void putAt(std::string& line, std::size_t pos, const char* ch) {
    std::size_t count = 0, i = 0;
    for (; i < line.size() && count < pos; ++count) {
        ++i;
        while (i < line.size() && (static_cast<unsigned char>(line[i]) & 0xC0) == 0x80) ++i;
    }
    if (count < pos) {
        line.append(pos - count, ' ');
        i = line.size();
    }
    std::size_t end = i;
    if (end < line.size()) {
        ++end;
        while (end < line.size() && (static_cast<unsigned char>(line[end]) & 0xC0) == 0x80) ++end;
    }
    line.replace(i, end - i, ch);
}

// A line of cells with the line's gutters drawn.
std::string withGutters(std::string text, const Line& l) {
    for (int g : l.gutters) putAt(text, std::size_t(g), "|");
    return text;
}

// A spanning heading: centred between dashes over its columns.
std::string spanText(const std::string& text, std::size_t width) {
    const std::size_t w = textWidth(text) + 2;
    if (w + 2 > width) return fitText(text, width, 2);
    const std::size_t left = (width - w) / 2;
    return std::string(left, '-') + " " + text + " " + std::string(width - w - left, '-');
}

std::string withRight(std::string left, const std::string& right, std::size_t width) {
    std::size_t lw = textWidth(left), rw = textWidth(right);
    if (lw + 1 + rw > width)
        left = internal::cutText(left, width > rw + 1 ? width - rw - 1 : 0, true), lw = textWidth(left);
    return left + std::string(width > lw + rw ? width - lw - rw : 1, ' ') + right;
}

}  // namespace

namespace {

std::string pageText(const std::vector<Line>& lines, std::size_t width) {
    std::string out;
    for (const Line& l : lines) {
        switch (l.style) {
            case LineStyle::Title:
                out += withRight(l.cells.front().text, l.right, width) + "\n";
                out += std::string(width, '=') + "\n";
                break;
            case LineStyle::ColumnHeader:
                if (!l.spans.empty()) {
                    std::vector<Cell> spans = l.spans;
                    for (auto& c : spans) c.text = spanText(c.text, std::size_t(c.width));
                    out += withGutters(layoutCells(spans), l) + "\n";
                }
                out += withGutters(layoutCells(l.cells), l) + "\n";
                out += std::string(width, '-') + "\n";
                break;
            case LineStyle::PageFooter:
                out += std::string(width, '-') + "\n";
                out += withRight(l.cells.front().text, l.right, width) + "\n";
                break;
            case LineStyle::Image:
                out += layoutCells(l.cells) + "\n";
                for (int i = 1; i < l.height; ++i) out += "\n";
                break;
            default: out += withGutters(layoutCells(l.cells), l) + "\n"; break;
        }
    }
    return out;
}

}  // namespace

std::string TextRenderer::page(const ReportDocument& doc, std::size_t index) {
    std::string out;
    doc.forEachPage([&](std::size_t p, const std::vector<Line>& lines) {
        if (p < index) return true;
        out = pageText(lines, std::size_t(doc.pageWidth()));
        return false;
    });
    return out;
}

void TextRenderer::eachPage(const ReportDocument& doc, const std::function<bool(const std::string&)>& sink) {
    doc.forEachPage([&](std::size_t, const std::vector<Line>& lines) {
        return sink(pageText(lines, std::size_t(doc.pageWidth())));
    });
}

std::vector<std::string> TextRenderer::pages(const ReportDocument& doc) {
    std::vector<std::string> out;
    out.reserve(doc.pageCount());
    eachPage(doc, [&out](const std::string& text) {
        out.push_back(text);
        return true;
    });
    return out;
}

void TextRenderer::render(const ReportDocument& doc, const std::string& path) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) throw host::EHostError("Não foi possível gravar '" + path + "'.");
    const std::size_t total = doc.pageCount();
    doc.forEachPage([&](std::size_t p, const std::vector<Line>& lines) {
        if (p) out << '\f';
        out << pageText(lines, std::size_t(doc.pageWidth()));
        progress(p + 1, total);
        return bool(out);
    });
    out.close();
    if (!out) throw host::EHostError("Erro de gravação em '" + path + "'.");
}

}  // namespace pla013::reports
