#include "platform/appserver/internal/RecipeSql.h"

#include <array>
#include <functional>
#include <vector>

namespace pla013::appserver::internal::sql {

namespace {

// The unit cost of a line's product for the cost type at the reference date:
// the cost with the latest validity date not after it. Joined per line
// through the key (CDPRODUTO, NRTIPOCUST, DTVALIDADE); at most one row
// matches, as the key is unique.
std::string costJoin(const std::string& productColumn) {
    return "LEFT JOIN CUSTOPRODUTO CU ON CU.CDPRODUTO = " + productColumn +
           "\n"
           "   AND CU.NRTIPOCUST = :P_NRTIPOCUST\n"
           "   AND CU.DTVALIDADE = (SELECT MAX(C2.DTVALIDADE)\n"
           "                        FROM CUSTOPRODUTO C2\n"
           "                        WHERE C2.CDPRODUTO = " +
           productColumn +
           "\n"
           "                          AND C2.NRTIPOCUST = :P_NRTIPOCUST\n"
           "                          AND C2.DTVALIDADE <= :P_DTREFER)\n";
}

// The conditions of the given bounds on a dish code column.
std::vector<std::string> range(Bounds bounds, const std::string& column = "P.CDPRATO") {
    std::vector<std::string> terms;
    if (bounds.first) terms.push_back(column + " >= :P_CDPRATOINI");
    if (bounds.last) terms.push_back(column + " <= :P_CDPRATOFIN");
    return terms;
}

// "WHERE a\n  AND b\n", or nothing for no condition.
std::string where(const std::vector<std::string>& terms) {
    std::string text;
    for (const std::string& term : terms) text += (text.empty() ? "WHERE " : "  AND ") + term + "\n";
    return text;
}

std::vector<std::string> operator+(std::vector<std::string> a, const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

const char* kVisible = "(P.CDFILAUXPRAT = 'P' OR P.CDFILAUXPRAT = :P_CDFILIAL)";

// The text for a call's bounds among the four versions made once by make.
const std::string& byBounds(Bounds bounds, const std::array<std::string, 4>& versions) {
    return versions[(bounds.first ? 2 : 0) + (bounds.last ? 1 : 0)];
}

std::array<std::string, 4> versions(const std::function<std::string(Bounds)>& make) {
    return {make({false, false}), make({false, true}), make({true, false}), make({true, true})};
}

std::string lines(Bounds bounds, const std::string& alias, const std::string& table,
                  const std::vector<std::string>& conditions) {
    return "SELECT " + alias + ".CDPRATO, " + alias + ".CDFILAUXPRAT, " + alias +
           ".CDPRODUTO,\n"
           "       PR.NMPRODUTO, PR.SGUNIDPROD, PR.CDARV, " +
           alias +
           ".QTBRUTPROD, CU.VRCUSTO\n"
           "FROM PRATO P\n"
           "JOIN " +
           table + " " + alias + " ON " + alias + ".CDPRATO = P.CDPRATO AND " + alias +
           ".CDFILAUXPRAT = P.CDFILAUXPRAT\n"
           "LEFT JOIN PRODUTO PR ON PR.CDPRODUTO = " +
           alias + ".CDPRODUTO\n" + costJoin(alias + ".CDPRODUTO") +
           where(conditions + range(bounds) + std::vector<std::string>{kVisible}) + "ORDER BY " + alias + ".CDPRATO, " +
           alias + ".CDFILAUXPRAT, " + alias + ".NRSEQU\n";
}

const char* kCentral =
    "SELECT F.CDFILIAL\n"
    "FROM FILIAL B, FILIAL F\n"
    "WHERE B.CDFILIAL = :P_CDFILIAL\n"
    "  AND (F.CDFILIAL = COALESCE(B.CDFILCENTPME, B.CDFILIAL) OR\n"
    "       F.CDFILCENTPME = COALESCE(B.CDFILCENTPME, B.CDFILIAL))\n";

// The visible dishes in the range that have a standard recipe or the other
// recipe that `otherRecipe` (an EXISTS) finds, in code order.
std::string dishesWithRecipe(Bounds b, const std::string& columns, const std::string& otherRecipe) {
    return "SELECT " + columns + "\nFROM PRATO P\n" +
           where(range(b) + std::vector<std::string>{kVisible,
                                                     "(EXISTS (SELECT 1 FROM RECEITAPRATO R\n"
                                                     "             WHERE R.CDPRATO = P.CDPRATO AND R.CDFILAUXPRAT = "
                                                     "P.CDFILAUXPRAT) OR\n     " +
                                                         otherRecipe + ")"}) +
           "ORDER BY P.CDPRATO, P.CDFILAUXPRAT\n";
}

}  // namespace

const std::string& dishesWithLocalRecipe(Bounds bounds) {
    static const auto texts = versions([](Bounds b) {
        return dishesWithRecipe(b, "P.CDPRATO, P.NMPRATO, P.CDFILAUXPRAT",
                                "EXISTS (SELECT 1 FROM RECEITALOCAL L\n"
                                "             WHERE L.CDFILIAL = :P_CDFILIAL AND L.CDPRATO = P.CDPRATO\n"
                                "               AND L.CDFILAUXPRAT = P.CDFILAUXPRAT)");
    });
    return byBounds(bounds, texts);
}

const std::string& dishesWithServiceRecipe(Bounds bounds) {
    static const auto texts = versions([](Bounds b) {
        return dishesWithRecipe(b, "P.CDFILAUXPRAT, P.CDPRATO, P.NMPRATO",
                                "EXISTS (SELECT 1 FROM RECEITASERV S\n"
                                "             WHERE S.CDFILIAL = :P_CDFILIALSERV AND S.CDSERVFILI = :P_CDSERVFILI\n"
                                "               AND S.CDPRATO = P.CDPRATO AND S.CDFILAUXPRAT = P.CDFILAUXPRAT)");
    });
    return byBounds(bounds, texts);
}

const std::string& standardLines(Bounds bounds) {
    static const auto texts = versions([](Bounds b) { return lines(b, "R", "RECEITAPRATO", {}); });
    return byBounds(bounds, texts);
}

const std::string& localLines(Bounds bounds) {
    static const auto texts =
        versions([](Bounds b) { return lines(b, "L", "RECEITALOCAL", {"L.CDFILIAL = :P_CDFILIAL"}); });
    return byBounds(bounds, texts);
}

const std::string& serviceLines(Bounds bounds) {
    static const auto texts = versions([](Bounds b) {
        return lines(b, "S", "RECEITASERV", {"S.CDFILIAL = :P_CDFILIALSERV", "S.CDSERVFILI = :P_CDSERVFILI"});
    });
    return byBounds(bounds, texts);
}

const std::string& branchesOfCentral() {
    static const std::string text =
        "SELECT F.CDFILIAL, F.NMFILIAL\n"
        "FROM FILIAL B, FILIAL F\n"
        "WHERE B.CDFILIAL = :P_CDFILIAL\n"
        "  AND (F.CDFILIAL = COALESCE(B.CDFILCENTPME, B.CDFILIAL) OR\n"
        "       F.CDFILCENTPME = COALESCE(B.CDFILCENTPME, B.CDFILIAL))\n"
        "ORDER BY F.CDFILIAL\n";
    return text;
}

const std::string& localLinesOfCentral(Bounds bounds) {
    static const auto texts = versions([](Bounds b) {
        return "SELECT L.CDFILIAL, P.CDFILAUXPRAT, P.CDPRATO, P.NMPRATO, L.QTBRUTPROD, CU.VRCUSTO\n"
               "FROM RECEITALOCAL L\n"
               "JOIN PRATO P ON P.CDPRATO = L.CDPRATO AND P.CDFILAUXPRAT = L.CDFILAUXPRAT\n" +
               costJoin("L.CDPRODUTO") +
               where(std::vector<std::string>{"L.CDFILIAL IN (" + std::string(kCentral) + ")"} + range(b) +
                     std::vector<std::string>{"(P.CDFILAUXPRAT = 'P' OR P.CDFILAUXPRAT = L.CDFILIAL)"}) +
               "ORDER BY L.CDFILIAL, P.CDPRATO, P.CDFILAUXPRAT, L.NRSEQU\n";
    });
    return byBounds(bounds, texts);
}

const std::string& standardLinesInRange(Bounds bounds) {
    // Driven by the kitchen's local recipes: a kitchen prices a few
    // thousand dishes of the tens of thousands that have a standard recipe.
    static const auto texts = versions([](Bounds b) {
        return "SELECT R.CDPRATO, R.CDFILAUXPRAT, R.QTBRUTPROD, CU.VRCUSTO\n"
               "FROM (SELECT DISTINCT L.CDPRATO, L.CDFILAUXPRAT\n"
               "      FROM RECEITALOCAL L\n" +
               where(std::vector<std::string>{"L.CDFILIAL IN (" + std::string(kCentral) + ")"} +
                     range(b, "L.CDPRATO")) +
               "     ) D\n"
               "JOIN RECEITAPRATO R ON R.CDPRATO = D.CDPRATO AND R.CDFILAUXPRAT = D.CDFILAUXPRAT\n"
               "JOIN PRATO P ON P.CDPRATO = R.CDPRATO AND P.CDFILAUXPRAT = R.CDFILAUXPRAT\n" +
               costJoin("R.CDPRODUTO") + "ORDER BY R.CDPRATO, R.CDFILAUXPRAT, R.NRSEQU\n";
    });
    return byBounds(bounds, texts);
}

const std::string& costType() {
    static const std::string text = "SELECT NRTIPOCUST FROM TIPOCUSTO WHERE NRTIPOCUST = :P_NRTIPOCUST\n";
    return text;
}

const std::string& costTypes() {
    static const std::string text = "SELECT NRTIPOCUST, NMTIPOCUST FROM TIPOCUSTO ORDER BY NRTIPOCUST\n";
    return text;
}

}  // namespace pla013::appserver::internal::sql
