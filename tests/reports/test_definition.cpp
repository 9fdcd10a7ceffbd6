// Reading report definitions: every error names the file and the place.

#include <gtest/gtest.h>

#include <cmath>

#include "ReportsTestSupport.h"
#include "host/Errors.h"
#include "platform/reports/Expression.h"
#include "platform/reports/ReportDefinition.h"

using namespace reportstest;
using pla013::reports::Expression;
using pla013::reports::ReportDefinition;

namespace {

const char* kMinimal = R"({
  "version": 1, "code": "01", "title": "Relação",
  "parameters": [ { "name": "P_CDFILIAL", "type": "string" } ],
  "data": { "sql": "SELECT CDPRATO FROM PRATO WHERE CDFILAUXPRAT = :P_CDFILIAL" },
  "columns": [ { "field": "CDPRATO", "caption": "Código", "width": 10 } ]
})";

std::string errorOf(const std::string& text, const std::string& file = "PLA01399.QR2") {
    try {
        ReportDefinition::parse(text, file);
    } catch (const pla013::host::EHostError& e) {
        return e.what();
    }
    return "(no error)";
}

// The minimal definition with one piece replaced.
std::string with(const std::string& from, const std::string& to) {
    std::string s = kMinimal;
    auto at = s.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return s.replace(at, from.size(), to);
}

struct BadDefinition {
    const char* name;
    std::string text;
    const char* place;  // the pointer or line the message must name
    const char* reason;
};

class DefinitionErrors : public ::testing::TestWithParam<BadDefinition> {};

TEST_P(DefinitionErrors, NameFileAndPlace) {
    const auto& c = GetParam();
    std::string message = errorOf(c.text);
    EXPECT_NE(message.find("'PLA01399.QR2'"), std::string::npos) << message;
    EXPECT_NE(message.find(c.place), std::string::npos) << message;
    EXPECT_NE(message.find(c.reason), std::string::npos) << message;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DefinitionErrors,
    ::testing::Values(
        BadDefinition{"SyntaxLineAndColumn", "{\n  \"version\": 1,\n  \"code\": \"01\" \"title\": \"x\"\n}",
                      "linha 3, coluna", "JSON inválido"},
        BadDefinition{"Truncated", "{ \"version\": 1,", "linha 1", "JSON inválido"},
        BadDefinition{"NotAnObject", "[1, 2]", ", /:", "esperado um objeto"},
        BadDefinition{"NumberOverflow", with("\"width\": 10", "\"width\": 1e999"), ", /:", "número fora do intervalo"},
        BadDefinition{"WrongVersion", with("\"version\": 1", "\"version\": 2"), "/version", "versão"},
        BadDefinition{"UnknownKey", with("\"title\"", "\"titel\": \"x\", \"title\""), "/titel", "chave desconhecida"},
        BadDefinition{"BadCode", with("\"code\": \"01\"", "\"code\": \"1\""), "/code", "dois caracteres"},
        BadDefinition{"UnknownType", with("\"type\": \"string\"", "\"type\": \"text\""), "/parameters/0/type",
                      "tipo inválido 'text'"},
        BadDefinition{"DefaultOfWrongType",
                      with("\"type\": \"string\" }", "\"type\": \"integer\", \"default\": \"1\" }"),
                      "/parameters/0/default", "número inteiro"},
        BadDefinition{"BadDateDefault",
                      with("\"type\": \"string\" }", "\"type\": \"date\", \"default\": \"2024-02-30\" }"),
                      "/parameters/0/default", "data inválida"},
        BadDefinition{"ParameterNotP", with("\"name\": \"P_CDFILIAL\"", "\"name\": \"CDFILIAL\""), "/parameters/0/name",
                      "P_..."},
        BadDefinition{"SqlUsesUndeclared", with(":P_CDFILIAL\"", ":P_CDFILIAL OR CDPRATO = :P_CDPRATO\""), "/data/sql",
                      ":P_CDPRATO"},
        BadDefinition{"BothDataKinds", with("\"data\": {", "\"data\": { \"dataSource\": \"dtsX\","), "/data",
                      "exatamente um"},
        BadDefinition{"NoColumns",
                      with("\"columns\": [ { \"field\": \"CDPRATO\", \"caption\": \"Código\", \"width\": 10 } ]",
                           "\"columns\": []"),
                      "/columns", "ao menos uma coluna"},
        BadDefinition{"ColumnsTooWide", with("\"width\": 10", "\"width\": 200 }, { \"field\": \"X\", \"width\": 5"),
                      "/columns", "comporta 110"},
        BadDefinition{"NegativeGrow", with("\"width\": 10", "\"width\": 10, \"grow\": -1"), "/columns/0/grow",
                      "entre 0 e 100"},
        // 100 + 8 and one blank fit 110; the gutter between two spans does not.
        BadDefinition{"GutterMakesColumnsTooWide",
                      with("\"width\": 10 }",
                           "\"width\": 100, \"span\": \"A\" }, { \"field\": \"X\", \"width\": 8, "
                           "\"span\": \"B\" }"),
                      "/columns", "somam 111"},
        BadDefinition{"BadAlign", with("\"width\": 10", "\"width\": 10, \"align\": \"middle\""), "/columns/0/align",
                      "alinhamento inválido"},
        BadDefinition{"BadFormat", with("\"width\": 10", "\"width\": 10, \"format\": \"0,00\""), "/columns/0/format",
                      "formato inválido"},
        BadDefinition{"ConditionOnUndeclared",
                      with("\"width\": 10", "\"width\": 10, \"when\": { \"param\": \"P_IDFOTO\", \"equals\": \"S\" }"),
                      "/columns/0/when/param", "P_IDFOTO"},
        BadDefinition{"ColumnConditionOnField",
                      with("\"width\": 10", "\"width\": 10, \"when\": { \"field\": \"X\", \"notNull\": true }"),
                      "/columns/0/when/field", "só pode usar parâmetros"},
        BadDefinition{"SubtitleWithUnknownName",
                      with("\"title\": \"Relação\"", "\"title\": \"Relação\", \"subtitle\": \"{NMFILIAL}\""),
                      "/subtitle", "NMFILIAL"},
        BadDefinition{"UnbalancedTemplate",
                      with("\"title\": \"Relação\"", "\"title\": \"Relação\", \"subtitle\": \"Filial {P_CDFILIAL\""),
                      "/subtitle", "sem '}'"},
        BadDefinition{
            "BadExpression",
            with("\"columns\"", "\"computed\": [ { \"name\": \"X\", \"expression\": \"A + * B\" } ], \"columns\""),
            "/computed/0/expression", "expressão inválida"},
        BadDefinition{"GroupItemWithTwoKinds",
                      with("\"columns\"",
                           "\"groups\": [ { \"field\": \"CDPRATO\", \"header\": [ { \"text\": \"a\", \"memo\": \"B\" } "
                           "] } ], \"columns\""),
                      "/groups/0/header/0", "exatamente um"},
        BadDefinition{"TotalWithoutField",
                      with("\"columns\"", "\"totals\": [ { \"function\": \"sum\" } ], \"columns\""), "/totals/0/field",
                      "falta o campo"},
        BadDefinition{"BadFieldType", with("\"data\": {", "\"data\": { \"types\": { \"CDPRATO\": \"money\" },"),
                      "/data/types/CDPRATO", "tipo inválido 'money'"},
        BadDefinition{"OptionalDecimalBeforeAFixedOne", with("\"width\": 10", "\"width\": 10, \"format\": \"0.0#0\""),
                      "/columns/0/format", "formato inválido"},
        BadDefinition{"AggregateWithAnExpression",
                      with("\"columns\"",
                           "\"computed\": [ { \"name\": \"X\", \"over\": [], \"function\": \"count\", "
                           "\"expression\": \"1\" } ], \"columns\""),
                      "/computed/0/expression", "não tem expressão"},
        BadDefinition{"AggregateOfAnUnknownFunction",
                      with("\"columns\"",
                           "\"computed\": [ { \"name\": \"X\", \"over\": \"CDPRATO\", \"function\": \"avg\", "
                           "\"field\": \"Y\" } ], \"columns\""),
                      "/computed/0/function", "sum ou count"},
        BadDefinition{"InlineWithoutWidth",
                      with("\"columns\"",
                           "\"groups\": [ { \"field\": \"CDPRATO\", \"header\": [ { \"inline\": \"{CDPRATO}\" } "
                           "] } ], \"columns\""),
                      "/groups/0/header/0/width", "falta a largura"},
        BadDefinition{"NoteWithoutCondition",
                      with("\"columns\"",
                           "\"totals\": [ { \"field\": \"CDPRATO\", \"function\": \"count\", \"note\": { \"text\": "
                           "\"x\" } } ], \"columns\""),
                      "/totals/0/note", "'text' e 'when'"},
        BadDefinition{"RefusalOnAField",
                      with("\"columns\"",
                           "\"refuse\": [ { \"when\": { \"field\": \"CDPRATO\", \"notNull\": true }, \"message\": "
                           "\"x\" } ], \"columns\""),
                      "/refuse/0/when/field", "só pode usar parâmetros"}),
    [](const ::testing::TestParamInfo<BadDefinition>& i) { return std::string(i.param.name); });

TEST(Definition, MinimalIsRead) {
    ReportDefinition def = ReportDefinition::parse(kMinimal, "x.QR2");
    EXPECT_EQ(def.code, "01");
    EXPECT_EQ(def.title, "Relação");
    ASSERT_EQ(def.parameters.size(), 1u);
    EXPECT_EQ(def.sqlParams, (std::vector<std::string>{"P_CDFILIAL"}));
    EXPECT_EQ(def.pageWidth(), 110);
}

TEST(Definition, MissingFileNamesIt) {
    TempDir dir;
    try {
        ReportDefinition::load(dir.file("PLA01377.QR2"));
        FAIL() << "no error";
    } catch (const pla013::host::EHostError& e) {
        EXPECT_NE(std::string(e.what()).find("PLA01377.QR2"), std::string::npos) << e.what();
        EXPECT_NE(std::string(e.what()).find("não pode ser lido"), std::string::npos) << e.what();
    }
}

TEST(Definition, SqlParametersSkipLiteralsCommentsAndCasts) {
    using pla013::reports::sqlParameterNames;
    EXPECT_EQ(sqlParameterNames("SELECT ':P_NO', \"x:P_NO\" FROM T -- :P_NO\n WHERE A = :p_a /* :P_NO */ "
                                "AND B::text = :P_B AND C = :P_A"),
              (std::vector<std::string>{"P_A", "P_B"}));
    EXPECT_EQ(sqlParameterNames("SELECT 'it''s :P_NO' FROM T WHERE X = :P_X"), (std::vector<std::string>{"P_X"}));
}

TEST(Definition, TemplatesNameEachPlaceholderOnce) {
    using pla013::reports::templateNames;
    EXPECT_EQ(templateNames("{A} e {b|dd/mm/yyyy} {{literal}} {A}"), (std::vector<std::string>{"A", "B"}));
    EXPECT_THROW(templateNames("{A|0,0}"), std::invalid_argument);
    EXPECT_THROW(templateNames("a } b"), std::invalid_argument);
}

TEST(Expression, ArithmeticWithNulls) {
    auto e = Expression::parse("(A - B) * 100 / B");
    auto eval = [&](std::optional<double> a, std::optional<double> b) {
        return e->evaluate([&](const std::string& n) { return n == "A" ? a : b; });
    };
    EXPECT_DOUBLE_EQ(*eval(12.0, 10.0), 20.0);
    EXPECT_FALSE(eval(12.0, 0.0).has_value()) << "division by zero";
    EXPECT_FALSE(eval(12.0, std::nullopt).has_value()) << "a product with an unknown factor";
    auto diff = Expression::parse("L - P");
    auto d = [&](std::optional<double> l, std::optional<double> p) {
        return diff->evaluate([&](const std::string& n) { return n == "L" ? l : p; });
    };
    EXPECT_FALSE(d(std::nullopt, 4.5).has_value()) << "a missing cost is not a zero: null - x is null";
    EXPECT_FALSE(d(std::nullopt, std::nullopt).has_value());
    EXPECT_DOUBLE_EQ(*Expression::parse("-2 + 3 * 4")->evaluate([](const std::string&) { return std::nullopt; }), 10.0);
    EXPECT_THROW(Expression::parse("A +"), std::invalid_argument);
    EXPECT_THROW(Expression::parse("(A"), std::invalid_argument);
    EXPECT_THROW(Expression::parse("A $ B"), std::invalid_argument);
}

}  // namespace
