#include "platform/reports/internal/PdfImage.h"

#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>

namespace pla013::reports::internal {

namespace {

std::uint32_t be32(const std::string& b, std::size_t at) {
    return (std::uint32_t(std::uint8_t(b[at])) << 24) | (std::uint32_t(std::uint8_t(b[at + 1])) << 16) |
           (std::uint32_t(std::uint8_t(b[at + 2])) << 8) | std::uint8_t(b[at + 3]);
}

bool jpeg(const std::string& b, PdfImage& out) {
    JpegFrame f;
    if (!readJpegFrame(b, f) || f.width <= 0 || f.height <= 0 || f.bits != 8) return false;
    const char* space = f.components == 1   ? "/DeviceGray"
                        : f.components == 3 ? "/DeviceRGB"
                        : f.components == 4 ? "/DeviceCMYK"
                                            : nullptr;
    if (!space) return false;
    out.dictionary = "/Type /XObject /Subtype /Image /Width " + std::to_string(f.width) + " /Height " +
                     std::to_string(f.height) + " /ColorSpace " + space + " /BitsPerComponent 8 /Filter /DCTDecode";
    // CMYK JPEGs of the usual editors store their inks inverted.
    if (f.components == 4 && f.adobe) out.dictionary += " /Decode [1 0 1 0 1 0 1 0]";
    out.data = b;
    return true;
}

int paeth(int a, int b, int c) {
    const int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
    return pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
}

// The pixels of a PNG as 8-bit RGB, transparency laid over white: every
// colour type and depth, interlaced (Adam7) or not.
bool decodePng(const std::string& idat, std::uint32_t width, std::uint32_t height, int depth, int type, int interlace,
               const std::string& palette, std::string& rgb) {
    const int channels = type == 0 ? 1 : type == 2 ? 3 : type == 3 ? 1 : type == 4 ? 2 : 4;
    const std::size_t bitsPerPixel = std::size_t(channels) * depth;
    const std::size_t bpp = std::max<std::size_t>(1, bitsPerPixel / 8);
    // The passes: the whole image, or Adam7's seven.
    struct Pass {
        std::uint32_t x0, y0, dx, dy;
    };
    static const Pass whole[] = {{0, 0, 1, 1}};
    static const Pass adam7[] = {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4},
                                 {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}};
    const Pass* passes = interlace ? adam7 : whole;
    const int passCount = interlace ? 7 : 1;
    std::size_t rawSize = 0;
    for (int p = 0; p < passCount; ++p) {
        const std::uint32_t w = (width - passes[p].x0 + passes[p].dx - 1) / passes[p].dx;
        const std::uint32_t h = (height - passes[p].y0 + passes[p].dy - 1) / passes[p].dy;
        if (passes[p].x0 >= width || passes[p].y0 >= height) continue;
        rawSize += std::size_t(h) * (1 + (std::size_t(w) * bitsPerPixel + 7) / 8);
    }
    std::vector<unsigned char> raw(rawSize);
    uLongf got = uLongf(raw.size());
    if (uncompress(raw.data(), &got, reinterpret_cast<const Bytef*>(idat.data()), uLong(idat.size())) != Z_OK ||
        got != raw.size())
        return false;
    rgb.assign(std::size_t(width) * height * 3, char(255));
    const int maxValue = (1 << std::min(depth, 8)) - 1;
    std::size_t at = 0;
    for (int p = 0; p < passCount; ++p) {
        if (passes[p].x0 >= width || passes[p].y0 >= height) continue;
        const std::uint32_t w = (width - passes[p].x0 + passes[p].dx - 1) / passes[p].dx;
        const std::uint32_t h = (height - passes[p].y0 + passes[p].dy - 1) / passes[p].dy;
        const std::size_t stride = (std::size_t(w) * bitsPerPixel + 7) / 8;
        std::vector<unsigned char> prev(stride, 0), row(stride);
        for (std::uint32_t y = 0; y < h; ++y) {
            const unsigned char* in = &raw[at];
            at += stride + 1;
            const int filter = in[0];
            ++in;
            for (std::size_t i = 0; i < stride; ++i) {
                const int a = i >= bpp ? row[i - bpp] : 0, up = prev[i], c = i >= bpp ? prev[i - bpp] : 0;
                int v = in[i];
                switch (filter) {
                    case 0: break;
                    case 1: v += a; break;
                    case 2: v += up; break;
                    case 3: v += (a + up) / 2; break;
                    case 4: v += paeth(a, up, c); break;
                    default: return false;
                }
                row[i] = static_cast<unsigned char>(v);
            }
            // Sample k of pixel x (the high byte of 16-bit samples).
            auto sample = [&](std::uint32_t x, int k) -> int {
                if (depth >= 8) return row[(std::size_t(x) * channels + k) * (depth / 8)];
                const std::size_t bit = std::size_t(x) * depth;
                return (row[bit / 8] >> (8 - depth - bit % 8)) & maxValue;
            };
            for (std::uint32_t x = 0; x < w; ++x) {
                int r, g, bl, alpha = 255;
                if (type == 3) {
                    const std::size_t i = std::size_t(sample(x, 0)) * 3;
                    if (i + 2 >= palette.size()) return false;
                    r = std::uint8_t(palette[i]), g = std::uint8_t(palette[i + 1]), bl = std::uint8_t(palette[i + 2]);
                } else if (type == 0 || type == 4) {
                    r = g = bl = depth < 8 ? sample(x, 0) * 255 / maxValue : sample(x, 0);
                    if (type == 4) alpha = sample(x, 1);
                } else {
                    r = sample(x, 0), g = sample(x, 1), bl = sample(x, 2);
                    if (type == 6) alpha = sample(x, 3);
                }
                const std::size_t o = (std::size_t(passes[p].y0 + y * passes[p].dy) * width + passes[p].x0 +
                                       std::size_t(x) * passes[p].dx) *
                                      3;
                rgb[o] = char((r * alpha + 255 * (255 - alpha)) / 255);
                rgb[o + 1] = char((g * alpha + 255 * (255 - alpha)) / 255);
                rgb[o + 2] = char((bl * alpha + 255 * (255 - alpha)) / 255);
            }
            prev.swap(row);
        }
    }
    return true;
}

bool png(const std::string& b, PdfImage& out) {
    if (b.size() < 33 || b.compare(0, 8, "\x89PNG\r\n\x1a\n") != 0) return false;
    std::uint32_t width = 0, height = 0;
    int depth = 0, type = -1, interlace = 0;
    std::string palette, idat;
    for (std::size_t at = 8; at + 12 <= b.size();) {
        const std::uint32_t length = be32(b, at);
        if (length > b.size() - at - 12) return false;
        const std::string kind = b.substr(at + 4, 4);
        const std::size_t data = at + 8;
        if (kind == "IHDR" && length >= 13) {
            width = be32(b, data);
            height = be32(b, data + 4);
            depth = std::uint8_t(b[data + 8]);
            type = std::uint8_t(b[data + 9]);
            interlace = std::uint8_t(b[data + 12]);
        } else if (kind == "PLTE") {
            palette = b.substr(data, length);
        } else if (kind == "IDAT") {
            idat.append(b, data, length);
        } else if (kind == "IEND") {
            break;
        }
        at += 12 + length;
    }
    const int channels = type == 0 ? 1 : type == 2 ? 3 : type == 3 ? 1 : type == 4 ? 2 : type == 6 ? 4 : 0;
    if (!channels || width == 0 || height == 0 || width > 30000 || height > 30000 || idat.empty() || interlace > 1)
        return false;
    if (depth != 1 && depth != 2 && depth != 4 && depth != 8 && depth != 16) return false;
    if (type == 3 && (palette.size() < 3 || depth == 16)) return false;
    if ((type == 2 || type == 4 || type == 6) && depth < 8) return false;  // not a PNG
    const std::string size =
        "/Type /XObject /Subtype /Image /Width " + std::to_string(width) + " /Height " + std::to_string(height);

    // Grey, RGB and palette images: PDF undoes the PNG predictors itself.
    if ((type == 0 || type == 2 || type == 3) && !interlace) {
        std::string space = type == 0 ? "/DeviceGray" : type == 2 ? "/DeviceRGB" : "";
        if (type == 3) {
            static const char* const hex = "0123456789ABCDEF";
            const std::size_t entries = std::min<std::size_t>(palette.size() / 3, std::size_t(1) << depth);
            space = "[/Indexed /DeviceRGB " + std::to_string(entries - 1) + " <";
            for (std::size_t i = 0; i < entries * 3; ++i) {
                space.push_back(hex[std::uint8_t(palette[i]) >> 4]);
                space.push_back(hex[std::uint8_t(palette[i]) & 15]);
            }
            space += ">]";
        }
        out.dictionary = size + " /ColorSpace " + space + " /BitsPerComponent " + std::to_string(depth) +
                         " /Filter /FlateDecode /DecodeParms << /Predictor 15 /Colors " + std::to_string(channels) +
                         " /BitsPerComponent " + std::to_string(depth) + " /Columns " + std::to_string(width) + " >>";
        out.data = std::move(idat);
        return true;
    }

    // With transparency, or interlaced: decoded, laid over white, and
    // compressed as RGB.
    // A photo of a dish is small: no header makes this decode gigabytes.
    if (std::uint64_t(width) * height > (std::uint64_t(1) << 24)) return false;
    std::string rgb;
    if (!decodePng(idat, width, height, depth, type, interlace, palette, rgb)) return false;
    uLongf packed = compressBound(uLong(rgb.size()));
    out.data.resize(packed);
    if (compress2(reinterpret_cast<Bytef*>(out.data.data()), &packed, reinterpret_cast<const Bytef*>(rgb.data()),
                  uLong(rgb.size()), Z_DEFAULT_COMPRESSION) != Z_OK)
        return false;
    out.data.resize(packed);
    out.dictionary = size + " /ColorSpace /DeviceRGB /BitsPerComponent 8 /Filter /FlateDecode";
    return true;
}

}  // namespace

bool readJpegFrame(const std::string& b, JpegFrame& out) {
    if (b.size() < 4 || std::uint8_t(b[0]) != 0xFF || std::uint8_t(b[1]) != 0xD8) return false;
    auto be16 = [&b](std::size_t at) { return (unsigned(std::uint8_t(b[at])) << 8) | std::uint8_t(b[at + 1]); };
    std::size_t at = 2;
    out.adobe = false;
    while (at + 4 <= b.size()) {
        if (std::uint8_t(b[at]) != 0xFF) return false;
        const unsigned marker = std::uint8_t(b[at + 1]);
        if (marker == 0xFF) {
            ++at;
            continue;
        }
        if (marker == 0xD8 || (marker >= 0xD0 && marker <= 0xD7) || marker == 0x01) {
            at += 2;
            continue;
        }
        const unsigned length = be16(at + 2);
        if (marker == 0xEE && b.compare(at + 4, 5, "Adobe") == 0) out.adobe = true;
        if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC) {
            if (at + 10 > b.size()) return false;
            out.bits = std::uint8_t(b[at + 4]);
            out.height = int(be16(at + 5));
            out.width = int(be16(at + 7));
            out.components = std::uint8_t(b[at + 9]);
            return true;
        }
        if (marker == 0xD9 || marker == 0xDA || length < 2) return false;
        at += 2 + length;
    }
    return false;
}

bool makePdfImage(const std::string& bytes, PdfImage& out) { return jpeg(bytes, out) || png(bytes, out); }

}  // namespace pla013::reports::internal
