#pragma once
// The steps of DatabaseInitializer, open to tests that need to feed them
// scripts of their own (e.g. one that fails half-way).

#include <functional>
#include <string>
#include <vector>

namespace pla013::db {
class SociDatabase;
enum class DbEngine;
}  // namespace pla013::db

namespace pla013::db::internal {

struct SqlScript {
    std::string name;  // for messages, e.g. "db/sqlite/10-catering.sql"
    std::string text;
};

// The compiled-in files of an engine's schema, then those of the sample data
// when withSampleData, in the order they are applied.
std::vector<SqlScript> scriptsFor(DbEngine engine, bool withSampleData);

// Fills a new database. It runs inside no transaction of its own: it opens
// one (SociDatabase::transaction) around everything it writes.
using Filler = std::function<void(SociDatabase&)>;

// Runs the scripts in order inside one transaction.
void applyScripts(SociDatabase& database, const std::vector<SqlScript>& scripts);

// Creates a new SQLite database at path from the scripts: built under a
// temporary name beside it and published only when complete; an existing
// non-empty file is refused. Returns false when tolerateExisting and another
// process published the file first; that case throws otherwise.
bool createSqliteDatabase(const std::string& path, const std::vector<SqlScript>& scripts, bool tolerateExisting);
// The same with any filler; a failure of fill removes the temporary file.
bool createSqliteDatabase(const std::string& path, const Filler& fill, bool tolerateExisting);

// Fills the existing PostgreSQL database at url, which must have no tables
// (EHostError otherwise). fill works in one transaction, so a failure leaves
// the database as it was.
void fillPostgresDatabase(const std::string& url, const Filler& fill);

// Creates the Firebird database the URL names (refused when it exists) and
// fills it; a failure of fill drops the database again.
void fillFirebirdDatabase(const std::string& url, const Filler& fill);

// Applies the schema scripts and runs fillData (the rows), as the engine
// allows: one transaction around everything on SQLite and PostgreSQL; on
// Firebird, whose tables exist only once their statements commit, the
// schema committed first, the rows in one transaction, then the index
// statistics computed again.
void applySchemaAndData(SociDatabase& database, const std::vector<SqlScript>& schema,
                        const std::function<void()>& fillData);

}  // namespace pla013::db::internal
