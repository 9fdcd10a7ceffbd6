#include "platform/db/internal/GeneratorText.h"

namespace pla013::db::internal {

std::string padded(long long value, int width) {
    std::string text = std::to_string(value);
    return text.size() < std::size_t(width) ? std::string(std::size_t(width) - text.size(), '0') + text : text;
}

int digits(long long value) { return int(std::to_string(value).size()); }

std::string decimal(long long units, int scale) {
    std::string text = std::to_string(units / scale);
    long long fraction = units % scale;
    if (fraction == 0) return text;
    std::string part = padded(fraction, digits(scale) - 1);
    while (part.back() == '0') part.pop_back();
    return text + "." + part;
}

std::string fit(const std::string& text, std::size_t max) {
    std::size_t chars = 0, i = 0;
    for (; i < text.size(); ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) {
            if (chars == max) break;
            ++chars;
        }
    }
    std::string out = text.substr(0, i);
    while (!out.empty() && out.back() == ' ') out.pop_back();
    return out;
}

std::string isoDate(int year, int month, int day) {
    return padded(year, 4) + "-" + padded(month, 2) + "-" + padded(day, 2);
}

std::string monthStart(int offset) { return isoDate(2024 + offset / 12, offset % 12 + 1, 1); }

}  // namespace pla013::db::internal
