// The host dialogs, each answered through its widgets: the search list of
// the search buttons (filter, choose, cancel, empty list), the multi-
// selection list of PesquisaLista (filter, select all, clear), the progress
// window, the hourglass, and the save-as file dialog.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include <QApplication>
#include <QCursor>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include "GuiHarness.h"
#include "ModalSteps.h"
#include "host/Form.h"
#include "platform/gui/ChecklistDialog.h"
#include "platform/gui/SearchListDialog.h"
#include "platform/gui/SignInDialog.h"

using pla013guitest::GuiHarness;
using pla013guitest::ModalSteps;

namespace {

QString lineText(QWidget* w) {
    auto* e = qobject_cast<QLineEdit*>(w);
    return e ? e->text() : QStringLiteral("<not a line edit>");
}

int shownRows(QTreeWidget* list) {
    int n = 0;
    for (int i = 0; i < list->topLevelItemCount(); ++i) n += list->topLevelItem(i)->isHidden() ? 0 : 1;
    return n;
}

void clickRow(QTreeWidget* list, int row) {
    const QRect r = list->visualItemRect(list->topLevelItem(row));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, r.center());
}

void expectNoFailures(const ModalSteps& steps) {
    EXPECT_TRUE(steps.done());
    for (const auto& f : steps.failures()) ADD_FAILURE() << f;
}

}  // namespace

TEST(HostDialogs, SearchListFiltersChoosesAndCancels) {
    GuiHarness h;
    h.openChild();
    h.chooseInCombo("cbbReportNames", 2);  // local recipe: the branch field and its search are open

    ModalSteps steps;
    QString title;
    int rows = 0, shown = 0;
    QStringList headers;
    std::vector<int> spelled;
    steps.expect("branch search", ModalSteps::named("searchDialog"), [&](QWidget* w) {
        auto* dialog = dynamic_cast<pla013::gui::SearchListDialog*>(w);
        title = w->windowTitle();
        rows = dialog->list()->topLevelItemCount();
        for (int c = 0; c < dialog->list()->columnCount(); ++c) headers << dialog->list()->headerItem()->text(c);
        // Accents and case do not matter.
        for (const char* spelling : {"sao joao", "SÃO JOÃO", "araca", "ARAÇÁ", "são joão municipal"}) {
            dialog->filterBox()->clear();
            GuiHarness::typeText(dialog->filterBox(), QString::fromUtf8(spelling));
            spelled.push_back(shownRows(dialog->list()));
        }
        dialog->filterBox()->clear();
        GuiHarness::typeText(dialog->filterBox(), QStringLiteral("araçá"));
        shown = shownRows(dialog->list());
        QTest::keyClick(dialog->filterBox(), Qt::Key_Return);
    });
    h.click("btnFilial");
    expectNoFailures(steps);
    EXPECT_EQ(title, QStringLiteral("Filial"));
    EXPECT_EQ(rows, 9);
    EXPECT_EQ(headers, (QStringList{"Código", "Nome"}));
    EXPECT_EQ(shown, 1);
    EXPECT_EQ(spelled, (std::vector<int>{1, 1, 1, 1, 0}));
    // After the search the code is written, then the name.
    EXPECT_EQ(lineText(h.widget("medCdFilial")), QStringLiteral("0005"));
    EXPECT_EQ(lineText(h.widget("edtNmFilial")), QStringLiteral("Escola Municipal Araçá"));

    // Esc cancels: nothing changes.
    steps.expect("branch search", ModalSteps::named("searchDialog"), [](QWidget* w) {
        QTest::keyClick(dynamic_cast<pla013::gui::SearchListDialog*>(w)->filterBox(), Qt::Key_Escape);
    });
    h.click("btnFilial");
    expectNoFailures(steps);
    EXPECT_EQ(lineText(h.widget("medCdFilial")), QStringLiteral("0005"));

    // F4 in the field opens its search; the arrows move in the list.
    steps.expect("branch search", ModalSteps::named("searchDialog"), [](QWidget* w) {
        auto* filter = dynamic_cast<pla013::gui::SearchListDialog*>(w)->filterBox();
        QTest::keyClick(filter, Qt::Key_Down);
        QTest::keyClick(filter, Qt::Key_Return);
    });
    h.click("medCdFilial");
    h.key(Qt::Key_F4);
    expectNoFailures(steps);
    EXPECT_EQ(lineText(h.widget("medCdFilial")), QStringLiteral("0002"));
    EXPECT_EQ(lineText(h.widget("edtNmFilial")), QStringLiteral("Escola Municipal São João"));
}

TEST(HostDialogs, EmptySearchListSaysSo) {
    GuiHarness h;
    h.openChild();
    h.chooseInCombo("cbbReportNames", 3);  // per-service recipe: branch and service
    h.typeInto("medCdFilial", "5");
    h.tab();
    ASSERT_EQ(lineText(h.widget("medCdFilial")), QStringLiteral("0005"));
    ModalSteps steps;
    steps.expectMessage("Não há serviço cadastrado.");
    h.click("btnServico");
    expectNoFailures(steps);
    EXPECT_EQ(lineText(h.widget("medCdServFili")), QString());
}

TEST(HostDialogs, ChecklistFiltersSelectsAllClearsAndChooses) {
    GuiHarness h;
    h.openChild();
    h.chooseInCombo("cbbReportNames", 4);  // cost by central kitchen: the branch list page
    h.click("rbtListFili");
    ASSERT_TRUE(h.widget("btnFilialCent")->isEnabled());

    ModalSteps steps;
    QString title, afterAll, afterClear, afterFilteredAll;
    int rows = 0, shownFiltered = 0;
    steps.expect("branch list", ModalSteps::named("listDialog"), [&](QWidget* w) {
        auto* d = dynamic_cast<pla013::gui::ChecklistDialog*>(w);
        auto* count = w->findChild<QLabel*>("count");
        title = w->windowTitle();
        rows = d->list()->topLevelItemCount();
        QTest::mouseClick(d->selectAllButton(), Qt::LeftButton);
        afterAll = count->text();
        QTest::mouseClick(d->clearButton(), Qt::LeftButton);
        afterClear = count->text();
        QTest::keyClicks(d->filterBox(), "central");
        shownFiltered = shownRows(d->list());
        QTest::mouseClick(d->selectAllButton(), Qt::LeftButton);
        afterFilteredAll = count->text();
        // The filter goes; one more row is checked with the keyboard.
        QTest::keyClick(d->filterBox(), Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(d->filterBox(), Qt::Key_Delete);
        clickRow(d->list(), 2);  // 0003, in code order
        QTest::keyClick(d->list(), Qt::Key_Space);
        QTest::mouseClick(w->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok), Qt::LeftButton);
    });
    h.click("btnFilialCent");
    expectNoFailures(steps);
    EXPECT_EQ(title, QStringLiteral("Filial"));
    EXPECT_EQ(rows, 9);
    EXPECT_EQ(afterAll, QStringLiteral("9 marcado(s) de 9"));
    EXPECT_EQ(afterClear, QStringLiteral("0 marcado(s) de 9"));
    EXPECT_EQ(shownFiltered, 2);
    EXPECT_EQ(afterFilteredAll, QStringLiteral("2 marcado(s) de 9"));
    EXPECT_EQ(h.field("FListaFilial"), "0001,0003,0008");

    // Cancelled: the list stays as it was.
    steps.expect("branch list", ModalSteps::named("listDialog"), [](QWidget* w) {
        auto* d = dynamic_cast<pla013::gui::ChecklistDialog*>(w);
        QTest::mouseClick(d->clearButton(), Qt::LeftButton);
        QTest::keyClick(d->filterBox(), Qt::Key_Escape);
    });
    h.click("btnFilialCent");
    expectNoFailures(steps);
    EXPECT_EQ(h.field("FListaFilial"), "0001,0003,0008");
}

TEST(HostDialogs, ProgressWindowWhileTheServerWorks) {
    GuiHarness h;
    h.openChild();
    h.chooseInCombo("cbbReportNames", 4);  // cost by central kitchen: built from the server's data
    h.typeInto("medCdPratoIni", "1");
    h.typeInto("medCdPratoFin", "9");
    h.tab();
    const auto file = h.dir() / "custo.csv";
    h.ui().saveFileAnswer = [&file](const std::string&) { return std::optional<std::string>(file.string()); };
    // Timers run while the progress window paints: what it shows is seen then.
    QString shownText;
    QTimer peek;
    peek.setInterval(0);
    QObject::connect(&peek, &QTimer::timeout, [&] {
        if (h.ui().progressVisible()) shownText = h.ui().progressText();
    });
    peek.start();
    h.ui().clearEvents();
    h.click("sbtSalvarComo");
    peek.stop();
    EXPECT_TRUE(std::filesystem::exists(file));
    EXPECT_EQ(shownText, QStringLiteral("Carregando receitas..."));
    EXPECT_FALSE(h.ui().progressVisible());
    EXPECT_EQ(std::count(h.ui().events().begin(), h.ui().events().end(), "dialog: progress Carregando receitas..."), 1);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST(HostDialogs, HourglassIsOneScreenCursor) {
    GuiHarness h;
    h.openChild();  // the first activation shows the hourglass while it asks the server
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(h.ui().cursor(), pla013::host::Cursor::Default);
    h.ui().SetCursor(pla013::host::Cursor::HourGlass);
    ASSERT_NE(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
    h.ui().SetCursor(pla013::host::Cursor::HourGlass);  // set twice, restored once
    h.ui().SetCursor(pla013::host::Cursor::Default);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    h.ui().SetCursor(pla013::host::Cursor::Default);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST(HostDialogs, SaveAsFileDialogAnsweredThroughItsWidgets) {
    GuiHarness h;
    h.openChild();
    h.typeInto("medCdPratoIni", "1");
    h.typeInto("medCdPratoFin", "1");
    h.tab();
    struct Row {
        const char* typed;    // what the user types as the file name
        const char* written;  // the file that is written
    };
    const Row rows[] = {{"lista.csv", "lista.csv"}, {"semextensao", "semextensao.pdf"}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.typed);
        const QString typed = QString::fromStdString((h.dir() / row.typed).string());
        ModalSteps steps;
        QString suggested;
        steps.expect("save-as dialog", ModalSteps::named("saveDialog"), [&](QWidget* w) {
            auto* name = w->findChild<QLineEdit*>("fileNameEdit");
            suggested = name->text();
            QTest::keyClick(name, Qt::Key_A, Qt::ControlModifier);
            // The whole path in one keystroke (as pasted): typed key by key,
            // the path's completion list would take the keys as it opens.
            QTest::sendKeyEvent(QTest::Click, name, Qt::Key_unknown, typed, Qt::NoModifier);
            // The completion list may have opened over the dialog.
            QTest::qWait(50);
            if (QWidget* popup = QApplication::activePopupWidget()) QTest::keyClick(popup, Qt::Key_Escape);
            QTest::keyClick(name, Qt::Key_Return);
        });
        h.click("sbtSalvarComo");
        expectNoFailures(steps);
        EXPECT_EQ(suggested, QStringLiteral("PLA01301.pdf"));
        const auto written = h.dir() / row.written;
        ASSERT_TRUE(std::filesystem::exists(written));
        EXPECT_GT(std::filesystem::file_size(written), 100u);
    }
    std::ifstream csv(h.dir() / "lista.csv");
    std::string header, first;
    std::getline(csv, header);
    std::getline(csv, first);
    EXPECT_FALSE(first.empty());
}

TEST(HostDialogs, SignInTakesOperatorAndPasswordAndShowsTheRefusal) {
    pla013::gui::SignInDialog first("10.0.0.5:8013", "2", "");
    first.show();
    EXPECT_FALSE(first.refusalLabel()->isVisibleTo(&first));
    EXPECT_EQ(first.passwordBox()->echoMode(), QLineEdit::Password);
    EXPECT_FALSE(first.signInButton()->isEnabled());  // no password yet
    QTest::keyClicks(first.passwordBox(), "filiais-0002-0003");
    ASSERT_TRUE(first.signInButton()->isEnabled());
    QTest::mouseClick(first.signInButton(), Qt::LeftButton);
    ASSERT_TRUE(first.credentials());
    EXPECT_EQ(*first.credentials(), (std::pair<std::string, std::string>{"2", "filiais-0002-0003"}));

    pla013::gui::SignInDialog again("10.0.0.5:8013", "2", "Operador ou senha incorretos.");
    again.show();
    EXPECT_TRUE(again.refusalLabel()->isVisibleTo(&again));
    EXPECT_EQ(again.refusalLabel()->text(), QStringLiteral("Operador ou senha incorretos."));
    again.operatorBox()->clear();
    QTest::keyClicks(again.passwordBox(), "x");
    EXPECT_FALSE(again.signInButton()->isEnabled());  // no operator
    again.reject();
    EXPECT_FALSE(again.credentials());
}
