#include "DbTestSupport.h"

#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <stdexcept>

#include "platform/db/DatabaseInitializer.h"
#include "platform/db/internal/Firebird.h"

namespace fs = std::filesystem;

namespace dbtest {

std::optional<std::string> postgresTestUrl() {
    const char* url = std::getenv("PLA013_TEST_PG_URL");
    if (url == nullptr || *url == '\0') return std::nullopt;
    return std::string(url);
}

std::optional<std::string> firebirdTestUrl() {
    const char* url = std::getenv("PLA013_TEST_FB_URL");
    if (url == nullptr || *url == '\0') return std::nullopt;
    return std::string(url);
}

std::optional<std::string> unavailable(pla013::db::DbEngine engine) {
    if (engine == pla013::db::DbEngine::PostgreSQL && !postgresTestUrl()) return "PLA013_TEST_PG_URL is not set";
    if (engine == pla013::db::DbEngine::Firebird && !firebirdTestUrl()) return "PLA013_TEST_FB_URL is not set";
    return std::nullopt;
}

std::string firebirdScratchUrl(const std::string& name) {
    const std::string url = firebirdTestUrl().value();
    return url.substr(0, url.rfind('/') + 1) + name;
}

const char* engineName(pla013::db::DbEngine engine) {
    switch (engine) {
        case pla013::db::DbEngine::SQLite: return "SQLite";
        case pla013::db::DbEngine::PostgreSQL: return "PostgreSQL";
        case pla013::db::DbEngine::Firebird: return "Firebird";
    }
    return "?";
}

ScratchDatabase::ScratchDatabase(pla013::db::DbEngine engine, bool withSampleData)
    : ScratchDatabase(engine, [withSampleData](const std::string& location) {
          pla013::db::initializeDatabase(location, withSampleData);
      }) {}

ScratchDatabase::ScratchDatabase(pla013::db::DbEngine engine, const std::function<void(const std::string&)>& create) {
    static std::atomic<int> counter{0};
    if (engine == pla013::db::DbEngine::SQLite) {
        m_location = m_dir.file("catering.sqlite");
    } else if (engine == pla013::db::DbEngine::Firebird) {
        // A database of its own beside the configured one, made by create.
        m_location =
            firebirdScratchUrl("pla013_test_" + std::to_string(::getpid()) + "_" + std::to_string(counter++) + ".fdb");
        m_dropFirebird = true;
    } else {
        // A schema of its own on the shared server, first on the search path,
        // so that the initializer sees an empty database.
        const std::string url = postgresTestUrl().value();
        m_schema = "pla013_test_" + std::to_string(::getpid()) + "_" + std::to_string(counter++);
        pla013::db::SociDatabase admin(url);
        admin.execute("DROP SCHEMA IF EXISTS " + m_schema + " CASCADE");
        admin.execute("CREATE SCHEMA " + m_schema);
        m_location = url + (url.find('?') == std::string::npos ? "?" : "&") + "options=-csearch_path%3D" + m_schema;
    }
    create(m_location);
    m_db = std::make_unique<pla013::db::SociDatabase>(m_location);
}

ScratchDatabase::~ScratchDatabase() {
    m_db.reset();
    if (m_dropFirebird) {
        try {
            pla013::db::internal::dropFirebirdDatabase(pla013::db::internal::parseFirebirdUrl(m_location));
        } catch (...) {
            // A database left behind only costs space in the test folder.
        }
        return;
    }
    if (m_schema.empty()) return;
    try {
        pla013::db::SociDatabase admin(postgresTestUrl().value());
        admin.execute("DROP SCHEMA IF EXISTS " + m_schema + " CASCADE");
    } catch (...) {
        // A schema left behind only costs space on the test server.
    }
}

}  // namespace dbtest
