#include "platform/reports/XlsxRenderer.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <map>
#include <memory>
#include <string_view>
#include <vector>

#include <xlsxwriter.h>

#include "host/Errors.h"
#include "platform/reports/ReportDocument.h"
#include "platform/reports/internal/ValueFormat.h"

namespace pla013::reports {

namespace {

struct WorkbookCloser {
    void operator()(lxw_workbook* wb) const {
        if (wb) workbook_close(wb);
    }
};

// Our number and date patterns in the spreadsheet's notation.
std::string excelFormat(const std::string& format, host::Variant::Kind kind) {
    if (format.empty()) {
        if (kind == host::Variant::Kind::Float) return "#,##0.00";
        if (kind == host::Variant::Kind::Date) return "dd/mm/yyyy";
        return {};
    }
    if (format == "text") return {};
    std::string out;
    for (std::size_t i = 0; i < format.size(); ++i) {
        if (format.compare(i, 2, "nn") == 0) {
            out += "mm";  // minutes
            ++i;
        } else {
            out += format[i];
        }
    }
    return out;
}

class Sheet {
public:
    Sheet(lxw_workbook* wb, lxw_worksheet* ws) : m_wb(wb), m_ws(ws) {
        m_bold = workbook_add_format(wb);
        format_set_bold(m_bold);
        m_title = workbook_add_format(wb);
        format_set_bold(m_title);
        format_set_font_size(m_title, 14);
        m_header = workbook_add_format(wb);
        format_set_bold(m_header);
        format_set_bottom(m_header, LXW_BORDER_THIN);
    }
    lxw_format* bold() const { return m_bold; }
    lxw_format* title() const { return m_title; }
    lxw_format* header() const { return m_header; }
    lxw_format* number(const std::string& pattern, bool bold) {
        if (pattern.empty()) return bold ? m_bold : nullptr;
        auto key = std::make_pair(pattern, bold);
        auto it = m_formats.find(key);
        if (it != m_formats.end()) return it->second;
        lxw_format* f = workbook_add_format(m_wb);
        format_set_num_format(f, pattern.c_str());
        if (bold) format_set_bold(f);
        m_formats.emplace(key, f);
        return f;
    }
    void check(lxw_error e, const char* what) const {
        if (e != LXW_NO_ERROR) throw host::EHostError(std::string("XLSX: ") + what + ": " + lxw_strerror(e));
    }
    void text(lxw_row_t r, lxw_col_t c, const std::string& s, lxw_format* f = nullptr) {
        if (s.empty()) return;
        // A cell holds at most 32767 characters (the engine's values are
        // already cut so; texts made of them, such as captions, may not be).
        const std::string t = internal::cutText(s, 32767, true);
        check(worksheet_write_string(m_ws, r, c, t.c_str(), f), "texto");
    }
    // A value as the spreadsheet's own kind: numbers and dates as numbers
    // with the column's format, texts (codes included) as strings.
    void value(lxw_row_t r, lxw_col_t c, const host::Variant& v, const std::string& format, bool bold) {
        using K = host::Variant::Kind;
        switch (v.kind()) {
            case K::Integer:
            case K::Float:
                check(worksheet_write_number(m_ws, r, c, v.toDouble(), number(excelFormat(format, v.kind()), bold)),
                      "número");
                break;
            case K::Date: {
                const double d = v.toDate();
                const bool timed = format.empty() && d != std::floor(d);
                check(worksheet_write_number(m_ws, r, c, d,
                                             number(timed ? "dd/mm/yyyy hh:mm" : excelFormat(format, K::Date), bold)),
                      "data");
                break;
            }
            case K::Text: text(r, c, v.toString(), bold ? m_bold : nullptr); break;
            default: break;
        }
    }
    void value(lxw_row_t r, lxw_col_t c, const Cell& cell, bool bold) { value(r, c, cell.value, cell.format, bold); }
    lxw_worksheet* ws() const { return m_ws; }

private:
    lxw_workbook* m_wb;
    lxw_worksheet* m_ws;
    lxw_format *m_bold, *m_title, *m_header;
    std::map<std::pair<std::string, bool>, lxw_format*> m_formats;
};

// The printed layout's sheet, when the data sheet is not named so already.
constexpr const char* kLayoutSheet = "Impressão";

// A sheet name from the report's title: at most 31 characters, none of
// [ ] : * ? / \, no apostrophe at either end (the spreadsheet's rules).
std::string sheetName(const std::string& title, const std::string& fallback) {
    std::string name;
    for (char c : title) {
        const bool forbidden = std::string_view("[]:*?/\\").find(c) != std::string_view::npos;
        const char out = forbidden || c == '\t' || c == '\n' || c == '\r' ? ' ' : c;
        if (out == ' ' && (name.empty() || name.back() == ' ')) continue;
        name += out;
    }
    auto trim = [](std::string& s) {
        while (!s.empty() && (s.back() == ' ' || s.back() == '\'')) s.pop_back();
        std::size_t lead = s.find_first_not_of(" '");
        s.erase(0, lead == std::string::npos ? s.size() : lead);
    };
    trim(name);
    std::string cut = internal::cutText(name, LXW_SHEETNAME_MAX, false);
    // A name cut inside a word ends at the word before, when that leaves most of it.
    if (cut.size() < name.size() && name[cut.size()] != ' ') {
        const std::size_t blank = cut.rfind(' ');
        if (blank != std::string::npos && internal::textWidth(cut.substr(0, blank)) >= 16) cut.erase(blank);
    }
    name = cut;
    trim(name);
    if (name.empty()) name = fallback;
    return name;
}

void writeData(Sheet& sheet, const ReportDocument& doc, const std::function<void(std::size_t)>& onRow) {
    lxw_worksheet* ws = sheet.ws();
    const auto& cols = doc.dataColumns();
    std::vector<std::size_t> widths(cols.size());
    for (std::size_t i = 0; i < cols.size(); ++i) {
        widths[i] = internal::textWidth(cols[i].caption);
        sheet.text(0, lxw_col_t(i), cols[i].caption, sheet.header());
    }
    lxw_row_t r = 1;
    doc.forEachDetailRow([&](const std::vector<host::Variant>& row) {
        for (std::size_t i = 0; i < cols.size(); ++i) {
            const host::Variant& v = row[std::size_t(cols[i].field)];
            sheet.value(r, lxw_col_t(i), v, cols[i].format, false);
            widths[i] = std::max(widths[i], std::min<std::size_t>(60, ReportDocument::text(v, cols[i].format).size()));
        }
        onRow(r++);
    });
    for (std::size_t i = 0; i < cols.size(); ++i)
        sheet.check(worksheet_set_column(ws, lxw_col_t(i), lxw_col_t(i), double(widths[i] + 2), nullptr), "coluna");
    worksheet_freeze_panes(ws, 1, 0);
    if (!cols.empty()) sheet.check(worksheet_autofilter(ws, 0, 0, r - 1, lxw_col_t(cols.size() - 1)), "filtro");
    worksheet_repeat_rows(ws, 0, 0);
}

void setUpPage(lxw_worksheet* ws, bool landscape) {
    worksheet_set_paper(ws, 9);  // A4
    if (landscape)
        worksheet_set_landscape(ws);
    else
        worksheet_set_portrait(ws);
    worksheet_fit_to_pages(ws, 1, 0);  // the columns on one page wide
}

}  // namespace

void XlsxRenderer::render(const ReportDocument& doc, const std::string& path) {
    lxw_workbook_options options{};
    options.constant_memory = LXW_TRUE;  // rows go out in order; memory stays flat
    lxw_workbook* raw = workbook_new_opt(path.c_str(), &options);
    if (!raw) throw host::EHostError("Não foi possível criar a planilha '" + path + "'.");
    std::unique_ptr<lxw_workbook, WorkbookCloser> wb(raw);

    const std::string dataName =
        sheetName(doc.titleText(), doc.reportId().empty() ? std::string("Relatório") : doc.reportId());
    lxw_worksheet* dataWs = workbook_add_worksheet(raw, dataName.c_str());
    if (!dataWs) throw host::EHostError("XLSX: não foi possível criar a folha '" + dataName + "'.");
    Sheet data(raw, dataWs);
    setUpPage(dataWs, true);
    const std::size_t rows = doc.detailRowCount();
    const std::size_t bands = doc.bandCount();
    const std::size_t total = rows + bands;
    writeData(data, doc, [&](std::size_t done) {
        if (done % 1000 == 0) progress(done, total);
    });

    const std::string layoutName = dataName == kLayoutSheet ? "Impressão 2" : kLayoutSheet;
    lxw_worksheet* ws = workbook_add_worksheet(raw, layoutName.c_str());
    if (!ws) throw host::EHostError("XLSX: não foi possível criar a folha '" + layoutName + "'.");
    Sheet sheet(raw, ws);
    setUpPage(ws, doc.landscape());

    const Line header = doc.columnHeaderLine();
    for (std::size_t i = 0; i < header.cells.size(); ++i)
        sheet.check(worksheet_set_column(ws, lxw_col_t(i), lxw_col_t(i), header.cells[i].width + 2, nullptr), "coluna");

    lxw_row_t r = 0;
    sheet.text(r++, 0, doc.titleText(), sheet.title());
    if (!doc.subtitleText().empty()) sheet.text(r++, 0, doc.subtitleText());
    for (const auto& f : doc.filterLines()) sheet.text(r++, 0, f);
    ++r;
    if (doc.showsColumnHeader()) {
        // The spanning headings, each at the first column it covers.
        for (const Cell& sp : header.spans)
            for (std::size_t i = 0; i < header.cells.size(); ++i)
                if (header.cells[i].x >= sp.x) {
                    sheet.text(r, lxw_col_t(i), sp.text, sheet.header());
                    break;
                }
        if (!header.spans.empty()) ++r;
        for (std::size_t i = 0; i < header.cells.size(); ++i)
            sheet.text(r, lxw_col_t(i), header.cells[i].text, sheet.header());
        ++r;
    }
    std::size_t done = rows;
    doc.forEachBand([&](const Line& l) {
        if (++done % 1000 == 0) progress(done, total);
        switch (l.style) {
            case LineStyle::Detail:
                for (const auto& c : l.cells) sheet.value(r, lxw_col_t(c.column), c, false);
                ++r;
                break;
            case LineStyle::Totals:
                for (const auto& c : l.cells) {
                    if (c.column < 0)
                        sheet.text(r, 0, c.text, sheet.bold());
                    else
                        sheet.value(r, lxw_col_t(c.column), c, true);
                }
                ++r;
                break;
            case LineStyle::Image:
                if (l.image && !l.image->bytes.empty()) {
                    lxw_image_options io{};
                    io.object_position = LXW_OBJECT_MOVE_DONT_SIZE;
                    lxw_error e = worksheet_insert_image_buffer_opt(
                        ws, r, 0, reinterpret_cast<const unsigned char*>(l.image->bytes.data()), l.image->bytes.size(),
                        &io);
                    if (e != LXW_NO_ERROR) sheet.text(r, 0, "(foto em formato não suportado)");
                    r += lxw_row_t(l.height);
                } else {
                    sheet.text(r++, 0, l.cells.front().text);
                }
                break;
            default: {
                // Items side by side (a compact list) go into one cell.
                std::string text;
                for (const auto& c : l.cells) text += (text.empty() ? "" : "   ") + c.text;
                sheet.text(r++, 0, text, l.bold ? sheet.bold() : nullptr);
                break;
            }
        }
    });
    progress(total, total);
    ++r;
    sheet.text(r, 0, doc.printedAtText());
    lxw_error e = workbook_close(wb.release());
    if (e != LXW_NO_ERROR)
        throw host::EHostError("Não foi possível gravar a planilha '" + path + "': " + lxw_strerror(e) + ".");
}

}  // namespace pla013::reports
