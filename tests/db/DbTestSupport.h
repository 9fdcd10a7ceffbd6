#pragma once
// Real databases for the tests: a fresh SQLite file in a temporary folder per
// test, a fresh schema on the PostgreSQL server named by the environment
// variable PLA013_TEST_PG_URL, or a fresh database beside the Firebird one
// named by PLA013_TEST_FB_URL.

#include <filesystem>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include "TempDir.h"

#include "platform/db/SociDatabase.h"

namespace dbtest {

using TempDir = pla013test::TempDir;

// The PostgreSQL server for the tests, when one is configured.
std::optional<std::string> postgresTestUrl();
// The Firebird database for the tests, when one is configured; scratch
// databases are made in its folder.
std::optional<std::string> firebirdTestUrl();
// Why the tests of an engine cannot run here (its server is not
// configured), or nothing when they can.
std::optional<std::string> unavailable(pla013::db::DbEngine engine);
// The URL of another database in the folder of the Firebird test database.
std::string firebirdScratchUrl(const std::string& name);

// A catering database built by the initializer, gone at the end of the test.
class ScratchDatabase {
public:
    // For PostgreSQL and Firebird the caller checks unavailable() first.
    ScratchDatabase(pla013::db::DbEngine engine, bool withSampleData);
    // The same, created by create(location) instead of the initializer.
    ScratchDatabase(pla013::db::DbEngine engine, const std::function<void(const std::string&)>& create);
    ~ScratchDatabase();
    ScratchDatabase(const ScratchDatabase&) = delete;
    ScratchDatabase& operator=(const ScratchDatabase&) = delete;

    pla013::db::SociDatabase& db() { return *m_db; }
    const std::string& location() const { return m_location; }

private:
    TempDir m_dir;
    std::string m_location;
    std::string m_schema;  // PostgreSQL only
    bool m_dropFirebird = false;
    std::unique_ptr<pla013::db::SociDatabase> m_db;
};

const char* engineName(pla013::db::DbEngine engine);

}  // namespace dbtest
