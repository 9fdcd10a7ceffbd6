// Reports driven through the widgets alone, as a person at the screen does
// it: typing a branch and a dish range, then saving a PDF or printing; and
// the refusals of the print checks, each with its message and the focus
// where the behaviour puts it.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>

#include <QApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QPrinter>
#include <QTest>

#include "GuiHarness.h"
#include "ModalSteps.h"
#include "host/Form.h"
#include "platform/gui/GuiReportRunner.h"
#include "platform/gui/ReportPages.h"
#include "platform/reports/ReportRunner.h"
#include "platform/runtime/HostSession.h"

using pla013guitest::GuiHarness;
using pla013guitest::ModalSteps;

namespace {

QString lineText(QWidget* w) {
    auto* e = qobject_cast<QLineEdit*>(w);
    return e ? e->text() : QStringLiteral("<not a line edit>");
}

std::string readFile(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Pages of a PDF as Qt writes them: one "/Type /Page" object each.
std::size_t pdfPages(const std::string& pdf) {
    static const std::regex page(R"(/Type\s*/Page[^s])");
    return std::size_t(std::distance(std::sregex_iterator(pdf.begin(), pdf.end(), page), std::sregex_iterator()));
}

// Standard beside local recipe of branch 0002 for the dishes of group 3,
// typed into the form.
void fillLocalRecipeReport(GuiHarness& h) {
    h.chooseInCombo("cbbReportNames", 2);
    h.typeInto("medCdFilial", "2");
    h.tab();
    h.typeInto("medCdPratoIni", "3");
    h.tab();
    h.typeInto("medCdPratoFin", "3");
    h.tab();
}

}  // namespace

TEST(ReportFlow, FromTypingABranchToASavedPdf) {
    GuiHarness h;
    h.openChild();
    fillLocalRecipeReport(h);
    EXPECT_EQ(lineText(h.widget("medCdFilial")), QStringLiteral("0002"));
    EXPECT_EQ(lineText(h.widget("edtNmFilial")), QStringLiteral("Escola Municipal São João"));
    EXPECT_FALSE(lineText(h.widget("edtNmPratoIni")).isEmpty());
    EXPECT_TRUE(h.view()->grab().save(QStringLiteral(PLA013_SCREENSHOT_DIR "/filled-PLA01303.png")));

    const auto file = h.dir() / "receitas.pdf";
    std::string suggested;
    h.ui().saveFileAnswer = [&](const std::string& s) {
        suggested = s;
        return std::optional<std::string>(file.string());
    };
    h.ui().clearEvents();
    h.click("sbtSalvarComo");

    EXPECT_EQ(suggested, "PLA01303.pdf");
    ASSERT_TRUE(std::filesystem::exists(file));
    const std::string pdf = readFile(file);
    EXPECT_EQ(pdf.substr(0, 5), "%PDF-");
    const auto& outcome = h.host().session().reports().lastOutcome();
    ASSERT_TRUE(outcome.has_value());
    EXPECT_EQ(outcome->target, "file");
    EXPECT_GE(outcome->rows, 1u);
    EXPECT_EQ(pdfPages(pdf), outcome->pages);
    // No message was shown on the way.
    for (const auto& e : h.ui().events()) EXPECT_NE(e.rfind("message:", 0), 0u) << e;
    // The focus stayed where the user left it.
    EXPECT_EQ(h.focusedControl(), h.form()->ActiveControl());
}

TEST(ReportFlow, PrintGoesThroughThePrintDialog) {
    GuiHarness h;
    h.openChild();
    fillLocalRecipeReport(h);
    const auto file = h.dir() / "impresso.pdf";
    int asked = 0;
    h.ui().printerAnswer = [&](QPrinter& printer) {
        ++asked;
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(QString::fromStdString(file.string()));
        return true;
    };
    h.click("sbtPrint");
    EXPECT_EQ(asked, 1);
    ASSERT_NE(h.host().reports().lastPages(), nullptr);
    ASSERT_TRUE(std::filesystem::exists(file));
    EXPECT_EQ(pdfPages(readFile(file)), h.host().reports().lastPages()->pageCount());

    // Cancelled in the dialog: nothing is printed.
    std::filesystem::remove(file);
    h.ui().printerAnswer = [&](QPrinter&) {
        ++asked;
        return false;
    };
    h.click("sbtPrint");
    EXPECT_EQ(asked, 2);
    EXPECT_FALSE(std::filesystem::exists(file));
}

TEST(ReportFlow, RefusalsShowTheirMessageAndPutTheFocusWhereTheBehaviourSays) {
    struct Row {
        const char* what;
        int report;
        std::function<void(GuiHarness&)> fill;
        const char* message;
        const char* focus;
    };
    auto dishes = [](const char* from, const char* to) {
        return [from, to](GuiHarness& h) {
            h.typeInto("medCdPratoIni", from);
            h.tab();
            h.typeInto("medCdPratoFin", to);
            h.tab();
        };
    };
    const Row rows[] = {
        {"no dish range", 0, [](GuiHarness&) {}, "Prato inicial deve ser informado.", "medCdPratoIni"},
        {"range upside down", 0, dishes("3", "1"), "Prato final deve ser maior ou igual ao prato inicial.",
         "medCdPratoFin"},
        {"no menu dates", 5, dishes("1", "9"), "Data inicial deve ser informada.", "depDataInic"},
        {"no print option", 1,
         [dishes](GuiHarness& h) {
             dishes("1", "9")(h);
             h.click("chbProduto");  // the only option checked goes off
         },
         "A opção de impressão deve ser informada.", "chbProduto"},
        {"a branch list without branches", 4,
         [dishes](GuiHarness& h) {
             dishes("1", "9")(h);
             h.click("rbtListFili");
         },
         "Filial deve ser informada.", "grbFilial"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        GuiHarness h;
        h.openChild();
        h.chooseInCombo("cbbReportNames", row.report);
        row.fill(h);
        ModalSteps steps;
        steps.expectMessage(QString::fromUtf8(row.message));
        h.click("sbtPreview");
        EXPECT_TRUE(steps.done());
        for (const auto& f : steps.failures()) ADD_FAILURE() << f;
        EXPECT_EQ(h.form()->ActiveControl(), &h.control(row.focus));
        EXPECT_EQ(h.focusedControl(), &h.control(row.focus));
        // Nothing ran.
        EXPECT_EQ(h.host().reports().lastPages(), nullptr);
    }
}

TEST(ReportFlow, AFailureIsShownAndTheFormStaysUsable) {
    // A report folder of our own, whose first definition breaks after the
    // form has listed it.
    pla013test::TempDir reports;
    for (const auto& entry : std::filesystem::directory_iterator(PLA013_REPORTS_DIR))
        std::filesystem::copy(entry.path(), reports.path() / entry.path().filename());
    pla013::runtime::HostOptions options;
    options.reports = reports.path().string();
    GuiHarness h(options);
    h.openChild();
    h.typeInto("medCdPratoIni", "1");
    h.typeInto("medCdPratoFin", "9");
    h.tab();
    {
        std::ofstream broken(reports.path() / "PLA01301.QR2", std::ios::trunc);
        broken << "{ \"code\": ";
    }
    ModalSteps steps;
    steps.expect(
        "error box", [](QWidget* w) { return w->objectName() == "errorMessage"; },
        [](QWidget* w) { QTest::keyClick(w, Qt::Key_Return); });
    h.click("sbtPreview");
    EXPECT_TRUE(steps.done());
    for (const auto& f : steps.failures()) ADD_FAILURE() << f;
    ASSERT_FALSE(h.ui().events().empty());
    EXPECT_NE(h.ui().events().back().find("PLA01301.QR2"), std::string::npos) << h.ui().events().back();
    // Still usable: another report runs.
    const auto file = h.dir() / "outro.csv";
    h.ui().saveFileAnswer = [&file](const std::string&) { return std::optional<std::string>(file.string()); };
    h.chooseInCombo("cbbReportNames", 6);
    h.click("sbtSalvarComo");
    EXPECT_TRUE(std::filesystem::exists(file));
}

TEST(ReportFlow, SaveAsRefusesFormatsItCannotWrite) {
    GuiHarness h;
    h.openChild();
    h.typeInto("medCdPratoIni", "1");
    h.typeInto("medCdPratoFin", "9");
    h.tab();
    // The preview's own page format and an unknown one: refused, nothing written.
    for (const char* name : {"relatorio.pla013pages", "relatorio.doc"}) {
        SCOPED_TRACE(name);
        const auto file = h.dir() / name;
        h.ui().saveFileAnswer = [&file](const std::string&) { return std::optional<std::string>(file.string()); };
        ModalSteps steps;
        QString text;
        steps.expect(
            "error box", [](QWidget* w) { return w->objectName() == "errorMessage"; },
            [&text](QWidget* w) {
                text = static_cast<QMessageBox*>(w)->text();
                QTest::keyClick(w, Qt::Key_Return);
            });
        h.click("sbtSalvarComo");
        EXPECT_TRUE(steps.done());
        EXPECT_TRUE(text.startsWith(QStringLiteral("Formato de arquivo não suportado"))) << text.toStdString();
        EXPECT_FALSE(std::filesystem::exists(file));
    }
}
