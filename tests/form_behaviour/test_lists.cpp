// Branch and service lists of the reports at positions 4, 5 and 8: the
// option buttons, the list dialogs, the list texts and their checks.

#include <gtest/gtest.h>

#include <set>

#include "Behaviour.h"

using namespace behaviour;

namespace {

using Lines = std::vector<std::string>;

std::string listaFilial(const FormHarness::Result& r) { return formState(r)["FListaFilial"]; }
std::string listaServico(const FormHarness::Result& r) { return formState(r)["FListaServico"]; }

// Every chosen key occurs in the list text and no other key does.
void expectSubstringRule(const std::string& listText, const std::set<std::string>& chosen,
                         const std::vector<std::string>& allKeys) {
    for (const auto& key : allKeys) {
        const bool occurs = listText.find(key) != std::string::npos;
        EXPECT_EQ(occurs, chosen.count(key) == 1) << "key " << key << " in '" << listText << "'";
    }
}

std::vector<std::string> column(pla013::db::SociDatabase& db, const std::string& sql) {
    std::vector<std::string> out;
    for (const auto& row : db.query(sql, {}, "keys").rows) out.push_back(row[0].toString());
    return out;
}

// The keys of the services that the service dialog listed.
std::set<std::string> listedServices(FormHarness& h) {
    std::set<std::string> keys;
    if (!h.form()) return keys;
    auto& q = *h.form()->qryServi;
    for (q.First(); !q.Eof(); q.Next()) keys.insert(q.FieldByName("CDFILISERV").AsString());
    return keys;
}

TEST(Lists, DialogButtonsAreOfferedOnlyWhileListaIsChosen) {
    struct Case {
        int position;
        const char* button;
    } cases[] = {{4, "btnFilialCent"}, {5, "btnFilialCent"}, {8, "btnFili"}, {8, "btnServicoLista"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.button) + " at " + std::to_string(c.position));
        FormHarness h;
        // Straight after the report is chosen, with "Todas"/"Todos" checked
        // from the design: a click opens no dialog.
        auto r = runOk(h, "launch\nreport " + std::to_string(c.position) + "\ndump " + c.button +
                              "\nanswer list 0002\nclick " + c.button + "\ndump-form\n");
        EXPECT_FALSE(enabled(r, c.button));
        EXPECT_TRUE(pla013test::withPrefix(r.lines, "dialog: ").empty()) << ::testing::PrintToString(r.lines);
        EXPECT_EQ(listaFilial(r), "");
    }
}

TEST(Lists, TodasThenListaStartsFromAnEmptyBranchList) {
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
        FormHarness h;
        runOk(h, "launch\nreport " + std::to_string(c.position) + "\n");
        auto r = runOk(h, std::string("click ") + c.list + "\ndump " + c.button + "\ndump-form\n");
        EXPECT_TRUE(enabled(r, c.button)) << "the dialog is offered while Lista is chosen";
        r = runOk(h, std::string("answer list 0002,0004\nclick ") + c.button + "\ndump-form\n");
        EXPECT_EQ(events(r), Lines{"dialog: list Filial"});
        EXPECT_EQ(listaFilial(r), "0002,0004");
        r = runOk(h, std::string("click ") + c.all + "\ndump " + c.button + "\ndump-form\n");
        EXPECT_FALSE(enabled(r, c.button));
        EXPECT_EQ(listaFilial(r), "");
        r = runOk(h, std::string("click ") + c.list + "\ndump " + c.button + "\ndump-form\n");
        EXPECT_TRUE(enabled(r, c.button));
        EXPECT_EQ(listaFilial(r), "");
    }
}

TEST(Lists, ListaOnTheBranchAndServicePageEmptiesTheBranchList) {
    // The branch list picked on the "ListaFilial" page is dropped when
    // "Lista" is chosen on the other page.
    FormHarness h;
    auto r = runOk(h,
                   "launch\nreport 4\nclick rbtListFili\nanswer list 0003\nclick btnFilialCent\n"
                   "report 8\ndump-form\nclick rbtFilialLista\ndump-form\n");
    auto forms = pla013test::withPrefix(r.lines, "{\"Caption\"");
    ASSERT_EQ(forms.size(), 2u);
    EXPECT_EQ(json::parse(forms[0])["FListaFilial"], "0003") << "report 8 with Todas already chosen keeps it";
    EXPECT_EQ(json::parse(forms[1])["FListaFilial"], "");
}

TEST(Lists, BranchDialogEmptiesTheServiceListEvenWhenCancelled) {
    FormHarness h;
    runOk(h,
          "launch\nreport 8\nclick rbtFilialLista\nanswer list 0002,0003\nclick btnFili\n"
          "click rdbServicoLista\nanswer list 000200001,000300002\nclick btnServicoLista\n");
    auto r = runOk(h, "dump-form\n");
    EXPECT_EQ(listaServico(r), "000200001,000300002");
    r = runOk(h, "answer list cancel\nclick btnFili\ndump-form\n");
    EXPECT_EQ(events(r), Lines{"dialog: list Filial"});
    EXPECT_EQ(listaServico(r), "");
    EXPECT_EQ(listaFilial(r), "0002,0003") << "a cancelled dialog keeps the branch list";
}

TEST(Lists, ServiceDialogWithAllBranchesListsEveryServiceAndStoresT) {
    FormHarness h;
    runOk(h, "launch\nreport 8\nclick rdbServicoLista\n");
    auto r = runOk(h, "answer list 000100001,000600004,000900001\nclick btnServicoLista\ndump-form\n");
    EXPECT_EQ(events(r), Lines{"dialog: list Serviço"});
    EXPECT_EQ(listaFilial(r), "T");
    EXPECT_EQ(listaServico(r), "000100001,000600004,000900001");
    pla013::db::SociDatabase db(h.databasePath());
    auto all = column(db, "SELECT CDFILIAL || CDSERVFILI FROM SERVICO");
    EXPECT_EQ(listedServices(h), std::set<std::string>(all.begin(), all.end())) << "every service of every branch";
}

TEST(Lists, ServiceDialogWithoutPickedBranchesIsRefused) {
    FormHarness h;
    runOk(h, "launch\nreport 8\nclick rbtFilialLista\nclick rdbServicoLista\n");
    auto r = runOk(h, "answer list 000200001\nclick btnServicoLista\ndump-form\n");
    EXPECT_EQ(events(r), (Lines{"focus: rbtFilialLista", "message: Filial deve ser informada.", "abort"}))
        << "no dialog opens";
    EXPECT_EQ(formState(r)["ActiveControl"], "rbtFilialLista");
    EXPECT_EQ(listaServico(r), "");
}

TEST(Lists, ServiceKeysAreBranchPlusServiceAndFollowTheBranchList) {
    // Branches whose codes occur in "00020003" but not as whole keys: a list
    // text without separators would wrongly take them in.
    pla013test::TempDir dir;
    std::vector<std::string> sql;
    for (const char* code : {"0020", "0200", "2000"}) {
        sql.push_back(std::string("INSERT INTO FILIAL (CDFILIAL, NMFILIAL, IDCNTRRESC, IDFILCENTPME, CDFILCENTPME) "
                                  "VALUES ('") +
                      code + "', 'Filial " + code + "', 'N', 'N', NULL)");
        sql.push_back(std::string("INSERT INTO SERVICO (CDFILIAL, CDSERVFILI, NMSERVICO, IDTIPOSERV) VALUES ('") +
                      code + "', '00001', 'Serviço', 'N')");
    }
    auto options = hostOptions();
    options.db = changedSampleDatabase(dir, sql);
    FormHarness h(options);
    runOk(h, "launch\nreport 8\nclick rbtFilialLista\nanswer list 0002,0003\nclick btnFili\nclick rdbServicoLista\n");
    auto r = runOk(h, "answer list 000200001,000300001\nclick btnServicoLista\ndump-form\n");
    const std::string branches = listaFilial(r), services = listaServico(r);

    pla013::db::SociDatabase db(h.databasePath());
    expectSubstringRule(branches, {"0002", "0003"}, column(db, "SELECT CDFILIAL FROM FILIAL"));
    // The same service code in two branches: two distinct keys.
    expectSubstringRule(services, {"000200001", "000300001"}, column(db, "SELECT CDFILIAL || CDSERVFILI FROM SERVICO"));
    EXPECT_EQ(branches, "0002,0003");
    EXPECT_EQ(services, "000200001,000300001");
    // The dialog listed the services of the two branches, all types included.
    EXPECT_EQ(listedServices(h),
              (std::set<std::string>{"000200001", "000200002", "000200003", "000200009", "000300001", "000300002"}));
    // A service of a branch not in the list cannot be picked.
    r = h.run("answer list 000400001\nclick btnServicoLista\n");
    EXPECT_EQ(r.status, 2);
}

TEST(Lists, TodosKeepsThePickedServices) {
    FormHarness h;
    runOk(h, "launch\nreport 8\nclick rdbServicoLista\nanswer list 000200002\nclick btnServicoLista\n");
    auto r = runOk(h, "click rdbServicoTodos\ndump btnServicoLista\ndump-form\n");
    EXPECT_FALSE(enabled(r, "btnServicoLista"));
    EXPECT_EQ(listaServico(r), "000200002");
    // Lista again starts empty.
    r = runOk(h, "click rdbServicoLista\ndump btnServicoLista\ndump-form\n");
    EXPECT_TRUE(enabled(r, "btnServicoLista"));
    EXPECT_EQ(listaServico(r), "");
}

TEST(Lists, ListaOnTheBranchListPageDoesNotInheritTheAllMarker) {
    // The "T" that the service dialog of report 8 stores for all branches is
    // not a list: "Lista" chosen afterwards on report 4 with nothing picked
    // must not pass as every branch.
    FormHarness h;
    auto r = runOk(h,
                   "launch\nreport 8\nclick rdbServicoLista\nanswer list cancel\nclick btnServicoLista\ndump-form\n"
                   "report 4\nclick rbtListFili\ndump-form\n"
                   "type medCdPratoIni 10001\ntype medCdPratoFin 10002\nfocus cbbReportNames\n");
    auto forms = pla013test::withPrefix(r.lines, "{\"Caption\"");
    ASSERT_EQ(forms.size(), 2u);
    EXPECT_EQ(json::parse(forms[0])["FListaFilial"], "T");
    EXPECT_EQ(json::parse(forms[1])["FListaFilial"], "");
    r = runOk(h, "print\n");
    EXPECT_EQ(messages(r), Lines{"message: Filial deve ser informada."});
    EXPECT_TRUE(aborted(r));
}

TEST(Lists, BranchDialogReadsTheBranchTableAfresh) {
    FormHarness h;
    runOk(h, "launch\nreport 4\nclick rbtListFili\nanswer list 0002\nclick btnFilialCent\n");
    h.session().database().execute(
        "INSERT INTO FILIAL (CDFILIAL, NMFILIAL, IDCNTRRESC, IDFILCENTPME, CDFILCENTPME) "
        "VALUES ('0010', 'Escola Nova', 'N', 'N', '0001')");
    auto r = runOk(h, "answer list 0010,0002\nclick btnFilialCent\ndump-form\n");
    EXPECT_EQ(listaFilial(r), "0010,0002");
}

// ------------------------------------------------------------------ checks at print

// Position 8 with dates and dishes that pass, so that the list checks speak.
const char* kReadyForPrint =
    "launch\nreport 8\n"
    "type depDataInic 01/07/2024\ntype depDataFina 31/07/2024\n"
    "type medCdPratoIni 10001\ntype medCdPratoFin 10002\nfocus cbbReportNames\n";

TEST(Lists, PrintOfPositionEightChecksBothLists) {
    FormHarness h;
    runOk(h, std::string(kReadyForPrint) + "click rbtFilialLista\nfocus cbbReportNames\n");
    auto r = runOk(h, "print\ndump-form\n");
    EXPECT_EQ(events(r), (Lines{"focus: rbtFilialLista", "message: Filial deve ser informada.", "abort"}));

    runOk(h, "answer list 0002\nclick btnFili\nclick rdbServicoLista\nfocus cbbReportNames\n");
    r = runOk(h, "print\ndump-form\n");
    EXPECT_EQ(events(r), (Lines{"focus: rdbServicoLista", "message: Serviço deve ser informado.", "abort"}));
    EXPECT_EQ(formState(r)["ActiveControl"], "rdbServicoLista");
}

TEST(Lists, PrintOfABranchListReportWithAnEmptyListIsRefused) {
    for (int position : {4, 5}) {
        SCOPED_TRACE(position);
        FormHarness h;
        runOk(h, "launch\nreport " + std::to_string(position) +
                     "\ntype medCdPratoIni 10001\ntype medCdPratoFin 10002\n"
                     "type depDataInic 01/07/2024\ntype depDataFina 31/07/2024\n"
                     "click rbtListFili\nfocus cbbReportNames\n");
        auto r = runOk(h, "print\ndump-form\n");
        EXPECT_EQ(messages(r), Lines{"message: Filial deve ser informada."});
        EXPECT_TRUE(aborted(r));
        EXPECT_TRUE(pla013test::withPrefix(r.lines, "report: ").empty());
    }
}

}  // namespace
