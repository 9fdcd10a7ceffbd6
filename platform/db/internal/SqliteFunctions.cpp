#include "platform/db/internal/SqliteFunctions.h"

#include <soci/soci.h>
#include <soci/sqlite3/soci-sqlite3.h>

#include <string>

#include "host/Errors.h"

namespace pla013::db::internal {

namespace {

using sqlite_api::sqlite3_context;
using sqlite_api::sqlite3_value;

bool isNull(sqlite3_value* value) { return sqlite_api::sqlite3_value_type(value) == SQLITE_NULL; }

void nvl(sqlite3_context* context, int, sqlite3_value** argv) {
    sqlite_api::sqlite3_result_value(context, isNull(argv[0]) ? argv[1] : argv[0]);
}

void nvlstr(sqlite3_context* context, int, sqlite3_value** argv) {
    const bool empty = isNull(argv[0]) || (sqlite_api::sqlite3_value_type(argv[0]) == SQLITE_TEXT &&
                                           sqlite_api::sqlite3_value_bytes(argv[0]) == 0);
    sqlite_api::sqlite3_result_value(context, empty ? argv[1] : argv[0]);
}

void define(sqlite_api::sqlite3* connection, const char* name,
            void (*function)(sqlite3_context*, int, sqlite3_value**)) {
    const int rc = sqlite_api::sqlite3_create_function_v2(connection, name, 2, SQLITE_UTF8 | SQLITE_DETERMINISTIC,
                                                          nullptr, function, nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK)
        throw host::EHostError(std::string("SQLite: não foi possível registrar a função ") + name + ": " +
                               sqlite_api::sqlite3_errstr(rc));
}

}  // namespace

void registerSqliteFunctions(soci::session& session) {
    // SOCI does not export its backends' type information: check by name.
    if (session.get_backend_name() != "sqlite3") throw host::EHostError("SQLite: a sessão não é uma conexão SQLite.");
    auto* backend = static_cast<soci::sqlite3_session_backend*>(session.get_backend());
    if (backend == nullptr || backend->conn_ == nullptr)
        throw host::EHostError("SQLite: a sessão não tem conexão SQLite.");
    define(backend->conn_, "NVL", &nvl);
    define(backend->conn_, "NVLSTR", &nvlstr);
}

}  // namespace pla013::db::internal
