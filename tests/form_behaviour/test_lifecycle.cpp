// Creation, activation and closing of the form: the central kitchen of the
// host's branch, the dish-code picture, the host module's rule on every
// activation, the cost types from the application server, and what a later
// activation leaves alone.

#include <gtest/gtest.h>

#include "Behaviour.h"

using namespace behaviour;

namespace {

const char* kCentralControls = "dump medCdCentral edtNmCentral rdbTipo lblCdTipo medCdTpCard btpTpCard\n";

TEST(Lifecycle, CentralKitchenOfTheHostBranch) {
    struct Case {
        const char* branch;
        const char* central;
        const char* centralName;
        bool menuTypeUsable;
    } cases[] = {
        // itself a central kitchen
        {"0001", "0001", "Central de Merenda Norte", true},
        {"0008", "0008", "Central de Merenda Sul", true},
        // schools of a central kitchen
        {"0002", "0001", "Central de Merenda Norte", true},
        {"0009", "0008", "Central de Merenda Sul", true},
        // no central kitchen
        {"0006", "", "", false},
        // a branch the database does not hold: no central kitchen, no message
        {"0099", "", "", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.branch);
        FormHarness h(hostOptions(c.branch, '8'));
        auto r = runOk(h, std::string("launch\n") + kCentralControls + "dump edtNmFilial\n");
        EXPECT_TRUE(messages(r).empty()) << ::testing::PrintToString(r.lines);
        EXPECT_EQ(text(r, "medCdCentral"), c.central);
        EXPECT_EQ(text(r, "edtNmCentral"), c.centralName);
        EXPECT_EQ(enabled(r, "medCdTpCard"), c.menuTypeUsable);
        EXPECT_EQ(enabled(r, "lblCdTipo"), c.menuTypeUsable);
        EXPECT_EQ(enabled(r, "btpTpCard"), c.menuTypeUsable);
        EXPECT_EQ(control(r, "medCdTpCard")["Color"], c.menuTypeUsable ? "clInfoBk" : "clBtnFace");
        // rdbTipo is never enabled by the module; without a central kitchen
        // it is disabled explicitly (and stays so).
        EXPECT_FALSE(enabled(r, "rdbTipo"));
        if (std::string(c.branch) == "0099") {
            EXPECT_EQ(text(r, "edtNmFilial"), "");
        }
    }
}

TEST(Lifecycle, MenuTypeOfAKitchenBranchIsUsableOnTheTipoCardPage) {
    FormHarness h(hostOptions("0001", '8'));
    auto r = runOk(h, "launch\nreport 7\ntype medCdTpCard 1\ntab\ndump medCdTpCard edtNmTpCard nbkFiltroFili\n");
    EXPECT_EQ(control(r, "nbkFiltroFili")["ActivePage"], "TipoCard");
    EXPECT_EQ(text(r, "medCdTpCard"), "0000000001");
    EXPECT_EQ(text(r, "edtNmTpCard"), "Cardápio padrão do ensino fundamental");
}

TEST(Lifecycle, ModalLaunchTakesTheCentralFromTheHostAndTheBranchFromTheCall) {
    struct Case {
        const char* host;
        const char* launched;
        const char* central;
        bool menuTypeUsable;
        const char* branchName;
    } cases[] = {
        {"0001", "0006", "0001", true, "Restaurante Industrial Açu"},
        {"0006", "0002", "", false, "Escola Municipal São João"},
        {"0009", "0003", "0008", true, "Escola Estadual Conceição"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.host) + " launching " + c.launched);
        FormHarness h(hostOptions(c.host, '8'));
        auto r = runOk(h, std::string("launch-branch ") + c.launched + "\n" + kCentralControls +
                              "dump medCdFilial edtNmFilial\ndump-form\nclose\n");
        EXPECT_EQ(formState(r)["Presentation"], "modal");
        EXPECT_EQ(formState(r)["FCdFilial"], c.launched);
        EXPECT_EQ(text(r, "medCdCentral"), c.central);
        EXPECT_EQ(enabled(r, "medCdTpCard"), c.menuTypeUsable);
        EXPECT_EQ(text(r, "medCdFilial"), c.launched);
        EXPECT_EQ(text(r, "edtNmFilial"), c.branchName);
    }
}

TEST(Lifecycle, LevelRangeFollowsTheDishCodePicture) {
    struct Case {
        std::vector<int> lengths;  // accumulated length of each level
        int maxLevel;
    } cases[] = {
        {{1}, 1},
        {{1, 2}, 0},
        {{1, 2, 5}, 1},
        {{1, 2, 4, 6, 8}, 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.lengths));
        pla013test::TempDir dir;
        std::vector<std::string> sql{"DELETE FROM CODEPICTURE WHERE TPPICT = 'PRATO'"};
        for (std::size_t i = 0; i < c.lengths.size(); ++i)
            sql.push_back("INSERT INTO CODEPICTURE (TPPICT, NRNIVEL, NRTAMACUM) VALUES ('PRATO', " +
                          std::to_string(i + 1) + ", " + std::to_string(c.lengths[i]) + ")");
        auto options = hostOptions();
        options.db = changedSampleDatabase(dir, sql);
        FormHarness h(options);
        auto r = runOk(h, "launch\ndump speNivel medCdPratoIni medCdPratoFin\n");
        EXPECT_EQ(control(r, "speNivel")["MaxValue"], c.maxLevel);
        EXPECT_EQ(control(r, "speNivel")["Value"], 0);
        // Both dish edits and the dish query's code field carry the picture's mask.
        const std::string mask = std::string(std::size_t(c.lengths.back()), 'a') + ";0; ";
        EXPECT_EQ(control(r, "medCdPratoIni")["EditMask"], mask);
        EXPECT_EQ(control(r, "medCdPratoFin")["EditMask"], mask);
        ASSERT_NE(h.form(), nullptr);
        EXPECT_EQ(h.form()->qryPratoCDPRATO->EditMask, mask);
    }
}

TEST(Lifecycle, HostModuleDecidesTheMenuTypeButtonOnEveryActivation) {
    struct Case {
        char module;
        bool tipoVisible;
        int localLeft;
    } cases[] = {{'8', true, 245}, {'L', true, 245}, {'P', false, 185}, {'3', false, 185}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(1, c.module));
        FormHarness h(hostOptions("0001", c.module));
        auto r = runOk(h, "launch\ndump rdbTipo rdbLocal\n");
        EXPECT_EQ(control(r, "rdbTipo")["Visible"], c.tipoVisible);
        EXPECT_EQ(control(r, "rdbLocal")["Left"], c.localLeft);
        // A later activation applies the rule again, whatever the report did.
        ASSERT_NE(h.form(), nullptr);
        h.form()->rdbTipo->SetVisible(!c.tipoVisible);
        h.form()->rdbLocal->SetLeft(300);
        r = runOk(h, "activate\ndump rdbTipo rdbLocal\n");
        EXPECT_EQ(control(r, "rdbTipo")["Visible"], c.tipoVisible);
        EXPECT_EQ(control(r, "rdbLocal")["Left"], c.tipoVisible ? 300 : 185) << "only a hidden rdbTipo moves rdbLocal";
    }
}

TEST(Lifecycle, CostTypesComeFromTheServerWithTheFirstChosen) {
    FormHarness h;
    auto r = runOk(h, "launch\nreport 2\ndump cbbTipoCust\n");
    json cbb = control(r, "cbbTipoCust");
    EXPECT_EQ(cbb["Items"], json::array({"Custo médio", "Último custo", "Custo padrão"}));
    EXPECT_EQ(cbb["ItemIndex"], 0);
    EXPECT_EQ(cbb["Text"], "Custo médio");
    EXPECT_EQ(h.ui().cursor(), pla013::host::Cursor::Default);
}

TEST(Lifecycle, FirstActivationEndsOnTheReportListWithTheFirstReportLaidOut) {
    FormHarness h;
    auto r = runOk(h, "launch\ndump-form\ndump edtDataInic edtDataFina medCdFilial edtNmFilial\n");
    EXPECT_EQ(focusMoves(r), std::vector<std::string>{"focus: cbbReportNames"});
    EXPECT_TRUE(messages(r).empty());
    json f = formState(r);
    EXPECT_EQ(f["FArqRelat"], "PLA01301.QR2");
    EXPECT_EQ(f["ActiveControl"], "cbbReportNames");
    EXPECT_EQ(text(r, "medCdFilial"), "0001");
    EXPECT_EQ(text(r, "edtNmFilial"), "Central de Merenda Norte");
    // Both dates empty: no weekday on show.
    EXPECT_EQ(text(r, "edtDataInic"), "");
    EXPECT_EQ(text(r, "edtDataFina"), "");
}

TEST(Lifecycle, LaterActivationKeepsWhatTheUserLeft) {
    FormHarness h(hostOptions("0001", '8'));
    runOk(h,
          "launch\n"
          "report 1\n"
          "click rdbLocal\n"
          "type medCdFilial 0002\n"
          "tab\n"
          "select rdgDadosOperador 1\n"
          "type speNivel 1\n"
          "report 2\n"
          "select cbbTipoCust 2\n"
          "focus medCdPratoIni\n");
    // A cost type added on the server after the first activation: a reload
    // would show it.
    h.session().database().execute("INSERT INTO TIPOCUSTO (NRTIPOCUST, NMTIPOCUST) VALUES (9, 'Custo novo')");
    auto before = runOk(h, "dump\ndump-form\n");
    auto r = runOk(h, "activate\ndump\ndump-form\n");
    EXPECT_TRUE(events(r).empty()) << "no focus move, message or dialog: " << ::testing::PrintToString(r.lines);
    for (const char* name : {"cbbReportNames", "cbbTipoCust", "medCdFilial", "edtNmFilial", "rdbPadrao", "rdbLocal",
                             "rdbServico", "grbTipoCust", "cbbTipoCust", "speNivel", "rdgDadosOperador", "chbProduto",
                             "chbNutriente", "nbkFiltroFili", "medCdPratoIni", "depDataInic"}) {
        EXPECT_EQ(control(r, name), control(before, name)) << name;
    }
    EXPECT_EQ(control(r, "cbbTipoCust")["ItemIndex"], 2);
    EXPECT_EQ(control(r, "cbbTipoCust")["Items"].size(), 3u);
    EXPECT_EQ(text(r, "medCdFilial"), "0002") << "not reset to the form's branch";
    EXPECT_EQ(formState(r), formState(before));
}

// The two server connections do not raise: a server out of reach when the
// form opens is logged, and the rest of the first activation runs, so that
// the form is laid out as with the server up and the reports that need no
// server run (those that do connect again when they run).
TEST(Lifecycle, AServerOutOfReachAtFirstActivationLeavesTheFormSetUp) {
    const std::string dump = "dump grbData grbImprimir speNivel rdgDadosOperador cbbReportNames\n";
    FormHarness up;
    auto expected = runOk(up, "launch\ndump-form\n" + dump);
    auto options = hostOptions();
    options.server = "127.0.0.1:1";  // nothing listens there
    FormHarness h(options);
    auto r = runOk(h, "launch\ndump-form\ndump cbbTipoCust\n" + dump);
    EXPECT_TRUE(messages(r).empty()) << ::testing::PrintToString(r.lines);
    EXPECT_NE(r.err.find("netCustProd: Servidor de aplicação em 127.0.0.1:1"), std::string::npos) << r.err;
    EXPECT_EQ(h.ui().cursor(), pla013::host::Cursor::Default);
    EXPECT_EQ(formState(r), formState(expected));
    for (const char* name : {"grbData", "grbImprimir", "speNivel", "rdgDadosOperador", "cbbReportNames"})
        EXPECT_EQ(control(r, name), control(expected, name)) << name;
    EXPECT_EQ(control(r, "cbbTipoCust")["Items"], json::array());
    EXPECT_FALSE(h.form()->netEmissaoReceita->Connected());

    const std::string file = (h.dir() / "pratos.csv").string();
    r = runOk(h, "type medCdPratoIni 1\ntype medCdPratoFin 9\nsave " + file + "\n");
    const auto reports = pla013test::withPrefix(r.lines, "report: ");
    ASSERT_EQ(reports.size(), 1u) << ::testing::PrintToString(r.lines);
    EXPECT_EQ(reports[0].rfind("report: file " + file + " ", 0), 0u) << reports[0];
    // The first-activation work is not repeated on a later activation.
    r = runOk(h, "activate\n");
    EXPECT_TRUE(events(r).empty()) << ::testing::PrintToString(r.lines);
}

TEST(Lifecycle, CloseEndsTheFormAndTheNextLaunchBuildsANewOne) {
    FormHarness h;
    auto r = runOk(h, "launch\nreport 3\nclose\ndump-form\nlaunch\ndump-form\n");
    auto forms = pla013test::withPrefix(r.lines, "{");
    ASSERT_EQ(forms.size(), 2u);
    EXPECT_EQ(json::parse(forms[0]), json::parse("{\"FormCriado\":false}"));
    EXPECT_EQ(json::parse(forms[1])["FArqRelat"], "PLA01301.QR2") << "a new form starts at the first report";
}

}  // namespace
