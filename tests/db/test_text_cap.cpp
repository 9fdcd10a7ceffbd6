// Texts cut as the database gives them, for queries that ask for it (the
// reports'): a huge value never reaches memory whole, photos stay whole,
// the other columns keep their values and types. On both engines.

#include <gtest/gtest.h>

#include "DbTestSupport.h"
#include "platform/db/SociDatabase.h"

using pla013::db::DbEngine;
using pla013::host::FieldType;

namespace {

class TextCap : public ::testing::TestWithParam<DbEngine> {
protected:
    void SetUp() override {
        if (const auto why = dbtest::unavailable(GetParam())) GTEST_SKIP() << *why;
        m_scratch = std::make_unique<dbtest::ScratchDatabase>(GetParam(), true);
    }
    std::unique_ptr<dbtest::ScratchDatabase> m_scratch;
};

std::size_t characters(const std::string& text) {
    std::size_t n = 0;
    for (const char c : text) n += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    return n;
}

}  // namespace

TEST_P(TextCap, LongTextsAreCutOnACharacterBoundaryAndPhotosKeptWhole) {
    const bool sqlite = GetParam() == DbEngine::SQLite;
    // Firebird reads text BLOBs of up to 8 191 characters: two pieces of
    // 4 000 joined into one.
    const bool firebird = GetParam() == DbEngine::Firebird;
    const std::size_t whole = firebird ? 8000 : 40000;
    const std::string piece = "LPAD('', 4000, '%')";
    const std::string repeat = sqlite     ? "replace(hex(zeroblob(40000)), '00', '%')"
                               : firebird ? "(CAST(" + piece + " AS BLOB SUB_TYPE TEXT) || " + piece + ")"
                                          : "repeat('%', 40000)";
    auto repeated = [&](const char* c) {
        std::string text = repeat;
        for (std::size_t at = text.find('%'); at != std::string::npos; at = text.find('%', at + 1))
            text.replace(at, 1, c);
        return text;
    };
    pla013::host::QueryRequest request;
    request.name = "qryMemo";
    // A comment and a ';' at the end, as a definition may have them.
    request.sql.generic = "SELECT " + repeated("é") + " AS MEMO, " + repeated("x") +
                          " AS FOTO, NRTIPOCUST, NMTIPOCUST FROM TIPOCUSTO WHERE NRTIPOCUST <= :P_ATE\n"
                          "ORDER BY NRTIPOCUST DESC -- o último primeiro\n;";
    request.params = {{"P_ATE", pla013::host::Variant(2)}};
    request.maxTextLength = 100;
    request.wholeTexts = {"foto"};

    const auto packet = m_scratch->db().Open(request);
    ASSERT_EQ(packet.rows.size(), 2u);
    EXPECT_EQ(packet.fields.at(2).type, FieldType::Integer);
    EXPECT_EQ(packet.rows[0][2].toInt(), 2);
    EXPECT_EQ(packet.rows[1][3].toString(), "Custo médio");
    for (const auto& row : packet.rows) {
        EXPECT_EQ(characters(row[0].toString()), 100u);
        EXPECT_EQ(row[0].toString().size(), 200u);  // "é" is two bytes: none cut in half
        EXPECT_EQ(row[1].toString().size(), whole);
    }
    request.maxTextLength = 0;
    EXPECT_EQ(characters(m_scratch->db().Open(request).rows.at(0).at(0).toString()), whole);
}

INSTANTIATE_TEST_SUITE_P(Engines, TextCap,
                         ::testing::Values(DbEngine::SQLite, DbEngine::PostgreSQL, DbEngine::Firebird),
                         [](const auto& info) { return std::string(dbtest::engineName(info.param)); });
