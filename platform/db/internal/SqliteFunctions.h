#pragma once
// Oracle functions that the lookup texts use and SQLite lacks.

namespace soci {
class session;
}

namespace pla013::db::internal {

// Registers on the session's SQLite connection:
//   NVL(a, b)    a unless it is NULL, else b;
//   NVLSTR(a, b) like NVL, and an empty text counts as NULL too.
// INSTR is built into SQLite. Throws EHostError when registration fails.
void registerSqliteFunctions(soci::session& session);

}  // namespace pla013::db::internal
