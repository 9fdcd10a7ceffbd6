// The menu type of the central kitchen, for the menu-type report only
// (position 7, "PLA01308.QR2").

#include <gtest/gtest.h>

#include "Behaviour.h"

using namespace behaviour;

namespace {

using Lines = std::vector<std::string>;

const char* kMenuTypeReport = "launch\nreport 7\n";

TEST(MenuType, TypedCodeIsAdjustedAndLookedUpInTheKitchenOfTheHostBranch) {
    struct Case {
        const char* hostBranch;
        const char* typed;
        const char* code;
        const char* name;  // empty: not registered in that kitchen
    } cases[] = {
        {"0001", "1", "0000000001", "Cardápio padrão do ensino fundamental"},
        {"0001", "10", "0000000010", "Cardápio de período integral"},
        {"0002", "0000000003", "0000000003", "Cardápio especial sem glúten e sem lactose"},
        {"0009", "1", "0000000001", "Cardápio padrão da região sul"},
        {"0009", "5", "0000000005", "Cardápio noturno (educação de jovens)"},
        {"0009", "2", "0000000002", ""},  // a menu type of the other kitchen
        {"0001", "99", "0000000099", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.hostBranch) + "/" + c.typed);
        FormHarness h(hostOptions(c.hostBranch, '8'));
        runOk(h, std::string(kMenuTypeReport) + "type medCdTpCard " + c.typed + "\n");
        auto r = runOk(h, "tab\ndump medCdTpCard edtNmTpCard\ndump-form\n");
        EXPECT_EQ(text(r, "medCdTpCard"), c.code) << "adjusted to width 10, also when refused";
        EXPECT_EQ(text(r, "edtNmTpCard"), c.name);
        // Refused or not, the user moves on: the focus is not held.
        EXPECT_NE(formState(r)["ActiveControl"], "medCdTpCard");
        if (*c.name) {
            EXPECT_TRUE(messages(r).empty()) << ::testing::PrintToString(r.lines);
        } else {
            EXPECT_EQ(messages(r), Lines{"message: Tipo de cardápio não cadastrado."});
            EXPECT_TRUE(aborted(r));
            for (const auto& f : focusMoves(r)) EXPECT_NE(f, "focus: medCdTpCard");
        }
    }
}

TEST(MenuType, EmptyCodeOnExitIsAccepted) {
    FormHarness h(hostOptions("0001", '8'));
    runOk(h, std::string(kMenuTypeReport) + "focus medCdTpCard\n");
    auto r = runOk(h, "tab\n");
    EXPECT_TRUE(messages(r).empty());
    EXPECT_FALSE(aborted(r));
}

TEST(MenuType, ChangingTheCodeClearsTheName) {
    FormHarness h(hostOptions("0001", '8'));
    runOk(h, std::string(kMenuTypeReport) + "type medCdTpCard 1\ntab\n");
    auto r = runOk(h, "type medCdTpCard 2\ndump edtNmTpCard\n");
    EXPECT_EQ(text(r, "edtNmTpCard"), "");
}

TEST(MenuType, OtherReportsAcceptAnyMenuType) {
    // A code that does not exist, left in the field from the menu-type
    // report: printing another report does not look at it (the first check
    // that speaks is the dish range's).
    FormHarness h(hostOptions("0001", '8'));
    runOk(h, std::string(kMenuTypeReport) + "type medCdTpCard 99\ntab\nreport 0\n");
    auto r = runOk(h, "print\ndump medCdTpCard edtNmTpCard\n");
    EXPECT_EQ(messages(r), Lines{"message: Prato inicial deve ser informado."});
    EXPECT_EQ(text(r, "medCdTpCard"), "0000000099");
    ASSERT_NE(h.form(), nullptr);
    EXPECT_NO_THROW(h.form()->Vd_TipoCard(true));
    h.form()->medCdTpCard->SetText("");
    EXPECT_NO_THROW(h.form()->Vd_TipoCard(true)) << "an empty one too";
}

TEST(MenuType, BranchWithoutKitchenFailsEveryPrintOfTheMenuTypeReport) {
    for (char module : {'8', 'P'}) {
        SCOPED_TRACE(module);
        FormHarness h(hostOptions("0006", module));
        runOk(h, std::string(kMenuTypeReport) + "type medCdPratoIni 10001\n");
        for (int attempt = 0; attempt < 2; ++attempt) {
            auto r = runOk(h, "print\ndump-form\ntype medCdPratoIni 10001\n");
            EXPECT_EQ(events(r),
                      (Lines{"focus: cbbReportNames", "message: Filial não está ligada a uma central de merenda.",
                             "abort", "focus: medCdPratoIni"}))
                << "attempt " << attempt;
            EXPECT_EQ(formState(r)["ActiveControl"], "cbbReportNames");
        }
    }
}

TEST(MenuType, RequiredOnlyInModulesEightAndL) {
    // Empty menu type at print: refused in modules 8 and L, accepted in the
    // others (the dish range speaks next).
    struct Case {
        char module;
        Lines events;
    } cases[] = {
        {'8', {"focus: medCdTpCard", "message: Tipo de cardápio deve ser informado.", "abort"}},
        {'L', {"focus: medCdTpCard", "message: Tipo de cardápio deve ser informado.", "abort"}},
        {'P', {"message: Prato inicial deve ser informado.", "focus: medCdPratoIni", "abort"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.module);
        FormHarness h(hostOptions("0001", c.module));
        runOk(h, kMenuTypeReport);
        auto r = runOk(h, "print\n");
        EXPECT_EQ(events(r), c.events);
    }
}

TEST(MenuType, FilledCodeIsLookedUpAtPrintInAnyModule) {
    // In a module other than 8 and L the "TipoCard" page is not shown; a code
    // left in the field (here put there directly) is still looked up.
    FormHarness h(hostOptions("0001", 'P'));
    runOk(h, kMenuTypeReport);
    ASSERT_NE(h.form(), nullptr);
    h.form()->medCdTpCard->SetText("77");
    auto r = runOk(h, "print\ndump medCdTpCard edtNmTpCard\n");
    EXPECT_EQ(events(r), (Lines{"message: Tipo de cardápio não cadastrado.", "abort"})) << "no focus move";
    EXPECT_EQ(text(r, "medCdTpCard"), "0000000077");

    h.form()->medCdTpCard->SetText("3");
    r = runOk(h, "print\ndump medCdTpCard edtNmTpCard\n");
    EXPECT_EQ(messages(r), Lines{"message: Prato inicial deve ser informado."});
    EXPECT_EQ(text(r, "edtNmTpCard"), "Cardápio especial sem glúten e sem lactose");
}

TEST(MenuType, SearchListsOnlyTheMenuTypesOfTheKitchen) {
    FormHarness h(hostOptions("0009", '8'));
    runOk(h, std::string(kMenuTypeReport) + "type medCdTpCard 2\n");
    auto r = runOk(h, "answer search 0000000005\nclick btpTpCard\ndump medCdTpCard edtNmTpCard\n");
    EXPECT_EQ(events(r), Lines{"dialog: search Tipo de Cardápio"});
    EXPECT_EQ(text(r, "medCdTpCard"), "0000000005");
    EXPECT_EQ(text(r, "edtNmTpCard"), "Cardápio noturno (educação de jovens)");

    ASSERT_NE(h.form(), nullptr);
    auto& q = *h.form()->qryTipoCard;
    Lines listed;
    for (q.First(); !q.Eof(); q.Next()) listed.push_back(q.FieldByName("CDTIPOCARD").AsString());
    EXPECT_EQ(listed, (Lines{"0000000001", "0000000005"})) << "kitchen 0008 only, whatever was typed";

    r = h.run("answer search 0000000002\nclick btpTpCard\n");
    EXPECT_EQ(r.status, 2) << "menu type 2 of kitchen 0001 is not offered";
}

}  // namespace
