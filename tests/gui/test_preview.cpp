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
#include <QListWidget>
#include <QPainter>
#include <QPrinter>
#include <QTest>
#include <QToolButton>

#include "GuiHarness.h"
#include "ModalSteps.h"
#include "platform/gui/GuiReportRunner.h"
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
        QTest::qWaitFor([preview] { return preview->complete(); }, 60000);
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
        // 100%: the paper at its real size on a 96 dpi screen.
        auto* zoom = w->findChild<QComboBox*>("zoom");
        zoom->setFocus();
        QTest::keyClick(zoom, Qt::Key_Home);
        for (int i = 0; i < 4; ++i) QTest::keyClick(zoom, Qt::Key_Down);
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
        arriving.add(made->page(0));
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
            many.add(made->page(0));
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
            for (std::size_t i = 1; i < n; ++i) arriving.add(made->page(i));
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
