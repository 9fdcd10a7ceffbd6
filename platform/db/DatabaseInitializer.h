#pragma once
// Creating catering databases from the schema and sample files that are
// compiled into this library (the repository's db/ folder), and opening the
// database the hosts are pointed at.

#include <memory>
#include <string>
#include <vector>

#include "platform/db/SociDatabase.h"

namespace pla013::db {

// Creates a catering database: every schema file of the engine
// (db/sqlite/*.sql, db/postgresql/*.sql or db/firebird/*.sql) in name order, then, when
// withSampleData, every file of db/sample/ in name order, all in one
// transaction.
//
// A path creates a new SQLite file. An existing non-empty file is never
// touched (EHostError); the folder must exist. The database is built under a
// temporary name in the same folder and moved into place only when complete,
// so a failure leaves no file behind.
//
// A postgresql:// URL fills an existing database that has no tables yet; a
// database with tables is refused. A failure rolls everything back.
//
// A firebird:// URL creates the database it names (an existing one is
// refused) with db/firebird/*.sql and the same sample files; a failure drops
// it again.
void initializeDatabase(const std::string& pathOrUrl, bool withSampleData);

// Opens the database at pathOrUrl. An empty text means the default sample
// database, defaultDatabasePath(); that one (and only that one) is created
// with the sample data when it does not exist yet, also when two processes
// ask at once.
std::unique_ptr<SociDatabase> openDatabase(const std::string& pathOrUrl);

// Where the default sample database lives:
// $XDG_DATA_HOME/pla013/pla013-sample-XXXXXXXX.sqlite, else the same under
// $HOME/.local/share, else under the temporary folder; XXXXXXXX is a
// fingerprint of the compiled-in schema and sample files, so that a build
// with other files creates a new sample instead of opening a stale one.
std::string defaultDatabasePath();

// Names of the compiled-in files applied for an engine, in order, as
// "sqlite/10-catering.sql", "sample/10-catering.sql"...
std::vector<std::string> databaseFiles(DbEngine engine, bool withSampleData);

}  // namespace pla013::db
