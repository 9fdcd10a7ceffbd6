// The side-by-side composition of two recipes per dish, on the form's own
// data sets: hand-made packets for each edge case, the filters left on the
// line data sets, and generated packets checked against a plain merge that
// goes dish by dish and line by line.

#include <gtest/gtest.h>

#include <random>
#include <set>
#include <string>
#include <vector>

#include "RecipesSupport.h"
#include "form/TfrmRelatPrato.h"
#include "host/Errors.h"
#include "recipes/RecipeMerge.h"

using namespace recipetest;
using pla013::TfrmRelatPrato;
using Texts = std::vector<std::string>;

namespace {

const Texts kKeyAndProducts = {"CDPRATO", "CDFILAUXPRAT", "NRSEQUPRATO", "CDPRODUTOP", "CDPRODUTOL"};
const Texts kKeyAndServiceProducts = {"CDPRATO", "CDFILAUXPRAT", "NRSEQUPRATO", "CDPRODUTOP", "CDPRODUTOS"};

class Compose : public ::testing::Test {
protected:
    void SetUp() override {
        for (auto* cds : {f.cdsReceitaPadLoc, f.cdsPratosRel, f.cdsPratoPadr, f.cdsPratoLoca, f.cdsReceitaPadSer,
                          f.cdsPratosRelPS, f.cdsPratoServ})
            cds->CreateDataSet();
    }

    // The server's answer: an array of three packets.
    static Variant answer(DataPacket a, DataPacket b, DataPacket c) {
        auto v = [](DataPacket p) {
            return Variant(std::shared_ptr<const DataPacket>(std::make_shared<DataPacket>(std::move(p))));
        };
        return Variant(std::vector<Variant>{v(std::move(a)), v(std::move(b)), v(std::move(c))});
    }

    Variant localAnswer(const std::vector<Dish>& dishes, const std::vector<Line>& standard,
                        const std::vector<Line>& local) {
        return answer(dishPacket(f.cdsPratosRel->FieldDefs, dishes),
                      linePacket(f.cdsPratoPadr->FieldDefs, 'P', standard),
                      linePacket(f.cdsPratoLoca->FieldDefs, 'L', local));
    }

    // What RelCompRecPL does after its call, into the form's data sets.
    Texts composeLocal(const std::vector<Dish>& dishes, const std::vector<Line>& standard,
                       const std::vector<Line>& local) {
        f.cdsReceitaPadLoc->EmptyDataSet();
        pla013::LoadRecipeComparison(localAnswer(dishes, standard, local),
                                     {f.cdsPratosRel, f.cdsPratoPadr, f.cdsPratoLoca, f.cdsReceitaPadLoc},
                                     pla013::StandardRecipeSide(), pla013::LocalRecipeSide());
        return rowTexts(f.cdsReceitaPadLoc->Snapshot(), kKeyAndProducts);
    }

    TfrmRelatPrato f;
};

std::vector<Line> lines(const std::string& dish, const std::string& owner, const Texts& products) {
    std::vector<Line> out;
    for (const auto& p : products) out.push_back({dish, owner, p, 1});
    return out;
}

std::vector<Line> operator+(std::vector<Line> a, const std::vector<Line>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// ------------------------------------------------------------ edge cases

TEST_F(Compose, PairsLinesByPositionWithinTheDish) {
    struct Case {
        const char* name;
        std::vector<Dish> dishes;
        std::vector<Line> standard, local;
        Texts expected;
    };
    const Dish d{"30001", "Carne de panela", "P"};
    const std::vector<Case> cases = {
        {"3 standard, 5 local",
         {d},
         lines("30001", "P", {"s1", "s2", "s3"}),
         lines("30001", "P", {"l1", "l2", "l3", "l4", "l5"}),
         {"30001|P|1|s1|l1", "30001|P|2|s2|l2", "30001|P|3|s3|l3", "30001|P|4|~|l4", "30001|P|5|~|l5"}},
        {"5 standard, 3 local",
         {d},
         lines("30001", "P", {"s1", "s2", "s3", "s4", "s5"}),
         lines("30001", "P", {"l1", "l2", "l3"}),
         {"30001|P|1|s1|l1", "30001|P|2|s2|l2", "30001|P|3|s3|l3", "30001|P|4|s4|~", "30001|P|5|s5|~"}},
        {"no local line", {d}, lines("30001", "P", {"s1", "s2"}), {}, {"30001|P|1|s1|~", "30001|P|2|s2|~"}},
        {"no standard line, numbered from 1",
         {d},
         {},
         lines("30001", "P", {"l1", "l2"}),
         {"30001|P|1|~|l1", "30001|P|2|~|l2"}},
        {"no line at all", {d}, {}, {}, {}},
        {"the same product at two positions keeps each side's order",
         {d},
         lines("30001", "P", {"2002", "2001", "2002"}),
         lines("30001", "P", {"2001", "2002"}),
         {"30001|P|1|2002|2001", "30001|P|2|2001|2002", "30001|P|3|2002|~"}},
        {"other dishes, other owners and letter-case twins never mix",
         {{"ab", "minúsculo", "P"}, {"AB", "maiúsculo", "P"}, {"ab", "da filial", "0002"}},
         lines("ab", "P", {"x1"}) + lines("AB", "P", {"y1", "y2"}) + lines("ab", "0002", {"z1"}) +
             lines("zz", "P", {"fora"}),
         lines("AB", "P", {"w1", "w2", "w3"}) + lines("ab", "p", {"dono-minusculo"}) + lines("Ab", "P", {"misto"}),
         {"AB|P|1|y1|w1", "AB|P|2|y2|w2", "AB|P|3|~|w3", "ab|0002|1|z1|~", "ab|P|1|x1|~"}},
        {"lines arrive interleaved; each dish keeps its own order",
         {{"1", "um", "P"}, {"2", "dois", "P"}},
         {{"2", "P", "b1"}, {"1", "P", "a1"}, {"2", "P", "b2"}, {"1", "P", "a2"}},
         {{"1", "P", "c1"}, {"2", "P", "d1"}, {"1", "P", "c2"}, {"1", "P", "c3"}},
         {"1|P|1|a1|c1", "1|P|2|a2|c2", "1|P|3|~|c3", "2|P|1|b1|d1", "2|P|2|b2|~"}},
        {"a dish listed twice adds its standard lines again, standard side only",
         {d, d},
         lines("30001", "P", {"s1", "s2"}),
         lines("30001", "P", {"l1", "l2", "l3"}),
         {"30001|P|1|s1|l1", "30001|P|1|s1|~", "30001|P|2|s2|l2", "30001|P|2|s2|~", "30001|P|3|~|l3"}},
        {"codes with quotes",
         {{"a'b", "aspas", "P"}, {"a", "sem", "P"}},
         lines("a'b", "P", {"q1"}) + lines("a", "P", {"r1"}),
         lines("a'b", "P", {"q2"}),
         {"a|P|1|r1|~", "a'b|P|1|q1|q2"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(composeLocal(c.dishes, c.standard, c.local), c.expected);
    }
}

TEST_F(Compose, RowsCarryTheDishColumnsAndBothSidesUnchanged) {
    composeLocal({{"31001", "Frango assado", "0002"}}, {{"31001", "0002", "3002", 0.25}},
                 {{"31001", "0002", "3002", 0.5}, {"31001", "0002", "5002", 0.125}});
    const Texts all = rowTexts(f.cdsReceitaPadLoc->Snapshot());
    EXPECT_EQ(all, (Texts{
                       "31001|Frango assado|0002|1|3002|arv.3002|Produto 3002|KG|0.25|0.625|3002|arv.3002|Produto "
                       "3002|KG|0.5|1.25",
                       "31001|Frango assado|0002|2|~|~|~|~|~|~|5002|arv.5002|Produto 5002|KG|0.125|0.3125",
                   }));
    const auto snap = f.cdsReceitaPadLoc->Snapshot();
    EXPECT_EQ(snap.rows[0][std::size_t(snap.fieldIndex("NRSEQUPRATO"))].kind(), Variant::Kind::Integer);
    EXPECT_EQ(snap.rows[0][std::size_t(snap.fieldIndex("QTBRUTPRODP"))].kind(), Variant::Kind::Float);
}

TEST_F(Compose, ServiceCompositionTakesItsOwnFieldOrder) {
    // cdsPratosRelPS lists the owner first; service lines put the product
    // name before its code.
    const std::vector<Line> standard = lines("40003", "0002", {"s1", "s2"});
    const std::vector<Line> service = lines("40003", "0002", {"v1", "v2", "v3", "v4"});
    f.cdsReceitaPadSer->EmptyDataSet();
    pla013::LoadRecipeComparison(answer(dishPacket(f.cdsPratosRelPS->FieldDefs, {{"40003", "Feijão", "0002"}}),
                                        linePacket(f.cdsPratoPadr->FieldDefs, 'P', standard),
                                        linePacket(f.cdsPratoServ->FieldDefs, 'S', service)),
                                 {f.cdsPratosRelPS, f.cdsPratoPadr, f.cdsPratoServ, f.cdsReceitaPadSer},
                                 pla013::StandardRecipeSide(), pla013::ServiceRecipeSide());
    EXPECT_EQ(rowTexts(f.cdsReceitaPadSer->Snapshot(),
                       {"CDPRATO", "NMPRATO", "CDFILAUXPRAT", "NRSEQUPRATO", "CDPRODUTOP", "CDPRODUTOS", "NMPRODUTOS"}),
              (Texts{"40003|Feijão|0002|1|s1|v1|Produto v1", "40003|Feijão|0002|2|s2|v2|Produto v2",
                     "40003|Feijão|0002|3|~|v3|Produto v3", "40003|Feijão|0002|4|~|v4|Produto v4"}));
    EXPECT_TRUE(f.cdsReceitaPadLoc->IsEmpty()) << "the other composition is left alone";
}

TEST_F(Compose, EmptyDishListComposesNothingAndLeavesTheFilters) {
    composeLocal({{"1", "um", "P"}}, lines("1", "P", {"a"}), lines("1", "P", {"b"}));
    const std::string filter = f.cdsPratoPadr->Filter();
    ASSERT_FALSE(filter.empty());
    EXPECT_EQ(composeLocal({}, lines("2", "P", {"c"}), {}), Texts{});
    EXPECT_EQ(f.cdsPratoPadr->Filter(), filter);
    EXPECT_EQ(f.cdsPratoPadr->Data().rows.size(), 1u) << "the packets are loaded all the same";
}

TEST_F(Compose, ResultThatIsNotThreePacketsEndsTheRunWhereItFails) {
    const Variant twoOnly(std::vector<Variant>{Variant(std::shared_ptr<const DataPacket>(std::make_shared<DataPacket>(
                                                   dishPacket(f.cdsPratosRel->FieldDefs, {{"1", "um", "P"}})))),
                                               Variant(std::string("não é pacote"))});
    EXPECT_THROW(
        pla013::LoadRecipeComparison(twoOnly, {f.cdsPratosRel, f.cdsPratoPadr, f.cdsPratoLoca, f.cdsReceitaPadLoc},
                                     pla013::StandardRecipeSide(), pla013::LocalRecipeSide()),
        pla013::host::EVariantError);
    EXPECT_EQ(f.cdsPratosRel->RecordCount(), 1) << "element 0 was loaded before element 1 failed";
    EXPECT_TRUE(f.cdsPratoPadr->IsEmpty());
    EXPECT_TRUE(f.cdsReceitaPadLoc->IsEmpty());
    EXPECT_THROW(pla013::LoadRecipeComparison(Variant(std::string("texto")),
                                              {f.cdsPratosRel, f.cdsPratoPadr, f.cdsPratoLoca, f.cdsReceitaPadLoc},
                                              pla013::StandardRecipeSide(), pla013::LocalRecipeSide()),
                 pla013::host::EVariantError);
}

// ------------------------------------------------------------- filters

TEST_F(Compose, LineDataSetsKeepTheFilterOfTheLastDish) {
    composeLocal({{"1", "um", "P"}, {"2", "dois", "0002"}},
                 lines("1", "P", {"a"}) + lines("2", "0002", {"b", "c"}) + lines("2", "P", {"d"}),
                 lines("2", "0002", {"e"}) + lines("1", "P", {"f"}));
    EXPECT_TRUE(f.cdsPratoPadr->Filtered());
    EXPECT_EQ(f.cdsPratoPadr->Filter(), "CDPRATOP = '2'AND CDFILAUXPRATP = '0002'");
    EXPECT_EQ(f.cdsPratoLoca->Filter(), "CDPRATOL = '2'AND CDFILAUXPRATL ='0002'");
    EXPECT_EQ(rowTexts(f.cdsPratoPadr->Snapshot(), {"CDPRODUTOP"}), (Texts{"b", "c"}));
    EXPECT_EQ(rowTexts(f.cdsPratoLoca->Snapshot(), {"CDPRODUTOL"}), Texts{"e"});
    // The dish list is left on its last dish.
    EXPECT_EQ(f.cdsPratosRel->FieldByName("CDPRATO").AsString(), "2");
}

TEST_F(Compose, AQuoteInACodeNeitherBreaksNorWidensTheFilter) {
    // Pasted as it stands, this code would close the literal and select
    // every line; quoted, it selects its own lines only.
    const std::string sly = "9' OR CDPRATOP <> '";
    composeLocal({{"1", "um", "P"}, {sly, "astuto", "P"}},
                 lines("1", "P", {"a"}) + lines(sly, "P", {"own"}) + lines("9", "P", {"nine"}),
                 lines(sly, "P", {"mine"}) + lines("1", "P", {"b"}));
    EXPECT_EQ(rowTexts(f.cdsPratoPadr->Snapshot(), {"CDPRODUTOP"}), Texts{"own"});
    EXPECT_EQ(rowTexts(f.cdsPratoLoca->Snapshot(), {"CDPRODUTOL"}), Texts{"mine"});
    EXPECT_EQ(rowTexts(f.cdsReceitaPadLoc->Snapshot(), kKeyAndProducts), (Texts{"1|P|1|a|b", sly + "|P|1|own|mine"}));

    composeLocal({{"O'Brien", "irlandês", "P'"}}, lines("O'Brien", "P'", {"x"}), {});
    EXPECT_EQ(f.cdsPratoPadr->Filter(), "CDPRATOP = 'O''Brien'AND CDFILAUXPRATP = 'P'''");
    EXPECT_EQ(rowTexts(f.cdsPratoPadr->Snapshot(), {"CDPRODUTOP"}), Texts{"x"});
}

// ------------------------------------------------ generated, against the reference

// Codes that stress the merge: letter-case twins, quotes, prefixes of each
// other, owners that differ by case.
struct Generated {
    std::vector<Dish> dishes;
    std::vector<Line> standard, local;
};

Generated generate(unsigned seed, int dishCount) {
    std::mt19937 rng(seed);
    auto pick = [&](int n) { return int(rng() % unsigned(n)); };
    const Texts stems = {"ab", "AB", "Ab", "a'b", "A'B", "x", "X", "x'", "''", "10", "1", "100", "o'k"};
    const Texts owners = {"P", "p", "0002", "0003"};
    Generated g;
    std::set<std::pair<std::string, std::string>> listed;
    std::vector<Dish> all;
    for (int i = 0; i < dishCount; ++i) {
        Dish d{stems[std::size_t(pick(int(stems.size())))] + (pick(3) ? std::to_string(pick(20)) : std::string()),
               "Prato " + std::to_string(i), owners[std::size_t(pick(int(owners.size())))]};
        all.push_back(d);
    }
    int product = 0;
    for (const auto& d : all) {
        // Most dishes are listed once; some not at all (their lines must be
        // ignored); a few twice.
        const int roll = pick(20);
        if (roll == 0) continue;
        if (listed.insert({d.code, d.owner}).second || roll == 1) g.dishes.push_back(d);
        const int n = pick(7), m = pick(7);
        for (int k = 0; k < n; ++k)
            g.standard.push_back({d.code, d.owner, "p" + std::to_string(pick(5) ? product++ : 7), 0.5 + k});
        for (int k = 0; k < m; ++k)
            g.local.push_back({d.code, d.owner, "p" + std::to_string(pick(5) ? product++ : 7), 1.5 + k});
    }
    // Interleave the dishes' lines while each dish keeps its own order: a
    // stable sort on a random key per dish.
    auto interleave = [&](std::vector<Line>& v) {
        std::vector<std::pair<unsigned, Line>> keyed;
        for (auto& l : v) keyed.emplace_back(std::hash<std::string>{}(l.dish + '\x1f' + l.owner) ^ seed, l);
        std::stable_sort(keyed.begin(), keyed.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
        v.clear();
        for (auto& [k, l] : keyed) v.push_back(l);
    };
    if (seed % 2) {
        interleave(g.standard);
        interleave(g.local);
    }
    std::shuffle(g.dishes.begin(), g.dishes.end(), rng);
    return g;
}

TEST_F(Compose, GeneratedPacketsMatchTheReferenceMerge) {
    for (unsigned seed = 1; seed <= 40; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        const Generated g = generate(seed, 5 + int(seed * 3));
        const DataPacket dishes = dishPacket(f.cdsPratosRel->FieldDefs, g.dishes);
        const DataPacket standard = linePacket(f.cdsPratoPadr->FieldDefs, 'P', g.standard);
        const DataPacket local = linePacket(f.cdsPratoLoca->FieldDefs, 'L', g.local);

        f.cdsReceitaPadLoc->EmptyDataSet();
        pla013::LoadRecipeComparison(answer(dishes, standard, local),
                                     {f.cdsPratosRel, f.cdsPratoPadr, f.cdsPratoLoca, f.cdsReceitaPadLoc},
                                     pla013::StandardRecipeSide(), pla013::LocalRecipeSide());
        const DataPacket expected = referenceMerge(dishes, standard, local, 'L', f.cdsReceitaPadLoc->FieldDefs);
        ASSERT_EQ(rowTexts(f.cdsReceitaPadLoc->Snapshot()), rowTexts(expected));

        if (g.dishes.empty()) continue;
        const Dish& last = g.dishes.back();
        std::vector<Line> lastStandard, lastLocal;
        for (const auto& l : g.standard)
            if (l.dish == last.code && l.owner == last.owner) lastStandard.push_back(l);
        for (const auto& l : g.local)
            if (l.dish == last.code && l.owner == last.owner) lastLocal.push_back(l);
        EXPECT_EQ(rowTexts(f.cdsPratoPadr->Snapshot()),
                  rowTexts(linePacket(f.cdsPratoPadr->FieldDefs, 'P', lastStandard)));
        EXPECT_EQ(rowTexts(f.cdsPratoLoca->Snapshot()),
                  rowTexts(linePacket(f.cdsPratoLoca->FieldDefs, 'L', lastLocal)));
    }
}

TEST_F(Compose, ReferenceMergeItselfFollowsTheRules) {
    // The reference is code too: one hand-checked case keeps it honest.
    const DataPacket dishes = dishPacket(f.cdsPratosRel->FieldDefs, {{"b", "B", "P"}, {"a", "A", "P"}});
    const DataPacket standard =
        linePacket(f.cdsPratoPadr->FieldDefs, 'P', lines("a", "P", {"1"}) + lines("b", "P", {"2", "3"}));
    const DataPacket local =
        linePacket(f.cdsPratoLoca->FieldDefs, 'L', lines("b", "P", {"4"}) + lines("a", "P", {"5", "6"}));
    EXPECT_EQ(rowTexts(referenceMerge(dishes, standard, local, 'L', f.cdsReceitaPadLoc->FieldDefs), kKeyAndProducts),
              (Texts{"a|P|1|1|5", "a|P|2|~|6", "b|P|1|2|4", "b|P|2|3|~"}));
}

}  // namespace
