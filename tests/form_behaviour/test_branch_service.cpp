// The branch and service code fields of the "Padrão" page: validation on
// exit and at print, the adjusted codes, the names, the focus, the searches.

#include <gtest/gtest.h>

#include "Behaviour.h"

using namespace behaviour;

namespace {

using Lines = std::vector<std::string>;

// The per-service report (position 3): both fields usable.
const char* kPerService = "launch\nreport 3\n";

TEST(BranchField, ValidBranchIsAdjustedAndNamedOnExit) {
    struct Case {
        const char* typed;
        const char* code;
        const char* name;
    } cases[] = {
        {"2", "0002", "Escola Municipal São João"},
        {"06", "0006", "Restaurante Industrial Açu"},
        {"0009", "0009", "Escola Municipal Ipê Amarelo"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed);
        FormHarness h;
        runOk(h, std::string(kPerService) + "type medCdFilial " + c.typed + "\n");
        auto r = runOk(h, "tab\ndump medCdFilial edtNmFilial\ndump-form\n");
        EXPECT_TRUE(messages(r).empty()) << ::testing::PrintToString(r.lines);
        EXPECT_FALSE(aborted(r));
        EXPECT_EQ(text(r, "medCdFilial"), c.code);
        EXPECT_EQ(text(r, "edtNmFilial"), c.name);
        EXPECT_NE(formState(r)["ActiveControl"], "medCdFilial") << "the user moves on";
    }
}

TEST(BranchField, RejectedBranchKeepsTheUserInTheField) {
    struct Case {
        const char* operatorCode;
        const char* typed;
        const char* message;
        const char* code;
    } cases[] = {
        {"1", "99", "Filial não cadastrada.", "0099"},
        {"1", "7", "Filial com contrato rescindido.", "0007"},
        {"2", "4", "Operador sem acesso à filial.", "0004"},
        // The exit handler requires a branch.
        {"1", "", "Filial deve ser informada.", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string("operator ") + c.operatorCode + ", branch '" + c.typed + "'");
        FormHarness h(hostOptions("0002", 'P', false, c.operatorCode));
        runOk(h, std::string(kPerService) + "type medCdFilial \"" + c.typed + "\"\n");
        auto r = runOk(h, "tab\ndump medCdFilial edtNmFilial\ndump-form\n");
        EXPECT_EQ(events(r), (Lines{std::string("message: ") + c.message, "focus: medCdFilial", "abort"}));
        EXPECT_EQ(text(r, "medCdFilial"), c.code) << "adjusted to width 4 before the check";
        EXPECT_EQ(text(r, "edtNmFilial"), "") << "no name for a rejected branch";
        EXPECT_EQ(formState(r)["ActiveControl"], "medCdFilial");
    }
}

TEST(BranchField, OperatorWithAccessIsAccepted) {
    FormHarness h(hostOptions("0002", 'P', false, "2"));
    runOk(h, std::string(kPerService) + "type medCdFilial 3\n");
    auto r = runOk(h, "tab\ndump edtNmFilial\n");
    EXPECT_TRUE(messages(r).empty());
    EXPECT_EQ(text(r, "edtNmFilial"), "Escola Estadual Conceição");
}

TEST(BranchField, DisabledBranchRejectedAtPrintLeavesTheFocusWhereItIs) {
    // Single-branch host on a branch whose contract ended: the branch field
    // is locked, and printing a local report stops at it.
    FormHarness h(hostOptions("0007", 'P', true));
    runOk(h, "launch\nreport 2\ntype medCdPratoIni 10001\ntype medCdPratoFin 10002\n");
    auto r = runOk(h, "print\ndump medCdFilial\ndump-form\n");
    EXPECT_FALSE(enabled(r, "medCdFilial"));
    EXPECT_EQ(events(r), (Lines{"message: Filial com contrato rescindido.", "abort"}));
    EXPECT_EQ(formState(r)["ActiveControl"], "medCdPratoFin");
    EXPECT_TRUE(pla013test::withPrefix(r.lines, "report: ").empty()) << "no report ran";
}

TEST(BranchField, SearchFillsCodeAndNameWithoutValidation) {
    FormHarness h;
    runOk(h, std::string(kPerService) + "type medCdFilial 2\n");
    // Branch 0007 would be refused by the validation: the search does not check.
    auto r = runOk(h, "answer search 0007\nclick btnFilial\ndump medCdFilial edtNmFilial\n");
    EXPECT_EQ(events(r), Lines{"dialog: search Filial"});
    EXPECT_EQ(text(r, "medCdFilial"), "0007");
    EXPECT_EQ(text(r, "edtNmFilial"), "Escola Rural Boa Esperança");
    // A cancelled search changes nothing.
    r = runOk(h, "answer search cancel\nclick btnFilial\ndump medCdFilial edtNmFilial\n");
    EXPECT_EQ(text(r, "medCdFilial"), "0007");
    EXPECT_EQ(text(r, "edtNmFilial"), "Escola Rural Boa Esperança");
}

TEST(BranchField, SearchReadsTheBranchTableAfresh) {
    FormHarness h;
    runOk(h, std::string(kPerService) + "answer search 0003\nclick btnFilial\n");
    h.session().database().execute(
        "INSERT INTO FILIAL (CDFILIAL, NMFILIAL, IDCNTRRESC, IDFILCENTPME, CDFILCENTPME) "
        "VALUES ('0010', 'Escola Nova', 'N', 'N', '0001')");
    auto r = runOk(h, "answer search 0010\nclick btnFilial\ndump medCdFilial edtNmFilial\n");
    EXPECT_EQ(text(r, "medCdFilial"), "0010");
    EXPECT_EQ(text(r, "edtNmFilial"), "Escola Nova");
}

TEST(ServiceField, EmptyServiceOnExitIsAcceptedSilently) {
    FormHarness h;
    runOk(h, std::string(kPerService) + "focus medCdServFili\n");
    auto r = runOk(h, "tab\ndump medCdServFili edtNmServico\ndump-form\n");
    EXPECT_TRUE(messages(r).empty()) << ::testing::PrintToString(r.lines);
    EXPECT_FALSE(aborted(r));
    EXPECT_NE(formState(r)["ActiveControl"], "medCdServFili");
    EXPECT_EQ(text(r, "medCdServFili"), "");
}

TEST(ServiceField, EmptyServiceAtPrintOfAPerServiceReport) {
    FormHarness h;
    runOk(h, std::string(kPerService) + "type medCdFilial 2\ntab\ntype medCdPratoIni 10001\n");
    auto r = runOk(h, "print\ndump-form\n");
    EXPECT_EQ(events(r), (Lines{"message: Serviço deve ser informado.", "focus: medCdServFili", "abort"}));
    EXPECT_EQ(formState(r)["ActiveControl"], "medCdServFili");
}

TEST(ServiceField, LookupPairsTheServiceWithTheTypedBranch) {
    struct Case {
        const char* branch;
        const char* typed;
        const char* code;     // the code as left in the edit
        const char* message;  // empty: accepted
        const char* name;
    } cases[] = {
        {"0002", "00003", "00003", "", "Lanche da tarde"},
        {"0002", "3", "00003", "", "Lanche da tarde"},  // adjusted to width 5
        {"0003", "2", "00002", "", "Merenda vespertina"},
        // the same code belongs to another branch only
        {"0001", "00003", "00003", "Serviço não cadastrado.", ""},
        {"0001", "3", "00003", "Serviço não cadastrado.", ""},
        // a service of type 'A'
        {"0002", "9", "00009", "Serviço não cadastrado.", ""},
        {"0006", "00004", "00004", "Serviço não cadastrado.", ""},
        {"0002", "7", "00007", "Serviço não cadastrado.", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.branch) + "/" + c.typed);
        FormHarness h;
        runOk(h, std::string(kPerService) + "type medCdFilial " + c.branch + "\ntab\ntype medCdServFili " + c.typed +
                     "\n");
        auto r = runOk(h, "tab\ndump medCdServFili edtNmServico\ndump-form\n");
        EXPECT_EQ(text(r, "medCdServFili"), c.code);
        EXPECT_EQ(text(r, "edtNmServico"), c.name);
        if (*c.message) {
            EXPECT_EQ(events(r), (Lines{std::string("message: ") + c.message, "focus: medCdServFili", "abort"}));
            EXPECT_EQ(formState(r)["ActiveControl"], "medCdServFili");
        } else {
            EXPECT_TRUE(messages(r).empty()) << ::testing::PrintToString(r.lines);
            EXPECT_NE(formState(r)["ActiveControl"], "medCdServFili");
        }
    }
}

TEST(ServiceField, ChangingTheBranchClearsOnlyTheBranchName) {
    FormHarness h;
    runOk(h, std::string(kPerService) + "type medCdFilial 2\ntab\ntype medCdServFili 1\ntab\n");
    auto r = runOk(h, "type medCdFilial 3\ndump edtNmFilial medCdServFili edtNmServico\n");
    EXPECT_EQ(text(r, "edtNmFilial"), "");
    EXPECT_EQ(text(r, "medCdServFili"), "00001");
    EXPECT_EQ(text(r, "edtNmServico"), "Lanche da manhã") << "still the service of the previous branch";
    // Validated again, the service shows its name in the new branch.
    r = runOk(h, "focus medCdServFili\ntab\ndump edtNmFilial edtNmServico\n");
    EXPECT_EQ(text(r, "edtNmFilial"), "Escola Estadual Conceição");
    EXPECT_EQ(text(r, "edtNmServico"), "Merenda matutina");
}

TEST(ServiceField, ChangingTheServiceCodeClearsItsName) {
    FormHarness h;
    runOk(h, std::string(kPerService) + "type medCdFilial 2\ntab\ntype medCdServFili 1\ntab\n");
    auto r = runOk(h, "type medCdServFili 0000\ndump edtNmServico edtNmFilial\n");
    EXPECT_EQ(text(r, "edtNmServico"), "");
    EXPECT_EQ(text(r, "edtNmFilial"), "Escola Municipal São João");
}

TEST(ServiceField, SearchListsTheServicesOfTheTypedBranch) {
    FormHarness h;
    runOk(h, std::string(kPerService) + "type medCdFilial 2\ntab\ntype medCdServFili 1\n");
    auto r = runOk(h, "answer search 00003\nclick btnServico\ndump medCdServFili edtNmServico\n");
    EXPECT_EQ(events(r), Lines{"dialog: search Serviço"});
    EXPECT_EQ(text(r, "medCdServFili"), "00003");
    EXPECT_EQ(text(r, "edtNmServico"), "Lanche da tarde");

    // The list holds the services of 0002 without those of type 'A', in code order.
    ASSERT_NE(h.form(), nullptr);
    auto& q = *h.form()->qryServico;
    std::vector<std::string> listed;
    for (q.First(); !q.Eof(); q.Next())
        listed.push_back(q.FieldByName("CDFILIAL").AsString() + "/" + q.FieldByName("CDSERVFILI").AsString());
    EXPECT_EQ(listed, (Lines{"0002/00001", "0002/00002", "0002/00003"}));

    // A service of another branch is not offered: the dialog has no such row.
    FormHarness other;
    runOk(other, std::string(kPerService));  // branch 0001
    r = other.run("answer search 00003\nclick btnServico\n");
    EXPECT_EQ(r.status, 2) << "0001 has no service 00003";
}

TEST(ServiceField, ServiceSearchUsesTheBranchAsTypedWithoutValidatingIt) {
    FormHarness h;
    // Typed but never left: the branch is not adjusted or validated.
    runOk(h, std::string(kPerService) + "type medCdFilial 0006\n");
    auto r = runOk(h, "answer search 00003\nclick btnServico\ndump medCdFilial medCdServFili edtNmServico\n");
    EXPECT_TRUE(messages(r).empty());
    EXPECT_EQ(text(r, "medCdServFili"), "00003");
    EXPECT_EQ(text(r, "edtNmServico"), "Ceia noturna");
}

}  // namespace
