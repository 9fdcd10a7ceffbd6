#include "platform/db/DatabaseInitializer.h"

#include <fcntl.h>
#include <unistd.h>
#include <cstdint>
#include <cstdio>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "platform/db/internal/DatabaseCreation.h"
#include "platform/db/internal/EmbeddedSql.h"
#include "host/Errors.h"

namespace pla013::db {

using host::EHostError;

namespace {

namespace fs = std::filesystem;

const char* schemaFolder(DbEngine engine) { return engine == DbEngine::SQLite ? "sqlite" : "postgresql"; }

std::vector<const internal::EmbeddedSqlFile*> filesFor(DbEngine engine, bool withSampleData) {
    std::vector<const internal::EmbeddedSqlFile*> files;
    for (const char* folder : {schemaFolder(engine), "sample"}) {
        if (std::strcmp(folder, "sample") == 0 && !withSampleData) continue;
        for (const internal::EmbeddedSqlFile& file : internal::embeddedSqlFiles())
            if (std::strcmp(file.folder, folder) == 0) files.push_back(&file);
    }
    return files;
}

std::vector<internal::SqlScript> scriptsFor(DbEngine engine, bool withSampleData) {
    std::vector<internal::SqlScript> scripts;
    for (const internal::EmbeddedSqlFile* file : filesFor(engine, withSampleData))
        scripts.push_back({std::string("db/") + file->folder + "/" + file->name, std::string(file->content())});
    return scripts;
}

// A temporary file beside the target that disappears (with SQLite's side
// files) unless it was published.
class TemporaryDatabaseFile {
public:
    explicit TemporaryDatabaseFile(const fs::path& target) {
        std::string pattern = (target.parent_path() / ("." + target.filename().string() + ".tmp-XXXXXX")).string();
        const int fd = ::mkstemp(pattern.data());
        if (fd < 0)
            throw EHostError("cannot create a temporary file beside " + target.string() + ": " + std::strerror(errno));
        ::close(fd);
        m_path = pattern;
    }
    ~TemporaryDatabaseFile() {
        if (m_path.empty()) return;
        std::error_code ignored;
        for (const char* suffix : {"", "-journal", "-wal", "-shm"}) fs::remove(m_path + suffix, ignored);
    }
    TemporaryDatabaseFile(const TemporaryDatabaseFile&) = delete;
    TemporaryDatabaseFile& operator=(const TemporaryDatabaseFile&) = delete;

    const std::string& path() const { return m_path; }

    // Makes the finished file durable and gives it the target's name without
    // replacing anything but an empty file. False when another file took the
    // name first.
    bool publish(const fs::path& target) {
        const int fd = ::open(m_path.c_str(), O_RDONLY);
        if (fd >= 0) {
            ::fsync(fd);
            ::close(fd);
        }
        std::error_code error;
        // mkstemp makes the file private; a database is an ordinary file.
        fs::permissions(m_path,
                        fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read | fs::perms::others_read,
                        error);
        if (fs::exists(target, error) && fs::is_regular_file(target, error) && fs::file_size(target, error) == 0) {
            fs::rename(m_path, target, error);
            if (error) throw EHostError("cannot create " + target.string() + ": " + error.message());
        } else if (::link(m_path.c_str(), target.c_str()) != 0) {
            if (errno == EEXIST) return false;
            throw EHostError("cannot create " + target.string() + ": " + std::strerror(errno));
        }
        return true;
    }

private:
    std::string m_path;
};

void refuseExisting(const fs::path& target) {
    std::error_code error;
    if (!fs::exists(target, error)) return;
    if (!fs::is_regular_file(target, error))
        throw EHostError("cannot create the database " + target.string() + ": a folder or special file is in the way");
    if (fs::file_size(target, error) > 0)
        throw EHostError("the database " + target.string() +
                         " already exists; it is left untouched (remove it first or choose another path)");
}

}  // namespace

void internal::applyScripts(SociDatabase& database, const std::vector<SqlScript>& scripts) {
    database.transaction([&] {
        for (const SqlScript& script : scripts) database.executeScript(script.text, script.name);
    });
}

bool internal::createSqliteDatabase(const std::string& path, const std::vector<SqlScript>& scripts,
                                    bool tolerateExisting) {
    if (path.empty()) throw EHostError("no database path given");
    const fs::path target = fs::absolute(path);
    refuseExisting(target);
    std::error_code error;
    if (!fs::is_directory(target.parent_path(), error))
        throw EHostError("cannot create the database " + path + ": the folder " + target.parent_path().string() +
                         " does not exist");

    TemporaryDatabaseFile temporary(target);
    {
        SociDatabase database(temporary.path());
        try {
            applyScripts(database, scripts);
        } catch (const EHostError& e) {
            throw EHostError("cannot create the database " + path + ": " + e.what());
        }
    }
    if (temporary.publish(target)) return true;
    if (tolerateExisting) return false;
    throw EHostError("the database " + target.string() +
                     " already exists; it is left untouched (remove it first or choose another path)");
}

namespace {

void fillPostgres(const std::string& url, bool withSampleData) {
    SociDatabase database(url);
    const host::DataPacket tables =
        database.query("SELECT COUNT(*) AS N FROM information_schema.tables WHERE table_schema = current_schema()", {},
                       "initialisation");
    const std::int64_t count = tables.rows.at(0).at(0).toInt();
    if (count > 0)
        throw EHostError("the database " + database.location() + " is not empty (" + std::to_string(count) +
                         " tables); only an empty database is initialised");
    try {
        internal::applyScripts(database, scriptsFor(database.engine(), withSampleData));
    } catch (const EHostError& e) {
        throw EHostError("cannot initialise the database " + database.location() + ": " + e.what());
    }
}

}  // namespace

void initializeDatabase(const std::string& pathOrUrl, bool withSampleData) {
    if (SociDatabase::isPostgresUrl(pathOrUrl))
        fillPostgres(pathOrUrl, withSampleData);
    else
        internal::createSqliteDatabase(pathOrUrl, scriptsFor(DbEngine::SQLite, withSampleData), false);
}

std::unique_ptr<SociDatabase> openDatabase(const std::string& pathOrUrl) {
    if (SociDatabase::isPostgresUrl(pathOrUrl)) return std::make_unique<SociDatabase>(pathOrUrl);

    const std::string defaultPath = defaultDatabasePath();
    const std::string path = pathOrUrl.empty() ? defaultPath : pathOrUrl;
    std::error_code error;
    const bool isDefault =
        fs::weakly_canonical(fs::absolute(path), error) == fs::weakly_canonical(fs::absolute(defaultPath), error);
    if (isDefault && !fs::exists(path, error)) {
        fs::create_directories(fs::absolute(path).parent_path(), error);
        if (error) throw EHostError("cannot create the folder of the sample database " + path + ": " + error.message());
        internal::createSqliteDatabase(path, scriptsFor(DbEngine::SQLite, true), true);
    }
    return std::make_unique<SociDatabase>(path);
}

std::string defaultDatabasePath() {
    fs::path base;
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg != nullptr && *xdg == '/')
        base = xdg;
    else if (const char* home = std::getenv("HOME"); home != nullptr && *home == '/')
        base = fs::path(home) / ".local" / "share";
    else
        base = fs::temp_directory_path();
    // The sample database is named after the schema and sample files it was
    // built from, so that a build with other files never opens a stale one.
    std::uint64_t fingerprint = 1469598103934665603ull;  // FNV-1a
    for (const internal::EmbeddedSqlFile* file : filesFor(DbEngine::SQLite, true))
        for (char c : std::string(file->folder) + "/" + file->name + "\n" + std::string(file->content())) {
            fingerprint ^= static_cast<unsigned char>(c);
            fingerprint *= 1099511628211ull;
        }
    char hex[17];
    std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(fingerprint));
    return (base / "pla013" / ("pla013-sample-" + std::string(hex, 8) + ".sqlite")).string();
}

std::vector<std::string> databaseFiles(DbEngine engine, bool withSampleData) {
    std::vector<std::string> names;
    for (const internal::EmbeddedSqlFile* file : filesFor(engine, withSampleData))
        names.push_back(std::string(file->folder) + "/" + file->name);
    return names;
}

}  // namespace pla013::db
