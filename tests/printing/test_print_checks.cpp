// Print, preview and save-as: every option is checked in a fixed order
// before the report runs; the first failure shows one message, puts the
// focus where it belongs and ends the click, and no report is produced.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "PrintingSupport.h"
#include "form/TfrmRelatPrato.h"
#include "platform/reports/ReportRunner.h"

using printingtest::events;
using printingtest::PrintHost;
using Lines = std::vector<std::string>;

namespace {

const std::string kReportRan = "report: preview - 1";

Lines failure(const std::string& focusBefore, const std::string& message, const std::string& focusAfter = {}) {
    Lines l;
    if (!focusBefore.empty()) l.push_back("focus: " + focusBefore);
    l.push_back("message: " + message);
    if (!focusAfter.empty()) l.push_back("focus: " + focusAfter);
    l.push_back("abort");
    return l;
}

bool reportRan(PrintHost& host) { return host->session().reports().lastOutcome().has_value(); }

// One row of a sequence: what the user does next, and what the following
// preview shows. The rows of a sequence share one form, so each row mends
// the previous failure and uncovers the next check in the order.
struct Row {
    std::string steps;
    Lines expected;
};

void runSequence(PrintHost& host, const std::vector<Row>& rows, const std::string& action = "preview") {
    for (std::size_t i = 0; i < rows.size(); ++i) {
        auto prep = host->run(rows[i].steps);
        ASSERT_EQ(prep.status, 0) << "row " << i << ": " << prep.err;
        auto r = host->run(action + "\n");
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(events(r.lines), rows[i].expected) << "row " << i << " after:\n" << rows[i].steps;
        const bool last = i + 1 == rows.size();
        if (!last) {
            EXPECT_FALSE(reportRan(host)) << "row " << i << ": a refused click ran the report";
        }
    }
}

// ----------------------------------------------------------------- order

TEST(PrintChecks, OrderOnTheMenuDateReport) {
    // Position 5 has both date fields, the branch list and the dish range;
    // the level was left invalid under the alphabetical ordering before the
    // report was chosen.
    PrintHost host;
    runSequence(host, {
                          {"launch\nselect rdgDadosOperador 1\ntype speNivel 5\nreport 5\nclick rbtListFili\n",
                           failure("depDataInic", "Data inicial deve ser informada.")},
                          {"type depDataInic 10/08/2024\n", failure("depDataFina", "Data final deve ser informada.")},
                          // The dates are in the wrong order: the checks of the click do not test it.
                          {"type depDataFina 09/08/2024\n", failure("grbFilial", "Filial deve ser informada.")},
                          {"answer list 0002,0003\nclick btnFilialCent\n",
                           failure("", "Prato inicial deve ser informado.", "medCdPratoIni")},
                          {"type medCdPratoIni 9\n", failure("", "Prato final deve ser informado.", "medCdPratoFin")},
                          {"type medCdPratoFin 10\n",
                           failure("medCdPratoFin", "Prato final deve ser maior ou igual ao prato inicial.")},
                          // The level field is disabled at this position: the focus cannot go
                          // there, the message stands.
                          {"type medCdPratoFin 91\n", failure("", "Nível de ordenação deve estar entre 0 e 1.")},
                          // Every check passes; the report starts and its parameter binding
                          // refuses the date order. (Choosing "Todas" again is part of coming
                          // back to the report.)
                          {"report 0\ntype speNivel 1\nreport 5\n",
                           failure("depDataInic", "Data inicial deve ser menor ou igual a data final.")},
                          {"type depDataFina 10/08/2024\n", {kReportRan}},
                      });
}

TEST(PrintChecks, BranchAndServiceBeforeTheDishRange) {
    PrintHost host;
    runSequence(host, {
                          // The branch field opens with the form's branch; the user clears it.
                          {"launch\nreport 3\ntype medCdFilial \"\"\n",
                           failure("", "Filial deve ser informada.", "medCdFilial")},
                          {"type medCdFilial 7\n", failure("", "Filial com contrato rescindido.", "medCdFilial")},
                          {"type medCdFilial 99\n", failure("", "Filial não cadastrada.", "medCdFilial")},
                          {"type medCdFilial 0002\n", failure("", "Serviço deve ser informado.", "medCdServFili")},
                          // Type "A" services are not offered.
                          {"type medCdServFili 9\n", failure("", "Serviço não cadastrado.", "medCdServFili")},
                          {"type medCdServFili 2\n", failure("", "Prato inicial deve ser informado.", "medCdPratoIni")},
                          {"type medCdPratoIni 30001\ntype medCdPratoFin 30004\n", {"report: preview - 1"}},
                      });
    // The code checks wrote the codes back at their width.
    EXPECT_EQ(host->form()->medCdFilial->Text(), "0002");
    EXPECT_EQ(host->form()->medCdServFili->Text(), "00002");
    EXPECT_EQ(host->form()->edtNmServico->Text(), "Almoço escolar");
}

TEST(PrintChecks, ListsOfTheMenuReportByBranchAndService) {
    PrintHost host;
    runSequence(host, {
                          {"launch\nreport 8\ntype depDataInic 01/08/2024\ntype depDataFina 31/08/2024\n"
                           "type medCdPratoIni 9\ntype medCdPratoFin 91\nclick rbtFilialLista\n",
                           failure("rbtFilialLista", "Filial deve ser informada.")},
                          {"answer list 0002\nclick btnFili\nclick rdbServicoLista\n",
                           failure("rdbServicoLista", "Serviço deve ser informado.")},
                          {"answer list 000200001\nclick btnServicoLista\n", {kReportRan}},
                      });
}

TEST(PrintChecks, BranchListLeftOnAHiddenPageRefusesWithoutFocus) {
    // "Lista" chosen on the page of positions 4 and 5 stays chosen when the
    // report at position 8 is taken; that page is not shown, so its group
    // cannot take the focus: the message stands and nothing breaks.
    PrintHost host;
    auto r = host->run(
        "launch\nreport 4\nclick rbtListFili\nreport 8\ntype depDataInic 01/08/2024\n"
        "type depDataFina 31/08/2024\ntype medCdPratoIni 9\ntype medCdPratoFin 91\npreview\n");
    ASSERT_EQ(r.status, 0) << r.err;
    const Lines ev = events(r.lines);
    ASSERT_GE(ev.size(), 2u);
    EXPECT_EQ(Lines(ev.end() - 2, ev.end()), (Lines{"message: Filial deve ser informada.", "abort"}));
    EXPECT_FALSE(reportRan(host));
    // The form is still usable: the same click goes through once a list exists.
    host->form()->FListaFilial = "0002";
    r = host->run("preview\n");
    EXPECT_EQ(events(r.lines), Lines{kReportRan});
}

// ------------------------------------------------------ single checks

struct Case {
    const char* name;
    char module;
    const char* branch;                                     // the host's current branch; empty: the default
    std::string steps;                                      // before the click
    std::function<void(pla013::TfrmRelatPrato&)> fromCode;  // what the user cannot reach, set directly
    Lines expected;                                         // events of the preview
};

void runCases(const std::vector<Case>& cases) {
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        pla013::runtime::HostOptions o;
        o.module = c.module;
        if (*c.branch) o.branch = c.branch;
        PrintHost host(o);
        auto prep = host->run(c.steps);
        ASSERT_EQ(prep.status, 0) << prep.err;
        ASSERT_NE(host->form(), nullptr);
        if (c.fromCode) c.fromCode(*host->form());
        auto r = host->run("preview\n");
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(events(r.lines), c.expected);
        EXPECT_EQ(reportRan(host), c.expected.back() == kReportRan);
    }
}

const char* kDishes = "type medCdPratoIni 9\ntype medCdPratoFin 91\n";
// The cost-by-central report fetches its data under a progress window.
const std::string kProgress = "dialog: progress Carregando receitas...";

TEST(PrintChecks, MenuTypeComesFirst) {
    runCases({
        {"module 8: an empty menu type is refused before anything else",
         '8',
         "",
         "launch\nreport 7\n",
         {},
         failure("medCdTpCard", "Tipo de cardápio deve ser informado.")},
        {"module L likewise",
         'L',
         "",
         "launch\nreport 7\n",
         {},
         failure("medCdTpCard", "Tipo de cardápio deve ser informado.")},
        {"other modules accept an empty menu type",
         'P',
         "",
         "launch\nreport 7\n",
         {},
         failure("", "Prato inicial deve ser informado.", "medCdPratoIni")},
        {"a filled menu type is still looked up; the focus stays",
         'P',
         "",
         "launch\nreport 7\n",
         [](pla013::TfrmRelatPrato& f) { f.medCdTpCard->SetText("99"); },
         {"message: Tipo de cardápio não cadastrado.", "abort"}},
        {"a branch without central kitchen",
         'P',
         "0006",
         "launch\nreport 7\n",
         {},
         failure("cbbReportNames", "Filial não está ligada a uma central de merenda.")},
        {"module 8 with a registered menu type",
         '8',
         "",
         "launch\nreport 7\ntype medCdTpCard 1\ntype medCdPratoIni 9\ntype medCdPratoFin 91\n",
         {},
         {kReportRan}},
        {"another report ignores a menu type that does not exist",
         '8',
         "",
         "launch\nreport 0\ntype medCdPratoIni 9\ntype medCdPratoFin 91\n",
         [](pla013::TfrmRelatPrato& f) { f.medCdTpCard->SetText("99"); },
         {kReportRan}},
    });
}

TEST(PrintChecks, DatesArePresentOnlyWhenBothFieldsAreEnabled) {
    runCases({
        {"invalid date in the focused field",
         'P',
         "",
         "launch\nreport 5\ntype depDataInic 32/13/2024\n",
         {},
         {"message: '32/13/2024' não é uma data válida.", "focus: depDataInic", "abort"}},
        {"blank final date",
         'P',
         "",
         "launch\nreport 5\ntype depDataInic 01/08/2024\ntype depDataFina \"  \"\n",
         {},
         failure("depDataFina", "Data final deve ser informada.")},
        {"disabled dates: blank passes", 'P', "", std::string("launch\nreport 0\n").append(kDishes), {}, {kReportRan}},
        {"one date field disabled: blank passes",
         'P',
         "",
         std::string("launch\nreport 5\n").append(kDishes),
         [](pla013::TfrmRelatPrato& f) { f.depDataFina->SetEnabled(false); },
         {kReportRan}},
    });
}

TEST(PrintChecks, BranchChecksFollowTheOrigin) {
    runCases({
        {"Padrão: the branch is not validated",
         'P',
         "",
         std::string("launch\nreport 1\n").append(kDishes),
         [](pla013::TfrmRelatPrato& f) { f.medCdFilial->SetText("9999"); },
         {kReportRan}},
        {"Local: the branch is validated", 'P', "", std::string("launch\nreport 1\nclick rdbLocal\n").append(kDishes),
         [](pla013::TfrmRelatPrato& f) { f.medCdFilial->SetText("9999"); },
         failure("", "Filial não cadastrada.", "medCdFilial")},
        {"Por Serviço at position 1: the service is validated",
         'P',
         "",
         std::string("launch\nreport 1\nclick rdbServico\n").append(kDishes),
         {},
         failure("", "Serviço deve ser informado.", "medCdServFili")},
        {"Por Serviço at position 6: the service is not validated",
         'P',
         "",
         std::string("launch\nreport 6\n").append(kDishes),
         [](pla013::TfrmRelatPrato& f) { f.rdbServico->SetChecked(true); },
         {kReportRan}},
        {"position 4 with a list chosen: the branch field is not validated",
         'P',
         "",
         std::string("launch\nreport 4\nclick rbtListFili\nanswer list 0003\nclick btnFilialCent\n").append(kDishes),
         [](pla013::TfrmRelatPrato& f) {
             f.rdbLocal->SetChecked(true);
             f.medCdFilial->SetText("9999");
         },
         {kProgress, kReportRan}},
        {"position 4 with Todas passes check 5",
         'P',
         "",
         std::string("launch\nreport 4\n").append(kDishes),
         {},
         {kProgress, kReportRan}},
    });
}

// ------------------------------------------------ preview print options

TEST(PrintChecks, PreviewNeedsAPrintOptionAtPositionsOneSevenAndEight) {
    struct Opt {
        int position;
        bool produto, modPrep, foto, nutriente;
        bool runs;
    } rows[] = {
        {1, false, false, false, false, false}, {1, false, false, false, true, true},
        {1, false, false, true, false, true},   {1, true, false, false, false, true},
        {7, false, false, false, false, false}, {7, false, false, false, true, false},
        {7, false, true, false, false, true},   {8, false, false, false, false, false},
        {8, false, false, false, true, false},  {8, true, false, false, false, true},
        {0, false, false, false, false, true},  {2, false, false, false, false, true},
        {6, false, false, false, false, true},  {9, false, false, false, false, true},
    };
    for (const auto& o : rows) {
        SCOPED_TRACE("position " + std::to_string(o.position) + " options " + std::to_string(o.produto) +
                     std::to_string(o.modPrep) + std::to_string(o.foto) + std::to_string(o.nutriente));
        PrintHost host;
        std::string steps = "launch\nreport " + std::to_string(o.position) + "\n" + kDishes;
        if (o.position == 2) steps += "type medCdFilial 0002\n";
        if (o.position == 8) steps += "type depDataInic 01/08/2024\ntype depDataFina 31/08/2024\n";
        ASSERT_EQ(host->run(steps).status, 0);
        auto& f = *host->form();
        f.chbProduto->SetChecked(o.produto);
        f.chbModPrep->SetChecked(o.modPrep);
        f.chbFoto->SetChecked(o.foto);
        f.chbNutriente->SetChecked(o.nutriente);
        auto r = host->run("preview\n");
        EXPECT_EQ(events(r.lines),
                  o.runs ? Lines{kReportRan} : failure("chbProduto", "A opção de impressão deve ser informada."));
    }
}

TEST(PrintChecks, PrintAndSaveAsSkipThePrintOptionRule) {
    for (int position : {7, 8}) {
        SCOPED_TRACE("position " + std::to_string(position));
        PrintHost host;
        std::string steps = "launch\nreport " + std::to_string(position) + "\n" + kDishes;
        if (position == 8) steps += "type depDataInic 01/08/2024\ntype depDataFina 31/08/2024\n";
        ASSERT_EQ(host->run(steps).status, 0);
        host->form()->chbProduto->SetChecked(false);

        const std::string file = (host.data.path() / "saida.csv").string();
        auto r = host->run("save " + file + "\n");
        EXPECT_EQ(events(r.lines), Lines{"report: file " + file + " 1"});
        EXPECT_TRUE(std::filesystem::exists(file));

        // The printer is the host's affair (there may be none here); the
        // base handler was reached: the report asked for its parameters.
        r = host->run("print\n");
        for (const auto& l : events(r.lines)) EXPECT_EQ(l.find("opção de impressão"), std::string::npos) << l;
        EXPECT_FALSE(host->session().reports().lastParamLines().empty());
    }
}

TEST(PrintChecks, ARefusedSaveAsWritesNoFile) {
    PrintHost host;
    ASSERT_EQ(host->run("launch\nreport 0\ntype medCdPratoIni 91\ntype medCdPratoFin 9\n").status, 0);
    const std::string file = (host.data.path() / "recusado.csv").string();
    auto r = host->run("save " + file + "\n");
    EXPECT_EQ(events(r.lines), failure("medCdPratoFin", "Prato final deve ser maior ou igual ao prato inicial."));
    EXPECT_FALSE(std::filesystem::exists(file));
    EXPECT_TRUE(host->session().reports().lastParamLines().empty()) << "the report dialog was never reached";
}

// -------------------------------------------------------- level and range

TEST(PrintChecks, LevelBoundsUnderTheAlphabeticalOrdering) {
    struct Level {
        int ordering;
        const char* text;
        bool passes;
    } rows[] = {
        {1, "", false},   {1, " ", false}, {1, "0", true}, {1, "1", true},  {1, "2", false},
        {1, "-1", false}, {0, "", true},   {0, "7", true}, {0, "-3", true},
    };
    for (const auto& l : rows) {
        SCOPED_TRACE(std::string("ordering ") + std::to_string(l.ordering) + " level '" + l.text + "'");
        PrintHost host;
        ASSERT_EQ(host->run(std::string("launch\n") + kDishes).status, 0);
        host->form()->rdgDadosOperador->SetItemIndex(l.ordering);
        host->form()->speNivel->SetText(l.text);
        auto r = host->run("preview\n");
        EXPECT_EQ(events(r.lines),
                  l.passes ? Lines{kReportRan} : failure("", "Nível de ordenação deve estar entre 0 e 1.", "speNivel"));
    }
}

TEST(PrintChecks, LevelMessageNamesTheMaximumOfThePicture) {
    // Four levels: the maximum is 2.
    PrintHost host({}, printingtest::kFourLevelPicture);
    auto r = host->run(
        "launch\nselect rdgDadosOperador 1\ntype speNivel 3\ntype medCdPratoIni 3\n"
        "type medCdPratoFin 300\npreview\n");
    ASSERT_EQ(r.status, 0) << r.err;
    const Lines ev = events(r.lines);
    ASSERT_GE(ev.size(), 3u);
    EXPECT_EQ(Lines(ev.end() - 3, ev.end()), failure("", "Nível de ordenação deve estar entre 0 e 2.", "speNivel"));
    r = host->run("type speNivel 2\npreview\n");
    EXPECT_EQ(events(r.lines).back(), kReportRan);
}

TEST(PrintChecks, DishCodesCompareAsText) {
    struct Range {
        const char* first;
        const char* last;
        bool passes;
    } rows[] = {
        {"9", "10", false}, {"10", "9", true},     {"91", "91", true},   {"9", "91", true},
        {"91", "9", false}, {"30001", "3", false}, {"1", "10001", true},
    };
    for (const auto& d : rows) {
        SCOPED_TRACE(std::string(d.first) + " .. " + d.last);
        PrintHost host;
        ASSERT_EQ(
            host->run(std::string("launch\ntype medCdPratoIni ") + d.first + "\ntype medCdPratoFin " + d.last + "\n")
                .status,
            0);
        auto r = host->run("preview\n");
        EXPECT_EQ(events(r.lines),
                  d.passes ? Lines{kReportRan}
                           : failure("medCdPratoFin", "Prato final deve ser maior ou igual ao prato inicial."));
    }
}

TEST(PrintChecks, FinalDishIsValidatedFirstWhenItHasTheFocus) {
    // Both ends hold unknown dishes (set from code: leaving either field
    // would refuse it); the end validated first is the one named.
    for (bool finalFocused : {true, false}) {
        SCOPED_TRACE(finalFocused ? "final field focused" : "report list focused");
        PrintHost host;
        ASSERT_EQ(host->run("launch\n").status, 0);
        host->form()->medCdPratoIni->SetText("8");
        host->form()->medCdPratoFin->SetText("7");
        if (finalFocused) {
            ASSERT_EQ(host->run("focus medCdPratoFin\n").status, 0);
        }
        auto r = host->run("preview\n");
        const std::string edit = finalFocused ? "medCdPratoFin" : "medCdPratoIni";
        EXPECT_EQ(events(r.lines), failure(edit, "Prato não cadastrado.", edit));
    }
}

}  // namespace
