// Laying out pages and writing the flat formats, from definitions and data
// built in the test: pagination, repeated headers, groups and totals, the
// Brazilian number texts, CSV codes kept as text, HTML escaping.

#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <functional>
#include <stop_token>

#include "ReportsTestSupport.h"
#include "host/Errors.h"
#include "platform/reports/CsvRenderer.h"
#include "platform/reports/HtmlRenderer.h"
#include "platform/reports/PageSpool.h"
#include "platform/reports/PdfRenderer.h"
#include "platform/reports/ReportDocument.h"
#include "platform/reports/TextRenderer.h"
#include "platform/reports/XlsxRenderer.h"
#include "platform/reports/internal/Base64.h"
#include "platform/reports/internal/Paginator.h"
#include "platform/reports/internal/ValueFormat.h"

using namespace reportstest;
using namespace pla013::reports;

namespace {

const char* kGrouped = R"({
  "version": 1, "code": "99", "title": "Custos por grupo",
  "parameters": [ { "name": "P_CDFILIAL", "type": "string", "label": "Filial" } ],
  "data": { "dataSource": "dtsTeste" },
  "computed": [ { "name": "VRDOBRO", "expression": "VRCUSTO * 2" } ],
  "groups": [ { "field": "CDGRUPO",
                "header": [ { "text": "Grupo {CDGRUPO}", "bold": true } ],
                "footer": [ { "totals": [ { "field": "VRCUSTO" }, { "function": "count", "caption": "itens:" } ],
                              "caption": "Total do grupo {CDGRUPO}" } ],
                "dataColumns": [ { "field": "CDGRUPO", "caption": "Grupo" } ] } ],
  "columns": [
    { "field": "CDITEM", "caption": "Código", "width": 8 },
    { "field": "NMITEM", "caption": "Nome", "width": 30 },
    { "field": "VRCUSTO", "caption": "Custo", "width": 12, "align": "right", "format": "#,##0.00" },
    { "field": "VRDOBRO", "caption": "Dobro", "width": 12, "align": "right", "format": "#,##0.00" }
  ],
  "totals": [ { "field": "VRCUSTO" }, { "field": "VRCUSTO", "function": "max", "caption": "maior:" } ]
})";

pla013::host::DataPacket items(int groups, int perGroup) {
    pla013::host::DataPacket p;
    p.fields = {{"CDGRUPO", pla013::host::FieldType::String, 4},
                {"CDITEM", pla013::host::FieldType::String, 6},
                {"NMITEM", pla013::host::FieldType::String, 30},
                {"VRCUSTO", pla013::host::FieldType::Float, 0}};
    for (int g = 0; g < groups; ++g)
        for (int i = 0; i < perGroup; ++i) {
            char code[16];
            std::snprintf(code, sizeof code, "%06d", g * 1000 + i);
            p.rows.push_back({std::string("G") + char('A' + g), std::string(code), "Item " + std::to_string(i),
                              pla013::host::Variant(1000.5 + i)});
        }
    return p;
}

struct Built {
    ReportDefinition def;
    std::unique_ptr<ReportDocument> doc;
};

Built build(const std::string& definition, pla013::host::DataPacket data, std::vector<ReportParam> params = {}) {
    Built b{ReportDefinition::parse(definition, "PLA01399.QR2"), nullptr};
    ReportDocument::Input in;
    in.definition = &b.def;
    in.reportId = "PLA01399";
    in.params = std::move(params);
    in.data = std::move(data);
    in.printedAt = pla013::host::EncodeDate(2024, 5, 2) + (14 * 60 + 5) / 1440.0;
    b.doc = std::make_unique<ReportDocument>(std::move(in));
    return b;
}

int count(const std::string& text, const std::string& what) {
    int n = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

TEST(Layout, HeadersOnEveryPageAndPageNumbersOfTheTotal) {
    auto b = build(kGrouped, items(3, 70), {{"P_CDFILIAL", ParamType::String, pla013::host::Variant("0012")}});
    auto pages = TextRenderer::pages(*b.doc);
    ASSERT_GE(pages.size(), 4u);
    for (std::size_t i = 0; i < pages.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_NE(pages[i].find("Custos por grupo"), std::string::npos);
        EXPECT_NE(pages[i].find("PLA01399"), std::string::npos);
        EXPECT_EQ(count(pages[i], "Código"), 1) << pages[i];
        EXPECT_NE(pages[i].find("Página " + std::to_string(i + 1) + " de " + std::to_string(pages.size())),
                  std::string::npos);
        EXPECT_NE(pages[i].find("Impresso em 02/05/2024 às 14:05"), std::string::npos);
        // The filters are shown on the first page only.
        EXPECT_EQ(pages[i].find("Filial: 0012") != std::string::npos, i == 0);
        // No page holds more lines than the page has.
        EXPECT_LE(count(pages[i], "\n"), b.doc->linesPerPage());
    }
}

TEST(Layout, GroupTotalsAndReportTotals) {
    auto b = build(kGrouped, items(2, 3));
    std::string text = TextRenderer::pages(*b.doc).front();
    // Group A: 1000,50 + 1001,50 + 1002,50; its doubled column is not totalled.
    EXPECT_NE(text.find("Total do grupo GA"), std::string::npos) << text;
    EXPECT_NE(text.find("3.004,50"), std::string::npos) << text;
    EXPECT_NE(text.find("itens: 3"), std::string::npos) << text;
    EXPECT_NE(text.find("2.005,00"), std::string::npos) << "computed column: " << text;
    EXPECT_NE(text.find("Total geral"), std::string::npos);
    EXPECT_NE(text.find("6.009,00"), std::string::npos) << text;
    EXPECT_NE(text.find("maior: 1.002,50"), std::string::npos) << text;
    // Each group header comes before its rows and its footer after them.
    EXPECT_LT(text.find("Grupo GA"), text.find("000000"));
    EXPECT_LT(text.find("000002"), text.find("Total do grupo GA"));
    EXPECT_LT(text.find("Total do grupo GA"), text.find("Grupo GB"));
}

TEST(Layout, SumOfNothingIsBlankNotZero) {
    auto data = items(2, 2);
    for (auto& row : data.rows)
        if (row[0].toString() == "GA") row[3] = pla013::host::Variant::null();
    auto b = build(kGrouped, data);
    std::string text = TextRenderer::page(*b.doc, 0);
    std::istringstream s(text);
    for (std::string l; std::getline(s, l);) {
        if (l.rfind("Total do grupo GA", 0) == 0) {
            EXPECT_EQ(l.find("0,00"), std::string::npos) << l;
        }
        if (l.rfind("Total do grupo GB", 0) == 0) {
            EXPECT_NE(l.find("2.002,00"), std::string::npos) << l;
        }
    }
}

TEST(Layout, GroupHeaderIsNotLeftAloneAtThePageFoot) {
    // Groups of 30 lines: some header falls near a page foot; it must open
    // the page its first row is on.
    auto b = build(kGrouped, items(6, 30));
    auto pages = TextRenderer::pages(*b.doc);
    for (const auto& page : pages) {
        std::vector<std::string> lines;
        std::istringstream s(page);
        for (std::string l; std::getline(s, l);) lines.push_back(l);
        for (std::size_t i = 0; i + 1 < lines.size(); ++i)
            if (lines[i].rfind("Grupo G", 0) == 0) {
                EXPECT_EQ(lines[i + 1].find("---"), std::string::npos) << page;
            }
    }
}

TEST(Layout, EmptyDataPrintsOnePageWithTheEmptyText) {
    auto b = build(kGrouped, items(0, 0));
    ASSERT_EQ(b.doc->pageCount(), 1u);
    std::string text = TextRenderer::page(*b.doc, 0);
    EXPECT_NE(text.find("Nenhum registro encontrado."), std::string::npos);
    EXPECT_NE(text.find("Página 1 de 1"), std::string::npos);
}

TEST(Layout, UnknownFieldNamesFileAndPlace) {
    std::string def = kGrouped;
    def.replace(def.find("\"NMITEM\""), 8, "\"NMITEMX\"");
    try {
        build(def, items(1, 1));
        FAIL() << "no error";
    } catch (const pla013::host::EHostError& e) {
        std::string m = e.what();
        EXPECT_NE(m.find("'PLA01399.QR2'"), std::string::npos) << m;
        EXPECT_NE(m.find("/columns/1/field"), std::string::npos) << m;
        EXPECT_NE(m.find("NMITEMX"), std::string::npos) << m;
    }
}

TEST(Layout, DeclaredTypesConvertTextsAndRefuseBadOnes) {
    std::string def = kGrouped;
    const std::string from = "\"data\": { \"dataSource\": \"dtsTeste\" }";
    def.replace(def.find(from), from.size(),
                "\"data\": { \"dataSource\": \"dtsTeste\", \"types\": { \"VRCUSTO\": \"float\" } }");
    auto data = items(1, 2);
    data.rows[0][3] = pla013::host::Variant("12.25");
    data.rows[1][3] = pla013::host::Variant::null();
    auto b = build(def, data);
    EXPECT_NE(TextRenderer::page(*b.doc, 0).find("12,25"), std::string::npos);
    data.rows[1][3] = pla013::host::Variant("doze");
    try {
        build(def, data);
        FAIL() << "no error";
    } catch (const pla013::host::EHostError& e) {
        EXPECT_NE(std::string(e.what()).find("/data/types/VRCUSTO"), std::string::npos) << e.what();
        EXPECT_NE(std::string(e.what()).find("linha 2"), std::string::npos) << e.what();
    }
}

TEST(Layout, LongMemoWrapsAndRunsOverPages) {
    const char* def = R"({
      "version": 1, "code": "99", "title": "Modo de preparo",
      "data": { "dataSource": "dts" },
      "groups": [ { "field": "CDPRATO", "footer": [ { "memo": "DSMODOPREP", "caption": "Preparo" } ] } ],
      "columns": [ { "field": "CDPRATO", "width": 10 } ]
    })";
    pla013::host::DataPacket p;
    p.fields = {{"CDPRATO", pla013::host::FieldType::String, 10}, {"DSMODOPREP", pla013::host::FieldType::String, 0}};
    std::string memo;
    for (int i = 0; i < 1500; ++i) memo += "passo" + std::to_string(i) + " ";
    p.rows.push_back({"0001", memo});
    auto b = build(def, p);
    ASSERT_GE(b.doc->pageCount(), 2u);
    std::string all;
    for (const auto& page : TextRenderer::pages(*b.doc)) all += page;
    EXPECT_NE(all.find("passo0 "), std::string::npos);
    EXPECT_NE(all.find("passo1499"), std::string::npos);
    std::istringstream s(all);
    for (std::string l; std::getline(s, l);) EXPECT_LE(l.size(), 110u + 8) << l;  // accents take 2 bytes
}

// Wide letters overflow the character grid: a memo line of them is drawn
// narrower in the PDF, every word kept, not cut with an ellipsis.
TEST(Layout, WideMemoLinesKeepEveryWordInThePdf) {
    const char* def = R"({
      "version": 1, "code": "99", "title": "Modo de preparo",
      "data": { "dataSource": "dts" },
      "groups": [ { "field": "CDPRATO", "footer": [ { "memo": "DSMODOPREP" } ] } ],
      "columns": [ { "field": "CDPRATO", "width": 10 } ]
    })";
    pla013::host::DataPacket p;
    p.fields = {{"CDPRATO", pla013::host::FieldType::String, 10}, {"DSMODOPREP", pla013::host::FieldType::String, 0}};
    std::string memo;
    for (int i = 0; i < 60; ++i) memo += "WWWWWW" + std::to_string(i) + " ";
    p.rows.push_back({"0001", memo});
    auto b = build(def, p);
    TempDir dir;
    PdfRenderer().render(*b.doc, dir.file("memo.pdf"));
    const std::string text = pdfText(dir.file("memo.pdf"));
    for (const char* word : {"WWWWWW0", "WWWWWW12", "WWWWWW24", "WWWWWW59"})
        EXPECT_NE(text.find(word), std::string::npos) << word;
    EXPECT_EQ(text.find("…"), std::string::npos) << text;
}

TEST(Layout, NewPageGroupsStartTheirOwnPage) {
    std::string def = kGrouped;
    const std::string from = "\"field\": \"CDGRUPO\",";
    def.replace(def.find(from), from.size(), "\"field\": \"CDGRUPO\", \"newPage\": true,");
    auto b = build(def, items(3, 2));
    auto pages = TextRenderer::pages(*b.doc);
    ASSERT_EQ(pages.size(), 3u);
    EXPECT_NE(pages[1].find("Grupo GB"), std::string::npos);
    EXPECT_EQ(pages[1].find("Grupo GA"), std::string::npos);
}

// Page breaks and columns in one golden text: a group kept together that
// does not fit moves whole to the next page; a group longer than a page
// repeats its heading with "(continuação)" on the pages it goes on, unless
// all that is left of it is its blank line; names
// take the spare width, and longer ones end in "…"; two spanning headings
// with a gutter between them.
TEST(Layout, PageBreaksAndColumnsAsTheGoldenText) {
    const char* def = R"({
      "version": 1, "code": "99", "title": "Custos por grupo",
      "data": { "dataSource": "dtsTeste" },
      "computed": [ { "name": "VRDOBRO", "expression": "VRCUSTO * 2" } ],
      "groups": [ { "field": "CDGRUPO", "keepTogether": true,
                    "header": [ { "text": "Grupo {CDGRUPO}", "bold": true } ],
                    "footer": [ { "totals": [ { "field": "VRCUSTO" } ], "caption": "Total do grupo {CDGRUPO}" },
                                { "text": "" } ] } ],
      "columns": [
        { "field": "CDITEM", "caption": "Código", "width": 8 },
        { "field": "NMITEM", "caption": "Nome", "width": 20, "grow": 1 },
        { "field": "VRCUSTO", "caption": "Custo", "width": 12, "align": "right", "format": "#,##0.00", "span": "Hoje" },
        { "field": "VRDOBRO", "caption": "Custo", "width": 12, "align": "right", "format": "#,##0.00", "span": "Amanhã" }
      ]
    })";
    pla013::host::DataPacket p = items(0, 0);
    // GD ends with its totals at a page's foot: only its blank line goes on.
    const int sizes[] = {5, 40, 30, 88, 70, 3};
    for (int g = 0; g < 6; ++g)
        for (int i = 0; i < sizes[g]; ++i) {
            std::string name = "Item " + std::to_string(i) + (i == 2 ? " de nome longo " + std::string(90, 'x') : "");
            p.rows.push_back({std::string("G") + char('A' + g), std::to_string(g * 1000 + i), name,
                              pla013::host::Variant(10.25 * (i + 1))});
        }
    auto b = build(def, p);
    std::string all;
    for (const auto& page : TextRenderer::pages(*b.doc)) all += page + "\f\n";
    expectGolden("layout-page-breaks.txt", all);
}

// A page decided while a group kept together is still being made: a group
// that ends within a page moves whole; one that grows past a page is split,
// and the page is decided as soon as that is known, not at the group's end.
TEST(Layout, AGroupKeptTogetherWaitsForAtMostAPage) {
    using pla013::reports::internal::Band;
    const struct {
        int groupLines;      // bands of the kept group, its heading included
        std::size_t waited;  // bands of the group made when the page is decided
        std::size_t onPage;  // bands on the first page
    } cases[] = {{5, 5, 6}, {10, 10, 6}, {40, 11, 10}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.groupLines);
        pla013::reports::internal::Paginator pages([](std::size_t) { return 10; });
        std::deque<Band> bands;
        for (int i = 0; i < 6; ++i) bands.push_back({Band::Kind::Detail, 0, 1, false, false});
        std::optional<std::size_t> page;
        std::size_t made = 0;
        while (!page && made < std::size_t(c.groupLines)) {
            bands.push_back({made == 0 ? Band::Kind::Text : Band::Kind::Detail, 0, 1, made == 0, false});
            bands.back().together = ++made < std::size_t(c.groupLines);
            page = pages.nextPage(bands, false);
        }
        if (!page) page = pages.nextPage(bands, true);
        EXPECT_EQ(made, c.waited);
        EXPECT_EQ(page, c.onPage);
    }
}

// Rows read one at a time from a packet the source owns, as a caller with
// more rows than memory would hand them.
class PacketSource final : public RowSource {
public:
    explicit PacketSource(pla013::host::DataPacket p) : m_p(std::move(p)) {}
    const std::vector<pla013::host::FieldDef>& fields() const override { return m_p.fields; }
    bool next(std::vector<pla013::host::Variant>& row) override {
        if (m_next >= m_p.rows.size()) return false;
        row = m_p.rows[m_next++];
        if (++reads == stopAt && stop) stop->request_stop();
        return true;
    }
    std::size_t reads = 0, stopAt = 0;  // rows read; the one that asks to stop
    std::stop_source* stop = nullptr;   // the caller's, outliving the source

private:
    pla013::host::DataPacket m_p;
    std::size_t m_next = 0;
};

// A report read from a row source prints what the same rows in a packet
// print, in every shape of flow: page breaks inside groups, groups kept with
// their first line, groups on their own pages, a memo over several pages.
TEST(Layout, RowsFromASourcePrintTheSamePages) {
    std::string newPage = kGrouped;
    newPage.replace(newPage.find("\"field\": \"CDGRUPO\","), 19, "\"field\": \"CDGRUPO\", \"newPage\": true,");
    std::string typed = kGrouped;
    const std::string from = "\"data\": { \"dataSource\": \"dtsTeste\" }";
    typed.replace(typed.find(from), from.size(),
                  "\"data\": { \"dataSource\": \"dtsTeste\", \"types\": { \"CDITEM\": \"integer\" } }");
    const struct {
        std::string def;
        int groups, perGroup;
    } cases[] = {{kGrouped, 3, 70}, {kGrouped, 7, 9}, {newPage, 3, 2}, {typed, 2, 40}, {kGrouped, 0, 0}};
    for (const auto& c : cases) {
        auto packet = build(c.def, items(c.groups, c.perGroup));
        Built streamed{ReportDefinition::parse(c.def, "PLA01399.QR2"), nullptr};
        ReportDocument::Input in;
        in.definition = &streamed.def;
        in.reportId = "PLA01399";
        auto source = std::make_unique<PacketSource>(items(c.groups, c.perGroup));
        in.rows = std::move(source);
        in.printedAt = pla013::host::EncodeDate(2024, 5, 2) + (14 * 60 + 5) / 1440.0;
        streamed.doc = std::make_unique<ReportDocument>(std::move(in));
        EXPECT_EQ(TextRenderer::pages(*streamed.doc), TextRenderer::pages(*packet.doc)) << c.groups;
        EXPECT_EQ(streamed.doc->rowCount(), std::size_t(c.groups * c.perGroup));
    }
}

TEST(Layout, ABadValueOfARowSourceStopsTheRunNamingItsRow) {
    std::string def = kGrouped;
    const std::string from = "\"data\": { \"dataSource\": \"dtsTeste\" }";
    def.replace(def.find(from), from.size(),
                "\"data\": { \"dataSource\": \"dtsTeste\", \"types\": { \"VRCUSTO\": \"float\" } }");
    auto data = items(1, 5);
    data.rows[3][3] = pla013::host::Variant("doze");
    ReportDefinition d = ReportDefinition::parse(def, "PLA01399.QR2");
    ReportDocument::Input in;
    in.definition = &d;
    in.rows = std::make_unique<PacketSource>(data);
    try {
        ReportDocument doc(std::move(in));
        FAIL() << "no error";
    } catch (const pla013::host::EHostError& e) {
        EXPECT_NE(std::string(e.what()).find("linha 4"), std::string::npos) << e.what();
    }
}

// A stop asked while rows are read is seen at the next row, whatever the
// writer's own steps; rows held in a packet are not even prepared.
TEST(Layout, AStopIsSeenAtTheNextRow) {
    const struct {
        const char* name;
        std::function<void(const ReportDocument&, const std::string&)> work;
    } cases[] = {
        {"counting the pages", [](const ReportDocument& d, const std::string&) { d.pageCount(); }},
        {"writing pages", [](const ReportDocument& d, const std::string& f) { TextRenderer().render(d, f); }},
        {"writing rows", [](const ReportDocument& d, const std::string& f) { CsvRenderer().render(d, f); }},
    };
    TempDir dir;
    auto made = [](ReportDefinition& def, std::size_t stopAt, std::stop_source& stop) {
        ReportDocument::Input in;
        in.definition = &def;
        auto source = std::make_unique<PacketSource>(items(3, 900));
        source->stopAt = stopAt;
        source->stop = &stop;
        in.stop = stop.get_token();
        in.rows = std::move(source);
        return in;
    };
    ReportDefinition def0 = ReportDefinition::parse(kGrouped, "PLA01399.QR2");
    {
        SCOPED_TRACE("reading the rows");
        std::stop_source stop;
        EXPECT_THROW(ReportDocument{made(def0, 10, stop)}, ReportCancelled);
    }
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::stop_source stop;
        ReportDocument doc(made(def0, 0, stop));
        stop.request_stop();
        EXPECT_THROW(c.work(doc, dir.file("r.txt")), ReportCancelled);
    }
    std::stop_source stopped;
    stopped.request_stop();
    ReportDefinition def = ReportDefinition::parse(kGrouped, "PLA01399.QR2");
    ReportDocument::Input in;
    in.definition = &def;
    in.data = items(3, 900);
    in.stop = stopped.get_token();
    EXPECT_THROW(ReportDocument{std::move(in)}, ReportCancelled);
}

// A photo is decoded, never cut like a text: one far over the text limit
// prints whole.
TEST(Layout, AnEmbeddedPhotoOfAnySizePrintsWhole) {
    const char* def = R"({
      "version": 1, "code": "99", "title": "Fotos", "data": { "dataSource": "dts" },
      "groups": [ { "field": "CDPRATO", "header": [ { "image": "DSFOTO", "lines": 3 } ] } ],
      "columns": [ { "field": "CDPRATO", "caption": "Código", "width": 8 } ] })";
    std::string png = "\x89PNG\r\n\x1a\n";
    for (int i = 0; png.size() < 60000; ++i) png += char(i * 7);
    const std::string encoded = pla013::reports::internal::encodeBase64(png);
    pla013::host::DataPacket data;
    data.fields = {{"CDPRATO", pla013::host::FieldType::String, 5}, {"DSFOTO", pla013::host::FieldType::String, 0}};
    data.rows.push_back({pla013::host::Variant("00001"), pla013::host::Variant("data:image/png;base64," + encoded)});
    auto b = build(def, data);
    const std::string page = TextRenderer::pages(*b.doc).at(0);
    EXPECT_NE(page.find("[foto]"), std::string::npos) << page;
    TempDir dir;
    HtmlRenderer().render(*b.doc, dir.file("f.html"));
    EXPECT_NE(readFile(dir.file("f.html")).find("base64," + encoded + "\""), std::string::npos);
}

// Photos of every kind a kitchen's files hold reach the PDF in their colours:
// PNG with transparency, interlaced, with a palette, grey of one bit, of 16
// bits a sample, and JPEG (each 16 x 12 pixels of one colour).
TEST(Layout, PhotosOfEveryKindAreDrawnInThePdf) {
    const char* def = R"({
      "version": 1, "code": "99", "title": "Fotos", "data": { "dataSource": "dts" },
      "groups": [ { "field": "CDPRATO", "newPage": true, "header": [ { "image": "DSFOTO", "lines": 6 } ] } ],
      "columns": [ { "field": "CDPRATO", "caption": "Código", "width": 8 } ] })";
    struct Case {
        const char* name;
        const char* uri;
    };
    const Case cases[] = {
        {"png rgba",
         "data:image/"
         "png;base64,iVBORw0KGgoAAAANSUhEUgAAABAAAAAMCAYAAABr5z2BAAAAG0lEQVQoz2O8oKDwn4ECwESJ5lEDRg0YPAYAAGg+"
         "AiePK0RuAAAAAElFTkSuQmCC"},
        {"png interlaced",
         "data:image/"
         "png;base64,"
         "iVBORw0KGgoAAAANSUhEUgAAABAAAAAMCAIAAAGTgppAAAAANElEQVQoz2O8oKDAwMDAxMDAwMDAwIiNh4XDxIAEUDgoynCqIkqCikZRUQKnq"
         "0g2aThrAAAFdgeYfmFG4AAAAABJRU5ErkJggg=="},
        {"png palette",
         "data:image/"
         "png;base64,iVBORw0KGgoAAAANSUhEUgAAABAAAAAMCAMAAABcOc2zAAAAA1BMVEXQICCEGQyAAAAADElEQVQI12NgGD4AAADMAAG01/"
         "g9AAAAAElFTkSuQmCC"},
        {"png grey 1 bit",
         "data:image/"
         "png;base64,iVBORw0KGgoAAAANSUhEUgAAABAAAAAMAQAAAABDnAAsAAAAC0lEQVQI12NgIAwAACQAAS4ecaAAAAAASUVORK5CYII="},
        {"png 16 bits",
         "data:image/"
         "png;base64,"
         "iVBORw0KGgoAAAANSUhEUgAAABAAAAAMEAIAAAC0FXaVAAAAH0lEQVQ4y2O8cEFBQUGBgWaAiXZGj1owasGoBcPHAgDgcwI42LIKjQAAAABJR"
         "U5ErkJggg=="},
        {"jpeg",
         "data:image/jpeg;base64,/9j/4AAQSkZJRgABAQAAAQABAAD/"
         "2wBDAAMCAgMCAgMDAwMEAwMEBQgFBQQEBQoHBwYIDAoMDAsKCwsNDhIQDQ4RDgsLEBYQERMUFRUVDA8XGBYUGBIUFRT/"
         "2wBDAQMEBAUEBQkFBQkUDQsNFBQUFBQUFBQUFBQUFBQUFBQUFBQUFBQUFBQUFBQUFBQUFBQUFBQUFBQUFBQUFBQUFBT/"
         "wAARCAAMABADAREAAhEBAxEB/8QAFQABAQAAAAAAAAAAAAAAAAAAAAf/xAAUEAEAAAAAAAAAAAAAAAAAAAAA/"
         "8QAFgEBAQEAAAAAAAAAAAAAAAAAAAcI/8QAFBEBAAAAAAAAAAAAAAAAAAAAAP/aAAwDAQACEQMRAD8AhiXt1gAAP//Z"},
    };
    // All in one document, each its own dish on its own page: each photo is
    // drawn as itself, never as one met on an earlier page.
    pla013::host::DataPacket data;
    data.fields = {{"CDPRATO", pla013::host::FieldType::String, 5}, {"DSFOTO", pla013::host::FieldType::String, 0}};
    for (const Case& c : cases)
        data.rows.push_back({pla013::host::Variant("0000" + std::to_string(data.rows.size() + 1)),
                             pla013::host::Variant(std::string(c.uri))});
    auto b = build(def, data);
    ASSERT_EQ(b.doc->pageCount(), 6u);
    TempDir dir;
    const std::string pdf = dir.file("fotos.pdf");
    PdfRenderer().render(*b.doc, pdf);
    EXPECT_EQ(pdfImageCount(pdf), 6);
    int status = 0;
    reportstest::run("pdftoppm -r 36 " + shellQuote(pdf) + " " + shellQuote(dir.file("p")), status);
    ASSERT_EQ(status, 0);
    int red = 0, black = 0;
    for (int page = 1; page <= 6; ++page) {
        // The page as PPM: "P6 W H 255" and the pixels.
        const std::string ppm = readFile(dir.file("p-" + std::to_string(page) + ".ppm"));
        std::size_t at = 0;
        for (int fields = 0; fields < 4 && at < ppm.size(); ++at)
            if (std::isspace(static_cast<unsigned char>(ppm[at])) &&
                !std::isspace(static_cast<unsigned char>(ppm[at - 1])))
                ++fields;
        for (std::size_t i = at; i + 2 < ppm.size(); i += 3) {
            const int r = std::uint8_t(ppm[i]), g = std::uint8_t(ppm[i + 1]), bl = std::uint8_t(ppm[i + 2]);
            if (std::abs(r - 208) < 24 && std::abs(g - 32) < 24 && std::abs(bl - 32) < 24) ++red;
            if (r < 24 && g < 24 && bl < 24) ++black;
        }
    }
    // Each photo's box is some 86 x 64 points: at 36 dpi, about 1 400
    // pixels; five red ones and a black one (the texts add some black).
    EXPECT_GT(red, 5 * 1200);
    EXPECT_LT(red, 5 * 1500);
    EXPECT_GT(black, 1200);
}

TEST(ValueTexts, BrazilianConventions) {
    struct Case {
        pla013::host::Variant v;
        const char* format;
        const char* text;
    };
    const Case cases[] = {
        {pla013::host::Variant(1234567.891), "#,##0.00", "1.234.567,89"},
        {pla013::host::Variant(-0.004), "#,##0.00", "0,00"},
        {pla013::host::Variant(-12.5), "0.0", "-12,5"},
        {pla013::host::Variant(0.125), "0.000", "0,125"},
        {pla013::host::Variant(std::int64_t(42)), "", "42"},
        {pla013::host::Variant(2.5), "", "2,50"},
        {pla013::host::Variant::date(pla013::host::EncodeDate(2024, 3, 4)), "", "04/03/2024"},
        {pla013::host::Variant::date(pla013::host::EncodeDate(2024, 3, 4)), "dddd, dd/mm", "segunda-feira, 04/03"},
        {pla013::host::Variant::date(pla013::host::EncodeDate(2024, 3, 9) + 0.75), "", "09/03/2024 18:00"},
        {pla013::host::Variant::null(), "#,##0.00", ""},
        {pla013::host::Variant("0012"), "#,##0.00", "0012"},
        // Quantities to the precision they are stored in, three decimals at least.
        {pla013::host::Variant(0.1063), "0.000#", "0,1063"},
        {pla013::host::Variant(0.03), "0.000#", "0,030"},
        {pla013::host::Variant(0.10635), "0.000#", "0,1064"},
        {pla013::host::Variant(1234.5), "#,##0.0##", "1.234,5"},
    };
    for (const auto& c : cases) EXPECT_EQ(ReportDocument::text(c.v, c.format), c.text) << c.text;
}

// Two sides of a comparison under one heading each, as the comparison
// reports have them; data with a code, a separator, a quote and a line break.
const char* kTwoSides = R"({
  "version": 1, "code": "99", "title": "Padrão x local: custos/filial [teste]",
  "orientation": "landscape",
  "data": { "dataSource": "dts" },
  "groups": [ { "field": "CDFILIAL", "header": [ { "text": "Filial {CDFILIAL}" } ],
                "dataColumns": [ { "field": "CDFILIAL", "caption": "Filial" } ] } ],
  "columns": [ { "field": "CDPRODP", "caption": "Produto", "width": 6 },
               { "field": "NMPRODP", "caption": "Receita padrão", "width": 30 },
               { "field": "VRCUSTOP", "caption": "Custo", "width": 10, "format": "#,##0.00" },
               { "field": "CDPRODL", "caption": "Produto", "width": 6 },
               { "field": "NMPRODL", "caption": "Receita local", "width": 20 },
               { "field": "QTPRODL", "caption": "Qtde.", "width": 9, "format": "0.000" },
               { "field": "VRCUSTOL", "caption": "Custo", "width": 10, "format": "#,##0.00" },
               { "field": "DTVALIDADE", "caption": "Validade", "width": 10 } ]
})";

pla013::host::DataPacket twoSides() {
    using pla013::host::FieldType;
    pla013::host::DataPacket p;
    p.fields = {
        {"CDFILIAL", FieldType::String, 4}, {"CDPRODP", FieldType::String, 6}, {"NMPRODP", FieldType::String, 30},
        {"VRCUSTOP", FieldType::Float, 0},  {"CDPRODL", FieldType::String, 6}, {"NMPRODL", FieldType::String, 30},
        {"QTPRODL", FieldType::Float, 0},   {"VRCUSTOL", FieldType::Float, 0}, {"DTVALIDADE", FieldType::Date, 0}};
    p.rows.push_back({"0012", "000123", "Arroz \"tipo 1\"; polido\nsaco", 1234.5, "000124", "=HYPERLINK(\"x\")", 0.125,
                      12.0, pla013::host::Variant::date(pla013::host::EncodeDate(2024, 7, 1))});
    p.rows.push_back({"0012", "000200", "Feijão", 2.0, pla013::host::Variant::null(), pla013::host::Variant::null(),
                      pla013::host::Variant::null(), pla013::host::Variant::null(), pla013::host::Variant::null()});
    return p;
}

// Read back by a real CSV reader: distinct headings, every value as written.
TEST(Csv, ReadBackByPythonsCsvModule) {
    auto b = build(kTwoSides, twoSides());
    TempDir dir;
    const std::string file = dir.file("f.csv");
    CsvRenderer().render(*b.doc, file);
    const std::string csv = readFile(file);
    EXPECT_EQ(csv.rfind("\xEF\xBB\xBF", 0), 0u) << "byte-order mark";
    EXPECT_NE(csv.find("\r\n"), std::string::npos);
    EXPECT_EQ(csv.find("\n", csv.find("saco")), csv.find("\r\n", csv.find("saco")) + 1) << "CR LF ends the line";
    int status = 0;
    const std::string rows =
        run("python3 -c 'import csv,json,sys\n"
            "with open(sys.argv[1], encoding=\"utf-8-sig\", newline=\"\") as f:\n"
            "    print(json.dumps(list(csv.reader(f, delimiter=\";\")), ensure_ascii=False))' " +
                shellQuote(file),
            status);
    ASSERT_EQ(status, 0) << rows;
    EXPECT_EQ(rows,
              R"j([["Filial", "Produto (receita padrão)", "Receita padrão", "Custo (receita padrão)", )j"
              R"j("Produto (receita local)", "Receita local", "Qtde.", "Custo (receita local)", "Validade"], )j"
              R"j(["0012", "000123", "Arroz \"tipo 1\"; polido\nsaco", "1234,50", "000124", "'=HYPERLINK(\"x\")", )j"
              R"j("0,125", "12,00", "01/07/2024"], )j"
              R"j(["0012", "000200", "Feijão", "2,00", "", "", "", "", ""]])j"
              "\n");
}

TEST(Html, TextsAreEscapedAndPagesAreSections) {
    auto data = items(1, 2);
    data.rows[0][2] = pla013::host::Variant("<b>Arroz & feijão</b>");
    auto b = build(kGrouped, data);
    TempDir dir;
    HtmlRenderer().render(*b.doc, dir.file("f.html"));
    std::string html = readFile(dir.file("f.html"));
    EXPECT_NE(html.find("&lt;b&gt;Arroz &amp; feijão&lt;/b&gt;"), std::string::npos);
    EXPECT_EQ(html.find("<b>Arroz"), std::string::npos);
    EXPECT_EQ(count(html, "<section class=\"page\">"), int(b.doc->pageCount()));
    EXPECT_NE(html.find("Página 1 de 1"), std::string::npos);
    EXPECT_NE(html.find("<meta charset=\"utf-8\">"), std::string::npos);
}

// Every page a real table: the column headers in its head (repeated when
// printing breaks it), every row in a head or a body; the subtitle's runs
// of blanks kept; the printed page in the report's orientation.
TEST(Html, PagesAreTablesWithHeadAndBodyAndPrint) {
    std::string def = kTwoSides;
    def.insert(def.find("\"orientation\""), "\"subtitle\": \"Filial 0012   Tipo de custo: médio\",\n");
    auto data = twoSides();
    for (int i = 0; i < 120; ++i) data.rows.push_back(data.rows.back());
    auto b = build(def, data);
    ASSERT_GT(b.doc->pageCount(), 1u);
    TempDir dir;
    HtmlRenderer().render(*b.doc, dir.file("f.html"));
    const std::string html = readFile(dir.file("f.html"));
    const int pages = int(b.doc->pageCount());
    EXPECT_EQ(count(html, "<table>"), pages);
    EXPECT_EQ(count(html, "<thead><tr><th"), pages);
    EXPECT_EQ(count(html, "<tbody>"), pages);
    EXPECT_EQ(count(html, "</tbody>\n</table>"), pages);
    // No row outside a head or a body (a plain scan: a regular expression
    // over the whole page recurses too deep for the sanitizer's stack).
    std::string outside;
    for (std::size_t at = 0; at < html.size();) {
        std::size_t open = std::min(html.find("<thead>", at), html.find("<tbody>", at));
        outside += html.substr(at, open == std::string::npos ? std::string::npos : open - at);
        if (open == std::string::npos) break;
        const std::string close = html.compare(open, 7, "<thead>") == 0 ? "</thead>" : "</tbody>";
        const std::size_t end = html.find(close, open);
        at = end == std::string::npos ? html.size() : end + close.size();
    }
    EXPECT_EQ(outside.find("<tr"), std::string::npos);
    EXPECT_NE(html.find("<p class=\"subtitle\">Filial 0012   Tipo de custo: médio</p>"), std::string::npos);
    EXPECT_NE(html.find("header p{margin:2px 0;white-space:pre-wrap}"), std::string::npos);
    EXPECT_NE(html.find("thead{display:table-header-group}"), std::string::npos);
    EXPECT_NE(html.find("@page{size:A4 landscape"), std::string::npos);
}

// Read back from the archive: the sheets' names and, for the data sheet,
// its frozen pane, its autofilter and the cells of one row, each as
// "REF kind value format" (kind: s a string, n a number).
const char* kReadXlsx = R"py(
import re, sys, zipfile, xml.etree.ElementTree as ET
ns = {"m": "http://schemas.openxmlformats.org/spreadsheetml/2006/main"}
z = zipfile.ZipFile(sys.argv[1])
print("sheets:", "|".join(s.get("name") for s in ET.fromstring(z.read("xl/workbook.xml")).iter("{%s}sheet" % ns["m"])))
st = ET.fromstring(z.read("xl/styles.xml"))
codes = {f.get("numFmtId"): f.get("formatCode") for f in st.iter("{%s}numFmt" % ns["m"])}
xfs = [x.get("numFmtId") for x in st.find("m:cellXfs", ns)]
ws = ET.fromstring(z.read("xl/worksheets/sheet1.xml"))
pane = ws.find(".//m:pane", ns)
print("pane:", pane.get("state"), pane.get("ySplit"), pane.get("topLeftCell"))
print("filter:", ws.find("m:autoFilter", ns).get("ref"))
print("landscape:", ws.find("m:pageSetup", ns).get("orientation"))
for c in ws.find("m:sheetData", ns)[int(sys.argv[2]) - 1]:
    if c.get("t") == "inlineStr":
        print(c.get("r"), "s", c.find("m:is/m:t", ns).text)
    else:
        print(c.get("r"), "n", c.find("m:v", ns).text, codes.get(xfs[int(c.get("s", 0))], "General"))
)py";

TEST(Xlsx, DataSheetReadBackAsASpreadsheetReadsIt) {
    auto b = build(kTwoSides, twoSides());
    TempDir dir;
    const std::string file = dir.file("f.xlsx");
    XlsxRenderer().render(*b.doc, file);
    int status = 0;
    const std::string got = run("python3 -c " + shellQuote(kReadXlsx) + " " + shellQuote(file) + " 2", status);
    ASSERT_EQ(status, 0) << got;
    EXPECT_EQ(got,
              "sheets: Padrão x local custos filial|Impressão\n"
              "pane: frozen 1 A2\n"
              "filter: A1:I3\n"
              "landscape: landscape\n"
              "A2 s 0012\n"
              "B2 s 000123\n"
              "C2 s Arroz \"tipo 1\"; polido\nsaco\n"
              "D2 n 1234.5 #,##0.00\n"
              "E2 s 000124\n"
              "F2 s =HYPERLINK(\"x\")\n"
              "G2 n 0.125 0.000\n"
              "H2 n 12 #,##0.00\n"
              "I2 n 45474 dd/mm/yyyy\n");
    // The headings are the CSV's.
    const std::string heading = run("unzip -p " + shellQuote(file) + " xl/worksheets/sheet1.xml", status);
    EXPECT_NE(heading.find("<t>Custo (receita local)</t>"), std::string::npos);
}

TEST(Xlsx, SheetNamesFollowTheSpreadsheetsRules) {
    const struct {
        const char* title;
        const char* sheet;
    } cases[] = {
        {"Custo dos Pratos: Receita Padrão x Receita das Filiais", "Custo dos Pratos Receita Padrão"},
        {"Pratos dos Cardápios por Período", "Pratos dos Cardápios por"},
        {"'[Teste]' */?\\\\", "Teste"},
        {"::", "PLA01399"},
        {"Impressão", "Impressão|Impressão 2"},
    };
    for (const auto& c : cases) {
        std::string def = kTwoSides;
        const std::string from = "Padrão x local: custos/filial [teste]";
        def.replace(def.find(from), from.size(), c.title);
        auto b = build(def, twoSides());
        TempDir dir;
        XlsxRenderer().render(*b.doc, dir.file("f.xlsx"));
        int status = 0;
        std::string got =
            run("python3 -c " + shellQuote(kReadXlsx) + " " + shellQuote(dir.file("f.xlsx")) + " 1", status);
        std::string expected = std::string("sheets: ") + c.sheet;
        if (expected.find('|') == std::string::npos) expected += "|Impressão";
        EXPECT_EQ(got.substr(0, got.find('\n')), expected) << c.title;
    }
}

}  // namespace

// Group B's figures differ from group A's: a footer that took in rows of the
// groups before it would show A's and B's together.
TEST(Layout, EachGroupFooterTotalsOnlyItsOwnRows) {
    auto data = items(3, 2);
    for (std::size_t r = 0; r < data.rows.size(); ++r) data.rows[r][3] = pla013::host::Variant(double(r + 1) * 10);
    std::string def = kGrouped;
    def.replace(def.find("\"itens:\""), 8, "\"itens de {CDGRUPO}:\"");
    auto b = build(def, data);
    std::string text = TextRenderer::page(*b.doc, 0);
    const std::pair<const char*, const char*> footers[] = {
        {"Total do grupo GA", "30,00"}, {"Total do grupo GB", "70,00"}, {"Total do grupo GC", "110,00"}};
    for (const auto& [caption, sum] : footers) {
        auto at = text.find(caption);
        ASSERT_NE(at, std::string::npos) << text;
        std::string line = text.substr(at, text.find('\n', at) - at);
        EXPECT_NE(line.find(sum), std::string::npos) << line;
        EXPECT_NE(line.find(std::string("itens de ") + (caption + 15) + ": 2"), std::string::npos) << line;
    }
    EXPECT_EQ(text.find('{'), std::string::npos) << text;
}

TEST(Layout, ATemplateNamingAnUnknownFieldIsADefinitionError) {
    std::string def = kGrouped;
    def.replace(def.find("\"itens:\""), 8, "\"itens {CDGRUPOX}:\"");
    try {
        build(def, items(1, 1));
        FAIL() << "no error";
    } catch (const pla013::host::EHostError& e) {
        std::string m = e.what();
        EXPECT_NE(m.find("'PLA01399.QR2', /groups/0/footer/0/totals/1/caption"), std::string::npos) << m;
        EXPECT_NE(m.find("CDGRUPOX"), std::string::npos) << m;
    }
}

TEST(Money, RoundsHalfAwayFromZeroToTheCent) {
    const struct {
        double value;
        int decimals;
        double rounded;
    } cases[] = {{2.675, 2, 2.68},    {1.005, 2, 1.01}, {-0.125, 2, -0.13}, {1.875, 2, 1.88},
                 {0.994999, 2, 0.99}, {2.5, 0, 3},      {-2.5, 0, -3},      {1234.5649, 2, 1234.56}};
    for (const auto& c : cases)
        EXPECT_DOUBLE_EQ(pla013::reports::internal::roundHalfAway(c.value, c.decimals), c.rounded) << c.value;
}

// A printed difference is the difference of the printed figures, and a
// printed total the sum of the printed lines, in every target.
TEST(Money, DifferencesAndTotalsAreOfThePrintedFigures) {
    const char* def = R"({
      "version": 1, "code": "99", "title": "Diferença",
      "data": { "dataSource": "dtsTeste" },
      "computed": [ { "name": "VRDIF", "expression": "VRA - VRB" } ],
      "columns": [ { "field": "VRA", "width": 10, "format": "#,##0.00" },
                   { "field": "VRB", "width": 10, "format": "#,##0.00" },
                   { "field": "VRDIF", "width": 10, "format": "#,##0.00" } ],
      "totals": [ { "field": "VRA" }, { "field": "VRB" }, { "field": "VRDIF" } ] })";
    pla013::host::DataPacket p;
    p.fields = {{"VRA", pla013::host::FieldType::Float, 0}, {"VRB", pla013::host::FieldType::Float, 0}};
    p.rows = {{pla013::host::Variant(2.0), pla013::host::Variant(1.875)},
              {pla013::host::Variant(2.0), pla013::host::Variant(1.875)}};
    auto b = build(def, p);
    std::string text = TextRenderer::page(*b.doc, 0);
    EXPECT_EQ(count(text, "1,88"), 2) << text;
    EXPECT_EQ(count(text, "0,12"), 2) << text;
    EXPECT_NE(text.find("3,76"), std::string::npos) << "1,88 + 1,88: " << text;
    EXPECT_NE(text.find("0,24"), std::string::npos) << text;
    TempDir dir;
    CsvRenderer().render(*b.doc, dir.file("d.csv"));
    std::string csv = readFile(dir.file("d.csv"));
    EXPECT_NE(csv.find("1,88"), std::string::npos) << csv;
    EXPECT_NE(csv.find("0,12"), std::string::npos) << csv;
}

// A dish's cost: its lines added as the data holds them and rounded once;
// the dishes without lines listed last, several a line; the report's total
// adds the dishes' printed costs.
const char* kDishCosts = R"({
  "version": 1, "code": "99", "title": "Custo dos pratos",
  "data": { "dataSource": "dtsTeste", "order": ["QTSEMLINHA"] },
  "computed": [
    { "name": "VRPRATO", "function": "sum", "field": "VRCUSTO", "over": "CDPRATO", "format": "#,##0.00" },
    { "name": "QTSEMCUSTO", "function": "count", "over": "CDPRATO",
      "when": { "all": [ { "field": "CDPROD", "notNull": true }, { "not": { "field": "VRCUSTO", "notNull": true } } ] } },
    { "name": "QTLINHAS", "function": "count", "field": "CDPROD", "over": "CDPRATO" },
    { "name": "QTVAZIOS", "function": "count", "over": [],
      "when": { "all": [ { "field": "NRSEQ", "equals": 1 }, { "field": "QTLINHAS", "equals": 0 } ] } },
    { "name": "QTSEMLINHA", "expression": "1", "when": { "field": "QTLINHAS", "equals": 0 }, "otherwise": "0" },
    { "name": "VRPRATO1", "expression": "VRPRATO", "when": { "field": "NRSEQ", "equals": 1 } }
  ],
  "groups": [ { "field": "CDPRATO",
    "header": [ { "text": "Prato {CDPRATO}", "when": { "field": "QTSEMLINHA", "equals": 0 } },
                { "inline": "{CDPRATO} vazio", "width": 40, "when": { "field": "QTSEMLINHA", "equals": 1 } } ],
    "footer": [ { "totals": [ { "field": "VRPRATO1", "under": "VRCUSTO",
                                "note": { "text": "incompleto", "when": { "not": { "field": "QTSEMCUSTO", "equals": 0 } } } } ],
                  "caption": "Custo do prato", "when": { "field": "QTSEMLINHA", "equals": 0 } } ] } ],
  "detail": { "printIf": { "field": "QTSEMLINHA", "equals": 0 } },
  "columns": [ { "field": "CDPROD", "width": 40 },
               { "field": "VRCUSTO", "caption": "Custo", "width": 10, "align": "right", "format": "#,##0.00" } ],
  "totals": [ { "field": "VRPRATO1", "under": "VRCUSTO" } ],
  "totalsCaption": "Total   vazios: {QTVAZIOS}"
})";

pla013::host::DataPacket dishLines() {
    using pla013::host::FieldType;
    using pla013::host::Variant;
    pla013::host::DataPacket p;
    p.fields = {{"CDPRATO", FieldType::String, 4},
                {"NRSEQ", FieldType::Integer, 0},
                {"CDPROD", FieldType::String, 4},
                {"VRCUSTO", FieldType::Float, 0}};
    auto line = [&](const char* dish, int seq, Variant product, Variant cost) {
        p.rows.push_back({Variant(dish), Variant(std::int64_t(seq)), product, cost});
    };
    line("E1", 1, Variant::null(), Variant::null());
    for (const char* dish : {"A", "C"})
        for (int k = 1; k <= 3; ++k) line(dish, k, Variant("p" + std::to_string(k)), Variant(0.0045));
    line("B", 1, Variant("p1"), Variant(1.004));
    line("B", 2, Variant("p2"), Variant::null());
    line("E2", 1, Variant::null(), Variant::null());
    line("E3", 1, Variant::null(), Variant::null());
    return p;
}

TEST(Money, ADishCostsItsLinesAddedUnroundedAndRoundedOnce) {
    auto b = build(kDishCosts, dishLines());
    const std::string text = TextRenderer::page(*b.doc, 0);
    // 3 x 0,0045 = 0,0135: lines of 0,00 and a dish of 0,01; a line without
    // cost makes the dish's cost incomplete and says so.
    EXPECT_EQ(count(text, "0,00\n"), 6) << text;
    EXPECT_EQ(count(text, "Custo do prato"), 3) << text;
    EXPECT_EQ(count(text, "  0,01\n"), 2) << text;
    EXPECT_NE(text.find("1,00 incompleto\n"), std::string::npos) << text;
    // The dishes without lines come last, two a line, and are counted.
    EXPECT_LT(text.find("Prato C"), text.find("E1 vazio")) << text;
    EXPECT_NE(text.find("E1 vazio" + std::string(32, ' ') + "E2 vazio\nE3 vazio\n"), std::string::npos) << text;
    // The total adds the printed dish costs: 0,01 + 0,01 + 1,00, not 1,031.
    EXPECT_NE(text.find("Total   vazios: 3"), std::string::npos) << text;
    EXPECT_NE(text.find("1,02\n"), std::string::npos) << text;
}

TEST(Layout, AnAggregateReadsOnlyTheDataAndEarlierAggregates) {
    std::string def = kDishCosts;
    const std::string lines = R"("field": "CDPROD", "over")";
    def.replace(def.find(lines), lines.size(), R"("field": "QTSEMLINHA", "over")");
    try {
        build(def, dishLines());
        FAIL() << "no error";
    } catch (const pla013::host::EHostError& e) {
        EXPECT_NE(std::string(e.what()).find("/computed/2: um agregado lê só campos dos dados"), std::string::npos)
            << e.what();
    }
    // Rows read one at a time add up as the same rows held in a packet.
    ReportDefinition d = ReportDefinition::parse(kDishCosts, "PLA01399.QR2");
    ReportDocument::Input in;
    in.definition = &d;
    in.rows = std::make_unique<PacketSource>(dishLines());
    in.reportId = "PLA01399";
    in.printedAt = pla013::host::EncodeDate(2024, 5, 2) + (14 * 60 + 5) / 1440.0;
    EXPECT_EQ(TextRenderer::pages(ReportDocument(std::move(in))),
              TextRenderer::pages(*build(kDishCosts, dishLines()).doc));
}

// Lines of a code tree that head the lines after them: a page that goes on
// under them repeats them, outermost first.
TEST(Layout, ATreeOfDetailLinesRepeatsItsOpenHeadings) {
    const char* def = R"({
      "version": 1, "code": "99", "title": "Árvore",
      "data": { "dataSource": "dtsTeste" },
      "detail": { "heading": { "when": { "not": { "field": "NRNIVEL", "equals": 2 } },
                               "level": "NRNIVEL", "column": "NMITEM" } },
      "columns": [ { "field": "CDITEM", "width": 8 }, { "field": "NMITEM", "width": 40, "indent": "NRNIVEL" },
                   { "field": "NRNIVEL", "width": 3 } ] })";
    using pla013::host::Variant;
    pla013::host::DataPacket p;
    p.fields = {{"CDITEM", pla013::host::FieldType::String, 8},
                {"NMITEM", pla013::host::FieldType::String, 40},
                {"NRNIVEL", pla013::host::FieldType::Integer, 0}};
    auto row = [&](std::string code, std::string name, int level) {
        p.rows.push_back({Variant(code), Variant(name), Variant(std::int64_t(level))});
    };
    row("1", "Grupo um", 0);
    row("10", "Subgrupo dez", 1);
    for (int i = 0; i < 70; ++i) row("10" + std::to_string(100 + i), "Item " + std::to_string(i), 2);
    row("11", "Subgrupo onze", 1);
    for (int i = 0; i < 60; ++i) row("11" + std::to_string(100 + i), "Item " + std::to_string(i), 2);
    row("2", "Grupo dois", 0);
    auto b = build(def, p);
    const auto pages = TextRenderer::pages(*b.doc);
    ASSERT_EQ(pages.size(), 3u);
    const std::string rule = std::string(110, '-') + "\n";
    auto firstLines = [&](const std::string& page, int n) {
        std::string out;
        std::size_t at = page.find(rule) + rule.size();
        for (int i = 0; i < n; ++i) {
            const std::size_t end = page.find('\n', at);
            out += page.substr(at, end - at) + "\n";
            at = end + 1;
        }
        return out;
    };
    const std::string second = firstLines(pages[1], 3);
    EXPECT_EQ(second.rfind("1        Grupo um (continuação)", 0), 0u) << second;
    EXPECT_NE(second.find("\n10         Subgrupo dez (continuação)"), std::string::npos) << second;
    EXPECT_NE(second.find("\n101"), std::string::npos) << second;
    // The next subgroup ended the one before it.
    const std::string third = firstLines(pages[2], 2);
    EXPECT_NE(third.find("Grupo um (continuação)"), std::string::npos) << third;
    EXPECT_NE(third.find("Subgrupo onze (continuação)"), std::string::npos) << third;
    EXPECT_EQ(pages[2].find("Subgrupo dez"), std::string::npos) << pages[2];
}

// Pages kept in a page spool come back as they went in, every field of every
// line, photos included, from memory and from the temporary file alike.
TEST(PageSpool, PagesComeBackAsTheyWentIn) {
    const char* photo = R"({
      "version": 1, "code": "99", "title": "Fotos", "data": { "dataSource": "dts" },
      "groups": [ { "field": "CDPRATO", "newPage": true, "header": [ { "image": "DSFOTO", "lines": 3 } ] } ],
      "columns": [ { "field": "CDPRATO", "caption": "Código", "width": 8 } ] })";
    pla013::host::DataPacket photos;
    photos.fields = {{"CDPRATO", pla013::host::FieldType::String, 5}, {"DSFOTO", pla013::host::FieldType::String, 0}};
    for (const char* code : {"00001", "00002"})
        photos.rows.push_back(
            {pla013::host::Variant(code),
             pla013::host::Variant("data:image/png;base64," + pla013::reports::internal::encodeBase64(
                                                                  std::string("\x89PNG\r\n\x1a\n\0", 9) + code))});
    std::vector<std::vector<pla013::reports::Line>> pages;
    std::vector<std::unique_ptr<pla013::reports::ImageData>> owned;  // a page's photos die with it
    Built built[] = {build(kGrouped, items(3, 70)), build(photo, photos)};
    for (auto& b : built)
        b.doc->forEachPage([&](std::size_t, const std::vector<pla013::reports::Line>& page) {
            pages.push_back(page);
            for (auto& line : pages.back())
                if (line.image) {
                    owned.push_back(std::make_unique<pla013::reports::ImageData>(*line.image));
                    line.image = owned.back().get();
                }
            return true;
        });
    auto& first = pages.front().front();
    first.spans.push_back(
        {"Título largo", 3, 20, pla013::reports::Align::Center, -1, pla013::host::Variant::null(), ""});
    first.gutters = {4, 17};
    first.cells.push_back({"02/05/2024", 40, 10, pla013::reports::Align::Right, 2,
                           pla013::host::Variant::date(pla013::host::EncodeDate(2024, 5, 2)), "dd/mm/yyyy"});
    auto same = [](const std::vector<pla013::reports::Cell>& a, const std::vector<pla013::reports::Cell>& b) {
        if (a.size() != b.size()) return false;
        for (std::size_t i = 0; i < a.size(); ++i)
            if (a[i].text != b[i].text || a[i].x != b[i].x || a[i].width != b[i].width || a[i].align != b[i].align ||
                a[i].column != b[i].column || !(a[i].value == b[i].value) || a[i].format != b[i].format)
                return false;
        return true;
    };
    for (std::size_t limit : {std::size_t(1) << 30, std::size_t(0)}) {
        pla013::reports::PageSpool spool(limit);
        for (const auto& page : pages) spool.append(page);
        std::size_t photosSeen = 0;
        for (std::size_t p = pages.size(); p-- > 0;) {  // backwards: not only in order
            const auto back = spool.read(p);
            ASSERT_EQ(back->lines.size(), pages[p].size()) << p;
            for (std::size_t l = 0; l < pages[p].size(); ++l) {
                const auto &a = pages[p][l], &b = back->lines[l];
                EXPECT_TRUE(a.style == b.style && a.level == b.level && a.height == b.height && a.bold == b.bold &&
                            a.right == b.right && a.gutters == b.gutters && same(a.cells, b.cells) &&
                            same(a.spans, b.spans))
                    << "page " << p << " line " << l;
                ASSERT_EQ(a.image != nullptr, b.image != nullptr);
                if (b.image) {
                    EXPECT_EQ(b.image->bytes, a.image ? a.image->bytes : "");
                    ++photosSeen;
                }
            }
        }
        EXPECT_EQ(photosSeen, 2u);
        EXPECT_THROW(spool.read(pages.size()), std::out_of_range);
    }
}
