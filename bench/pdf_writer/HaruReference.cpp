#include "HaruReference.h"

#include <hpdf.h>

#include <stdexcept>

namespace benchpdf {

namespace {

void onError(HPDF_STATUS error, HPDF_STATUS detail, void*) {
    throw std::runtime_error("libharu error " + std::to_string(error) + " / " + std::to_string(detail));
}

struct Doc {
    HPDF_Doc pdf = HPDF_New(onError, nullptr);
    ~Doc() { HPDF_Free(pdf); }
};

}  // namespace

void writeWithHaru(const std::vector<PlacedPage>& pages, const std::string& path) {
    using pla013::reports::pageFontStyle;
    using pla013::reports::PageItem;
    Doc doc;
    HPDF_SetCompressionMode(doc.pdf, HPDF_COMP_ALL);
    HPDF_UseUTFEncodings(doc.pdf);
    HPDF_Font fonts[pla013::reports::kPageFonts];
    for (int f = 0; f < pla013::reports::kPageFonts; ++f) {
        const char* name =
            HPDF_LoadTTFontFromFile(doc.pdf, pageFontStyle(pla013::reports::PageFont(f)).file, HPDF_TRUE);
        fonts[f] = HPDF_GetFont(doc.pdf, name, "UTF-8");
    }
    for (const PlacedPage& p : pages) {
        HPDF_Page page = HPDF_AddPage(doc.pdf);
        HPDF_Page_SetWidth(page, HPDF_REAL(p.width));
        HPDF_Page_SetHeight(page, HPDF_REAL(p.height));
        bool inText = false;
        int font = -1;
        double scale = 100;
        for (const PageItem& it : p.items) {
            if (it.kind == PageItem::Kind::Text) {
                if (!inText) {
                    HPDF_Page_BeginText(page);
                    inText = true;
                }
                const auto& style = pageFontStyle(it.font);
                if (font != int(it.font)) {
                    font = int(it.font);
                    HPDF_Page_SetFontAndSize(page, fonts[font], HPDF_REAL(style.size));
                }
                if (style.hscale * it.squeeze * 100 != scale) {
                    scale = style.hscale * it.squeeze * 100;
                    HPDF_Page_SetHorizontalScalling(page, HPDF_REAL(scale));
                }
                HPDF_Page_TextOut(page, HPDF_REAL(it.x), HPDF_REAL(p.height - it.y), it.text.c_str());
                continue;
            }
            if (inText) {
                HPDF_Page_EndText(page);
                inText = false;
            }
            if (it.kind == PageItem::Kind::Rule) {
                HPDF_Page_SetLineWidth(page, HPDF_REAL(it.width));
                HPDF_Page_MoveTo(page, HPDF_REAL(it.x), HPDF_REAL(p.height - it.y));
                HPDF_Page_LineTo(page, HPDF_REAL(it.x2), HPDF_REAL(p.height - it.y2));
                HPDF_Page_Stroke(page);
            }
        }
        if (inText) HPDF_Page_EndText(page);
    }
    HPDF_SaveToFile(doc.pdf, path.c_str());
}

}  // namespace benchpdf
