#pragma once
// What the web host remembers for each operator (WEBFILTRO): the filters of
// each report as the operator left them, and which report was chosen last.
// Kept in the catering database, so that every web host over one database
// opens the form the same way, and a host that dies loses nothing of it.
//
// The filters travel as the driver's JSON ({"report": NAME, "filters":
// [[CONTROL, VALUE], ...]}); the store does not read them.

#include <functional>
#include <optional>
#include <string>

namespace pla013::db {
class SociDatabase;
}

namespace pla013::web {

class FilterStore {
public:
    // Runs work on a database session of its own (one leased from a pool).
    using WithDatabase = std::function<void(const std::function<void(db::SociDatabase&)>&)>;
    explicit FilterStore(WithDatabase withDatabase);

    // The filters of the report the operator chose last; nothing when none.
    std::optional<std::string> last(const std::string& operatorCode) const;
    // Keeps the report's filters and makes it the operator's last report.
    // A filter text over 4000 bytes is not kept (false).
    bool save(const std::string& operatorCode, const std::string& report, const std::string& filters) const;
    // Forgets the report's filters ("Limpar filtros"): the form opens as
    // designed next time.
    void forget(const std::string& operatorCode, const std::string& report) const;

private:
    WithDatabase m_withDatabase;
};

}  // namespace pla013::web
