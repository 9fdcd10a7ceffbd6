// The form drawn by the generic view: every control where the layout puts
// it and as the control holds it, for every report of the list; changes
// made by code reaching the widgets; typing filtered by the controls; the
// focus kept in step with the form's, the tab order the form's.

#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include <QAbstractSpinBox>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QTest>

#include "DrawnState.h"
#include "GuiHarness.h"
#include "ModalSteps.h"
#include "host/Controls.h"
#include "host/Form.h"
#include "platform/gui/internal/ControlAdapter.h"

using pla013guitest::compareDrawnState;
using pla013guitest::GuiHarness;
using pla013guitest::ModalSteps;

namespace {

QString lineText(QWidget* w) {
    auto* e = qobject_cast<QLineEdit*>(w);
    return e ? e->text() : QStringLiteral("<not a line edit>");
}

void expectDrawnAsHeld(GuiHarness& h) {
    const auto state = compareDrawnState(*h.view(), *h.form());
    EXPECT_EQ(state.controlsChecked, h.form()->AllControls().size());
    for (const auto& d : state.differences) ADD_FAILURE() << d;
}

std::string stem(const std::string& file) { return file.substr(0, file.find('.')); }

}  // namespace

TEST(FormView, EveryReportIsDrawnAsItsControlsHoldIt) {
    GuiHarness h;
    h.openChild();
    ASSERT_NE(h.view(), nullptr);
    auto* combo = qobject_cast<QComboBox*>(h.widget("cbbReportNames"));
    ASSERT_NE(combo, nullptr);
    ASSERT_EQ(combo->count(), 10);
    EXPECT_EQ(h.view()->size(), QSize(434, 414));

    const std::filesystem::path shots = PLA013_SCREENSHOT_DIR;
    std::filesystem::create_directories(shots);
    std::set<std::string> pagesSeen;
    auto& notebook = static_cast<pla013::host::TNotebook&>(h.control("nbkFiltroFili"));
    for (int position = 0; position < combo->count(); ++position) {
        SCOPED_TRACE("report position " + std::to_string(position));
        h.chooseInCombo("cbbReportNames", position);
        ASSERT_EQ(static_cast<pla013::host::TComboBox&>(h.control("cbbReportNames")).ItemIndex(), position);
        EXPECT_EQ(combo->currentIndex(), position);
        expectDrawnAsHeld(h);
        pagesSeen.insert(notebook.ActivePage());
        const std::string report = stem(h.field("FArqRelat"));
        EXPECT_EQ(report.size(), 8u);
        EXPECT_TRUE(h.view()->grab().save(QString::fromStdString((shots / (report + ".png")).string())));
    }
    // The reports do not all look alike: the filter pages change with them.
    EXPECT_EQ(pagesSeen, (std::set<std::string>{"Padrão", "ListaFilial", "ListaFilialEServico"}));
    // A disabled field does not look like an open one of the same colour.
    h.chooseInCombo("cbbReportNames", 0);
    ASSERT_FALSE(h.widget("medCdFilial")->isEnabled());
    ASSERT_TRUE(h.widget("medCdPratoIni")->isEnabled());
    EXPECT_NE(h.widget("medCdFilial")->palette().color(QPalette::Base),
              h.widget("medCdPratoIni")->palette().color(QPalette::Base));
    EXPECT_TRUE(h.window().grab().save(QString::fromStdString((shots / "desktop.png").string())));
}

TEST(FormView, MenuTypePageOfKitchenModules) {
    pla013::runtime::HostOptions options;
    options.module = 'L';
    GuiHarness h(options);
    h.openChild();
    ASSERT_NE(h.view(), nullptr);
    EXPECT_TRUE(h.widget("rdbTipo")->isVisibleTo(h.view()));
    for (int position : {0, 7}) {
        SCOPED_TRACE("report position " + std::to_string(position));
        h.chooseInCombo("cbbReportNames", position);
        expectDrawnAsHeld(h);
    }
    // Recipes by menu type: the menu type page, with the central kitchen.
    EXPECT_TRUE(h.widget("medCdTpCard")->isVisibleTo(h.view()));
    EXPECT_EQ(lineText(h.widget("medCdCentral")), QStringLiteral("0001"));
}

TEST(FormView, ChangesMadeByCodeReachTheWidgets) {
    GuiHarness h;
    h.openChild();
    ASSERT_NE(h.form(), nullptr);
    auto& f = *h.form();
    auto edit = [&f](const char* n) { return static_cast<pla013::host::TEdit*>(f.FindControl(n)); };
    const std::vector<std::pair<const char*, std::function<void()>>> changes = {
        {"text", [&] { edit("medCdPratoIni")->SetText("10"); }},
        {"hidden", [&] { f.FindControl("edtNmFilial")->SetVisible(false); }},
        {"shown again", [&] { f.FindControl("edtNmFilial")->SetVisible(true); }},
        {"container disabled", [&] { f.FindControl("grbImprimir")->SetEnabled(false); }},
        {"children enabled", [&] { pla013::host::SetChildEnabled(*f.FindControl("grbData"), true); }},
        {"caption", [&] { f.FindControl("lblCdFilial")->SetCaption("Filial X"); }},
        {"colour", [&] { f.FindControl("medCdPratoFin")->SetColor(pla013::host::TColor::clBtnFace); }},
        {"moved", [&] { f.FindControl("chbFoto")->SetLeft(230); }},
        {"checked", [&] { static_cast<pla013::host::TCheckBox*>(f.FindControl("chbModPrep"))->SetChecked(true); }},
        {"radio", [&] { static_cast<pla013::host::TRadioButton*>(f.FindControl("rdbServico"))->SetChecked(true); }},
        {"items",
         [&] {
             static_cast<pla013::host::TComboBox*>(f.FindControl("cbbTipoCust"))->SetItems({"A", "B", "C"});
         }},
        {"item index", [&] { static_cast<pla013::host::TComboBox*>(f.FindControl("cbbTipoCust"))->SetItemIndex(2); }},
        {"radio group",
         [&] { static_cast<pla013::host::TRadioGroup*>(f.FindControl("rdgDadosOperador"))->SetItemIndex(1); }},
        {"group items off", [&] { pla013::host::SetChildEnabled(*f.FindControl("rdgDadosOperador"), false); }},
        {"page",
         [&] {
             static_cast<pla013::host::TNotebook*>(f.FindControl("nbkFiltroFili"))
                 ->SetActivePage("ListaFilialEServico");
         }},
        {"spin", [&] { static_cast<pla013::host::TSpinEdit*>(f.FindControl("speNivel"))->SetValue(3); }},
        {"date", [&] { edit("depDataInic")->SetText("15/03/2024"); }},
    };
    for (const auto& [what, change] : changes) {
        SCOPED_TRACE(what);
        change();
        expectDrawnAsHeld(h);
    }
    // One ink for every field's text, a valid date's too.
    EXPECT_EQ(h.widget("depDataInic")->palette().color(QPalette::Text),
              h.widget("medCdPratoIni")->palette().color(QPalette::Text));
}

TEST(FormView, TypingGoesThroughTheControlsFilter) {
    struct Row {
        int report;
        const char* control;
        const char* typed;
        const char* expected;
    };
    const Row rows[] = {
        {3, "medCdFilial", "a0b0c0d2e5", "0002"},    // digits only, four of them
        {3, "medCdServFili", "00001ab", "00001"},    // any character, five
        {0, "medCdPratoIni", "1-0 0.0-1", "10001"},  // letters and digits, the picture's five
        {5, "depDataInic", "01x/02/2024", "01/02/2024"},
        {5, "depDataInic", "07122026", "07/12/2026"},
        {0, "speNivel", "1a2", "12"},
    };
    GuiHarness h;
    h.openChild();
    for (const Row& row : rows) {
        SCOPED_TRACE(row.control);
        h.chooseInCombo("cbbReportNames", row.report);
        h.typeInto(row.control, QString::fromUtf8(row.typed));
        EXPECT_EQ(static_cast<pla013::host::TEdit&>(h.control(row.control)).Text(), row.expected);
        QWidget* w = h.widget(row.control);
        auto* spin = w->findChild<QLineEdit*>();
        EXPECT_EQ(qobject_cast<QLineEdit*>(w) ? lineText(w) : spin->text(), QString::fromUtf8(row.expected));
        EXPECT_EQ(h.form()->ActiveControl(), &h.control(row.control));
    }
    // A year of two digits gets its century when the field is left: this
    // one up to twenty years ahead, the last one beyond.
    h.chooseInCombo("cbbReportNames", 5);
    h.typeInto("depDataFina", "31/03/24");
    h.tab();
    EXPECT_EQ(lineText(h.widget("depDataFina")), QStringLiteral("31/03/2024"));
    EXPECT_FALSE(lineText(h.widget("edtDataFina")).isEmpty());
    const struct {
        int thisYear;
        const char *typed, *full;
    } years[] = {{2026, "31/12/46", "31/12/2046"}, {2026, "1/1/47", "01/01/1947"},   {2026, "31/12/99", "31/12/1999"},
                 {2026, "01/01/00", "01/01/2000"}, {2085, "31/12/99", "31/12/2099"}, {2085, "1/1/06", "01/01/2006"}};
    for (const auto& y : years)
        EXPECT_EQ(pla013::gui::internal::fullDate(y.typed, y.thisYear).toStdString(), y.full) << y.typed;
    // Every change of a code empties the name beside it.
    h.chooseInCombo("cbbReportNames", 2);
    h.typeInto("medCdFilial", "2");
    h.tab();
    EXPECT_EQ(lineText(h.widget("edtNmFilial")), QStringLiteral("Escola Municipal São João"));
    h.typeInto("medCdFilial", "3");
    EXPECT_EQ(lineText(h.widget("edtNmFilial")), QString());
}

TEST(FormView, ExitValidationKeepsTheFocusWhereTheFormPutsIt) {
    GuiHarness h;
    h.openChild();
    h.chooseInCombo("cbbReportNames", 2);  // standard beside local recipe: the branch field is open
    ASSERT_TRUE(h.widget("medCdFilial")->isEnabled());

    {
        SCOPED_TRACE("Tab out of an unknown branch");
        ModalSteps steps;
        steps.expectMessage("Filial não cadastrada.");
        h.typeInto("medCdFilial", "9999");
        h.tab();
        EXPECT_TRUE(steps.done());
        for (const auto& f : steps.failures()) ADD_FAILURE() << f;
        EXPECT_EQ(h.form()->ActiveControl(), &h.control("medCdFilial"));
        EXPECT_EQ(h.focusedControl(), &h.control("medCdFilial"));
    }
    {
        SCOPED_TRACE("a mouse click elsewhere");
        ModalSteps steps;
        steps.expectMessage("Filial não cadastrada.");
        h.click("medCdPratoIni");
        EXPECT_TRUE(steps.done());
        EXPECT_EQ(h.form()->ActiveControl(), &h.control("medCdFilial"));
        EXPECT_EQ(h.focusedControl(), &h.control("medCdFilial"));
    }
    {
        SCOPED_TRACE("a known branch, fitted to four digits");
        h.typeInto("medCdFilial", "2");
        h.tab();
        EXPECT_EQ(lineText(h.widget("medCdFilial")), QStringLiteral("0002"));
        EXPECT_EQ(lineText(h.widget("edtNmFilial")), QStringLiteral("Escola Municipal São João"));
        // On to the next field, past the branch's search button.
        ASSERT_NE(h.focusedControl(), nullptr);
        EXPECT_EQ(h.form()->ActiveControl(), h.focusedControl());
        EXPECT_NE(h.focusedControl()->Kind(), pla013::host::ControlKind::SearchButton);
    }
    {
        SCOPED_TRACE("Enter moves on like Tab");
        h.typeInto("medCdPratoIni", "1");
        h.key(Qt::Key_Return);
        EXPECT_EQ(h.form()->ActiveControl(), &h.control("medCdPratoFin"));
        EXPECT_EQ(h.focusedControl(), &h.control("medCdPratoFin"));
        EXPECT_EQ(lineText(h.widget("edtNmPratoIni")).isEmpty(), false);
    }
}

TEST(FormView, TabFollowsTheFormsTabOrder) {
    GuiHarness h;
    h.openChild();
    pla013::host::TForm& form = *h.form();
    ASSERT_EQ(h.focusedControl(), &h.control("cbbReportNames"));
    // What the keyboard should visit: the form's tab sequence, the controls
    // that can take the focus, containers and search buttons passed by, and
    // of the radio buttons the checked one (F4 and the mouse reach the search
    // buttons, the arrows the other radio buttons).
    using K = pla013::host::ControlKind;
    std::vector<std::string> expected;
    for (pla013::host::TControl* c : form.TabSequence())
        if (c->CanFocus() && c->Kind() != K::GroupBox && c->Kind() != K::Panel && c->Kind() != K::SearchButton &&
            (c->Kind() != K::RadioButton || static_cast<pla013::host::TRadioButton*>(c)->Checked()))
            expected.push_back(c->Name());
    ASSERT_GT(expected.size(), 6u);
    auto start = std::find(expected.begin(), expected.end(), "cbbReportNames");
    std::rotate(expected.begin(), start, expected.end());

    std::vector<std::string> visited{"cbbReportNames"};
    for (std::size_t i = 1; i < expected.size(); ++i) {
        h.tab();
        pla013::host::TControl* c = h.focusedControl();
        visited.push_back(c ? c->Name() : "<none>");
        EXPECT_EQ(form.ActiveControl(), c);
        // The ring shows where the focus is, on every kind of control.
        QWidget* focus = QApplication::focusWidget();
        if (qobject_cast<QAbstractSpinBox*>(focus->parentWidget())) focus = focus->parentWidget();
        const QWidget* ring = h.view()->focusRing();
        EXPECT_TRUE(ring->isVisible()) << visited.back();
        EXPECT_EQ(ring->parentWidget(), focus->parentWidget()) << visited.back();
        EXPECT_TRUE(ring->geometry().contains(focus->geometry())) << visited.back();
    }
    EXPECT_EQ(visited, expected);
    h.tab();
    EXPECT_EQ(h.focusedControl(), &h.control("cbbReportNames"));
    // Shift+Tab goes back.
    h.key(Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_EQ(h.focusedControl()->Name(), expected.back());

    // A field entered from the keyboard has its text selected: typing
    // replaces it.
    h.chooseInCombo("cbbReportNames", 2);
    h.typeInto("medCdFilial", "2");
    h.tab();
    ASSERT_NE(h.focusedControl(), nullptr);
    EXPECT_NE(h.focusedControl()->Kind(), K::SearchButton) << "Tab stopped on the branch's search button";
    h.key(Qt::Key_Backtab, Qt::ShiftModifier);
    auto* branch = qobject_cast<QLineEdit*>(h.widget("medCdFilial"));
    ASSERT_EQ(QApplication::focusWidget(), branch);
    EXPECT_EQ(branch->selectedText(), QStringLiteral("0002"));
    GuiHarness::typeText(branch, QStringLiteral("5"));
    EXPECT_EQ(branch->text(), QStringLiteral("5"));
}

TEST(FormView, SpinEditStepsWithinItsRange) {
    GuiHarness h;
    h.openChild();
    auto& spin = static_cast<pla013::host::TSpinEdit&>(h.control("speNivel"));
    ASSERT_EQ(spin.MaxValue(), 1);  // three levels in the dish picture
    // Ordering by name enables the level.
    h.click(h.widget("rdgDadosOperador")->findChild<QWidget*>("rdgDadosOperador_1"));
    ASSERT_TRUE(h.widget("speNivel")->isEnabled());
    h.click("speNivel");
    h.key(Qt::Key_Up);
    EXPECT_EQ(spin.Value(), 1);
    h.key(Qt::Key_Up);
    EXPECT_EQ(spin.Value(), 1);
    h.key(Qt::Key_Down);
    EXPECT_EQ(spin.Value(), 0);
    EXPECT_EQ(h.widget("speNivel")->findChild<QLineEdit*>()->text(), QStringLiteral("0"));
}

// The keys of a keyboard-only clerk: the arrows choose within a group of
// radio buttons, Enter in the last field runs the preview, Esc closes the
// form unless a field is being typed in, and "Fechar" (Ctrl+F4) in the menu
// closes it too.
TEST(FormView, RadioArrowsEnterInTheLastFieldAndTheKeysThatClose) {
    GuiHarness h;
    h.openChild();
    h.chooseInCombo("cbbReportNames", 1);  // the recipe sheets: every origin can be chosen
    h.click("rdbPadrao");
    ASSERT_EQ(h.focusedControl(), &h.control("rdbPadrao"));
    const char* const arrows[][2] = {{"Down", "rdbLocal"}, {"Down", "rdbServico"}, {"Up", "rdbLocal"}};
    for (const auto& [key, then] : arrows) {
        h.key(std::string(key) == "Down" ? Qt::Key_Down : Qt::Key_Up);
        EXPECT_EQ(h.focusedControl(), &h.control(then)) << key;
        EXPECT_TRUE(static_cast<pla013::host::TRadioButton&>(h.control(then)).Checked()) << then;
    }
    h.tab();
    EXPECT_NE(h.focusedControl()->Kind(), pla013::host::ControlKind::RadioButton) << "Tab stayed in the group";

    // Enter after the last field: the preview, without the mouse.
    h.chooseInCombo("cbbReportNames", 0);
    h.typeInto("medCdPratoIni", "1");
    h.typeInto("medCdPratoFin", "9");
    pla013::host::TControl* last = h.view()->lastField();
    ASSERT_NE(last, nullptr);
    for (int i = 0; i < 40 && h.focusedControl() != last; ++i) h.tab();
    ASSERT_EQ(h.focusedControl(), last);
    ModalSteps steps;
    steps.expect("preview window", ModalSteps::named("previewWindow"),
                 [](QWidget* w) { QTest::keyClick(w, Qt::Key_Escape); });
    h.key(Qt::Key_Return);
    EXPECT_TRUE(steps.done()) << "Enter in " << last->Name() << " did not run the preview";
    EXPECT_EQ(h.focusedControl(), last);

    // Esc while typing in a field keeps the form; once the field is left it closes it.
    h.typeInto("medCdPratoIni", "2");
    h.key(Qt::Key_Escape);
    GuiHarness::processEvents();
    ASSERT_NE(h.form(), nullptr);
    h.tab();
    h.key(Qt::Key_Escape);
    EXPECT_TRUE(GuiHarness::waitUntil([&] { return h.form() == nullptr; })) << "Esc did not close the form";

    // "Fechar" says its keys and Ctrl+F4 closes the form.
    h.openChild();
    auto* close = h.window().findChild<QAction*>("closeForm");
    ASSERT_NE(close, nullptr);
    EXPECT_TRUE(close->text().contains("Esc") && close->text().contains("Ctrl+F4")) << close->text().toStdString();
    EXPECT_TRUE(close->isEnabled());
    h.key(Qt::Key_F4, Qt::ControlModifier);
    EXPECT_TRUE(GuiHarness::waitUntil([&] { return h.form() == nullptr; })) << "Ctrl+F4 did not close the form";
}
