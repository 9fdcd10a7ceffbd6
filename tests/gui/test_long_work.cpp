// The host around the form for long work and between sessions: a report
// that runs long shows its progress, repaints and can be cancelled leaving
// nothing behind; what the operator left (report, filters) comes back
// through the form's own checks, and "Limpar filtros" puts the form back as
// designed.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPrinter>
#include <QPushButton>
#include <QTest>

#include "GeneratedDishes.h"
#include "GuiHarness.h"
#include "ModalSteps.h"
#include "TempDir.h"
#include "host/Controls.h"
#include "host/Form.h"
#include "platform/gui/OperatorSettings.h"
#include "platform/gui/ProgressWindow.h"
#include "platform/reports/ReportRunner.h"
#include "platform/runtime/HostSession.h"

using pla013::gui::FormFilters;
using pla013guitest::GuiHarness;
using pla013guitest::ModalSteps;
namespace fs = std::filesystem;

namespace {

QString lineText(GuiHarness& h, const std::string& name) {
    auto* e = qobject_cast<QLineEdit*>(h.widget(name));
    return e ? e->text() : QStringLiteral("<not a line edit>");
}

int reportIndex(GuiHarness& h) {
    return static_cast<pla013::host::TComboBox&>(h.control("cbbReportNames")).ItemIndex();
}

}  // namespace

TEST(LongWork, ACancelledReportLeavesNothingBehindAndTheFormGoesOn) {
    // Enough dishes for a report of some thousands of pages: printing them
    // to a PDF file takes long enough for the progress window to show.
    pla013test::TempDir data;
    pla013::runtime::HostOptions options;
    options.db = (data.path() / "big.sqlite").string();
    const std::string lastDish = pla013test::generateDishes(options.db, 30000);

    GuiHarness h(options);
    h.openChild();
    h.chooseInCombo("cbbReportNames", 1);  // the recipe sheets: pages per dish
    h.typeInto("medCdPratoIni", "1");
    h.tab();
    h.typeInto("medCdPratoFin", QString::fromStdString(lastDish));
    h.tab();
    const fs::path folder = h.dir() / "saida";
    fs::create_directories(folder);
    const fs::path file = folder / "pratos.pdf";
    h.ui().saveFileAnswer = [&](const std::string&) { return std::optional<std::string>(file.string()); };

    // What the progress window shows while the report runs; "Cancelar" once
    // it is writing pages.
    std::set<QString> shown;
    bool cancelled = false;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        QWidget* w = QApplication::activeModalWidget();
        if (!w || w->objectName() != QLatin1String("workProgress")) return;
        const QString count = w->findChild<QLabel*>("count")->text();
        shown.insert(w->findChild<QLabel*>("stage")->text() + " | " + count);
        if (!cancelled && count.startsWith(QStringLiteral("Página")) && shown.size() >= 3) {
            cancelled = true;
            QTest::keyClick(w, Qt::Key_Return);  // Enter presses "Cancelar", as Esc does
        }
    });
    watch.start(10);
    h.ui().clearEvents();
    h.click("sbtSalvarComo");
    watch.stop();

    ASSERT_TRUE(cancelled) << "the progress window never showed pages being written";
    // The window was repainted with the pages so far while the work ran,
    // every stage saying what it does.
    EXPECT_GE(shown.size(), 3u);
    std::set<QString> stages;
    for (const QString& s : shown) stages.insert(s.section(QStringLiteral(" | "), 0, 0));
    for (const QString& s : stages)
        EXPECT_TRUE(s == "Lendo os dados..." || s == "Preparando as páginas..." || s == "Gravando o arquivo..." ||
                    s == "Cancelando...")
            << s.toStdString();
    EXPECT_TRUE(stages.count(QStringLiteral("Gravando o arquivo...")));
    EXPECT_TRUE(fs::is_empty(folder)) << "a file or a temporary one was left";
    EXPECT_FALSE(h.host().session().reports().lastOutcome().has_value());
    for (const auto& e : h.ui().events()) EXPECT_NE(e.rfind("message:", 0), 0u) << e;
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);

    // Printed to a PDF file and cancelled half way: the file it was to
    // replace is as it was, and no half-made one is left.
    const fs::path printed = folder / "impresso.pdf";
    std::ofstream(printed) << "anterior";
    h.ui().printerAnswer = [&](QPrinter& printer) {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(QString::fromStdString(printed.string()));
        return true;
    };
    bool printCancelled = false;
    QObject::disconnect(&watch, nullptr, nullptr, nullptr);
    QObject::connect(&watch, &QTimer::timeout, [&] {
        QWidget* w = QApplication::activeModalWidget();
        if (printCancelled || !w || w->windowTitle() != QStringLiteral("Impressão")) return;
        const QString count = w->findChild<QLabel*>("count")->text();
        if (!count.startsWith(QStringLiteral("Página")) || count.startsWith(QStringLiteral("Página 0 "))) return;
        printCancelled = true;
        QTest::mouseClick(w->findChild<QPushButton*>("cancel"), Qt::LeftButton);
    });
    watch.start(10);
    h.click("sbtPrint");
    watch.stop();
    ASSERT_TRUE(printCancelled) << "the progress window never showed pages being printed";
    std::string kept;
    std::getline(std::ifstream(printed), kept);
    EXPECT_EQ(kept, "anterior");
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1);
    fs::remove(printed);

    // Before the run names its first stage the window says it reads the data.
    EXPECT_EQ(pla013::gui::WorkProgressDialog::stageText(""), QStringLiteral("Lendo os dados..."));

    // The form is usable at once: a short report of the same form is saved.
    h.typeInto("medCdPratoIni", QString::fromStdString(lastDish));
    h.tab();
    h.click("sbtSalvarComo");
    EXPECT_TRUE(fs::exists(file));
    ASSERT_TRUE(h.host().session().reports().lastOutcome().has_value());
}

TEST(OperatorMemory, FiltersComeBackThroughTheFormsChecksAndLimparFiltrosForgetsThem) {
    pla013test::TempDir settings;
    int designedReport = -1;
    QString designedBranch, chosenReport;
    {
        GuiHarness h({}, settings.path());
        h.openChild();
        designedReport = reportIndex(h);
        designedBranch = lineText(h, "medCdFilial");
        h.chooseInCombo("cbbReportNames", 2);
        chosenReport = FormFilters::report(*h.form());
        h.typeInto("medCdFilial", "2");
        h.tab();
        h.typeInto("medCdPratoIni", "3");
        h.tab();
        h.window().close();  // the open form closes as the user would
    }
    ASSERT_NE(designedReport, 2);
    {
        GuiHarness h({}, settings.path());
        h.openChild();
        // Restored as typed: the branch's exit check looked its name up.
        ASSERT_TRUE(GuiHarness::waitUntil([&] { return !lineText(h, "edtNmFilial").isEmpty(); }));
        EXPECT_EQ(reportIndex(h), 2);
        EXPECT_EQ(lineText(h, "medCdFilial"), QStringLiteral("0002"));
        EXPECT_EQ(lineText(h, "edtNmFilial"), QStringLiteral("Escola Municipal São João"));
        EXPECT_FALSE(lineText(h, "edtNmPratoIni").isEmpty());

        // "Limpar filtros": the form as designed, and nothing kept for the report.
        h.clickMenu("Relatórios", "Limpar filtros");
        ASSERT_TRUE(GuiHarness::waitUntil([&] { return h.form() && h.view() && reportIndex(h) == designedReport; }));
        EXPECT_EQ(lineText(h, "medCdFilial"), designedBranch);
        EXPECT_TRUE(lineText(h, "medCdPratoIni").isEmpty());
        EXPECT_TRUE(h.host()
                        .settings()
                        .filters(QString::fromStdString(
                            static_cast<pla013::host::TComboBox&>(h.control("cbbReportNames")).Items()[2]))
                        .empty());
    }
    {
        // The "Prato..." dialog shows with the report and the filters left,
        // but with the branch it was opened for.
        GuiHarness h({}, settings.path());
        h.host().settings().setLastReport(chosenReport);
        h.host().settings().setFilters(chosenReport, {{"medCdFilial", "0002"}, {"medCdPratoIni", "3"}});
        ModalSteps steps;
        int report = -1;
        std::string branch, dish;
        steps.expect("branch question", ModalSteps::named("branchDialog"), [](QWidget* w) {
            auto* edit = w->findChild<QLineEdit*>();
            QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
            QTest::keyClicks(edit, "0006");
            QTest::keyClick(edit, Qt::Key_Return);
        });
        steps.expect("the form as a dialog", ModalSteps::named("frmRelatPratoDialog"), [&](QWidget* w) {
            report = reportIndex(h);
            branch = lineText(h, "medCdFilial").toStdString();
            dish = lineText(h, "medCdPratoIni").toStdString();
            QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : w, Qt::Key_Escape);
        });
        h.clickMenu("Relatórios", "Prato...");
        EXPECT_TRUE(steps.done());
        for (const auto& f : steps.failures()) ADD_FAILURE() << f;
        EXPECT_EQ(report, 2);
        EXPECT_EQ(branch, "0006");
        EXPECT_EQ(dish, "3");
    }
    {
        // A branch that no longer exists is refused with the usual message;
        // what follows it is not restored either.
        GuiHarness h({}, settings.path());
        auto& kept = h.host().settings();
        const QString report = kept.lastReport();
        kept.setFilters(report, {{"medCdFilial", "9999"}, {"medCdPratoIni", "3"}});
        ModalSteps steps;
        steps.expectMessage(QStringLiteral("Filial não cadastrada."));
        h.openChild();
        EXPECT_TRUE(GuiHarness::waitUntil([&] { return steps.done(); }));
        EXPECT_TRUE(steps.failures().empty());
        EXPECT_TRUE(lineText(h, "edtNmFilial").isEmpty());
        EXPECT_TRUE(lineText(h, "edtNmPratoIni").isEmpty());
    }
}
