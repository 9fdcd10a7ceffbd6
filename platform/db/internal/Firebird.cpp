#include "platform/db/internal/Firebird.h"

#include <soci/firebird/soci-firebird.h>
#include <soci/soci.h>

#include <cctype>
#include <stdexcept>
#include <type_traits>

#include "host/Errors.h"

namespace pla013::db::internal {

using host::EHostError;

namespace {

constexpr const char* kScheme = "firebird://";
constexpr unsigned short kDialect = SQL_DIALECT_V6;

soci::firebird_session_backend& backendOf(soci::session& session) {
    return *static_cast<soci::firebird_session_backend*>(session.get_backend());
}

// The client library's text for a status vector, one line per message.
std::string statusText(const ISC_STATUS* status) {
    std::string text;
    char line[512];
    const ISC_STATUS* cursor = status;
    while (fb_interpret(line, sizeof line, &cursor) > 0) {
        if (!text.empty()) text += "; ";
        text += line;
    }
    return text.empty() ? std::string("erro desconhecido do Firebird") : text;
}

// The session's transaction handle. SOCI keeps it in the member declared
// right after the public database handle and does not export the function
// that hands it out; both handles are the same integer type.
static_assert(std::is_same_v<isc_db_handle, isc_tr_handle>);
isc_tr_handle* transactionOf(soci::firebird_session_backend& backend) {
    return reinterpret_cast<isc_tr_handle*>(&backend.dbhp_ + 1);
}

// The session's transaction, started as SOCI starts it when none is running.
isc_tr_handle* currentTransaction(soci::firebird_session_backend& backend) {
    isc_tr_handle* handle = transactionOf(backend);
    if (*handle == 0) {
        ISC_STATUS_ARRAY status;
        if (isc_start_transaction(status, handle, 1, &backend.dbhp_, 0, nullptr)) throw EHostError(statusText(status));
    }
    return handle;
}

[[noreturn]] void failWith(const std::string& what, const ISC_STATUS* status) {
    throw EHostError(what + ": " + statusText(status));
}

std::string percentDecoded(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && std::isxdigit(static_cast<unsigned char>(text[i + 1])) &&
            std::isxdigit(static_cast<unsigned char>(text[i + 2]))) {
            out += char(std::stoi(text.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

// A text inside '...' of a statement.
std::string quoted(const std::string& text) {
    std::string out = "'";
    for (const char c : text) out += c == '\'' ? std::string("''") : std::string(1, c);
    return out + "'";
}

std::string attachParameters(const FirebirdTarget& target) {
    std::string dpb(1, char(isc_dpb_version1));
    auto add = [&dpb](char tag, const std::string& value) {
        dpb += tag;
        dpb += char(value.size());
        dpb += value;
    };
    add(char(isc_dpb_user_name), target.user);
    if (!target.password.empty()) add(char(isc_dpb_password), target.password);
    add(char(isc_dpb_lc_ctype), "UTF8");
    return dpb;
}

bool startsWithIgnoreCase(const std::string& text, std::size_t at, const std::string& word) {
    if (text.size() - at < word.size()) return false;
    for (std::size_t i = 0; i < word.size(); ++i)
        if (std::toupper(static_cast<unsigned char>(text[at + i])) != word[i]) return false;
    return true;
}

std::string trimmed(const std::string& text) {
    const std::size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) return std::string();
    const std::size_t last = text.find_last_not_of(" \t\r\n");
    return text.substr(first, last - first + 1);
}

// Where the statement's first word starts, after blanks and comments
// (its size when there is none).
std::size_t firstWord(const std::string& statement) {
    std::size_t i = 0;
    while (i < statement.size()) {
        if (std::isspace(static_cast<unsigned char>(statement[i]))) {
            ++i;
        } else if (statement.compare(i, 2, "--") == 0) {
            const std::size_t end = statement.find('\n', i);
            i = end == std::string::npos ? statement.size() : end + 1;
        } else if (statement.compare(i, 2, "/*") == 0) {
            const std::size_t end = statement.find("*/", i + 2);
            i = end == std::string::npos ? statement.size() : end + 2;
        } else {
            return i;
        }
    }
    return statement.size();
}

}  // namespace

bool isFirebirdUrl(const std::string& url) { return url.rfind(kScheme, 0) == 0; }

FirebirdTarget parseFirebirdUrl(const std::string& url) {
    if (!isFirebirdUrl(url)) throw std::invalid_argument("o endereço não começa por firebird://");
    const std::string rest = url.substr(std::string(kScheme).size());
    const std::size_t slash = rest.find('/');
    if (slash == std::string::npos || slash + 1 >= rest.size())
        throw std::invalid_argument("o endereço " + url +
                                    " não indica o banco de dados (firebird://servidor:porta/caminho/banco.fdb ou "
                                    "firebird:///caminho/banco.fdb)");
    std::string authority = rest.substr(0, slash);
    const std::string path = percentDecoded(rest.substr(slash));
    FirebirdTarget target;
    target.user = "SYSDBA";
    const std::size_t at = authority.rfind('@');
    if (at != std::string::npos) {
        const std::string credentials = authority.substr(0, at);
        authority = authority.substr(at + 1);
        const std::size_t colon = credentials.find(':');
        target.user = percentDecoded(credentials.substr(0, colon));
        if (colon != std::string::npos) target.password = percentDecoded(credentials.substr(colon + 1));
        if (target.user.empty()) target.user = "SYSDBA";
    }
    if (authority.empty()) {
        target.embedded = true;
        target.database = path;
        return target;
    }
    std::string host = authority;
    std::string port;
    const std::size_t colon = authority.rfind(':');
    if (colon != std::string::npos && authority.find(']') == std::string::npos) {
        host = authority.substr(0, colon);
        port = authority.substr(colon + 1);
        if (port.empty() || port.find_first_not_of("0123456789") != std::string::npos)
            throw std::invalid_argument("a porta do endereço " + url + " não é um número");
    }
    // "/catering" (one slash): an alias the server knows.
    const std::string database = path.find('/', 1) == std::string::npos ? path.substr(1) : path;
    target.database = host + (port.empty() ? "" : "/" + port) + ":" + database;
    return target;
}

std::string sociConnectString(const FirebirdTarget& target) {
    for (const std::string* value : {&target.database, &target.user, &target.password})
        if (value->find_first_of(" \t\n'\"=") != std::string::npos)
            throw std::invalid_argument(
                "o caminho, o usuário e a senha do Firebird não podem conter espaços, aspas nem '='");
    std::string text = "service=" + target.database + " user=" + target.user;
    if (!target.password.empty()) text += " password=" + target.password;
    return text + " charset=UTF8";
}

void createFirebirdDatabase(const FirebirdTarget& target) {
    ISC_STATUS_ARRAY status;
    isc_db_handle db = 0;
    isc_tr_handle tr = 0;
    std::string sql = "CREATE DATABASE " + quoted(target.database) + " USER " + quoted(target.user);
    if (!target.password.empty()) sql += " PASSWORD " + quoted(target.password);
    sql += " PAGE_SIZE 8192 DEFAULT CHARACTER SET UTF8";
    if (isc_dsql_execute_immediate(status, &db, &tr, 0, sql.c_str(), kDialect, nullptr))
        failWith("Não foi possível criar o banco de dados Firebird " + target.database, status);
    isc_detach_database(status, &db);
}

void dropFirebirdDatabase(const FirebirdTarget& target) {
    ISC_STATUS_ARRAY status;
    isc_db_handle db = 0;
    const std::string dpb = attachParameters(target);
    if (isc_attach_database(status, 0, target.database.c_str(), &db, short(dpb.size()), dpb.data()))
        failWith("Não foi possível abrir o banco de dados Firebird " + target.database, status);
    if (isc_drop_database(status, &db)) {
        ISC_STATUS_ARRAY ignored;
        isc_detach_database(ignored, &db);
        failWith("Não foi possível remover o banco de dados Firebird " + target.database, status);
    }
}

std::vector<std::string> splitFirebirdScript(const std::string& script) {
    std::vector<std::string> statements;
    std::string terminator = ";";
    std::string current;
    std::size_t i = 0;
    const std::size_t n = script.size();
    auto finish = [&] {
        std::string statement = trimmed(current);
        current.clear();
        const std::size_t start = firstWord(statement);
        if (start == statement.size()) return;
        if (startsWithIgnoreCase(statement, start, "SET TERM") && statement.size() > start + 8 &&
            std::isspace(static_cast<unsigned char>(statement[start + 8]))) {
            terminator = trimmed(statement.substr(start + 9));
            if (terminator.empty()) throw EHostError("SET TERM sem o novo separador");
            return;
        }
        statements.push_back(std::move(statement));
    };
    while (i < n) {
        const char c = script[i];
        if (c == '\'' || c == '"') {
            std::size_t end = i + 1;
            while (end < n && script[end] != c) ++end;
            end = end < n ? end + 1 : n;
            current.append(script, i, end - i);
            i = end;
        } else if (script.compare(i, 2, "--") == 0) {
            const std::size_t end = script.find('\n', i);
            const std::size_t stop = end == std::string::npos ? n : end;
            current.append(script, i, stop - i);
            i = stop;
        } else if (script.compare(i, 2, "/*") == 0) {
            const std::size_t end = script.find("*/", i + 2);
            const std::size_t stop = end == std::string::npos ? n : end + 2;
            current.append(script, i, stop - i);
            i = stop;
        } else if (script.compare(i, terminator.size(), terminator) == 0) {
            i += terminator.size();
            finish();
        } else {
            current += c;
            ++i;
        }
    }
    finish();
    return statements;
}

void executeImmediate(soci::session& session, const std::string& sql) {
    auto& backend = backendOf(session);
    ISC_STATUS_ARRAY status;
    if (isc_dsql_execute_immediate(status, &backend.dbhp_, currentTransaction(backend), 0, sql.c_str(), kDialect,
                                   nullptr))
        throw EHostError(statusText(status));
}

void startReadOnlyTransaction(soci::session& session) {
    auto& backend = backendOf(session);
    ISC_STATUS_ARRAY status;
    // The session's handle: SOCI starts a read-write transaction into it when
    // a statement needs one and none is running; this one is read-only.
    isc_tr_handle* handle = transactionOf(backend);
    if (*handle != 0 && isc_rollback_transaction(status, handle)) failWith("ROLLBACK", status);
    static const char tpb[] = {isc_tpb_version3, isc_tpb_read, isc_tpb_concurrency, isc_tpb_wait};
    if (isc_start_transaction(status, handle, 1, &backend.dbhp_, static_cast<unsigned short>(sizeof tpb), tpb))
        failWith("SET TRANSACTION READ ONLY", status);
}

unsigned transactionHandle(soci::session& session) { return *transactionOf(backendOf(session)); }

void rollbackQuietly(soci::session& session) {
    try {
        session.rollback();
    } catch (...) {
        // Nothing was running, or the connection is gone: nothing to undo.
    }
}

void cancelRunningStatement(soci::session& session) {
    ISC_STATUS_ARRAY status;
    fb_cancel_operation(status, &backendOf(session).dbhp_, fb_cancel_raise);
}

bool firebirdConnectionAlive(soci::session& session) {
    auto& backend = backendOf(session);
    if (backend.dbhp_ == 0) return false;
    ISC_STATUS_ARRAY status;
    const char items[] = {isc_info_attachment_id, isc_info_end};
    char answer[32];
    return isc_database_info(status, &backend.dbhp_, short(sizeof items), items, short(sizeof answer), answer) == 0;
}

int firebirdCharacters(int sqllen, int characterSetId) {
    switch (characterSetId) {
        case 4: return sqllen / 4;  // UTF8
        case 3: return sqllen / 3;  // UNICODE_FSS
        default: return sqllen;
    }
}

}  // namespace pla013::db::internal
