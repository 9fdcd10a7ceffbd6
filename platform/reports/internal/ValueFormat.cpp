#include "platform/reports/internal/ValueFormat.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>

namespace pla013::reports::internal {

namespace {

std::string pad2(int v) {
    char b[8];
    std::snprintf(b, sizeof b, "%02d", v);
    return b;
}

bool isDatePattern(const std::string& f) {
    return f.find("dd") != std::string::npos || f.find("yyyy") != std::string::npos ||
           f.find("hh") != std::string::npos;
}

// The decimals of a number pattern: as many as it has places after the
// point, of which the '#' ones are shown only when they are not zero.
void numberPattern(const std::string& f, int& decimals, bool& grouping, int* minDecimals = nullptr) {
    grouping = f.rfind("#,##", 0) == 0;
    auto dot = f.find('.');
    decimals = dot == std::string::npos ? 0 : int(f.size() - dot - 1);
    if (minDecimals)
        *minDecimals =
            dot == std::string::npos
                ? 0
                : int(f.find('#', dot) == std::string::npos ? f.size() - dot - 1 : f.find('#', dot) - dot - 1);
}

}  // namespace

int formatDecimals(const std::string& format) {
    if (format.empty() || format == "text" || isDatePattern(format)) return -1;
    int decimals = 0;
    bool grouping = false;
    numberPattern(format, decimals, grouping);
    return decimals;
}

int formatMinDecimals(const std::string& format) {
    if (formatDecimals(format) < 0) return -1;
    int decimals = 0, least = 0;
    bool grouping = false;
    numberPattern(format, decimals, grouping, &least);
    return least;
}

std::string formatNumber(double value, int decimals, bool grouping, int minDecimals) {
    if (!std::isfinite(value)) return {};
    double rounded = std::fabs(roundHalfAway(value, decimals));
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*f", decimals, rounded);
    std::string s = buf;
    std::string intPart = s.substr(0, s.find('.'));
    std::string frac = decimals > 0 ? s.substr(s.find('.') + 1) : std::string();
    if (minDecimals >= 0)
        while (int(frac.size()) > minDecimals && frac.back() == '0') frac.pop_back();
    decimals = int(frac.size());
    std::string grouped;
    if (grouping) {
        int count = 0;
        for (auto it = intPart.rbegin(); it != intPart.rend(); ++it) {
            if (count && count % 3 == 0) grouped.insert(grouped.begin(), '.');
            grouped.insert(grouped.begin(), *it);
            ++count;
        }
    } else {
        grouped = intPart;
    }
    bool negative = value < 0 && rounded != 0;
    return (negative ? "-" : "") + grouped + (decimals > 0 ? "," + frac : std::string());
}

std::string formatDate(host::TDateTime value, const std::string& pattern) {
    int y = 0, m = 0, d = 0;
    host::DecodeDate(value, y, m, d);
    double frac = value - std::floor(value);
    long secs = std::lround(frac * 86400.0);
    if (secs >= 86400) secs = 86399;
    int hh = int(secs / 3600), nn = int(secs / 60 % 60), ss = int(secs % 60);
    static const char* const longDays[] = {"domingo",      "segunda-feira", "terça-feira", "quarta-feira",
                                           "quinta-feira", "sexta-feira",   "sábado"};
    static const char* const shortDays[] = {"dom", "seg", "ter", "qua", "qui", "sex", "sáb"};
    std::string out;
    for (std::size_t i = 0; i < pattern.size();) {
        auto at = [&](const char* t) { return pattern.compare(i, 2, t) == 0; };
        if (pattern.compare(i, 4, "yyyy") == 0) {
            out += std::to_string(y);
            i += 4;
        } else if (pattern.compare(i, 4, "dddd") == 0) {
            out += longDays[host::DayOfWeek(value) - 1];
            i += 4;
        } else if (pattern.compare(i, 3, "ddd") == 0) {
            out += shortDays[host::DayOfWeek(value) - 1];
            i += 3;
        } else if (at("dd")) {
            out += pad2(d);
            i += 2;
        } else if (at("mm")) {
            out += pad2(m);
            i += 2;
        } else if (at("hh")) {
            out += pad2(hh);
            i += 2;
        } else if (at("nn")) {
            out += pad2(nn);
            i += 2;
        } else if (at("ss")) {
            out += pad2(ss);
            i += 2;
        } else
            out += pattern[i++];
    }
    return out;
}

std::string formatValue(const host::Variant& value, const std::string& format) {
    using K = host::Variant::Kind;
    switch (value.kind()) {
        case K::Unassigned:
        case K::Null: return {};
        case K::Text: return value.toString();
        case K::Integer:
        case K::Float: {
            double v = value.toDouble();
            if (format.empty() || format == "text") {
                if (value.kind() == K::Integer) return std::to_string(value.toInt());
                return formatNumber(v, 2, true);
            }
            if (isDatePattern(format)) return formatDate(v, format);
            int decimals = 0;
            bool grouping = false;
            int least = 0;
            numberPattern(format, decimals, grouping, &least);
            return formatNumber(v, decimals, grouping, least);
        }
        case K::Date: {
            host::TDateTime d = value.toDate();
            if (!format.empty() && isDatePattern(format)) return formatDate(d, format);
            bool hasTime = d - std::floor(d) > 1e-9;
            return formatDate(d, hasTime ? "dd/mm/yyyy hh:nn" : "dd/mm/yyyy");
        }
        default: return value.toString();
    }
}

host::TDateTime nowLocal() {
    std::time_t t = std::time(nullptr);
    std::tm tm{};
    localtime_r(&t, &tm);
    return host::EncodeDate(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday) +
           (tm.tm_hour * 3600 + tm.tm_min * 60 + tm.tm_sec) / 86400.0;
}

std::size_t textWidth(const std::string& s) {
    std::size_t n = 0;
    for (unsigned char c : s)
        if ((c & 0xC0) != 0x80) ++n;
    return n;
}

std::string cutText(const std::string& s, std::size_t n, bool ellipsis) {
    if (textWidth(s) <= n) return s;
    std::size_t keep = ellipsis && n > 0 ? n - 1 : n;
    std::size_t count = 0, i = 0;
    for (; i < s.size(); ++i) {
        if ((static_cast<unsigned char>(s[i]) & 0xC0) != 0x80) {
            if (count == keep) break;
            ++count;
        }
    }
    std::string out = s.substr(0, i);
    if (ellipsis && n > 0) out += "\xE2\x80\xA6";
    return out;
}

std::string fitText(const std::string& s, std::size_t n, int align) {
    std::string t = cutText(s, n, true);
    std::size_t w = textWidth(t);
    if (w >= n) return t;
    std::size_t gap = n - w;
    if (align == 1) return std::string(gap, ' ') + t;
    if (align == 2) return std::string(gap / 2, ' ') + t + std::string(gap - gap / 2, ' ');
    return t + std::string(gap, ' ');
}

std::vector<std::string> wrapText(const std::string& s, std::size_t width) {
    std::vector<std::string> lines;
    if (width == 0) width = 1;
    std::size_t start = 0;
    while (start <= s.size()) {
        std::size_t nl = s.find('\n', start);
        std::string para = s.substr(start, nl == std::string::npos ? std::string::npos : nl - start);
        if (!para.empty() && para.back() == '\r') para.pop_back();
        // Words of the paragraph, packed greedily.
        std::string line;
        std::size_t i = 0;
        bool any = false;
        while (i < para.size()) {
            while (i < para.size() && para[i] == ' ') ++i;
            if (i >= para.size()) break;
            std::size_t j = para.find(' ', i);
            std::string word = para.substr(i, j == std::string::npos ? std::string::npos : j - i);
            i = j == std::string::npos ? para.size() : j;
            while (textWidth(word) > width) {  // a word longer than a line is split
                if (!line.empty()) {
                    lines.push_back(line);
                    line.clear();
                }
                std::string head = cutText(word, width, false);
                lines.push_back(head);
                word = word.substr(head.size());
            }
            if (word.empty()) continue;
            if (line.empty())
                line = word;
            else if (textWidth(line) + 1 + textWidth(word) <= width)
                line += " " + word;
            else {
                lines.push_back(line);
                line = word;
            }
            any = true;
        }
        if (!line.empty() || !any) lines.push_back(line);
        if (nl == std::string::npos) break;
        start = nl + 1;
    }
    return lines;
}

}  // namespace pla013::reports::internal
