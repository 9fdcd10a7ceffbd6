// The lookup queries of the dish report form, run as stored against a real
// SQLite database built from our schema: the text SQLite runs (the Oracle
// one where there is one, else the generic one) must bring back the fields
// the form expects, and the filters must select what the lookups need.

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "form/TfrmRelatPrato.h"

using pla013::TfrmRelatPrato;

namespace {

// NVL and NVLSTR as the Oracle and InterBase engines give them: the second
// value when the first is null or empty.
void nvl(sqlite3_context* ctx, int, sqlite3_value** argv) {
    sqlite3_value* first = argv[0];
    bool missing = sqlite3_value_type(first) == SQLITE_NULL ||
                   (sqlite3_value_type(first) == SQLITE_TEXT && sqlite3_value_bytes(first) == 0);
    sqlite3_result_value(ctx, missing ? argv[1] : first);
}

using Row = std::map<std::string, std::optional<std::string>>;
using Params = std::map<std::string, std::optional<std::string>>;  // nullopt: null

class Catering {
public:
    Catering() {
        if (sqlite3_open(":memory:", &m_db) != SQLITE_OK) throw std::runtime_error("sqlite open");
        for (const char* name : {"NVL", "NVLSTR"})
            sqlite3_create_function(m_db, name, 2, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr, nvl, nullptr, nullptr);
        std::vector<std::filesystem::path> files;
        for (const auto& e : std::filesystem::directory_iterator(PLA013_SQLITE_SCHEMA_DIR))
            if (e.path().extension() == ".sql") files.push_back(e.path());
        std::sort(files.begin(), files.end());
        if (files.empty()) throw std::runtime_error("no schema in " PLA013_SQLITE_SCHEMA_DIR);
        for (const auto& f : files) {
            std::ifstream in(f);
            std::stringstream ss;
            ss << in.rdbuf();
            exec(ss.str());
        }
    }
    ~Catering() { sqlite3_close(m_db); }
    Catering(const Catering&) = delete;
    Catering& operator=(const Catering&) = delete;

    void exec(const std::string& sql) {
        char* err = nullptr;
        if (sqlite3_exec(m_db, sql.c_str(), nullptr, nullptr, &err) != SQLITE_OK) {
            std::string msg = err ? err : "?";
            sqlite3_free(err);
            throw std::runtime_error("sqlite: " + msg);
        }
    }

    // Runs the query's text for this engine with every declared parameter
    // bound by name; returns the column names and the rows.
    std::vector<Row> run(pla013::host::TADOIBQuery& q, const Params& params,
                         std::vector<std::string>* columns = nullptr) {
        const std::string& sql = q.SQL.oracle.empty() ? q.SQL.generic : q.SQL.oracle;
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(m_db, sql.c_str(), -1, &st, nullptr) != SQLITE_OK)
            throw std::runtime_error(q.Name() + ": " + sqlite3_errmsg(m_db));
        for (std::size_t i = 0; i < q.Params().Count(); ++i) {
            const std::string& name = q.Params()[i].Name();
            int index = sqlite3_bind_parameter_index(st, (":" + name).c_str());
            if (index == 0) continue;  // used only by another dialect
            auto it = params.find(name);
            if (it == params.end()) throw std::runtime_error(q.Name() + ": no value for " + name);
            if (it->second)
                sqlite3_bind_text(st, index, it->second->c_str(), -1, SQLITE_TRANSIENT);
            else
                sqlite3_bind_null(st, index);
        }
        std::vector<std::string> names;
        for (int c = 0; c < sqlite3_column_count(st); ++c) names.push_back(sqlite3_column_name(st, c));
        if (columns) *columns = names;
        std::vector<Row> rows;
        int rc;
        while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
            Row row;
            for (int c = 0; c < int(names.size()); ++c) {
                auto* text = sqlite3_column_text(st, c);
                row[names[c]] = text ? std::optional<std::string>(reinterpret_cast<const char*>(text)) : std::nullopt;
            }
            rows.push_back(std::move(row));
        }
        std::string error = rc == SQLITE_DONE ? "" : sqlite3_errmsg(m_db);
        sqlite3_finalize(st);
        if (!error.empty()) throw std::runtime_error(q.Name() + ": " + error);
        return rows;
    }

private:
    sqlite3* m_db = nullptr;
};

std::vector<std::string> column(const std::vector<Row>& rows, const std::string& name) {
    std::vector<std::string> out;
    for (const Row& r : rows) out.push_back(r.at(name).value_or("<null>"));
    return out;
}

class FormQueries : public ::testing::Test {
protected:
    void SetUp() override {
        db.exec(R"(
            INSERT INTO FILIAL (CDFILIAL, NMFILIAL, IDCNTRRESC, IDFILCENTPME, CDFILCENTPME) VALUES
              ('0001', 'Central de Merenda', 'N', 'S', NULL),
              ('0002', 'Escola São João',    'N', 'N', '0001'),
              ('0003', 'Escola Aurora',      'N', 'N', '0001'),
              ('0004', 'Restaurante Sede',   'N', 'N', NULL),
              ('0014', 'Filial Catorze',     'N', 'N', NULL);
            INSERT INTO SERVICO (CDFILIAL, CDSERVFILI, NMSERVICO, IDTIPOSERV) VALUES
              ('0002', '00001', 'Almoço',      'N'),
              ('0002', '00002', 'Avulso',      'A'),
              ('0003', '00001', 'Lanche',      'N'),
              ('0004', '00005', 'Café',        'N'),
              ('0014', '00001', 'Jantar',      'N');
            INSERT INTO PRATO (CDPRATO, CDFILAUXPRAT, NMPRATO, CDNVPRATO) VALUES
              ('1',   'P',    'Grãos',           '1'),
              ('101', 'P',    'Arroz',           '3'),
              ('9',   'P',    'Sobremesas',      '1'),
              ('101', '0002', 'Arroz da escola', '3'),
              ('102', '0003', 'Feijão tropeiro', '3');
            INSERT INTO TIPOCARD (CDFILCENTPME, CDTIPOCARD, NMTIPOCARD) VALUES
              ('0001', '0000000002', 'Especial'),
              ('0001', '0000000001', 'Normal'),
              ('0004', '0000000009', 'Outro');
        )");
    }
    Catering db;
    TfrmRelatPrato form;
};

TEST_F(FormQueries, EveryQueryBringsBackTheFieldsTheFormExpects) {
    const Params any = {{"P_CDFILIAL", "0002"},     {"P_CDSERVFILI", "00001"}, {"P_CDFILAUXPRAT", "0002"},
                        {"P_CDPRATO", "101"},       {"P_TCDPRATO", ""},        {"P_CDTIPOCARD", std::nullopt},
                        {"P_CDFILCENTPME", "0001"}, {"P_TCDFILIAL", ""}};
    for (pla013::host::TADOIBQuery* q : {form.qryFilial, form.qryVdFilial, form.qryServico, form.qryVdServico,
                                         form.qryPrato, form.qryCentral, form.qryTipoCard, form.qryServi}) {
        SCOPED_TRACE(q->Name());
        std::vector<std::string> columns;
        ASSERT_NO_THROW(db.run(*q, any, &columns));
        std::set<std::string> got(columns.begin(), columns.end());
        std::set<std::string> want;
        for (const auto& f : q->Fields()) want.insert(f->FieldName());
        if (q == form.qryCentral)
            want = {"CDFILIAL", "NMFILIAL", "IDCNTRRESC", "IDFILCENTPME", "CDFILCENTPME", "NMCENTRAL"};
        EXPECT_EQ(got, want);
    }
}

TEST_F(FormQueries, ServiceListTakesAllBranchesOrThoseInTheListText) {
    auto all = db.run(*form.qryServi, {{"P_CDFILIAL", "T"}, {"P_TCDFILIAL", ""}});
    // The generic text lists services of every type, ordered by branch and code.
    EXPECT_EQ(column(all, "CDFILISERV"),
              (std::vector<std::string>{"000200001", "000200002", "000300001", "000400005", "001400001"}));

    auto some = db.run(*form.qryServi, {{"P_CDFILIAL", "0002,0014"}, {"P_TCDFILIAL", ""}});
    EXPECT_EQ(column(some, "CDFILISERV"), (std::vector<std::string>{"000200001", "000200002", "001400001"}));
    EXPECT_EQ(column(some, "CDFILIAL"), (std::vector<std::string>{"0002", "0002", "0014"}));

    EXPECT_TRUE(db.run(*form.qryServi, {{"P_CDFILIAL", "9999"}, {"P_TCDFILIAL", ""}}).empty());
}

TEST_F(FormQueries, MenuTypesOfAKitchenAllOrOne) {
    auto all = db.run(*form.qryTipoCard, {{"P_CDFILCENTPME", "0001"}, {"P_CDTIPOCARD", std::nullopt}});
    EXPECT_EQ(column(all, "CDTIPOCARD"), (std::vector<std::string>{"0000000001", "0000000002"}));

    auto one = db.run(*form.qryTipoCard, {{"P_CDFILCENTPME", "0001"}, {"P_CDTIPOCARD", "0000000002"}});
    EXPECT_EQ(column(one, "NMTIPOCARD"), (std::vector<std::string>{"Especial"}));

    // A code of another kitchen is not this kitchen's.
    EXPECT_TRUE(db.run(*form.qryTipoCard, {{"P_CDFILCENTPME", "0001"}, {"P_CDTIPOCARD", "0000000009"}}).empty());
}

TEST_F(FormQueries, DishesAreTheStandardOnesAndThoseOfTheBranch) {
    auto all = db.run(*form.qryPrato, {{"P_CDFILAUXPRAT", "0002"}, {"P_CDPRATO", ""}, {"P_TCDPRATO", "T"}});
    // Text order: "101" before "9"; the branch's own 101 beside the standard one.
    EXPECT_EQ(column(all, "CDPRATO"), (std::vector<std::string>{"1", "101", "101", "9"}));
    EXPECT_EQ(column(all, "NMPRATO"), (std::vector<std::string>{"Grãos", "Arroz", "Arroz da escola", "Sobremesas"}));

    auto one = db.run(*form.qryPrato, {{"P_CDFILAUXPRAT", "0003"}, {"P_CDPRATO", "102"}, {"P_TCDPRATO", ""}});
    EXPECT_EQ(column(one, "NMPRATO"), (std::vector<std::string>{"Feijão tropeiro"}));
    EXPECT_TRUE(db.run(*form.qryPrato, {{"P_CDFILAUXPRAT", "0002"}, {"P_CDPRATO", "102"}, {"P_TCDPRATO", ""}}).empty());
}

TEST_F(FormQueries, CentralKitchenOfABranch) {
    struct Case {
        const char* branch;
        const char* central;
        const char* nmCentral;
    };
    const Case cases[] = {
        {"0001", "<null>", "Central de Merenda"},  // a central kitchen is its own
        {"0002", "0001", "Central de Merenda"},
        {"0004", "<null>", "Restaurante Sede"},  // no central: its own name
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.branch);
        auto rows = db.run(*form.qryCentral, {{"P_CDFILIAL", c.branch}});
        ASSERT_EQ(rows.size(), 1u);
        EXPECT_EQ(column(rows, "CDFILCENTPME").front(), c.central);
        EXPECT_EQ(column(rows, "NMCENTRAL").front(), c.nmCentral);
    }
    EXPECT_TRUE(db.run(*form.qryCentral, {{"P_CDFILIAL", "9999"}}).empty());
}

TEST_F(FormQueries, ValidationLookupsFindOneNameAndSkipExcludedServices) {
    EXPECT_EQ(column(db.run(*form.qryVdFilial, {{"P_CDFILIAL", "0003"}}), "NMFILIAL"),
              (std::vector<std::string>{"Escola Aurora"}));
    EXPECT_TRUE(db.run(*form.qryVdFilial, {{"P_CDFILIAL", "0009"}}).empty());

    EXPECT_EQ(column(db.run(*form.qryVdServico, {{"P_CDFILIAL", "0002"}, {"P_CDSERVFILI", "00001"}}), "NMSERVICO"),
              (std::vector<std::string>{"Almoço"}));
    // Type "A" services are not offered, and a service code belongs to its branch.
    EXPECT_TRUE(db.run(*form.qryVdServico, {{"P_CDFILIAL", "0002"}, {"P_CDSERVFILI", "00002"}}).empty());
    EXPECT_TRUE(db.run(*form.qryVdServico, {{"P_CDFILIAL", "0004"}, {"P_CDSERVFILI", "00001"}}).empty());

    EXPECT_EQ(column(db.run(*form.qryServico, {{"P_CDFILIAL", "0002"}}), "CDSERVFILI"),
              (std::vector<std::string>{"00001"}));
    EXPECT_EQ(column(db.run(*form.qryFilial, {}), "CDFILIAL"),
              (std::vector<std::string>{"0001", "0002", "0003", "0004", "0014"}));
}

}  // namespace
