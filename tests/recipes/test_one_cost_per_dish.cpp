// The independent check of the compositions, carried to the printed costs:
// on a generated database, the form runs reports 0A, 03, 04 and 05 through
// the real application server, and every dish cost they print is held to the
// cost computed here straight from the recipe and cost tables (each line's
// quantity times its product's unit cost, added up and rounded once to the
// cent), and so to the cost the other reports print for the same recipe.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <optional>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "FormHarness.h"
#include "platform/db/DataGenerator.h"
#include "platform/db/DatabaseInitializer.h"
#include "platform/db/SociDatabase.h"

using pla013test::FormHarness;
using pla013test::TempDir;

namespace {

using Variant = pla013::host::Variant;
using Key = std::pair<std::string, std::string>;  // dish code, owner

// A recipe's cost in cents, or none when a line has no cost.
struct Cost {
    bool complete = true;
    long long cents = 0;
    bool operator==(const Cost& o) const { return complete == o.complete && (!complete || cents == o.cents); }
};

std::ostream& operator<<(std::ostream& out, const Cost& c) {
    return c.complete ? out << c.cents << " centavos" : out << "incompleto";
}

// The recipes of a table, costed line by line in SQL; rounded here, half a
// cent up (the sums are positive).
std::map<Key, Cost> recipeCosts(pla013::db::SociDatabase& db, const std::string& table, const std::string& where,
                                pla013::db::SqlParams params) {
    params.emplace_back("T", Variant(1));
    params.emplace_back("D", Variant::date(pla013::host::EncodeDate(2024, 2, 15)));
    const auto rows = db.query(
        "SELECT R.CDPRATO, R.CDFILAUXPRAT, SUM(R.QTBRUTPROD * K.VRCUSTO),"
        "       COUNT(*) - COUNT(K.VRCUSTO) "
        "FROM " +
            table +
            " R LEFT JOIN CUSTOPRODUTO K ON K.CDPRODUTO = R.CDPRODUTO AND K.NRTIPOCUST = :T"
            "  AND K.DTVALIDADE = (SELECT MAX(V.DTVALIDADE) FROM CUSTOPRODUTO V"
            "                      WHERE V.CDPRODUTO = R.CDPRODUTO AND V.NRTIPOCUST = :T"
            "                        AND V.DTVALIDADE <= :D) "
            "WHERE " +
            where + " GROUP BY R.CDPRATO, R.CDFILAUXPRAT",
        params, "custo independente");
    std::map<Key, Cost> out;
    for (const auto& r : rows.rows) {
        Cost c;
        c.complete = r[3].toInt() == 0;
        if (c.complete) c.cents = (long long)std::floor(r[2].toDouble() * 100 + 0.5 + 1e-7);
        out[{r[0].toString(), r[1].toString()}] = c;
    }
    return out;
}

// "1.234,56" -> 123456.
long long cents(const std::string& figure) {
    std::string digits;
    for (char c : figure)
        if (std::isdigit(static_cast<unsigned char>(c))) digits += c;
    return (figure.rfind('-', 0) == 0 ? -1 : 1) * std::stoll(digits);
}

std::string readFile(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);) out.push_back(l);
    return out;
}

const std::string kFigure = R"((-?[0-9.]+,[0-9]{2}))";

// Report 0A: "Prato CODE - NAME" and its "Custo total do prato".
std::map<std::pair<std::string, std::string>, Cost> recipeSheetCosts(const std::string& text) {
    const std::regex heading(R"(^Prato (\S+) - (.*?)( \(continuação\))?$)");
    const std::regex total("^Custo total do prato +" + kFigure + "( incompleto)?$");
    std::map<std::pair<std::string, std::string>, Cost> out;
    std::pair<std::string, std::string> dish;
    std::smatch m;
    for (const auto& l : linesOf(text)) {
        if (std::regex_match(l, m, heading)) dish = {m[1], m[2]};
        if (std::regex_match(l, m, total)) {
            EXPECT_FALSE(out.count(dish)) << dish.first << " " << dish.second << " twice";
            out[dish] = Cost{!m[2].matched, cents(m[1])};
        }
    }
    return out;
}

// Reports 03 and 04: each side's total of the dishes compared, by (code, owner).
struct Compared {
    std::optional<Cost> standard;  // none: no standard recipe
    Cost other;
    std::optional<long long> difference;
};

struct Comparison {
    std::map<Key, Compared> dishes;
    std::set<std::string> nothingToCompare;  // "CODE (OWNER)"
    long long listed = -1;                   // the count the report's total gives
    std::optional<long long> standardTotal, otherTotal;
};

// A side's total at the end of a text: a figure, "incompleto" after one or
// alone (no line with a cost), or nothing.
std::optional<Cost> sideTotal(const std::string& text) {
    static const std::regex figure(kFigure + "( incompleto)?$");
    std::smatch m;
    if (std::regex_search(text, m, figure)) return Cost{!m[2].matched, cents(m[1])};
    if (text.size() >= 10 && text.substr(text.size() - 10) == "incompleto") return Cost{false, 0};
    return std::nullopt;
}

std::string trimmed(const std::string& t) {
    const auto b = t.find_first_not_of(' ');
    return b == std::string::npos ? std::string() : t.substr(b, t.find_last_not_of(' ') + 1 - b);
}

Comparison comparison(const std::string& text) {
    const std::regex heading(R"(^Prato (\S+) - .*   \(cadastro (\S+)\)( \(continuação\))?$)");
    const std::regex entry(R"((\S+) \((\S+)\)  )");
    const std::regex grand(R"(^Total geral   sem receita (local|do serviço): ([0-9]+))");
    const std::regex figureThenRest(kFigure + R"(( incompleto)?\s*(.*)$)");
    Comparison out;
    Key dish;
    bool inList = false;
    std::smatch m;
    for (const auto& l : linesOf(text)) {
        if (std::regex_match(l, m, heading)) dish = {m[1], m[2]};
        const bool listHeading = l.rfind("Pratos em que ", 0) == 0;
        inList = inList || listHeading;
        const bool totals = l.rfind("Custo do prato", 0) == 0 || l.rfind("Total geral", 0) == 0;
        if (inList && !listHeading && !totals) {
            const std::string padded = l + "  ";
            for (auto it = std::sregex_iterator(padded.begin(), padded.end(), entry); it != std::sregex_iterator();
                 ++it)
                out.nothingToCompare.insert((*it)[1].str() + " (" + (*it)[2].str() + ")");
        }
        if (!totals) continue;
        const std::string left = trimmed(l.substr(0, l.find('|'))), right = trimmed(l.substr(l.find('|') + 1));
        // The other side's total, then the difference.
        std::optional<Cost> other;
        std::optional<long long> difference;
        if (std::regex_match(right, m, figureThenRest)) {
            other = Cost{!m[2].matched, cents(m[1])};
            if (!m[3].str().empty()) difference = cents(m[3]);
        } else if (right == "incompleto") {
            other = Cost{false, 0};
        }
        if (l.rfind("Total geral", 0) == 0) {
            EXPECT_TRUE(std::regex_search(l, m, grand)) << l;
            out.listed = std::stoll(m[2]);
            if (const auto s = sideTotal(left)) out.standardTotal = s->cents;
            if (other) out.otherTotal = other->cents;
            continue;
        }
        Compared c;
        if (left.size() < 19 || left.substr(left.size() - 19) != "sem receita padrão") c.standard = sideTotal(left);
        EXPECT_TRUE(other.has_value()) << l;
        if (!other) continue;
        c.other = *other;
        c.difference = difference;
        EXPECT_FALSE(out.dishes.count(dish)) << dish.first << " twice";
        out.dishes[dish] = c;
    }
    return out;
}

// Report 05's CSV: each branch's dishes with both costs as printed.
struct BranchRow {
    std::optional<long long> standard, local;
};

std::map<std::pair<std::string, Key>, BranchRow> costByBranch(const std::string& csv) {
    std::map<std::pair<std::string, Key>, BranchRow> out;
    auto lines = linesOf(csv);
    for (std::size_t i = 1; i < lines.size(); ++i) {
        std::string l = lines[i];
        if (!l.empty() && l.back() == '\r') l.pop_back();
        std::vector<std::string> f;
        std::stringstream s(l);
        for (std::string cell; std::getline(s, cell, ';');) f.push_back(cell);
        if (f.size() < 7) continue;  // Filial; Nome da filial; Prato; Dono; Nome; Custo padrão; Custo filial...
        auto figure = [](const std::string& t) -> std::optional<long long> {
            if (t.empty()) return std::nullopt;
            return cents(t);
        };
        out[{f[0], {f[2], f[3]}}] = {figure(f[5]), figure(f[6])};
    }
    return out;
}

TEST(OneCostPerDish, TheReportsPrintTheCostOfTheRecipeComputedFromTheTables) {
    TempDir dir;
    const std::string db = (dir.path() / "cozinha.sqlite").string();
    pla013::db::GeneratorOptions generate;
    generate.dishes = 3000;
    generate.branches = 6;
    generate.months = 1;
    generate.seed = 5;
    pla013::db::generateDatabase(db, generate);
    auto database = pla013::db::openDatabase(db);

    // A school of the kitchen with local recipes, and its service with the
    // most recipes of its own.
    const auto busiest = database->query(
        "SELECT S.CDFILIAL, S.CDSERVFILI FROM RECEITASERV S JOIN FILIAL F ON F.CDFILIAL = S.CDFILIAL "
        "WHERE F.CDFILCENTPME = '0001' AND F.IDCNTRRESC = 'N' AND EXISTS (SELECT 1 FROM RECEITALOCAL L WHERE "
        "L.CDFILIAL = S.CDFILIAL) "
        "GROUP BY S.CDFILIAL, S.CDSERVFILI ORDER BY COUNT(*) DESC, S.CDFILIAL",
        {}, "filial e serviço");
    ASSERT_FALSE(busiest.rows.empty());
    const std::string branch = busiest.rows[0][0].toString(), service = busiest.rows[0][1].toString();

    const auto standard = recipeCosts(*database, "RECEITAPRATO", "1 = 1", {});
    const auto local = recipeCosts(*database, "RECEITALOCAL", "R.CDFILIAL = :F", {{"F", Variant(branch)}});
    const auto ofService = recipeCosts(*database, "RECEITASERV", "R.CDFILIAL = :F AND R.CDSERVFILI = :S",
                                       {{"F", Variant(branch)}, {"S", Variant(service)}});
    std::map<std::pair<std::string, std::string>, std::string> owners;  // (code, name) -> owner
    for (const auto& r : database->query("SELECT CDPRATO, NMPRATO, CDFILAUXPRAT FROM PRATO", {}, "pratos").rows)
        owners[{r[0].toString(), r[1].toString()}] = r[2].toString();
    database.reset();

    pla013::runtime::HostOptions o;
    o.db = db;
    o.date = "2024-02-15";
    FormHarness h(o);
    auto save = [&](const std::string& steps, const std::string& name) {
        const auto file = dir.path() / name;
        const auto r = h.run(steps + "type medCdPratoIni 1\ntype medCdPratoFin 9\nsave " + file.string() + "\n");
        EXPECT_EQ(pla013test::withPrefix(r.lines, "report: ").size(), 1u) << ::testing::PrintToString(r.lines);
        return readFile(file);
    };
    ASSERT_EQ(h.run("launch\n").status, 0);

    // What each report printed, against the tables.
    std::map<std::string, std::set<std::string>> shownBy;  // recipe -> reports that print its cost
    auto hold = [&](const std::string& report, const std::string& recipe, const std::map<Key, Cost>& costs,
                    const Key& dish, const Cost& printed) {
        const auto it = costs.find(dish);
        ASSERT_NE(it, costs.end()) << report << ": " << dish.first << " (" << dish.second << ") has no such recipe";
        EXPECT_EQ(printed, it->second) << report << ": " << recipe << " of " << dish.first << " (" << dish.second
                                       << ")";
        shownBy[recipe + " " + dish.first + " " + dish.second].insert(report);
    };

    const auto sheets = recipeSheetCosts(save("report 9\n", "0A-padrao.txt"));
    EXPECT_GT(sheets.size(), 2000u);
    for (const auto& [dish, cost] : sheets) hold("0A", "padrão", standard, {dish.first, "P"}, cost);
    const auto serviceSheets = recipeSheetCosts(save(
        "click rdbServico\ntype medCdFilial " + branch + "\ntype medCdServFili " + service + "\n", "0A-servico.txt"));
    for (const auto& [dish, cost] : serviceSheets)
        hold("0A", "serviço", ofService, {dish.first, owners.at(dish)}, cost);

    for (const auto& [report, steps, other, otherCosts] :
         {std::tuple{std::string("03"), "report 2\ntype medCdFilial " + branch + "\n", "local-" + branch, &local},
          std::tuple{std::string("04"),
                     "report 3\ntype medCdFilial " + branch + "\ntype medCdServFili " + service + "\n",
                     std::string("serviço"), &ofService}}) {
        SCOPED_TRACE(report);
        const Comparison c = comparison(save(steps, report + ".txt"));
        EXPECT_FALSE(c.dishes.empty());
        long long standardSum = 0, otherSum = 0;
        for (const auto& [dish, printed] : c.dishes) {
            hold(report, other, *otherCosts, dish, printed.other);
            if (printed.standard)
                hold(report, "padrão", standard, dish, *printed.standard);
            else
                EXPECT_FALSE(standard.count(dish)) << dish.first << " has a standard recipe";
            // The difference is the other total minus the standard total, of
            // complete sides only; the report's totals add those dishes.
            const bool both = printed.standard && printed.standard->complete && printed.other.complete;
            EXPECT_EQ(printed.difference.has_value(), both) << dish.first;
            if (both) {
                EXPECT_EQ(*printed.difference, printed.other.cents - printed.standard->cents) << dish.first;
                standardSum += printed.standard->cents;
                otherSum += printed.other.cents;
            }
        }
        EXPECT_EQ(c.standardTotal.value_or(0), standardSum);
        EXPECT_EQ(c.otherTotal.value_or(0), otherSum);
        // The rest of the dishes with a standard recipe: nothing to compare.
        std::set<std::string> expected;
        for (const auto& [dish, cost] : standard)
            if ((dish.second == "P" || dish.second == branch) && !otherCosts->count(dish))
                expected.insert(dish.first + " (" + dish.second + ")");
        std::vector<std::string> missing, extra;
        std::set_difference(expected.begin(), expected.end(), c.nothingToCompare.begin(), c.nothingToCompare.end(),
                            std::back_inserter(missing));
        std::set_difference(c.nothingToCompare.begin(), c.nothingToCompare.end(), expected.begin(), expected.end(),
                            std::back_inserter(extra));
        EXPECT_TRUE(missing.empty() && extra.empty())
            << "not listed: " << ::testing::PrintToString(missing) << "\nlisted: " << ::testing::PrintToString(extra);
        EXPECT_EQ(c.listed, (long long)expected.size());
    }

    // Report 05 of every branch of the kitchen: both costs of each dish, as
    // the tables give them for that branch; complete ones only.
    const auto rows = costByBranch(save("report 4\n", "05.csv"));
    EXPECT_FALSE(rows.empty());
    database = pla013::db::openDatabase(db);
    std::map<std::string, std::map<Key, Cost>> localOf;
    for (const auto& [where, printed] : rows) {
        const auto& [rowBranch, dish] = where;
        if (!localOf.count(rowBranch))
            localOf[rowBranch] = recipeCosts(*database, "RECEITALOCAL", "R.CDFILIAL = :F", {{"F", Variant(rowBranch)}});
        const Cost& l = localOf[rowBranch].at(dish);
        EXPECT_EQ(printed.local.has_value(), l.complete) << rowBranch << " " << dish.first;
        if (printed.local) hold("05", "local-" + rowBranch, localOf[rowBranch], dish, Cost{true, *printed.local});
        const auto s = standard.find(dish);
        EXPECT_EQ(printed.standard.has_value(), s != standard.end() && s->second.complete) << dish.first;
        if (printed.standard) hold("05", "padrão", standard, dish, Cost{true, *printed.standard});
    }

    // 0A's sheets of the local recipes of each of those branches that is
    // still served (a terminated contract is refused by the form).
    for (const auto& [code, costs] : localOf) {
        const auto open = database->query("SELECT 1 FROM FILIAL WHERE CDFILIAL = :F AND IDCNTRRESC = 'N'",
                                          {{"F", Variant(code)}}, "filial em serviço");
        if (open.rows.empty()) continue;
        const auto sheetsOf = recipeSheetCosts(
            save("report 9\nclick rdbLocal\ntype medCdFilial " + code + "\n", "0A-local-" + code + ".txt"));
        EXPECT_FALSE(sheetsOf.empty()) << code;
        for (const auto& [dish, cost] : sheetsOf)
            hold("0A", "local-" + code, costs, {dish.first, owners.at(dish)}, cost);
    }

    // One recipe, one cost: every recipe two reports show had the same cost
    // in both, as each was held to the tables above.
    std::size_t inSeveral = 0;
    std::set<Key> dishes;
    for (const auto& [recipe, reports] : shownBy)
        if (reports.size() > 1) ++inSeveral;
    for (const auto& [recipe, reports] : shownBy) {
        std::istringstream s(recipe);
        std::string kind, code, owner;
        s >> kind >> code >> owner;
        if (reports.size() > 1) dishes.insert({code, owner});
    }
    EXPECT_GT(inSeveral, 100u);
    std::cout << "[ costs    ] " << shownBy.size() << " recipe costs held to the tables; " << inSeveral
              << " shown by two reports or more, of " << dishes.size() << " dishes" << std::endl;
}

}  // namespace
