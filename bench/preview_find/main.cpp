// Find in the preview of a long report: the pages a run of report 03 makes
// for a large kitchen (2,313 by default, about 60 lines of dish, unit and
// quantity texts each, accented names included) shown in the preview
// window, and a word looked for in all of them, as the user's Enter does
// and the window's own slices go on until the last page.
//
// Printed, measured in this run:
//   - the first search of a window (its text folded once, then searched),
//     min and median of kRuns windows, beside the target of about a second;
//   - a second search in the same window;
//   - the ratio of the first to drawing every page once through a recording
//     paint device, the cost the search had when it read the painted pages;
//   - the memory the preview's pages take (resident size added) for ten
//     times as many pages, against the same pages held as lines in memory
//     (the way the preview kept them before its page spool), and the growth
//     from the pages to ten times as many, beside the target <= 1.5.
//
//   QT_QPA_PLATFORM=offscreen bench_preview_find [PAGES]

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include <QApplication>
#include <QElapsedTimer>
#include <QPainter>
#include <QPicture>

#include "platform/gui/PreviewWindow.h"
#include "platform/gui/ReportPagePainter.h"
#include "platform/gui/ReportPages.h"

using pla013::reports::Align;
using pla013::reports::Cell;
using pla013::reports::Line;
using pla013::reports::LineStyle;

namespace {

constexpr int kRuns = 5;

Cell cell(std::string text, int x, int width, Align align = Align::Left) {
    Cell c;
    c.text = std::move(text);
    c.x = x;
    c.width = width;
    c.align = align;
    return c;
}

// A page of the composition report: a title, column headers, a dish and its
// ingredients, the footer.
std::vector<Line> page(std::size_t number, std::size_t pages) {
    static const char* const kIngredients[] = {
        "Arroz agulhinha", "Feijão carioca", "Óleo de soja",    "Cebola",         "Alho",    "Sal refinado",
        "Tomate",          "Açúcar cristal", "Peito de frango", "Batata inglesa", "Cenoura", "Salsa"};
    static const char* const kUnits[] = {"KG", "G", "L", "UN"};
    std::vector<Line> lines;
    Line title;
    title.style = LineStyle::Title;
    title.height = 2;
    title.cells.push_back(cell("Composição das receitas: padrão e local", 0, 100));
    title.right = "PLA01303";
    lines.push_back(title);
    Line header;
    header.style = LineStyle::ColumnHeader;
    header.cells = {cell("Código", 0, 12), cell("Ingrediente", 13, 40), cell("Un.", 54, 4),
                    cell("Qt. padrão", 59, 12, Align::Right), cell("Qt. local", 72, 12, Align::Right)};
    lines.push_back(header);
    for (int i = 0; i < 56; ++i) {
        Line l;
        l.style = i % 14 == 0 ? LineStyle::GroupText : LineStyle::Detail;
        const std::size_t dish = number * 4 + std::size_t(i / 14);
        if (l.style == LineStyle::GroupText) {
            l.cells.push_back(cell("Prato " + std::to_string(100000 + dish) + " - Refeição " +
                                       std::to_string(dish % 97) +
                                       (dish % 7 == 0 ? " com frango grelhado" : " com legumes"),
                                   0, 90));
        } else {
            const char* name = kIngredients[(dish + std::size_t(i)) % std::size(kIngredients)];
            l.cells = {cell(std::to_string(200000 + (dish * 13 + std::size_t(i)) % 5000), 0, 12), cell(name, 13, 40),
                       cell(kUnits[std::size_t(i) % 4], 54, 4),
                       cell(std::to_string(i % 9) + "," + std::to_string(100 + i), 59, 12, Align::Right),
                       cell(std::to_string(i % 7) + "," + std::to_string(200 + i), 72, 12, Align::Right)};
        }
        lines.push_back(l);
    }
    Line footer;
    footer.style = LineStyle::PageFooter;
    footer.cells.push_back(cell("Emitido em 08/12/2026", 0, 40));
    footer.right = "Página " + std::to_string(number + 1) + " de " + std::to_string(pages);
    lines.push_back(footer);
    return lines;
}

// Resident size of this process, in MB.
double residentMb() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmRSS:", 0) == 0) return std::atof(line.c_str() + 6) / 1024;
    return 0;
}

// Resident size added by pages kept for a preview.
double previewPagesMb(std::size_t pages) {
    const double before = residentMb();
    pla013::gui::ReportPages held;
    held.start({"PLA01303", "Composição das receitas", 100, 62, false, pages});
    for (std::size_t p = 0; p < pages; ++p) held.add(page(p, pages));
    held.finish();
    for (std::size_t p = 0; p < pages; p += pages / 50 + 1) held.page(p);  // some made again, as the view moves
    return residentMb() - before;
}

double msSince(const QElapsedTimer& t) { return double(t.nsecsElapsed()) / 1e6; }

struct Figures {
    double min, median;
};
Figures figures(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return {v.front(), v[v.size() / 2]};
}

// Searches until the window has searched its last page.
double timedFind(pla013::gui::PreviewWindow& window, const QString& word, int& matches) {
    QElapsedTimer t;
    t.start();
    window.find(word);
    while (window.searching()) QCoreApplication::processEvents();
    matches = window.matchCount();
    return msSince(t);
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const std::size_t pages = argc > 1 ? std::size_t(std::max(1, std::atoi(argv[1]))) : 2313;

    pla013::gui::ReportPages report;
    pla013::gui::ReportPages::Description d;
    d.reportId = "PLA01303";
    d.title = "Composição das receitas";
    d.charactersPerLine = 100;
    d.linesPerPage = 62;
    d.pages = pages;
    report.start(d);
    for (std::size_t p = 0; p < pages; ++p) report.add(page(p, pages));
    report.finish();

    // Baseline: every page drawn once through a recording paint device.
    std::vector<double> drawn;
    for (int run = 0; run < kRuns; ++run) {
        QElapsedTimer t;
        t.start();
        const pla013::gui::ReportPagePainter painter(report);
        for (std::size_t p = 0; p < pages; ++p) {
            QPicture picture;
            QPainter qp(&picture);
            painter.paint(qp, p);
        }
        drawn.push_back(msSince(t));
    }

    std::vector<double> first, second;
    int matches = 0;
    for (int run = 0; run < kRuns; ++run) {
        pla013::gui::PreviewWindow window(report, {});
        window.resize(1200, 800);
        first.push_back(timedFind(window, QStringLiteral("frango"), matches));
        int again = 0;
        second.push_back(timedFind(window, QStringLiteral("acucar"), again));
    }
    const Figures base = figures(drawn), f1 = figures(first), f2 = figures(second);
    std::printf("preview find over %zu pages (%d matches of \"frango\"), %d runs each\n", pages, matches, kRuns);
    std::printf("  baseline, every page drawn once:  min %8.1f ms  median %8.1f ms\n", base.min, base.median);
    std::printf(
        "  first search of a window:         min %8.1f ms  median %8.1f ms  target ~1000 ms  ratio to target "
        "%.2f  ratio to baseline %.3f\n",
        f1.min, f1.median, f1.median / 1000.0, f1.median / base.median);
    std::printf("  a second search, same window:     min %8.1f ms  median %8.1f ms  ratio to baseline %.3f\n", f2.min,
                f2.median, f2.median / base.median);

    const double small = previewPagesMb(pages), large = previewPagesMb(pages * 10);
    double asLines = 0;
    {
        const double before = residentMb();
        std::vector<std::vector<Line>> held;
        for (std::size_t p = 0; p < pages * 10; ++p) held.push_back(page(p, pages * 10));
        asLines = residentMb() - before;
    }
    std::printf(
        "  pages held by the preview: %zu pages %.1f MB, %zu pages %.1f MB (as lines in memory %.1f MB,"
        " ratio %.2f)\n",
        pages, small, pages * 10, large, asLines, large / std::max(asLines, 0.1));
    const double growth = std::max(large, 1.0) / std::max(small, 1.0);
    std::printf("  memory, ten times the pages against the pages (each at least 1 MB): %.2f  target <= 1.5  %s\n",
                growth, growth <= 1.5 ? "met" : "MISSED");
    return growth <= 1.5 ? 0 : 1;
}
