#pragma once
// The statements of a definition only read ("Data" in docs/report-format.md):
// a text the runner will send to the database is one query, SELECT or WITH,
// naming no statement that writes, changes the schema, attaches files or
// changes the engine's settings. The database port runs them read-only all
// the same (host::IDatabase::RunReadOnly); this check refuses such a text
// when the definition is read, with a message the author can act on.

#include <string>

namespace pla013::reports::internal {

// std::invalid_argument with the reason in Portuguese (the word found and
// the line of the text where it is) when sql is not a single read-only
// query. Literals ('...', E'...', $tag$...$tag$), quoted identifiers ("...",
// `...`, [...]) and comments are not read as SQL, as each engine reads them:
// the text must pass as SQLite, PostgreSQL and Firebird read it (q'{...}'
// is a literal to Firebird only). GEN_ID and NEXT VALUE (Firebird's
// sequences, which move even in a read-only transaction) are refused too.
void checkReadOnlyQuery(const std::string& sql);

}  // namespace pla013::reports::internal
