// Creating catering databases: the sample content the lookups rely on, the
// refusal to overwrite, no half-written file on failure, the compiled-in
// files matching the repository, and the default sample database.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "DbTestSupport.h"
#include "host/Errors.h"
#include "platform/db/DatabaseInitializer.h"
#include "platform/db/internal/DatabaseCreation.h"
#include "platform/db/internal/EmbeddedSql.h"

namespace fs = std::filesystem;
using pla013::db::DbEngine;
using pla013::db::SociDatabase;
using pla013::host::EHostError;

namespace {

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::int64_t count(SociDatabase& db, const std::string& sql) {
    return db.query(sql, {}, "contagem").rows.at(0).at(0).toInt();
}

std::vector<std::string> folderContent(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
    return names;
}

class SampleData : public ::testing::TestWithParam<DbEngine> {
protected:
    void SetUp() override {
        if (const auto why = dbtest::unavailable(GetParam())) GTEST_SKIP() << *why;
    }
};

TEST_P(SampleData, HoldsWhatTheFiltersAndLookupsNeed) {
    dbtest::ScratchDatabase scratch(GetParam(), true);
    SociDatabase& db = scratch.db();
    // Branch 0001 is the default current branch and a central kitchen with
    // at least three menu types and four schools.
    EXPECT_EQ(count(db, "SELECT COUNT(*) FROM FILIAL WHERE CDFILIAL = '0001' AND IDFILCENTPME = 'S'"), 1);
    EXPECT_GE(count(db, "SELECT COUNT(*) FROM TIPOCARD WHERE CDFILCENTPME = '0001'"), 3);
    EXPECT_GE(count(db, "SELECT COUNT(*) FROM FILIAL WHERE CDFILCENTPME = '0001'"), 4);
    EXPECT_GE(count(db, "SELECT COUNT(*) FROM FILIAL WHERE IDCNTRRESC = 'S'"), 1);
    EXPECT_GE(count(db, "SELECT COUNT(*) FROM FILIAL WHERE CDFILCENTPME IS NULL AND IDFILCENTPME = 'N'"), 1);
    EXPECT_GE(count(db, "SELECT COUNT(*) FROM SERVICO WHERE IDTIPOSERV = 'A'"), 1);
    EXPECT_GE(count(db,
                    "SELECT COUNT(*) FROM (SELECT CDSERVFILI FROM SERVICO GROUP BY CDSERVFILI "
                    "HAVING COUNT(*) >= 2) DUPLICADOS"),
              1);
    // Dishes over the three levels, standard and branch-owned; "9" and "10" both exist.
    EXPECT_GE(count(db, "SELECT COUNT(*) FROM PRATO"), 60);
    EXPECT_EQ(count(db, "SELECT COUNT(DISTINCT CDNVPRATO) FROM PRATO"), 3);
    EXPECT_GE(count(db, "SELECT COUNT(*) FROM PRATO WHERE CDFILAUXPRAT <> 'P'"), 1);
    EXPECT_EQ(count(db, "SELECT COUNT(*) FROM PRATO WHERE CDPRATO IN ('9', '10') AND CDFILAUXPRAT = 'P'"), 2);
    // Every dish code fills complete levels of the dish picture.
    EXPECT_EQ(count(db,
                    "SELECT COUNT(*) FROM PRATO P WHERE NOT EXISTS (SELECT 1 FROM CODEPICTURE C "
                    "WHERE C.TPPICT = 'PRATO' AND C.NRTAMACUM = " +
                        std::string(GetParam() == DbEngine::Firebird ? "CHAR_LENGTH" : "LENGTH") +
                        "(P.CDPRATO) "
                        "AND C.NRNIVEL = CAST(P.CDNVPRATO AS INTEGER))"),
              0);
    // Operator 1 uses every branch; operator 2 exactly two.
    EXPECT_EQ(count(db, "SELECT COUNT(*) FROM OPERADOR WHERE CDOPERADOR = '1' AND IDTODASFILI = 'S'"), 1);
    EXPECT_EQ(count(db, "SELECT COUNT(*) FROM OPERFILI WHERE CDOPERADOR = '2'"), 2);
    // Names keep their accents.
    EXPECT_EQ(db.query("SELECT NMFILIAL FROM FILIAL WHERE CDFILIAL = '0004'", {}, "nome").rows.at(0).at(0),
              pla013::host::Variant("Creche Pequeno Príncipe"));
}

TEST_P(SampleData, SchemaOnlyLeavesTheTablesEmpty) {
    dbtest::ScratchDatabase scratch(GetParam(), false);
    for (const char* table : {"FILIAL", "SERVICO", "PRATO", "TIPOCARD", "OPERADOR", "OPERFILI", "CODEPICTURE"})
        EXPECT_EQ(count(scratch.db(), std::string("SELECT COUNT(*) FROM ") + table), 0) << table;
}

TEST_P(SampleData, AFailingScriptRollsEverythingBack) {
    dbtest::ScratchDatabase scratch(GetParam(), false);
    const std::string message = [&] {
        try {
            pla013::db::internal::applyScripts(scratch.db(),
                                               {{"20-bom.sql",
                                                 "CREATE TABLE RECEITA (CDPRATO VARCHAR(10));\n"
                                                 "INSERT INTO FILIAL (CDFILIAL, NMFILIAL) VALUES ('0001', 'Nova');"},
                                                {"30-ruim.sql", "INSERT INTO NAOEXISTE VALUES (1);"}});
        } catch (const EHostError& e) {
            return std::string(e.what());
        }
        return std::string("no error");
    }();
    EXPECT_NE(message.find("30-ruim.sql"), std::string::npos) << message;
    EXPECT_EQ(count(scratch.db(), "SELECT COUNT(*) FROM FILIAL"), 0);
    EXPECT_THROW(count(scratch.db(), "SELECT COUNT(*) FROM RECEITA"), EHostError);
}

TEST_P(SampleData, ADatabaseWithTablesIsNeverInitialisedAgain) {
    dbtest::ScratchDatabase scratch(GetParam(), true);
    scratch.db().execute("UPDATE FILIAL SET NMFILIAL = 'Alterada' WHERE CDFILIAL = '0002'");
    EXPECT_THROW(pla013::db::initializeDatabase(scratch.location(), true), EHostError);
    EXPECT_EQ(scratch.db().query("SELECT NMFILIAL FROM FILIAL WHERE CDFILIAL = '0002'", {}, "nome").rows.at(0).at(0),
              pla013::host::Variant("Alterada"));
}

INSTANTIATE_TEST_SUITE_P(Engines, SampleData,
                         ::testing::Values(DbEngine::SQLite, DbEngine::PostgreSQL, DbEngine::Firebird),
                         [](const auto& info) { return std::string(dbtest::engineName(info.param)); });

TEST(SqliteCreation, RefusesAnExistingDatabaseAndLeavesItUntouched) {
    dbtest::TempDir dir;
    const std::string path = dir.file("cozinha.sqlite");
    pla013::db::initializeDatabase(path, true);
    const std::string before = readFile(path);
    ASSERT_FALSE(before.empty());

    try {
        pla013::db::initializeDatabase(path, false);
        FAIL() << "an existing database was accepted";
    } catch (const EHostError& e) {
        EXPECT_NE(std::string(e.what()).find("já existe"), std::string::npos) << e.what();
    }
    EXPECT_EQ(readFile(path), before);
    EXPECT_EQ(folderContent(dir.path()), std::vector<std::string>{"cozinha.sqlite"});

    // Any non-empty file counts, database or not.
    const std::string notes = dir.file("notas.txt");
    std::ofstream(notes) << "anotações";
    EXPECT_THROW(pla013::db::initializeDatabase(notes, true), EHostError);
    EXPECT_EQ(readFile(notes), "anotações");
}

TEST(SqliteCreation, FillsAnEmptyFileAndRefusesAMissingFolder) {
    dbtest::TempDir dir;
    const std::string empty = dir.file("vazio.sqlite");
    std::ofstream{empty};
    pla013::db::initializeDatabase(empty, true);
    SociDatabase db(empty);
    EXPECT_GE(count(db, "SELECT COUNT(*) FROM PRATO"), 60);

    const std::string nested = (dir.path() / "nao" / "existe.sqlite").string();
    EXPECT_THROW(pla013::db::initializeDatabase(nested, true), EHostError);
    EXPECT_FALSE(fs::exists(dir.path() / "nao"));
}

TEST(SqliteCreation, AFailureLeavesNoFileBehind) {
    dbtest::TempDir dir;
    const std::string path = dir.file("parcial.sqlite");
    const std::vector<pla013::db::internal::SqlScript> scripts = {
        {"db/sqlite/10-catering.sql", std::string(pla013::db::internal::embeddedSqlFiles().at(0).content())},
        {"db/sample/99-quebrado.sql",
         "INSERT INTO FILIAL (CDFILIAL, NMFILIAL) VALUES ('0001', 'A');\n"
         "INSERT INTO FILIAL (CDFILIAL, NMFILIAL) VALUES ('0001', 'B');"}};
    try {
        pla013::db::internal::createSqliteDatabase(path, scripts, false);
        FAIL() << "the duplicate key went unnoticed";
    } catch (const EHostError& e) {
        EXPECT_NE(std::string(e.what()).find("99-quebrado.sql"), std::string::npos) << e.what();
        EXPECT_NE(std::string(e.what()).find(path), std::string::npos) << e.what();
    }
    EXPECT_TRUE(folderContent(dir.path()).empty()) << "left behind: " << folderContent(dir.path()).at(0);
}

TEST(SqliteCreation, TheCompiledInFilesAreTheRepositorysFiles) {
    const auto sqlite = pla013::db::databaseFiles(DbEngine::SQLite, true);
    const auto postgres = pla013::db::databaseFiles(DbEngine::PostgreSQL, false);
    ASSERT_FALSE(sqlite.empty());
    EXPECT_EQ(sqlite.front(), "sqlite/10-catering.sql");
    EXPECT_EQ(sqlite.back().rfind("sample/", 0), 0u) << "sample data comes after the schema";
    EXPECT_EQ(postgres.front(), "postgresql/10-catering.sql");
    for (const auto& name : postgres) {
        EXPECT_EQ(name.rfind("postgresql/", 0), 0u) << name;
        EXPECT_EQ(name.find("roles/"), std::string::npos) << "only 'db roles' applies " << name;
    }

    std::size_t compared = 0;
    for (const auto& file : pla013::db::internal::embeddedSqlFiles()) {
        const fs::path source = fs::path(PLA013_DB_DIR) / file.folder / file.name;
        EXPECT_EQ(std::string(file.content()), readFile(source)) << source << " changed without a rebuild";
        ++compared;
    }
    std::size_t inRepository = 0;
    for (const char* folder : {"sqlite", "postgresql", "firebird", "sample", "postgresql/roles"})
        for (const auto& entry : fs::directory_iterator(fs::path(PLA013_DB_DIR) / folder))
            inRepository += entry.path().extension() == ".sql";
    EXPECT_EQ(compared, inRepository);
}

// Points the default sample database into a folder of the test.
class DefaultDatabase : public ::testing::Test {
protected:
    void SetUp() override {
        if (const char* old = std::getenv("XDG_DATA_HOME")) m_old = old;
        ::setenv("XDG_DATA_HOME", m_dir.path().c_str(), 1);
    }
    void TearDown() override {
        if (m_old)
            ::setenv("XDG_DATA_HOME", m_old->c_str(), 1);
        else
            ::unsetenv("XDG_DATA_HOME");
    }
    dbtest::TempDir m_dir;
    std::optional<std::string> m_old;
};

TEST_F(DefaultDatabase, IsCreatedOnFirstUseAlsoByTwoAtOnce) {
    const std::string path = pla013::db::defaultDatabasePath();
    const std::string name = fs::path(path).filename().string();
    EXPECT_EQ(fs::path(path).parent_path(), m_dir.path() / "pla013");
    EXPECT_TRUE(name.rfind("pla013-sample-", 0) == 0 &&
                name.size() == std::string("pla013-sample-12345678.sqlite").size())
        << "named after the fingerprint of the schema and sample files: " << name;
    ASSERT_FALSE(fs::exists(path));

    std::unique_ptr<SociDatabase> first, second;
    std::string firstError, secondError;
    auto open = [](std::unique_ptr<SociDatabase>& db, std::string& error) {
        try {
            db = pla013::db::openDatabase("");
        } catch (const std::exception& e) {
            error = e.what();
        }
    };
    std::thread a(open, std::ref(first), std::ref(firstError));
    std::thread b(open, std::ref(second), std::ref(secondError));
    a.join();
    b.join();
    ASSERT_TRUE(first && second) << firstError << secondError;
    EXPECT_GE(count(*first, "SELECT COUNT(*) FROM PRATO"), 60);
    EXPECT_GE(count(*second, "SELECT COUNT(*) FROM PRATO"), 60);
    EXPECT_EQ(folderContent(fs::path(path).parent_path()), std::vector<std::string>{name});

    // Once there, it is opened as it is.
    first->execute("UPDATE FILIAL SET NMFILIAL = 'Mantida' WHERE CDFILIAL = '0001'");
    first.reset();
    second.reset();
    auto again = pla013::db::openDatabase(path);
    EXPECT_EQ(again->target(), path);
    EXPECT_EQ(again->query("SELECT NMFILIAL FROM FILIAL WHERE CDFILIAL = '0001'", {}, "nome").rows.at(0).at(0),
              pla013::host::Variant("Mantida"));
}

TEST_F(DefaultDatabase, AnyOtherMissingPathIsAnErrorAndCreatesNothing) {
    const std::string other = (m_dir.path() / "outro.sqlite").string();
    EXPECT_THROW(pla013::db::openDatabase(other), EHostError);
    EXPECT_FALSE(fs::exists(other));
}

}  // namespace
