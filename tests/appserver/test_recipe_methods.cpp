// The remote methods over a real server and the sample database: which
// dishes and lines each returns for its arguments, in which order, with
// which costs, and the exact fields the client's data sets declare.

#include <gtest/gtest.h>

#include <map>

#include "ServerTestSupport.h"
#include "host/Errors.h"
#include "host/Variant.h"

using namespace servertest;
using pla013::host::DataPacket;
using pla013::host::Variant;
using Rows = std::vector<std::string>;

namespace {

const std::vector<std::string> kDish = {"CDPRATO", "NMPRATO", "CDFILAUXPRAT"};
const std::vector<std::string> kStd = {"CDPRATOP", "CDFILAUXPRATP", "CDPRODUTOP", "QTBRUTPRODP", "VRCUSTPRODP"};
const std::vector<std::string> kLoc = {"CDPRATOL", "CDFILAUXPRATL", "CDPRODUTOL", "QTBRUTPRODL", "VRCUSTPRODL"};
const std::vector<std::string> kSrv = {"CDPRATOS", "CDFILAUXPRATS", "CDPRODUTOS", "QTBRUTPRODS", "VRCUSTPRODS"};
const std::vector<std::string> kCent = {"CDFILIALL", "CDFILAUXPRAT", "CDPRATO"};

class RecipeMethods : public ::testing::TestWithParam<DbEngine> {
protected:
    // One server per engine for the whole run, stopped before its database
    // is dropped.
    static int port(DbEngine engine) {
        const std::string& location = sampleDatabase(engine);
        static std::map<DbEngine, std::unique_ptr<pla013::appserver::AppServer>> servers;
        auto& server = servers[engine];
        if (!server) server = startServer(location, quietOptions());
        return server->port();
    }

    std::vector<DataPacket> three(const std::string& method, const std::vector<pla013::host::CallArg>& args) {
        const Variant result = call(port(GetParam()), kRecipes, method, args);
        EXPECT_TRUE(result.isArray());
        std::vector<DataPacket> out;
        for (std::size_t i = 0; i < 3; ++i) out.push_back(*result.at(i).packet());
        EXPECT_EQ(result.array().size(), 3u);
        return out;
    }

    std::vector<DataPacket> pl(const std::string& branch, const std::string& first, const std::string& last,
                               int costType = 1, pla013::host::CallArg when = date(2024, 6, 30)) {
        return three("GetRelCompRecPL", {textRef(branch), textRef(first), textRef(last), int32(costType), when});
    }

    std::vector<DataPacket> ps(const std::string& serviceBranch, const std::string& branch, const std::string& first,
                               const std::string& last, const std::string& service) {
        return three("GetRelCompRecPS", {text(serviceBranch), textRef(branch), textRef(first), textRef(last),
                                         textRef(service), int32(1), date(2024, 6, 30)});
    }

    // The packet of a successful GetRelPlCent; fails the test on an error result.
    DataPacket cent(const std::string& list, const std::string& first, const std::string& last,
                    const std::string& branch, int costType = 1, pla013::host::CallArg when = date(2024, 6, 30)) {
        const Variant result =
            call(port(GetParam()), kRecipes, "GetRelPlCent",
                 {textRef(list), textRef(first), textRef(last), text(branch), int32(costType), when});
        EXPECT_EQ(result.array().size(), 3u);
        EXPECT_EQ(result.at(0).toInt(), 0) << result.at(1).toString();
        EXPECT_EQ(result.at(1).toString(), "");
        return *result.at(2).packet();
    }

    Variant centRaw(const std::string& list, const std::string& branch, int costType) {
        return call(
            port(GetParam()), kRecipes, "GetRelPlCent",
            {textRef(list), textRef(""), textRef("ZZZZZZZZZZ"), text(branch), int32(costType), date(2024, 6, 30)});
    }
};

std::string name(const ::testing::TestParamInfo<DbEngine>& info) { return engineName(info.param); }

}  // namespace

INSTANTIATE_TEST_SUITE_P(Engines, RecipeMethods, ::testing::ValuesIn(testEngines()), name);

TEST_P(RecipeMethods, PacketsCarryExactlyTheClientsFields) {
    const auto plPackets = pl("0002", "1", "9ZZZZZZZZZ");
    EXPECT_EQ(fieldsOf(plPackets[0]), (Rows{"CDPRATO:string:10", "NMPRATO:string:40", "CDFILAUXPRAT:string:4"}));
    EXPECT_EQ(fieldsOf(plPackets[1]),
              (Rows{"CDPRATOP:string:10", "CDFILAUXPRATP:string:4", "CDPRODUTOP:string:10", "NMPRODUTOP:string:50",
                    "SGUNIDPRODP:string:10", "QTBRUTPRODP:float:0", "VRCUSTPRODP:float:0", "CDARVP:string:20"}));
    EXPECT_EQ(fieldsOf(plPackets[2]),
              (Rows{"CDPRATOL:string:10", "CDFILAUXPRATL:string:4", "CDPRODUTOL:string:10", "NMPRODUTOL:string:50",
                    "SGUNIDPRODL:string:10", "QTBRUTPRODL:float:0", "VRCUSTPRODL:float:0", "CDARVL:string:20"}));

    const auto psPackets = ps("0002", "0002", "1", "9ZZZZZZZZZ", "00002");
    EXPECT_EQ(fieldsOf(psPackets[0]), (Rows{"CDFILAUXPRAT:string:4", "CDPRATO:string:10", "NMPRATO:string:40"}));
    EXPECT_EQ(fieldsOf(psPackets[1]), fieldsOf(plPackets[1]));
    EXPECT_EQ(fieldsOf(psPackets[2]),
              (Rows{"CDPRATOS:string:10", "CDFILAUXPRATS:string:4", "NMPRODUTOS:string:50", "CDPRODUTOS:string:10",
                    "SGUNIDPRODS:string:10", "QTBRUTPRODS:float:0", "VRCUSTPRODS:float:0", "CDARVS:string:20"}));

    EXPECT_EQ(fieldsOf(cent("T", "1", "9ZZZZZZZZZ", "0002")),
              (Rows{"CDFILIALL:string:4", "CDFILAUXPRAT:string:4", "CDPRATO:string:10", "NMPRATO:string:40",
                    "VRCUSTPRATP:float:0", "VRCUSTPRATL:float:0", "NMFILIAL:string:30", "QTLINHASP:integer:0"}));

    const Variant types = call(port(GetParam()), kCost, "ListaTipoCusto", {});
    EXPECT_EQ(fieldsOf(*types.packet()), (Rows{"NRTIPOCUST:integer:0", "NMTIPOCUST:string:40"}));
    EXPECT_EQ(rowsOf(*types.packet(), {"NRTIPOCUST", "NMTIPOCUST"}),
              (Rows{"1|Custo médio", "2|Último custo", "3|Custo padrão"}));
}

TEST_P(RecipeMethods, OneCodeOwnedTwiceGivesTwoDishesWithTheirOwnLines) {
    const auto p = pl("0002", "30001", "30001ZZZZZ");
    EXPECT_EQ(rowsOf(p[0], kDish),
              (Rows{"30001|Carne de panela com mandioca|0002", "30001|Carne de panela com batatas|P"}));
    EXPECT_EQ(rowsOf(p[1], kStd),
              (Rows{"30001|0002|3001|0.11|3.52", "30001|0002|2008|0.09|0.342", "30001|0002|2003|0.015|0.0615",
                    "30001|0002|2004|0.003|0.066", "30001|P|3001|0.12|3.84", "30001|P|2001|0.08|0.256",
                    "30001|P|2003|0.015|0.0615"}));
    // More local than standard lines for 30001/P; a product without cost
    // (cheiro-verde) gives a null line cost.
    EXPECT_EQ(rowsOf(p[2], kLoc), (Rows{"30001|0002|3001|0.12|3.84", "30001|0002|2008|0.1|0.38", "30001|P|3001|0.1|3.2",
                                        "30001|P|2001|0.06|0.192", "30001|P|2002|0.03|0.108",
                                        "30001|P|2003|0.015|0.0615", "30001|P|2011|0.002|~"}));
}

TEST_P(RecipeMethods, LinesKeepTheirSequenceEvenForARepeatedProduct) {
    const auto p = pl("0002", "2", "2ZZZZZZZZZ");
    // 20004 belongs to branch 0003: another branch does not see it.
    EXPECT_EQ(rowsOf(p[0], kDish), (Rows{"20001|Sopa de legumes|P", "20002|Canja de galinha|P"}));
    EXPECT_EQ(rowsOf(p[1], {"CDPRATOP", "CDPRODUTOP", "NMPRODUTOP", "SGUNIDPRODP", "CDARVP"}),
              (Rows{"20001|2002|Cenoura|KG|02.01.002", "20001|2001|Batata inglesa|KG|02.01.001",
                    "20001|2003|Cebola|KG|02.01.003", "20001|2002|Cenoura|KG|02.01.002",
                    "20001|2011|Cheiro-verde|MAÇO|02.03.002", "20001|5002|Sal refinado|KG|05.02.001",
                    "20002|3003|Peito de frango|KG|03.02.002", "20002|1001|Arroz agulhinha tipo 1|KG|01.01.001",
                    "20002|2002|Cenoura|KG|02.01.002", "20002|2003|Cebola|KG|02.01.003"}));
    // 20002 has a local recipe only at branch 0001.
    EXPECT_EQ(rowsOf(p[2], {"CDPRATOL", "CDPRODUTOL"}), (Rows{"20001|2001", "20001|2003", "20001|2002", "20001|5002"}));
}

TEST_P(RecipeMethods, DishesWithOnlyOneSideOfTheComparison) {
    const auto p = pl("0002", "33004", "40001ZZZZZ");
    EXPECT_EQ(rowsOf(p[0], kDish), (Rows{"33004|Quibe de abóbora|0002", "40001|Arroz branco|P"}));
    EXPECT_EQ(rowsOf(p[1], {"CDPRATOP", "CDFILAUXPRATP", "CDPRODUTOP"}),
              (Rows{"40001|P|1001", "40001|P|5001", "40001|P|5002"}));
    EXPECT_EQ(
        rowsOf(p[2], {"CDPRATOL", "CDFILAUXPRATL", "CDPRODUTOL", "NMPRODUTOL"}),
        (Rows{"33004|0002|2007|Abóbora cabotiá", "33004|0002|1007|Farinha de mandioca", "33004|0002|2003|Cebola"}));
}

TEST_P(RecipeMethods, DishRangeAndBranchSelectTheDishes) {
    const struct {
        const char* name;
        std::string branch, first, last;
        Rows dishes;
        std::size_t localLines;
    } cases[] = {
        {"exact code, unpadded",
         "0003",
         "40001",
         "40001",
         {"40001|Arroz branco com açafrão|0003", "40001|Arroz branco|P"},
         6},
        {"range reversed", "0002", "5", "1ZZZZZZZZZ", {}, 0},
        {"codes that begin with 1", "0002", "1", "1ZZZZZZZZZ", {"10001|Salada de alface e tomate|P"}, 0},
        {"no branch: standard dishes with a standard recipe",
         "",
         "1",
         "9ZZZZZZZZZ",
         {"10001|Salada de alface e tomate|P", "20001|Sopa de legumes|P", "20002|Canja de galinha|P",
          "30001|Carne de panela com batatas|P", "31001|Frango assado com ervas|P", "31003|Galinhada|P",
          "40001|Arroz branco|P", "40003|Feijão carioca|P", "40004|Feijão preto|P", "51002|Gelatina de morango|P",
          "91001|Leite com achocolatado|P"},
         0},
        {"blanks around the arguments are ignored",
         " 0003 ",
         " 40001",
         "40001  ",
         {"40001|Arroz branco com açafrão|0003", "40001|Arroz branco|P"},
         6},
        {"empty first code leaves the range open below",
         "0006",
         "",
         "30005ZZZZZ",
         {"10001|Salada de alface e tomate|P", "20001|Sopa de legumes|P", "20002|Canja de galinha|P",
          "30001|Carne de panela com batatas|P", "30005|Bife acebolado|0006"},
         3},
    };
    for (const auto& c : cases) {
        const auto p = pl(c.branch, c.first, c.last);
        EXPECT_EQ(rowsOf(p[0], kDish), c.dishes) << c.name;
        EXPECT_EQ(p[2].rows.size(), c.localLines) << c.name;
    }
}

TEST_P(RecipeMethods, LineCostUsesTheCostValidAtTheReferenceDate) {
    const struct {
        const char* name;
        int costType;
        pla013::host::CallArg when;
        Rows costs;  // the three standard lines of 30001/P
    } cases[] = {
        {"before any cost", 1, date(2023, 12, 31), {"~", "~", "~"}},
        {"average, day before the change", 1, date(2024, 6, 30), {"3.84", "0.256", "0.0615"}},
        {"average, day of the change", 1, date(2024, 7, 1), {"4.26", "0.224", "0.0615"}},
        {"time of day ignored",
         1,
         {pla013::host::CallArg::Kind::Date, Variant::date(pla013::host::EncodeDate(2024, 6, 30) + 0.99)},
         {"3.84", "0.256", "0.0615"}},
        {"last purchase, before increase", 2, date(2024, 3, 31), {"4.032", "0.2688", "0.0645"}},
        {"last purchase, after increase", 2, date(2024, 4, 1), {"4.224", "0.2816", "0.06765"}},
        {"standard cost", 3, date(2024, 7, 1), {"3.84", "0.256", "0.0615"}},
        {"cost type that does not exist", 99, date(2024, 7, 1), {"~", "~", "~"}},
    };
    for (const auto& c : cases) {
        const auto p = pl("", "30001", "30001", c.costType, c.when);
        EXPECT_EQ(rowsOf(p[1], {"VRCUSTPRODP"}), c.costs) << c.name;
    }
    // Standard cost exists for beef but not for garlic: line by line.
    const auto p = pl("", "31001", "31001", 3, date(2024, 7, 1));
    EXPECT_EQ(rowsOf(p[1], {"CDPRODUTOP", "VRCUSTPRODP"}),
              (Rows{"3002|1.875", "2004|~", "2003|0.041", "5001|0.0395", "5002|0.0042"}));
}

TEST_P(RecipeMethods, TextsArriveWithAccentsAndQuotes) {
    const auto p = pl("", "10001", "10001");
    EXPECT_EQ(rowsOf(p[1], {"NMPRODUTOP", "SGUNIDPRODP"})[2], "Azeite de oliva \"extra virgem\"|L");
    const auto q = pl("0002", "31003", "31003");
    EXPECT_EQ(rowsOf(q[0], kDish), (Rows{"31003|Galinhada com açafrão|0002", "31003|Galinhada|P"}));
    EXPECT_EQ(rowsOf(q[1], {"NMPRODUTOP"})[2], "Açafrão-da-terra em pó");
}

TEST_P(RecipeMethods, ServiceComparisonSelectsTheServicesLines) {
    const auto p = ps("0002", "0002", "4", "4ZZZZZZZZZ", "00002");
    EXPECT_EQ(rowsOf(p[0], {"CDFILAUXPRAT", "CDPRATO", "NMPRATO"}),
              (Rows{"P|40001|Arroz branco", "P|40003|Feijão carioca", "P|40004|Feijão preto"}));
    // Two standard lines beside four service lines.
    EXPECT_EQ(rowsOf(p[1], {"CDPRATOP", "CDPRODUTOP"}), (Rows{"40001|1001", "40001|5001", "40001|5002", "40003|1003",
                                                              "40003|5002", "40004|1004", "40004|2004", "40004|5002"}));
    EXPECT_EQ(rowsOf(p[2], kSrv), (Rows{"40003|P|1003|0.05|0.36", "40003|P|2003|0.01|0.041", "40003|P|2004|0.002|0.044",
                                        "40003|P|5002|0.001|0.0021"}));
    EXPECT_EQ(rowsOf(p[2], {"NMPRODUTOS"})[0], "Feijão carioca");
}

TEST_P(RecipeMethods, ServiceXXXHasNoLinesAndOtherBranchesServicesStayApart) {
    const auto none = ps("0002", "0002", "4", "4ZZZZZZZZZ", "XXX");
    EXPECT_EQ(rowsOf(none[0], {"CDPRATO"}), (Rows{"40001", "40003", "40004"}));
    EXPECT_TRUE(none[2].rows.empty());
    EXPECT_EQ(none[2].fields.size(), 8u);

    // The service's branch (first argument) is 0002, the dishes are those of
    // branch 0001 (second): 0002's own dish 33004 stays out although the
    // service has lines for it.
    const auto split = ps("0002", "0001", "3", "3ZZZZZZZZZ", "00002");
    EXPECT_EQ(rowsOf(split[0], {"CDFILAUXPRAT", "CDPRATO"}), (Rows{"P|30001", "P|31001", "P|31003"}));
    EXPECT_EQ(rowsOf(split[2], {"CDPRATOS", "CDPRODUTOS"}), (Rows{"30001|3001", "30001|2001", "30001|2003"}));

    // The same service code of another branch has other lines.
    const auto other = ps("0006", "0006", "1", "9ZZZZZZZZZ", "00001");
    EXPECT_EQ(rowsOf(other[2], {"CDPRATOS", "CDFILAUXPRATS", "CDPRODUTOS"}),
              (Rows{"30005|0006|3001", "30005|0006|2003", "40001|P|1001", "40001|P|5001"}));
}

TEST_P(RecipeMethods, CostByCentralKitchenCoversItsBranches) {
    const DataPacket all = cent("T", "1", "9ZZZZZZZZZ", "0002");
    EXPECT_EQ(rowsOf(all, kCent),
              (Rows{"0001|P|20002", "0001|P|40001", "0002|P|20001", "0002|0002|30001", "0002|P|30001", "0002|P|31001",
                    "0002|0002|31003", "0002|P|31003", "0002|0002|33004", "0003|0003|20004", "0003|0003|40001",
                    "0003|P|40001", "0004|0004|50004", "0004|P|51002"}));
    EXPECT_EQ(rowsOf(all, {"CDFILIALL", "NMFILIAL", "NMPRATO"})[12], "0004|Creche Pequeno Príncipe|Papinha de frutas");

    // A recipe's cost is the sum of its lines' unrounded costs, rounded once;
    // the standard recipe's number of lines tells a dish without one.
    const std::map<std::string, std::string> costs = {
        {"0004|P|51002", "0.44|0.42|2"},  // 0.02 x 21.00 + 0.005 x 4.30 = 0.4415 / 0.02 x 21.00
        {"0001|P|20002", "1.34|~|4"},     // 1.337; the local recipe uses cheiro-verde, which has no cost
        {"0002|P|20001", "~|0.42|6"},     // the standard one does; 0.4222 locally
        {"0002|0002|33004", "~|0.44|0"},  // no standard line at all; 0.436
        {"0001|P|40001", "0.3|0.32|3"},   // 0.2958 / 0.3183, before the rice price change
    };
    const Rows keys = rowsOf(all, kCent);
    const Rows values = rowsOf(all, {"VRCUSTPRATP", "VRCUSTPRATL", "QTLINHASP"});
    for (std::size_t i = 0; i < keys.size(); ++i) {
        const auto it = costs.find(keys[i]);
        if (it != costs.end()) {
            EXPECT_EQ(values[i], it->second) << keys[i];
        }
    }
    const DataPacket after = cent("0001", "40001", "40001", "0002", 1, date(2024, 7, 1));
    EXPECT_EQ(rowsOf(after, {"CDFILIALL", "CDFILAUXPRAT", "VRCUSTPRATP", "VRCUSTPRATL"}), (Rows{"0001|P|0.34|0.36"}));
}

TEST_P(RecipeMethods, CostByCentralKitchenFollowsTheBranchList) {
    const struct {
        const char* name;
        std::string list, branch, first, last;
        Rows rows;
    } cases[] = {
        {"list of two",
         "0002,0004",
         "0002",
         "3",
         "5ZZZZZZZZZ",
         {"0002|0002|30001", "0002|P|30001", "0002|P|31001", "0002|0002|31003", "0002|P|31003", "0002|0002|33004",
          "0004|0004|50004", "0004|P|51002"}},
        {"other separators",
         "'0003' ; 0004",
         "0002",
         "4",
         "5ZZZZZZZZZ",
         {"0003|0003|40001", "0003|P|40001", "0004|0004|50004", "0004|P|51002"}},
        {"empty list", "", "0002", "1", "9ZZZZZZZZZ", {}},
        {"codes run together name no branch", "00020004", "0002", "1", "9ZZZZZZZZZ", {}},
        {"branch of another kitchen in the list",
         "0009,0002",
         "0004",
         "3",
         "3ZZZZZZZZZ",
         {"0002|0002|30001", "0002|P|30001", "0002|P|31001", "0002|0002|31003", "0002|P|31003", "0002|0002|33004"}},
        {"southern kitchen", "T", "0009", "1", "9ZZZZZZZZZ", {"0009|0009|33005", "0009|P|40003"}},
        {"branch without a central kitchen", "T", "0006", "1", "9ZZZZZZZZZ", {"0006|0006|30005", "0006|P|40001"}},
        {"the kitchen itself", "T", "0001", "4", "4ZZZZZZZZZ", {"0001|P|40001", "0003|0003|40001", "0003|P|40001"}},
    };
    for (const auto& c : cases) EXPECT_EQ(rowsOf(cent(c.list, c.first, c.last, c.branch), kCent), c.rows) << c.name;
}

TEST_P(RecipeMethods, CostByCentralKitchenReportsErrorsAsServerResults) {
    const struct {
        const char* name;
        std::string branch;
        int costType;
        std::int64_t code;
        std::string message;
    } cases[] = {
        {"unknown branch", "9999", 1, 1, "Filial 9999 não cadastrada."},
        {"no branch", "", 1, 1, "Filial não informada."},
        {"unknown cost type", "0002", 7, 2, "Tipo de custo 7 não cadastrado."},
    };
    for (const auto& c : cases) {
        const Variant result = centRaw("T", c.branch, c.costType);
        ASSERT_TRUE(result.isArray()) << c.name;
        ASSERT_EQ(result.array().size(), 2u) << c.name;
        EXPECT_EQ(result.at(0).toInt(), c.code) << c.name;
        EXPECT_EQ(result.at(1).toString(), c.message) << c.name;
    }
}
