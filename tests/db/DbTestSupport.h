#pragma once
// Real databases for the tests: a fresh SQLite file in a temporary folder per
// test, or a fresh schema on the PostgreSQL server named by the environment
// variable PLA013_TEST_PG_URL.

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

// A catering database built by the initializer, gone at the end of the test.
class ScratchDatabase {
public:
    // For PostgreSQL the caller checks postgresTestUrl() first.
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
    std::unique_ptr<pla013::db::SociDatabase> m_db;
};

const char* engineName(pla013::db::DbEngine engine);

}  // namespace dbtest
