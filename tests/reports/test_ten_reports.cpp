// The ten report definitions of the family, each run against a real sample
// database with its parameters bound as the form binds them: the pages hold
// the values the sample data holds, and every format is written.

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <set>

#include <nlohmann/json.hpp>

#include "../db/DbTestSupport.h"
#include "FormBinding.h"
#include "ReportsTestSupport.h"
#include "host/BaseForm.h"
#include "host/Errors.h"
#include "platform/reports/PdfRenderer.h"
#include "platform/reports/ReportDefinition.h"
#include "platform/reports/ReportRunner.h"

using namespace reportstest;
using pla013::reports::ParamType;
using pla013::reports::ReportDefinition;
using pla013::reports::ReportRunner;

namespace {

// The report codes by position in the report list.
const std::vector<std::string> kCodes = {"01", "02", "03", "04", "05", "06", "07", "08", "09", "0A"};

// Every parameter name the form knows, with the type it binds it with.
const std::map<std::string, ParamType> kFormParams = {
    {"P_CDFILAUXPRAT", ParamType::String},   {"P_CDFILIAL", ParamType::String},
    {"P_CDSERVFILI", ParamType::String},     {"P_CDFILIPROC", ParamType::String},
    {"P_LISTAFILI", ParamType::String},      {"P_PRATOINICIAL", ParamType::String},
    {"P_PRATOFINAL", ParamType::String},     {"P_CDPRATOINIC", ParamType::String},
    {"P_CDPRATOFINA", ParamType::String},    {"P_MAXNIVEL", ParamType::Integer},
    {"P_NIVEL", ParamType::Integer},         {"P_ORDENA", ParamType::Integer},
    {"P_IDTIPORECE", ParamType::String},     {"P_IDRECEITA", ParamType::String},
    {"P_IDPREPARO", ParamType::String},      {"P_IDFOTO", ParamType::String},
    {"P_IDNUTRIENTE", ParamType::String},    {"P_NRTIPOCUST", ParamType::Integer},
    {"P_DTREFERENCIA", ParamType::DateTime}, {"P_DTINICIAL", ParamType::Date},
    {"P_DTFINAL", ParamType::Date},          {"P_DATAINICIAL", ParamType::String},
    {"P_DATAFINAL", ParamType::String},      {"P_CDFILCENTPME", ParamType::String},
    {"P_CDTIPOCARD", ParamType::String},     {"P_NMFILCENTPME", ParamType::String},
    {"P_NMTIPOCARD", ParamType::String},     {"P_TCDFILIAL", ParamType::String},
    {"P_CDFILISERV", ParamType::String},     {"P_TCDFILISERV", ParamType::String},
};

std::string definitionPath(const std::string& code) { return reportsFolder() + "/PLA013" + code + ".QR2"; }

// --- the comparison data sets, composed from the database as the
// application server composes them: line k of one recipe beside line k of
// the other.

struct Line {
    std::string produto, arv, nome, unid;
    double qt = 0;
    pla013::host::Variant custo;
};
using Dish = std::tuple<std::string, std::string, std::string>;  // code, owner, name

const char* kLineSql =
    "SELECT R.CDPRATO, R.CDFILAUXPRAT, D.NMPRATO, R.CDPRODUTO, PR.CDARV, PR.NMPRODUTO, PR.SGUNIDPROD, R.QTBRUTPROD,"
    "       R.QTBRUTPROD * (SELECT K.VRCUSTO FROM CUSTOPRODUTO K WHERE K.CDPRODUTO = R.CDPRODUTO"
    "                       AND K.NRTIPOCUST = :T AND K.DTVALIDADE <= :D ORDER BY K.DTVALIDADE DESC LIMIT 1) AS "
    "VRCUSTO "
    "FROM %s R JOIN PRATO D ON D.CDPRATO = R.CDPRATO AND D.CDFILAUXPRAT = R.CDFILAUXPRAT "
    "JOIN PRODUTO PR ON PR.CDPRODUTO = R.CDPRODUTO "
    "WHERE R.CDPRATO >= :A AND R.CDPRATO <= :B %s ORDER BY R.CDPRATO, R.CDFILAUXPRAT, R.NRSEQU";

std::map<Dish, std::vector<Line>> recipeLines(pla013::db::SociDatabase& db, const std::string& table,
                                              const std::string& where, pla013::db::SqlParams params) {
    char sql[2048];
    std::snprintf(sql, sizeof sql, kLineSql, table.c_str(), where.c_str());
    pla013::host::DataPacket p = db.query(sql, params, table);
    std::map<Dish, std::vector<Line>> out;
    for (const auto& r : p.rows) {
        Line l{r[3].toString(), r[4].toString(), r[5].toString(), r[6].toString(), r[7].toDouble(), r[8]};
        out[{r[0].toString(), r[1].toString(), r[2].toString()}].push_back(l);
    }
    return out;
}

// Rows of cdsReceitaPadLoc / cdsReceitaPadSer (suffix "L" or "S").
pla013::host::DataPacket sideBySide(const std::map<Dish, std::vector<Line>>& standard,
                                    const std::map<Dish, std::vector<Line>>& other, const std::string& s,
                                    const std::string& branch) {
    pla013::host::DataPacket p;
    using pla013::host::FieldType;
    p.fields = {{"CDPRATO", FieldType::String, 10},
                {"NMPRATO", FieldType::String, 40},
                {"CDFILAUXPRAT", FieldType::String, 4},
                {"NRSEQUPRATO", FieldType::Integer, 0}};
    for (const std::string& side : {std::string("P"), s}) {
        p.fields.push_back({"CDPRODUTO" + side, FieldType::String, 10});
        p.fields.push_back({"CDARV" + side, FieldType::String, 20});
        p.fields.push_back({"NMPRODUTO" + side, FieldType::String, 50});
        p.fields.push_back({"SGUNIDPROD" + side, FieldType::String, 10});
        p.fields.push_back({"QTBRUTPROD" + side, FieldType::Float, 0});
        p.fields.push_back({"VRCUSTPROD" + side, FieldType::Float, 0});
    }
    // The dishes the branch sees with a line on either side.
    std::set<Dish> dishes;
    for (const auto& [d, l] : other) dishes.insert(d);
    for (const auto& [d, l] : standard)
        if (std::get<1>(d) == "P" || std::get<1>(d) == branch) dishes.insert(d);
    for (const auto& d : dishes) {
        const std::vector<Line> st = standard.count(d) ? standard.at(d) : std::vector<Line>{};
        const std::vector<Line> ot = other.count(d) ? other.at(d) : std::vector<Line>{};
        for (std::size_t k = 0; k < std::max(st.size(), ot.size()); ++k) {
            std::vector<pla013::host::Variant> row{std::get<0>(d), std::get<2>(d), std::get<1>(d),
                                                   pla013::host::Variant(std::int64_t(k + 1))};
            for (const std::vector<Line>* side : {&st, &ot}) {
                if (k < side->size()) {
                    const Line& l = (*side)[k];
                    row.insert(row.end(), {l.produto, l.arv, l.nome, l.unid, l.qt,
                                           l.custo.isNull() ? pla013::host::Variant::null()
                                                            : pla013::host::Variant(l.custo.toDouble())});
                } else {
                    for (int i = 0; i < 6; ++i) row.push_back(pla013::host::Variant::null());
                }
            }
            p.rows.push_back(row);
        }
    }
    return p;
}

// What the form owns and the comparison reports read.
struct ComparisonSources {
    pla013::host::TClientDataSet* padLoc;
    pla013::host::TClientDataSet* padSer;
    pla013::host::TClientDataSet* plCent;
};

ComparisonSources addSources(pla013::host::TfrmDadosGerRel& form) {
    ComparisonSources s{form.AddComponent<pla013::host::TClientDataSet>("cdsReceitaPadLoc"),
                        form.AddComponent<pla013::host::TClientDataSet>("cdsReceitaPadSer"),
                        form.AddComponent<pla013::host::TClientDataSet>("cdsRecPLCent")};
    form.AddComponent<pla013::host::TDataSource>("dtsRelatRecPaLo", s.padLoc);
    form.AddComponent<pla013::host::TDataSource>("dtsRelatRecPaSe", s.padSer);
    form.AddComponent<pla013::host::TDataSource>("dtsRecPLCent", s.plCent);
    return s;
}

pla013::db::SqlParams lineParams(const FormChoices& c) {
    std::string fin = c.pratoFin + std::string(10 - c.pratoFin.size(), 'Z');
    return {{"A", c.pratoIni}, {"B", fin}, {"T", c.nrTipoCust}, {"D", pla013::host::Variant::date(c.dataProc)}};
}

void fillPadLoc(pla013::host::TClientDataSet& cds, pla013::db::SociDatabase& db, const FormChoices& c) {
    auto p = lineParams(c);
    auto std = recipeLines(db, "RECEITAPRATO", "", p);
    p.emplace_back("F", c.cdFilial);
    auto loc = recipeLines(db, "RECEITALOCAL", "AND R.CDFILIAL = :F", p);
    cds.SetData(sideBySide(std, loc, "L", c.cdFilial));
}

void fillPadSer(pla013::host::TClientDataSet& cds, pla013::db::SociDatabase& db, const FormChoices& c) {
    auto p = lineParams(c);
    auto std = recipeLines(db, "RECEITAPRATO", "", p);
    p.emplace_back("F", c.cdFilial);
    p.emplace_back("S", c.cdServFili);
    auto ser = recipeLines(db, "RECEITASERV", "AND R.CDFILIAL = :F AND R.CDSERVFILI = :S", p);
    cds.SetData(sideBySide(std, ser, "S", c.cdFilial));
}

// Rows of cdsRecPLCent: per branch with local recipes, per dish, both costs.
void fillPlCent(pla013::host::TClientDataSet& cds, pla013::db::SociDatabase& db, const FormChoices& c) {
    auto p = lineParams(c);
    auto std = recipeLines(db, "RECEITAPRATO", "", p);
    pla013::host::DataPacket branches = db.query(
        "SELECT DISTINCT R.CDFILIAL, F.NMFILIAL FROM RECEITALOCAL R "
        "JOIN FILIAL F ON F.CDFILIAL = R.CDFILIAL ORDER BY R.CDFILIAL",
        {}, "branches");
    pla013::host::DataPacket out;
    using pla013::host::FieldType;
    out.fields = {{"CDFILIALL", FieldType::String, 4},  {"CDFILAUXPRAT", FieldType::String, 4},
                  {"CDPRATO", FieldType::String, 10},   {"NMPRATO", FieldType::String, 40},
                  {"VRCUSTPRATP", FieldType::Float, 0}, {"VRCUSTPRATL", FieldType::Float, 0},
                  {"NMFILIAL", FieldType::String, 30},  {"QTLINHASP", FieldType::Integer, 0}};
    auto total = [](const std::vector<Line>& lines) {
        double sum = 0;
        for (const auto& l : lines) {
            if (l.custo.isNull()) return pla013::host::Variant::null();
            sum += l.custo.toDouble();
        }
        return pla013::host::Variant(sum);
    };
    for (const auto& b : branches.rows) {
        std::string branch = b[0].toString();
        if (c.listaFilial != "T" && c.listaFilial.find(branch) == std::string::npos) continue;
        auto bp = p;
        bp.emplace_back("F", branch);
        for (const auto& [d, lines] : recipeLines(db, "RECEITALOCAL", "AND R.CDFILIAL = :F", bp)) {
            pla013::host::Variant pc = std.count(d) ? total(std.at(d)) : pla013::host::Variant::null();
            const std::int64_t standardLines = std.count(d) ? std::int64_t(std.at(d).size()) : 0;
            out.rows.push_back({branch, std::get<1>(d), std::get<0>(d), std::get<2>(d), pc, total(lines), b[1],
                                pla013::host::Variant(standardLines)});
        }
    }
    cds.SetData(out);
}

struct ReportCase {
    std::string name;
    std::string code;
    FormChoices choices;
    std::vector<std::string> expected;
    std::vector<std::string> absent;
    int images = 0;
};

// Cases named "...WithoutCost" run with a product that has no cost at all.
const char* kWithoutCostSql = "DELETE FROM CUSTOPRODUTO WHERE CDPRODUTO = '2003'";

std::vector<ReportCase> cases() {
    std::vector<ReportCase> out;
    FormChoices c;
    c.position = 0;
    c.pratoIni = "1";
    c.pratoFin = "9";
    out.push_back({"DishListByCode",
                   "01",
                   c,
                   {"Relação de Pratos", "Salada de alface e tomate", "Vitamina de banana", "Ordenação: Código",
                    "Total de pratos: 45"},  // 65 codes: 45 dishes under 20 groups
                   {"Carne de panela com mandioca"}});
    c.ordena = 1;
    c.nivel = 1;
    out.push_back({"DishListAlphabeticalWithinLevel", "01", c, {"Alfabética pelo nível", "Caldo verde"}, {}});

    c = {};
    c.position = 1;
    c.pratoIni = "30001";
    c.pratoFin = "31001";
    c.produto = c.modPrep = c.foto = c.nutriente = true;
    out.push_back({"RecipeSheetsStandardWithEverything",
                   "02",
                   c,
                   {"Fichas Técnicas das Receitas", "Prato 30001 - Carne de panela com batatas", "Carne bovina acém",
                    "Modo de preparo", "panela de pressão", "Valor nutricional", "315,1", "Origem da receita: Padrão"},
                   {"mandioca"},
                   2});
    c.origin = 'F';
    c.cdFilial = "0002";
    c.produto = c.foto = c.nutriente = false;
    out.push_back({"RecipeSheetsLocalPreparationOnly",
                   "02",
                   c,
                   {"Origem da receita: Local", "Filial: 0002", "Prato 30001 - Carne de panela com mandioca",
                    "Modo de preparo", "mandioca cozida à parte"},
                   {"Carne bovina acém", "Valor nutricional"},
                   0});
    c.origin = 'S';
    c.cdServFili = "00002";
    c.pratoIni = "3";
    c.pratoFin = "4";
    c.produto = true;
    c.modPrep = false;
    out.push_back({"RecipeSheetsOfService",
                   "02",
                   c,
                   {"Por serviço", "Serviço: 00002", "Feijão carioca", "Quibe de abóbora"},
                   {"Modo de preparo"}});

    c = {};
    c.position = 2;
    c.origin = 'F';
    c.cdFilial = "0002";
    c.pratoIni = "20001";
    c.pratoFin = "33004";
    out.push_back({"StandardBesideLocal",
                   "03",
                   c,
                   {"Receita Padrão x Receita Local", "Escola Municipal São João", "Custo médio", "15/03/2024",
                    "Carne de panela com batatas", "Custo do prato", "Total geral", "Mandioca"},
                   {}});

    c = {};
    c.position = 3;
    c.origin = 'S';
    c.cdFilial = "0002";
    c.cdServFili = "00002";
    c.pratoIni = "30001";
    c.pratoFin = "40003";
    out.push_back(
        {"StandardBesideService",
         "04",
         c,
         {"Receita Padrão x Receita do Serviço", "Almoço escolar", "Feijão carioca", "Alho", "Custo do prato"},
         {}});

    c = {};
    c.position = 4;
    c.listaFilial = "T";
    c.pratoIni = "1";
    c.pratoFin = "9";
    c.nrTipoCust = 2;
    out.push_back({"CostByBranch",
                   "05",
                   c,
                   {"Custo dos Pratos", "Último custo", "Filiais: Todas", "Filial 0002 - Escola Municipal São João",
                    "Filial 0003 - Escola Estadual Conceição", "Total da filial", "Arroz branco"},
                   {}});

    // A product without cost: its lines print "sem custo", take no part in a
    // difference, and the totals count them instead of adding them as 0.
    c = {};
    c.position = 2;
    c.origin = 'F';
    c.cdFilial = "0002";
    c.pratoIni = c.pratoFin = "20001";
    out.push_back({"StandardBesideLocalWithoutCost",
                   "03",
                   c,
                   {"Cebola", "sem custo", "Custo do prato   sem custo: 3   sem par: 1", "0,31 incompleto",
                    "0,34 incompleto", "Total geral   sem receita local: 0   fora das somas: 1"},
                   {"-100"}});
    c = {};
    c.position = 4;
    c.listaFilial = "0002";
    c.pratoIni = c.pratoFin = "20001";
    out.push_back({"CostByBranchWithoutCost", "05", c, {"sem custo", "Fora da soma: 1"}, {"-100"}});

    c = {};
    c.position = 5;
    c.listaFilial = "0002,0006";
    c.dtInicial = pla013::host::EncodeDate(2024, 3, 4);
    c.dtFinal = pla013::host::EncodeDate(2024, 3, 5);
    c.pratoIni = "1";
    c.pratoFin = "9";
    out.push_back(
        {"MenuDishesInPeriod",
         "06",
         c,
         {"Pratos dos Cardápios por Período", "Filiais: 0002,0006", "Período de: 04/03/2024", "até: 05/03/2024",
          "04/03/2024 (segunda-feira)", "Almoço escolar", "Filé de tilápia grelhado", "Restaurante Industrial Açu"},
         {"06/03/2024", "Escola Estadual Conceição"}});

    c = {};
    c.position = 6;
    c.origin = ' ';
    c.cdFilial = "0002";
    c.pratoIni = "1";
    c.pratoFin = "9";
    out.push_back({"BranchOwnDishes",
                   "07",
                   c,
                   {"Pratos Próprios da Filial", "Filial 0002 - Escola Municipal São João",
                    "Carne de panela com mandioca", "Quibe de abóbora", "Total de pratos: 3"},
                   {"Carne de panela com batatas"}});

    c = {};
    c.position = 7;
    c.origin = 'T';
    c.cdCentral = "0001";
    c.nmCentral = "Central de Merenda Norte";
    c.cdTpCard = "0000000002";
    c.nmTpCard = "Cardápio de creche (0 a 3 anos)";
    c.pratoIni = "1";
    c.pratoFin = "9";
    c.produto = true;
    c.foto = true;
    out.push_back(
        {"RecipesByMenuType",
         "08",
         c,
         {"Receitas por Tipo de Cardápio", "Central 0001 - Central de Merenda Norte", "Cardápio de creche (0 a 3 anos)",
          "Papinha de frutas", "Banana prata", "Purê de abóbora", "Prato sem receita padrão cadastrada."},
         {"Carne de panela"},
         0});

    c = {};
    c.position = 8;
    c.listaFilial = "0002";
    c.listaServico = "000200002";
    c.dtInicial = pla013::host::EncodeDate(2024, 3, 4);
    c.dtFinal = pla013::host::EncodeDate(2024, 3, 5);
    c.pratoIni = "1";
    c.pratoFin = "9";
    c.produto = true;
    c.modPrep = true;
    out.push_back(
        {"MenuRecipesByBranchAndService",
         "09",
         c,
         {"Receitas dos Cardápios por Filial e Serviço", "Serviço 00002 - Almoço escolar",
          "Cardápio de 04/03/2024 (segunda-feira)", "Frango assado com ervas   (receita local)",
          "Feijão carioca   (receita do serviço)", "Arroz branco   (receita padrão)",
          "Salada de repolho com cenoura   (receita não cadastrada)", "Açafrão-da-terra em pó", "Modo de preparo"},
         {"Lanche da manhã", "06/03/2024"}});
    c.listaFilial = "T";
    c.listaServico = "T";
    c.produto = false;
    c.modPrep = false;
    out.push_back({"MenuRecipesAllBranches",
                   "09",
                   c,
                   {"Filiais: Todas", "Serviços: Todos", "Lanche da manhã", "Merenda integral"},
                   {"Modo de preparo"}});

    c = {};
    c.position = 9;
    c.pratoIni = "20001";
    c.pratoFin = "20002";
    c.nrTipoCust = 1;
    out.push_back({"RecipeSheetsWithCost",
                   "0A",
                   c,
                   {"Fichas Técnicas com Custo das Receitas", "Custo médio", "Sopa de legumes", "Cheiro-verde",
                    "sem custo", "0,39 incompleto", "Custo total do prato", "Atenção: 1 produto(s) sem custo",
                    "Canja de galinha", "1,34", "Total geral   pratos com custo incompleto: 1"},
                   {}});
    return out;
}

class TenReports : public ::testing::TestWithParam<ReportCase> {
protected:
    void SetUp() override {
        pla013::reports::ReportRunnerOptions o;
        o.reportFolder = reportsFolder();
        o.database = &m_db.db();
        o.previewSink = [this](const pla013::reports::PreviewPages& p) {
            m_preview.clear();
            p.eachPage([this](const std::string& text) {
                m_preview.push_back(text);
                return true;
            });
        };
        o.reportLine = [this](const std::string& l) { m_lines.push_back(l); };
        o.clock = [] { return pla013::host::EncodeDate(2024, 3, 20) + 0.5; };
        m_runner = std::make_unique<ReportRunner>(o);
        m_sources = addSources(m_form);
        const ReportCase& rc = GetParam();
        m_form.rpddPadrao->BeforeGetQueryParams = [this, rc](pla013::host::TParams& params, bool&) {
            bindLikeTheForm(params, rc.choices);
            if (rc.name.ends_with("WithoutCost")) m_db.db().execute(kWithoutCostSql);
            // The server data of the comparison reports, fetched while binding.
            if (rc.code == "03") fillPadLoc(*m_sources.padLoc, m_db.db(), rc.choices);
            if (rc.code == "04") fillPadSer(*m_sources.padSer, m_db.db(), rc.choices);
            if (rc.code == "05") fillPlCent(*m_sources.plCent, m_db.db(), rc.choices);
        };
    }

    std::string run(pla013::host::ReportTarget target, const std::string& file = {}) {
        m_runner->Run(m_form, "PLA013" + GetParam().code + ".QR2", target, file);
        return file;
    }

    SampleDatabase m_db;
    TempDir m_dir;
    pla013::host::TfrmDadosGerRel m_form{"frmTeste"};
    ComparisonSources m_sources{};
    std::unique_ptr<ReportRunner> m_runner;
    std::vector<std::string> m_preview;  // the pages of the last preview
    std::vector<std::string> m_lines;
};

TEST_P(TenReports, PreviewHoldsTheSampleValues) {
    const ReportCase& rc = GetParam();
    run(pla013::host::ReportTarget::Preview);
    ASSERT_FALSE(m_preview.empty());
    std::string all;
    for (const auto& p : m_preview) all += p;
    for (const auto& e : rc.expected) EXPECT_NE(all.find(e), std::string::npos) << "missing: " << e << "\n" << all;
    for (const auto& a : rc.absent) EXPECT_EQ(all.find(a), std::string::npos) << "unexpected: " << a << "\n" << all;
    EXPECT_EQ(all.find('{'), std::string::npos) << "a placeholder left unexpanded:\n" << all;
    const std::string total = " de " + std::to_string(m_preview.size());
    EXPECT_NE(m_preview.front().find("Página 1" + total), std::string::npos);
    EXPECT_NE(m_preview.back().find("Página " + std::to_string(m_preview.size()) + total), std::string::npos);
    EXPECT_NE(all.find("Impresso em 20/03/2024 às 12:00"), std::string::npos);
    ASSERT_EQ(m_lines.size(), 1u);
    EXPECT_EQ(m_lines[0], "report: preview - " + std::to_string(m_preview.size()));
    // The first case of each report keeps its pages as a golden text: where
    // pages break, the headings of groups that go on, the columns' widths
    // and gutters.
    const auto list = cases();
    if (std::find_if(list.begin(), list.end(), [&](const ReportCase& c) { return c.code == rc.code; })->name ==
        rc.name) {
        std::string text;
        for (const auto& p : m_preview) text += p + "\f\n";
        expectGolden("PLA013" + rc.code + ".txt", text);
    }
}

// pdftotext lays text out again: runs of blanks are compared as one.
std::string squeeze(const std::string& s) {
    std::string out;
    for (char c : s)
        if (!(c == ' ' && !out.empty() && out.back() == ' ')) out += c;
    return out;
}

TEST_P(TenReports, PdfHoldsTheSampleValues) {
    ReportCase rc = GetParam();
    for (auto& e : rc.expected) e = squeeze(e);
    std::string pdf = run(pla013::host::ReportTarget::File, m_dir.file("relatorio.pdf"));
    std::string text = squeeze(pdfText(pdf));
    ReportDefinition def = ReportDefinition::load(definitionPath(rc.code));
    EXPECT_NE(text.find(def.title), std::string::npos) << text;
    EXPECT_NE(text.find("Página 1 de"), std::string::npos) << text;
    for (const auto& e : rc.expected) EXPECT_NE(text.find(e), std::string::npos) << "missing: " << e << "\n" << text;
    for (const auto& a : rc.absent) EXPECT_EQ(text.find(a), std::string::npos) << "unexpected: " << a;
    EXPECT_EQ(pdfImageCount(pdf), rc.images);
    ASSERT_EQ(m_lines.size(), 1u);
    EXPECT_EQ(m_lines[0].rfind("report: file " + pdf + " ", 0), 0u) << m_lines[0];

    // A sound file of the pages the run counted, its fonts embedded as
    // subsets with their Unicode maps (the accents read back above).
    int status = 0;
    const std::string check = reportstest::run("qpdf --check " + shellQuote(pdf) + " 2>&1", status);
    EXPECT_EQ(status, 0) << check;
    const std::string info = reportstest::run("pdfinfo " + shellQuote(pdf), status);
    const std::size_t pages = info.find("\nPages:");
    ASSERT_NE(pages, std::string::npos) << info;
    EXPECT_EQ(std::stoul(info.substr(pages + 7)), std::stoul(m_lines[0].substr(m_lines[0].rfind(' ') + 1)))
        << info << m_lines[0];
    const std::string fonts = reportstest::run("pdffonts " + shellQuote(pdf), status);
    std::size_t embedded = 0;
    for (std::size_t at = fonts.find("CID TrueType"); at != std::string::npos;
         at = fonts.find("CID TrueType", at + 1)) {
        const std::string line = fonts.substr(at, fonts.find('\n', at) - at);
        EXPECT_NE(line.find("Identity-H       yes yes yes"), std::string::npos) << fonts;
        ++embedded;
    }
    EXPECT_GE(embedded, 2u) << fonts;
    EXPECT_EQ(fonts.find("Type 1"), std::string::npos) << fonts;
}

TEST_P(TenReports, EveryFormatIsWritten) {
    for (const std::string ext : {".html", ".csv", ".xlsx"}) {
        std::string file = run(pla013::host::ReportTarget::File, m_dir.file("relatorio" + ext));
        std::string content = readFile(file);
        EXPECT_GT(content.size(), 20u) << ext;
        if (ext == ".xlsx") {
            int status = 0;
            std::string list = unzipList(file, status);
            EXPECT_EQ(status, 0) << list;
            EXPECT_NE(list.find("xl/worksheets/sheet1.xml"), std::string::npos) << list;
        }
    }
    // Nothing but the three files: no temporary file stays behind.
    EXPECT_EQ(m_dir.entries(), (std::vector<std::string>{"relatorio.csv", "relatorio.html", "relatorio.xlsx"}));
}

INSTANTIATE_TEST_SUITE_P(Sample, TenReports, ::testing::ValuesIn(cases()),
                         [](const ::testing::TestParamInfo<ReportCase>& i) { return i.param.name; });

// The definitions' SQL is the same on every engine: the same rows, in the
// same order, give the same CSV (on PostgreSQL and Firebird read through
// their cursors, in the read-only transaction).
TEST(TenReportsOnServers, SameOutputAsOnSqlite) {
    SampleDatabase lite;
    bool ran = false;
    for (const auto engine : {pla013::db::DbEngine::PostgreSQL, pla013::db::DbEngine::Firebird}) {
        if (dbtest::unavailable(engine)) continue;
        SCOPED_TRACE(dbtest::engineName(engine));
        ran = true;
        dbtest::ScratchDatabase server(engine, true);
        TempDir dir;
        for (const auto& rc : cases()) {
            if (rc.code == "03" || rc.code == "04" || rc.code == "05") continue;  // read the form's data sets
            SCOPED_TRACE(rc.name);
            std::vector<std::string> files;
            for (pla013::db::SociDatabase* db : {&lite.db(), &server.db()}) {
                pla013::reports::ReportRunnerOptions o;
                o.reportFolder = reportsFolder();
                o.database = db;
                ReportRunner runner(o);
                pla013::host::TfrmDadosGerRel form("frmTeste");
                form.rpddPadrao->BeforeGetQueryParams = [&](pla013::host::TParams& p, bool&) {
                    bindLikeTheForm(p, rc.choices);
                };
                files.push_back(dir.file(rc.name + std::to_string(files.size()) + ".csv"));
                runner.Run(form, "PLA013" + rc.code + ".QR2", pla013::host::ReportTarget::File, files.back());
            }
            std::string a = readFile(files[0]), b = readFile(files[1]);
            EXPECT_EQ(a, b);
            EXPECT_GT(std::count(a.begin(), a.end(), '\n'), 1) << "rows on both engines";
        }
    }
    if (!ran) GTEST_SKIP() << "neither PLA013_TEST_PG_URL nor PLA013_TEST_FB_URL is set";
}

// --- the definitions themselves

TEST(ReportDefinitions, EachDeclaresTheFormParametersItUsesWithTheFormsTypes) {
    for (const auto& code : kCodes) {
        SCOPED_TRACE(code);
        ReportDefinition def = ReportDefinition::load(definitionPath(code));
        EXPECT_EQ(def.code, code);
        std::string used = def.sql + def.subtitle;
        for (const auto& l : def.lookups) used += l.sql;
        for (const auto& c : def.columns) used += c.when.name;
        std::string raw = readFile(definitionPath(code));
        for (const auto& p : def.parameters) {
            auto known = kFormParams.find(p.name);
            ASSERT_NE(known, kFormParams.end()) << p.name << " is not a name the form binds";
            EXPECT_EQ(p.type, known->second) << p.name;
            // Used: in the SQL, a lookup, the subtitle, a condition, or shown among the filters.
            bool inText = used.find(p.name) != std::string::npos;
            bool inCondition = raw.find("\"param\": \"" + p.name + "\"") != std::string::npos;
            EXPECT_TRUE(inText || inCondition || !p.label.empty()) << p.name << " is declared but not used";
        }
    }
}

TEST(ReportDefinitions, ListedByCodeWithPortugueseTitles) {
    pla013::reports::ReportRunnerOptions o;
    o.reportFolder = reportsFolder();
    ReportRunner runner(o);
    auto list = runner.ListReports("PLA013");
    ASSERT_EQ(list.size(), kCodes.size());
    for (std::size_t i = 0; i < kCodes.size(); ++i) EXPECT_EQ(list[i].first, kCodes[i]);
    EXPECT_EQ(list[0].second, "Relação de Pratos");
    EXPECT_EQ(list[2].second, "Receita Padrão x Receita Local");
}

TEST(ReportDefinitions, ComparisonReportsReadTheFormsDataSources) {
    EXPECT_EQ(ReportDefinition::load(definitionPath("03")).dataSource, "dtsRelatRecPaLo");
    EXPECT_EQ(ReportDefinition::load(definitionPath("04")).dataSource, "dtsRelatRecPaSe");
    EXPECT_EQ(ReportDefinition::load(definitionPath("05")).dataSource, "dtsRecPLCent");
}

}  // namespace
