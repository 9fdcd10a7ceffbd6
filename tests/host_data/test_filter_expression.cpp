// The filter expression on its own: syntax, precedence, operands and the
// equality shortcut. Quote doubling, the operators on field-and-literal
// pairs and the refusal of bad texts by the data set are in
// test_client_dataset.cpp.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/Errors.h"
#include "host/internal/DataValues.h"
#include "host/internal/FilterExpression.h"

using namespace pla013::host;
using internal::FilterExpression;
using internal::FilterSyntaxError;

namespace {

const std::vector<FieldDef> kFields = {{"CD", FieldType::String, 10, false},
                                       {"SEQ", FieldType::Integer, 0, false},
                                       {"QT", FieldType::Float, 0, false},
                                       {"NM", FieldType::String, 40, false}};

const std::vector<std::vector<Variant>> kRows = {
    {Variant("a"), Variant(1), Variant(1.5), Variant("O'Brien")},
    {Variant("b"), Variant(2), Variant(2.0), Variant("and")},
    {Variant("c"), Variant(3), Variant::null(), Variant("")},
    {Variant::null(), Variant(2), Variant(-0.5), Variant("x")},
};

void resolve(FilterExpression& f, const std::vector<FieldDef>& fields) {
    f.resolve(
        "cdsTeste",
        [&](const std::string& name) {
            for (std::size_t i = 0; i < fields.size(); ++i)
                if (internal::sameName(fields[i].name, name)) return int(i);
            return -1;
        },
        [&](int column) -> const FieldDef& { return fields[std::size_t(column)]; });
}

// Indexes of the rows of kRows that pass, as one string ("013").
std::string passing(const std::string& text) {
    FilterExpression f(text);
    resolve(f, kFields);
    std::string out;
    for (std::size_t r = 0; r < kRows.size(); ++r)
        if (f.matches(kRows[r])) out += char('0' + r);
    return out;
}

std::string syntaxError(const std::string& text) {
    try {
        FilterExpression f(text);
    } catch (const FilterSyntaxError& e) {
        return e.reason;
    }
    return "accepted";
}

TEST(FilterExpression, PrecedenceOperandsAndNulls) {
    struct Row {
        const char* text;
        const char* rows;
    };
    const Row rows[] = {
        // AND binds tighter than OR, NOT tighter than AND.
        {"SEQ = 1 OR CD = 'b' AND SEQ = 3", "0"},
        {"(SEQ = 1 OR CD = 'b') AND SEQ = 2", "1"},
        {"NOT CD = 'a' AND SEQ = 1", ""},
        {"NOT NOT CD = 'a'", "0"},
        {"((CD = 'c'))", "2"},
        {"seq = 1 oR Cd = 'c'", "02"},
        // A comparison with a null is false; NOT turns it true.
        {"NOT (CD = 'a')", "123"},
        {"CD <> 'zzz'", "012"},
        {"QT <> 0", "013"},
        // The literal may come first; two fields compare by value.
        {"'b' <= CD", "12"},
        {"2 > SEQ", "0"},
        {"SEQ < QT", "0"},
        {"SEQ = QT", "1"},
        // Number forms.
        {"QT > -1", "013"},
        {"QT < -.4", "3"},
        {"QT = +1.5", "0"},
        {"QT >= .5", "01"},
        // Empty text and keywords inside a literal.
        {"NM = ''", "2"},
        {"NM = 'and' OR NM = 'O''Brien'", "01"},
    };
    for (const auto& r : rows) EXPECT_EQ(passing(r.text), r.rows) << r.text;
}

TEST(FilterExpression, SyntaxErrorsSayWhatAndWhere) {
    struct Row {
        const char* text;
        const char* reason;
    };
    const Row rows[] = {
        {"CD = 'abc", "texto entre aspas sem fechamento, iniciado na posição 6"},
        {"CD = 'a' # x", "caractere inesperado '#' na posição 10"},
        {"CD != 'a'", "caractere inesperado '!' na posição 4"},
        {"CD 'a'", "esperado um operador de comparação, mas foi encontrado 'a'"},
        {"CD => 'a'", "esperado um nome de campo ou um valor, mas foi encontrado '>' na posição 5"},
        {"CD = AND", "esperado um nome de campo ou um valor, mas foi encontrado 'AND' na posição 6"},
        {"'a' = 'b'", "uma comparação precisa de um nome de campo"},
        {"(CD = 'a'", "esperado ')', mas foi encontrado o fim do texto"},
        {"CD = 'a' SEQ = 1", "elemento inesperado: 'SEQ' na posição 10"},
        {"QT = 1.2.3", "elemento inesperado: '.3' na posição 9"},
    };
    for (const auto& r : rows) EXPECT_EQ(syntaxError(r.text), r.reason) << r.text;
}

TEST(FilterExpression, ResolveNamesTheProblemAndFollowsMovedFields) {
    FilterExpression unknown("CD = 'a' AND ZZ = 1");
    try {
        resolve(unknown, kFields);
        ADD_FAILURE() << "unknown field accepted";
    } catch (const EHostError& e) {
        EXPECT_STREQ(e.what(), "cdsTeste: campo 'ZZ' do filtro \"CD = 'a' AND ZZ = 1\" não encontrado.");
    }
    FilterExpression unsuitable("SEQ = 'dois'");
    try {
        resolve(unsuitable, kFields);
        ADD_FAILURE() << "text accepted for an integer field";
    } catch (const EHostError& e) {
        EXPECT_STREQ(e.what(),
                     "cdsTeste: valor 'dois' do filtro \"SEQ = 'dois'\" não é compatível com o campo 'SEQ' (integer).");
    }

    // The same expression bound again after the fields change places.
    FilterExpression f("SEQ = 2 AND CD = 'b'");
    resolve(f, kFields);
    EXPECT_TRUE(f.matches(kRows[1]));
    const std::vector<FieldDef> swapped = {kFields[1], kFields[0]};
    resolve(f, swapped);
    EXPECT_TRUE(f.matches({Variant(2), Variant("b")}));
    EXPECT_FALSE(f.matches({Variant(2), Variant("a")}));
}

TEST(FilterExpression, EqualitiesJoinedByAndAreOfferedAsAKey) {
    struct Row {
        const char* text;
        bool key;
        std::vector<int> columns;
        std::vector<Variant> values;
    };
    const Row rows[] = {
        {"CD = 'a' AND SEQ = '2'", true, {0, 1}, {Variant("a"), Variant(2)}},
        {"'a' = CD", true, {0}, {Variant("a")}},
        {"CD = 'a' AND (SEQ = 2 AND QT = 1.5)", true, {0, 1, 2}, {Variant("a"), Variant(2), Variant(1.5)}},
        {"CD = 'a' OR SEQ = 2", false, {}, {}},
        {"CD = 'a' AND SEQ > 1", false, {}, {}},
        {"NOT CD = 'a'", false, {}, {}},
        {"SEQ = QT", false, {}, {}},
    };
    for (const auto& r : rows) {
        FilterExpression f(r.text);
        resolve(f, kFields);
        std::vector<int> columns;
        std::vector<Variant> values;
        ASSERT_EQ(f.equalities(columns, values), r.key) << r.text;
        if (!r.key) continue;
        EXPECT_EQ(columns, r.columns) << r.text;
        EXPECT_EQ(values, r.values) << r.text;  // converted to the fields' kinds
    }
}

}  // namespace
