#pragma once
// What the adapter needs of Firebird beyond SOCI: the URL, creating and
// dropping databases, scripts with PSQL bodies, transactions of a chosen
// kind, and the cancellation of a running statement.

#include <functional>
#include <string>
#include <vector>

namespace soci {
class session;
}

namespace pla013::db::internal {

// firebird://[USER[:PASSWORD]@]HOST[:PORT]/PATH names a database on a
// server (PATH absolute, "/catering.fdb" style paths with one slash only are
// an alias the server knows); firebird:///PATH (no host) is a database file
// opened by the embedded engine in this process. User and password may be
// percent-encoded; without a user, SYSDBA.
struct FirebirdTarget {
    std::string database;  // as the client library takes it: "host/port:path" or "path"
    std::string user;
    std::string password;
    bool embedded = false;
};

bool isFirebirdUrl(const std::string& url);
// std::invalid_argument (Portuguese) for a URL that names no database.
FirebirdTarget parseFirebirdUrl(const std::string& url);
// The SOCI connection string of the target, in UTF8.
std::string sociConnectString(const FirebirdTarget& target);

// Creates the database file (UTF8, page size 8192); EHostError with the
// server's message when it exists already or cannot be made.
void createFirebirdDatabase(const FirebirdTarget& target);
// Removes the database; EHostError when it cannot.
void dropFirebirdDatabase(const FirebirdTarget& target);

// The statements of a script: separated by ';' outside literals, quoted names
// and comments; "SET TERM X ;" makes X the separator until the next SET
// TERM, so that PSQL bodies keep their own ';'.
std::vector<std::string> splitFirebirdScript(const std::string& script);

// Runs one statement as it is (no parameters; ':NAME' inside a PSQL body
// stays PSQL) in the session's current transaction.
void executeImmediate(soci::session& session, const std::string& sql);

// Replaces the session's current transaction (none may be pending) by a
// read-only one: snapshot of the moment, refusing every change.
void startReadOnlyTransaction(soci::session& session);
// The handle of the session's current transaction (0: none).
unsigned transactionHandle(soci::session& session);
// Ends the session's current transaction, if any, by a rollback.
void rollbackQuietly(soci::session& session);

// Asks the server to stop the statement the session is running (from any
// thread); the statement then fails.
void cancelRunningStatement(soci::session& session);
// True when the server still answers on the session (one small round trip).
bool firebirdConnectionAlive(soci::session& session);

// Width in characters of a text column or parameter of sqllen bytes in the
// character set with the given id.
int firebirdCharacters(int sqllen, int characterSetId);

}  // namespace pla013::db::internal
