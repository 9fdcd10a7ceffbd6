#include "platform/reports/PdfRenderer.h"

#include <zlib.h>

#include <cmath>
#include <cstdio>
#include <ctime>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "host/Errors.h"
#include "platform/reports/PageGeometry.h"
#include "platform/reports/ReportDocument.h"
#include "platform/reports/internal/PdfImage.h"
#include "platform/reports/internal/TrueTypeFont.h"

namespace pla013::reports {

namespace {

// A4 in whole points, as the pages have always been.
constexpr double kA4Width = 595, kA4Height = 842;

// Objects written at the end, with numbers fixed from the start.
constexpr int kCatalog = 1, kPages = 2, kResources = 3, kInfo = 4, kFirstFree = 5;

void number(std::string& out, double v) {
    // Two decimals: a hundredth of a point.
    long n = std::lround(v * 100);
    if (n < 0) {
        out.push_back('-');
        n = -n;
    }
    char buf[24];
    char* p = buf + sizeof buf;
    const long frac = n % 100;
    long whole = n / 100;
    if (frac) {
        if (frac % 10) *--p = char('0' + frac % 10);
        *--p = char('0' + frac / 10);
        *--p = '.';
    }
    do {
        *--p = char('0' + whole % 10);
        whole /= 10;
    } while (whole);
    out.append(p, buf + sizeof buf);
}

void hex4(std::string& out, unsigned v) {
    static const char* const digits = "0123456789ABCDEF";
    out.push_back(digits[(v >> 12) & 15]);
    out.push_back(digits[(v >> 8) & 15]);
    out.push_back(digits[(v >> 4) & 15]);
    out.push_back(digits[v & 15]);
}

// A text string of the document information: UTF-16BE with its mark.
std::string textString(const std::string& utf8) {
    std::string out = "<FEFF";
    internal::forEachCodepoint(utf8, [&](char32_t c) {
        if (c >= 0x10000) {
            c -= 0x10000;
            hex4(out, 0xD800 + unsigned(c >> 10));
            hex4(out, 0xDC00 + unsigned(c & 0x3FF));
        } else {
            hex4(out, unsigned(c));
        }
    });
    return out + ">";
}

std::string deflate(const std::string& in, int level) {
    uLongf size = compressBound(uLong(in.size()));
    std::string out(size, '\0');
    if (compress2(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(in.data()),
                  uLong(in.size()), level) != Z_OK)
        throw host::EHostError("Não foi possível compactar uma página do PDF.");
    out.resize(size);
    return out;
}

}  // namespace

class PdfWriter::Impl {
public:
    Impl(const std::string& path, int charactersPerLine, int linesPerPage, double width, double height)
        : m_path(path),
          m_width(width),
          m_height(height),
          m_geometry(charactersPerLine, linesPerPage, width, height),
          m_file(std::fopen(path.c_str(), "wb")) {
        if (!m_file) throw host::EHostError("Não foi possível gravar o PDF '" + path + "'.");
        std::setvbuf(m_file.get(), nullptr, _IOFBF, 1 << 16);
        for (int f = 0; f < kPageFonts; ++f)
            m_subsets[f] =
                std::make_unique<internal::FontSubset>(internal::TrueTypeFont::load(pageFontStyle(PageFont(f)).file));
        write("%PDF-1.5\n%\xE2\xE3\xCF\xD3\n");
        m_content.reserve(1 << 16);
    }

    void page(const std::vector<Line>& lines) {
        m_geometry.layout(lines, m_items);
        m_content.clear();
        m_content += "2 J\n";
        bool inText = false;
        int font = -1;
        double hscale = 100, lineWidth = 1, lx = 0, ly = 0;
        bool gray = false;
        for (const PageItem& it : m_items) {
            if (it.kind == PageItem::Kind::Text) {
                if (!inText) {
                    m_content += "BT\n";
                    inText = true;
                    lx = ly = 0;
                }
                if (font != int(it.font)) {
                    font = int(it.font);
                    m_content += "/F";
                    m_content.push_back(char('1' + font));
                    m_content.push_back(' ');
                    number(m_content, pageFontStyle(it.font).size);
                    m_content += " Tf\n";
                }
                const double h = std::round(pageFontStyle(it.font).hscale * it.squeeze * 10000) / 100;
                if (h != hscale) {
                    hscale = h;
                    number(m_content, h);
                    m_content += " Tz\n";
                }
                const double y = m_height - it.y;
                number(m_content, it.x - lx);
                m_content.push_back(' ');
                number(m_content, y - ly);
                m_content += " Td<";
                lx = it.x;
                ly = y;
                internal::FontSubset& subset = *m_subsets[font];
                internal::forEachCodepoint(it.text, [&](char32_t c) { hex4(m_content, subset.add(c)); });
                m_content += ">Tj\n";
                continue;
            }
            if (inText) {
                m_content += "ET\n";
                inText = false;
            }
            if (it.kind == PageItem::Kind::Rule) {
                if (it.gray != gray) {
                    gray = it.gray;
                    // Qt's grey (160, 160, 164) of the gutters.
                    m_content += gray ? "0.627 0.627 0.643 RG\n" : "0 G\n";
                }
                if (it.width != lineWidth) {
                    lineWidth = it.width;
                    number(m_content, it.width);
                    m_content += " w\n";
                }
                number(m_content, it.x);
                m_content.push_back(' ');
                number(m_content, m_height - it.y);
                m_content += " m ";
                number(m_content, it.x2);
                m_content.push_back(' ');
                number(m_content, m_height - it.y2);
                m_content += " l S\n";
            } else if (it.image) {
                const int id = image(*it.image);
                if (id < 0) continue;
                m_content += "q ";
                number(m_content, it.width);
                m_content += " 0 0 ";
                number(m_content, it.height);
                m_content.push_back(' ');
                number(m_content, it.x);
                m_content.push_back(' ');
                number(m_content, m_height - it.y - it.height);
                m_content += " cm /Im" + std::to_string(id) + " Do Q\n";
            }
        }
        if (inText) m_content += "ET\n";

        const int contents = begin();
        const std::string packed = deflate(m_content, Z_DEFAULT_COMPRESSION);
        write("<< /Length " + std::to_string(packed.size()) + " /Filter /FlateDecode >>\nstream\n");
        write(packed);
        write("\nendstream\nendobj\n");
        m_pageObjects.push_back(begin());
        std::string page = "<< /Type /Page /Parent 2 0 R /Resources 3 0 R /Contents ";
        page += std::to_string(contents) + " 0 R >>\nendobj\n";
        write(page);
    }

    void finish(const std::string& title) {
        std::string fonts;
        for (int f = 0; f < kPageFonts; ++f)
            if (m_subsets[f]->used()) fonts += " /F" + std::to_string(f + 1) + " " + std::to_string(font(f)) + " 0 R";
        std::string images;
        for (std::size_t id = 0; id < m_imageObjects.size(); ++id)
            images += " /Im" + std::to_string(id) + " " + std::to_string(m_imageObjects[id]) + " 0 R";
        object(kResources, "<< /ProcSet [/PDF /Text /ImageB /ImageC /ImageI] /Font <<" + fonts + " >> /XObject <<" +
                               images + " >> >>");
        std::string kids;
        for (int p : m_pageObjects) kids += std::to_string(p) + " 0 R ";
        std::string box = "[0 0 ";
        number(box, m_width);
        box.push_back(' ');
        number(box, m_height);
        box += "]";
        object(kPages, "<< /Type /Pages /MediaBox " + box + " /Count " + std::to_string(m_pageObjects.size()) +
                           " /Kids [" + kids + "] >>");
        object(kCatalog, "<< /Type /Catalog /Pages 2 0 R >>");
        char created[64] = "";
        const std::time_t now = std::time(nullptr);
        std::tm utc{};
        if (gmtime_r(&now, &utc)) std::strftime(created, sizeof created, " /CreationDate (D:%Y%m%d%H%M%SZ)", &utc);
        object(kInfo, "<< /Creator (pla013) /Producer (pla013) /Title " + textString(title) + created + " >>");

        const std::size_t xref = m_written;
        std::string table = "xref\n0 " + std::to_string(m_offsets.size()) + "\n0000000000 65535 f \n";
        char entry[24];
        for (std::size_t i = 1; i < m_offsets.size(); ++i) {
            std::snprintf(entry, sizeof entry, "%010zu 00000 n \n", m_offsets[i]);
            table += entry;
        }
        table += "trailer\n<< /Size " + std::to_string(m_offsets.size()) + " /Root 1 0 R /Info 4 0 R >>\nstartxref\n" +
                 std::to_string(xref) + "\n%%EOF\n";
        write(table);
        std::FILE* f = m_file.release();
        if (std::fclose(f) != 0 || m_failed) throw host::EHostError("Erro de gravação no PDF '" + m_path + "'.");
    }

private:
    struct Close {
        void operator()(std::FILE* f) const { std::fclose(f); }
    };

    void write(const std::string& s) {
        if (std::fwrite(s.data(), 1, s.size(), m_file.get()) != s.size()) {
            m_failed = true;
            throw host::EHostError("Erro de gravação no PDF '" + m_path + "'.");
        }
        m_written += s.size();
    }
    // Starts the next object; its number.
    int begin() {
        const int id = int(m_offsets.size());
        m_offsets.push_back(m_written);
        write(std::to_string(id) + " 0 obj\n");
        return id;
    }
    void object(int id, const std::string& body) {
        m_offsets[std::size_t(id)] = m_written;
        write(std::to_string(id) + " 0 obj\n" + body + "\nendobj\n");
    }
    int stream(const std::string& dictionary, const std::string& data) {
        const int id = begin();
        write("<< " + dictionary + " /Length " + std::to_string(data.size()) + " >>\nstream\n");
        write(data);
        write("\nendstream\nendobj\n");
        return id;
    }

    // The image's number among the page images, written at its first use;
    // -1 when it cannot be embedded. A photo is known again by its bytes
    // (two independent 64-bit digests and the size), not by its address: the
    // document frees a group's photos when it is done with them, and a later
    // photo may come at the same address.
    int image(const ImageData& data) {
        const std::string_view bytes = data.bytes;
        std::uint64_t fnv = 1469598103934665603ull;
        for (unsigned char c : bytes) fnv = (fnv ^ c) * 1099511628211ull;
        const ImageKey key{std::hash<std::string_view>{}(bytes), fnv, bytes.size()};
        auto it = m_images.find(key);
        if (it != m_images.end()) return it->second;
        internal::PdfImage img;
        int id = -1;
        if (internal::makePdfImage(data.bytes, img)) {
            id = int(m_imageObjects.size());
            m_imageObjects.push_back(stream(img.dictionary, img.data));
        }
        m_images.emplace(key, id);
        return id;
    }

    // The objects of a font subset; the number of its Type0 font.
    int font(int f) {
        const internal::FontSubset& subset = *m_subsets[f];
        const internal::TrueTypeFont& tt = subset.font();
        const double k = 1000.0 / tt.unitsPerEm();
        const std::string name = "/" + subset.tag() + "+" + tt.postScriptName();

        const std::string file = subset.fontFile();
        const int fontFile = stream("/Length1 " + std::to_string(file.size()) + " /Filter /FlateDecode",
                                    deflate(file, Z_BEST_COMPRESSION));

        std::string desc = "<< /Type /FontDescriptor /FontName " + name + " /Flags 4 /FontBBox [";
        for (int i = 0; i < 4; ++i) {
            number(desc, tt.bbox()[i] * k);
            desc.push_back(i < 3 ? ' ' : ']');
        }
        desc += " /ItalicAngle 0 /Ascent ";
        number(desc, tt.ascender() * k);
        desc += " /Descent ";
        number(desc, -tt.descender() * k);
        desc += " /CapHeight ";
        number(desc, tt.capHeight() * k);
        desc += " /StemV 80 /FontFile2 " + std::to_string(fontFile) + " 0 R >>";
        const int descriptor = begin();
        write(desc + "\nendobj\n");

        std::string widths = "[0 [";
        for (std::uint16_t g : subset.glyphs()) {
            number(widths, tt.advance(g) * k);
            widths.push_back(' ');
        }
        widths += "]]";
        const int cid = begin();
        write("<< /Type /Font /Subtype /CIDFontType2 /BaseFont " + name +
              " /CIDSystemInfo << /Registry (Adobe) /Ordering (Identity) /Supplement 0 >> /FontDescriptor " +
              std::to_string(descriptor) + " 0 R /W " + widths + " /CIDToGIDMap /Identity >>\nendobj\n");

        // What each glyph reads back as, for copying and searching.
        std::string map =
            "/CIDInit /ProcSet findresource begin\n12 dict begin\nbegincmap\n"
            "/CIDSystemInfo << /Registry (Adobe) /Ordering (UCS) /Supplement 0 >> def\n"
            "/CMapName /Adobe-Identity-UCS def\n/CMapType 2 def\n"
            "1 begincodespacerange\n<0000> <FFFF>\nendcodespacerange\n";
        std::vector<std::pair<unsigned, char32_t>> pairs;
        for (std::size_t i = 1; i < subset.characters().size(); ++i)
            if (subset.characters()[i]) pairs.emplace_back(unsigned(i), subset.characters()[i]);
        for (std::size_t at = 0; at < pairs.size(); at += 100) {
            const std::size_t n = std::min<std::size_t>(100, pairs.size() - at);
            map += std::to_string(n) + " beginbfchar\n";
            for (std::size_t i = at; i < at + n; ++i) {
                map.push_back('<');
                hex4(map, pairs[i].first);
                map += "> <";
                char32_t c = pairs[i].second;
                if (c >= 0x10000) {
                    c -= 0x10000;
                    hex4(map, 0xD800 + unsigned(c >> 10));
                    hex4(map, 0xDC00 + unsigned(c & 0x3FF));
                } else {
                    hex4(map, unsigned(c));
                }
                map += ">\n";
            }
            map += "endbfchar\n";
        }
        map += "endcmap\nCMapName currentdict /CMap defineresource pop\nend\nend\n";
        const int toUnicode = stream("/Filter /FlateDecode", deflate(map, Z_DEFAULT_COMPRESSION));

        const int type0 = begin();
        write("<< /Type /Font /Subtype /Type0 /BaseFont " + name + " /Encoding /Identity-H /DescendantFonts [" +
              std::to_string(cid) + " 0 R] /ToUnicode " + std::to_string(toUnicode) + " 0 R >>\nendobj\n");
        return type0;
    }

    std::string m_path;
    double m_width, m_height;
    PageGeometry m_geometry;
    std::unique_ptr<std::FILE, Close> m_file;
    bool m_failed = false;
    std::size_t m_written = 0;
    std::vector<std::size_t> m_offsets = std::vector<std::size_t>(kFirstFree, 0);
    std::vector<int> m_pageObjects;
    std::unique_ptr<internal::FontSubset> m_subsets[kPageFonts];
    using ImageKey = std::tuple<std::size_t, std::uint64_t, std::size_t>;
    std::map<ImageKey, int> m_images;
    std::vector<int> m_imageObjects;
    std::vector<PageItem> m_items;
    std::string m_content;
};

PdfWriter::PdfWriter(const std::string& path, int charactersPerLine, int linesPerPage, bool landscape)
    : m_impl(std::make_unique<Impl>(path, charactersPerLine, linesPerPage, landscape ? kA4Height : kA4Width,
                                    landscape ? kA4Width : kA4Height)) {}

PdfWriter::~PdfWriter() = default;

void PdfWriter::page(const std::vector<Line>& lines) { m_impl->page(lines); }

void PdfWriter::finish(const std::string& title) { m_impl->finish(title); }

void PdfRenderer::render(const ReportDocument& doc, const std::string& path) {
    PdfWriter writer(path, doc.pageWidth(), doc.linesPerPage(), doc.landscape());
    const std::size_t total = doc.pageCount();
    // Each page goes to the file as it is laid out: the writer keeps no page.
    doc.forEachPage([&](std::size_t p, const std::vector<Line>& lines) {
        writer.page(lines);
        progress(p + 1, total);
        return true;
    });
    writer.finish(doc.reportId() + " - " + doc.titleText());
}

}  // namespace pla013::reports
