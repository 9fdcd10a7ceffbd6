// Renders a generated report of 10 000 and of 100 000 rows to PDF, HTML, CSV
// and XLSX and prints, per format, the rows per second of each size and how
// much the time per row grows from the small to the large report. Layout is
// meant to be linear: the growth must stay within 1.5 (exit status 1 when
// it does not).
//
//   bench_report_render [SMALL LARGE]

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <unistd.h>

#include "platform/reports/CsvRenderer.h"
#include "platform/reports/HtmlRenderer.h"
#include "platform/reports/ReportDefinition.h"
#include "platform/reports/ReportDocument.h"
#include "platform/reports/XlsxRenderer.h"
#ifdef PLA013_BENCH_PDF
#include "platform/reports/qt/GuiProcess.h"
#include "platform/reports/qt/PdfRenderer.h"
#endif

namespace fs = std::filesystem;
using namespace pla013::reports;

namespace {

// A cost listing grouped by dish, as the comparison reports print them.
const char* kDefinition = R"json({
  "version": 1, "code": "99", "title": "Custo das receitas (teste de desempenho)",
  "subtitle": "Filial {P_CDFILIAL}",
  "parameters": [ { "name": "P_CDFILIAL", "type": "string", "label": "Filial" } ],
  "data": { "dataSource": "dtsBench" },
  "computed": [ { "name": "VRCUSTO", "expression": "QTBRUTPROD * VRUNIT" } ],
  "groups": [ { "field": "CDPRATO",
                "header": [ { "text": "Prato {CDPRATO} - {NMPRATO}", "bold": true } ],
                "footer": [ { "totals": [ { "field": "VRCUSTO" }, { "function": "count", "caption": "itens:" } ],
                              "caption": "Custo do prato" } ],
                "dataColumns": [ { "field": "CDPRATO", "caption": "Prato" } ] } ],
  "columns": [
    { "field": "NRSEQU", "caption": "Seq.", "width": 5, "align": "right" },
    { "field": "CDPRODUTO", "caption": "Produto", "width": 8 },
    { "field": "NMPRODUTO", "caption": "Descrição", "width": 36 },
    { "field": "SGUNIDPROD", "caption": "Unid.", "width": 6 },
    { "field": "QTBRUTPROD", "caption": "Qtde.", "width": 10, "align": "right", "format": "0.000" },
    { "field": "VRUNIT", "caption": "Custo unit.", "width": 12, "align": "right", "format": "#,##0.00" },
    { "field": "VRCUSTO", "caption": "Custo", "width": 13, "align": "right", "format": "#,##0.0000" }
  ],
  "totals": [ { "field": "VRCUSTO" } ]
})json";

pla013::host::DataPacket generate(std::size_t rows) {
    static const char* const names[] = {
        "Arroz agulhinha tipo 1", "Feijão carioca",         "Carne bovina acém", "Cebola",
        "Óleo de soja",           "Açafrão-da-terra em pó", "Batata inglesa"};
    static const char* const units[] = {"KG", "KG", "KG", "KG", "L", "KG", "KG"};
    pla013::host::DataPacket p;
    using pla013::host::FieldType;
    p.fields = {{"CDPRATO", FieldType::String, 10},   {"NMPRATO", FieldType::String, 40},
                {"NRSEQU", FieldType::Integer, 0},    {"CDPRODUTO", FieldType::String, 10},
                {"NMPRODUTO", FieldType::String, 50}, {"SGUNIDPROD", FieldType::String, 10},
                {"QTBRUTPROD", FieldType::Float, 0},  {"VRUNIT", FieldType::Float, 0}};
    p.rows.reserve(rows);
    char code[24];
    for (std::size_t i = 0; i < rows; ++i) {
        std::size_t dish = i / 8, line = i % 8;  // eight lines a dish
        std::snprintf(code, sizeof code, "%05zu", dish);
        std::string product = std::to_string(1000 + (i * 7) % 900);
        p.rows.push_back({std::string(code), "Prato de teste número " + std::to_string(dish),
                          pla013::host::Variant(std::int64_t(line + 1)), product, std::string(names[i % 7]),
                          std::string(units[i % 7]), pla013::host::Variant(0.001 * double(1 + i % 250)),
                          pla013::host::Variant(1.5 + double(i % 97))});
    }
    return p;
}

struct Measure {
    double seconds = 0;
    std::size_t pages = 0;
    std::uintmax_t bytes = 0;
};

Measure render(const ReportDefinition& def, FileRenderer& renderer, std::size_t rows, const fs::path& file) {
    pla013::host::DataPacket data = generate(rows);  // not timed
    auto start = std::chrono::steady_clock::now();
    ReportDocument::Input in;
    in.definition = &def;
    in.reportId = "PLA01399";
    in.params = {{"P_CDFILIAL", ParamType::String, pla013::host::Variant("0002")}};
    in.data = std::move(data);
    in.printedAt = pla013::host::EncodeDate(2024, 3, 20);
    ReportDocument doc(std::move(in));
    renderer.render(doc, file.string());
    Measure m;
    m.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    m.pages = doc.pageCount();
    m.bytes = fs::file_size(file);
    fs::remove(file);
    return m;
}

}  // namespace

int main(int argc, char** argv) {
#ifdef PLA013_BENCH_PDF
    pla013::reports::GuiProcess pages("report_render");
#endif
    std::size_t small = 10000, large = 100000;
    if (argc == 3) {
        small = std::stoul(argv[1]);
        large = std::stoul(argv[2]);
    }
    ReportDefinition def = ReportDefinition::parse(kDefinition, "bench.QR2");
    fs::path dir = fs::temp_directory_path() / ("pla013-bench-" + std::to_string(::getpid()));
    fs::create_directories(dir);

    std::vector<std::pair<std::string, std::shared_ptr<FileRenderer>>> formats;
#ifdef PLA013_BENCH_PDF
    formats.emplace_back("pdf", std::make_shared<PdfRenderer>());
#endif
    formats.emplace_back("html", std::make_shared<HtmlRenderer>());
    formats.emplace_back("csv", std::make_shared<CsvRenderer>());
    formats.emplace_back("xlsx", std::make_shared<XlsxRenderer>());

    std::printf("%-6s %9s %8s %12s %12s %9s %14s\n", "format", "rows", "pages", "seconds", "rows/s", "MB",
                "growth/row");
    bool linear = true;
    for (auto& [name, renderer] : formats) {
        render(def, *renderer, 1000, dir / ("warmup." + name));  // fonts, libraries, caches
        Measure a = render(def, *renderer, small, dir / ("small." + name));
        Measure b = render(def, *renderer, large, dir / ("large." + name));
        double growth = (b.seconds / double(large)) / (a.seconds / double(small));
        std::printf("%-6s %9zu %8zu %12.3f %12.0f %9.1f\n", name.c_str(), small, a.pages, a.seconds,
                    double(small) / a.seconds, double(a.bytes) / 1e6);
        std::printf("%-6s %9zu %8zu %12.3f %12.0f %9.1f %14.2f%s\n", name.c_str(), large, b.pages, b.seconds,
                    double(large) / b.seconds, double(b.bytes) / 1e6, growth, growth <= 1.5 ? "" : "  > 1.5");
        std::fflush(stdout);
        if (growth > 1.5) linear = false;
    }
    fs::remove_all(dir);
    std::printf("time per row at %zu rows against %zu: %s (limit 1.5)\n", large, small,
                linear ? "within the limit for every format" : "OVER THE LIMIT");
    return linear ? 0 : 1;
}
