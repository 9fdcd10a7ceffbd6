#include "platform/reports/CsvRenderer.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>

#include "host/Errors.h"
#include "platform/reports/ReportDocument.h"
#include "platform/reports/internal/ValueFormat.h"

namespace pla013::reports {

namespace {

std::string quote(const std::string& s) {
    std::string out = "\"";
    for (char c : s) {
        if (c == '"')
            out += "\"\"";
        else
            out += c;
    }
    return out + "\"";
}

bool needsQuotes(const std::string& s) {
    if (s.empty()) return false;
    if (s.front() == ' ' || s.back() == ' ') return true;
    return s.find_first_of(";\"\r\n") != std::string::npos;
}

std::string numberText(double v, const std::string& format) {
    if (internal::formatDecimals(format) >= 0)
        return internal::formatNumber(v, internal::formatDecimals(format), false, internal::formatMinDecimals(format));
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.15g", v);
    std::string s = buf;
    std::replace(s.begin(), s.end(), '.', ',');
    return s;
}

}  // namespace

std::string CsvRenderer::field(const std::string& text, bool isText) {
    if (isText && !text.empty() && (text[0] == '=' || text[0] == '+' || text[0] == '-' || text[0] == '@')) {
        const std::string guarded = "'" + text;
        return needsQuotes(guarded) ? quote(guarded) : guarded;
    }
    return needsQuotes(text) ? quote(text) : text;
}

void CsvRenderer::render(const ReportDocument& doc, const std::string& path) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) throw host::EHostError("Não foi possível gravar '" + path + "'.");
    out << "\xEF\xBB\xBF";
    const auto& cols = doc.dataColumns();
    for (std::size_t i = 0; i < cols.size(); ++i) out << (i ? ";" : "") << field(cols[i].caption, false);
    out << "\r\n";
    std::string line;
    const std::size_t total = doc.detailRowCount();
    std::size_t done = 0;
    doc.forEachDetailRow([&](const std::vector<host::Variant>& row) {
        if (++done % 1000 == 0) progress(done, total);
        line.clear();
        for (std::size_t i = 0; i < cols.size(); ++i) {
            if (i) line += ';';
            const host::Variant& v = row[std::size_t(cols[i].field)];
            using K = host::Variant::Kind;
            switch (v.kind()) {
                case K::Text: line += field(v.toString(), true); break;
                case K::Integer: line += std::to_string(v.toInt()); break;
                case K::Float: line += numberText(v.toDouble(), cols[i].format); break;
                case K::Date: {
                    double d = v.toDate();
                    line += internal::formatDate(d, d - std::floor(d) > 1e-9 ? "dd/mm/yyyy hh:nn:ss" : "dd/mm/yyyy");
                    break;
                }
                default: break;  // null: empty field
            }
        }
        line += "\r\n";
        out << line;
    });
    progress(total, total);
    out.close();
    if (!out) throw host::EHostError("Erro de gravação em '" + path + "'.");
}

}  // namespace pla013::reports
