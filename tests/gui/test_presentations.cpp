// The two presentations of the form, launched from the main window's menu:
// a child window of the multiple-document area for the host's branch, and a
// modal dialog for a branch the user gives; the created-once rule; closing.

#include <gtest/gtest.h>

#include <vector>

#include <fstream>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMessageBox>
#include <QTest>

#include "GuiHarness.h"
#include "ModalSteps.h"
#include "host/Form.h"

using pla013guitest::GuiHarness;
using pla013guitest::ModalSteps;

namespace {

QString textOf(QWidget* w) {
    if (auto* e = qobject_cast<QLineEdit*>(w)) return e->text();
    return {};
}

}  // namespace

TEST(Presentations, ChildWindowOpensOnceForTheHostBranch) {
    GuiHarness h;
    h.openChild();
    ASSERT_NE(h.form(), nullptr);
    QMdiArea* area = h.window().mdiArea();
    ASSERT_EQ(area->subWindowList().size(), 1);
    QMdiSubWindow* sub = area->subWindowList().front();
    EXPECT_EQ(sub->windowTitle(), QStringLiteral("Emissão das Receitas"));
    EXPECT_TRUE(sub->isVisible());
    EXPECT_EQ(sub->widget(), h.view());
    EXPECT_EQ(h.field("FCdFilial"), "0001");
    EXPECT_EQ(textOf(h.widget("medCdFilial")), QStringLiteral("0001"));
    EXPECT_EQ(textOf(h.widget("edtNmFilial")), QStringLiteral("Central de Merenda Norte"));
    // The first activation puts the focus on the report list, on screen too.
    EXPECT_EQ(h.form()->ActiveControl(), &h.control("cbbReportNames"));
    EXPECT_EQ(h.focusedControl(), &h.control("cbbReportNames"));
    // A single border that does not resize: the form keeps its designed size.
    sub->resize(sub->width() + 200, sub->height());
    GuiHarness::processEvents();
    EXPECT_EQ(h.view()->width(), h.form()->ClientWidth());

    // Opened again: the same window comes to the front, filters as left.
    pla013::host::TForm* first = h.form();
    h.typeInto("medCdPratoIni", "1");
    h.openChild();
    EXPECT_EQ(area->subWindowList().size(), 1);
    EXPECT_EQ(h.form(), first);
    EXPECT_EQ(textOf(h.widget("medCdPratoIni")), QStringLiteral("1"));

    // "Prato..." while the child is open says why nothing opens.
    ModalSteps steps;
    QString reason;
    steps.expect("the reason", ModalSteps::named("noDialogMessage"), [&reason](QWidget* w) {
        reason = static_cast<QMessageBox*>(w)->text();
        static_cast<QMessageBox*>(w)->accept();
    });
    h.clickMenu("Relatórios", "Prato...");
    EXPECT_TRUE(reason.contains(QStringLiteral("já está aberto como janela filha"))) << reason.toStdString();
    EXPECT_TRUE(steps.done());
    EXPECT_TRUE(steps.failures().empty()) << steps.failures().front();
    EXPECT_EQ(h.form(), first);
    EXPECT_EQ(h.field("FCdFilial"), "0001");
    EXPECT_EQ(area->subWindowList().size(), 1);

    // Closing the window closes the form; the application releases it.
    sub->close();
    EXPECT_TRUE(GuiHarness::waitUntil([] { return pla013::host::Application().Forms().empty(); }));
    EXPECT_FALSE(h.formCriado());
    EXPECT_TRUE(area->subWindowList().isEmpty());
    EXPECT_TRUE(pla013::host::Application().Forms().empty());

    // The next call builds a new form.
    h.openChild();
    ASSERT_NE(h.form(), nullptr);
    EXPECT_TRUE(h.formCriado());
    EXPECT_EQ(area->subWindowList().size(), 1);
    // It takes the filters the operator left, through its own checks.
    EXPECT_EQ(textOf(h.widget("medCdPratoIni")), QStringLiteral("1"));
    EXPECT_FALSE(textOf(h.widget("edtNmPratoIni")).isEmpty());
}

TEST(Presentations, ModalDialogForTheBranchTheUserGives) {
    GuiHarness h;
    ModalSteps steps;
    QString title, branchShown, fieldBranch;
    bool modal = false;
    std::vector<int> grown;
    steps.expect("branch question", ModalSteps::named("branchDialog"), [](QWidget* w) {
        auto* edit = w->findChild<QLineEdit*>();
        QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(edit, "001234");
        QTest::keyClick(edit, Qt::Key_Return);
    });
    steps.expect("the form as a dialog", ModalSteps::named("frmRelatPratoDialog"), [&](QWidget* w) {
        title = w->windowTitle();
        modal = w->isModal();
        branchShown = textOf(h.widget("medCdFilial"));
        fieldBranch = QString::fromStdString(h.field("FCdFilial"));
        // The dialog may be maximized: made wider, the frames and name boxes
        // that reach the right edge grow with it, the codes keep their size.
        const auto width = [&h](const char* name) { return h.widget(name)->width(); };
        const int name = width("edtNmPratoIni"), code = width("medCdPratoIni"), report = width("cbbReportNames");
        w->resize(w->width() + 200, w->height());
        GuiHarness::processEvents();
        grown = {width("edtNmPratoIni") - name, width("grbDestino") - h.form()->FindControl("grbDestino")->Width(),
                 width("medCdPratoIni") - code, width("cbbReportNames") - report};
        // Esc closes the dialog (the form's close handler runs).
        QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : w, Qt::Key_Escape);
    });
    h.clickMenu("Relatórios", "Prato...");
    EXPECT_TRUE(steps.done());
    for (const auto& f : steps.failures()) ADD_FAILURE() << f;
    EXPECT_EQ(title, QStringLiteral("Prato"));
    EXPECT_TRUE(modal);
    // The branch is cut to four characters.
    EXPECT_EQ(fieldBranch, QStringLiteral("0012"));
    EXPECT_EQ(branchShown, QStringLiteral("0012"));
    EXPECT_EQ(grown, (std::vector<int>{200, 200, 0, 0}));
    // Closed and released by the time the call returns.
    EXPECT_FALSE(h.formCriado());
    EXPECT_TRUE(pla013::host::Application().Forms().empty());
    EXPECT_TRUE(h.window().mdiArea()->subWindowList().isEmpty());
}

TEST(Presentations, StatusBarShowsTheHostContext) {
    pla013::runtime::HostOptions options;
    options.branch = "0002";
    options.operatorCode = "2";
    options.module = 'L';
    options.singleBranch = true;
    options.date = "2024-03-15";
    GuiHarness h(options);
    const auto& w = h.window();
    EXPECT_EQ(w.statusText("branch"), QStringLiteral("Filial: 0002"));
    EXPECT_EQ(w.statusText("operator"), QStringLiteral("Operador: 2"));
    EXPECT_EQ(w.statusText("date"), QStringLiteral("Data: 15/03/2024"));
    EXPECT_EQ(w.statusText("module"), QStringLiteral("Módulo: L"));
    EXPECT_EQ(w.statusText("singleBranch"), QStringLiteral("Filial única: Sim"));
    EXPECT_TRUE(w.statusText("database").contains("catering.sqlite"));
    EXPECT_TRUE(w.statusText("server").startsWith("Servidor: 127.0.0.1:"));
    EXPECT_TRUE(w.statusText("server").endsWith("(embutido)"));
}

TEST(Presentations, ContextFromOptionsOverTheConfigurationFile) {
    pla013test::TempDir dir;
    const auto config = dir.path() / "pla013.conf";
    {
        std::ofstream out(config);
        out << "# the desktop's context\nbranch = 0003\noperator = 2\nmodule = 8\n";
    }
    // As the executable reads its command line.
    std::vector<std::string> args = {"--config", config.string(), "--operator", "3"};
    pla013::runtime::HostOptions options = pla013::runtime::HostOptions::parse(args);
    EXPECT_TRUE(args.empty());
    GuiHarness h(options);
    EXPECT_EQ(h.window().statusText("branch"), QStringLiteral("Filial: 0003"));
    EXPECT_EQ(h.window().statusText("operator"), QStringLiteral("Operador: 3"));
    EXPECT_EQ(h.window().statusText("module"), QStringLiteral("Módulo: 8"));
    // The module works with that context: the form opens for branch 0003.
    h.openChild();
    ASSERT_NE(h.form(), nullptr);
    EXPECT_EQ(h.field("FCdFilial"), "0003");
    EXPECT_EQ(textOf(h.widget("edtNmFilial")), QStringLiteral("Escola Estadual Conceição"));
}
