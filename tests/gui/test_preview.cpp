// The preview window: the pages as they will print, "Página X de Y", page
// buttons and keys, zoom (fit width first), and print and save-as from it.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>

#include <QApplication>
#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>
#include <QScreen>
#include <QTest>
#include <QToolButton>
#include <QWheelEvent>

#include "GuiHarness.h"
#include "ModalSteps.h"
#include "platform/gui/GuiReportRunner.h"
#include "platform/gui/OperatorSettings.h"
#include "platform/gui/PreviewWindow.h"
#include "platform/gui/ReportPagePainter.h"
#include "platform/gui/ReportPages.h"

using pla013guitest::GuiHarness;
using pla013guitest::ModalSteps;

namespace {

std::string readFile(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::size_t pdfPages(const std::string& pdf) {
    static const std::regex page(R"(/Type\s*/Page[^s])");
    return std::size_t(std::distance(std::sregex_iterator(pdf.begin(), pdf.end(), page), std::sregex_iterator()));
}

// Dark pixels in a band of the image (text and rules).
int inkIn(const QImage& image, int top, int bottom) {
    int ink = 0;
    for (int y = std::max(0, top); y < std::min(image.height(), bottom); ++y)
        for (int x = 0; x < image.width(); ++x) ink += qGray(image.pixel(x, y)) < 128 ? 1 : 0;
    return ink;
}

}  // namespace

TEST(Preview, PagesZoomNavigationPrintAndSaveAs) {
    GuiHarness h;
    h.openChild();
    h.typeInto("medCdPratoIni", "1");
    h.typeInto("medCdPratoFin", "9");
    h.tab();

    const auto printed = h.dir() / "preview-impresso.pdf";
    const auto saved = h.dir() / "preview.xlsx";
    h.ui().printerAnswer = [&](QPrinter& printer) {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(QString::fromStdString(printed.string()));
        return true;
    };
    h.ui().saveFileAnswer = [&](const std::string&) { return std::optional<std::string>(saved.string()); };

    struct Seen {
        std::size_t pages = 0;
        QString first, second, last, title, saved;
        double fitScale = 0, viewportWidth = 0, canvasWidth = 0, fullScale = 0;
        bool previousEnabledOnFirst = true, nextEnabledOnLast = true;
    } seen;
    ModalSteps steps;
    steps.expect("preview window", ModalSteps::named("previewWindow"), [&](QWidget* w) {
        auto* preview = dynamic_cast<pla013::gui::PreviewWindow*>(w);
        auto* label = w->findChild<QLabel*>("pageLabel");
        auto button = [w](const char* name) { return w->findChild<QToolButton*>(name); };
        QTest::qWait(50);  // laid out at its size
        // Pages arrive as the run lays them out: the figures below are those
        // of the whole report.
        EXPECT_TRUE(QTest::qWaitFor([preview] { return preview->complete(); }, 60000));
        QTest::qWait(50);
        seen.title = w->windowTitle();
        seen.pages = preview->pageCount();
        seen.first = label->text();
        seen.previousEnabledOnFirst = button("previousPage")->isEnabled();
        seen.fitScale = preview->scale();
        seen.viewportWidth = preview->pageCanvas()->width();
        seen.canvasWidth = preview->pageArea(0).width() + 2 * 16;  // the page and its grey border
        QTest::mouseClick(button("nextPage"), Qt::LeftButton);
        seen.second = label->text();
        QTest::keyClick(w, Qt::Key_End, Qt::ControlModifier);
        seen.last = label->text();
        seen.nextEnabledOnLast = button("nextPage")->isEnabled();
        // 100% typed in the zoom box: the paper at its real size on a 96 dpi screen.
        auto* zoom = w->findChild<QComboBox*>("zoom");
        zoom->setFocus();
        zoom->lineEdit()->selectAll();
        QTest::keyClicks(zoom->lineEdit(), QStringLiteral("100"));
        QTest::keyClick(zoom->lineEdit(), Qt::Key_Return);
        seen.fullScale = preview->scale();
        QTest::keyClick(w, Qt::Key_Home, Qt::ControlModifier);
        preview->grab().save(QStringLiteral(PLA013_SCREENSHOT_DIR "/preview-PLA01301.png"));
        QTest::mouseClick(button("print"), Qt::LeftButton);
        QTest::mouseClick(button("saveAs"), Qt::LeftButton);
        seen.saved = w->findChild<QLabel*>("savedLabel")->toolTip();
        QTest::keyClick(w, Qt::Key_Escape);
    });
    h.click("sbtPreview");
    EXPECT_TRUE(steps.done());
    for (const auto& f : steps.failures()) ADD_FAILURE() << f;

    const pla013::gui::ReportPages* pages = h.host().reports().lastPages();
    ASSERT_NE(pages, nullptr);
    const std::size_t n = pages->pageCount();
    ASSERT_GE(n, 2u) << "the dish list of groups 1 to 9 fills more than one page";
    EXPECT_EQ(seen.pages, n);
    EXPECT_TRUE(seen.title.contains("PLA01301"));
    EXPECT_EQ(seen.first, QStringLiteral("Página 1 de %1").arg(n));
    EXPECT_EQ(seen.second, QStringLiteral("Página 2 de %1").arg(n));
    EXPECT_EQ(seen.last, QStringLiteral("Página %1 de %1").arg(n));
    EXPECT_FALSE(seen.previousEnabledOnFirst);
    EXPECT_FALSE(seen.nextEnabledOnLast);
    // Fit width: the page (with its grey border) as wide as the view.
    EXPECT_NEAR(seen.canvasWidth, seen.viewportWidth, 2.0);
    EXPECT_NEAR(seen.fullScale, 96.0 / 72.0, 0.01);
    EXPECT_NE(seen.fitScale, seen.fullScale);
    // Printed and saved from the preview: the same pages, the chosen format.
    ASSERT_TRUE(std::filesystem::exists(printed));
    EXPECT_EQ(pdfPages(readFile(printed)), n);
    ASSERT_TRUE(std::filesystem::exists(saved));
    EXPECT_EQ(seen.saved.toStdString(), std::filesystem::absolute(saved).string());
    EXPECT_EQ(readFile(saved).substr(0, 2), "PK");
    // The preview left no scratch file behind, and the form is as it was.
    EXPECT_EQ(h.focusedControl(), h.form()->ActiveControl());
}

TEST(Preview, PagesAreDrawnWithTheirText) {
    GuiHarness h;
    h.openChild();
    h.typeInto("medCdPratoIni", "1");
    h.typeInto("medCdPratoFin", "9");
    h.tab();
    h.ui().printerAnswer = [](QPrinter&) { return false; };  // lays out, prints nothing
    h.click("sbtPrint");
    const pla013::gui::ReportPages* pages = h.host().reports().lastPages();
    ASSERT_NE(pages, nullptr);
    ASSERT_GE(pages->pageCount(), 1u);

    pla013::gui::ReportPagePainter painter(*pages);
    const QSizeF paper = painter.pageSize();
    EXPECT_NEAR(paper.width(), 595.3, 0.5);  // A4 portrait, in points
    EXPECT_NEAR(paper.height(), 841.9, 0.5);
    QImage image(int(paper.width() * 2), int(paper.height() * 2), QImage::Format_RGB32);
    image.fill(Qt::white);
    {
        QPainter p(&image);
        p.scale(2, 2);
        painter.paint(p, 0);
    }
    const int h2 = image.height();
    EXPECT_GT(inkIn(image, 0, h2 / 10), 500) << "title and headers";
    EXPECT_GT(inkIn(image, h2 / 10, h2 * 9 / 10), 2000) << "the dish lines";
    EXPECT_GT(inkIn(image, h2 * 95 / 100, h2), 100) << "the page footer";
    // Nothing outside the margins.
    EXPECT_EQ(inkIn(image, 0, 40), 0);
    image.save(QStringLiteral(PLA013_SCREENSHOT_DIR "/page-PLA01301.png"));
}

// Each of the reports, previewed and printed: the preview draws every
// element of the page as the printer does (the title band with its title
// and report code included), and its search finds the report code on every
// page, written in any case.
TEST(Preview, ThePreviewedPageIsThePrintedPageForEveryReport) {
    GuiHarness h;
    h.openChild();
    h.ui().printerAnswer = [](QPrinter&) { return false; };  // lays out, prints nothing
    for (int report = 0; report < 10; ++report) {
        SCOPED_TRACE(report);
        h.chooseInCombo("cbbReportNames", report);
        // What the reports ask for: dishes 1 to 9, branch 0002, a service of
        // it, the menus of March 2024.
        h.typeInto("medCdPratoIni", "1");
        h.typeInto("medCdPratoFin", "9");
        if (h.widget("medCdFilial")->isEnabled()) {
            h.typeInto("medCdFilial", "2");
            h.tab();
        }
        if (h.widget("medCdServFili")->isEnabled()) {
            ModalSteps steps;
            steps.expect("service search", ModalSteps::named("searchDialog"),
                         [](QWidget* w) { QTest::keyClick(w->focusWidget(), Qt::Key_Return); });
            h.click("btnServico");
            EXPECT_TRUE(steps.done());
        }
        if (h.widget("depDataInic")->isEnabled()) {
            h.typeInto("depDataInic", "01032024");
            h.typeInto("depDataFina", "31/03/24");
        }
        h.tab();
        if (report == 7) {
            // The menu-type report refuses under a host module without menu types.
            ModalSteps steps;
            steps.expect(
                "refusal", [](QWidget* w) { return w->objectName() == "errorMessage"; },
                [](QWidget* w) { QTest::keyClick(w, Qt::Key_Return); });
            h.click("sbtPrint");
            EXPECT_TRUE(steps.done());
            continue;
        }
        h.click("sbtPrint");
        const pla013::gui::ReportPages* pages = h.host().reports().lastPages();
        ASSERT_NE(pages, nullptr);
        ASSERT_GE(pages->pageCount(), 1u);

        pla013::gui::PreviewWindow preview(*pages, {}, &h.window());
        preview.show();
        GuiHarness::processEvents();
        const QImage shown = preview.pageCanvas()->grab(preview.pageArea(0)).toImage();
        QImage printed(shown.size(), QImage::Format_RGB32);
        printed.fill(Qt::white);
        {
            pla013::gui::ReportPagePainter painter(*pages);
            QPainter p(&printed);
            p.scale(shown.width() / painter.pageSize().width(), shown.height() / painter.pageSize().height());
            painter.paint(p, 0);
        }
        // Glyphs are smoothed a little differently on a widget and on an
        // image: the counts agree within a margin; a title drawn in the
        // wrong ink leaves its band with half its ink or less.
        const int band = shown.height() * 7 / 100;  // the title, the report code and their rule
        const int printedTitle = inkIn(printed, 0, band), printedBody = inkIn(printed, band, printed.height());
        EXPECT_GT(printedTitle, 100);
        EXPECT_NEAR(inkIn(shown, 0, band), printedTitle, printedTitle / 5 + 10);
        EXPECT_NEAR(inkIn(shown, band, shown.height()), printedBody, printedBody * 3 / 10 + 10);
        EXPECT_GE(preview.find(QString::fromStdString(pages->reportId()).toLower()), int(pages->pageCount()));
        if (report == 0) preview.grab().save(QStringLiteral(PLA013_SCREENSHOT_DIR "/preview-find.png"));
        preview.close();
        h.window().activateWindow();
        GuiHarness::processEvents();
    }
}

// Pages still being laid out: the window opens on those that have arrived,
// counts the rest as blank sheets, keeps print for when the last is in and
// grows its page list as they come; a run stopped short keeps what it made.
TEST(Preview, PagesArriveWhileTheWindowIsOpen) {
    GuiHarness h;
    h.openChild();
    h.typeInto("medCdPratoIni", "1");
    h.typeInto("medCdPratoFin", "9");
    h.tab();
    h.ui().printerAnswer = [](QPrinter&) { return false; };
    h.click("sbtPrint");
    const pla013::gui::ReportPages* made = h.host().reports().lastPages();
    ASSERT_NE(made, nullptr);
    const std::size_t n = made->pageCount();
    ASSERT_GE(n, 2u);

    for (const bool stoppedShort : {false, true}) {
        pla013::gui::ReportPages arriving;
        arriving.start(made->description());
        arriving.add(*made->page(0));
        pla013::gui::PreviewWindow window(arriving, {});
        auto* print = window.findChild<QToolButton*>(QStringLiteral("print"));
        auto* label = window.findChild<QLabel*>(QStringLiteral("pageLabel"));
        EXPECT_EQ(window.pageCount(), n);
        EXPECT_FALSE(window.complete());
        EXPECT_FALSE(print->isEnabled());
        EXPECT_FALSE(window.findChild<QToolButton*>(QStringLiteral("saveAs"))->isEnabled());
        EXPECT_TRUE(label->text().contains(QStringLiteral("preparando: 1 prontas"))) << label->text().toStdString();
        window.showPage(n - 1);  // a blank sheet for now
        EXPECT_EQ(window.currentPage(), n - 1);
        if (stoppedShort) {
            // Far more pages than a widget may be tall at 200 %: the last
            // is still reached and shown.
            pla013::gui::ReportPages many;
            auto description = made->description();
            description.pages = 20000;
            many.start(description);
            many.add(*made->page(0));
            pla013::gui::PreviewWindow tall(many, {});
            tall.resize(900, 700);
            tall.setZoomIndex(tall.findChild<QComboBox*>(QStringLiteral("zoom"))->count() - 1);
            tall.showPage(19999);
            const QRect shown = tall.pageArea(19999);
            EXPECT_EQ(tall.currentPage(), 19999u);
            EXPECT_GE(shown.top(), 0);
            EXPECT_LT(shown.top(), tall.pageCanvas()->height());
        }

        if (!stoppedShort)
            for (std::size_t i = 1; i < n; ++i) arriving.add(*made->page(i));
        arriving.finish();
        QTest::qWait(250);
        const std::size_t kept = stoppedShort ? 1 : n;
        EXPECT_TRUE(window.complete());
        EXPECT_TRUE(print->isEnabled());
        EXPECT_EQ(window.pageCount(), kept);
        EXPECT_EQ(window.findChild<QListWidget*>(QStringLiteral("pageList"))->count(), int(kept));
        EXPECT_EQ(window.currentPage(), kept - 1);
        EXPECT_EQ(label->text(), QStringLiteral("Página %1 de %1").arg(kept));
    }
}

namespace {

// The pages of report 01 for dishes 1 to 9 (several pages), laid out as a
// print would lay them out.
const pla013::gui::ReportPages& dishListPages(GuiHarness& h) {
    h.openChild();
    h.typeInto("medCdPratoIni", "1");
    h.typeInto("medCdPratoFin", "9");
    h.tab();
    h.ui().printerAnswer = [](QPrinter&) { return false; };
    h.click("sbtPrint");
    const pla013::gui::ReportPages* pages = h.host().reports().lastPages();
    if (!pages || pages->pageCount() < 2) throw std::runtime_error("report 01 made no pages");
    return *pages;
}

// Pixels of a region of the window as the screen has them, in the marks'
// colours (yellow, orange).
int markedPixels(QWidget& window, QWidget* canvas, const QRect& onCanvas) {
    GuiHarness::processEvents();
    const QImage screen = window.screen()->grabWindow(window.winId()).toImage();
    const QRect r(canvas->mapTo(&window, onCanvas.topLeft()), onCanvas.size());
    int marked = 0;
    for (int y = std::max(0, r.top()); y <= std::min(screen.height() - 1, r.bottom()); ++y)
        for (int x = std::max(0, r.left()); x <= std::min(screen.width() - 1, r.right()); ++x) {
            const QColor c = screen.pixelColor(x, y);
            marked += c.red() > 180 && c.red() - c.blue() > 80 ? 1 : 0;
        }
    return marked;
}

QRect fitting(const QWidget& w) { return w.screen()->availableGeometry(); }

}  // namespace

// The window fits the screen it is on: as it opens, after a save-as to a
// very long path (the path is shortened, the window keeps its width), and
// when a size larger than the screen was kept from another screen. A print
// to a PDF file then goes to the folder saved to, and says so.
TEST(Preview, FitsTheScreenAfterASaveAsAndFromAKeptSize) {
    GuiHarness h;
    h.openChild();
    h.typeInto("medCdPratoIni", "1");
    h.typeInto("medCdPratoFin", "9");
    h.tab();
    const std::filesystem::path deep = h.dir() / std::string(180, 'p') / "relatorio-de-pratos-com-nome-longo.pdf";
    std::filesystem::create_directories(deep.parent_path());
    h.ui().saveFileAnswer = [&](const std::string&) { return std::optional<std::string>(deep.string()); };
    {
        // Kept by a session on a larger screen.
        QWidget huge;
        huge.setGeometry(0, 0, 3000, 2000);
        h.host().reports().settings->setGeometry("preview", huge.saveGeometry());
    }
    struct Seen {
        QRect opened, saved, room;
        QString savedText, printedText, offered;
    } seen;
    h.ui().printerAnswer = [&](QPrinter& printer) {
        seen.offered = printer.outputFileName();
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(QString::fromStdString((deep.parent_path() / "PLA01301.pdf").string()));
        return true;
    };
    ModalSteps steps;
    steps.expect("preview window", ModalSteps::named("previewWindow"), [&](QWidget* w) {
        auto* preview = dynamic_cast<pla013::gui::PreviewWindow*>(w);
        EXPECT_TRUE(QTest::qWaitFor([preview] { return preview->complete(); }, 60000));
        QTest::qWait(50);
        seen.room = fitting(*w);
        seen.opened = w->frameGeometry();
        QTest::keyClick(w, Qt::Key_S, Qt::ControlModifier);
        QTest::qWait(50);
        seen.saved = w->frameGeometry();
        seen.savedText = preview->savedText();
        w->findChild<QLabel*>("savedLabel")->grab();  // laid out and drawn at its width
        // A print to a PDF file: offered in the folder just saved to, and
        // said where it went as a save-as is.
        QTest::keyClick(w, Qt::Key_P, Qt::ControlModifier);
        seen.printedText = preview->savedText();
        QTest::keyClick(w, Qt::Key_Escape);
    });
    h.click("sbtPreview");
    EXPECT_TRUE(steps.done());
    for (const auto& f : steps.failures()) ADD_FAILURE() << f;
    EXPECT_TRUE(seen.room.contains(seen.opened)) << "opened off the screen";
    EXPECT_TRUE(seen.room.contains(seen.saved)) << "grew off the screen after the save-as";
    EXPECT_EQ(seen.saved.width(), seen.opened.width());
    EXPECT_EQ(seen.savedText, QStringLiteral("Salvo em %1").arg(QString::fromStdString(deep.string())));
    EXPECT_TRUE(std::filesystem::exists(deep));
    const QString printed = QString::fromStdString((deep.parent_path() / "PLA01301.pdf").string());
    if (QPrinterInfo::availablePrinterNames().isEmpty()) {
        EXPECT_EQ(seen.offered, printed);
    }
    EXPECT_EQ(seen.printedText, QStringLiteral("Salvo em %1").arg(printed));
    EXPECT_TRUE(std::filesystem::exists(printed.toStdString()));
    // What was kept for the next time fits the screen too.
    QWidget restored;
    ASSERT_TRUE(restored.restoreGeometry(h.host().reports().settings->geometry("preview")));
    EXPECT_LE(restored.width(), seen.room.width());
    EXPECT_LE(restored.height(), seen.room.height());
}

// Find: the report's text is searched (every page of it), the matches are
// listed with their context and marked on the page at once, F3 and the pane
// go from one to the next, and Esc leaves the find box before it closes.
TEST(Preview, FindMarksAtOnceListsInAPaneAndEscLeavesTheBoxFirst) {
    GuiHarness h;
    const pla013::gui::ReportPages& pages = dishListPages(h);
    pla013::gui::PreviewWindow window(pages, {}, &h.window());
    window.show();
    GuiHarness::processEvents();  // the main window's own activation first
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    GuiHarness::processEvents();
    auto* find = window.findChild<QLineEdit*>("find");
    auto* label = window.findChild<QLabel*>("findLabel");
    auto* pane = window.findChild<QListWidget*>("findResults");
    const QRect firstPage = window.pageArea(0).intersected(window.pageCanvas()->rect());
    EXPECT_EQ(markedPixels(window, window.pageCanvas(), firstPage), 0);
    EXPECT_FALSE(pane->isVisible());

    // The report code is in every page's title: one match a page at least.
    const QString code = QString::fromStdString(pages.reportId()).toLower();
    QTest::keyClick(&window, Qt::Key_F, Qt::ControlModifier);
    ASSERT_EQ(QApplication::focusWidget(), find);
    QTest::keyClicks(find, code);
    QTest::keyClick(find, Qt::Key_Return);
    const int n = window.matchCount();
    EXPECT_GE(n, int(pages.pageCount()));
    EXPECT_EQ(label->text(), QStringLiteral("1 de %1").arg(n));
    EXPECT_EQ(window.currentMatch(), 0);
    ASSERT_FALSE(window.marksOn(0).empty());
    EXPECT_GT(markedPixels(window, window.pageCanvas(), firstPage), 20) << "no mark drawn after the first Enter";
    EXPECT_TRUE(pane->isVisible());
    ASSERT_EQ(pane->count(), n);
    EXPECT_TRUE(pane->item(0)->text().startsWith(QStringLiteral("p. 1: ")));
    EXPECT_TRUE(pane->item(0)->text().contains(QString::fromStdString(pages.reportId())))
        << pane->item(0)->text().toStdString();

    QTest::keyClick(find, Qt::Key_F3);
    EXPECT_EQ(label->text(), QStringLiteral("2 de %1").arg(n));
    // A match chosen in the pane is shown on its page.
    const int last = n - 1;
    pane->scrollToItem(pane->item(last));
    QTest::mouseClick(pane->viewport(), Qt::LeftButton, {}, pane->visualItemRect(pane->item(last)).center());
    EXPECT_EQ(window.currentMatch(), last);
    EXPECT_EQ(label->text(), QStringLiteral("%1 de %1").arg(n));
    EXPECT_EQ(window.currentPage(), pages.pageCount() - 1);
    // Scrolled into view: the last match is the last mark of its page.
    ASSERT_FALSE(window.marksOn(window.currentPage()).empty());
    const QRect lastPage = window.pageArea(window.currentPage());
    const double y = lastPage.top() + window.marksOn(window.currentPage()).back().center().y() * window.scale();
    EXPECT_TRUE(y >= 0 && y <= window.pageCanvas()->height()) << y;

    // Esc: out of the find box first, then the window closes.
    find->setFocus();
    QTest::keyClick(find, Qt::Key_Escape);
    EXPECT_TRUE(window.isVisible());
    EXPECT_NE(QApplication::focusWidget(), find);
    EXPECT_EQ(window.matchCount(), n) << "leaving the box keeps the matches";
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    EXPECT_FALSE(window.isVisible());
}

// Zoom: Ctrl++ always zooms in from whatever zoom is shown (a fitted one
// too), the box shows the percentage in use, a typed percentage is taken,
// Ctrl+wheel zooms as the keys do, and two pages can stand side by side.
TEST(Preview, ZoomStepsFromAnyZoomAndShowsThePercentage) {
    GuiHarness h;
    const pla013::gui::ReportPages& pages = dishListPages(h);
    pla013::gui::PreviewWindow window(pages, {}, &h.window());
    window.show();
    GuiHarness::processEvents();  // the main window's own activation first
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    EXPECT_EQ(window.zoomText(), QStringLiteral("Ajustar à largura"));
    struct Row {
        int from;  // 0: fit width
        bool in;
        int expected;
    };
    const int fit = window.zoomPercent();
    const Row rows[] = {{100, true, 125}, {100, false, 75},  {25, false, 25}, {25, true, 50},
                        {400, true, 400}, {130, false, 125}, {130, true, 150}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.from);
        window.setZoomPercent(row.from);
        QTest::keyClick(&window, row.in ? Qt::Key_Plus : Qt::Key_Minus, Qt::ControlModifier);
        EXPECT_EQ(window.zoomPercent(), row.expected);
        EXPECT_EQ(window.zoomText(), QStringLiteral("%1%").arg(row.expected));
    }
    window.setZoomIndex(pla013::gui::PreviewWindow::FitWidth);
    QTest::keyClick(&window, Qt::Key_Plus, Qt::ControlModifier);
    EXPECT_GT(window.zoomPercent(), fit);
    window.setZoomIndex(pla013::gui::PreviewWindow::FitWidth);
    QTest::keyClick(&window, Qt::Key_Minus, Qt::ControlModifier);
    EXPECT_LT(window.zoomPercent(), fit);

    // Typed, with or without the sign.
    auto* box = window.findChild<QComboBox*>("zoom");
    for (const QString& typed : {QStringLiteral("130"), QStringLiteral("90%")}) {
        box->lineEdit()->selectAll();
        QTest::keyClicks(box->lineEdit(), typed);
        QTest::keyClick(box->lineEdit(), Qt::Key_Return);
        EXPECT_EQ(QString::number(window.zoomPercent()) + "%", typed.endsWith('%') ? typed : typed + "%");
        EXPECT_EQ(window.zoomText(), QStringLiteral("%1%").arg(window.zoomPercent()));
    }
    // Ctrl+wheel: a notch up is a step in, and the box says so.
    window.setZoomPercent(100);
    QWidget* canvas = window.pageCanvas();
    QWheelEvent wheel(QPointF(50, 50), canvas->mapToGlobal(QPointF(50, 50)), QPoint(), QPoint(0, 120), Qt::NoButton,
                      Qt::ControlModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(canvas, &wheel);
    EXPECT_EQ(window.zoomPercent(), 125);
    EXPECT_EQ(window.zoomText(), QStringLiteral("125%"));

    window.setZoomIndex(pla013::gui::PreviewWindow::TwoPages);
    EXPECT_EQ(window.pageArea(0).top(), window.pageArea(1).top());
    EXPECT_LT(window.pageArea(0).right(), window.pageArea(1).left());
    EXPECT_TRUE(canvas->rect().contains(window.pageArea(1))) << "both pages whole in view";
}
