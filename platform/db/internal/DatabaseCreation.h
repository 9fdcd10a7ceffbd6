#pragma once
// The steps of DatabaseInitializer, open to tests that need to feed them
// scripts of their own (e.g. one that fails half-way).

#include <string>
#include <vector>

namespace pla013::db {
class SociDatabase;
}

namespace pla013::db::internal {

struct SqlScript {
    std::string name;  // for messages, e.g. "db/sqlite/10-catering.sql"
    std::string text;
};

// Runs the scripts in order inside one transaction.
void applyScripts(SociDatabase& database, const std::vector<SqlScript>& scripts);

// Creates a new SQLite database at path from the scripts: built under a
// temporary name beside it and published only when complete; an existing
// non-empty file is refused. Returns false when tolerateExisting and another
// process published the file first; that case throws otherwise.
bool createSqliteDatabase(const std::string& path, const std::vector<SqlScript>& scripts, bool tolerateExisting);

}  // namespace pla013::db::internal
