#pragma once
// A TrueType font file read for measuring and embedding: the character map
// (cmap formats 4 and 12), the advance widths (hmtx), the vertical metrics
// (hhea), and the glyph outlines (loca/glyf) that a subset copies. Nothing is
// drawn here: the page geometry measures with it and the PDF writer embeds
// the glyphs a document uses (FontSubset).

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace pla013::reports::internal {

class TrueTypeFont {
public:
    // The font of path, read once per process and shared; host::EHostError
    // when the file is missing or not a TrueType font we can read.
    static std::shared_ptr<const TrueTypeFont> load(const std::string& path);

    explicit TrueTypeFont(std::string bytes, const std::string& path);

    int unitsPerEm() const { return m_unitsPerEm; }
    int ascender() const { return m_ascender; }    // hhea, font units, positive
    int descender() const { return m_descender; }  // hhea, font units, positive below the baseline
    int capHeight() const { return m_capHeight; }
    const int* bbox() const { return m_bbox; }  // xMin yMin xMax yMax
    const std::string& postScriptName() const { return m_psName; }
    std::uint16_t glyphCount() const { return m_glyphCount; }

    // The glyph of a character; 0 (.notdef) when the font has none.
    std::uint16_t glyph(char32_t c) const {
        if (c < m_bmp.size()) return m_bmp[c];
        auto it = m_astral.find(c);
        return it == m_astral.end() ? 0 : it->second;
    }
    std::uint16_t advance(std::uint16_t glyph) const {
        return m_advances.empty() ? 0 : m_advances[glyph < m_advances.size() ? glyph : m_advances.size() - 1];
    }
    std::int16_t leftSideBearing(std::uint16_t glyph) const { return glyph < m_lsb.size() ? m_lsb[glyph] : 0; }
    // The outline bytes of a glyph (empty for a blank one).
    std::string_view glyphData(std::uint16_t glyph) const;
    // A table's bytes; empty when the font has none.
    std::string_view table(const char tag[5]) const;

    // Sum of the advances of a UTF-8 text, in font units.
    long textAdvance(std::string_view utf8) const;

private:
    std::string m_bytes;
    std::unordered_map<std::string, std::string_view> m_tables;
    int m_unitsPerEm = 2048, m_ascender = 0, m_descender = 0, m_capHeight = 0;
    int m_bbox[4] = {0, 0, 0, 0};
    bool m_longLoca = false;
    std::uint16_t m_glyphCount = 0;
    std::string m_psName;
    std::vector<std::uint16_t> m_bmp;  // characters below U+10000
    std::unordered_map<char32_t, std::uint16_t> m_astral;
    std::vector<std::uint16_t> m_advances;
    std::vector<std::int16_t> m_lsb;
};

// Calls f(codepoint) for each character of a UTF-8 text; a malformed
// sequence is one U+FFFD.
template <class F>
void forEachCodepoint(std::string_view s, F&& f) {
    const auto* p = reinterpret_cast<const unsigned char*>(s.data());
    const auto* end = p + s.size();
    while (p < end) {
        const unsigned char c = *p;
        if (c < 0x80) {
            f(char32_t(c));
            ++p;
            continue;
        }
        int extra = c >= 0xF0 && c < 0xF5 ? 3 : c >= 0xE0 ? 2 : c >= 0xC2 && c < 0xE0 ? 1 : -1;
        if (c >= 0xF5) extra = -1;
        if (extra < 0 || end - p <= extra) {
            f(char32_t(0xFFFD));
            ++p;
            continue;
        }
        char32_t cp = c & (0x3F >> extra);
        bool ok = true;
        for (int i = 1; i <= extra; ++i) {
            if ((p[i] & 0xC0) != 0x80) {
                ok = false;
                break;
            }
            cp = (cp << 6) | (p[i] & 0x3F);
        }
        if (!ok) {
            f(char32_t(0xFFFD));
            ++p;
            continue;
        }
        f(cp);
        p += extra + 1;
    }
}

// The glyphs of one font that a document uses, renumbered from 1 in the
// order of first use (0 stays .notdef), with the character each stands for;
// written out as a TrueType file of those glyphs alone.
class FontSubset {
public:
    explicit FontSubset(std::shared_ptr<const TrueTypeFont> font);

    const TrueTypeFont& font() const { return *m_font; }
    // The subset's number for a character, adding its glyph at first use.
    std::uint16_t add(char32_t c) {
        if (c < 0x20 || c == 0x7F) c = ' ';  // a control character shows as a blank
        const std::uint16_t g = m_font->glyph(c);
        const std::uint16_t id = m_ids[g];
        if (id == kNone) return addGlyph(g, c);
        // A glyph first added as part of an accented letter reads back as
        // its own character once used alone.
        if (!m_chars[id]) m_chars[id] = c;
        return id;
    }
    bool used() const { return m_glyphs.size() > 1; }
    // Original glyph and character (0 when none) by subset number.
    const std::vector<std::uint16_t>& glyphs() const { return m_glyphs; }
    const std::vector<char32_t>& characters() const { return m_chars; }
    // The subset as a TrueType file (head, hhea, maxp, hmtx, loca, glyf, and
    // the hinting tables copied whole).
    std::string fontFile() const;
    // Six capitals naming this subset ("ABCDEF+Name" in PDF).
    std::string tag() const;

private:
    static constexpr std::uint16_t kNone = 0xFFFF;
    std::uint16_t addGlyph(std::uint16_t glyph, char32_t c);

    std::shared_ptr<const TrueTypeFont> m_font;
    std::vector<std::uint16_t> m_ids;  // by original glyph
    std::vector<std::uint16_t> m_glyphs;
    std::vector<char32_t> m_chars;
};

}  // namespace pla013::reports::internal
