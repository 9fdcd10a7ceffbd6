// Rules of the headless components that the module relies on.

#include <gtest/gtest.h>

#include <sstream>

#include "host/Errors.h"
#include "host/Form.h"
#include "host/Ports.h"
#include "host/Utils.h"
#include "platform/script/ScriptUi.h"

using namespace pla013::host;

namespace {

class ComponentTest : public ::testing::Test {
protected:
    void SetUp() override {
        form.SetVisible(true);  // a form that is not shown gives the focus to nothing
        Ports ports;
        ports.ui = &ui;
        Install(ports);
    }
    void TearDown() override { Install(Ports{}); }
    std::ostringstream out, log;
    pla013::script::ScriptUi ui{out, log};
    TForm form{"frmTeste"};
};

TEST_F(ComponentTest, MaskEditFiresChangeOnlyWhenTheTextReallyChanges) {
    auto* med = form.AddControl<TMaskEdit>(nullptr, "medCodigo");
    int changes = 0;
    med->OnChange = [&](TObject*) { ++changes; };
    med->SetText("12");
    med->SetText("12");
    med->SetText("0012");
    med->SetText("0012");
    med->SetText("");
    EXPECT_EQ(changes, 3);
}

TEST_F(ComponentTest, MaskDecidesWhatTypingLeaves) {
    auto* med = form.AddControl<TMaskEdit>(nullptr, "medCodigo");
    struct Case {
        const char* mask;
        const char* typed;
        const char* expected;
    } cases[] = {
        {"9999;0; ", "12", "12"},
        {"9999;0; ", "12345", "1234"},
        {"9999;0; ", "1a2b", "12"},
        {"ccccc;0; ", "AB CD", "AB CD"},
        {"ccccc;0; ", "ABCDEFG", "ABCDE"},
        {"9999999999;0; ", "000000000123", "0000000001"},
        {"aaaaa;0; ", "1-0a01", "10a01"},
        {"!99/99/9999;1;_", "01022024", "01/02/2024"},
        {"", "qualquer texto", "qualquer texto"},
    };
    for (const auto& c : cases) {
        med->SetEditMask(c.mask);
        EXPECT_EQ(med->Typed(c.typed), c.expected) << "mask " << c.mask << " typed " << c.typed;
    }
}

TEST_F(ComponentTest, ASpinEditTakesDigitsOnlyAndAMinusOnlyWhenItsRangeIsNegative) {
    auto* spe = form.AddControl<TSpinEdit>(nullptr, "speNivel");
    spe->SetMaxValue(3);
    for (const auto& [typed, expected] : std::vector<std::pair<std::string, std::string>>{
             {"2", "2"}, {"1a", "1"}, {"-3", "3"}, {" 2 ", "2"}, {"x", ""}, {"1.5", "15"}})
        EXPECT_EQ(spe->Typed(typed), expected) << typed;
    spe->SetMinValue(-2);
    EXPECT_EQ(spe->Typed("-1"), "-1");
}

TEST_F(ComponentTest, CheckingARadioButtonUnchecksItsSiblingsAndRunsItsClickFromCode) {
    auto* grupo = form.AddControl<TGroupBox>(nullptr, "grbOrigem");
    auto* a = form.AddControl<TRadioButton>(grupo, "rdbA");
    auto* b = form.AddControl<TRadioButton>(grupo, "rdbB");
    auto* outroGrupo = form.AddControl<TGroupBox>(nullptr, "grbOutro");
    auto* c = form.AddControl<TRadioButton>(outroGrupo, "rdbC");
    std::vector<std::string> clicks;
    for (auto* rb : {a, b, c}) rb->OnClick = [&clicks, rb](TObject*) { clicks.push_back(rb->Name()); };

    a->SetChecked(true);
    c->SetChecked(true);
    b->SetChecked(true);
    EXPECT_FALSE(a->Checked());
    EXPECT_TRUE(b->Checked());
    EXPECT_TRUE(c->Checked()) << "a button of another group is not a sibling";

    b->SetChecked(true);   // already checked: nothing runs
    b->SetChecked(false);  // unchecking runs nothing
    EXPECT_FALSE(b->Checked());
    EXPECT_EQ(clicks, (std::vector<std::string>{"rdbA", "rdbC", "rdbB"}));
}

TEST_F(ComponentTest, SetChildEnabledChangesTheChildrenAndLeavesTheContainerUsable) {
    auto* grupo = form.AddControl<TGroupBox>(nullptr, "grbImprimir");
    auto* um = form.AddControl<TCheckBox>(grupo, "chbUm");
    auto* dois = form.AddControl<TCheckBox>(grupo, "chbDois");
    auto* radio = form.AddControl<TRadioGroup>(nullptr, "rdgOrdem");
    radio->SetItems({"Código", "Alfabética"});

    SetChildEnabled(*grupo, false);
    SetChildEnabled(*radio, false);
    EXPECT_TRUE(grupo->Enabled());
    EXPECT_FALSE(um->Enabled());
    EXPECT_FALSE(dois->Enabled());
    EXPECT_FALSE(radio->ItemsEnabled());
    EXPECT_FALSE(radio->CanFocus());

    dois->SetEnabled(true);  // single controls can be enabled again afterwards
    EXPECT_TRUE(dois->CanFocus());
    EXPECT_FALSE(um->CanFocus());
    SetChildEnabled(*radio, true);
    EXPECT_TRUE(radio->CanFocus());
}

TEST_F(ComponentTest, FocusRulesForExitEventsDisabledControlsAndHiddenPages) {
    auto* primeiro = form.AddControl<TEdit>(nullptr, "edtPrimeiro");
    auto* segundo = form.AddControl<TEdit>(nullptr, "edtSegundo");
    auto* desabilitado = form.AddControl<TEdit>(nullptr, "edtDesabilitado");
    desabilitado->SetEnabled(false);
    auto* notebook = form.AddControl<TNotebook>(nullptr, "nbkPaginas");
    auto* pagina1 = notebook->AddPage("Um", 0);
    auto* pagina2 = notebook->AddPage("Dois", 0);
    auto* naPagina2 = form.AddControl<TEdit>(pagina2, "edtNaPagina2");
    form.AddControl<TEdit>(pagina1, "edtNaPagina1");
    notebook->SetActivePage("Um");

    form.FocusControl(primeiro);
    form.FocusControl(desabilitado);
    form.FocusControl(naPagina2);
    EXPECT_EQ(form.ActiveControl(), primeiro) << "disabled controls and hidden pages refuse the focus";

    // An exit handler that puts the focus back and aborts keeps the user there.
    primeiro->OnExit = [&](TObject*) {
        primeiro->SetFocus();
        throw EAbort();
    };
    EXPECT_THROW(form.FocusControl(segundo), EAbort);
    EXPECT_EQ(form.ActiveControl(), primeiro);

    // An exit handler that aborts without moving the focus lets it go on.
    primeiro->OnExit = [](TObject*) { throw EAbort(); };
    EXPECT_THROW(form.FocusControl(segundo), EAbort);
    EXPECT_EQ(form.ActiveControl(), segundo);

    notebook->SetActivePage("Dois");
    form.FocusControl(naPagina2);
    EXPECT_EQ(form.ActiveControl(), naPagina2);
}

TEST_F(ComponentTest, TabFollowsTabOrderAndSkipsWhatCannotTakeTheFocus) {
    auto* grupo = form.AddControl<TGroupBox>(nullptr, "grb");
    grupo->SetTabOrder(0);
    auto* c = form.AddControl<TEdit>(grupo, "edtC");
    c->SetTabOrder(2);
    auto* a = form.AddControl<TEdit>(grupo, "edtA");
    a->SetTabOrder(0);
    auto* b = form.AddControl<TEdit>(grupo, "edtB");
    b->SetTabOrder(1);
    b->SetEnabled(false);
    auto* depois = form.AddControl<TEdit>(nullptr, "edtDepois");
    depois->SetTabOrder(1);

    form.FocusControl(a);
    form.SelectNext();
    EXPECT_EQ(form.ActiveControl(), c);
    form.SelectNext();
    EXPECT_EQ(form.ActiveControl(), depois);
    form.SelectNext();
    EXPECT_EQ(form.ActiveControl(), a) << "containers are passed by: the tab goes round to the first field";
}

class FailingForm : public TForm {
public:
    FailingForm() : TForm("frmFalha") {
        OnCreate = [](TObject*) { throw EHostError("falha na criação"); };
    }
};

TEST_F(ComponentTest, ApplicationDestroysAFormWhoseCreationFailsAndReleasesClosedForms) {
    EXPECT_THROW(Application().CreateForm<FailingForm>(), EHostError);
    EXPECT_TRUE(Application().Forms().empty());

    auto* f = Application().CreateForm<TForm>("frmAberto");
    f->OnClose = [](TObject*, TCloseAction& a) { a = TCloseAction::caFree; };
    f->Close();
    EXPECT_TRUE(f->IsClosed());
    EXPECT_TRUE(Application().Owns(f)) << "released only when the event that closed it is over";
    Application().ProcessReleases();
    EXPECT_TRUE(Application().Forms().empty());
}

}  // namespace
