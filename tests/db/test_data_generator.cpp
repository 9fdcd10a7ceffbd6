// The generator of large catering databases, on small sizes: the same rows
// for a seed (on every engine), other rows for another seed, dish codes that
// fit the picture, and data that the form's lookups and the three comparison
// methods of a real server find.

#include <gtest/gtest.h>

#include <map>

#include "DbTestSupport.h"
#include "form/TfrmRelatPrato.h"
#include "host/DataPacket.h"
#include "host/Ports.h"
#include "platform/appserver/AppServer.h"
#include "platform/db/DataGenerator.h"
#include "platform/net/HttpTransport.h"

using pla013::db::DbEngine;
using pla013::host::Variant;

namespace {

pla013::db::GeneratorOptions smallOptions(std::uint64_t seed) {
    pla013::db::GeneratorOptions options;
    options.dishes = 200;
    options.branches = 12;
    options.months = 1;
    options.seed = seed;
    return options;
}

std::unique_ptr<dbtest::ScratchDatabase> generated(DbEngine engine, std::uint64_t seed) {
    return std::make_unique<dbtest::ScratchDatabase>(
        engine, [seed](const std::string& location) { pla013::db::generateDatabase(location, smallOptions(seed)); });
}

// Row count and a hash of the rows of a few tables, in key order.
std::string fingerprint(pla013::db::SociDatabase& db) {
    const char* queries[] = {
        "SELECT CDFILIAL, NMFILIAL, IDCNTRRESC, IDFILCENTPME, CDFILCENTPME FROM FILIAL ORDER BY CDFILIAL",
        "SELECT CDPRATO, CDFILAUXPRAT, NMPRATO, CDNVPRATO FROM PRATO ORDER BY CDPRATO, CDFILAUXPRAT",
        "SELECT CDPRATO, CDFILAUXPRAT, NRSEQU, CDPRODUTO, QTBRUTPROD FROM RECEITAPRATO ORDER BY 1, 2, 3",
        "SELECT CDFILIAL, CDPRATO, CDFILAUXPRAT, NRSEQU, CDPRODUTO, QTBRUTPROD FROM RECEITALOCAL ORDER BY 1, 2, 3, 4",
        "SELECT CDPRODUTO, NRTIPOCUST, VRCUSTO FROM CUSTOPRODUTO ORDER BY CDPRODUTO, NRTIPOCUST, DTVALIDADE"};
    std::string text;
    for (const char* sql : queries) {
        const pla013::host::DataPacket rows = db.query(sql, {}, "fingerprint");
        std::uint64_t hash = 1469598103934665603ull;
        for (const auto& row : rows.rows)
            for (const Variant& value : row)
                for (char c : (value.isNull() ? std::string("~") : value.toString()) + "|") {
                    hash ^= static_cast<unsigned char>(c);
                    hash *= 1099511628211ull;
                }
        text += std::to_string(rows.rows.size()) + ":" + std::to_string(hash) + " ";
    }
    return text;
}

TEST(DataGenerator, SameSeedSameRowsOnEveryEngineAnotherSeedOtherRows) {
    const std::string seven = fingerprint(generated(DbEngine::SQLite, 7)->db());
    EXPECT_EQ(fingerprint(generated(DbEngine::SQLite, 7)->db()), seven);
    EXPECT_NE(fingerprint(generated(DbEngine::SQLite, 8)->db()), seven);
    for (const DbEngine engine : {DbEngine::PostgreSQL, DbEngine::Firebird}) {
        if (!dbtest::unavailable(engine)) {
            EXPECT_EQ(fingerprint(generated(engine, 7)->db()), seven) << int(engine);
        }
    }
}

TEST(DataGenerator, DishCodesFillCompleteLevelsOfThePicture) {
    auto scratch = generated(DbEngine::SQLite, 7);
    const auto rows = scratch->db().query(
        "SELECT P.CDPRATO, P.CDNVPRATO, C.NRTAMACUM FROM PRATO P\n"
        "LEFT JOIN CODEPICTURE C ON C.TPPICT = 'PRATO' AND C.NRNIVEL = CAST(P.CDNVPRATO AS INTEGER)",
        {}, "picture");
    std::map<std::string, int> dishesPerLevel;
    for (const auto& row : rows.rows) {
        ASSERT_FALSE(row[2].isNull()) << row[0].toString() << " has a level the picture lacks";
        EXPECT_EQ(row[0].toString().size(), std::size_t(row[2].toInt())) << row[0].toString();
        ++dishesPerLevel[row[1].toString()];
    }
    const auto codes =
        scratch->db().query("SELECT COUNT(DISTINCT CDPRATO) FROM PRATO WHERE CDNVPRATO = '3'", {}, "codes");
    EXPECT_EQ(codes.rows.at(0).at(0).toInt(), 200);
    EXPECT_GT(dishesPerLevel["3"], 200);  // some branches keep their own version of a standard dish
}

TEST(DataGenerator, BadOptionsAreRefusedNamingTheOption) {
    struct Case {
        void (*change)(pla013::db::GeneratorOptions&);
        const char* option;
    };
    const Case cases[] = {{[](auto& o) { o.dishes = 0; }, "--dishes"},
                          {[](auto& o) { o.dishes = 1000001; }, "--dishes"},
                          {[](auto& o) { o.branches = 1; }, "--branches"},
                          {[](auto& o) { o.services = 100; }, "--services"},
                          {[](auto& o) { o.months = 0; }, "--months"}};
    dbtest::TempDir dir;
    for (const Case& c : cases) {
        pla013::db::GeneratorOptions options;
        c.change(options);
        try {
            pla013::db::generateDatabase(dir.file("x.sqlite"), options);
            ADD_FAILURE() << c.option << " accepted";
        } catch (const std::invalid_argument& e) {
            EXPECT_NE(std::string(e.what()).find(c.option), std::string::npos) << e.what();
        }
        EXPECT_FALSE(std::filesystem::exists(dir.file("x.sqlite")));
    }
}

class GeneratedDish : public ::testing::TestWithParam<DbEngine> {};

// A school with a central kitchen, a service, and a standard dish with a
// standard recipe and the school's local recipe.
TEST_P(GeneratedDish, FormLookupsAndServerMethodsFindIt) {
    if (const auto why = dbtest::unavailable(GetParam())) GTEST_SKIP() << *why;
    auto scratch = generated(GetParam(), 7);
    auto& db = scratch->db();
    const auto pick = db.query(
        "SELECT L.CDFILIAL, L.CDPRATO, S.CDSERVFILI, F.CDFILCENTPME FROM RECEITALOCAL L\n"
        "JOIN FILIAL F ON F.CDFILIAL = L.CDFILIAL\n"
        "JOIN SERVICO S ON S.CDFILIAL = L.CDFILIAL AND S.IDTIPOSERV <> 'A'\n"
        "WHERE L.CDFILAUXPRAT = 'P' AND F.CDFILCENTPME IS NOT NULL\n"
        "  AND EXISTS (SELECT 1 FROM RECEITAPRATO R WHERE R.CDPRATO = L.CDPRATO AND R.CDFILAUXPRAT = 'P')\n"
        "ORDER BY L.CDFILIAL, L.CDPRATO, S.CDSERVFILI",
        {}, "pick");
    ASSERT_FALSE(pick.rows.empty());
    const std::string branch = pick.rows[0][0].toString(), dish = pick.rows[0][1].toString(),
                      service = pick.rows[0][2].toString(), kitchen = pick.rows[0][3].toString();
    auto count = [&](const std::string& sql) {
        return db.query(sql, {{"B", Variant(branch)}, {"D", Variant(dish)}}, "count").rows.at(0).at(0).toInt();
    };
    const auto standardLines = count("SELECT COUNT(*) FROM RECEITAPRATO WHERE CDPRATO = :D AND CDFILAUXPRAT = 'P'");
    const auto localLines =
        count("SELECT COUNT(*) FROM RECEITALOCAL WHERE CDFILIAL = :B AND CDPRATO = :D AND CDFILAUXPRAT = 'P'");

    // The form's lookups, as the form runs them.
    pla013::TfrmRelatPrato form;
    pla013::host::Ports ports = pla013::host::InstalledPorts();
    ports.database = &db;
    pla013::host::Install(ports);
    auto open = [](pla013::host::TADOIBQuery* q, const std::map<std::string, std::string>& params) {
        q->Close();
        for (const auto& [name, value] : params) q->ParamByName(name).SetAsString(value);
        q->Open();
        return q->RecordCount();
    };
    EXPECT_EQ(open(form.qryVdFilial, {{"P_CDFILIAL", branch}}), 1);
    EXPECT_EQ(open(form.qryCentral, {{"P_CDFILIAL", branch}}), 1);
    EXPECT_GE(open(form.qryServico, {{"P_CDFILIAL", branch}}), 1);
    EXPECT_EQ(open(form.qryVdServico, {{"P_CDFILIAL", branch}, {"P_CDSERVFILI", service}}), 1);
    EXPECT_EQ(open(form.qryPrato, {{"P_CDFILAUXPRAT", branch}, {"P_CDPRATO", dish}, {"P_TCDPRATO", ""}}), 1);
    EXPECT_GE(open(form.qryTipoCard, {{"P_CDFILCENTPME", kitchen}, {"P_CDTIPOCARD", ""}}), 1);
    ports.database = nullptr;
    pla013::host::Install(ports);

    // The three methods through a real server on loopback, for that dish.
    pla013::appserver::AppServerOptions options;
    options.logLevel = pla013::appserver::LogLevel::Quiet;
    const std::string location = scratch->location();
    pla013::appserver::AppServer server([location] { return std::make_unique<pla013::db::SociDatabase>(location); },
                                        options);
    server.start();
    pla013::net::HttpTransport transport;
    using K = pla013::host::CallArg::Kind;
    const Variant date = Variant::date(pla013::host::EncodeDate(2024, 6, 30));
    const std::string last = dish + std::string(10 - dish.size(), 'Z');
    auto call = [&](const char* method, std::vector<pla013::host::CallArg> args) {
        return transport.Call(server.host(), server.port(), "PLA01303.rdmEmissaoReceitas", method, args);
    };
    const Variant pl = call("GetRelCompRecPL", {{K::TextByRef, Variant(branch)},
                                                {K::TextByRef, Variant(dish)},
                                                {K::TextByRef, Variant(last)},
                                                {K::Int32, Variant(1)},
                                                {K::Date, date}});
    EXPECT_EQ(pl.at(0).packet()->rows.size(), 1u);
    EXPECT_EQ(std::int64_t(pl.at(1).packet()->rows.size()), standardLines);
    EXPECT_EQ(std::int64_t(pl.at(2).packet()->rows.size()), localLines);

    const Variant ps = call("GetRelCompRecPS", {{K::TextByValue, Variant(branch)},
                                                {K::TextByRef, Variant(branch)},
                                                {K::TextByRef, Variant(dish)},
                                                {K::TextByRef, Variant(last)},
                                                {K::TextByRef, Variant(service)},
                                                {K::Int32, Variant(1)},
                                                {K::Date, date}});
    EXPECT_EQ(ps.at(0).packet()->rows.size(), 1u);
    EXPECT_EQ(std::int64_t(ps.at(1).packet()->rows.size()), standardLines);

    const Variant cent = call("GetRelPlCent", {{K::TextByRef, Variant(branch)},
                                               {K::TextByRef, Variant(dish)},
                                               {K::TextByRef, Variant(last)},
                                               {K::TextByValue, Variant(branch)},
                                               {K::Int32, Variant(1)},
                                               {K::Date, date}});
    ASSERT_EQ(cent.at(0).toInt(), 0) << cent.at(1).toString();
    ASSERT_EQ(cent.at(2).packet()->rows.size(), 1u);
    EXPECT_EQ(cent.at(2).packet()->rows[0][0].toString(), branch);
    EXPECT_EQ(cent.at(2).packet()->rows[0][2].toString(), dish);
    server.stop();
}

INSTANTIATE_TEST_SUITE_P(Engines, GeneratedDish,
                         ::testing::Values(DbEngine::SQLite, DbEngine::PostgreSQL, DbEngine::Firebird),
                         [](const auto& info) { return std::string(dbtest::engineName(info.param)); });

}  // namespace
