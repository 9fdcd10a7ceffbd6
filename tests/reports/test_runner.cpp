// The report dialog as the base form uses it: parameters built from the
// declarations and handed to the form, the silent abort, targets refused
// before any work, atomic saves, the last run's parameters.

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <stop_token>

#include <nlohmann/json.hpp>

#include "ReportsTestSupport.h"
#include "host/BaseForm.h"
#include "host/Errors.h"
#include "platform/reports/ReportDocument.h"
#include "platform/reports/ReportRunner.h"

using namespace reportstest;
using namespace pla013::reports;

namespace {

const char* kDishes = R"({
  "version": 1, "code": "01", "title": "Pratos do dono",
  "parameters": [
    { "name": "P_CDFILAUXPRAT", "type": "string", "default": "P", "label": "Dono" },
    { "name": "P_ORDENA", "type": "integer", "default": 0 },
    { "name": "P_NIVEL", "type": "integer" },
    { "name": "P_DTINICIAL", "type": "date", "default": "2024-03-01" },
    { "name": "P_DTREFERENCIA", "type": "datetime", "default": "2024-03-15 10:30:00" },
    { "name": "P_PRATOINICIAL", "type": "string", "label": "Prato inicial" }
  ],
  "lookups": [ { "name": "NMTIPOCUST", "sql": "SELECT NMTIPOCUST FROM TIPOCUSTO WHERE NRTIPOCUST = 1" } ],
  "subtitle": "Custo: {NMTIPOCUST}",
  "data": { "sql": "SELECT CDPRATO, NMPRATO FROM PRATO WHERE CDFILAUXPRAT = :P_CDFILAUXPRAT ORDER BY CDPRATO" },
  "columns": [ { "field": "CDPRATO", "caption": "Código", "width": 10 },
               { "field": "NMPRATO", "caption": "Nome", "width": 40 } ]
})";

// The real database, with every request it receives kept.
class RecordingDatabase : public pla013::host::IDatabase {
public:
    explicit RecordingDatabase(pla013::host::IDatabase& db) : m_db(db) {}
    pla013::host::DataPacket Open(const pla013::host::QueryRequest& r) override {
        requests.push_back(r);
        return m_db.Open(r);
    }
    void RunReadOnly(const std::function<void()>& work) override { m_db.RunReadOnly(work); }
    std::vector<pla013::host::QueryRequest> requests;

private:
    pla013::host::IDatabase& m_db;
};

// A format whose writer fails half-way, as a full disk would.
class FailingRenderer : public FileRenderer {
public:
    void render(const ReportDocument&, const std::string& path) override {
        std::ofstream(path) << "partial";
        throw pla013::host::EHostError("disco cheio");
    }
    std::string mimeType() const override { return "text/plain"; }
};

class Runner : public ::testing::Test {
protected:
    void SetUp() override {
        writeFile(m_reports.file("PLA01301.QR2"), kDishes);
        ReportRunnerOptions o;
        o.reportFolder = m_reports.path().string();
        o.database = &m_recording;
        o.previewSink = [this](const PreviewPages& p) {
            auto& pages = m_preview.emplace_back();
            p.eachPage([&pages](const std::string& text) {
                pages.push_back(text);
                return true;
            });
        };
        o.reportLine = [this](const std::string& l) { m_lines.push_back(l); };
        o.progress = [this](const std::string& stage, std::size_t done, std::size_t total) {
            m_progress.emplace_back(stage, done, total);
        };
        m_runner = std::make_unique<ReportRunner>(o);
        m_runner->registerRenderer(".fail", std::make_shared<FailingRenderer>());
    }

    void bind(std::function<void(pla013::host::TParams&)> f) {
        m_form.rpddPadrao->BeforeGetQueryParams = [this, f](pla013::host::TParams& p, bool&) {
            ++m_calls;
            f(p);
        };
    }

    SampleDatabase m_db;
    RecordingDatabase m_recording{m_db.db()};
    TempDir m_reports, m_out;
    pla013::host::TfrmDadosGerRel m_form{"frmTeste"};
    std::unique_ptr<ReportRunner> m_runner;
    std::vector<std::vector<std::string>> m_preview;  // the pages of each preview
    std::vector<std::string> m_lines;
    std::vector<std::tuple<std::string, std::size_t, std::size_t>> m_progress;
    int m_calls = 0;
};

TEST_F(Runner, ParameterListIsBuiltFromTheDeclarations) {
    std::vector<std::tuple<std::string, pla013::host::FieldType, bool, std::string>> seen;
    bind([&](pla013::host::TParams& p) {
        for (std::size_t i = 0; i < p.Count(); ++i)
            seen.emplace_back(p[i].Name(), p[i].DataType(), p[i].Bound(), p[i].Value().toString());
    });
    m_runner->Run(m_form, "PLA01301.QR2", pla013::host::ReportTarget::Preview, {});
    ASSERT_EQ(m_calls, 1);
    using pla013::host::FieldType;
    std::vector<std::tuple<std::string, pla013::host::FieldType, bool, std::string>> expected = {
        {"P_CDFILAUXPRAT", FieldType::String, true, "P"},
        {"P_ORDENA", FieldType::Integer, true, "0"},
        {"P_NIVEL", FieldType::Integer, false, ""},
        {"P_DTINICIAL", FieldType::Date, true, "01/03/2024"},
        {"P_DTREFERENCIA", FieldType::Date, true, "15/03/2024"},
        {"P_PRATOINICIAL", FieldType::String, false, ""}};
    EXPECT_EQ(seen, expected);
}

TEST_F(Runner, LastParamsAreOneJsonObjectALine) {
    bind([](pla013::host::TParams& p) {
        p.ParamByName("P_CDFILAUXPRAT").SetAsString("0002");
        p.ParamByName("P_NIVEL").SetAsInteger(5);
    });
    m_runner->Run(m_form, "PLA01301.QR2", pla013::host::ReportTarget::Preview, {});
    EXPECT_EQ(
        m_runner->lastParamLines(),
        (std::vector<std::string>{R"({"Param":"P_CDFILAUXPRAT","DataType":"string","Value":"0002"})",
                                  R"({"Param":"P_ORDENA","DataType":"integer","Value":0})",
                                  R"({"Param":"P_NIVEL","DataType":"integer","Value":5})",
                                  R"({"Param":"P_DTINICIAL","DataType":"date","Value":"2024-03-01"})",
                                  R"({"Param":"P_DTREFERENCIA","DataType":"datetime","Value":"2024-03-15 10:30:00"})",
                                  R"({"Param":"P_PRATOINICIAL","DataType":"string","Value":null})"}));
    // The bound branch chose the dishes of branch 0002 only.
    ASSERT_EQ(m_preview.size(), 1u);
    EXPECT_NE(m_preview[0][0].find("Quibe de abóbora"), std::string::npos);
    EXPECT_EQ(m_preview[0][0].find("Sopa de legumes"), std::string::npos);
    EXPECT_NE(m_preview[0][0].find("Custo: Custo médio"), std::string::npos) << "lookup in the subtitle";
}

TEST_F(Runner, OnlyTheParametersTheSqlUsesGoToTheDatabase) {
    bind([](pla013::host::TParams&) {});
    m_runner->Run(m_form, "PLA01301.QR2", pla013::host::ReportTarget::Preview, {});
    ASSERT_EQ(m_recording.requests.size(), 2u);  // the lookup, then the data
    EXPECT_TRUE(m_recording.requests[0].params.empty());
    ASSERT_EQ(m_recording.requests[1].params.size(), 1u);
    EXPECT_EQ(m_recording.requests[1].params[0].first, "P_CDFILAUXPRAT");
    EXPECT_EQ(m_recording.requests[1].name, "PLA01301.QR2");
}

TEST_F(Runner, SilentAbortFromTheFormWritesNothing) {
    const std::string target = m_out.file("relatorio.csv");
    writeFile(target, "antigo");
    bind([](pla013::host::TParams& p) {
        p.ParamByName("P_CDFILAUXPRAT").SetAsString("0003");
        throw pla013::host::EAbort();
    });
    for (auto t : {pla013::host::ReportTarget::File, pla013::host::ReportTarget::Preview}) {
        EXPECT_THROW(m_runner->Run(m_form, "PLA01301.QR2", t, target), pla013::host::EAbort);
    }
    EXPECT_EQ(readFile(target), "antigo");
    EXPECT_EQ(m_out.entries(), std::vector<std::string>{"relatorio.csv"});
    EXPECT_TRUE(m_preview.empty());
    EXPECT_TRUE(m_lines.empty());
    EXPECT_TRUE(m_recording.requests.empty()) << "no data is opened";
    EXPECT_FALSE(m_runner->lastOutcome().has_value());
    // What the form had bound when it aborted is still there to inspect.
    EXPECT_EQ(m_runner->lastParamLines().front(), R"({"Param":"P_CDFILAUXPRAT","DataType":"string","Value":"0003"})");
}

TEST_F(Runner, FailingWriteLeavesTheOldFileAndNoTemporary) {
    const std::string target = m_out.file("relatorio.fail");
    const std::string old = "conteúdo anterior\n\x01\x02";
    writeFile(target, old);
    bind([](pla013::host::TParams&) {});
    try {
        m_runner->Run(m_form, "PLA01301.QR2", pla013::host::ReportTarget::File, target);
        FAIL() << "no error";
    } catch (const pla013::host::EHostError& e) {
        EXPECT_NE(std::string(e.what()).find("disco cheio"), std::string::npos);
    }
    EXPECT_EQ(readFile(target), old);
    EXPECT_EQ(m_out.entries(), std::vector<std::string>{"relatorio.fail"});
    EXPECT_TRUE(m_lines.empty());
}

TEST_F(Runner, FolderThatRefusesFilesLeavesTheOldFile) {
    const std::string target = m_out.file("relatorio.csv");
    writeFile(target, "antigo");
    bind([](pla013::host::TParams&) {});
    // An immutable folder refuses new files even to root; not every file
    // system offers the attribute.
    int status = 0;
    run("chattr +i " + shellQuote(m_out.path().string()) + " 2>&1", status);
    if (status != 0) GTEST_SKIP() << "chattr +i is not available here";
    EXPECT_THROW(m_runner->Run(m_form, "PLA01301.QR2", pla013::host::ReportTarget::File, target),
                 pla013::host::EHostError);
    run("chattr -i " + shellQuote(m_out.path().string()), status);
    EXPECT_EQ(readFile(target), "antigo");
    EXPECT_EQ(m_out.entries(), std::vector<std::string>{"relatorio.csv"});
}

TEST_F(Runner, SavedFileReplacesTheOldOneWhole) {
    const std::string target = m_out.file("relatorio.csv");
    writeFile(target, std::string(100000, '#'));
    bind([](pla013::host::TParams&) {});
    m_runner->Run(m_form, "PLA01301.QR2", pla013::host::ReportTarget::File, target);
    std::string csv = readFile(target);
    EXPECT_EQ(csv.find('#'), std::string::npos);
    EXPECT_NE(csv.find("Salada de alface e tomate"), std::string::npos);
    EXPECT_EQ(m_out.entries(), std::vector<std::string>{"relatorio.csv"});
    ASSERT_EQ(m_lines.size(), 1u);
    EXPECT_EQ(m_lines[0].rfind("report: file " + target + " ", 0), 0u);
}

TEST_F(Runner, AStopEndsTheRunWithNothingWritten) {
    bind([](pla013::host::TParams&) {});
    struct Case {
        const char* file;
        const char* stage;  // asked to stop at this stage's first report
    };
    // While counting the pages, and in each renderer's own loop.
    const Case cases[] = {{"r.html", "paginas"},
                          {"r.html", "gravacao"},
                          {"r.csv", "gravacao"},
                          {"r.xlsx", "gravacao"},
                          {"r.txt", "gravacao"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.file) + " at " + c.stage);
        std::stop_source stop;
        RunControl control{stop.get_token(), [&](const std::string& stage, std::size_t done, std::size_t) {
                               if (stage == c.stage && (done > 0 || stage == "paginas")) stop.request_stop();
                           }};
        auto run = m_runner->prepare(m_form, "PLA01301.QR2", pla013::host::ReportTarget::File, m_out.file(c.file));
        EXPECT_THROW(m_runner->execute(*run, control), pla013::reports::ReportCancelled);
        EXPECT_TRUE(stop.stop_requested());
        EXPECT_TRUE(m_out.entries().empty());
        EXPECT_FALSE(m_runner->lastOutcome().has_value());
    }
    EXPECT_TRUE(m_lines.empty());
}

TEST_F(Runner, ProgressGoesFromDataToWriting) {
    bind([](pla013::host::TParams&) {});
    m_runner->Run(m_form, "PLA01301.QR2", pla013::host::ReportTarget::File, m_out.file("relatorio.html"));
    ASSERT_FALSE(m_progress.empty());
    EXPECT_EQ(std::get<0>(m_progress.front()), "dados");
    // The pages are written one by one, each step no further than the total.
    std::size_t last = 0;
    for (const auto& [stage, done, total] : m_progress) {
        if (stage != "gravacao" || total == 0) continue;
        EXPECT_GE(done, last);
        EXPECT_LE(done, total);
        last = done;
    }
    EXPECT_EQ(std::get<0>(m_progress.back()), "gravacao");
    EXPECT_EQ(std::get<1>(m_progress.back()), std::get<2>(m_progress.back()));
    EXPECT_EQ(std::get<1>(m_progress.back()), m_runner->lastOutcome()->pages);
}

struct RefusedTarget {
    const char* name;
    pla013::host::ReportTarget target;
    std::string file;  // relative to the output folder; "/" prefix: absolute
    const char* message;
};

class RefusedTargets : public Runner, public ::testing::WithParamInterface<RefusedTarget> {};

TEST_P(RefusedTargets, BeforeTheFormIsAsked) {
    const auto& c = GetParam();
    if (c.target == pla013::host::ReportTarget::Printer) {
        // No printing system answers here.
        ::setenv("CUPS_SERVER", "127.0.0.1:9", 1);
        ::unsetenv("PRINTER");
        ::unsetenv("LPDEST");
    }
    bind([](pla013::host::TParams&) {});
    std::string file = c.file.empty() ? std::string() : (c.file[0] == '/' ? c.file : m_out.file(c.file));
    try {
        m_runner->Run(m_form, "PLA01301.QR2", c.target, file);
        FAIL() << "no error";
    } catch (const pla013::host::EHostError& e) {
        EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
    }
    EXPECT_EQ(m_calls, 0);
    EXPECT_TRUE(m_out.entries().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RefusedTargets,
    ::testing::Values(
        RefusedTarget{"NoPrinter", pla013::host::ReportTarget::Printer, "", "Nenhuma impressora configurada."},
        RefusedTarget{"UnknownExtension", pla013::host::ReportTarget::File, "relatorio.doc",
                      "Formato de arquivo não suportado: '.doc'"},
        RefusedTarget{"NoExtension", pla013::host::ReportTarget::File, "relatorio", "não suportado"},
        RefusedTarget{"NoFileName", pla013::host::ReportTarget::File, "", "Informe o arquivo"},
        RefusedTarget{"MissingFolder", pla013::host::ReportTarget::File, "nao/existe/relatorio.csv", "não existe"}),
    [](const ::testing::TestParamInfo<RefusedTarget>& i) { return std::string(i.param.name); });

TEST_F(Runner, PreviewWithoutASinkIsAnError) {
    ReportRunnerOptions o;
    o.reportFolder = m_reports.path().string();
    o.database = &m_recording;
    ReportRunner runner(o);
    EXPECT_THROW(runner.Run(m_form, "PLA01301.QR2", pla013::host::ReportTarget::Preview, {}), pla013::host::EHostError);
}

TEST_F(Runner, DefinitionProblemsNameTheFile) {
    struct Case {
        std::string file, text, message;
    };
    const Case cases[] = {
        {"PLA01302.QR2", "{ \"version\": 1, ", "linha 1"},
        {"PLA01303.QR2", std::string(kDishes), "não corresponde ao nome do arquivo"},
        {"PLA01304.QR2",
         R"({ "version": 1, "code": "04", "title": "T", "data": { "dataSource": "dtsNaoExiste" },
              "columns": [ { "field": "A" } ] })",
         "dtsNaoExiste"},
        {"PLA01305.QR2",
         R"({ "version": 1, "code": "05", "title": "T", "data": { "sql": "SELECT CDPRATO FROM PRATO" },
              "columns": [ { "field": "CDPRATO" }, { "field": "NMPRATOX" } ] })",
         "/columns/1/field"},
        {"PLA01306.QR2",
         R"({ "version": 1, "code": "06", "title": "T", "data": { "sql": "SELECT X FROM TABELA_QUE_NAO_HA" },
              "columns": [ { "field": "X" } ] })",
         "PLA01306.QR2"},
    };
    bind([](pla013::host::TParams&) {});
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        writeFile(m_reports.file(c.file), c.text);
        try {
            m_runner->Run(m_form, c.file, pla013::host::ReportTarget::Preview, {});
            ADD_FAILURE() << "no error";
        } catch (const pla013::host::EHostError& e) {
            EXPECT_NE(std::string(e.what()).find(c.file), std::string::npos) << e.what();
            EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
        }
    }
    EXPECT_TRUE(m_preview.empty());
}

TEST_F(Runner, DataSourceOfTheFormIsReadInItsIndexOrder) {
    writeFile(m_reports.file("PLA01304.QR2"), R"({ "version": 1, "code": "04", "title": "Dados do formulário",
        "data": { "dataSource": "dtsDados" }, "columns": [ { "field": "CDPRATO", "width": 10 } ] })");
    auto* cds = m_form.AddComponent<pla013::host::TClientDataSet>("cdsDados");
    m_form.AddComponent<pla013::host::TDataSource>("dtsDados", cds);
    cds->FieldDefs = {{"CDPRATO", pla013::host::FieldType::String, 10}};
    cds->IndexDefs = {{"Indice", "CDPRATO"}};
    cds->CreateDataSet();
    cds->SetIndexName("Indice");
    bind([&](pla013::host::TParams&) {
        // Filled while the form binds, as the comparison reports are.
        for (const char* code : {"30002", "10001", "20001"}) {
            cds->Append();
            cds->FieldByName("CDPRATO").SetAsString(code);
            cds->Post();
        }
    });
    m_runner->Run(m_form, "PLA01304.QR2", pla013::host::ReportTarget::Preview, {});
    const std::string& page = m_preview.at(0).at(0);
    EXPECT_LT(page.find("10001"), page.find("20001"));
    EXPECT_LT(page.find("20001"), page.find("30002"));
    EXPECT_EQ(m_runner->lastOutcome()->rows, 3u);
}

TEST_F(Runner, ListingRefusesABrokenDefinition) {
    writeFile(m_reports.file("PLA01302.QR2"), "{");
    try {
        m_runner->ListReports("PLA013");
        FAIL() << "no error";
    } catch (const pla013::host::EHostError& e) {
        EXPECT_NE(std::string(e.what()).find("PLA01302.QR2"), std::string::npos) << e.what();
    }
    std::filesystem::remove(m_reports.file("PLA01302.QR2"));
    writeFile(m_reports.file("OUTRO01.QR2"), "{");  // another family is not read
    auto list = m_runner->ListReports("PLA013");
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0], (std::pair<std::string, std::string>{"01", "Pratos do dono"}));
}

}  // namespace
