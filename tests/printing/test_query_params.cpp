// Report query parameters: what the form binds for each report position,
// compared with golden files of dump-params written from the binding rules;
// the date order test, the server data of positions 2 to 4, the lists of
// position 8, and parameters the report does not declare.

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "PrintingSupport.h"
#include "form/TfrmRelatPrato.h"
#include "host/Data.h"
#include "host/Errors.h"
#include "platform/reports/ReportRunner.h"

using printingtest::events;
using printingtest::PrintHost;
using Lines = std::vector<std::string>;

namespace {

Lines goldenLines(const std::string& name) {
    const std::string path = std::string(PLA013_PARAMS_GOLDEN_DIR) + "/" + name + ".jsonl";
    std::ifstream in(path);
    EXPECT_TRUE(in.good()) << "no golden file " << path;
    Lines out;
    for (std::string l; std::getline(in, l);)
        if (!l.empty()) out.push_back(l);
    return out;
}

Lines dumpParams(PrintHost& host) {
    auto r = host->run("dump-params\n");
    EXPECT_EQ(r.status, 0) << r.err;
    return r.lines;
}

struct GoldenCase {
    const char* golden;
    char module;
    std::string steps;
    std::function<void(pla013::TfrmRelatPrato&)> fromCode;  // set before the click
    const char* outcome;                                    // last event of the click
};

const char* kRan = "report: preview - 1";
const char* kAborted = "abort";

class ParamGolden : public ::testing::TestWithParam<GoldenCase> {};

TEST_P(ParamGolden, DumpParamsMatchesTheGoldenFile) {
    const GoldenCase& c = GetParam();
    pla013::runtime::HostOptions o;
    o.module = c.module;
    PrintHost host(o, printingtest::kFourLevelPicture);
    auto prep = host->run(c.steps);
    ASSERT_EQ(prep.status, 0) << prep.err;
    ASSERT_NE(host->form(), nullptr);
    if (c.fromCode) c.fromCode(*host->form());
    auto r = host->run("preview\n");
    ASSERT_EQ(r.status, 0) << r.err;
    const Lines ev = events(r.lines);
    ASSERT_FALSE(ev.empty());
    EXPECT_EQ(ev.back(), c.outcome) << ::testing::PrintToString(ev);
    EXPECT_EQ(dumpParams(host), goldenLines(c.golden));
}

const char* kDishes3 = "type medCdPratoIni 3\ntype medCdPratoFin 3\n";
const char* kAugust = "type depDataInic 01/08/2024\ntype depDataFina 31/08/2024\n";

INSTANTIATE_TEST_SUITE_P(
    Positions, ParamGolden,
    ::testing::Values(
        GoldenCase{
            "pos0_padrao_codigo", 'P', "launch\nreport 0\ntype medCdPratoIni 3\ntype medCdPratoFin 300\n", {}, kRan},
        GoldenCase{"pos1_padrao_outra_filial",
                   'P',
                   "launch\nreport 1\nclick rdbLocal\ntype medCdFilial 0002\nclick rdbPadrao\n"
                   "type medCdPratoIni 3\ntype medCdPratoFin 300\n",
                   {},
                   kRan},
        GoldenCase{"pos1_local_nivel2",
                   'P',
                   "launch\nreport 1\nclick rdbLocal\ntype medCdFilial 0002\nclick chbNutriente\n"
                   "select rdgDadosOperador 1\ntype speNivel 2\ntype medCdPratoIni 300\n"
                   "type medCdPratoFin 3000100002\n",
                   {},
                   kRan},
        GoldenCase{"pos1_servico_opcoes",
                   'P',
                   "launch\nreport 1\nclick rdbServico\ntype medCdFilial 0002\ntype medCdServFili 1\n"
                   "click chbProduto\nclick chbModPrep\nclick chbFoto\ntype medCdPratoIni 30001\n"
                   "type medCdPratoFin 30001\n",
                   {},
                   kRan},
        GoldenCase{"pos2_local_servidor",
                   'P',
                   "launch\nreport 2\ntype medCdFilial 0002\nselect cbbTipoCust 2\ntype medCdPratoIni 30001\n"
                   "type medCdPratoFin 31001\n",
                   {},
                   kRan},
        GoldenCase{"pos3_servico",
                   'P',
                   "launch\nreport 3\ntype medCdFilial 0002\ntype medCdServFili 00002\ntype medCdPratoIni 4\n"
                   "type medCdPratoFin 40003\n",
                   {},
                   kRan},
        GoldenCase{
            "pos4_lista",
            'P',
            std::string("launch\nreport 4\nclick rbtListFili\nanswer list 0002,0003\nclick btnFilialCent\n") + kDishes3,
            {},
            kRan},
        GoldenCase{
            "pos5_datas_iguais",
            'P',
            std::string("launch\nreport 5\ntype depDataInic 01/08/2024\ntype depDataFina 01/08/2024\n") + kDishes3,
            {},
            kRan},
        GoldenCase{"pos0_datas_desabilitadas", 'P', std::string("launch\n") + kDishes3,
                   [](pla013::TfrmRelatPrato& f) {
                       f.depDataInic->SetText("02/08/2024");
                       f.depDataFina->SetText("01/08/2024");
                   },
                   kRan},
        GoldenCase{"pos6_sem_origem",
                   'P',
                   "launch\nreport 6\ntype medCdFilial 0003\ntype medCdPratoIni 4\ntype medCdPratoFin 40001\n",
                   {},
                   kRan},
        GoldenCase{
            "pos7_tipo_cardapio", '8', std::string("launch\nreport 7\ntype medCdTpCard 10\n") + kDishes3, {}, kRan},
        GoldenCase{"pos8_todas_todos", 'P', std::string("launch\nreport 8\n") + kAugust + kDishes3, {}, kRan},
        GoldenCase{"pos8_listas",
                   'P',
                   std::string("launch\nreport 8\nclick rbtFilialLista\nanswer list 0002,0003\nclick btnFili\n"
                               "click rdbServicoLista\nanswer list 000200001,000300002\nclick btnServicoLista\n") +
                       kAugust + kDishes3,
                   {},
                   kRan},
        GoldenCase{"pos9_padrao_produtos", 'P', std::string("launch\nreport 9\n") + kDishes3, {}, kRan},
        GoldenCase{"pos2_datas_invertidas", 'P',
                   "launch\nreport 2\ntype medCdFilial 0002\ntype medCdPratoIni 30001\ntype medCdPratoFin 30001\n",
                   [](pla013::TfrmRelatPrato& f) {
                       f.depDataInic->SetEnabled(true);
                       f.depDataFina->SetEnabled(true);
                       f.depDataInic->SetText("02/08/2024");
                       f.depDataFina->SetText("01/08/2024");
                   },
                   kAborted}),
    [](const ::testing::TestParamInfo<GoldenCase>& info) { return std::string(info.param.golden); });

// ------------------------------------------------------------ lists

TEST(QueryParams, PositionEightStoresAllIntoTheListFields) {
    PrintHost host;
    auto r = host->run(std::string("launch\nreport 8\n") + kAugust + kDishes3 + "preview\ndump-form\n");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.lines.back().find("\"FListaFilial\":\"T\",\"FListaServico\":\"T\""), std::string::npos)
        << r.lines.back();
    // Other positions leave the list fields alone.
    host->form()->FListaFilial.clear();
    host->form()->FListaServico.clear();
    r = host->run("report 0\npreview\n");
    EXPECT_EQ(events(r.lines).back(), kRan);
    EXPECT_EQ(host->form()->FListaFilial, "");
    EXPECT_EQ(host->form()->FListaServico, "");
}

// ------------------------------------------------- declared parameters

TEST(QueryParams, OnlyDeclaredParametersExist) {
    auto declare = [](const std::string& code) {
        return code == "09" ? std::vector<std::string>{"P_TCDFILISERV", "P_CDFILIAL"} : std::vector<std::string>{};
    };
    PrintHost host({}, {}, declare);
    auto r = host->run(std::string("launch\nreport 8\n") + kAugust + kDishes3 + "preview\n");
    EXPECT_EQ(events(r.lines).back(), kRan);
    EXPECT_EQ(dumpParams(host), (Lines{R"({"Param":"P_TCDFILISERV","DataType":"string","Value":"T"})",
                                       R"({"Param":"P_CDFILIAL","DataType":"string","Value":"T"})"}));
}

TEST(QueryParams, DirectCallTouchesNothingUndeclared) {
    PrintHost host;
    ASSERT_EQ(host->run("launch\nreport 7\n").status, 0);
    auto& f = *host->form();
    ASSERT_TRUE(f.rdbTipo->Checked());

    pla013::host::TParams params;
    params.CreateParam(pla013::host::FieldType::String, "P_IDTIPORECE").SetAsString("X");
    params.CreateParam(pla013::host::FieldType::String, "p_cdfilauxprat");  // names compare without regard to case
    params.CreateParam(pla013::host::FieldType::String, "P_OUTRO").SetAsString("intocado");
    params.CreateParam(pla013::host::FieldType::Integer, "P_NIVEL");
    bool flag = true;
    f.rpddPadraoBeforeGetQueryParams(params, flag);

    EXPECT_TRUE(flag);
    ASSERT_EQ(params.Count(), 4u);
    EXPECT_EQ(params.ParamByName("P_IDTIPORECE").AsString(), "X") << "Tipo de Cardápio sets no recipe type";
    EXPECT_EQ(params.ParamByName("P_CDFILAUXPRAT").AsString(), "0001");
    EXPECT_EQ(params.ParamByName("P_OUTRO").AsString(), "intocado");
    EXPECT_EQ(params.ParamByName("P_NIVEL").Value().toInt(), 5);
    EXPECT_EQ(params.FindParam("P_CDFILIAL"), nullptr);

    flag = false;
    pla013::host::TParams none;
    f.rpddPadraoBeforeGetQueryParams(none, flag);
    EXPECT_FALSE(flag);
    EXPECT_EQ(none.Count(), 0u);
}

TEST(QueryParams, NoDeclaredParameterStillTestsDatesAndFetchesServerData) {
    PrintHost host({}, {}, [](const std::string&) { return std::vector<std::string>{}; });
    ASSERT_EQ(host->run("launch\nreport 5\ntype depDataInic 02/08/2024\ntype depDataFina 01/08/2024\n"
                        "type medCdPratoIni 3\ntype medCdPratoFin 3\n")
                  .status,
              0);
    auto r = host->run("preview\n");
    EXPECT_EQ(events(r.lines),
              (Lines{"focus: depDataInic", "message: Data inicial deve ser menor ou igual a data final.", "abort"}));
    EXPECT_TRUE(dumpParams(host).empty());

    auto& f = *host->form();
    r = host->run("report 2\ntype medCdFilial 0002\ntype medCdPratoIni 30001\ntype medCdPratoFin 30001\npreview\n");
    EXPECT_EQ(events(r.lines).back(), kRan);
    EXPECT_GT(f.cdsReceitaPadLoc->RecordCount(), 0);
    r = host->run("report 3\ntype medCdServFili 00002\ntype medCdPratoIni 4\ntype medCdPratoFin 40003\npreview\n");
    EXPECT_EQ(events(r.lines).back(), kRan);
    EXPECT_GT(f.cdsReceitaPadSer->RecordCount(), 0);
    r = host->run("report 4\ntype medCdPratoIni 1\ntype medCdPratoFin 91002\npreview\n");
    EXPECT_EQ(events(r.lines).back(), kRan);
    EXPECT_GT(f.cdsRecPLCent->RecordCount(), 0);
}

// ------------------------------------------------------------ date order

TEST(QueryParams, DateOrderFailureFetchesNoServerData) {
    PrintHost host;
    ASSERT_EQ(host->run("launch\nreport 2\ntype medCdFilial 0002\ntype medCdPratoIni 30001\n"
                        "type medCdPratoFin 30001\npreview\n")
                  .status,
              0);
    auto& f = *host->form();
    const auto before = f.cdsReceitaPadLoc->Snapshot();
    ASSERT_FALSE(before.rows.empty());

    // A narrower range would change the composition, were it fetched.
    f.medCdPratoIni->SetText("31001");
    f.medCdPratoFin->SetText("31001");
    f.depDataInic->SetEnabled(true);
    f.depDataFina->SetEnabled(true);
    f.depDataInic->SetText("15/08/2024");
    f.depDataFina->SetText("14/08/2024");
    auto r = host->run("preview\n");
    EXPECT_EQ(events(r.lines),
              (Lines{"focus: depDataInic", "message: Data inicial deve ser menor ou igual a data final.", "abort"}));
    const auto after = f.cdsReceitaPadLoc->Snapshot();
    EXPECT_TRUE(after.rows == before.rows) << "the composition was fetched again";

    f.depDataFina->SetText("15/08/2024");
    r = host->run("preview\n");
    EXPECT_EQ(events(r.lines).back(), kRan);
    f.cdsReceitaPadLoc->First();
    EXPECT_EQ(f.cdsReceitaPadLoc->FieldByName("CDPRATO").AsString(), "31001");
}

}  // namespace
