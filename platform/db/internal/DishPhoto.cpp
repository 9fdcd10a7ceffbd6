#include "platform/db/internal/DishPhoto.h"

#include <algorithm>
#include <array>

namespace pla013::db::internal {

namespace {

std::uint32_t crc32(const std::string& bytes) {
    static const auto table = [] {
        std::array<std::uint32_t, 256> t{};
        for (std::uint32_t n = 0; n < 256; ++n) {
            std::uint32_t c = n;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[n] = c;
        }
        return t;
    }();
    std::uint32_t c = 0xFFFFFFFFu;
    for (unsigned char b : bytes) c = table[(c ^ b) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

void putBigEndian(std::string& out, std::uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) out += char((v >> shift) & 0xFF);
}

std::string base64(const std::string& bytes) {
    static const char* alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        std::uint32_t n = std::uint32_t(static_cast<unsigned char>(bytes[i])) << 16;
        if (i + 1 < bytes.size()) n |= std::uint32_t(static_cast<unsigned char>(bytes[i + 1])) << 8;
        if (i + 2 < bytes.size()) n |= static_cast<unsigned char>(bytes[i + 2]);
        out += alphabet[(n >> 18) & 63];
        out += alphabet[(n >> 12) & 63];
        out += i + 1 < bytes.size() ? alphabet[(n >> 6) & 63] : '=';
        out += i + 2 < bytes.size() ? alphabet[n & 63] : '=';
    }
    return out;
}

}  // namespace

// Stored (uncompressed) deflate blocks keep it free of a compression library.
std::string dishPhoto(std::uint32_t colour) {
    const int width = 48, height = 36;
    std::string raw;
    for (int y = 0; y < height; ++y) {
        raw += '\0';  // filter: none
        for (int x = 0; x < width; ++x) {
            const int dx = x - width / 2, dy = y - height / 2;
            const int d2 = dx * dx + dy * dy;
            std::uint32_t c = ((x / 6 + y / 6) % 2) ? 0xE8E2D0u : 0xC8D8E8u;
            if (d2 < 15 * 15) c = 0xF8F8F8u;
            if (d2 < 11 * 11) c = colour;
            raw += char(c >> 16);
            raw += char((c >> 8) & 0xFF);
            raw += char(c & 0xFF);
        }
    }
    std::string zlib = "\x78\x01";
    std::uint32_t a = 1, b = 0;
    for (unsigned char ch : raw) {
        a = (a + ch) % 65521;
        b = (b + a) % 65521;
    }
    for (std::size_t at = 0; at < raw.size(); at += 65535) {
        const std::size_t len = std::min<std::size_t>(65535, raw.size() - at);
        zlib += char(at + len == raw.size() ? 1 : 0);
        zlib += char(len & 0xFF);
        zlib += char(len >> 8);
        zlib += char(~len & 0xFF);
        zlib += char((~len >> 8) & 0xFF);
        zlib += raw.substr(at, len);
    }
    putBigEndian(zlib, (b << 16) | a);

    std::string png = "\x89PNG\r\n\x1a\n";
    auto chunk = [&png](const char* type, const std::string& data) {
        putBigEndian(png, std::uint32_t(data.size()));
        const std::string typed = std::string(type) + data;
        png += typed;
        putBigEndian(png, crc32(typed));
    };
    std::string header;
    putBigEndian(header, width);
    putBigEndian(header, height);
    header += std::string("\x08\x02\x00\x00\x00", 5);  // 8 bits, RGB
    chunk("IHDR", header);
    chunk("IDAT", zlib);
    chunk("IEND", "");
    return "data:image/png;base64," + base64(png);
}

}  // namespace pla013::db::internal
