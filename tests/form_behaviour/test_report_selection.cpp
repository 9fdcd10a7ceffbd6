// Choosing a report: the page, the recipe-origin buttons and the option
// groups after each of the ten reports, in host modules "8", "L" and another,
// with and without single-branch mode, and for reports chosen one after the
// other (what a report leaves unchanged stays as the previous one set it).
// Then the origin buttons' and the ordering's own handlers.

#include <gtest/gtest.h>

#include <map>
#include <optional>

#include "Behaviour.h"

using namespace behaviour;

namespace {

// ------------------------------------------------------------------ the tables

enum class Origin {
    Padrao,           // rdbPadrao checked (the others unchecked)
    Local,            // rdbLocal checked
    Servico,          // rdbServico checked
    Tipo,             // rdbTipo checked
    None,             // no origin button checked (single-branch mode: rdbPadrao)
    PadraoUnchecked,  // rdbPadrao unchecked, the others unchanged
};

enum class Fields {
    Unchanged,
    AllDisabled,       // as the origin handler sets them for "Padrão"
    Branch,            // branch enabled unless single-branch; service disabled
    BranchAndService,  // branch enabled unless single-branch; service enabled
};

enum class Lists { None, Branches, BranchesAndServices };

using Opt = std::optional<bool>;  // nullopt: unchanged
const Opt On = true, Off = false, Same = std::nullopt;

struct Row {
    const char* page;  // nullptr: "TipoCard" in modules 8 and L, else "Padrão"
    bool originEnabled;
    Origin origin;
    Fields fields;
    Opt imprimir, nutriente, produto, tipoCust, nivel, ordenacao, data;
    bool dateEditsEnabled;  // the two date edits alone, whatever the group
    Lists lists;
};

// Positions 0 to 9: codes 01 to 09 and 0A; position 7 is the menu-type report
// "PLA01308.QR2" and position 9 is "PLA0130A.QR2" (the rows of "any other
// position" with the changes that report makes).
const Row kRows[10] = {
    /*0*/ {"Padrão", false, Origin::Padrao, Fields::AllDisabled, Off, Off, Off, Off, On, On, Off, false, Lists::None},
    /*1*/ {"Padrão", true, Origin::Padrao, Fields::AllDisabled, On, On, On, Off, On, On, Off, false, Lists::None},
    /*2*/ {"Padrão", false, Origin::Local, Fields::Branch, Off, Off, Off, On, Off, Off, Off, false, Lists::None},
    /*3*/
    {"Padrão", false, Origin::Servico, Fields::BranchAndService, Off, Off, Off, On, Off, Off, Off, false, Lists::None},
    /*4*/
    {"ListaFilial", false, Origin::PadraoUnchecked, Fields::Unchanged, Off, Off, Off, On, Off, Off, Off, false,
     Lists::Branches},
    /*5*/
    {"ListaFilial", false, Origin::PadraoUnchecked, Fields::Unchanged, Off, Off, Off, Off, Off, Off, On, false,
     Lists::Branches},
    /*6*/ {"Padrão", false, Origin::None, Fields::Branch, Off, Off, Off, Off, Off, Off, Off, false, Lists::None},
    /*7*/ {nullptr, false, Origin::Tipo, Fields::Unchanged, On, Off, On, Same, On, On, Same, false, Lists::None},
    /*8*/
    {"ListaFilialEServico", false, Origin::PadraoUnchecked, Fields::Unchanged, On, Off, On, Off, On, On, Off, true,
     Lists::BranchesAndServices},
    /*9*/ {"Padrão", true, Origin::Padrao, Fields::Unchanged, Off, Off, On, Off, Off, On, Off, false, Lists::None},
};

const char* kOrigins[] = {"rdbPadrao", "rdbTipo", "rdbLocal", "rdbServico"};

// What the screen should show, kept up to date report by report.
struct Expected {
    char module = 'P';
    bool mf = false;
    std::string page = "Padrão";
    std::map<std::string, bool> enabled;
    std::map<std::string, bool> checked;
    std::string listaFilial;

    void set(std::initializer_list<const char*> names, bool on) {
        for (const char* n : names) enabled[n] = on;
    }
    // The origin handler's rule for the branch and service fields.
    void originClick() {
        bool branch = (checked["rdbLocal"] || checked["rdbServico"]) && !mf;
        set({"lblCdFilial", "medCdFilial", "btnFilial"}, branch);
        set({"lblCdServico", "medCdServFili", "btnServico"}, checked["rdbServico"]);
    }
    // Checking an option from code unchecks its siblings and runs its click
    // handler, unless it was checked already.
    void checkOrigin(const std::string& name) {
        if (checked[name]) return;
        for (const char* o : kOrigins) checked[o] = false;
        checked[name] = true;
        if (name != "rdbTipo") originClick();
    }
    void apply(int p) {
        const Row& row = kRows[p];
        page = row.page ? row.page : (module == '8' || module == 'L') ? "TipoCard" : "Padrão";
        set({"rdbPadrao", "rdbLocal", "rdbServico"}, row.originEnabled);
        switch (row.origin) {
            case Origin::Padrao: checkOrigin("rdbPadrao"); break;
            case Origin::Local: checkOrigin("rdbLocal"); break;
            case Origin::Servico: checkOrigin("rdbServico"); break;
            case Origin::Tipo: checkOrigin("rdbTipo"); break;
            case Origin::None:
                if (mf) {
                    checkOrigin("rdbPadrao");
                } else {
                    for (const char* o : kOrigins) checked[o] = false;
                }
                break;
            case Origin::PadraoUnchecked: checked["rdbPadrao"] = false; break;
        }
        switch (row.fields) {
            case Fields::Unchanged: break;
            case Fields::AllDisabled:
                set({"lblCdFilial", "medCdFilial", "btnFilial", "lblCdServico", "medCdServFili", "btnServico"}, false);
                break;
            case Fields::Branch:
            case Fields::BranchAndService:
                set({"lblCdFilial", "medCdFilial", "btnFilial"}, !mf);
                set({"lblCdServico", "medCdServFili", "btnServico"}, row.fields == Fields::BranchAndService);
                break;
        }
        auto opt = [this](const Opt& v, std::initializer_list<const char*> names) {
            if (v) set(names, *v);
        };
        opt(row.imprimir, {"chbProduto", "chbModPrep", "chbFoto"});
        opt(row.nutriente, {"chbNutriente"});
        if (row.produto) checked["chbProduto"] = *row.produto;
        opt(row.tipoCust, {"Label1", "cbbTipoCust"});
        opt(row.nivel, {"speNivel"});
        opt(row.ordenacao, {"rdgDadosOperador"});
        opt(row.data, {"lblDataInic", "depDataInic", "lblDataFina", "depDataFina"});
        if (row.dateEditsEnabled) set({"depDataInic", "depDataFina"}, true);
        if (row.lists == Lists::Branches) lists("rbtTodaFili", "rbtListFili", "btnFilialCent");
        if (row.lists == Lists::BranchesAndServices) {
            lists("rbtFilialTodas", "rbtFilialLista", "btnFili");
            checked["rdbServicoTodos"] = true;
            checked["rdbServicoLista"] = false;
            set({"rdbServicoTodos", "rdbServicoLista"}, true);
            set({"btnServicoLista"}, false);
        }
    }
    // Not single-branch: "Todas" checked (which empties the list when it
    // becomes checked), both buttons usable, the dialog button not. Single
    // branch: "Lista" checked and locked, the list is the form's branch.
    void lists(const char* all, const char* list, const char* button) {
        if (!mf && !checked[all]) listaFilial.clear();
        checked[all] = !mf;
        checked[list] = mf;
        set({all, list}, !mf);
        set({button}, false);
        if (mf) listaFilial = "0001";
    }
};

Expected designState(char module, bool mf) {
    Expected e;
    e.module = module;
    e.mf = mf;
    for (const char* o : kOrigins) e.checked[o] = false;
    e.checked["rdbPadrao"] = true;
    e.set({"rbtTodaFili", "rbtListFili", "rbtFilialTodas", "rbtFilialLista", "rdbServicoTodos", "rdbServicoLista"},
          true);
    e.set({"btnFilialCent", "btnFili", "btnServicoLista"}, false);
    e.checked["rbtTodaFili"] = e.checked["rbtFilialTodas"] = e.checked["rdbServicoTodos"] = true;
    e.checked["rbtListFili"] = e.checked["rbtFilialLista"] = e.checked["rdbServicoLista"] = false;
    e.originClick();
    e.apply(0);  // the first activation lays out the report at position 0
    return e;
}

const char* kDumped =
    "dump nbkFiltroFili rdbPadrao rdbTipo rdbLocal rdbServico lblCdFilial medCdFilial btnFilial lblCdServico "
    "medCdServFili btnServico chbProduto chbModPrep chbFoto chbNutriente Label1 cbbTipoCust speNivel "
    "rdgDadosOperador lblDataInic depDataInic lblDataFina depDataFina rbtTodaFili rbtListFili btnFilialCent "
    "rbtFilialTodas rbtFilialLista btnFili rdbServicoTodos rdbServicoLista btnServicoLista\n"
    "dump-form\n";

void compare(const Expected& e, const FormHarness::Result& r) {
    EXPECT_EQ(control(r, "nbkFiltroFili")["ActivePage"], e.page);
    const bool tipoVisible = e.module == '8' || e.module == 'L';
    EXPECT_EQ(control(r, "rdbTipo")["Visible"], tipoVisible);
    EXPECT_EQ(control(r, "rdbTipo")["Enabled"], false) << "rdbTipo is never enabled";
    for (const auto& [name, on] : e.enabled) EXPECT_EQ(control(r, name)["Enabled"], on) << name << ".Enabled";
    for (const auto& [name, on] : e.checked) EXPECT_EQ(control(r, name)["Checked"], on) << name << ".Checked";
    EXPECT_EQ(formState(r)["FListaFilial"], e.listaFilial);
}

std::string fileOf(int p) {
    static const char* codes[] = {"01", "02", "03", "04", "05", "06", "07", "08", "09", "0A"};
    return std::string("PLA013") + codes[p] + ".QR2";
}

TEST(ReportSelection, EveryPositionInEveryModuleWithAndWithoutSingleBranch) {
    const std::vector<std::vector<int>> orders = {
        {0, 1, 2, 3, 4, 5, 6, 7, 8, 9},
        {3, 2, 4, 6, 1, 7, 5, 8, 9, 0},
        {9, 6, 0, 2, 8, 3, 7, 1, 4, 5},
        {5, 7, 2, 7, 6, 4, 9, 8, 1, 3},
    };
    for (char module : {'8', 'L', 'P'}) {
        for (bool mf : {false, true}) {
            for (const auto& order : orders) {
                FormHarness h(hostOptions("0001", module, mf));
                Expected e = designState(module, mf);
                {
                    SCOPED_TRACE(std::string("after launch, module ") + module + (mf ? ", single branch" : ""));
                    compare(e, runOk(h, std::string("launch\n") + kDumped));
                }
                int previous = 0;
                for (int p : order) {
                    SCOPED_TRACE(std::string("module ") + module + (mf ? ", single branch" : "") + ": position " +
                                 std::to_string(p) + " after " + std::to_string(previous));
                    auto r = runOk(h, "report " + std::to_string(p) + "\n" + kDumped);
                    if (p != previous) e.apply(p);
                    compare(e, r);
                    EXPECT_EQ(formState(r)["FArqRelat"], fileOf(p));
                    EXPECT_TRUE(messages(r).empty()) << ::testing::PrintToString(r.lines);
                    previous = p;
                    if (::testing::Test::HasFailure()) return;  // one broken walk is enough to read
                }
            }
        }
    }
}

// ------------------------------------------------------------------ the listed cases, one by one

TEST(ReportSelection, MenuTypeReportInAnotherModuleShowsPadraoWithTipoHiddenButChecked) {
    FormHarness h(hostOptions("0001", 'P'));
    auto r = runOk(h, "launch\nreport 3\nreport 7\ndump nbkFiltroFili rdbTipo rdbPadrao rdbLocal rdbServico\n");
    EXPECT_EQ(control(r, "nbkFiltroFili")["ActivePage"], "Padrão");
    EXPECT_EQ(control(r, "rdbTipo")["Visible"], false);
    EXPECT_EQ(control(r, "rdbTipo")["Checked"], true);
    for (const char* o : {"rdbPadrao", "rdbLocal", "rdbServico"}) {
        EXPECT_FALSE(enabled(r, o)) << o;
        EXPECT_FALSE(checked(r, o)) << o;
    }
}

TEST(ReportSelection, TipoCardPageOnlyForTheMenuTypeReport) {
    for (char module : {'8', 'L'}) {
        FormHarness h(hostOptions("0001", module));
        auto r = runOk(h, "launch\nreport 7\ndump nbkFiltroFili\nreport 0\ndump nbkFiltroFili\n");
        auto pages = pla013test::withPrefix(r.lines, "{\"Name\":\"nbkFiltroFili\"");
        ASSERT_EQ(pages.size(), 2u);
        EXPECT_EQ(json::parse(pages[0])["ActivePage"], "TipoCard") << module;
        EXPECT_EQ(json::parse(pages[1])["ActivePage"], "Padrão") << module;
    }
}

TEST(ReportSelection, LocalAfterPerServiceSwapsTheFields) {
    for (bool mf : {false, true}) {
        SCOPED_TRACE(mf ? "single branch" : "all branches");
        FormHarness h(hostOptions("0001", 'P', mf));
        auto r =
            runOk(h, "launch\nreport 3\nreport 2\ndump rdbLocal rdbServico medCdFilial medCdServFili btnServico\n");
        EXPECT_TRUE(checked(r, "rdbLocal"));
        EXPECT_FALSE(checked(r, "rdbServico"));
        EXPECT_FALSE(enabled(r, "medCdServFili"));
        EXPECT_FALSE(enabled(r, "btnServico"));
        EXPECT_EQ(enabled(r, "medCdFilial"), !mf);
    }
}

TEST(ReportSelection, BranchListReportKeepsTheLocalOriginCheckedButLocked) {
    FormHarness h;
    auto r = runOk(h, "launch\nreport 2\nreport 4\ndump nbkFiltroFili rdbLocal rdbPadrao\n");
    EXPECT_EQ(control(r, "nbkFiltroFili")["ActivePage"], "ListaFilial");
    EXPECT_TRUE(checked(r, "rdbLocal"));
    EXPECT_FALSE(enabled(r, "rdbLocal"));
    EXPECT_FALSE(checked(r, "rdbPadrao"));
}

TEST(ReportSelection, PositionSixOffersOnlyTheBranchUnlessSingleBranch) {
    FormHarness all;
    auto r = runOk(all, "launch\nreport 6\ndump rdbPadrao rdbTipo rdbLocal rdbServico medCdFilial medCdServFili\n");
    for (const char* o : kOrigins) EXPECT_FALSE(checked(r, o)) << o;
    EXPECT_TRUE(enabled(r, "medCdFilial"));
    EXPECT_FALSE(enabled(r, "medCdServFili"));

    FormHarness one(hostOptions("0001", 'P', true));
    r = runOk(one, "launch\nreport 6\ndump rdbPadrao medCdFilial medCdServFili\n");
    EXPECT_TRUE(checked(r, "rdbPadrao"));
    EXPECT_FALSE(enabled(r, "medCdFilial"));
    EXPECT_FALSE(enabled(r, "medCdServFili"));
}

TEST(ReportSelection, PositionEightPrintOptionsAndDates) {
    FormHarness h;
    auto r = runOk(h,
                   "launch\nreport 8\ndump chbNutriente chbProduto chbModPrep chbFoto depDataInic depDataFina "
                   "lblDataInic lblDataFina\n");
    EXPECT_FALSE(enabled(r, "chbNutriente"));
    EXPECT_TRUE(enabled(r, "chbProduto"));
    EXPECT_TRUE(enabled(r, "chbModPrep"));
    EXPECT_TRUE(enabled(r, "chbFoto"));
    EXPECT_TRUE(checked(r, "chbProduto"));
    EXPECT_TRUE(enabled(r, "depDataInic"));
    EXPECT_TRUE(enabled(r, "depDataFina"));
    EXPECT_FALSE(enabled(r, "lblDataInic"));
    EXPECT_FALSE(enabled(r, "lblDataFina"));
    // The date edits really take input.
    r = runOk(h, "type depDataInic 01/07/2024\ndump depDataInic\n");
    EXPECT_EQ(text(r, "depDataInic"), "01/07/2024");
}

TEST(ReportSelection, SingleBranchLocksTheBranchListToTheFormsBranch) {
    struct Case {
        int position;
        const char* all;
        const char* list;
        const char* button;
    } cases[] = {{4, "rbtTodaFili", "rbtListFili", "btnFilialCent"},
                 {5, "rbtTodaFili", "rbtListFili", "btnFilialCent"},
                 {8, "rbtFilialTodas", "rbtFilialLista", "btnFili"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.position);
        // A modal launch for another branch: the list is the form's branch.
        FormHarness h(hostOptions("0001", 'P', true));
        auto r =
            runOk(h, "launch-branch 0003\nreport " + std::to_string(c.position) + "\ndump " + c.all + " " + c.list +
                         " " + c.button + "\ndump-form\nclick " + c.all + "\ndump " + c.list + "\ndump-form\nclose\n");
        EXPECT_TRUE(checked(r, c.list));
        EXPECT_FALSE(enabled(r, c.list));
        EXPECT_FALSE(checked(r, c.all));
        EXPECT_FALSE(enabled(r, c.all));
        EXPECT_FALSE(enabled(r, c.button));
        EXPECT_EQ(formState(r)["FListaFilial"], "0003");
    }
}

TEST(ReportSelection, ReportZeroAOpensTheOriginChoiceAndKeepsTheLevelRule) {
    FormHarness h;
    auto r = runOk(h,
                   "launch\nreport 2\nreport 9\ndump rdbPadrao rdbLocal rdbServico chbProduto rdgDadosOperador "
                   "speNivel medCdFilial\ndump-form\n");
    EXPECT_EQ(formState(r)["FArqRelat"], "PLA0130A.QR2");
    for (const char* o : {"rdbPadrao", "rdbLocal", "rdbServico"}) EXPECT_TRUE(enabled(r, o)) << o;
    EXPECT_TRUE(checked(r, "rdbPadrao"));
    EXPECT_FALSE(checked(r, "rdbLocal"));
    EXPECT_FALSE(enabled(r, "medCdFilial")) << "rdbPadrao's click ran";
    EXPECT_TRUE(checked(r, "chbProduto"));
    EXPECT_TRUE(enabled(r, "rdgDadosOperador"));
    EXPECT_FALSE(enabled(r, "speNivel")) << "position 9 is not 0 or 1";
    // The user may pick another origin there.
    r = runOk(h, "click rdbServico\ndump medCdFilial medCdServFili\n");
    EXPECT_TRUE(enabled(r, "medCdFilial"));
    EXPECT_TRUE(enabled(r, "medCdServFili"));
}

// ------------------------------------------------------------------ rdbPadraoClick

TEST(ReportSelection, OriginButtonsOfferTheBranchAndServiceFields) {
    struct Case {
        const char* origin;
        bool mf;
        bool branch;
        bool service;
    } cases[] = {
        {"rdbLocal", false, true, false}, {"rdbServico", false, true, true}, {"rdbPadrao", false, false, false},
        {"rdbLocal", true, false, false}, {"rdbServico", true, false, true}, {"rdbPadrao", true, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.origin) + (c.mf ? ", single branch" : ""));
        FormHarness h(hostOptions("0001", 'P', c.mf));
        // Position 1 lets the user choose the origin; start from "Por Serviço"
        // with codes typed, so that every click changes something.
        runOk(h, "launch\nreport 1\n" + std::string(c.mf ? "" : "click rdbLocal\ntype medCdFilial 0002\ntab\n") +
                     "click rdbServico\ntype medCdServFili 00001\ntab\n");
        const bool again = c.origin == std::string("rdbServico");
        auto r = runOk(h, std::string(again ? "click rdbPadrao\n" : "") + "click " + c.origin +
                              "\ndump lblCdFilial medCdFilial btnFilial lblCdServico medCdServFili btnServico "
                              "edtNmFilial edtNmServico\n");
        for (const char* n : {"lblCdFilial", "medCdFilial", "btnFilial"}) EXPECT_EQ(enabled(r, n), c.branch) << n;
        for (const char* n : {"lblCdServico", "medCdServFili", "btnServico"}) EXPECT_EQ(enabled(r, n), c.service) << n;
        // No text changes: codes stay in the disabled fields.
        EXPECT_EQ(text(r, "medCdFilial"), c.mf ? "0001" : "0002");
        EXPECT_EQ(text(r, "medCdServFili"), "00001");
        EXPECT_FALSE(text(r, "edtNmFilial").empty());
        EXPECT_FALSE(text(r, "edtNmServico").empty());
    }
}

// ------------------------------------------------------------------ rdgDadosOperadorClick

TEST(ReportSelection, OrderingResetsTheLevelAndOffersItOnlyAlphabetically) {
    FormHarness h;
    // Position 0 enables the level although "Código" is chosen.
    auto r = runOk(h, "launch\ntype speNivel 1\ndump speNivel\n");
    ASSERT_EQ(control(r, "speNivel")["Value"], 1);
    r = runOk(h, "select rdgDadosOperador 1\ndump speNivel\n");
    EXPECT_TRUE(enabled(r, "speNivel"));
    EXPECT_EQ(control(r, "speNivel")["Value"], 0);
    r = runOk(h, "type speNivel 1\nselect rdgDadosOperador 0\ndump speNivel\n");
    EXPECT_FALSE(enabled(r, "speNivel"));
    EXPECT_EQ(control(r, "speNivel")["Value"], 0);
    EXPECT_EQ(text(r, "speNivel"), "0");
}

TEST(ReportSelection, ReportChoiceMayEnableTheLevelUnderCodeOrdering) {
    FormHarness h;
    auto r = runOk(h, "launch\nreport 1\ndump speNivel rdgDadosOperador\n");
    EXPECT_EQ(control(r, "rdgDadosOperador")["ItemIndex"], 0);
    EXPECT_TRUE(enabled(r, "speNivel"));
}

}  // namespace
