// The three comparison data sets end to end: the form calls the real
// application server on loopback over a copy of the sample database (or one
// with generated recipes), and the compositions are checked against the
// database and against a plain reference merge of the packets received.

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "FormHarness.h"
#include "RecipesSupport.h"
#include "form/TfrmRelatPrato.h"
#include "platform/appserver/AppServer.h"
#include "platform/db/DatabaseInitializer.h"
#include "platform/db/SociDatabase.h"

using namespace recipetest;
using pla013test::FormHarness;
using pla013test::TempDir;
using Texts = std::vector<std::string>;
using Kind = pla013::host::CallArg::Kind;

namespace {

const Texts kKeyAndProducts = {"CDPRATO", "CDFILAUXPRAT", "NRSEQUPRATO", "CDPRODUTOP", "CDPRODUTOL"};

pla013::runtime::HostOptions options() {
    pla013::runtime::HostOptions o;
    o.date = "2024-08-15";
    return o;
}

Texts composition(pla013::TfrmRelatPrato& f, const Texts& fields = kKeyAndProducts) {
    return rowTexts(f.cdsReceitaPadLoc->Snapshot(), fields);
}

Texts rowsOfDish(const Texts& rows, const std::string& prefix) {
    Texts out;
    for (const auto& r : rows)
        if (r.rfind(prefix, 0) == 0) out.push_back(r);
    return out;
}

// Expected composition rows read straight from the recipe tables, for the
// dishes the server listed: standard lines and the branch's local lines in
// their sequence, paired by position.
Texts expectedFromDatabase(const std::string& dbPath, const DataPacket& dishes, const std::string& branch) {
    auto db = pla013::db::openDatabase(dbPath);
    Texts out;
    for (const auto& d : dishes.rows) {
        const std::string code = d[std::size_t(dishes.fieldIndex("CDPRATO"))].toString();
        const std::string owner = d[std::size_t(dishes.fieldIndex("CDFILAUXPRAT"))].toString();
        auto products = [&](const std::string& sql, pla013::db::SqlParams p) {
            Texts v;
            for (const auto& r : db->query(sql, p, "esperado").rows) v.push_back(r[0].toString());
            return v;
        };
        const Texts s =
            products("SELECT CDPRODUTO FROM RECEITAPRATO WHERE CDPRATO = :C AND CDFILAUXPRAT = :O ORDER BY NRSEQU",
                     {{"C", Variant(code)}, {"O", Variant(owner)}});
        const Texts l = products(
            "SELECT CDPRODUTO FROM RECEITALOCAL WHERE CDFILIAL = :F AND CDPRATO = :C AND CDFILAUXPRAT = :O "
            "ORDER BY NRSEQU",
            {{"F", Variant(branch)}, {"C", Variant(code)}, {"O", Variant(owner)}});
        for (std::size_t k = 0; k < std::max(s.size(), l.size()); ++k)
            out.push_back(code + "|" + owner + "|" + std::to_string(k + 1) + "|" + (k < s.size() ? s[k] : "~") + "|" +
                          (k < l.size() ? l[k] : "~"));
    }
    std::sort(out.begin(), out.end(), [](const std::string& a, const std::string& b) {
        // code, owner, then the line number as a number
        auto key = [](const std::string& t) {
            const auto p1 = t.find('|'), p2 = t.find('|', p1 + 1), p3 = t.find('|', p2 + 1);
            return std::make_tuple(t.substr(0, p1), t.substr(p1 + 1, p2 - p1 - 1), std::stoi(t.substr(p2 + 1, p3)));
        };
        return key(a) < key(b);
    });
    return out;
}

// A real transport that records, installed over the harness's ports.
struct Recorder {
    Recorder()
        : transport(*pla013::host::InstalledPorts().transport), guard([&] {
              pla013::host::Ports p = pla013::host::InstalledPorts();
              p.transport = &transport;
              return p;
          }()) {}
    RecordingTransport transport;
    PortsGuard guard;

    const RecordingTransport::RecordedCall& last(const std::string& method) const {
        for (auto it = transport.calls.rbegin(); it != transport.calls.rend(); ++it)
            if (it->method == method) return *it;
        throw std::logic_error("no call of " + method);
    }
};

std::vector<std::pair<Kind, std::string>> argsOf(const RecordingTransport::RecordedCall& c) {
    std::vector<std::pair<Kind, std::string>> out;
    for (const auto& a : c.args)
        out.emplace_back(a.kind, a.kind == Kind::Date ? pla013::host::DateToIso(a.value.toDate()) : a.value.toString());
    return out;
}

// ------------------------------------------------ standard versus local

TEST(RecipesServer, SampleEdgeCasesOfTheLocalComposition) {
    FormHarness h(options());
    auto r = h.run("launch\nreport 2\ntype medCdFilial 0002\ncall RelCompRecPL 20001 40001ZZZZZ\n");
    ASSERT_EQ(r.status, 0) << r.err;
    auto& f = *h.form();
    const Texts rows = composition(f);

    EXPECT_EQ(rows, expectedFromDatabase(h.databasePath(), f.cdsPratosRel->Data(), "0002"));

    // More local than standard lines: rows 4 and 5 carry the local side only.
    const Texts d30001 = rowsOfDish(rows, "30001|P|");
    ASSERT_EQ(d30001.size(), 5u);
    EXPECT_EQ(d30001[3].substr(d30001[3].find("|~|")), "|~|2003");
    // More standard than local lines.
    const Texts d31001 = rowsOfDish(rows, "31001|P|");
    ASSERT_EQ(d31001.size(), 5u);
    EXPECT_EQ(d31001[4].substr(d31001[4].size() - 2), "|~");
    // Without local recipe, and without standard lines.
    for (const auto& row : rowsOfDish(rows, "40001|P|")) EXPECT_EQ(row.substr(row.size() - 2), "|~");
    const Texts d33004 = rowsOfDish(rows, "33004|0002|");
    ASSERT_EQ(d33004.size(), 3u);
    EXPECT_EQ(d33004[0].substr(0, 15), "33004|0002|1|~|");
    // Carrots at positions 1 and 4 of the standard recipe, at 3 locally: no
    // row pairs them by product.
    EXPECT_EQ(rowsOfDish(rows, "20001|P|1|")[0], "20001|P|1|2002|2001");
    EXPECT_EQ(rowsOfDish(rows, "20001|P|3|")[0], "20001|P|3|2003|2002");
    // The same code under two owners keeps two recipes apart.
    EXPECT_FALSE(rowsOfDish(rows, "30001|0002|").empty());
    EXPECT_NE(rowsOfDish(rows, "30001|0002|1|"), rowsOfDish(rows, "30001|P|1|"));

    // The dish columns come from the dish list.
    f.cdsReceitaPadLoc->First();
    EXPECT_EQ(f.cdsReceitaPadLoc->FieldByName("NMPRATO").AsString(), "Sopa de legumes");
    // The line data sets are left on the last dish.
    EXPECT_EQ(f.cdsPratoPadr->Filter(), "CDPRATOP = '40001'AND CDFILAUXPRATP = 'P'");
    EXPECT_EQ(f.cdsPratoLoca->Filter(), "CDPRATOL = '40001'AND CDFILAUXPRATL ='P'");
    EXPECT_EQ(f.cdsPratoPadr->RecordCount(), 3);
    EXPECT_EQ(f.cdsPratoLoca->RecordCount(), 0);
}

TEST(RecipesServer, RunningTwiceKeepsOnlyTheSecondAndAnEmptyListComposesNothing) {
    FormHarness h(options());
    ASSERT_EQ(h.run("launch\nreport 2\ntype medCdFilial 0002\n").status, 0);
    auto r =
        h.run("call RelCompRecPL 30001 30001ZZZZZ\ncall RelCompRecPL 31001 31001ZZZZZ\ndump-data cdsReceitaPadLoc\n");
    ASSERT_EQ(r.status, 0) << r.err;
    auto& f = *h.form();
    for (const auto& row : composition(f)) EXPECT_EQ(row.rfind("31001|P|", 0), 0u) << row;
    EXPECT_EQ(f.cdsPratosRel->RecordCount(), 1);
    // The dump is the data set in its index order, one line per row.
    EXPECT_EQ(r.lines.size(), 1 + composition(f).size());
    EXPECT_EQ(r.lines[0].rfind("CDPRATO,NMPRATO,CDFILAUXPRAT,NRSEQUPRATO,", 0), 0u);
    EXPECT_EQ(r.lines[1].rfind("31001,Frango assado com ervas,P,1,3002,", 0), 0u) << r.lines[1];

    r = h.run("call RelCompRecPL ZZ ZZZZZZZZZZ\ndump-data cdsReceitaPadLoc\n");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(f.cdsReceitaPadLoc->IsEmpty());
    EXPECT_TRUE(f.cdsPratosRel->IsEmpty());
    EXPECT_EQ(r.lines.size(), 1u) << "only the header";
}

TEST(RecipesServer, ArgumentsOfTheLocalCall) {
    FormHarness h(options());
    ASSERT_EQ(h.run("launch\nreport 1\nclick rdbLocal\ntype medCdFilial 0002\nclick rdbPadrao\n").status, 0);
    Recorder rec;
    ASSERT_EQ(h.run("call RelCompRecPL 30001 30001ZZZZZ\n").status, 0);
    const auto& call = rec.last("GetRelCompRecPL");
    EXPECT_EQ(call.serverName, "PLA01303.rdmEmissaoReceitas");
    using A = std::vector<std::pair<Kind, std::string>>;
    // "Padrão": the form's own branch, whatever the branch field shows.
    EXPECT_EQ(argsOf(call), (A{{Kind::TextByRef, "0001"},
                               {Kind::TextByRef, "30001"},
                               {Kind::TextByRef, "30001ZZZZZ"},
                               {Kind::Int32, "1"},
                               {Kind::Date, "2024-08-15"}}));
    EXPECT_EQ(h.form()->FCdFilialRec, "0001");
    EXPECT_TRUE(rowsOfDish(composition(*h.form()), "30001|0002|").empty()) << "branch 0002's dish is not asked for";

    h.form()->cbbTipoCust->SetItemIndex(2);  // its group is disabled at this position
    ASSERT_EQ(h.run("click rdbLocal\ncall RelCompRecPL 30001 30001ZZZZZ\n").status, 0);
    EXPECT_EQ(argsOf(rec.last("GetRelCompRecPL"))[0], std::make_pair(Kind::TextByRef, std::string("0002")));
    EXPECT_EQ(argsOf(rec.last("GetRelCompRecPL"))[3], std::make_pair(Kind::Int32, std::string("3")));
    EXPECT_FALSE(rowsOfDish(composition(*h.form()), "30001|0002|").empty());
}

TEST(RecipesServer, TenCharacterFinalCodeIsSentUnpadded) {
    TempDir dir;
    const std::string db = pla013test::copyOfSampleDatabase(dir.path());
    pla013::db::openDatabase(db)->executeScript(R"(
DELETE FROM CODEPICTURE WHERE TPPICT = 'PRATO';
INSERT INTO CODEPICTURE (TPPICT, NRNIVEL, NRTAMACUM) VALUES ('PRATO', 1, 1);
INSERT INTO CODEPICTURE (TPPICT, NRNIVEL, NRTAMACUM) VALUES ('PRATO', 2, 3);
INSERT INTO CODEPICTURE (TPPICT, NRNIVEL, NRTAMACUM) VALUES ('PRATO', 3, 5);
INSERT INTO CODEPICTURE (TPPICT, NRNIVEL, NRTAMACUM) VALUES ('PRATO', 4, 10);
INSERT INTO PRATO (CDPRATO, CDFILAUXPRAT, NMPRATO, CDNVPRATO) VALUES ('300', 'P', 'Carnes', '2');
INSERT INTO PRATO (CDPRATO, CDFILAUXPRAT, NMPRATO, CDNVPRATO) VALUES ('3000100001', 'P', 'Carne especial', '4');
INSERT INTO RECEITAPRATO (CDPRATO, CDFILAUXPRAT, NRSEQU, CDPRODUTO, QTBRUTPROD) VALUES ('3000100001', 'P', 1, '3001', 0.2);
INSERT INTO RECEITALOCAL (CDFILIAL, CDPRATO, CDFILAUXPRAT, NRSEQU, CDPRODUTO, QTBRUTPROD) VALUES ('0002', '3000100001', 'P', 1, '3004', 0.2);
)",
                                                "picture of four levels");
    auto o = options();
    o.db = db;
    FormHarness h(o);
    ASSERT_EQ(h.run("launch\nreport 2\ntype medCdFilial 0002\n").status, 0);
    Recorder rec;
    struct Case {
        const char* first;
        const char* last;
        const char* sent;
    } cases[] = {{"3", "300", "300ZZZZZZZ"},
                 {"3", "3", "3ZZZZZZZZZ"},
                 {"30001", "3000100001", "3000100001"},
                 {"3000100001", "3000100001", "3000100001"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.last);
        const std::size_t before = rec.transport.calls.size();
        auto r = h.run(std::string("type medCdPratoIni ") + c.first + "\ntype medCdPratoFin " + c.last + "\npreview\n");
        ASSERT_EQ(r.status, 0) << r.err;
        ASSERT_GT(rec.transport.calls.size(), before) << ::testing::PrintToString(r.lines);
        const auto args = argsOf(rec.last("GetRelCompRecPL"));
        EXPECT_EQ(args[1].second, c.first);
        EXPECT_EQ(args[2].second, c.sent);
    }
    EXPECT_EQ(composition(*h.form()), Texts{"3000100001|P|1|3001|3004"}) << "the ten-character dish, bound by itself";
}

// ---------------------------------------------------------- generated data

struct GeneratedDish {
    std::string code, owner;
    Texts standard, local;
};

// Dishes with codes that stress the merge (quotes, letter-case twins,
// prefixes), owned by the standard set, by branch 0002 or by branch 0003
// (invisible to 0002), with random recipes; branch 0003 also has local
// lines that must not show.
std::vector<GeneratedDish> generateRecipes(unsigned seed, std::string& sql) {
    std::mt19937 rng(seed);
    auto pick = [&](int n) { return int(rng() % unsigned(n)); };
    const Texts stems = {"Qab", "QAB", "qab", "Q'1", "q'1", "Q''", "Qx", "QX", "Qx1", "QX1", "q", "Q"};
    const Texts owners = {"P", "0002", "0003"};
    const Texts products = {"1001", "1002", "1003", "2001", "2002", "2003",
                            "2004", "2005", "3001", "3002", "5001", "5002"};
    auto quoted = [](const std::string& s) {
        std::string q = "'";
        for (char c : s) q += c == '\'' ? std::string("''") : std::string(1, c);
        return q + "'";
    };
    std::vector<GeneratedDish> out;
    std::set<std::pair<std::string, std::string>> seen;
    for (int i = 0; i < 60; ++i) {
        GeneratedDish d{stems[std::size_t(pick(int(stems.size())))] + (pick(2) ? std::to_string(pick(30)) : ""),
                        owners[std::size_t(pick(3))],
                        {},
                        {}};
        if (!seen.insert({d.code, d.owner}).second) continue;
        const int n = pick(7), m = pick(7);
        for (int k = 0; k < n; ++k) d.standard.push_back(products[std::size_t(pick(int(products.size())))]);
        for (int k = 0; k < m; ++k) d.local.push_back(products[std::size_t(pick(int(products.size())))]);
        sql += "INSERT INTO PRATO (CDPRATO, CDFILAUXPRAT, NMPRATO, CDNVPRATO) VALUES (" + quoted(d.code) + ", " +
               quoted(d.owner) + ", " + quoted("Prato " + d.code) + ", '3');\n";
        for (std::size_t k = 0; k < d.standard.size(); ++k)
            sql += "INSERT INTO RECEITAPRATO (CDPRATO, CDFILAUXPRAT, NRSEQU, CDPRODUTO, QTBRUTPROD) VALUES (" +
                   quoted(d.code) + ", " + quoted(d.owner) + ", " + std::to_string(k + 1) + ", '" + d.standard[k] +
                   "', 0.5);\n";
        for (std::size_t k = 0; k < d.local.size(); ++k)
            sql +=
                "INSERT INTO RECEITALOCAL (CDFILIAL, CDPRATO, CDFILAUXPRAT, NRSEQU, CDPRODUTO, QTBRUTPROD) VALUES "
                "('0002', " +
                quoted(d.code) + ", " + quoted(d.owner) + ", " + std::to_string(k + 1) + ", '" + d.local[k] +
                "', 0.25);\n";
        if (pick(3) == 0)
            sql +=
                "INSERT INTO RECEITALOCAL (CDFILIAL, CDPRATO, CDFILAUXPRAT, NRSEQU, CDPRODUTO, QTBRUTPROD) VALUES "
                "('0003', " +
                quoted(d.code) + ", " + quoted(d.owner) + ", 1, '6001', 9);\n";
        out.push_back(std::move(d));
    }
    return out;
}

TEST(RecipesServer, GeneratedRecipesMatchTheReferenceMergeAndTheTables) {
    for (unsigned seed : {11u, 12u, 13u}) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        TempDir dir;
        const std::string db = pla013test::copyOfSampleDatabase(dir.path());
        std::string sql;
        const auto dishes = generateRecipes(seed, sql);
        auto database = pla013::db::openDatabase(db);
        database->transaction([&] { database->executeScript(sql, "receitas geradas"); });
        database.reset();
        auto o = options();
        o.db = db;
        FormHarness h(o);
        auto r = h.run("launch\nreport 2\ntype medCdFilial 0002\ncall RelCompRecPL Q qzzzzzzzzz\n");
        ASSERT_EQ(r.status, 0) << r.err;
        auto& f = *h.form();

        // The client's merge against the plain one, over the packets it got.
        const DataPacket expected = referenceMerge(f.cdsPratosRel->Data(), f.cdsPratoPadr->Data(),
                                                   f.cdsPratoLoca->Data(), 'L', f.cdsReceitaPadLoc->FieldDefs);
        EXPECT_EQ(rowTexts(f.cdsReceitaPadLoc->Snapshot()), rowTexts(expected));

        // And against what was stored: every dish visible to 0002, its
        // standard recipe beside 0002's local one.
        Texts fromTables;
        for (const auto& d : dishes) {
            if (d.owner == "0003") continue;
            for (std::size_t k = 0; k < std::max(d.standard.size(), d.local.size()); ++k)
                fromTables.push_back(d.code + "|" + d.owner + "|" + std::to_string(k + 1) + "|" +
                                     (k < d.standard.size() ? d.standard[k] : "~") + "|" +
                                     (k < d.local.size() ? d.local[k] : "~"));
        }
        std::sort(fromTables.begin(), fromTables.end());
        Texts got = composition(f);
        std::sort(got.begin(), got.end());
        EXPECT_EQ(got, fromTables);
        for (const auto& row : composition(f, {"CDPRODUTOL"}))
            EXPECT_NE(row, "6001") << "a line of branch 0003 reached the composition";
    }
}

// ------------------------------------------------ standard versus service

TEST(RecipesServer, ServiceCompositionAndItsArguments) {
    FormHarness h(options());
    ASSERT_EQ(h.run("launch\nreport 2\ntype medCdFilial 0002\ncall RelCompRecPL 30001 30001ZZZZZ\n").status, 0);
    auto& f = *h.form();
    const Texts local = composition(f);
    ASSERT_FALSE(local.empty());

    Recorder rec;
    ASSERT_EQ(h.run("report 3\ntype medCdServFili 00002\ncall RelCompRecPS 40003 40003ZZZZZ\n").status, 0);
    using A = std::vector<std::pair<Kind, std::string>>;
    EXPECT_EQ(argsOf(rec.last("GetRelCompRecPS")), (A{{Kind::TextByValue, "0002"},
                                                      {Kind::TextByRef, "0002"},
                                                      {Kind::TextByRef, "40003"},
                                                      {Kind::TextByRef, "40003ZZZZZ"},
                                                      {Kind::TextByRef, "00002"},
                                                      {Kind::Int32, "1"},
                                                      {Kind::Date, "2024-08-15"}}));
    // 2 standard and 4 service lines: rows 3 and 4 carry this very dish and
    // the service side only.
    EXPECT_EQ(rowTexts(f.cdsReceitaPadSer->Snapshot(), {"CDPRATO", "CDFILAUXPRAT", "NRSEQUPRATO", "CDPRODUTOP"}),
              (Texts{"40003|P|1|1003", "40003|P|2|5002", "40003|P|3|~", "40003|P|4|~"}));
    for (const auto& row : rowTexts(f.cdsReceitaPadSer->Snapshot(), {"CDPRODUTOS", "NMPRATO"}))
        EXPECT_EQ(row.find('~'), std::string::npos) << row;
    EXPECT_EQ(composition(f), local) << "the local composition is left as it was";
    EXPECT_EQ(f.cdsPratoServ->Filter(), "CDPRATOS = '40003'AND CDFILAUXPRATS ='P'");

    // Not "Por Serviço": the service code sent is "XXX"; "Padrão": the
    // branch field first, the form's branch second.
    ASSERT_EQ(h.run("report 1\nclick rdbLocal\ncall RelCompRecPS 40003 40003ZZZZZ\n").status, 0);
    EXPECT_EQ(argsOf(rec.last("GetRelCompRecPS"))[4], std::make_pair(Kind::TextByRef, std::string("XXX")));
    ASSERT_EQ(h.run("click rdbPadrao\ncall RelCompRecPS 40003 40003ZZZZZ\n").status, 0);
    const auto args = argsOf(rec.last("GetRelCompRecPS"));
    EXPECT_EQ(args[0], std::make_pair(Kind::TextByValue, std::string("0002")));
    EXPECT_EQ(args[1], std::make_pair(Kind::TextByRef, std::string("0001")));
    EXPECT_EQ(args[4], std::make_pair(Kind::TextByRef, std::string("XXX")));
    EXPECT_FALSE(f.cdsReceitaPadSer->IsEmpty());
    for (const auto& row : rowTexts(f.cdsReceitaPadSer->Snapshot(), {"CDPRODUTOS"}))
        EXPECT_EQ(row, "~") << "no service has the code XXX";

    ASSERT_EQ(h.run("call RelCompRecPS ZZ ZZZZZZZZZZ\n").status, 0);
    EXPECT_TRUE(f.cdsReceitaPadSer->IsEmpty());
}

// ----------------------------------------------------- cost by central kitchen

TEST(RecipesServer, CostByCentralKitchen) {
    FormHarness h(options());
    ASSERT_EQ(h.run("launch\nreport 4\n").status, 0);
    auto& f = *h.form();
    Recorder rec;
    auto branchesIn = [&] {
        std::set<std::string> b;
        for (const auto& row : rowTexts(f.cdsRecPLCent->Snapshot(), {"CDFILIALL"})) b.insert(row);
        return b;
    };

    // "Todas" sends "T", whatever list the field holds.
    f.FListaFilial = "0003";
    auto r = h.run("call RelCRecPLCent 1 91002ZZZZZ\n");
    ASSERT_EQ(r.status, 0) << r.err;
    using A = std::vector<std::pair<Kind, std::string>>;
    EXPECT_EQ(argsOf(rec.last("GetRelPlCent")), (A{{Kind::TextByRef, "T"},
                                                   {Kind::TextByRef, "1"},
                                                   {Kind::TextByRef, "91002ZZZZZ"},
                                                   {Kind::TextByValue, "0001"},
                                                   {Kind::Int32, "1"},
                                                   {Kind::Date, "2024-08-15"}}));
    EXPECT_EQ(pla013test::withPrefix(r.lines, "dialog: "), Texts{"dialog: progress Carregando receitas..."});
    EXPECT_FALSE(h.ui().progressOpen());
    EXPECT_GT(branchesIn().size(), 1u);

    // "Lista": the list as it stands; a second run shows its answer only.
    ASSERT_EQ(h.run("click rbtListFili\nanswer list 0002,0003\nclick btnFilialCent\ncall RelCRecPLCent 1 91002ZZZZZ\n")
                  .status,
              0);
    EXPECT_EQ(argsOf(rec.last("GetRelPlCent"))[0], std::make_pair(Kind::TextByRef, std::string("0002,0003")));
    EXPECT_EQ(branchesIn(), (std::set<std::string>{"0002", "0003"}));
    f.FListaFilial = "0003";
    ASSERT_EQ(h.run("call RelCRecPLCent 1 91002ZZZZZ\n").status, 0);
    EXPECT_EQ(branchesIn(), std::set<std::string>{"0003"});
    f.FListaFilial.clear();
    ASSERT_EQ(h.run("call RelCRecPLCent 1 91002ZZZZZ\n").status, 0);
    EXPECT_EQ(argsOf(rec.last("GetRelPlCent"))[0], std::make_pair(Kind::TextByRef, std::string()));
    EXPECT_TRUE(f.cdsRecPLCent->IsEmpty());

    // An error answered by the server: shown, the data set left empty, the
    // progress window closed.
    f.FListaFilial = "0003";
    ASSERT_EQ(h.run("call RelCRecPLCent 1 91002ZZZZZ\n").status, 0);
    ASSERT_FALSE(f.cdsRecPLCent->IsEmpty());
    f.cbbTipoCust->SetItemIndex(-1);  // no cost type: the server knows no number 0
    r = h.run("call RelCRecPLCent 1 91002ZZZZZ\n");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(pla013test::withPrefix(r.lines, "message: "), Texts{"message: Tipo de custo 0 não cadastrado."});
    EXPECT_TRUE(f.cdsRecPLCent->IsEmpty());
    EXPECT_FALSE(h.ui().progressOpen());
}

// ------------------------------------------------------ failing server

TEST(RecipesServer, ServerThatIsDownOrFailsLeavesTheDataSetsEmpty) {
    TempDir dir;
    const std::string dbPath = pla013test::copyOfSampleDatabase(dir.path());
    pla013::db::SociDatabase serverDb(dbPath);
    pla013::appserver::AppServerOptions so;
    so.logLevel = pla013::appserver::LogLevel::Quiet;
    pla013::appserver::AppServer server(serverDb, so);
    server.start();

    auto o = options();
    o.db = dbPath;
    o.server = server.address();
    FormHarness h(o);
    ASSERT_EQ(h.run("launch\nreport 2\ntype medCdFilial 0002\ncall RelCompRecPL 30001 31001ZZZZZ\n"
                    "report 4\ncall RelCRecPLCent 1 91002ZZZZZ\nreport 2\n")
                  .status,
              0);
    auto& f = *h.form();
    ASSERT_FALSE(f.cdsReceitaPadLoc->IsEmpty());
    ASSERT_FALSE(f.cdsRecPLCent->IsEmpty());

    // A database failure inside the server: an error answer.
    pla013::db::openDatabase(dbPath)->execute("DROP TABLE RECEITALOCAL");
    auto r = h.run("call RelCompRecPL 30001 31001ZZZZZ\n");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(pla013test::withPrefix(r.lines, "message: ").size(), 1u) << ::testing::PrintToString(r.lines);
    for (auto* cds : {f.cdsReceitaPadLoc, f.cdsPratosRel, f.cdsPratoPadr, f.cdsPratoLoca})
        EXPECT_TRUE(cds->IsEmpty()) << cds->Name();

    // The server goes away.
    const int port = server.port();
    server.stop();
    for (const char* step : {"call RelCompRecPL 30001 31001ZZZZZ\n", "call RelCompRecPS 30001 31001ZZZZZ\n",
                             "report 4\ncall RelCRecPLCent 1 91002ZZZZZ\n"}) {
        SCOPED_TRACE(step);
        r = h.run(step);
        ASSERT_EQ(r.status, 0) << r.err;
        const Texts messages = pla013test::withPrefix(r.lines, "message: ");
        ASSERT_EQ(messages.size(), 1u) << ::testing::PrintToString(r.lines);
        EXPECT_NE(messages[0].find(std::to_string(port)), std::string::npos) << "the message names the address";
        EXPECT_FALSE(h.ui().progressOpen());
    }
    for (auto* cds : {f.cdsReceitaPadLoc, f.cdsPratosRel, f.cdsPratoPadr, f.cdsPratoLoca, f.cdsReceitaPadSer,
                      f.cdsPratosRelPS, f.cdsPratoServ, f.cdsRecPLCent})
        EXPECT_TRUE(cds->IsEmpty()) << cds->Name();

    // The report refuses with the error and produces nothing; the form stays.
    r = h.run(std::string("report 2\ntype medCdPratoIni 30001\ntype medCdPratoFin 31001\nsave ") +
              (dir.path() / "r.csv").string() + "\ndump-form\n");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_FALSE(pla013test::withPrefix(r.lines, "message: ").empty());
    EXPECT_TRUE(pla013test::withPrefix(r.lines, "report: ").empty());
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "r.csv"));
    EXPECT_NE(r.lines.back().find("\"FormCriado\":true"), std::string::npos);
}

// A server out of reach when the form opens: the form opens whole, and a
// report that needs the server connects again when it runs, once the server
// is back, with the cost types loaded then.
TEST(RecipesServer, AServerBackAfterTheFormOpenedServesTheReportsThatNeedIt) {
    TempDir dir;
    const std::string dbPath = pla013test::copyOfSampleDatabase(dir.path());
    pla013::db::SociDatabase serverDb(dbPath);
    pla013::appserver::AppServerOptions so;
    so.logLevel = pla013::appserver::LogLevel::Quiet;
    int port = 0;
    {
        pla013::appserver::AppServer gone(serverDb, so);
        gone.start();
        port = gone.port();
        gone.stop();
    }
    auto o = options();
    o.db = dbPath;
    o.server = "127.0.0.1:" + std::to_string(port);
    FormHarness h(o);
    const std::string file = (dir.path() / "comparacao.csv").string();
    const std::string report03 =
        "report 2\ntype medCdFilial 0002\ntype medCdPratoIni 20001\n"
        "type medCdPratoFin 20001\nsave " +
        file + "\n";
    auto r = h.run("launch\n" + report03);
    ASSERT_EQ(r.status, 0) << r.err;
    const Texts refused = pla013test::withPrefix(r.lines, "message: ");
    ASSERT_EQ(refused.size(), 1u) << ::testing::PrintToString(r.lines);
    EXPECT_NE(refused[0].find("127.0.0.1:" + std::to_string(port)), std::string::npos) << refused[0];
    EXPECT_FALSE(std::filesystem::exists(file));

    so.port = port;
    pla013::appserver::AppServer back(serverDb, so);
    back.start();
    r = h.run(report03);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(pla013test::withPrefix(r.lines, "message: ").empty()) << ::testing::PrintToString(r.lines);
    EXPECT_EQ(pla013test::withPrefix(r.lines, "report: ").size(), 1u) << ::testing::PrintToString(r.lines);
    EXPECT_TRUE(h.form()->netEmissaoReceita->Connected());
    EXPECT_FALSE(h.form()->cdsReceitaPadLoc->IsEmpty());
    EXPECT_TRUE(pla013test::contains(h.run("dump-params\n").lines,
                                     R"({"Param":"P_NRTIPOCUST","DataType":"integer","Value":1})"))
        << "the first cost type, as the form would have chosen it";
}

// -------------------------------------------------------- connections

// The working context of the session, with an address that a test changes.
class MovableAddressContext : public pla013::host::IHostContext {
public:
    explicit MovableAddressContext(pla013::host::IHostContext& inner)
        : m_inner(inner), url(inner.WebURL()), port(inner.WebPort()) {}
    std::string FiliProc() override { return m_inner.FiliProc(); }
    bool ModuFili() override { return m_inner.ModuFili(); }
    char ModuloAtiv() override { return m_inner.ModuloAtiv(); }
    pla013::host::TDateTime DataProc(const std::string& b) override { return m_inner.DataProc(b); }
    std::string Operador() override { return m_inner.Operador(); }
    std::string WebURL() override { return url; }
    int WebPort() override { return port; }
    pla013::host::DishPicture DishCodePicture() override { return m_inner.DishCodePicture(); }
    std::string ReportFolder() override { return m_inner.ReportFolder(); }

private:
    pla013::host::IHostContext& m_inner;

public:
    std::string url;
    int port;
};

TEST(RecipesServer, ConnectionsTakeTheAddressWhenTheyOpen) {
    FormHarness h(options());
    ASSERT_EQ(h.run("launch\nreport 2\ntype medCdFilial 0002\n").status, 0);
    auto& f = *h.form();
    const std::string firstHost = h.session().context().WebURL();
    const int firstPort = h.session().context().WebPort();
    for (auto* c : {f.netCustProd, f.netEmissaoReceita}) {
        EXPECT_TRUE(c->Connected()) << c->Name();
        EXPECT_EQ(c->Host(), firstHost) << c->Name();
        EXPECT_EQ(c->Port(), firstPort) << c->Name();
    }
    EXPECT_EQ(f.netCustProd->ServerName, "CUS00000.rdmCustProd");
    EXPECT_EQ(f.netEmissaoReceita->ServerName, "PLA01303.rdmEmissaoReceitas");

    // A second server over the same database, at another port.
    pla013::db::SociDatabase serverDb(h.databasePath());
    pla013::appserver::AppServerOptions so;
    so.logLevel = pla013::appserver::LogLevel::Quiet;
    pla013::appserver::AppServer second(serverDb, so);
    second.start();

    MovableAddressContext ctx(h.session().context());
    pla013::host::Ports ports = pla013::host::InstalledPorts();
    RecordingTransport transport(*ports.transport);
    ports.context = &ctx;
    ports.transport = &transport;
    PortsGuard guard(ports);

    // A change of the address reaches an open connection only when it opens again.
    ctx.port = second.port();
    ASSERT_EQ(h.run("call RelCompRecPL 30001 30001ZZZZZ\n").status, 0);
    ASSERT_FALSE(transport.calls.empty());
    EXPECT_EQ(transport.calls.back().port, firstPort);

    f.netEmissaoReceita->SetConnected(false);
    f.netEmissaoReceita->SetConnected(true);
    EXPECT_EQ(transport.connects.back(), std::make_pair(firstHost, second.port()));
    ASSERT_EQ(h.run("call RelCompRecPL 30001 30001ZZZZZ\n").status, 0);
    EXPECT_EQ(transport.calls.back().port, second.port());
    EXPECT_FALSE(f.cdsReceitaPadLoc->IsEmpty());
    EXPECT_EQ(f.netCustProd->Port(), firstPort) << "the other connection keeps its address";

    // Each handler sets its own connection only, and hands on what the
    // context gives, empty or not.
    ctx.url = "";
    ctx.port = 0;
    f.netCustProdBeforeConnect(f.netEmissaoReceita);
    EXPECT_EQ(f.netCustProd->Host(), "");
    EXPECT_EQ(f.netCustProd->Port(), 0);
    EXPECT_EQ(f.netEmissaoReceita->Host(), firstHost);
    EXPECT_EQ(f.netEmissaoReceita->Port(), second.port());
    ctx.url = "192.0.2.7";
    ctx.port = 4321;
    f.netEmissaoReceitaBeforeConnect(f.netCustProd);
    EXPECT_EQ(f.netEmissaoReceita->Host(), "192.0.2.7");
    EXPECT_EQ(f.netEmissaoReceita->Port(), 4321);
    EXPECT_EQ(f.netCustProd->Host(), "");
    EXPECT_EQ(f.netCustProd->Port(), 0);
    EXPECT_EQ(f.netEmissaoReceita->ServerName, "PLA01303.rdmEmissaoReceitas") << "the server name stays";
}

}  // namespace
