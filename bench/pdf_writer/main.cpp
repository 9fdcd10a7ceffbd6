// PDF writing, the user's report: report 02 (recipe sheets) over a generated
// database of 50 000 dishes, filters as `pla013 report --report 02
// --dish-from 1 --dish-to 9` binds them, laid out once and written to PDF
// each round by:
//
//   - our writer (PdfRenderer, what `pla013 report --out x.pdf` and printing
//     use): the document's pages, their geometry and the file;
//   - today's Qt path (the baseline, QtPdfWriter here): the same pages drawn
//     by the Qt painter into QPdfWriter;
//   - libharu (the reference) handed the texts and rules already placed, so
//     that it writes PDF without any layout of ours.
//
// Printed: pages per CPU second of each (min and median of the rounds), and
// beside their targets: ours at least 3x the Qt path's; ours at least
// 1/1.5 of libharu's; our file no larger than Qt's. The page count is checked
// against a run of `pla013 report` itself. Exit status 1 when a target is
// missed.
//
//   bench_pdf_writer [--db PATH] [--rounds N]

#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "HaruReference.h"
#include "QtPdfWriter.h"
#include "host/BaseForm.h"
#include "host/Data.h"
#include "platform/db/SociDatabase.h"
#include "platform/reports/PageGeometry.h"
#include "platform/reports/PdfRenderer.h"
#include "platform/reports/ReportDocument.h"
#include "platform/reports/ReportRunner.h"
#include "platform/reports/qt/GuiProcess.h"
#include "tests/reports/FormBinding.h"

namespace fs = std::filesystem;
using namespace pla013::reports;

namespace {

double cpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}
double minimum(const std::vector<double>& v) { return v.empty() ? 0 : *std::min_element(v.begin(), v.end()); }

struct Series {
    explicit Series(const char* n) : name(n) {}
    const char* name;
    std::vector<double> seconds;  // CPU per round
    std::uintmax_t bytes = 0;
};

// Runs the measurements while the runner holds the laid-out document.
class Measure final : public FileRenderer {
public:
    Measure(int rounds, fs::path dir) : m_rounds(rounds), m_dir(std::move(dir)) {}

    void render(const ReportDocument& doc, const std::string& path) override {
        m_pages = doc.pageCount();
        const double w = doc.landscape() ? 842 : 595, h = doc.landscape() ? 595 : 842;
        // The reference's input: every page's items, placed before any clock.
        std::vector<benchpdf::PlacedPage> placed;
        {
            PageGeometry geometry(doc.pageWidth(), doc.linesPerPage(), w, h);
            doc.forEachPage([&](std::size_t, const std::vector<Line>& lines) {
                placed.push_back({w, h, {}});
                geometry.layout(lines, placed.back().items);
                return true;
            });
        }
        PdfRenderer ours;
        benchpdf::QtPdfWriter qt;
        const std::string oursFile = (m_dir / "ours.pdf").string(), qtFile = (m_dir / "qt.pdf").string(),
                          haruFile = (m_dir / "haru.pdf").string();
        // Once each, untimed: fonts, libraries, caches.
        ours.render(doc, oursFile);
        qt.render(doc, qtFile);
        benchpdf::writeWithHaru(placed, haruFile);
        for (int r = 0; r < m_rounds; ++r) {
            timed(m_ours, [&] { ours.render(doc, oursFile); });
            timed(m_qt, [&] { qt.render(doc, qtFile); });
            timed(m_haru, [&] { benchpdf::writeWithHaru(placed, haruFile); });
            timed(m_layout, [&] { doc.forEachPage([](std::size_t, const std::vector<Line>&) { return true; }); });
            std::fprintf(stderr, "round %d done\n", r + 1);
        }
        m_ours.bytes = fs::file_size(oursFile);
        m_qt.bytes = fs::file_size(qtFile);
        m_haru.bytes = fs::file_size(haruFile);
        // What the runner renames into place: a small file.
        std::FILE* f = std::fopen(path.c_str(), "w");
        if (f) std::fclose(f);
    }
    std::string mimeType() const override { return "application/octet-stream"; }

    std::size_t m_pages = 0;
    Series m_ours{"ours"}, m_qt{"qt (today)"}, m_haru{"libharu"}, m_layout{"pages alone"};

private:
    void timed(Series& s, const std::function<void()>& f) {
        const double start = cpuSeconds();
        f();
        s.seconds.push_back(cpuSeconds() - start);
    }
    int m_rounds;
    fs::path m_dir;
};

// The pages `pla013 report` itself writes for the same report, from its
// "report: file PATH PAGES" line; 0 when it fails.
std::size_t userPages(const std::string& db, const fs::path& out) {
    const std::string command = std::string(PLA013_CLI) + " --db '" + db +
                                "' report --report 02 --dish-from 1 --dish-to 9 --out '" + out.string() + "'";
    std::FILE* p = ::popen(command.c_str(), "r");
    if (!p) return 0;
    char line[4096];
    std::size_t pages = 0;
    while (std::fgets(line, sizeof line, p)) {
        std::string l(line);
        if (l.rfind("report: file ", 0) == 0) pages = std::stoul(l.substr(l.find_last_of(' ') + 1));
    }
    return ::pclose(p) == 0 ? pages : 0;
}

}  // namespace

int main(int argc, char** argv) {
    pla013::reports::GuiProcess qtProcess("bench_pdf_writer");  // the Qt baseline's
    std::string source = "/tmp/gen50k.sqlite";
    int rounds = 3;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!std::strcmp(argv[i], "--db")) source = argv[i + 1];
        if (!std::strcmp(argv[i], "--rounds")) rounds = std::max(1, std::atoi(argv[i + 1]));
    }
    if (!fs::exists(source)) {
        std::fprintf(stderr, "%s does not exist: make it with `pla013 db generate %s --dishes 50000`\n", source.c_str(),
                     source.c_str());
        return 2;
    }
    const fs::path dir = fs::temp_directory_path() / ("pla013-bench-pdf-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const std::string db = (dir / "pratos.sqlite").string();
    fs::copy_file(source, db);  // the generated file stays as it was

    const std::size_t cliPages = userPages(db, dir / "cli.pdf");
    const std::uintmax_t cliBytes = fs::exists(dir / "cli.pdf") ? fs::file_size(dir / "cli.pdf") : 0;

    auto measure = std::make_shared<Measure>(rounds, dir);
    int status = 0;
    {
        pla013::db::SociDatabase database(db);
        ReportRunnerOptions o;
        o.reportFolder = PLA013_REPORTS_DIR;
        o.database = &database;
        ReportRunner runner(o);
        runner.registerRenderer(".bench", measure);
        pla013::host::TfrmDadosGerRel form("frmBench");
        reportstest::FormChoices choices;
        choices.position = 1;
        choices.pratoIni = "1";
        choices.pratoFin = "9";
        choices.produto = true;
        form.rpddPadrao->BeforeGetQueryParams = [&](pla013::host::TParams& params, bool&) {
            reportstest::bindLikeTheForm(params, choices);
        };
        runner.Run(form, "PLA01302.QR2", pla013::host::ReportTarget::File, (dir / "run.bench").string());
    }

    const double pages = double(measure->m_pages);
    auto rate = [&](const Series& s, bool best) { return pages / (best ? minimum(s.seconds) : median(s.seconds)); };
    std::printf("report 02 over %s: %zu pages (pla013 report: %zu pages, %.1f MB), %d rounds, CPU time\n",
                source.c_str(), measure->m_pages, cliPages, double(cliBytes) / 1e6, rounds);
    std::printf("%-12s %10s %10s %14s %14s %10s\n", "writer", "min s", "median s", "pages/s (best)", "pages/s (med)",
                "MB");
    for (const Series* s : {&measure->m_ours, &measure->m_qt, &measure->m_haru, &measure->m_layout})
        std::printf("%-12s %10.3f %10.3f %14.0f %14.0f %10.2f\n", s->name, minimum(s->seconds), median(s->seconds),
                    rate(*s, true), rate(*s, false), double(s->bytes) / 1e6);

    auto check = [&](const char* what, double best, double med, double target, bool atLeast) {
        const bool met = atLeast ? med >= target : med <= target;
        std::printf("  %-44s min-time %6.2f  median %6.2f   target %s %.2f  %s\n", what, best, med,
                    atLeast ? ">=" : "<=", target, met ? "met" : "MISSED");
        if (!met) status = 1;
    };
    std::printf("\ntargets (ratios of the same rounds):\n");
    const Series &ours = measure->m_ours, &qt = measure->m_qt, &haru = measure->m_haru;
    check("pages/CPU s, ours / Qt path", minimum(qt.seconds) / minimum(ours.seconds),
          median(qt.seconds) / median(ours.seconds), 3.0, true);
    check("pages/CPU s, libharu / ours", minimum(ours.seconds) / minimum(haru.seconds),
          median(ours.seconds) / median(haru.seconds), 1.5, false);
    const double size = double(ours.bytes) / double(qt.bytes);
    check("file size, ours / Qt path", size, size, 1.0, false);
    if (cliPages != measure->m_pages) {
        std::printf("  page count differs from pla013 report's: MISSED\n");
        status = 1;
    }
    fs::remove_all(dir);
    return status;
}
