#include "platform/reports/HtmlRenderer.h"

#include <fstream>

#include "host/Errors.h"
#include "platform/reports/ReportDocument.h"
#include "platform/reports/internal/Base64.h"

namespace pla013::reports {

namespace {

void escape(std::ostream& out, const std::string& s) {
    for (char c : s) {
        switch (c) {
            case '&': out << "&amp;"; break;
            case '<': out << "&lt;"; break;
            case '>': out << "&gt;"; break;
            case '"': out << "&quot;"; break;
            default: out << c;
        }
    }
}

const char* alignClass(Align a) { return a == Align::Right ? "r" : a == Align::Center ? "c" : "l"; }

std::string imageType(const std::string& bytes) {
    if (bytes.rfind("\x89PNG", 0) == 0) return "image/png";
    if (bytes.rfind("\xFF\xD8", 0) == 0) return "image/jpeg";
    if (bytes.rfind("GIF8", 0) == 0) return "image/gif";
    return "application/octet-stream";
}

const char* kStyle =
    "body{font-family:'DejaVu Sans',Arial,sans-serif;font-size:9pt;margin:0;background:#eee}"
    ".page{background:#fff;margin:12px auto;padding:16px 20px;max-width:1100px;page-break-after:always}"
    ".page:last-child{page-break-after:auto}"
    "header h1{font-size:13pt;margin:0;display:inline-block}header .id{float:right;font-weight:bold}"
    "header p{margin:2px 0;white-space:pre-wrap}.filter{color:#333}"
    "table{border-collapse:collapse;table-layout:fixed;width:100%;margin-top:8px}"
    "th{border-bottom:1px solid #000;text-align:left;font-weight:bold}"
    "td,th{padding:1px 4px;overflow:hidden;white-space:nowrap;text-overflow:ellipsis}"
    ".r{text-align:right}.c{text-align:center}.g{border-left:1px solid #888}"
    "tr.spans th{border-bottom:1px solid #999}"
    "tr.group td{font-weight:normal;padding-top:6px;white-space:pre}tr.group.b td{font-weight:bold}"
    "tr.memo td{white-space:pre-wrap}tr.memocap td{font-weight:bold}"
    "span.item{display:inline-block;overflow:hidden;text-overflow:ellipsis;vertical-align:top}"
    "tr.totals td{font-weight:bold;border-top:1px solid #999}"
    "tr.empty td{font-style:italic}"
    "footer{border-top:1px solid #000;margin-top:10px;padding-top:2px;display:flex;justify-content:space-between}"
    "@media print{body{background:#fff}.page{margin:0;padding:0;max-width:none}"
    "thead{display:table-header-group}tr{break-inside:avoid;page-break-inside:avoid}}";

// Each section is one page of the report; the printer's page follows the
// report's orientation.
const char* pageRule(bool landscape) {
    return landscape ? "@page{size:A4 landscape;margin:10mm}" : "@page{size:A4 portrait;margin:10mm}";
}

// Writes the lines of one page; the table opens at the first line that
// belongs in it and closes at the page footer.
class PageWriter {
public:
    PageWriter(std::ostream& out, const Line& header) : m_out(out), m_header(header) {}

    void write(const Line& l) {
        switch (l.style) {
            case LineStyle::Title:
                m_out << "<h1>";
                escape(m_out, l.cells.front().text);
                m_out << "</h1><span class=\"id\">";
                escape(m_out, l.right);
                m_out << "</span>";
                break;
            case LineStyle::Subtitle:
            case LineStyle::Filter:
                m_out << "<p class=\"" << (l.style == LineStyle::Filter ? "filter" : "subtitle") << "\">";
                escape(m_out, l.cells.front().text);
                m_out << "</p>";
                break;
            case LineStyle::Blank: break;
            case LineStyle::ColumnHeader: columnHeader(l); break;
            case LineStyle::Detail: detail(l); break;
            case LineStyle::Totals: totals(l); break;
            case LineStyle::Image: image(l); break;
            case LineStyle::PageFooter: footer(l); break;
            default: spanning(l); break;  // group texts, memo lines, the empty-report text
        }
    }

private:
    std::size_t columns() const { return m_header.cells.size(); }
    std::size_t span() const { return columns() ? columns() : 1; }

    void openTable() {
        if (m_inTable) return;
        m_out << "</header>\n<table>\n<colgroup>";
        for (const auto& c : m_header.cells) m_out << "<col style=\"width:" << c.width + 1 << "ch\">";
        if (!columns()) m_out << "<col>";
        m_out << "</colgroup>\n";
        m_inTable = true;
    }

    // The rows of the body; the column headers, when the page has them,
    // come first as the table's head, which printing repeats.
    void openBody() {
        openTable();
        if (m_inBody) return;
        m_out << "<tbody>\n";
        m_inBody = true;
    }

    // Whether a gutter runs just left of column i.
    bool gutterBefore(std::size_t i) const {
        if (i == 0 || i >= columns()) return false;
        const Cell& a = m_header.cells[i - 1];
        const Cell& b = m_header.cells[i];
        for (int g : m_header.gutters)
            if (g >= a.x + a.width && g < b.x) return true;
        return false;
    }

    void cells(const Line& l, const char* tag) {
        for (const auto& c : l.cells) {
            m_out << "<" << tag << " class=\"" << alignClass(c.align)
                  << (c.column >= 0 && gutterBefore(std::size_t(c.column)) ? " g" : "") << "\">";
            escape(m_out, c.text);
            m_out << "</" << tag << ">";
        }
    }

    void columnHeader(const Line& l) {
        openTable();
        m_out << "<thead>";
        if (!l.spans.empty()) spans(l);
        m_out << "<tr>";
        cells(l, "th");
        m_out << "</tr></thead>\n";
        openBody();
    }

    // The spanning headings, each over the columns it covers.
    void spans(const Line& l) {
        m_out << "<tr class=\"spans\">";
        std::size_t col = 0;
        for (const Cell& sp : l.spans) {
            std::size_t first = col, n = 0;
            while (first < columns() && m_header.cells[first].x < sp.x) ++first;
            if (first > col) m_out << "<th colspan=\"" << first - col << "\"></th>";
            while (first + n < columns() && m_header.cells[first + n].x < sp.x + sp.width) ++n;
            m_out << "<th colspan=\"" << std::max<std::size_t>(n, 1) << "\" class=\"c"
                  << (gutterBefore(first) ? " g" : "") << "\">";
            escape(m_out, sp.text);
            m_out << "</th>";
            col = first + std::max<std::size_t>(n, 1);
        }
        if (col < columns()) m_out << "<th colspan=\"" << columns() - col << "\"></th>";
        m_out << "</tr>";
    }

    void detail(const Line& l) {
        openBody();
        m_out << "<tr>";
        cells(l, "td");
        m_out << "</tr>\n";
    }

    void totals(const Line& l) {
        openBody();
        m_out << "<tr class=\"totals\">";
        // The caption spans the columns before the first figure.
        std::size_t firstCol = span();
        for (const auto& c : l.cells)
            if (c.column >= 0) firstCol = std::min(firstCol, std::size_t(c.column));
        std::string caption = (!l.cells.empty() && l.cells.front().column < 0) ? l.cells.front().text : "";
        if (firstCol > 0) {
            m_out << "<td colspan=\"" << firstCol << "\">";
            escape(m_out, caption);
            m_out << "</td>";
        }
        for (std::size_t col = firstCol; col < span() && columns(); ++col) {
            const Cell* found = nullptr;
            for (const auto& c : l.cells)
                if (c.column == int(col)) found = &c;
            m_out << "<td class=\"" << (found ? alignClass(found->align) : "l") << (gutterBefore(col) ? " g" : "")
                  << "\">";
            if (found) escape(m_out, found->text);
            m_out << "</td>";
        }
        m_out << "</tr>\n";
    }

    void image(const Line& l) {
        openBody();
        m_out << "<tr class=\"image\"><td colspan=\"" << span() << "\" style=\"padding-left:" << l.level * 2 << "ch\">";
        if (l.image && !l.image->bytes.empty()) {
            m_out << "<img alt=\"foto\" style=\"height:" << l.height * 1.3
                  << "em\" src=\"data:" << imageType(l.image->bytes) << ";base64,"
                  << internal::encodeBase64(l.image->bytes) << "\">";
        } else {
            escape(m_out, l.cells.front().text);
        }
        m_out << "</td></tr>\n";
    }

    void footer(const Line& l) {
        if (m_inTable)
            m_out << (m_inBody ? "</tbody>\n</table>\n" : "</table>\n");
        else
            m_out << "</header>\n";
        m_inTable = m_inBody = false;
        m_out << "<footer><span>";
        escape(m_out, l.cells.front().text);
        m_out << "</span><span>";
        escape(m_out, l.right);
        m_out << "</span></footer>\n";
    }

    void spanning(const Line& l) {
        openBody();
        const char* cls = l.style == LineStyle::Memo          ? "memo"
                          : l.style == LineStyle::MemoCaption ? "memocap"
                          : l.style == LineStyle::Empty       ? "empty"
                                                              : (l.bold ? "group b" : "group");
        m_out << "<tr class=\"" << cls << "\"><td colspan=\"" << span() << "\" style=\"padding-left:" << l.level * 2
              << "ch\">";
        if (l.cells.size() > 1) {
            // Items side by side (a compact list), each in its own width.
            for (const auto& c : l.cells) {
                m_out << "<span class=\"item\" style=\"width:" << c.width + 2 << "ch\">";
                escape(m_out, c.text);
                m_out << "</span>";
            }
        } else {
            escape(m_out, l.cells.empty() ? std::string() : l.cells.front().text);
        }
        m_out << "</td></tr>\n";
    }

    std::ostream& m_out;
    const Line& m_header;
    bool m_inTable = false;
    bool m_inBody = false;
};

}  // namespace

void HtmlRenderer::render(const ReportDocument& doc, const std::string& path) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) throw host::EHostError("Não foi possível gravar '" + path + "'.");
    out << "<!DOCTYPE html>\n<html lang=\"pt-BR\">\n<head>\n<meta charset=\"utf-8\">\n<title>";
    escape(out, doc.titleText());
    out << "</title>\n<style>" << kStyle << pageRule(doc.landscape()) << "</style>\n</head>\n<body>\n";

    const Line header = doc.columnHeaderLine();
    const std::size_t total = doc.pageCount();
    doc.forEachPage([&](std::size_t p, const std::vector<Line>& lines) {
        out << "<section class=\"page\">\n<header>";
        PageWriter page(out, header);
        for (const Line& l : lines) page.write(l);
        out << "</section>\n";
        progress(p + 1, total);
        return bool(out);
    });
    out << "</body>\n</html>\n";
    out.close();
    if (!out) throw host::EHostError("Erro de gravação em '" + path + "'.");
}

}  // namespace pla013::reports
