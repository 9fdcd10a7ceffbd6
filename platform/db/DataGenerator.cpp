#include "platform/db/DataGenerator.h"

#include <stdexcept>

#include "platform/db/SociDatabase.h"
#include "platform/db/internal/DatabaseCreation.h"
#include "platform/db/internal/Generator.h"

namespace pla013::db {

void checkGeneratorOptions(const GeneratorOptions& options) {
    auto check = [](int value, int low, int high, const char* option, const char* what) {
        if (value < low || value > high)
            throw std::invalid_argument(std::string(option) + " é o número de " + what + ", de " + std::to_string(low) +
                                        " a " + std::to_string(high) + ", não " + std::to_string(value) + ".");
    };
    check(options.dishes, 1, 1000000, "--dishes", "pratos");
    check(options.branches, 2, 9999, "--branches", "filiais");
    check(options.services, 1, 99, "--services", "serviços por filial");
    check(options.months, 1, 120, "--months", "meses de cardápios");
}

GeneratedRows generateDatabase(const std::string& pathOrUrl, const GeneratorOptions& options) {
    checkGeneratorOptions(options);
    GeneratedRows rows;
    const internal::Filler fill = [&](SociDatabase& db) {
        if (db.engine() == DbEngine::SQLite) {
            // The file is new and published only when complete (and flushed
            // to disk then): no journal file and no sync while it is built.
            db.query("PRAGMA journal_mode = MEMORY", {}, "PRAGMA journal_mode");
            db.execute("PRAGMA synchronous = OFF", {}, "PRAGMA synchronous");
            db.execute("PRAGMA cache_size = -131072", {}, "PRAGMA cache_size");
        }
        internal::applySchemaAndData(db, internal::scriptsFor(db.engine(), false), [&] {
            rows = internal::Generator(db, options).run();
            // Firebird's statistics are computed by applySchemaAndData.
            if (db.engine() != DbEngine::Firebird) db.execute("ANALYZE", {}, "ANALYZE");
        });
    };
    if (SociDatabase::isFirebirdUrl(pathOrUrl))
        internal::fillFirebirdDatabase(pathOrUrl, fill);
    else if (SociDatabase::isPostgresUrl(pathOrUrl))
        internal::fillPostgresDatabase(pathOrUrl, fill);
    else
        internal::createSqliteDatabase(pathOrUrl, fill, false);
    return rows;
}

}  // namespace pla013::db
