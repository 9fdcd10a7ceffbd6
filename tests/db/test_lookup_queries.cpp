// The form's lookup queries, with their stored texts for every dialect, run
// through the database port against the sample catering database, on SQLite
// and (when a server is configured) on PostgreSQL.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "DbTestSupport.h"
#include "LookupQueries.h"
#include "host/Errors.h"

using pla013::db::DbEngine;
using pla013::db::SqlParams;
using pla013::host::DataPacket;
using pla013::host::FieldType;
using pla013::host::Variant;

namespace {

std::vector<std::string> columnTexts(const DataPacket& packet, const std::string& field) {
    const int index = packet.fieldIndex(field);
    EXPECT_GE(index, 0) << field;
    std::vector<std::string> values;
    if (index < 0) return values;
    for (const auto& row : packet.rows)
        values.push_back(row[std::size_t(index)].isNull() ? "<null>" : row[std::size_t(index)].toString());
    return values;
}

class LookupQueries : public ::testing::TestWithParam<DbEngine> {
protected:
    void SetUp() override {
        if (const auto why = dbtest::unavailable(GetParam())) GTEST_SKIP() << *why;
        m_scratch = std::make_unique<dbtest::ScratchDatabase>(GetParam(), true);
    }

    DataPacket open(const std::string& name, const pla013::host::SqlTexts& texts, const SqlParams& params) {
        return m_scratch->db().Open(pla013::host::QueryRequest{name, texts, params});
    }

    std::unique_ptr<dbtest::ScratchDatabase> m_scratch;
};

TEST_P(LookupQueries, ServiListsEveryBranchForTAndTheListedBranchesOtherwise) {
    // qryServi has no Oracle text: the generic one runs (the SQL Server text
    // would add the codes as numbers and fail on CHARINDEX). Its condition on
    // IDTIPOSERV is commented out, so services of type "A" are listed too.
    struct Case {
        std::string list;
        std::vector<std::string> keys;
    };
    const std::vector<Case> cases = {
        {"T",
         {"000100001", "000100002", "000200001", "000200002", "000200003", "000200009", "000300001", "000300002",
          "000400001", "000400005", "000600001", "000600002", "000600003", "000600004", "000900001"}},
        {"0002,0003", {"000200001", "000200002", "000200003", "000200009", "000300001", "000300002"}},
        {"00060009", {"000600001", "000600002", "000600003", "000600004", "000900001"}},
        {"0006", {"000600001", "000600002", "000600003", "000600004"}},
        {"9999", {}},
        {"", {}},
    };
    for (const Case& c : cases) {
        // P_TCDFILIAL is declared by the component but only the InterBase text uses it.
        const DataPacket packet =
            open("qryServi", lookup::serviTexts(), {{"P_CDFILIAL", c.list}, {"P_TCDFILIAL", Variant()}});
        EXPECT_EQ(columnTexts(packet, "CDFILISERV"), c.keys) << "list '" << c.list << "'";
    }

    const DataPacket packet =
        open("qryServi", lookup::serviTexts(), {{"P_CDFILIAL", "0002"}, {"P_TCDFILIAL", Variant()}});
    ASSERT_EQ(packet.fields.size(), 4u);
    EXPECT_EQ(packet.fields[0].name, "CDFILISERV");
    EXPECT_EQ(packet.fields[1].name, "CDFILIAL");
    EXPECT_EQ(packet.fields[2].name, "CDSERVFILI");
    EXPECT_EQ(packet.fields[3].name, "NMSERVICO");
    for (const auto& field : packet.fields) EXPECT_EQ(field.type, FieldType::String) << field.name;
    EXPECT_EQ(columnTexts(packet, "NMSERVICO"),
              (std::vector<std::string>{"Lanche da manhã", "Almoço escolar", "Lanche da tarde",
                                        "Eventos e festas (avulso)"}));
}

TEST_P(LookupQueries, TipoCardListsTheKitchensMenuTypesForNullAndAtMostOneForACode) {
    struct Case {
        std::string central;
        Variant code;
        std::vector<std::string> codes;
    };
    const std::vector<Case> cases = {
        {"0001", Variant::null(), {"0000000001", "0000000002", "0000000003", "0000000010"}},
        {"0001", Variant(), {"0000000001", "0000000002", "0000000003", "0000000010"}},
        // An empty text is null, as on the engine the text was written for.
        {"0001", Variant(""), {"0000000001", "0000000002", "0000000003", "0000000010"}},
        {"0001", Variant("0000000002"), {"0000000002"}},
        {"0001", Variant("0000000005"), {}},  // a menu type of the other kitchen
        {"0008", Variant::null(), {"0000000001", "0000000005"}},
        {"0008", Variant("0000000001"), {"0000000001"}},
        {"0002", Variant::null(), {}},  // a school has no menu types of its own
    };
    for (const Case& c : cases) {
        const DataPacket packet =
            open("qryTipoCard", lookup::tipoCardTexts(), {{"P_CDTIPOCARD", c.code}, {"P_CDFILCENTPME", c.central}});
        EXPECT_EQ(columnTexts(packet, "CDTIPOCARD"), c.codes)
            << "central " << c.central << ", code " << (c.code.isNullOrUnassigned() ? "null" : c.code.toString());
    }

    const DataPacket one =
        open("qryTipoCard", lookup::tipoCardTexts(), {{"P_CDTIPOCARD", "0000000003"}, {"P_CDFILCENTPME", "0001"}});
    EXPECT_EQ(columnTexts(one, "NMTIPOCARD"), std::vector<std::string>{"Cardápio especial sem glúten e sem lactose"});
}

TEST_P(LookupQueries, PratoWithTListsStandardDishesAndTheBranchsOwnInCodeOrder) {
    const DataPacket packet =
        open("qryPrato", lookup::pratoTexts(), {{"P_CDFILAUXPRAT", "0002"}, {"P_CDPRATO", ""}, {"P_TCDPRATO", "T"}});
    const std::vector<std::string> codes = columnTexts(packet, "CDPRATO");
    const std::vector<std::string> names = columnTexts(packet, "NMPRATO");
    ASSERT_EQ(codes.size(), 68u);  // 65 standard + 3 of branch 0002

    // Text order: group "9" after subgroup "10" and every code that starts with "1".
    const std::vector<std::string> first(codes.begin(), codes.begin() + 8);
    EXPECT_EQ(first, (std::vector<std::string>{"1", "10", "10001", "10002", "10003", "10004", "11", "11001"}));
    const std::vector<std::string> last(codes.end() - 8, codes.end());
    EXPECT_EQ(last, (std::vector<std::string>{"9", "90", "90001", "90002", "90003", "91", "91001", "91002"}));

    // The branch's local version follows the standard dish of the same code (by name).
    const auto local = std::find(codes.begin(), codes.end(), "30001") - codes.begin();
    ASSERT_LT(std::size_t(local) + 1, codes.size());
    EXPECT_EQ(codes[std::size_t(local) + 1], "30001");
    EXPECT_EQ(names[std::size_t(local)], "Carne de panela com batatas");
    EXPECT_EQ(names[std::size_t(local) + 1], "Carne de panela com mandioca");

    EXPECT_NE(std::find(names.begin(), names.end(), "Quibe de abóbora"), names.end());
    EXPECT_EQ(std::find(names.begin(), names.end(), "Sopa de mandioquinha"), names.end()) << "a dish of 0003";

    ASSERT_EQ(packet.fields.size(), 3u);
    EXPECT_EQ(packet.fields[0].name, "CDNVPRATO");
    EXPECT_EQ(packet.fields[1].name, "CDPRATO");
    EXPECT_EQ(packet.fields[1].size, 10);
    EXPECT_EQ(packet.fields[2].size, 40);
}

TEST_P(LookupQueries, PratoWithOneCodeFindsItOnlyAmongStandardAndTheBranchsDishes) {
    struct Case {
        std::string branch, code;
        std::vector<std::string> names;
    };
    const std::vector<Case> cases = {
        {"0002", "30001", {"Carne de panela com batatas", "Carne de panela com mandioca"}},
        {"0003", "30001", {"Carne de panela com batatas"}},
        {"0002", "33004", {"Quibe de abóbora"}},
        {"0003", "33004", {}},  // exists, but belongs to branch 0002
        {"", "10001", {"Salada de alface e tomate"}},
        {"", "33004", {}},
        {"0002", "9", {"Bebidas"}},
        {"0002", "99999", {}},
    };
    for (const Case& c : cases) {
        const DataPacket packet = open("qryPrato", lookup::pratoTexts(),
                                       {{"P_CDFILAUXPRAT", c.branch}, {"P_CDPRATO", c.code}, {"P_TCDPRATO", ""}});
        EXPECT_EQ(columnTexts(packet, "NMPRATO"), c.names) << "branch '" << c.branch << "', dish " << c.code;
    }
}

TEST_P(LookupQueries, CentralGivesTheKitchenOfABranchOrTheBranchItself) {
    struct Case {
        std::string branch;
        std::vector<std::string> row;  // IDCNTRRESC, IDFILCENTPME, CDFILCENTPME, NMCENTRAL
    };
    const std::vector<Case> cases = {
        {"0001", {"N", "S", "<null>", "Central de Merenda Norte"}},
        {"0003", {"N", "N", "0001", "Central de Merenda Norte"}},
        {"0009", {"N", "N", "0008", "Central de Merenda Sul"}},
        {"0006", {"N", "N", "<null>", "Restaurante Industrial Açu"}},  // no kitchen: NVL falls back to itself
        {"0007", {"S", "N", "0001", "Central de Merenda Norte"}},
    };
    for (const Case& c : cases) {
        // The component lists P_CDFILIAL twice; the host sets the first.
        const DataPacket packet =
            open("qryCentral", lookup::centralTexts(), {{"P_CDFILIAL", c.branch}, {"P_CDFILIAL", Variant()}});
        ASSERT_EQ(packet.rows.size(), 1u) << c.branch;
        std::vector<std::string> row;
        for (const char* field : {"IDCNTRRESC", "IDFILCENTPME", "CDFILCENTPME", "NMCENTRAL"})
            row.push_back(columnTexts(packet, field).at(0));
        EXPECT_EQ(row, c.row) << c.branch;
        EXPECT_EQ(columnTexts(packet, "CDFILIAL").at(0), c.branch);
    }

    const DataPacket none =
        open("qryCentral", lookup::centralTexts(), {{"P_CDFILIAL", "9999"}, {"P_CDFILIAL", Variant()}});
    EXPECT_TRUE(none.rows.empty());
    const std::vector<std::pair<std::string, int>> fields = {{"CDFILIAL", 4},     {"NMFILIAL", 30},
                                                             {"IDCNTRRESC", 1},   {"IDFILCENTPME", 1},
                                                             {"CDFILCENTPME", 4}, {"NMCENTRAL", 30}};
    ASSERT_EQ(none.fields.size(), fields.size());
    for (std::size_t i = 0; i < fields.size(); ++i) {
        EXPECT_EQ(none.fields[i].name, fields[i].first);
        EXPECT_EQ(none.fields[i].type, FieldType::String);
        EXPECT_EQ(none.fields[i].size, fields[i].second) << fields[i].first;
    }
}

TEST_P(LookupQueries, BranchAndServiceValidationLookups) {
    EXPECT_EQ(columnTexts(open("qryVdFilial", lookup::vdFilialTexts(), {{"P_CDFILIAL", "0002"}}), "NMFILIAL"),
              std::vector<std::string>{"Escola Municipal São João"});
    EXPECT_TRUE(open("qryVdFilial", lookup::vdFilialTexts(), {{"P_CDFILIAL", "2"}}).rows.empty());

    EXPECT_EQ(columnTexts(open("qryServico", lookup::servicoTexts(), {{"P_CDFILIAL", "0002"}}), "CDSERVFILI"),
              (std::vector<std::string>{"00001", "00002", "00003"}));  // not the type "A" service

    struct Case {
        std::string branch, service;
        std::vector<std::string> names;
    };
    const std::vector<Case> cases = {
        {"0003", "00002", {"Merenda vespertina"}},
        {"0006", "00002", {"Jantar"}},  // the same service code in another branch
        {"0002", "00009", {}},          // type "A"
        {"0009", "00002", {}},          // exists only in other branches
        {"0009", "00001", {"Merenda integral"}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(columnTexts(open("qryVdServico", lookup::vdServicoTexts(),
                                   {{"P_CDFILIAL", c.branch}, {"P_CDSERVFILI", c.service}}),
                              "NMSERVICO"),
                  c.names)
            << c.branch << "/" << c.service;
}

// The InterBase texts, run on Firebird, give row for row what the generic
// (else Oracle) texts give on SQLite over the same sample data.
TEST(InterBaseTexts, GiveTheSameRowsAsTheOtherTextsOnTheSameData) {
    if (const auto why = dbtest::unavailable(DbEngine::Firebird)) GTEST_SKIP() << *why;
    dbtest::ScratchDatabase sqlite(DbEngine::SQLite, true);
    dbtest::ScratchDatabase firebird(DbEngine::Firebird, true);
    struct Case {
        std::string name;
        pla013::host::SqlTexts texts;
        SqlParams params;
    };
    const Variant none;
    const std::vector<Case> cases = {
        {"qryFilial", lookup::filialTexts(), {}},
        {"qryVdFilial", lookup::vdFilialTexts(), {{"P_CDFILIAL", "0004"}}},
        {"qryServico", lookup::servicoTexts(), {{"P_CDFILIAL", "0002"}}},
        {"qryVdServico", lookup::vdServicoTexts(), {{"P_CDFILIAL", "0003"}, {"P_CDSERVFILI", "00002"}}},
        {"qryPrato", lookup::pratoTexts(), {{"P_CDFILAUXPRAT", "0002"}, {"P_CDPRATO", ""}, {"P_TCDPRATO", "T"}}},
        {"qryPrato", lookup::pratoTexts(), {{"P_CDFILAUXPRAT", "0002"}, {"P_CDPRATO", "30001"}, {"P_TCDPRATO", ""}}},
        {"qryCentral", lookup::centralTexts(), {{"P_CDFILIAL", "0003"}, {"P_CDFILIAL", none}}},
        {"qryCentral", lookup::centralTexts(), {{"P_CDFILIAL", "0006"}, {"P_CDFILIAL", none}}},
        {"qryTipoCard", lookup::tipoCardTexts(), {{"P_CDTIPOCARD", ""}, {"P_CDFILCENTPME", "0001"}}},
        {"qryTipoCard", lookup::tipoCardTexts(), {{"P_CDTIPOCARD", "0000000002"}, {"P_CDFILCENTPME", "0001"}}},
        {"qryServi", lookup::serviTexts(), {{"P_CDFILIAL", "T"}, {"P_TCDFILIAL", none}}},
        {"qryServi", lookup::serviTexts(), {{"P_CDFILIAL", "0002,0006,0009"}, {"P_TCDFILIAL", none}}},
        {"qryServi", lookup::serviTexts(), {{"P_CDFILIAL", ""}, {"P_TCDFILIAL", none}}},
    };
    for (const Case& c : cases) {
        const DataPacket expected = sqlite.db().Open(pla013::host::QueryRequest{c.name, c.texts, c.params});
        const DataPacket got = firebird.db().Open(pla013::host::QueryRequest{c.name, c.texts, c.params});
        ASSERT_EQ(got.fields.size(), expected.fields.size()) << c.name;
        for (std::size_t i = 0; i < got.fields.size(); ++i)
            EXPECT_EQ(got.fields[i].name, expected.fields[i].name) << c.name;
        for (std::size_t i = 0; i < got.fields.size(); ++i)
            EXPECT_EQ(columnTexts(got, got.fields[i].name), columnTexts(expected, got.fields[i].name))
                << c.name << " " << got.fields[i].name;
        EXPECT_FALSE(expected.rows.empty() && c.params.size() > 0 && c.name != "qryServi") << c.name;
    }
}

INSTANTIATE_TEST_SUITE_P(Engines, LookupQueries,
                         ::testing::Values(DbEngine::SQLite, DbEngine::PostgreSQL, DbEngine::Firebird),
                         [](const auto& info) { return std::string(dbtest::engineName(info.param)); });

}  // namespace
