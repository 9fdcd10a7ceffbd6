// A definition is data from a folder: it can neither change the catering
// database nor bring the engine down, whatever it holds.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "ReportsTestSupport.h"
#include "host/BaseForm.h"
#include "host/Errors.h"
#include "platform/reports/Expression.h"
#include "platform/reports/PdfRenderer.h"
#include "platform/reports/ReportDefinition.h"
#include "platform/reports/ReportRunner.h"
#include "platform/reports/TextRenderer.h"

using namespace reportstest;
using namespace pla013::reports;
using pla013::host::ReportTarget;

namespace {

std::string definition(const std::string& dataSql, const std::string& lookupSql = "SELECT 1") {
    nlohmann::json d = {{"version", 1},
                        {"code", "99"},
                        {"title", "Teste"},
                        {"lookups", {{{"name", "VALOR"}, {"sql", lookupSql}}}},
                        {"data", {{"sql", dataSql}}},
                        {"columns", {{{"field", "CDPRATO"}, {"width", 10}}}}};
    return d.dump();
}

class UntrustedDefinition : public ::testing::Test {
protected:
    void SetUp() override {
        ReportRunnerOptions o;
        o.reportFolder = m_reports.path().string();
        o.database = &m_db.db();
        o.previewSink = [this](const PreviewPages& p) {
            m_preview = pla013::reports::TextRenderer::pages(*p.document);
        };
        m_runner = std::make_unique<ReportRunner>(o);
    }
    // What a definition could change: rows, schema, and files beside the database.
    std::string fingerprint() {
        auto p = m_db.db().query(
            "SELECT (SELECT COUNT(*) FROM PRATO) || '/' || (SELECT COUNT(*) FROM TIPOCUSTO) || "
            "'/' || (SELECT GROUP_CONCAT(NMPRATO) FROM PRATO) || '/' || "
            "(SELECT COUNT(*) FROM sqlite_master)",
            {}, "impressao");
        return p.rows.at(0).at(0).toString() + (std::filesystem::exists(copy()) ? " +copia" : "");
    }
    std::string copy() const { return m_reports.file("copia.db"); }
    std::string runError(const std::string& text) {
        writeFile(m_reports.file("PLA01399.QR2"), text);
        try {
            m_runner->Run(m_form, "PLA01399.QR2", ReportTarget::Preview, {});
        } catch (const pla013::host::EHostError& e) {
            return e.what();
        }
        return "(no error)";
    }

    SampleDatabase m_db;
    TempDir m_reports, m_out;
    pla013::host::TfrmDadosGerRel m_form{"frmTeste"};
    std::unique_ptr<ReportRunner> m_runner;
    std::vector<std::string> m_preview;  // the pages of the last preview
};

TEST_F(UntrustedDefinition, StatementsThatAreNotASingleQueryAreRefusedAndChangeNothing) {
    struct Case {
        std::string data, lookup, place, word;
    };
    const std::string ok = "SELECT CDPRATO FROM PRATO";
    const std::vector<Case> cases = {
        {"UPDATE PRATO SET NMPRATO = 'x'", "SELECT 1", "/data/sql", "UPDATE"},
        {"DELETE FROM PRATO", "SELECT 1", "/data/sql", "DELETE"},
        {"DROP TABLE PRATO", "SELECT 1", "/data/sql", "DROP"},
        {ok, "INSERT INTO TIPOCUSTO (NRTIPOCUST, NMTIPOCUST) VALUES (99, 'x')", "/lookups/0/sql", "INSERT"},
        {ok, "ATTACH DATABASE '" + copy() + "' AS C", "/lookups/0/sql", "ATTACH"},
        {ok, "VACUUM INTO '" + copy() + "'", "/lookups/0/sql", "VACUUM"},
        {ok, "PRAGMA query_only = 0", "/lookups/0/sql", "PRAGMA"},
        {ok + "; DELETE FROM PRATO", "SELECT 1", "/data/sql", "'DELETE') depois do ';'"},
        // Outside E'...', a backslash is a character like any other.
        {ok + " WHERE NMPRATO <> 'a\\' ; DELETE FROM PRATO", "SELECT 1", "/data/sql", "'DELETE') depois do ';'"},
        // Quotes as each engine reads them: $a$ is a parameter name to
        // SQLite, and [ opens no name in PostgreSQL.
        {"SELECT $a$ AS X; DELETE FROM PRATO; $a$", "SELECT 1", "/data/sql", "'DELETE') depois do ';'"},
        {"SELECT ARRAY[']']; DELETE FROM PRATO", "SELECT 1", "/data/sql", "'DELETE') depois do ';'"},
        {"/* SELECT */ -- SELECT\n  DELETE FROM PRATO", "SELECT 1", "/data/sql", "DELETE' (linha 2"},
        {"WITH D AS (DELETE FROM PRATO RETURNING CDPRATO) SELECT CDPRATO FROM D", "SELECT 1", "/data/sql",
         "'DELETE' não é permitido"},
        {"WITH D AS (SELECT CDPRATO FROM PRATO) DELETE FROM PRATO", "SELECT 1", "/data/sql", "DELETE"},
        {"SELECT CDPRATO INTO COPIA FROM PRATO", "SELECT 1", "/data/sql", "INTO"},
        // Firebird: q'{...}' is a literal to it alone; its sequences move in
        // a read-only transaction.
        {"SELECT q'{'}' AS X; DELETE FROM PRATO", "SELECT 1", "/data/sql", "'DELETE') depois do ';'"},
        {"SELECT GEN_ID(G, 1) AS X FROM PRATO", "SELECT 1", "/data/sql", "GEN_ID"},
        {"SELECT NEXT VALUE FOR G AS X FROM PRATO", "SELECT 1", "/data/sql", "NEXT"},
    };
    const std::string before = fingerprint();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.data + " | " + c.lookup);
        const std::string message = runError(definition(c.data, c.lookup));
        EXPECT_NE(message.find("PLA01399.QR2', " + c.place + ":"), std::string::npos) << message;
        EXPECT_NE(message.find(c.word), std::string::npos) << message;
        EXPECT_EQ(fingerprint(), before);
    }
    EXPECT_TRUE(m_preview.empty());
}

TEST_F(UntrustedDefinition, SemicolonsInLiteralsIdentifiersAndCommentsAreNotStatements) {
    const std::string sql =
        "SELECT CDPRATO AS \"A;B\" , CDPRATO FROM PRATO -- fim; DELETE\n"
        "WHERE NMPRATO <> 'x; DELETE FROM PRATO' /* ; */ ORDER BY CDPRATO;";
    EXPECT_EQ(runError(definition(sql, "SELECT 'a;b'")), "(no error)");
    ASSERT_FALSE(m_preview.empty());
    EXPECT_NE(m_preview[0].find("Teste"), std::string::npos);
}

TEST(DeepNesting, IsADefinitionErrorNotAStackOverflow) {
    const std::size_t depth = 30000;
    struct Case {
        std::string expression, reason;
    };
    const Case cases[] = {
        {std::string(depth, '(') + "A" + std::string(depth, ')'), "aninhada demais"},
        {std::string(depth, '-') + "A", "aninhada demais"},
        {[&] {
             std::string s = "A";
             for (std::size_t i = 0; i < depth; ++i) s += "*-A";
             return s;
         }(),
         "longa demais"},
    };
    for (const auto& c : cases) {
        nlohmann::json d = {{"version", 1},
                            {"code", "99"},
                            {"title", "T"},
                            {"data", {{"sql", "SELECT 1 AS A"}}},
                            {"computed", {{{"name", "B"}, {"expression", c.expression}}}},
                            {"columns", {{{"field", "B"}}}}};
        try {
            ReportDefinition::parse(d.dump(), "PLA01399.QR2");
            ADD_FAILURE() << "no error for " << c.reason;
        } catch (const pla013::host::EHostError& e) {
            EXPECT_NE(std::string(e.what()).find("'PLA01399.QR2', /computed/0/expression: "), std::string::npos)
                << e.what();
            EXPECT_NE(std::string(e.what()).find(c.reason), std::string::npos) << e.what();
        }
    }
    // Within the limits an expression still nests.
    auto e = Expression::parse(std::string(150, '(') + "-2*3" + std::string(150, ')'));
    EXPECT_EQ(e->evaluate([](const std::string&) { return std::nullopt; }), -6.0);

    std::string condition = R"({ "param": "P_X", "equals": "S" })";
    for (std::size_t i = 0; i < depth; ++i) condition = R"({ "not": )" + condition + " }";
    const std::string text = R"({ "version": 1, "code": "99", "title": "T",
        "parameters": [ { "name": "P_X", "type": "string" } ], "data": { "sql": "SELECT 1 AS A" },
        "detail": { "when": )" +
                             condition + R"( }, "columns": [ { "field": "A" } ] })";
    try {
        ReportDefinition::parse(text, "PLA01399.QR2");
        ADD_FAILURE() << "no error for a deep condition";
    } catch (const pla013::host::EHostError& e) {
        EXPECT_NE(std::string(e.what()).find("'PLA01399.QR2', /detail/when/not/not/"), std::string::npos);
        EXPECT_NE(std::string(e.what()).find("condição aninhada demais"), std::string::npos) << e.what();
    }
}

// A value of megabytes is cut once, where the data enters the report, so that
// every format gets the same bounded text with its ellipsis.
TEST_F(UntrustedDefinition, AHugeValueIsCutWithAnEllipsisInEveryFormat) {
    nlohmann::json d = {{"version", 1},
                        {"code", "99"},
                        {"title", "Teste"},
                        {"parameters", {{{"name", "P_X"}, {"type", "string"}, {"default", "S"}}}},
                        {"data",
                         {{"sql",
                           "SELECT CDPRATO, REPLACE(HEX(ZEROBLOB(750000)), '00', 'ção ') AS TEXTO FROM PRATO "
                           "ORDER BY CDPRATO LIMIT 1"}}},
                        {"groups",
                         {{{"field", "CDPRATO"},
                           {"header", {{{"text", "Prato {CDPRATO}: {TEXTO}"}}, {{"memo", "TEXTO"}}}},
                           {"dataColumns", {{{"field", "TEXTO"}}}}}}},
                        {"detail", {{"when", {{"param", "P_X"}, {"equals", "S"}}}}},
                        {"columns", {{{"field", "CDPRATO"}, {"width", 10}}, {{"field", "TEXTO"}, {"width", 40}}}}};
    writeFile(m_reports.file("PLA01399.QR2"), d.dump());

    // 32 766 characters of the value, never half of one, then the ellipsis.
    std::string cut;
    for (int i = 0; i < 8191; ++i) cut += "ção ";
    cut += "çã…";

    m_runner->Run(m_form, "PLA01399.QR2", ReportTarget::Preview, {});
    ASSERT_FALSE(m_preview.empty());
    EXPECT_LT(m_preview.size(), 10u);
    EXPECT_NE(m_preview.back().find("ção çã…"), std::string::npos);

    std::vector<std::string> formats = {".txt", ".html", ".csv", ".xlsx"};
    formats.push_back(".pdf");
    for (const auto& ext : formats) {
        SCOPED_TRACE(ext);
        const std::string file = m_out.file("relatorio" + ext);
        ASSERT_NO_THROW(m_runner->Run(m_form, "PLA01399.QR2", ReportTarget::File, file));
        const std::string content = readFile(file);
        EXPECT_LT(content.size(), 1000000u);
        int status = 0;
        if (ext == ".csv") {
            EXPECT_NE(content.find("\n" + cut + ";"), std::string::npos);
        } else if (ext == ".xlsx") {
            std::string sheet = run("unzip -p " + shellQuote(file) + " xl/worksheets/sheet1.xml", status);
            EXPECT_NE(sheet.find("ção çã…"), std::string::npos);
        } else if (ext == ".pdf") {
            EXPECT_NE(pdfText(file).find("ção çã…"), std::string::npos);
        } else {
            EXPECT_NE(content.find("ção çã…"), std::string::npos);
        }
    }
}

TEST(DefinitionOnPostgres, AStatementPastTheLimitStopsWithTheLimitNamedAndTheNextRuns) {
    if (postgresUrl().empty()) GTEST_SKIP() << "PLA013_TEST_PG_URL is not set";
    pla013::db::SociDatabase db(postgresUrl());
    TempDir reports;
    ReportRunnerOptions o;
    o.reportFolder = reports.path().string();
    o.database = &db;
    o.statementTimeout = std::chrono::seconds(1);
    db.setReadOnlyStatementTimeout(o.statementTimeout);
    o.previewSink = [](const PreviewPages&) {};
    ReportRunner runner(o);
    pla013::host::TfrmDadosGerRel form{"frmTeste"};
    struct Case {
        std::string data, error;
    };
    const Case cases[] = {
        {"SELECT '1' AS CDPRATO FROM pg_sleep(5)",
         "A consulta do relatório PLA01399 passou do limite de 1 s e foi interrompida."},
        {"SELECT '1' AS CDPRATO FROM pg_sleep(0.2)", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.data);
        writeFile(reports.file("PLA01399.QR2"), definition(c.data));
        std::string error;
        try {
            runner.Run(form, "PLA01399.QR2", ReportTarget::Preview, {});
        } catch (const pla013::host::EHostError& e) {
            error = e.what();
        }
        EXPECT_EQ(error, c.error);
    }
}

}  // namespace
