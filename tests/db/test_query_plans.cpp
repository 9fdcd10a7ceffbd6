// The plans of the queries a one-dish call runs, read from the engine on a
// generated database: the texts of the server's methods (RecipeSql, as the
// methods build them) and the form's lookups (its query components, through
// the adapter's choice of text) must reach the dish, recipe, cost and menu
// tables through an index, never by reading them whole.
//
// SQLite: EXPLAIN QUERY PLAN after the generator's ANALYZE; a SCAN of one of
// those tables (named in the plan by its alias) or an automatic index fails.
// The small registers (branches, services) may be read whole. PostgreSQL: EXPLAIN
// with enable_seqscan off, because with a test's few thousand rows a
// sequential scan is the planner's honest choice; off, it still picks one
// where no index path exists, and that, or an index scan without an index
// condition (the whole index read), fails.
//
// qryPrato's stored text tests its dish with "(CDPRATO = :P_CDPRATO) OR
// (:P_TCDPRATO = 'T')": PostgreSQL folds the bound null and searches the key;
// SQLite cannot fold a bound value, so it searches by owner (IX_PRATO_DONO)
// and checks the code in the index.

#include <gtest/gtest.h>

#include <regex>
#include <set>

#include "DbTestSupport.h"
#include "form/TfrmRelatPrato.h"
#include "platform/appserver/internal/RecipeSql.h"
#include "platform/db/DataGenerator.h"

using pla013::db::DbEngine;
using pla013::db::SqlParams;
using pla013::host::Variant;
namespace sql = pla013::appserver::internal::sql;

namespace {

struct Query {
    std::string name;
    std::string text;
};

const std::set<std::string> kWatched = {"PRATO",        "RECEITAPRATO", "RECEITALOCAL", "RECEITASERV",
                                        "CUSTOPRODUTO", "CARDAPIO",     "ITEMCARDAPIO"};

// The watched tables of a text and the aliases it gives them.
std::set<std::string> watchedNames(const std::string& text) {
    static const std::set<std::string> keywords = {"WHERE", "JOIN", "ON", "ORDER", "LEFT", "INNER", "GROUP", "AND"};
    static const std::regex table(R"(\b([A-Z]+)\b(?:\s+([A-Z][A-Z0-9]*))?)");
    std::set<std::string> names;
    for (auto it = std::sregex_iterator(text.begin(), text.end(), table); it != std::sregex_iterator(); ++it) {
        if (!kWatched.count((*it)[1])) continue;
        names.insert((*it)[1]);
        if ((*it)[2].matched && !keywords.count((*it)[2])) names.insert((*it)[2]);
    }
    return names;
}

class QueryPlans : public ::testing::TestWithParam<DbEngine> {
protected:
    void SetUp() override {
        if (GetParam() == DbEngine::PostgreSQL && !dbtest::postgresTestUrl())
            GTEST_SKIP() << "PLA013_TEST_PG_URL is not set";
        const std::function<void(const std::string&)> generate = [](const std::string& location) {
            pla013::db::GeneratorOptions options;
            options.dishes = 2000;
            options.branches = 12;
            options.months = 1;
            pla013::db::generateDatabase(location, options);
        };
        m_scratch = std::make_unique<dbtest::ScratchDatabase>(GetParam(), generate);
        if (GetParam() == DbEngine::PostgreSQL) m_scratch->db().execute("SET enable_seqscan = off");
    }

    // The plan's lines that read a whole table or index; empty when none does.
    std::vector<std::string> fullReads(const Query& q, const SqlParams& params) {
        auto& db = m_scratch->db();
        std::vector<std::string> bad;
        if (GetParam() == DbEngine::SQLite) {
            const std::set<std::string> names = watchedNames(q.text);
            const auto plan = db.query("EXPLAIN QUERY PLAN " + q.text, params, q.name);
            const int detail = plan.fieldIndex("DETAIL");
            for (const auto& row : plan.rows) {
                const std::string line = row[std::size_t(detail)].toString();
                const bool scan = line.rfind("SCAN ", 0) == 0 && names.count(line.substr(5, line.find(' ', 5) - 5));
                if (scan || line.find("AUTOMATIC") != std::string::npos) bad.push_back(line);
            }
            return bad;
        }
        const auto plan = db.query("EXPLAIN " + q.text, params, q.name);
        std::vector<std::string> lines;
        for (const auto& row : plan.rows) lines.push_back(row[0].toString());
        for (std::size_t i = 0; i < lines.size(); ++i) {
            const std::string& line = lines[i];
            const std::size_t on = line.find(" on ");
            if (on == std::string::npos || line.find("Scan") == std::string::npos) continue;
            const std::string table = line.substr(on + 4, line.find(' ', on + 4) - on - 4);
            std::string upper = table;
            for (char& c : upper) c = char(std::toupper(static_cast<unsigned char>(c)));
            if (!kWatched.count(upper)) continue;
            if (line.find("Seq Scan") != std::string::npos) {
                bad.push_back(line);
                continue;
            }
            if (line.find("Index") == std::string::npos) continue;
            bool condition = false;
            for (std::size_t j = i + 1; j < lines.size() && lines[j].find("->") == std::string::npos; ++j)
                condition = condition || lines[j].find("Index Cond") != std::string::npos;
            if (!condition) bad.push_back(line);
        }
        return bad;
    }

    void expectIndexed(const Query& q, const SqlParams& params) {
        const auto bad = fullReads(q, params);
        std::string text;
        for (const auto& line : bad) text += "\n  " + line;
        EXPECT_TRUE(bad.empty()) << q.name << " reads whole tables:" << text;
    }

    std::unique_ptr<dbtest::ScratchDatabase> m_scratch;
};

// One dish of one branch, as the form sends it: the last code padded with Z.
const SqlParams kOneDish = {{"P_CDFILIAL", Variant(std::string("0002"))},
                            {"P_CDFILIALSERV", Variant(std::string("0002"))},
                            {"P_CDSERVFILI", Variant(std::string("00001"))},
                            {"P_CDPRATOINI", Variant(std::string("30001"))},
                            {"P_CDPRATOFIN", Variant(std::string("30001ZZZZZ"))},
                            {"P_NRTIPOCUST", Variant(1)},
                            {"P_DTREFER", Variant::date(pla013::host::EncodeDate(2024, 6, 30))}};

TEST_P(QueryPlans, ServerMethodsReachOneDishThroughIndexes) {
    const sql::Bounds both;
    const std::vector<Query> queries = {
        {"dishesWithLocalRecipe", sql::dishesWithLocalRecipe(both)},
        {"dishesWithServiceRecipe", sql::dishesWithServiceRecipe(both)},
        {"standardLines", sql::standardLines(both)},
        {"localLines", sql::localLines(both)},
        {"serviceLines", sql::serviceLines(both)},
        {"branchesOfCentral", sql::branchesOfCentral()},
        {"localLinesOfCentral", sql::localLinesOfCentral(both)},
        {"standardLinesInRange", sql::standardLinesInRange(both)},
        {"costType", sql::costType()},
    };
    for (const Query& q : queries) expectIndexed(q, kOneDish);
}

TEST_P(QueryPlans, FormLookupsOfOneDishBranchAndServiceUseIndexes) {
    pla013::TfrmRelatPrato form;
    auto text = [this](pla013::host::TADOIBQuery* q) {
        return Query{q->Name(), pla013::db::SociDatabase::selectText(q->SQL, GetParam(), q->Name())};
    };
    const SqlParams params = {{"P_CDFILIAL", Variant(std::string("0002"))},
                              {"P_CDSERVFILI", Variant(std::string("00001"))},
                              {"P_CDFILAUXPRAT", Variant(std::string("0002"))},
                              {"P_CDPRATO", Variant(std::string("30001"))},
                              {"P_TCDPRATO", Variant::null()},
                              {"P_CDFILCENTPME", Variant(std::string("0001"))},
                              {"P_CDTIPOCARD", Variant::null()}};
    for (auto* q :
         {form.qryVdFilial, form.qryServico, form.qryVdServico, form.qryPrato, form.qryCentral, form.qryTipoCard})
        expectIndexed(text(q), params);
}

INSTANTIATE_TEST_SUITE_P(Engines, QueryPlans, ::testing::Values(DbEngine::SQLite, DbEngine::PostgreSQL),
                         [](const auto& info) { return std::string(dbtest::engineName(info.param)); });

}  // namespace
