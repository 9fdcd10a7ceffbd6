#include "platform/db/DatabaseInitializer.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <stdexcept>

#include "host/Errors.h"
#include "platform/db/internal/DatabaseCreation.h"
#include "platform/db/internal/EmbeddedSql.h"
#include "platform/db/internal/Firebird.h"
#include "platform/files/AtomicFile.h"

namespace pla013::db {

using host::EHostError;

namespace {

namespace fs = std::filesystem;

const char* schemaFolder(DbEngine engine) {
    switch (engine) {
        case DbEngine::SQLite: return "sqlite";
        case DbEngine::PostgreSQL: return "postgresql";
        case DbEngine::Firebird: return "firebird";
    }
    return "sqlite";
}

std::vector<const internal::EmbeddedSqlFile*> filesFor(DbEngine engine, bool withSampleData) {
    std::vector<const internal::EmbeddedSqlFile*> files;
    for (const char* folder : {schemaFolder(engine), "sample"}) {
        if (std::strcmp(folder, "sample") == 0 && !withSampleData) continue;
        for (const internal::EmbeddedSqlFile& file : internal::embeddedSqlFiles())
            if (std::strcmp(file.folder, folder) == 0) files.push_back(&file);
    }
    return files;
}

// SQLite's side files of the temporary database, removed with it when the
// creation fails.
class SideFiles {
public:
    explicit SideFiles(std::string database) : m_database(std::move(database)) {}
    ~SideFiles() {
        std::error_code ignored;
        for (const char* suffix : {"-journal", "-wal", "-shm"}) fs::remove(m_database + suffix, ignored);
    }
    SideFiles(const SideFiles&) = delete;
    SideFiles& operator=(const SideFiles&) = delete;

private:
    std::string m_database;
};

void refuseExisting(const fs::path& target) {
    std::error_code error;
    if (!fs::exists(target, error)) return;
    if (!fs::is_regular_file(target, error))
        throw EHostError("Não foi possível criar o banco de dados " + target.string() +
                         ": há uma pasta ou arquivo especial com esse nome.");
    if (fs::file_size(target, error) > 0)
        throw EHostError("O banco de dados " + target.string() +
                         " já existe e foi mantido como está (remova-o antes ou escolha outro caminho).");
}

}  // namespace

std::vector<internal::SqlScript> internal::scriptsFor(DbEngine engine, bool withSampleData) {
    std::vector<SqlScript> scripts;
    for (const EmbeddedSqlFile* file : filesFor(engine, withSampleData))
        scripts.push_back({std::string("db/") + file->folder + "/" + file->name, std::string(file->content())});
    return scripts;
}

void internal::applyScripts(SociDatabase& database, const std::vector<SqlScript>& scripts) {
    database.transaction([&] {
        for (const SqlScript& script : scripts) database.executeScript(script.text, script.name);
    });
}

bool internal::createSqliteDatabase(const std::string& path, const std::vector<SqlScript>& scripts,
                                    bool tolerateExisting) {
    return createSqliteDatabase(
        path, [&scripts](SociDatabase& database) { applyScripts(database, scripts); }, tolerateExisting);
}

bool internal::createSqliteDatabase(const std::string& path, const Filler& fill, bool tolerateExisting) {
    if (path.empty()) throw EHostError("Nenhum caminho de banco de dados informado.");
    const fs::path target = fs::absolute(path);
    refuseExisting(target);
    std::error_code error;
    if (!fs::is_directory(target.parent_path(), error))
        throw EHostError("Não foi possível criar o banco de dados " + path + ": a pasta " +
                         target.parent_path().string() + " não existe.");

    // Built under a temporary name and published without replacing anything
    // but an empty file.
    std::optional<files::AtomicFile> temporary;
    try {
        temporary.emplace(target.string(), files::AtomicFile::Existing::KeepUnlessEmpty);
    } catch (const files::AtomicFile::Error& e) {
        throw EHostError("Não foi possível criar um arquivo temporário ao lado de " + target.string() + ": " +
                         e.code().message());
    }
    const SideFiles sideFiles(temporary->tempPath());
    {
        SociDatabase database(temporary->tempPath());
        try {
            fill(database);
        } catch (const EHostError& e) {
            throw EHostError("Não foi possível criar o banco de dados " + path + ": " + e.what());
        }
    }
    try {
        if (temporary->commit()) return true;
    } catch (const files::AtomicFile::Error& e) {
        throw EHostError("Não foi possível criar " + target.string() + ": " + e.code().message());
    }
    if (tolerateExisting) return false;
    throw EHostError("O banco de dados " + target.string() +
                     " já existe e foi mantido como está (remova-o antes ou escolha outro caminho).");
}

void internal::fillPostgresDatabase(const std::string& url, const Filler& fill) {
    SociDatabase database(url);
    const host::DataPacket tables =
        database.query("SELECT COUNT(*) AS N FROM information_schema.tables WHERE table_schema = current_schema()", {},
                       "initialisation");
    const std::int64_t count = tables.rows.at(0).at(0).toInt();
    if (count > 0)
        throw EHostError("O banco de dados " + database.location() + " não está vazio (" + std::to_string(count) +
                         " tabelas); só um banco vazio é inicializado.");
    try {
        fill(database);
    } catch (const EHostError& e) {
        throw EHostError("Não foi possível inicializar o banco de dados " + database.location() + ": " + e.what());
    }
}

void internal::applySchemaAndData(SociDatabase& database, const std::vector<SqlScript>& schema,
                                  const std::function<void()>& fillData) {
    if (database.engine() != DbEngine::Firebird) {
        database.transaction([&] {
            for (const SqlScript& script : schema) database.executeScript(script.text, script.name);
            fillData();
        });
        return;
    }
    // Firebird makes the tables when their statements commit: the schema is
    // committed statement by statement, then the rows go in one transaction.
    // The database is new and dropped when this fails.
    for (const SqlScript& script : schema) database.executeScript(script.text, script.name);
    database.transaction(fillData);
    // The optimizer reads index selectivity computed when the index was
    // made, on empty tables: computed again now that the rows are in.
    const host::DataPacket indexes = database.query(
        "SELECT TRIM(RDB$INDEX_NAME) AS NMINDICE FROM RDB$INDICES WHERE COALESCE(RDB$SYSTEM_FLAG, 0) = 0", {},
        "SET STATISTICS");
    for (const auto& row : indexes.rows)
        database.executeScript("SET STATISTICS INDEX " + row.at(0).toString(), "SET STATISTICS");
}

void internal::fillFirebirdDatabase(const std::string& url, const Filler& fill) {
    internal::FirebirdTarget target;
    try {
        target = internal::parseFirebirdUrl(url);
    } catch (const std::invalid_argument& e) {
        throw EHostError(std::string("Endereço de banco de dados inválido: ") + e.what() + ".");
    }
    internal::createFirebirdDatabase(target);
    try {
        SociDatabase database(url);
        fill(database);
    } catch (const EHostError& e) {
        try {
            internal::dropFirebirdDatabase(target);
        } catch (...) {
            // The first error is the one to report.
        }
        throw EHostError("Não foi possível criar o banco de dados " + target.database + ": " + e.what());
    }
}

void initializeDatabase(const std::string& pathOrUrl, bool withSampleData) {
    if (SociDatabase::isFirebirdUrl(pathOrUrl)) {
        internal::fillFirebirdDatabase(pathOrUrl, [withSampleData](SociDatabase& database) {
            const std::vector<internal::SqlScript> sample =
                withSampleData ? internal::scriptsFor(DbEngine::SQLite, true) : std::vector<internal::SqlScript>{};
            internal::applySchemaAndData(database, internal::scriptsFor(DbEngine::Firebird, false), [&] {
                for (const internal::SqlScript& script : sample)
                    if (script.name.rfind("db/sample/", 0) == 0) database.executeScript(script.text, script.name);
            });
        });
        return;
    }
    if (SociDatabase::isPostgresUrl(pathOrUrl)) {
        internal::fillPostgresDatabase(pathOrUrl, [withSampleData](SociDatabase& database) {
            internal::applyScripts(database, internal::scriptsFor(database.engine(), withSampleData));
        });
    } else {
        internal::createSqliteDatabase(pathOrUrl, internal::scriptsFor(DbEngine::SQLite, withSampleData), false);
    }
}

std::unique_ptr<SociDatabase> openDatabase(const std::string& pathOrUrl) {
    if (SociDatabase::isPostgresUrl(pathOrUrl) || SociDatabase::isFirebirdUrl(pathOrUrl))
        return std::make_unique<SociDatabase>(pathOrUrl);

    const std::string defaultPath = defaultDatabasePath();
    const std::string path = pathOrUrl.empty() ? defaultPath : pathOrUrl;
    std::error_code error;
    const bool isDefault =
        fs::weakly_canonical(fs::absolute(path), error) == fs::weakly_canonical(fs::absolute(defaultPath), error);
    if (isDefault && !fs::exists(path, error)) {
        fs::create_directories(fs::absolute(path).parent_path(), error);
        if (error)
            throw EHostError("Não foi possível criar a pasta do banco de dados de exemplo " + path + ": " +
                             error.message());
        internal::createSqliteDatabase(path, internal::scriptsFor(DbEngine::SQLite, true), true);
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
