// The report engine alone, for comparison with the user's path
// (bench_user_reports, which runs `pla013 report` and carries the targets):
// a generated cost listing, its rows made as they are read, rendered to PDF,
// HTML, CSV and XLSX. Printed, measured in this run, with no target, since
// no user runs this path:
//
//   - the time per row of a large report against a small one (10 000 and
//     100 000 rows by default), per format;
//   - the peak resident memory of a 10 000-page PDF against a 1 000-page
//     one, each made in a child process;
//   - rows per second of each format.
//
// Each timed size runs kRuns times; min and median are printed, ratios use
// medians. The time includes laying out the document, its counting pass
// and writing the file; the rows are generated before, untimed.
//
//   bench_report_render [SMALL LARGE [SMALL_PAGES LARGE_PAGES]]

#include <sys/resource.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <unistd.h>

#include "platform/reports/CsvRenderer.h"
#include "platform/reports/HtmlRenderer.h"
#include "platform/reports/PdfRenderer.h"
#include "platform/reports/ReportDefinition.h"
#include "platform/reports/ReportDocument.h"
#include "platform/reports/RowSource.h"
#include "platform/reports/XlsxRenderer.h"

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

std::vector<pla013::host::FieldDef> benchFields() {
    using pla013::host::FieldType;
    return {{"CDPRATO", FieldType::String, 10},   {"NMPRATO", FieldType::String, 40},
            {"NRSEQU", FieldType::Integer, 0},    {"CDPRODUTO", FieldType::String, 10},
            {"NMPRODUTO", FieldType::String, 50}, {"SGUNIDPROD", FieldType::String, 10},
            {"QTBRUTPROD", FieldType::Float, 0},  {"VRUNIT", FieldType::Float, 0}};
}

// Row i of the listing: eight lines a dish.
void makeRow(std::size_t i, std::vector<pla013::host::Variant>& row) {
    static const char* const names[] = {
        "Arroz agulhinha tipo 1", "Feijão carioca",         "Carne bovina acém", "Cebola",
        "Óleo de soja",           "Açafrão-da-terra em pó", "Batata inglesa"};
    static const char* const units[] = {"KG", "KG", "KG", "KG", "L", "KG", "KG"};
    char code[24];
    std::size_t dish = i / 8, line = i % 8;
    std::snprintf(code, sizeof code, "%05zu", dish);
    row = {std::string(code),
           "Prato de teste número " + std::to_string(dish),
           pla013::host::Variant(std::int64_t(line + 1)),
           std::to_string(1000 + (i * 7) % 900),
           std::string(names[i % 7]),
           std::string(units[i % 7]),
           pla013::host::Variant(0.001 * double(1 + i % 250)),
           pla013::host::Variant(1.5 + double(i % 97))};
}

pla013::host::DataPacket generate(std::size_t rows) {
    pla013::host::DataPacket p;
    p.fields = benchFields();
    p.rows.resize(rows);
    for (std::size_t i = 0; i < rows; ++i) makeRow(i, p.rows[i]);
    return p;
}

// The same rows made as they are read, as a database cursor hands them.
class GeneratedRows final : public RowSource {
public:
    explicit GeneratedRows(std::size_t rows) : m_rows(rows), m_fields(benchFields()) {}
    const std::vector<pla013::host::FieldDef>& fields() const override { return m_fields; }
    bool next(std::vector<pla013::host::Variant>& row) override {
        if (m_next >= m_rows) return false;
        makeRow(m_next++, row);
        return true;
    }

private:
    std::size_t m_rows, m_next = 0;
    std::vector<pla013::host::FieldDef> m_fields;
};

ReportDocument::Input input(const ReportDefinition& def) {
    ReportDocument::Input in;
    in.definition = &def;
    in.reportId = "PLA01399";
    in.params = {{"P_CDFILIAL", ParamType::String, pla013::host::Variant("0002")}};
    in.printedAt = pla013::host::EncodeDate(2024, 3, 20);
    return in;
}

struct Measure {
    double seconds = 0;
    double countSeconds = 0;  // the counting pass alone
    std::size_t pages = 0;
    std::uintmax_t bytes = 0;
};

Measure render(const ReportDefinition& def, FileRenderer& renderer, std::size_t rows, const fs::path& file) {
    pla013::host::DataPacket data = generate(rows);  // not timed
    auto start = std::chrono::steady_clock::now();
    ReportDocument::Input in = input(def);
    in.data = std::move(data);
    ReportDocument doc(std::move(in));
    Measure m;
    m.pages = doc.pageCount();  // what a run reports, whatever the format
    m.countSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    renderer.render(doc, file.string());
    m.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    m.bytes = fs::file_size(file);
    fs::remove(file);
    return m;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

long peakKilobytes() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
    return -1;
}

struct Peak {
    long kilobytes = -1;
    std::size_t pages = 0;
};

// A PDF of rows generated as they are read, made in a child process whose
// peak resident size (VmHWM) comes back through a pipe.
Peak peakOfPdf(const ReportDefinition& def, FileRenderer& pdf, std::size_t rows, const fs::path& file) {
    int fds[2];
    if (::pipe(fds) != 0) return {};
    std::fflush(stdout);
    pid_t child = ::fork();
    if (child == 0) {
        ::close(fds[0]);
        Peak p;
        try {
            ReportDocument::Input in = input(def);
            in.rows = std::make_unique<GeneratedRows>(rows);
            ReportDocument doc(std::move(in));
            pdf.render(doc, file.string());
            p.pages = doc.pageCount();
            p.kilobytes = peakKilobytes();
        } catch (const std::exception& e) {
            std::fprintf(stderr, "%s\n", e.what());
        }
        fs::remove(file);
        [[maybe_unused]] auto n = ::write(fds[1], &p, sizeof p);
        ::_exit(0);
    }
    ::close(fds[1]);
    Peak p;
    if (child < 0 || ::read(fds[0], &p, sizeof p) != ssize_t(sizeof p)) p = {};
    ::close(fds[0]);
    int status = 0;
    if (child > 0) ::waitpid(child, &status, 0);
    return p;
}

constexpr int kRuns = 3;

}  // namespace

int main(int argc, char** argv) {
    std::size_t small = 10000, large = 100000, smallPages = 1000, largePages = 10000;
    if (argc >= 3) {
        small = std::stoul(argv[1]);
        large = std::stoul(argv[2]);
    }
    if (argc >= 5) {
        smallPages = std::stoul(argv[3]);
        largePages = std::stoul(argv[4]);
    }
    ReportDefinition def = ReportDefinition::parse(kDefinition, "bench.QR2");
    fs::path dir = fs::temp_directory_path() / ("pla013-bench-" + std::to_string(::getpid()));
    fs::create_directories(dir);

    std::vector<double> peaks[2];
    std::size_t peakPages[2] = {0, 0};
    std::vector<std::pair<std::string, std::shared_ptr<FileRenderer>>> formats;
    formats.emplace_back("pdf", std::make_shared<PdfRenderer>());
    formats.emplace_back("html", std::make_shared<HtmlRenderer>());
    formats.emplace_back("csv", std::make_shared<CsvRenderer>());
    formats.emplace_back("xlsx", std::make_shared<XlsxRenderer>());

    // Peak memory first, while this process is small: a child starts with
    // what its parent holds.
    // Rows for a number of pages, from the pages the small report took.
    const double rowsPerPage = double(small) / double(std::max<std::size_t>(
                                                   1, render(def, *formats[0].second, small, dir / "size.pdf").pages));
    for (int s = 0; s < 2; ++s) {
        const std::size_t rows = std::size_t(double(s ? largePages : smallPages) * rowsPerPage);
        for (int r = 0; r < kRuns; ++r) {
            Peak p = peakOfPdf(def, *formats[0].second, rows, dir / "peak.pdf");
            peaks[s].push_back(double(p.kilobytes));
            peakPages[s] = p.pages;
        }
    }
    std::printf("%-6s %9s %8s %10s %10s %12s %8s %9s\n", "format", "rows", "pages", "min s", "median s", "rows/s (med)",
                "MB", "count %");
    std::map<std::string, double> growth;
    for (auto& [name, renderer] : formats) {
        render(def, *renderer, 1000, dir / ("warmup." + name));  // fonts, libraries, caches
        double perRow[2] = {0, 0};
        for (int s = 0; s < 2; ++s) {
            const std::size_t rows = s ? large : small;
            std::vector<double> times, counts;
            Measure m;
            for (int r = 0; r < kRuns; ++r) {
                m = render(def, *renderer, rows, dir / ("report." + name));
                times.push_back(m.seconds);
                counts.push_back(m.countSeconds);
            }
            const double med = median(times);
            perRow[s] = med / double(rows);
            std::printf("%-6s %9zu %8zu %10.3f %10.3f %12.0f %8.1f %8.0f%%\n", name.c_str(), rows, m.pages,
                        *std::min_element(times.begin(), times.end()), med, double(rows) / med, double(m.bytes) / 1e6,
                        100 * median(counts) / med);
            std::fflush(stdout);
        }
        growth[name] = perRow[1] / perRow[0];
    }

    std::printf("\ntime per row, %zu rows against %zu (medians of %d runs):\n", large, small, kRuns);
    for (auto& [name, renderer] : formats) std::printf("  %-5s %5.2f\n", name.c_str(), growth[name]);

    const double memRatio = median(peaks[1]) / median(peaks[0]);
    std::printf("\npeak resident size of a PDF made from rows read as it is written (%d runs each):\n", kRuns);
    for (int s = 0; s < 2; ++s)
        std::printf("  %6zu pages  min %7.1f MB  median %7.1f MB\n", peakPages[s],
                    *std::min_element(peaks[s].begin(), peaks[s].end()) / 1024, median(peaks[s]) / 1024);
    std::printf("  %zu pages against %zu: %5.2f\n", peakPages[1], peakPages[0], memRatio);
    fs::remove_all(dir);
    return 0;
}
