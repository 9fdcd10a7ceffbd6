#pragma once
// The lookup queries of the dish report form, with their SQL texts for every
// dialect exactly as the form stores them. The database adapter must pick the
// right one and run it unchanged.

#include <string>

#include "host/Ports.h"

namespace lookup {

inline const std::string kQryFilial =
    "SELECT\n"
    "   CDFILIAL,\n"
    "   NMFILIAL\n"
    "FROM\n"
    "   FILIAL\n"
    "ORDER BY\n"
    "   CDFILIAL\n";

inline const std::string kQryVdFilial =
    "SELECT\n"
    "   NMFILIAL\n"
    "FROM \n"
    "   FILIAL\n"
    "WHERE\n"
    "   CDFILIAL = :P_CDFILIAL\n";

inline const std::string kQryServico =
    "SELECT\n"
    "   CDSERVFILI,\n"
    "   NMSERVICO,\n"
    "   CDFILIAL\n"
    "FROM\n"
    "   SERVICO\n"
    "WHERE\n"
    "   (CDFILIAL   = :P_CDFILIAL) AND\n"
    "   (IDTIPOSERV <> 'A')\n"
    "ORDER BY\n"
    "   CDFILIAL,\n"
    "   CDSERVFILI\n";

inline const std::string kQryVdServico =
    "SELECT\n"
    "   NMSERVICO\n"
    "FROM\n"
    "   SERVICO\n"
    "WHERE\n"
    "   (CDFILIAL   = :P_CDFILIAL)   AND\n"
    "   (CDSERVFILI = :P_CDSERVFILI) AND\n"
    "   (IDTIPOSERV <> 'A')\n";

inline const std::string kQryPrato =
    "SELECT\n"
    "   CDNVPRATO,\n"
    "   CDPRATO,\n"
    "   NMPRATO\n"
    "FROM PRATO\n"
    "WHERE\n"
    "   ((CDFILAUXPRAT = 'P') OR (CDFILAUXPRAT = :P_CDFILAUXPRAT)) AND\n"
    "   ((CDPRATO = :P_CDPRATO) OR (:P_TCDPRATO = 'T'))\n"
    "ORDER BY\n"
    "   CDPRATO,\n"
    "   NMPRATO\n";

inline const std::string kQryCentral =
    "SELECT FI.CDFILIAL, FI.NMFILIAL, FI.IDCNTRRESC, FI.IDFILCENTPME, FI.CDFILCENTPME, NMCENT.NMFILIAL AS NMCENTRAL\n"
    "FROM FILIAL FI, FILIAL NMCENT\n"
    "WHERE (FI.CDFILIAL = :P_CDFILIAL)\n"
    "  AND NVL(FI.CDFILCENTPME, FI.CDFILIAL) = NMCENT.CDFILIAL\n"
    "ORDER BY FI.CDFILIAL\n";

inline const std::string kQryCentralSqlServer =
    "SELECT FI.CDFILIAL, FI.NMFILIAL, FI.IDCNTRRESC, FI.IDFILCENTPME, FI.CDFILCENTPME, NMCENT.NMFILIAL AS NMCENTRAL\n"
    "FROM FILIAL FI, FILIAL NMCENT\n"
    "WHERE (FI.CDFILIAL = :P_CDFILIAL)\n"
    "  AND ISNULL(FI.CDFILCENTPME, FI.CDFILIAL) = NMCENT.CDFILIAL\n"
    "ORDER BY FI.CDFILIAL\n";

inline const std::string kQryCentralInterBase =
    "SELECT FI.CDFILIAL, FI.NMFILIAL, FI.IDCNTRRESC, FI.IDFILCENTPME, FI.CDFILCENTPME, NMCENT.NMFILIAL AS NMCENTRAL\n"
    "FROM FILIAL FI, FILIAL NMCENT, PARAM(:P_CDFILIAL) P_CDFILIAL\n"
    "WHERE (FI.CDFILIAL = :P_CDFILIAL)\n"
    "  AND NVLSTR(FI.CDFILCENTPME, FI.CDFILIAL) = NMCENT.CDFILIAL\n"
    "ORDER BY FI.CDFILIAL\n";

inline const std::string kQryTipoCardOracle =
    "SELECT\n"
    "   CDTIPOCARD,\n"
    "   NMTIPOCARD\n"
    "FROM\n"
    "   TIPOCARD\n"
    "WHERE\n"
    "   (CDFILCENTPME = :P_CDFILCENTPME) AND\n"
    "   (CDTIPOCARD   = NVL(:P_CDTIPOCARD, CDTIPOCARD))\n"
    "ORDER BY\n"
    "   CDTIPOCARD\n";

inline const std::string kQryTipoCardSqlServer =
    "SELECT\n"
    "   CDTIPOCARD,\n"
    "   NMTIPOCARD\n"
    "FROM\n"
    "   TIPOCARD\n"
    "WHERE\n"
    "   (CDFILCENTPME = :P_CDFILCENTPME) AND\n"
    "   (CDTIPOCARD   = ISNULL(:P_CDTIPOCARD, CDTIPOCARD))\n"
    "ORDER BY\n"
    "   CDTIPOCARD\n";

inline const std::string kQryTipoCardInterBase =
    "SELECT\n"
    "   CDTIPOCARD,\n"
    "   NMTIPOCARD\n"
    "FROM\n"
    "   TIPOCARD, PARAM(:P_CDTIPOCARD) P_CDTIPOCARD\n"
    "WHERE\n"
    "   (CDFILCENTPME = :P_CDFILCENTPME) AND\n"
    "   (CDTIPOCARD   = NVLSTR(P_CDTIPOCARD.PARAM, CDTIPOCARD))\n"
    "ORDER BY\n"
    "   CDTIPOCARD\n";

inline const std::string kQryServiGeneric =
    "SELECT\n"
    "   (CDFILIAL || CDSERVFILI) AS CDFILISERV,\n"
    "   CDFILIAL,\n"
    "   CDSERVFILI,\n"
    "   NMSERVICO\n"
    "FROM\n"
    "   SERVICO\n"
    "WHERE\n"
    "   ((INSTR(:P_CDFILIAL, CDFILIAL )<> 0) OR (:P_CDFILIAL = 'T')) --AND\n"
    "  -- (IDTIPOSERV <> 'A')\n"
    "ORDER BY\n"
    "   CDFILIAL,\n"
    "   CDSERVFILI\n";

inline const std::string kQryServiSqlServer =
    "SELECT\n"
    "   (CDFILIAL + CDSERVFILI) AS CDFILISERV,\n"
    "   CDFILIAL,\n"
    "   CDSERVFILI,\n"
    "   NMSERVICO\n"
    "FROM\n"
    "   SERVICO\n"
    "WHERE\n"
    "   ((CHARINDEX(CDFILIAL , :P_CDFILIAL)<> 0) OR (:P_CDFILIAL = 'T')) AND\n"
    "   (IDTIPOSERV <> 'A')\n"
    "ORDER BY\n"
    "   CDFILIAL,\n"
    "   CDSERVFILI\n";

inline const std::string kQryServiInterBase =
    "    SELECT \n"
    "      CDFILIAL||CDSERVFILI AS CDFILISERV,\n"
    "      CDFILIAL,\n"
    "      CDSERVFILI,\n"
    "      NMSERVICO\n"
    "   FROM SERVICO,\n"
    "      PARAM(:P_CDFILIAL) P_CDFILIAL, PARAM(:P_TCDFILIAL) P_TCDFILIAL\n"
    "   WHERE ((INSTR(P_CDFILIAL.PARAM,CDFILIAL) <> 0) OR (P_CDFILIAL.PARAM = 'T'))\n"
    "   ORDER BY CDFILIAL, CDSERVFILI\n";

// The query components' texts per dialect (generic, Oracle, SQL Server, InterBase).
inline pla013::host::SqlTexts filialTexts() { return {kQryFilial, kQryFilial, kQryFilial, kQryFilial}; }
inline pla013::host::SqlTexts vdFilialTexts() { return {kQryVdFilial, "", "", ""}; }
inline pla013::host::SqlTexts servicoTexts() { return {kQryServico + "\n\n", kQryServico, kQryServico, kQryServico}; }
inline pla013::host::SqlTexts vdServicoTexts() { return {kQryVdServico, kQryVdServico, kQryVdServico, kQryVdServico}; }
inline pla013::host::SqlTexts pratoTexts() { return {kQryPrato, kQryPrato, kQryPrato, kQryPrato}; }
inline pla013::host::SqlTexts centralTexts() {
    return {kQryCentral, kQryCentral, kQryCentralSqlServer, kQryCentralInterBase};
}
inline pla013::host::SqlTexts tipoCardTexts() {
    return {"", kQryTipoCardOracle, kQryTipoCardSqlServer, kQryTipoCardInterBase};
}
inline pla013::host::SqlTexts serviTexts() { return {kQryServiGeneric, "", kQryServiSqlServer, kQryServiInterBase}; }

}  // namespace lookup
