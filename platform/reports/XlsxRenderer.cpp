#include "platform/reports/XlsxRenderer.h"

#include <map>
#include <memory>

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
        // A cell holds at most 32767 characters.
        const std::string& t = s.size() > 32000 ? internal::cutText(s, 32000, true) : s;
        check(worksheet_write_string(m_ws, r, c, t.c_str(), f), "texto");
    }
    void value(lxw_row_t r, lxw_col_t c, const Cell& cell, bool bold) {
        using K = host::Variant::Kind;
        const host::Variant& v = cell.value;
        switch (v.kind()) {
            case K::Integer:
            case K::Float:
                check(
                    worksheet_write_number(m_ws, r, c, v.toDouble(), number(excelFormat(cell.format, v.kind()), bold)),
                    "número");
                break;
            case K::Date:
                check(worksheet_write_number(m_ws, r, c, v.toDate(), number(excelFormat(cell.format, K::Date), bold)),
                      "data");
                break;
            case K::Text: text(r, c, v.toString(), bold ? m_bold : nullptr); break;
            default: break;
        }
    }
    lxw_worksheet* ws() const { return m_ws; }

private:
    lxw_workbook* m_wb;
    lxw_worksheet* m_ws;
    lxw_format *m_bold, *m_title, *m_header;
    std::map<std::pair<std::string, bool>, lxw_format*> m_formats;
};

}  // namespace

void XlsxRenderer::render(const ReportDocument& doc, const std::string& path) {
    lxw_workbook_options options{};
    options.constant_memory = LXW_TRUE;  // rows go out in order; memory stays flat
    lxw_workbook* raw = workbook_new_opt(path.c_str(), &options);
    if (!raw) throw host::EHostError("Não foi possível criar a planilha '" + path + "'.");
    std::unique_ptr<lxw_workbook, WorkbookCloser> wb(raw);
    std::string sheetName = doc.reportId().empty() ? "Relatorio" : doc.reportId().substr(0, 31);
    lxw_worksheet* ws = workbook_add_worksheet(raw, sheetName.c_str());
    if (!ws) throw host::EHostError("XLSX: não foi possível criar a folha '" + sheetName + "'.");
    Sheet sheet(raw, ws);

    const Line header = doc.columnHeaderLine();
    for (std::size_t i = 0; i < header.cells.size(); ++i)
        sheet.check(worksheet_set_column(ws, lxw_col_t(i), lxw_col_t(i), header.cells[i].width + 2, nullptr), "coluna");

    lxw_row_t r = 0;
    sheet.text(r++, 0, doc.titleText(), sheet.title());
    if (!doc.subtitleText().empty()) sheet.text(r++, 0, doc.subtitleText());
    for (const auto& f : doc.filterLines()) sheet.text(r++, 0, f);
    ++r;
    if (doc.showsColumnHeader()) {
        for (std::size_t i = 0; i < header.cells.size(); ++i)
            sheet.text(r, lxw_col_t(i), header.cells[i].text, sheet.header());
        ++r;
    }
    const std::size_t bands = doc.bandCount();
    std::size_t done = 0;
    doc.forEachBand([&](const Line& l) {
        if (++done % 1000 == 0) progress(done, bands);
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
            default:
                sheet.text(r++, 0, l.cells.empty() ? std::string() : l.cells.front().text,
                           l.bold ? sheet.bold() : nullptr);
                break;
        }
    });
    progress(bands, bands);
    ++r;
    sheet.text(r, 0, doc.printedAtText());
    lxw_error e = workbook_close(wb.release());
    if (e != LXW_NO_ERROR)
        throw host::EHostError("Não foi possível gravar a planilha '" + path + "': " + lxw_strerror(e) + ".");
}

}  // namespace pla013::reports
