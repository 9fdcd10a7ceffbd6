#include "platform/web/FilterStore.h"

#include <ctime>

#include "platform/db/SociDatabase.h"

namespace pla013::web {

using host::Variant;

namespace {
constexpr std::size_t kLongest = 4000;  // DSFILTRO's width
}

FilterStore::FilterStore(WithDatabase withDatabase) : m_withDatabase(std::move(withDatabase)) {}

std::optional<std::string> FilterStore::last(const std::string& operatorCode) const {
    std::optional<std::string> out;
    m_withDatabase([&](db::SociDatabase& db) {
        const host::DataPacket p =
            db.query("SELECT DSFILTRO FROM WEBFILTRO WHERE CDOPERADOR = :P_CDOPERADOR AND IDULTIMO = 'S'",
                     {{"P_CDOPERADOR", Variant(operatorCode)}}, "filtros do operador");
        if (!p.rows.empty() && !p.rows.front()[0].isNullOrUnassigned()) out = p.rows.front()[0].toString();
    });
    return out;
}

bool FilterStore::save(const std::string& operatorCode, const std::string& report, const std::string& filters) const {
    if (report.empty() || filters.size() > kLongest) return false;
    m_withDatabase([&](db::SociDatabase& db) {
        db.transaction([&] {
            const db::SqlParams who{{"P_CDOPERADOR", Variant(operatorCode)}};
            db.execute("UPDATE WEBFILTRO SET IDULTIMO = 'N' WHERE CDOPERADOR = :P_CDOPERADOR", who,
                       "filtros do operador");
            const db::SqlParams row{{"P_CDOPERADOR", Variant(operatorCode)},
                                    {"P_NMRELATORIO", Variant(report)},
                                    {"P_DSFILTRO", Variant(filters)},
                                    {"P_DTGRAVACAO", Variant(std::int64_t(std::time(nullptr)))}};
            db.execute("DELETE FROM WEBFILTRO WHERE CDOPERADOR = :P_CDOPERADOR AND NMRELATORIO = :P_NMRELATORIO", row,
                       "filtros do operador");
            db.execute(
                "INSERT INTO WEBFILTRO (CDOPERADOR, NMRELATORIO, DSFILTRO, IDULTIMO, DTGRAVACAO) "
                "VALUES (:P_CDOPERADOR, :P_NMRELATORIO, :P_DSFILTRO, 'S', :P_DTGRAVACAO)",
                row, "filtros do operador");
        });
    });
    return true;
}

void FilterStore::forget(const std::string& operatorCode, const std::string& report) const {
    m_withDatabase([&](db::SociDatabase& db) {
        db.execute("DELETE FROM WEBFILTRO WHERE CDOPERADOR = :P_CDOPERADOR AND NMRELATORIO = :P_NMRELATORIO",
                   {{"P_CDOPERADOR", Variant(operatorCode)}, {"P_NMRELATORIO", Variant(report)}},
                   "filtros do operador");
    });
}

}  // namespace pla013::web
