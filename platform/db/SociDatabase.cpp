#include "platform/db/SociDatabase.h"

#include <soci/firebird/soci-firebird.h>
#include <soci/postgresql/soci-postgresql.h>
#include <soci/soci.h>
#include <soci/sqlite3/soci-sqlite3.h>

#include <poll.h>

#include <atomic>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <memory>
#include <optional>
#include <unordered_map>

#include "host/Errors.h"
#include "platform/db/internal/Firebird.h"
#include "platform/db/internal/SqlText.h"
#include "platform/db/internal/SqliteFunctions.h"

namespace pla013::db {

using host::DataPacket;
using host::EHostError;
using host::FieldType;
using host::Variant;

namespace {

namespace fs = std::filesystem;

// PostgreSQL type ids of the character types whose width PQfmod tells.
constexpr unsigned kBpcharOid = 1042;
constexpr unsigned kVarcharOid = 1043;

bool startsWith(const std::string& text, const char* prefix) { return text.rfind(prefix, 0) == 0; }

std::string maskPassword(const std::string& url) {
    const std::size_t scheme = url.find("://");
    if (scheme == std::string::npos) return url;
    const std::size_t start = scheme + 3;
    const std::size_t end = url.find_first_of("/?", start);
    const std::size_t at = url.rfind('@', end == std::string::npos ? url.size() : end);
    if (at == std::string::npos || at < start) return url;
    const std::size_t colon = url.find(':', start);
    if (colon == std::string::npos || colon > at) return url;
    return url.substr(0, colon + 1) + "***" + url.substr(at);
}

std::string withConnectTimeout(const std::string& url) {
    if (url.find("connect_timeout=") != std::string::npos) return url;
    return url + (url.find('?') == std::string::npos ? "?" : "&") + "connect_timeout=10";
}

// "VARCHAR(30)" -> 30; 0 when the declaration carries no width.
int declaredWidth(const char* declType) {
    if (declType == nullptr) return 0;
    const std::string text = internal::toUpperAscii(declType);
    if (text.find("CHAR") == std::string::npos && text.find("TEXT") == std::string::npos) return 0;
    const std::size_t open = text.find('(');
    if (open == std::string::npos) return 0;
    return std::atoi(text.c_str() + open + 1);
}

host::TDateTime toDateTime(const std::tm& t) {
    const host::TDateTime day = host::EncodeDate(t.tm_year + 1900, t.tm_mon + 1, t.tm_mday);
    const double seconds = t.tm_hour * 3600.0 + t.tm_min * 60.0 + t.tm_sec;
    return day + seconds / 86400.0;
}

std::string dateToText(host::TDateTime value) {
    std::string text = host::DateToIso(value);
    double seconds = std::round((value - std::floor(value)) * 86400.0);
    if (seconds >= 1.0 && seconds < 86400.0) {
        const int s = int(seconds);
        char clock[32];
        std::snprintf(clock, sizeof clock, " %02d:%02d:%02d", s / 3600, s / 60 % 60, s % 60);
        text += clock;
    }
    return text;
}

std::optional<std::int64_t> parseInteger(const std::string& text) {
    if (text.empty()) return std::nullopt;
    errno = 0;
    char* end = nullptr;
    const long long value = std::strtoll(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0') return std::nullopt;
    return std::int64_t(value);
}

std::optional<double> parseReal(const std::string& text) {
    if (text.empty()) return std::nullopt;
    errno = 0;
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (errno != 0 || *end != '\0') return std::nullopt;
    return value;
}

std::atomic<std::uint64_t> g_statementsRun{0};

// One bound parameter. The statement keeps references to these members until
// it has run, so a binding never moves once bound.
struct Binding {
    std::string name;  // as spelled in the SQL text
    std::string text;
    long long integer = 0;
    double real = 0;
    soci::indicator indicator = soci::i_ok;
    enum class Kind { Text, Integer, Real } kind = Kind::Text;

    // By name, or by position when the name is empty (Firebird).
    void bindTo(soci::statement& statement) {
        if (name.empty()) {
            switch (kind) {
                case Kind::Text: statement.exchange(soci::use(text, indicator)); break;
                case Kind::Integer: statement.exchange(soci::use(integer, indicator)); break;
                case Kind::Real: statement.exchange(soci::use(real, indicator)); break;
            }
            return;
        }
        switch (kind) {
            case Kind::Text: statement.exchange(soci::use(text, indicator, name)); break;
            case Kind::Integer: statement.exchange(soci::use(integer, indicator, name)); break;
            case Kind::Real: statement.exchange(soci::use(real, indicator, name)); break;
        }
    }
};

// How one result column becomes a packet field.
struct Column {
    soci::data_type sociType = soci::dt_string;
    // SQLite column without a declared type: the field type comes from the
    // first row; if a later value does not fit it, the column falls back to
    // text and raw keeps what is needed for that.
    bool inferred = false;
    std::vector<std::string> raw;
    // Firebird CHAR: values padded with blanks to the column's width.
    bool padded = false;
};

// Lets a statement select, read columns and call functions, nothing else.
int readOnlyAuthorizer(void*, int action, const char*, const char*, const char*, const char*) {
    switch (action) {
        case SQLITE_SELECT:
        case SQLITE_READ:
        case SQLITE_FUNCTION:
        case SQLITE_RECURSIVE: return SQLITE_OK;
        default: return SQLITE_DENY;
    }
}

// A query kept prepared on a PostgreSQL session: parsed and planned once,
// then run with new values. The bindings keep their addresses for the
// statement's life.
struct PreparedQuery {
    soci::statement statement;
    soci::row row;
    std::vector<Binding> bound;
    explicit PreparedQuery(soci::session& session) : statement(session) {}
};

// The bound kinds are part of the key: the statement is bound by type.
std::string preparedKey(const std::string& sql, const std::vector<Binding>& bound) {
    std::string key = sql;
    key += '\x1f';
    for (const Binding& binding : bound) key += char('0' + int(binding.kind));
    return key;
}

constexpr std::size_t kPreparedLimit = 64;

// PostgreSQL type ids of the texts without a declared width.
constexpr unsigned kTextOid = 25;

// Cuts text to at most `characters` UTF-8 characters, on a character
// boundary.
void cutToCharacters(std::string& text, std::size_t characters) {
    if (text.size() <= characters) return;
    std::size_t seen = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) continue;  // inside a character
        if (seen++ == characters) {
            text.resize(i);
            return;
        }
    }
}

// A query as the inside of FROM (...): without comments (a last line
// comment would hide the closing parenthesis) nor a final ';'.
std::string asSubquery(const std::string& sql) {
    std::string inner = internal::withoutComments(sql);
    while (!inner.empty() && (std::isspace(static_cast<unsigned char>(inner.back())) || inner.back() == ';'))
        inner.pop_back();
    return inner;
}

std::string quotedName(const std::string& name) {
    std::string out = "\"";
    for (const char c : name) out += c == '"' ? std::string("\"\"") : std::string(1, c);
    return out + "\"";
}

// What a PostgreSQL connection says outside any statement. A server that
// ends the session (a restart, pg_terminate_backend) says FATAL before it
// closes; libpq takes that as a notice on an idle connection. Other notices
// go where they went before.
struct NoticeWatch {
    PQnoticeReceiver previous = nullptr;
    void* previousArg = nullptr;
    bool sessionEnded = false;
};

extern "C" void noticeReceived(void* arg, const PGresult* result) {
    auto* watch = static_cast<NoticeWatch*>(arg);
    const char* severity = PQresultErrorField(result, PG_DIAG_SEVERITY_NONLOCALIZED);
    if (severity != nullptr && (std::string(severity) == "FATAL" || std::string(severity) == "PANIC")) {
        watch->sessionEnded = true;
        return;
    }
    if (watch->previous != nullptr) watch->previous(watch->previousArg, result);
}

// How a query's texts are cut as they are read (host::QueryRequest).
struct TextCap {
    std::size_t characters = 0;
    const std::vector<std::string>* whole = nullptr;

    bool keepsWhole(const std::string& field) const {
        if (whole == nullptr) return false;
        for (const std::string& name : *whole)
            if (internal::equalsIgnoreCase(name, field)) return true;
        return false;
    }
};

}  // namespace

struct SociDatabase::Impl {
    DbEngine engine = DbEngine::SQLite;
    std::string location;
    std::string target;
    soci::session session;
    int transactionDepth = 0;
    int readOnlyDepth = 0;
    bool emptyTextIsNull = true;
    std::chrono::milliseconds readOnlyTimeout{0};
    // Set when RunStoppable asked the server to cancel, so that the
    // cancellation is not taken for the timeout (both are SQLSTATE 57014).
    std::atomic<bool> cancelSent{false};
    NoticeWatch notices;  // PostgreSQL
    // After the session, so the statements are deallocated while it is open.
    std::unordered_map<std::string, std::unique_ptr<PreparedQuery>> prepared;

    [[noreturn]] void fail(const std::string& name, const std::string& message) const {
        throw EHostError(name + ": " + message);
    }
    [[noreturn]] void failStatement(const std::string& name, const std::exception& error) const;

    std::vector<Binding> bindings(const std::string& sql, const SqlParams& params, const std::string& name) const;
    void prepare(soci::statement& statement, std::vector<Binding>& bound, const std::string& sql);
    DataPacket run(const std::string& sql, const SqlParams& params, const std::string& name, const TextCap* cap);
    DataPacket runPrepared(const std::string& sql, std::vector<Binding>& bound, const TextCap* cap);
    DataPacket fetchAll(soci::statement& statement, soci::row& row, bool gotRow, const TextCap* cap);
    static void readValues(soci::row& row, std::vector<Column>& columns, std::vector<host::FieldDef>& fields,
                           const std::vector<std::size_t>& keep, std::vector<Variant>& values, bool keepRaw);
    std::vector<std::size_t> textLimits(const std::vector<host::FieldDef>& fields, const TextCap* cap) const;
    std::string cappedPostgresText(const std::string& sql, const SqlParams& params, const std::string& name,
                                   const TextCap& cap);
    void describe(soci::statement& statement, soci::row& row, bool gotRow, DataPacket& packet,
                  std::vector<Column>& columns);
    void checkReadOnlyHolds(const std::string& name);
    void runReadOnlySqlite(const std::function<void()>& work);
    void runReadOnlyPostgres(const std::function<void()>& work);

    struct Cursor;
    std::size_t cursorsMade = 0;
    void runReadOnlyFirebird(const std::function<void()>& work);
    std::string firebirdText(const std::string& sql, std::vector<Binding>& bound, const std::string& name) const;
    std::string firebirdReadableText(const std::string& text, const std::vector<Binding>& bound, const TextCap* cap);
    unsigned readOnlyTransaction = 0;  // Firebird: the handle of the scope's transaction
    void commitOnItsOwn();
    void rollbackOnItsOwn();
};

// Firebird has no autocommit of its own: a statement run outside a
// transaction of ours is committed (or, failing, rolled back) at once, so
// that it holds no snapshot and its changes are kept, as on the other
// engines.
void SociDatabase::Impl::commitOnItsOwn() {
    if (engine != DbEngine::Firebird || transactionDepth > 0 || readOnlyDepth > 0) return;
    try {
        session.commit();
    } catch (const std::exception& e) {
        rollbackOnItsOwn();
        fail("COMMIT", e.what());
    }
}

void SociDatabase::Impl::rollbackOnItsOwn() {
    if (engine != DbEngine::Firebird || transactionDepth > 0 || readOnlyDepth > 0) return;
    internal::rollbackQuietly(session);
}

// SOCI reads no BLOB column into a row: a query with text BLOBs (recipe
// sheets, photos) is read through an outer query that turns each into a
// VARCHAR of the widest width (or the cap, when the column is capped). A
// longer text fails with the engine's truncation error, never cut silently.
std::string SociDatabase::Impl::firebirdReadableText(const std::string& text, const std::vector<Binding>& bound,
                                                     const TextCap* cap) {
    constexpr int kWidest = 8191;
    std::vector<Binding> copies = bound;
    soci::statement probe(session);
    for (Binding& binding : copies) binding.bindTo(probe);
    probe.alloc();
    probe.prepare(text, soci::details::st_one_time_query);
    const XSQLDA* columns = static_cast<soci::firebird_statement_backend*>(probe.get_backend())->sqldap_;
    if (columns == nullptr) return text;
    bool anyBlob = false;
    std::vector<std::string> names;
    std::string list;
    for (int i = 0; i < columns->sqld; ++i) {
        const XSQLVAR& var = columns->sqlvar[i];
        const std::string column(var.aliasname, std::size_t(var.aliasname_length));
        for (const std::string& seen : names)
            if (seen == column) return text;
        names.push_back(column);
        const bool blob = (var.sqltype & ~1) == SQL_BLOB;
        anyBlob = anyBlob || blob;
        int width = kWidest;
        if (cap != nullptr && cap->characters > 0 && !cap->keepsWhole(internal::toUpperAscii(column)))
            width = int(std::min<std::size_t>(cap->characters, kWidest));
        list += list.empty() ? "" : ", ";
        const std::string name = "PLA013_DADOS." + quotedName(column);
        const std::string whole =
            width == kWidest ? name : "SUBSTRING(" + name + " FROM 1 FOR " + std::to_string(width) + ")";
        list += blob ? "CAST(" + whole + " AS VARCHAR(" + std::to_string(width) + ")) AS " + quotedName(column) : name;
    }
    if (!anyBlob) return text;
    return "SELECT " + list + " FROM (\n" + asSubquery(text) + "\n) AS PLA013_DADOS";
}

// The text with every occurrence of a parameter as a typed positional
// placeholder, and bound rewritten to one binding per occurrence, in order.
std::string SociDatabase::Impl::firebirdText(const std::string& sql, std::vector<Binding>& bound,
                                             const std::string& name) const {
    constexpr std::size_t kMaxCharacters = 8191;  // the widest UTF8 VARCHAR
    auto find = [&bound](const std::string& wanted) -> const Binding& {
        for (const Binding& binding : bound)
            if (binding.name == wanted) return binding;
        return bound.front();  // not reached: bound holds every name of the text
    };
    auto placeholder = [&](const std::string& wanted) -> std::string {
        const Binding& binding = find(wanted);
        if (binding.kind == Binding::Kind::Integer) return "CAST(? AS BIGINT)";
        if (binding.kind == Binding::Kind::Real) return "CAST(? AS DOUBLE PRECISION)";
        std::size_t characters = 0;
        for (const char c : binding.text)
            if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++characters;
        if (characters > kMaxCharacters)
            fail(name, "o parâmetro " + wanted + " tem " + std::to_string(characters) +
                           " caracteres; o Firebird aceita até " + std::to_string(kMaxCharacters));
        // A few widths, so that a statement is prepared again only when a
        // value outgrows the one it was prepared for.
        std::size_t width = 64;
        while (width < characters) width *= 4;
        return "CAST(? AS VARCHAR(" + std::to_string(std::min(width, kMaxCharacters)) + "))";
    };
    std::vector<std::string> order;
    std::string text = internal::withPositionalParameters(sql, placeholder, order);
    std::vector<Binding> positional;
    positional.reserve(order.size());
    for (const std::string& occurrence : order) {
        positional.push_back(find(occurrence));
        positional.back().name.clear();
    }
    bound = std::move(positional);
    return text;
}

// A read-only transaction that a statement of the scope ended (COMMIT,
// ROLLBACK) would let the next ones write: nothing more runs in that scope.
void SociDatabase::Impl::checkReadOnlyHolds(const std::string& name) {
    if (readOnlyDepth > 0 && engine == DbEngine::Firebird &&
        internal::transactionHandle(session) != readOnlyTransaction)
        fail(name, "a transação somente leitura foi encerrada por um comando anterior; nada mais é executado");
    if (readOnlyDepth == 0 || engine != DbEngine::PostgreSQL) return;
    auto* backend = static_cast<soci::postgresql_session_backend*>(session.get_backend());
    if (PQtransactionStatus(backend->conn_) == PQTRANS_IDLE)
        fail(name, "a transação somente leitura foi encerrada por um comando anterior; nada mais é executado");
}

// A PostgreSQL statement cancelled by the server (query_canceled) inside a
// read-only scope with a limit, and not at our request, ran past the limit.
void SociDatabase::Impl::failStatement(const std::string& name, const std::exception& error) const {
    const auto* pg = dynamic_cast<const soci::postgresql_soci_error*>(&error);
    if (pg != nullptr && pg->sqlstate() == "57014" && readOnlyDepth > 0 && readOnlyTimeout.count() > 0 &&
        !cancelSent.load())
        throw host::EStatementTimeout(name + ": " + error.what());
    fail(name, error.what());
}

void SociDatabase::Impl::runReadOnlySqlite(const std::function<void()>& work) {
    auto* connection = static_cast<soci::sqlite3_session_backend*>(session.get_backend())->conn_;
    int previous = 0;
    try {
        session << "PRAGMA query_only", soci::into(previous);
        session << "PRAGMA query_only = 1";
    } catch (const std::exception& e) {
        fail("PRAGMA query_only", e.what());
    }
    // Lifts both guards, in the order that lets the pragma run again.
    struct Restore {
        sqlite_api::sqlite3* connection;
        int previous;
        int& depth;
        ~Restore() {
            sqlite_api::sqlite3_set_authorizer(connection, nullptr, nullptr);
            const std::string pragma = "PRAGMA query_only = " + std::to_string(previous);
            sqlite_api::sqlite3_exec(connection, pragma.c_str(), nullptr, nullptr, nullptr);
            depth = 0;
        }
    } restore{connection, previous, readOnlyDepth};
    sqlite_api::sqlite3_set_authorizer(connection, readOnlyAuthorizer, nullptr);
    readOnlyDepth = 1;
    work();
}

void SociDatabase::Impl::runReadOnlyPostgres(const std::function<void()>& work) {
    if (transactionDepth > 0)
        fail("Somente leitura", "o modo somente leitura não pode começar dentro de uma transação aberta");
    try {
        session.begin();
    } catch (const std::exception& e) {
        fail("BEGIN", e.what());
    }
    // Ends the transaction whatever happened inside; a rollback that fails
    // leaves the first error as the one reported.
    struct End {
        soci::session& session;
        int& transactionDepth;
        int& readOnlyDepth;
        ~End() {
            transactionDepth = 0;
            readOnlyDepth = 0;
            auto* backend = static_cast<soci::postgresql_session_backend*>(session.get_backend());
            if (PQtransactionStatus(backend->conn_) == PQTRANS_IDLE) return;  // a statement ended it
            try {
                session.rollback();
            } catch (...) {}
        }
    } end{session, transactionDepth, readOnlyDepth};
    transactionDepth = 1;
    try {
        session << "SET TRANSACTION READ ONLY";
        // The first snapshot: from here on no statement can turn the
        // transaction back to read-write.
        session << "SELECT 1";
        // Lifted with the transaction.
        if (readOnlyTimeout.count() > 0)
            session << "SET LOCAL statement_timeout = " + std::to_string(readOnlyTimeout.count());
    } catch (const std::exception& e) {
        fail("SET TRANSACTION READ ONLY", e.what());
    }
    readOnlyDepth = 1;
    work();
}

void SociDatabase::Impl::runReadOnlyFirebird(const std::function<void()>& work) {
    if (transactionDepth > 0)
        fail("Somente leitura", "o modo somente leitura não pode começar dentro de uma transação aberta");
    try {
        internal::startReadOnlyTransaction(session);
        readOnlyTransaction = internal::transactionHandle(session);
    } catch (const std::exception& e) {
        fail("SET TRANSACTION READ ONLY", e.what());
    }
    // Ends the transaction whatever happened inside.
    struct End {
        soci::session& session;
        int& readOnlyDepth;
        ~End() {
            readOnlyDepth = 0;
            internal::rollbackQuietly(session);
        }
    } end{session, readOnlyDepth};
    readOnlyDepth = 1;
    work();
}

std::vector<Binding> SociDatabase::Impl::bindings(const std::string& sql, const SqlParams& params,
                                                  const std::string& name) const {
    std::vector<Binding> result;
    for (const std::string& wanted : internal::parameterNames(sql)) {
        // A parameter may be listed twice (one query lists P_CDFILIAL twice);
        // the first one that holds a value counts.
        const Variant* value = nullptr;
        bool listed = false;
        for (const auto& [paramName, paramValue] : params) {
            if (!internal::equalsIgnoreCase(paramName, wanted)) continue;
            listed = true;
            if (!paramValue.isUnassigned()) {
                value = &paramValue;
                break;
            }
        }
        if (!listed) fail(name, "o parâmetro " + wanted + " não tem valor");

        Binding binding;
        binding.name = wanted;
        if (value == nullptr || value->isNull()) {
            binding.indicator = soci::i_null;
        } else {
            switch (value->kind()) {
                case Variant::Kind::Integer:
                    binding.kind = Binding::Kind::Integer;
                    binding.integer = value->toInt();
                    break;
                case Variant::Kind::Float:
                    binding.kind = Binding::Kind::Real;
                    binding.real = value->toDouble();
                    break;
                case Variant::Kind::Date: binding.text = dateToText(value->toDate()); break;
                case Variant::Kind::Text:
                    binding.text = value->toString();
                    if (binding.text.empty() && emptyTextIsNull) binding.indicator = soci::i_null;
                    break;
                default:
                    fail(name, "o parâmetro " + wanted +
                                   " tem um valor que não pode ser usado na consulta (lista ou pacote de dados)");
            }
        }
        result.push_back(std::move(binding));
    }
    return result;
}

void SociDatabase::Impl::prepare(soci::statement& statement, std::vector<Binding>& bound, const std::string& sql) {
    for (Binding& binding : bound) binding.bindTo(statement);
    statement.alloc();
    // Run once: on PostgreSQL one round trip (PQexecParams, planned with the
    // values) instead of prepare, execute and deallocate.
    // Firebird texts come here without comments already (firebirdText).
    statement.prepare(engine == DbEngine::PostgreSQL ? internal::withoutComments(sql) : sql,
                      soci::details::st_one_time_query);
    statement.define_and_bind();
}

DataPacket SociDatabase::Impl::runPrepared(const std::string& sql, std::vector<Binding>& bound, const TextCap* cap) {
    // The same few queries run call after call on a server session: planning
    // them each time costs more than running them for one dish.
    const std::string key = preparedKey(sql, bound);
    auto found = prepared.find(key);
    if (found == prepared.end()) {
        if (prepared.size() >= kPreparedLimit) prepared.clear();
        auto query = std::make_unique<PreparedQuery>(session);
        query->bound = std::move(bound);
        query->statement.exchange(soci::into(query->row));
        for (Binding& binding : query->bound) binding.bindTo(query->statement);
        query->statement.alloc();
        query->statement.prepare(internal::withoutComments(sql), soci::details::st_repeatable_query);
        query->statement.define_and_bind();
        found = prepared.emplace(key, std::move(query)).first;
    } else {
        std::vector<Binding>& kept = found->second->bound;
        for (std::size_t i = 0; i < kept.size(); ++i) {
            kept[i].text = std::move(bound[i].text);
            kept[i].integer = bound[i].integer;
            kept[i].real = bound[i].real;
            kept[i].indicator = bound[i].indicator;
        }
    }
    PreparedQuery& query = *found->second;
    try {
        const bool gotRow = query.statement.execute(true);
        DataPacket packet = fetchAll(query.statement, query.row, gotRow, cap);
        // The result read, the statement need not hold it until its next run.
        if (engine == DbEngine::PostgreSQL)
            static_cast<soci::postgresql_statement_backend*>(query.statement.get_backend())->result_.reset();
        return packet;
    } catch (...) {
        // A statement that failed is not trusted again (the session may
        // have been lost with it).
        prepared.erase(found);
        throw;
    }
}

void SociDatabase::Impl::describe(soci::statement& statement, soci::row& row, bool gotRow, DataPacket& packet,
                                  std::vector<Column>& columns) {
    // The backends' type information is not exported by SOCI; the engine
    // says which one this is.
    auto* sqliteStatement =
        engine == DbEngine::SQLite ? static_cast<soci::sqlite3_statement_backend*>(statement.get_backend()) : nullptr;
    auto* pgStatement = engine == DbEngine::PostgreSQL
                            ? static_cast<soci::postgresql_statement_backend*>(statement.get_backend())
                            : nullptr;
    const PGresult* pgResult = pgStatement ? pgStatement->result_.get_result() : nullptr;
    auto* fbStatement = engine == DbEngine::Firebird
                            ? static_cast<soci::firebird_statement_backend*>(statement.get_backend())
                            : nullptr;

    for (std::size_t i = 0; i < row.size(); ++i) {
        const soci::column_properties& properties = row.get_properties(i);
        host::FieldDef field;
        field.name = internal::toUpperAscii(properties.get_name());
        Column column;
        column.sociType = properties.get_data_type();
        switch (column.sociType) {
            case soci::dt_double: field.type = FieldType::Float; break;
            case soci::dt_integer:
            case soci::dt_long_long:
            case soci::dt_unsigned_long_long: field.type = FieldType::Integer; break;
            case soci::dt_date: field.type = FieldType::Date; break;
            case soci::dt_string: field.type = FieldType::String; break;
            default: fail(field.name, "tipo de coluna não suportado (binário ou XML)");
        }

        if (sqliteStatement != nullptr && sqliteStatement->stmt_ != nullptr) {
            const char* declType = sqlite_api::sqlite3_column_decltype(sqliteStatement->stmt_, int(i));
            if (field.type == FieldType::String) field.size = declaredWidth(declType);
            if (declType == nullptr) {
                column.inferred = true;
                // The statement stands on the first row after execute.
                const int storage =
                    gotRow ? sqlite_api::sqlite3_column_type(sqliteStatement->stmt_, int(i)) : SQLITE_NULL;
                if (storage == SQLITE_INTEGER)
                    field.type = FieldType::Integer;
                else if (storage == SQLITE_FLOAT)
                    field.type = FieldType::Float;
                else
                    field.type = FieldType::String;
            }
        } else if (pgResult != nullptr && field.type == FieldType::String) {
            const unsigned typeId = PQftype(pgResult, int(i));
            const int modifier = PQfmod(pgResult, int(i));
            if ((typeId == kVarcharOid || typeId == kBpcharOid) && modifier > 4) field.size = modifier - 4;
        } else if (fbStatement != nullptr && fbStatement->sqldap_ != nullptr && int(i) < fbStatement->sqldap_->sqld &&
                   field.type == FieldType::String) {
            const XSQLVAR& var = fbStatement->sqldap_->sqlvar[i];
            const int type = var.sqltype & ~1;
            if (type == SQL_VARYING || type == SQL_TEXT)
                field.size = internal::firebirdCharacters(var.sqllen, var.sqlsubtype & 0xFF);
            column.padded = type == SQL_TEXT;
        }
        packet.fields.push_back(field);
        columns.push_back(std::move(column));
    }
}

// The values of the row the statement stands on, by the columns described;
// keep: by column, the characters its texts keep (0: whole). keepRaw: an
// inferred column keeps its texts, to fall back to text afterwards; without
// it a value that does not fit the inferred type stays text in its row.
void SociDatabase::Impl::readValues(soci::row& row, std::vector<Column>& columns, std::vector<host::FieldDef>& fields,
                                    const std::vector<std::size_t>& keep, std::vector<Variant>& values, bool keepRaw) {
    values.clear();
    values.reserve(columns.size());
    for (std::size_t i = 0; i < columns.size(); ++i) {
        Column& column = columns[i];
        host::FieldDef& field = fields[i];
        if (row.get_indicator(i) == soci::i_null) {
            values.push_back(Variant::null());
            if (column.inferred && keepRaw) column.raw.emplace_back();
            continue;
        }
        switch (column.sociType) {
            case soci::dt_string: {
                std::string text = row.get<std::string>(i);
                if (column.padded) text.erase(text.find_last_not_of(' ') + 1);
                if (keep[i] > 0) cutToCharacters(text, keep[i]);
                if (column.inferred) {
                    if (keepRaw) column.raw.push_back(text);
                    if (field.type == FieldType::Integer) {
                        if (auto number = parseInteger(text)) {
                            values.emplace_back(*number);
                            break;
                        }
                        if (keepRaw) field.type = FieldType::String;
                    } else if (field.type == FieldType::Float) {
                        if (auto number = parseReal(text)) {
                            values.emplace_back(*number);
                            break;
                        }
                        if (keepRaw) field.type = FieldType::String;
                    }
                }
                values.emplace_back(std::move(text));
                break;
            }
            case soci::dt_double: values.emplace_back(row.get<double>(i)); break;
            case soci::dt_integer: values.emplace_back(std::int64_t(row.get<int>(i))); break;
            case soci::dt_long_long: values.emplace_back(std::int64_t(row.get<long long>(i))); break;
            case soci::dt_unsigned_long_long: values.emplace_back(std::int64_t(row.get<unsigned long long>(i))); break;
            case soci::dt_date: values.push_back(Variant::date(toDateTime(row.get<std::tm>(i)))); break;
            default: values.push_back(Variant::null()); break;
        }
    }
}

// By column: the characters its texts keep (0: whole).
std::vector<std::size_t> SociDatabase::Impl::textLimits(const std::vector<host::FieldDef>& fields,
                                                        const TextCap* cap) const {
    std::vector<std::size_t> keep(fields.size(), 0);
    if (cap != nullptr && cap->characters > 0)
        for (std::size_t i = 0; i < fields.size(); ++i)
            if (!cap->keepsWhole(fields[i].name)) keep[i] = cap->characters;
    return keep;
}

DataPacket SociDatabase::Impl::fetchAll(soci::statement& statement, soci::row& row, bool gotRow, const TextCap* cap) {
    DataPacket packet;
    std::vector<Column> columns;
    describe(statement, row, gotRow, packet, columns);
    const std::vector<std::size_t> keep = textLimits(packet.fields, cap);

    // Row by row through soci::row: measured on SQLite and PostgreSQL with
    // 200 000 rows, as fast as bulk fetches into vectors, and it needs no
    // types known before the statement runs.
    while (gotRow) {
        std::vector<Variant> values;
        readValues(row, columns, packet.fields, keep, values, true);
        packet.rows.push_back(std::move(values));
        gotRow = statement.fetch();
    }

    // An inferred column that met a value of another kind holds text throughout.
    for (std::size_t i = 0; i < columns.size(); ++i) {
        if (!columns[i].inferred || packet.fields[i].type != FieldType::String) continue;
        for (std::size_t r = 0; r < packet.rows.size(); ++r) {
            Variant& value = packet.rows[r][i];
            if (!value.isNull()) value = Variant(columns[i].raw[r]);
        }
    }
    return packet;
}

// Rows read as the engine hands them. SQLite steps the statement row by row;
// libpq would hold a whole result, so on PostgreSQL the query becomes a
// cursor of the running transaction, fetched in batches.
struct SociDatabase::Impl::Cursor final : host::IRowCursor {
    static constexpr int kBatch = 2000;

    Impl& db;
    std::string name;
    std::string serverCursor;  // PostgreSQL
    // The values bound to the statement: the engine reads them in place
    // while the statement steps, so they live as long as it does.
    std::vector<Binding> bound;
    std::unique_ptr<soci::statement> statement;
    std::unique_ptr<soci::row> row;
    std::vector<Column> columns;
    std::vector<host::FieldDef> fieldDefs;
    std::vector<std::size_t> keep;
    const TextCap* cap;
    bool gotRow = false;
    bool lastBatch = true;

    Cursor(Impl& impl, std::string queryName, const TextCap* textCap)
        : db(impl), name(std::move(queryName)), cap(textCap) {}

    const std::vector<host::FieldDef>& fields() const override { return fieldDefs; }

    void start(soci::statement& st) {
        gotRow = st.execute(true);
        if (!fieldDefs.empty() || !columns.empty()) return;
        DataPacket described;
        db.describe(st, *row, gotRow, described, columns);
        fieldDefs = std::move(described.fields);
        keep = db.textLimits(fieldDefs, cap);
    }

    void open(const std::string& sql, const SqlParams& params) {
        if (db.engine == DbEngine::PostgreSQL) {
            serverCursor = "pla013_leitura_" + std::to_string(++db.cursorsMade);
            const std::string text = cap ? db.cappedPostgresText(sql, params, name, *cap) : sql;
            const std::string declare = "DECLARE " + serverCursor + " NO SCROLL CURSOR FOR\n" + text;
            bound = db.bindings(declare, params, name);
            soci::statement st(db.session);
            db.prepare(st, bound, declare);
            st.execute(true);
            fetchBatch();
            return;
        }
        bound = db.bindings(sql, params, name);
        // Firebird reads the query as its adapter rewrites it (parameters by
        // position, long texts cut by the server), a row per fetch.
        const std::string text = db.engine == DbEngine::Firebird
                                     ? db.firebirdReadableText(db.firebirdText(sql, bound, name), bound, cap)
                                     : sql;
        statement = std::make_unique<soci::statement>(db.session);
        row = std::make_unique<soci::row>();
        statement->exchange(soci::into(*row));
        db.prepare(*statement, bound, text);
        start(*statement);
    }

    void fetchBatch() {
        statement.reset();
        statement = std::make_unique<soci::statement>(db.session);
        row = std::make_unique<soci::row>();
        statement->exchange(soci::into(*row));
        std::vector<Binding> none;
        db.prepare(*statement, none, "FETCH FORWARD " + std::to_string(kBatch) + " FROM " + serverCursor);
        start(*statement);
        const PGresult* result =
            static_cast<soci::postgresql_statement_backend*>(statement->get_backend())->result_.get_result();
        lastBatch = result == nullptr || PQntuples(result) < kBatch;
    }

    bool next(std::vector<Variant>& values) override {
        try {
            if (!gotRow && !lastBatch) {
                db.checkReadOnlyHolds(name);
                fetchBatch();
            }
            if (!gotRow) {
                statement.reset();
                return false;
            }
            readValues(*row, columns, fieldDefs, keep, values, false);
            gotRow = statement->fetch();
            return true;
        } catch (const EHostError& e) {
            db.fail(name, e.what());
        } catch (const std::exception& e) {
            db.failStatement(name, e);
        }
    }
};

std::unique_ptr<host::IRowCursor> SociDatabase::Read(const host::QueryRequest& request) {
    Impl& d = *m_impl;
    // A PostgreSQL cursor lives in a transaction, and so does a Firebird
    // statement that is not committed on its own: outside one, the rows are
    // read whole.
    if ((d.engine == DbEngine::PostgreSQL && d.transactionDepth == 0) ||
        (d.engine == DbEngine::Firebird && d.transactionDepth == 0 && d.readOnlyDepth == 0))
        return host::IDatabase::Read(request);
    const std::string& sql = selectText(request.sql, d.engine, request.name);
    d.checkReadOnlyHolds(request.name);
    g_statementsRun.fetch_add(1, std::memory_order_relaxed);
    struct Owned final : host::IRowCursor {
        std::vector<std::string> whole;
        TextCap cap;
        std::unique_ptr<Impl::Cursor> cursor;
        const std::vector<host::FieldDef>& fields() const override { return cursor->fields(); }
        bool next(std::vector<Variant>& row) override { return cursor->next(row); }
    };
    auto owned = std::make_unique<Owned>();
    owned->whole = request.wholeTexts;
    owned->cap = TextCap{request.maxTextLength, &owned->whole};
    owned->cursor = std::make_unique<Impl::Cursor>(d, request.name, request.maxTextLength > 0 ? &owned->cap : nullptr);
    try {
        owned->cursor->open(sql, request.params);
    } catch (const EHostError& e) {
        d.fail(request.name, e.what());
    } catch (const std::exception& e) {
        d.failStatement(request.name, e);
    }
    return owned;
}

SociDatabase::SociDatabase(const std::string& pathOrUrl) : m_impl(std::make_unique<Impl>()) {
    Impl& d = *m_impl;
    d.target = pathOrUrl;
    if (isPostgresUrl(pathOrUrl)) {
        d.engine = DbEngine::PostgreSQL;
        d.location = maskPassword(pathOrUrl);
        try {
            d.session.open(soci::postgresql, withConnectTimeout(pathOrUrl));
            PGconn* connection = static_cast<soci::postgresql_session_backend*>(d.session.get_backend())->conn_;
            // The connection is new: the receiver it had is libpq's own,
            // which prints through the notice processor and takes no
            // argument.
            d.notices.previous = PQsetNoticeReceiver(connection, noticeReceived, &d.notices);
            d.session << "SET client_encoding TO 'UTF8'";
            // Notices (e.g. "table does not exist, skipping") would go to stderr.
            d.session << "SET client_min_messages TO WARNING";
        } catch (const std::exception& e) {
            throw EHostError("Não foi possível abrir o banco de dados " + d.location + ": " + e.what());
        }
        return;
    }
    if (isFirebirdUrl(pathOrUrl)) {
        d.engine = DbEngine::Firebird;
        d.location = maskPassword(pathOrUrl);
        try {
            d.session.open(soci::firebird, internal::sociConnectString(internal::parseFirebirdUrl(pathOrUrl)));
        } catch (const std::exception& e) {
            throw EHostError("Não foi possível abrir o banco de dados " + d.location + ": " + e.what());
        }
        return;
    }

    d.engine = DbEngine::SQLite;
    d.location = pathOrUrl;
    if (pathOrUrl.empty())
        throw EHostError(
            "Nenhum banco de dados informado: indique um arquivo SQLite ou um endereço postgresql:// ou firebird://.");
    if (pathOrUrl.find('"') != std::string::npos)
        throw EHostError("Não foi possível abrir o banco de dados " + pathOrUrl + ": o caminho não pode conter '\"'.");
    std::error_code error;
    if (!fs::exists(pathOrUrl, error))
        throw EHostError("Banco de dados não encontrado: " + pathOrUrl + " (crie-o com 'pla013 db init " + pathOrUrl +
                         "').");
    if (fs::is_directory(pathOrUrl, error))
        throw EHostError("Não foi possível abrir o banco de dados " + pathOrUrl + ": é uma pasta.");
    try {
        d.session.open(soci::sqlite3, "db=\"" + pathOrUrl + "\" timeout=10");
        internal::registerSqliteFunctions(d.session);
        d.session << "PRAGMA foreign_keys = ON";
        // Opening does not read the file; this does, and fails for a file
        // that is not an SQLite database.
        int objects = 0;
        d.session << "SELECT COUNT(*) FROM sqlite_master", soci::into(objects);
    } catch (const std::exception& e) {
        throw EHostError("Não foi possível abrir o banco de dados " + pathOrUrl + ": " + e.what());
    }
}

SociDatabase::~SociDatabase() = default;

bool SociDatabase::isPostgresUrl(const std::string& pathOrUrl) {
    return startsWith(pathOrUrl, "postgresql://") || startsWith(pathOrUrl, "postgres://");
}

bool SociDatabase::isFirebirdUrl(const std::string& pathOrUrl) { return internal::isFirebirdUrl(pathOrUrl); }

const std::string& SociDatabase::selectText(const host::SqlTexts& texts, DbEngine engine,
                                            const std::string& queryName) {
    const bool firebird = engine == DbEngine::Firebird;
    const std::string& dialect = firebird ? texts.interBase : texts.oracle;
    if (!internal::isBlank(dialect)) return dialect;
    if (!internal::isBlank(texts.generic)) return texts.generic;
    const char* engineName = firebird ? "Firebird" : engine == DbEngine::PostgreSQL ? "PostgreSQL" : "SQLite";
    throw EHostError("A consulta " + queryName + " não tem texto SQL para o banco de dados " + engineName +
                     (firebird ? " (nem InterBase nem genérico)." : " (nem Oracle nem genérico)."));
}

DataPacket SociDatabase::Open(const host::QueryRequest& request) {
    const std::string& sql = selectText(request.sql, m_impl->engine, request.name);
    if (request.maxTextLength == 0) return query(sql, request.params, request.name);
    const TextCap cap{request.maxTextLength, &request.wholeTexts};
    return m_impl->run(sql, request.params, request.name, &cap);
}

DataPacket SociDatabase::query(const std::string& sql, const SqlParams& params, const std::string& name) {
    return m_impl->run(sql, params, name, nullptr);
}

DataPacket SociDatabase::Impl::run(const std::string& sql, const SqlParams& params, const std::string& name,
                                   const TextCap* cap) {
    checkReadOnlyHolds(name);
    g_statementsRun.fetch_add(1, std::memory_order_relaxed);
    try {
        if (engine == DbEngine::PostgreSQL) {
            // libpq holds a whole result before its first row is read: the
            // texts are cut by the server.
            const std::string text = cap ? cappedPostgresText(sql, params, name, *cap) : sql;
            std::vector<Binding> bound = bindings(text, params, name);
            return runPrepared(text, bound, cap);
        }
        if (engine == DbEngine::Firebird) {
            std::vector<Binding> bound = bindings(sql, params, name);
            const std::string text = firebirdReadableText(firebirdText(sql, bound, name), bound, cap);
            DataPacket packet = runPrepared(text, bound, cap);
            commitOnItsOwn();
            return packet;
        }
        std::vector<Binding> bound = bindings(sql, params, name);
        soci::row row;
        soci::statement statement(session);
        statement.exchange(soci::into(row));
        prepare(statement, bound, sql);
        const bool gotRow = statement.execute(true);
        // SQLite hands the rows one at a time: each text is cut before the
        // next row is read.
        return fetchAll(statement, row, gotRow, cap);
    } catch (const EHostError& e) {
        rollbackOnItsOwn();
        fail(name, e.what());
    } catch (const std::exception& e) {
        rollbackOnItsOwn();
        failStatement(name, e);
    }
}

// The query with its unbounded texts cut by the server: SELECT q."A",
// LEFT(q."B", N) AS "B", ... FROM (query) AS q. The columns come from the
// query run without rows. Unchanged when no column needs it, or when two
// columns share a name (they could not be told apart outside).
std::string SociDatabase::Impl::cappedPostgresText(const std::string& sql, const SqlParams& params,
                                                   const std::string& name, const TextCap& cap) {
    const std::string inner = asSubquery(sql);
    const std::string probe = "SELECT * FROM (\n" + inner + "\n) AS pla013_dados LIMIT 0";
    std::vector<Binding> bound = bindings(probe, params, name);
    soci::row row;
    soci::statement statement(session);
    statement.exchange(soci::into(row));
    prepare(statement, bound, probe);
    statement.execute(true);
    const PGresult* result =
        static_cast<soci::postgresql_statement_backend*>(statement.get_backend())->result_.get_result();
    if (result == nullptr) return sql;
    std::vector<std::string> columns;
    bool anyCut = false;
    std::string list;
    for (int i = 0; i < PQnfields(result); ++i) {
        const std::string column = PQfname(result, i);
        for (const std::string& seen : columns)
            if (seen == column) return sql;
        columns.push_back(column);
        const unsigned type = PQftype(result, i);
        const bool unbounded =
            type == kTextOid || ((type == kVarcharOid || type == kBpcharOid) && PQfmod(result, i) < 0);
        const bool cut = unbounded && !cap.keepsWhole(internal::toUpperAscii(column));
        anyCut = anyCut || cut;
        list += list.empty() ? "" : ", ";
        list += cut ? "LEFT(pla013_dados." + quotedName(column) + ", " + std::to_string(cap.characters) + ") AS " +
                          quotedName(column)
                    : "pla013_dados." + quotedName(column);
    }
    if (!anyCut) return sql;
    return "SELECT " + list + " FROM (\n" + inner + "\n) AS pla013_dados";
}

long long SociDatabase::execute(const std::string& sql, const SqlParams& params, const std::string& name) {
    Impl& d = *m_impl;
    d.checkReadOnlyHolds(name);
    g_statementsRun.fetch_add(1, std::memory_order_relaxed);
    std::vector<Binding> bound = d.bindings(sql, params, name);
    const std::string text = d.engine == DbEngine::Firebird ? d.firebirdText(sql, bound, name) : sql;
    try {
        soci::statement statement(d.session);
        d.prepare(statement, bound, text);
        statement.execute(true);
        long long changed = 0;
        try {
            changed = statement.get_affected_rows();
        } catch (const soci::soci_error&) {
            // Firebird counts no rows for a statement that changes none (DDL).
            if (d.engine != DbEngine::Firebird) throw;
        }
        d.commitOnItsOwn();
        return changed;
    } catch (const EHostError&) {
        throw;
    } catch (const std::exception& e) {
        d.rollbackOnItsOwn();
        d.failStatement(name, e);
    }
}

void SociDatabase::executeScript(const std::string& script, const std::string& name) {
    Impl& d = *m_impl;
    // A script may end the read-only transaction and go on writing.
    if (d.readOnlyDepth > 0) d.fail(name, "um script não pode ser executado no modo somente leitura");
    g_statementsRun.fetch_add(1, std::memory_order_relaxed);
    if (d.engine == DbEngine::SQLite) {
        auto* backend = static_cast<soci::sqlite3_session_backend*>(d.session.get_backend());
        char* message = nullptr;
        const int rc = sqlite_api::sqlite3_exec(backend->conn_, script.c_str(), nullptr, nullptr, &message);
        if (rc != SQLITE_OK) {
            std::string text = message ? message : sqlite_api::sqlite3_errstr(rc);
            sqlite_api::sqlite3_free(message);
            d.fail(name, text);
        }
        return;
    }
    if (d.engine == DbEngine::Firebird) {
        std::vector<std::string> statements;
        try {
            statements = internal::splitFirebirdScript(script);
        } catch (const EHostError& e) {
            d.fail(name, e.what());
        }
        for (const std::string& statement : statements) {
            try {
                internal::executeImmediate(d.session, statement);
            } catch (const EHostError& e) {
                d.rollbackOnItsOwn();
                d.fail(name, std::string(e.what()) + "\n" + statement.substr(0, 200));
            }
            d.commitOnItsOwn();
        }
        return;
    }
    auto* backend = static_cast<soci::postgresql_session_backend*>(d.session.get_backend());
    PGresult* result = PQexec(backend->conn_, script.c_str());
    const ExecStatusType status = result ? PQresultStatus(result) : PGRES_FATAL_ERROR;
    std::string text = result ? PQresultErrorMessage(result) : PQerrorMessage(backend->conn_);
    PQclear(result);
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK && status != PGRES_EMPTY_QUERY) {
        while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
        d.fail(name, text);
    }
}

void SociDatabase::transaction(const std::function<void()>& work) {
    Impl& d = *m_impl;
    if (d.transactionDepth > 0) {
        work();
        return;
    }
    try {
        d.session.begin();
    } catch (const std::exception& e) {
        d.fail("BEGIN", e.what());
    }
    d.transactionDepth = 1;
    auto rollbackQuietly = [&d] {
        d.transactionDepth = 0;
        try {
            d.session.rollback();
        } catch (...) {
            // The connection is gone or the transaction already ended; the
            // first error is the one to report.
        }
    };
    try {
        work();
    } catch (...) {
        rollbackQuietly();
        throw;
    }
    try {
        d.session.commit();
        d.transactionDepth = 0;
    } catch (const std::exception& e) {
        rollbackQuietly();
        d.fail("COMMIT", e.what());
    }
}

void SociDatabase::RunReadOnly(const std::function<void()>& work) {
    Impl& d = *m_impl;
    if (d.readOnlyDepth > 0) {
        work();
        return;
    }
    if (d.engine == DbEngine::SQLite)
        d.runReadOnlySqlite(work);
    else if (d.engine == DbEngine::Firebird)
        d.runReadOnlyFirebird(work);
    else
        d.runReadOnlyPostgres(work);
}

namespace {
extern "C" int stopRequested(void* stop) { return static_cast<const std::stop_token*>(stop)->stop_requested() ? 1 : 0; }
}  // namespace

void SociDatabase::RunStoppable(const std::function<void()>& work, std::stop_token stop) {
    Impl& d = *m_impl;
    d.cancelSent = false;
    if (!stop.stop_possible()) return work();
    if (d.engine == DbEngine::SQLite) {
        auto* connection = static_cast<soci::sqlite3_session_backend*>(d.session.get_backend())->conn_;
        struct Handler {
            sqlite_api::sqlite3* connection;
            ~Handler() { sqlite_api::sqlite3_progress_handler(connection, 0, nullptr, nullptr); }
        } handler{connection};
        sqlite_api::sqlite3_progress_handler(connection, 4000, stopRequested, &stop);
        work();
        return;
    }
    if (d.engine == DbEngine::Firebird) {
        std::stop_callback onStop(stop, [&d] {
            d.cancelSent = true;
            internal::cancelRunningStatement(d.session);
        });
        work();
        return;
    }
    auto* backend = static_cast<soci::postgresql_session_backend*>(d.session.get_backend());
    std::unique_ptr<PGcancel, void (*)(PGcancel*)> cancel(PQgetCancel(backend->conn_), PQfreeCancel);
    std::stop_callback onStop(stop, [&cancel, &d] {
        d.cancelSent = true;
        char error[256];
        if (cancel) PQcancel(cancel.get(), error, sizeof error);
    });
    work();
}

bool SociDatabase::connectionAlive() {
    Impl& d = *m_impl;
    if (d.engine == DbEngine::Firebird) return internal::firebirdConnectionAlive(d.session);
    if (d.engine != DbEngine::PostgreSQL) return true;
    auto* backend = static_cast<soci::postgresql_session_backend*>(d.session.get_backend());
    PGconn* connection = backend ? backend->conn_ : nullptr;
    if (connection == nullptr || PQstatus(connection) != CONNECTION_OK) return false;
    const int socket = PQsocket(connection);
    if (socket < 0) return false;
    // Nothing to read: an idle session that nobody ended. Something to read
    // (the server's last message before it closed, then the close itself):
    // libpq takes it, and a connection that ended shows as bad once the
    // close is read.
    for (int reads = 0; reads < 8; ++reads) {
        pollfd ready{socket, POLLIN, 0};
        if (::poll(&ready, 1, 0) <= 0) break;
        if (PQconsumeInput(connection) != 1) return false;
        PQisBusy(connection);  // handles what came: the server's farewell is a FATAL notice
        if (d.notices.sessionEnded) return false;
    }
    return PQstatus(connection) == CONNECTION_OK && !d.notices.sessionEnded;
}

DbEngine SociDatabase::engine() const { return m_impl->engine; }

const std::string& SociDatabase::location() const { return m_impl->location; }

const std::string& SociDatabase::target() const { return m_impl->target; }

bool SociDatabase::emptyTextIsNull() const { return m_impl->emptyTextIsNull; }

void SociDatabase::setEmptyTextIsNull(bool on) { m_impl->emptyTextIsNull = on; }

void SociDatabase::setReadOnlyStatementTimeout(std::chrono::milliseconds limit) {
    m_impl->readOnlyTimeout = limit.count() > 0 ? limit : std::chrono::milliseconds(0);
}

std::chrono::milliseconds SociDatabase::readOnlyStatementTimeout() const { return m_impl->readOnlyTimeout; }

std::uint64_t SociDatabase::statementsRun() { return g_statementsRun.load(std::memory_order_relaxed); }

soci::session& SociDatabase::sociSession() { return m_impl->session; }

}  // namespace pla013::db
