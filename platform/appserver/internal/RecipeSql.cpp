#include "platform/appserver/internal/RecipeSql.h"

namespace pla013::appserver::internal::sql {

namespace {

// The unit cost of each product for the cost type at the reference date:
// the cost with the latest validity date not after it.
std::string costJoin(const std::string& productColumn) {
    return "LEFT JOIN (\n"
           "   SELECT C.CDPRODUTO, C.VRCUSTO\n"
           "   FROM CUSTOPRODUTO C\n"
           "   WHERE C.NRTIPOCUST = :P_NRTIPOCUST\n"
           "     AND C.DTVALIDADE = (SELECT MAX(C2.DTVALIDADE)\n"
           "                         FROM CUSTOPRODUTO C2\n"
           "                         WHERE C2.CDPRODUTO = C.CDPRODUTO\n"
           "                           AND C2.NRTIPOCUST = C.NRTIPOCUST\n"
           "                           AND C2.DTVALIDADE <= :P_DTREFER)\n"
           ") CU ON CU.CDPRODUTO = " +
           productColumn + "\n";
}

// The casts give PostgreSQL the type of a parameter that is first met in
// "IS NULL", where it could not infer one.
const char* kRange =
    "(CAST(:P_CDPRATOINI AS VARCHAR) IS NULL OR P.CDPRATO >= :P_CDPRATOINI) AND\n"
    "(CAST(:P_CDPRATOFIN AS VARCHAR) IS NULL OR P.CDPRATO <= :P_CDPRATOFIN)\n";

const char* kVisible = "(P.CDFILAUXPRAT = 'P' OR P.CDFILAUXPRAT = :P_CDFILIAL)\n";

std::string lines(const std::string& alias, const std::string& table, const std::string& where) {
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
           alias + ".CDPRODUTO\n" + costJoin(alias + ".CDPRODUTO") + "WHERE " + where + kRange + "AND " + kVisible +
           "ORDER BY " + alias + ".CDPRATO, " + alias + ".CDFILAUXPRAT, " + alias + ".NRSEQU\n";
}

const char* kCentral =
    "SELECT F.CDFILIAL\n"
    "FROM FILIAL B, FILIAL F\n"
    "WHERE B.CDFILIAL = :P_CDFILIAL\n"
    "  AND (F.CDFILIAL = COALESCE(B.CDFILCENTPME, B.CDFILIAL) OR\n"
    "       F.CDFILCENTPME = COALESCE(B.CDFILCENTPME, B.CDFILIAL))\n";

}  // namespace

const std::string& dishesWithLocalRecipe() {
    static const std::string text =
        std::string(
            "SELECT P.CDPRATO, P.NMPRATO, P.CDFILAUXPRAT\n"
            "FROM PRATO P\n"
            "WHERE ") +
        kRange + "AND " + kVisible +
        "AND (EXISTS (SELECT 1 FROM RECEITAPRATO R\n"
        "             WHERE R.CDPRATO = P.CDPRATO AND R.CDFILAUXPRAT = P.CDFILAUXPRAT) OR\n"
        "     EXISTS (SELECT 1 FROM RECEITALOCAL L\n"
        "             WHERE L.CDFILIAL = :P_CDFILIAL AND L.CDPRATO = P.CDPRATO AND L.CDFILAUXPRAT = P.CDFILAUXPRAT))\n"
        "ORDER BY P.CDPRATO, P.CDFILAUXPRAT\n";
    return text;
}

const std::string& dishesWithServiceRecipe() {
    static const std::string text = std::string(
                                        "SELECT P.CDFILAUXPRAT, P.CDPRATO, P.NMPRATO\n"
                                        "FROM PRATO P\n"
                                        "WHERE ") +
                                    kRange + "AND " + kVisible +
                                    "AND (EXISTS (SELECT 1 FROM RECEITAPRATO R\n"
                                    "             WHERE R.CDPRATO = P.CDPRATO AND R.CDFILAUXPRAT = P.CDFILAUXPRAT) OR\n"
                                    "     EXISTS (SELECT 1 FROM RECEITASERV S\n"
                                    "             WHERE S.CDFILIAL = :P_CDFILIALSERV AND S.CDSERVFILI = :P_CDSERVFILI\n"
                                    "               AND S.CDPRATO = P.CDPRATO AND S.CDFILAUXPRAT = P.CDFILAUXPRAT))\n"
                                    "ORDER BY P.CDPRATO, P.CDFILAUXPRAT\n";
    return text;
}

const std::string& standardLines() {
    static const std::string text = lines("R", "RECEITAPRATO", "");
    return text;
}

const std::string& localLines() {
    static const std::string text = lines("L", "RECEITALOCAL", "L.CDFILIAL = :P_CDFILIAL AND\n");
    return text;
}

const std::string& serviceLines() {
    static const std::string text =
        lines("S", "RECEITASERV", "S.CDFILIAL = :P_CDFILIALSERV AND S.CDSERVFILI = :P_CDSERVFILI AND\n");
    return text;
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

const std::string& localLinesOfCentral() {
    static const std::string text =
        std::string(
            "SELECT L.CDFILIAL, P.CDFILAUXPRAT, P.CDPRATO, P.NMPRATO, L.QTBRUTPROD, CU.VRCUSTO\n"
            "FROM RECEITALOCAL L\n"
            "JOIN PRATO P ON P.CDPRATO = L.CDPRATO AND P.CDFILAUXPRAT = L.CDFILAUXPRAT\n") +
        costJoin("L.CDPRODUTO") + "WHERE L.CDFILIAL IN (" + kCentral +
        ")\n"
        "  AND " +
        kRange +
        "  AND (P.CDFILAUXPRAT = 'P' OR P.CDFILAUXPRAT = L.CDFILIAL)\n"
        "ORDER BY L.CDFILIAL, P.CDPRATO, P.CDFILAUXPRAT, L.NRSEQU\n";
    return text;
}

const std::string& standardLinesInRange() {
    static const std::string text = std::string(
                                        "SELECT R.CDPRATO, R.CDFILAUXPRAT, R.QTBRUTPROD, CU.VRCUSTO\n"
                                        "FROM RECEITAPRATO R\n"
                                        "JOIN PRATO P ON P.CDPRATO = R.CDPRATO AND P.CDFILAUXPRAT = R.CDFILAUXPRAT\n") +
                                    costJoin("R.CDPRODUTO") + "WHERE " + kRange +
                                    "ORDER BY R.CDPRATO, R.CDFILAUXPRAT, R.NRSEQU\n";
    return text;
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
