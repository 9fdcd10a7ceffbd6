#include "platform/reports/internal/TrueTypeFont.h"

#include <algorithm>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>

#include "host/Errors.h"

namespace pla013::reports::internal {

namespace {

std::uint16_t u16(std::string_view d, std::size_t at) {
    if (at + 2 > d.size()) throw std::out_of_range("ttf");
    return std::uint16_t((std::uint8_t(d[at]) << 8) | std::uint8_t(d[at + 1]));
}
std::int16_t s16(std::string_view d, std::size_t at) { return std::int16_t(u16(d, at)); }
std::uint32_t u32(std::string_view d, std::size_t at) { return (std::uint32_t(u16(d, at)) << 16) | u16(d, at + 2); }

void put16(std::string& out, std::uint32_t v) {
    out.push_back(char((v >> 8) & 0xFF));
    out.push_back(char(v & 0xFF));
}
void put32(std::string& out, std::uint32_t v) {
    put16(out, v >> 16);
    put16(out, v & 0xFFFF);
}
void set16(std::string& s, std::size_t at, std::uint32_t v) {
    s[at] = char((v >> 8) & 0xFF);
    s[at + 1] = char(v & 0xFF);
}

std::uint32_t checksum(std::string_view t) {
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i < t.size(); i += 4) {
        std::uint32_t word = 0;
        for (std::size_t k = 0; k < 4; ++k) word = (word << 8) | (i + k < t.size() ? std::uint8_t(t[i + k]) : 0);
        sum += word;
    }
    return sum;
}

// Composite glyphs: calls f(offset of the component's glyph index) per component.
template <class F>
void forEachComponent(std::string_view glyph, F&& f) {
    if (glyph.size() < 10 || s16(glyph, 0) >= 0) return;
    std::size_t at = 10;
    for (;;) {
        const std::uint16_t flags = u16(glyph, at);
        f(at + 2);
        at += 4 + ((flags & 0x0001) ? 4 : 2);
        if (flags & 0x0008)
            at += 2;
        else if (flags & 0x0040)
            at += 4;
        else if (flags & 0x0080)
            at += 8;
        if (!(flags & 0x0020)) break;
    }
}

}  // namespace

std::shared_ptr<const TrueTypeFont> TrueTypeFont::load(const std::string& path) {
    static std::mutex mutex;
    static std::map<std::string, std::shared_ptr<const TrueTypeFont>> fonts;
    std::lock_guard lock(mutex);
    auto it = fonts.find(path);
    if (it != fonts.end()) return it->second;
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw host::EHostError("A fonte das páginas não foi encontrada (" + path +
                               "): instale o pacote de fontes DejaVu.");
    std::ostringstream bytes;
    bytes << in.rdbuf();
    auto font = std::make_shared<const TrueTypeFont>(bytes.str(), path);
    fonts.emplace(path, font);
    return font;
}

TrueTypeFont::TrueTypeFont(std::string bytes, const std::string& path) : m_bytes(std::move(bytes)) {
    try {
        const std::string_view d = m_bytes;
        const std::uint16_t count = u16(d, 4);
        for (std::uint16_t i = 0; i < count; ++i) {
            const std::size_t rec = 12 + 16 * std::size_t(i);
            const std::uint32_t off = u32(d, rec + 8), len = u32(d, rec + 12);
            if (std::size_t(off) + len > d.size()) throw std::out_of_range("ttf");
            m_tables.emplace(std::string(d.substr(rec, 4)), d.substr(off, len));
        }
        const std::string_view head = table("head"), hhea = table("hhea"), maxp = table("maxp");
        const std::string_view hmtx = table("hmtx"), cmap = table("cmap");
        if (head.empty() || hhea.empty() || maxp.empty() || hmtx.empty() || cmap.empty() || table("glyf").empty() ||
            table("loca").empty())
            throw std::out_of_range("ttf");
        m_unitsPerEm = std::max<int>(16, u16(head, 18));
        for (int k = 0; k < 4; ++k) m_bbox[k] = s16(head, 36 + 2 * std::size_t(k));
        m_longLoca = s16(head, 50) == 1;
        m_ascender = s16(hhea, 4);
        m_descender = -s16(hhea, 6);
        m_glyphCount = u16(maxp, 4);
        const std::string_view os2 = table("OS/2");
        m_capHeight = os2.size() >= 90 && u16(os2, 0) >= 2 ? s16(os2, 88) : m_ascender;

        const std::uint16_t metrics = std::min(u16(hhea, 34), m_glyphCount);
        m_advances.resize(m_glyphCount);
        m_lsb.resize(m_glyphCount);
        for (std::uint16_t g = 0; g < m_glyphCount; ++g) {
            if (g < metrics) {
                m_advances[g] = u16(hmtx, 4 * std::size_t(g));
                m_lsb[g] = s16(hmtx, 4 * std::size_t(g) + 2);
            } else {
                m_advances[g] = metrics ? m_advances[metrics - 1] : 0;
                const std::size_t at = 4 * std::size_t(metrics) + 2 * std::size_t(g - metrics);
                m_lsb[g] = at + 2 <= hmtx.size() ? s16(hmtx, at) : 0;
            }
        }

        // Unicode subtables: format 4 (BMP) and, when present, format 12.
        m_bmp.assign(0x10000, 0);
        std::string_view fmt4, fmt12;
        for (std::uint16_t i = 0, n = u16(cmap, 2); i < n; ++i) {
            const std::uint16_t platform = u16(cmap, 4 + 8 * std::size_t(i)),
                                encoding = u16(cmap, 6 + 8 * std::size_t(i));
            const std::string_view sub = cmap.substr(u32(cmap, 8 + 8 * std::size_t(i)));
            const std::uint16_t format = u16(sub, 0);
            const bool unicode = platform == 0 || (platform == 3 && (encoding == 1 || encoding == 10));
            if (!unicode) continue;
            if (format == 4 && fmt4.empty()) fmt4 = sub;
            if (format == 12 && fmt12.empty()) fmt12 = sub;
        }
        if (!fmt4.empty()) {
            const std::size_t segs = u16(fmt4, 6) / 2;
            const std::size_t ends = 14, starts = 16 + 2 * segs, deltas = starts + 2 * segs, ranges = deltas + 2 * segs;
            for (std::size_t s = 0; s < segs; ++s) {
                const std::uint32_t end = u16(fmt4, ends + 2 * s), start = u16(fmt4, starts + 2 * s);
                const std::uint16_t delta = u16(fmt4, deltas + 2 * s), range = u16(fmt4, ranges + 2 * s);
                for (std::uint32_t c = start; c <= end && c < 0xFFFF; ++c) {
                    std::uint16_t g;
                    if (range == 0) {
                        g = std::uint16_t(c + delta);
                    } else {
                        const std::size_t at = ranges + 2 * s + range + 2 * (c - start);
                        g = at + 2 <= fmt4.size() ? u16(fmt4, at) : 0;
                        if (g) g = std::uint16_t(g + delta);
                    }
                    m_bmp[c] = g < m_glyphCount ? g : 0;
                }
            }
        }
        if (!fmt12.empty()) {
            for (std::uint32_t i = 0, n = u32(fmt12, 12); i < n; ++i) {
                const std::size_t at = 16 + 12 * std::size_t(i);
                const std::uint32_t start = u32(fmt12, at), end = u32(fmt12, at + 4), first = u32(fmt12, at + 8);
                for (std::uint32_t c = start; c <= end && c <= 0x10FFFF; ++c) {
                    const std::uint32_t g = first + (c - start);
                    if (g >= m_glyphCount) continue;
                    if (c < 0x10000)
                        m_bmp[c] = std::uint16_t(g);
                    else
                        m_astral[c] = std::uint16_t(g);
                }
            }
        }

        // Control characters (a tab or a line break in a name) take the
        // blank's place and width.
        for (char32_t c = 0; c < 0x20; ++c)
            if (!m_bmp[c]) m_bmp[c] = m_bmp[' '];
        if (!m_bmp[0x7F]) m_bmp[0x7F] = m_bmp[' '];

        // The PostScript name (name 6), for the PDF's font name.
        const std::string_view name = table("name");
        if (!name.empty()) {
            const std::size_t strings = u16(name, 4);
            for (std::uint16_t i = 0, n = u16(name, 2); i < n && m_psName.empty(); ++i) {
                const std::size_t rec = 6 + 12 * std::size_t(i);
                if (u16(name, rec + 6) != 6) continue;
                const std::uint16_t platform = u16(name, rec);
                const std::string_view text = name.substr(strings + u16(name, rec + 10), u16(name, rec + 8));
                for (std::size_t k = platform == 3 || platform == 0 ? 1 : 0; k < text.size();
                     k += platform == 3 || platform == 0 ? 2 : 1) {
                    const char ch = text[k];
                    if (ch > ' ' && ch < 127 && ch != '/' && ch != '(' && ch != ')' && ch != '[' && ch != ']' &&
                        ch != '<' && ch != '>' && ch != '{' && ch != '}' && ch != '%')
                        m_psName.push_back(ch);
                }
            }
        }
    } catch (const std::out_of_range&) {
        throw host::EHostError("A fonte das páginas (" + path + ") não pôde ser lida.");
    }
    if (m_psName.empty()) {
        const auto slash = path.find_last_of('/');
        m_psName = path.substr(slash == std::string::npos ? 0 : slash + 1);
        m_psName = m_psName.substr(0, m_psName.find('.'));
    }
}

std::string_view TrueTypeFont::table(const char tag[5]) const {
    auto it = m_tables.find(tag);
    return it == m_tables.end() ? std::string_view() : it->second;
}

std::string_view TrueTypeFont::glyphData(std::uint16_t g) const {
    const std::string_view loca = table("loca"), glyf = table("glyf");
    std::size_t from, to;
    if (g >= m_glyphCount) return {};
    if (m_longLoca) {
        if (4 * (std::size_t(g) + 2) > loca.size()) return {};
        from = u32(loca, 4 * std::size_t(g));
        to = u32(loca, 4 * std::size_t(g) + 4);
    } else {
        if (2 * (std::size_t(g) + 2) > loca.size()) return {};
        from = 2 * std::size_t(u16(loca, 2 * std::size_t(g)));
        to = 2 * std::size_t(u16(loca, 2 * std::size_t(g) + 2));
    }
    if (from >= to || to > glyf.size()) return {};
    return glyf.substr(from, to - from);
}

long TrueTypeFont::textAdvance(std::string_view utf8) const {
    long sum = 0;
    forEachCodepoint(utf8, [&](char32_t c) { sum += advance(glyph(c)); });
    return sum;
}

FontSubset::FontSubset(std::shared_ptr<const TrueTypeFont> font)
    : m_font(std::move(font)), m_ids(std::size_t(m_font->glyphCount()) + 1, kNone) {
    m_ids[0] = 0;
    m_glyphs.push_back(0);
    m_chars.push_back(0);
}

std::uint16_t FontSubset::addGlyph(std::uint16_t g, char32_t c) {
    const auto id = std::uint16_t(m_glyphs.size());
    m_ids[g] = id;
    m_glyphs.push_back(g);
    m_chars.push_back(c);
    // The parts of a composite glyph (a letter and its accent) come along.
    const std::string_view data = m_font->glyphData(g);
    try {
        forEachComponent(data, [&](std::size_t at) {
            const std::uint16_t part = u16(data, at);
            if (part < m_font->glyphCount() && m_ids[part] == kNone) addGlyph(part, 0);
        });
    } catch (const std::out_of_range&) {
        // A malformed composite keeps the parts read so far.
    }
    return id;
}

std::string FontSubset::fontFile() const {
    const TrueTypeFont& f = *m_font;
    std::map<std::string, std::string> tables;
    std::string glyf, loca, hmtx;
    for (std::uint16_t g : m_glyphs) {
        put32(loca, std::uint32_t(glyf.size()));
        std::string data(f.glyphData(g));
        try {
            forEachComponent(data, [&](std::size_t at) {
                const std::uint16_t part = u16(data, at);
                set16(data, at, part < m_ids.size() && m_ids[part] != kNone ? m_ids[part] : 0);
            });
        } catch (const std::out_of_range&) {}
        glyf += data;
        while (glyf.size() % 4) glyf.push_back('\0');
        put16(hmtx, f.advance(g));
        put16(hmtx, std::uint16_t(f.leftSideBearing(g)));
    }
    put32(loca, std::uint32_t(glyf.size()));
    std::string head(f.table("head")), hhea(f.table("hhea")), maxp(f.table("maxp"));
    set16(head, 8, 0);
    set16(head, 10, 0);  // checkSumAdjustment, set below
    set16(head, 50, 1);  // long offsets
    set16(hhea, 34, std::uint32_t(m_glyphs.size()));
    set16(maxp, 4, std::uint32_t(m_glyphs.size()));
    tables["head"] = head;
    tables["hhea"] = hhea;
    tables["maxp"] = maxp;
    tables["hmtx"] = hmtx;
    tables["loca"] = loca;
    tables["glyf"] = glyf;
    for (const char* tag : {"cvt ", "fpgm", "prep"})
        if (!f.table(tag).empty()) tables[tag] = std::string(f.table(tag));

    const std::uint16_t n = std::uint16_t(tables.size());
    std::uint16_t entry = 0;
    while ((2u << entry) <= n) ++entry;
    std::string out;
    put32(out, 0x00010000);
    put16(out, n);
    put16(out, (1u << entry) * 16);
    put16(out, entry);
    put16(out, n * 16 - (1u << entry) * 16);
    std::size_t offset = 12 + 16 * std::size_t(n);
    for (auto& [tag, data] : tables) {
        out += tag;
        put32(out, checksum(data));
        put32(out, std::uint32_t(offset));
        put32(out, std::uint32_t(data.size()));
        offset += (data.size() + 3) / 4 * 4;
    }
    std::size_t headAt = 0;
    for (auto& [tag, data] : tables) {
        if (tag == "head") headAt = out.size();
        out += data;
        while (out.size() % 4) out.push_back('\0');
    }
    const std::uint32_t adjust = 0xB1B0AFBAu - checksum(out);
    set16(out, headAt + 8, adjust >> 16);
    set16(out, headAt + 10, adjust & 0xFFFF);
    return out;
}

std::string FontSubset::tag() const {
    std::uint64_t h = 1469598103934665603ull;
    for (std::uint16_t g : m_glyphs) h = (h ^ g) * 1099511628211ull;
    std::string t;
    for (int i = 0; i < 6; ++i) {
        t.push_back(char('A' + h % 26));
        h /= 26;
    }
    return t;
}

}  // namespace pla013::reports::internal
