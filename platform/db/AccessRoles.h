#pragma once
// Least privilege on a shared PostgreSQL catering database: the group roles
// of the application server and of the office desktops, and the branch wall
// that keeps the server's role to the signed-in operator's branches. The
// SQL is db/postgresql/roles/, compiled in; "db init" does not apply it.
//
// SQLite has neither: whoever can read the file reads everything, so the
// file is protected with the system's permissions.

#include <string>

namespace pla013::db {

// The application server's group role: reads every table of the schema,
// writes only its access tables (credentials, sessions, audit log, failed
// sign-ins); the branch wall applies to it.
inline constexpr char kServerRole[] = "pla013_servidor";
// The office desktops' group role: reads the catering tables, not the access
// tables, and adds audit rows.
inline constexpr char kOfficeRole[] = "pla013_escritorio";
// The setting that names the signed-in operator (OPERADOR.CDOPERADOR) to the
// branch wall. The server sets it inside each call's transaction, and only
// for that transaction:
//   SELECT set_config('pla013.operador', :operator, true)
// Unset or empty: the server's role sees no branch rows.
inline constexpr char kOperatorSetting[] = "pla013.operador";
// The wall's predicate, pla013_filial_visivel(CDFILIAL): true when the named
// operator may use the branch (OPERADOR.IDTODASFILI = 'S' or an OPERFILI row).
inline constexpr char kBranchVisibleFunction[] = "pla013_filial_visivel";

// Creates the two roles when they are missing and brings their rights and
// the branch wall back to what the compiled-in files say, in one
// transaction on the database at url (its first schema on the search path,
// which must hold the catering tables). Running it again is harmless.
// The user needs to own the catering tables and to be allowed to create
// roles. EHostError for an SQLite path, a database without the catering
// tables, or what the server refuses (named with the file).
void grantAccessRoles(const std::string& url);

}  // namespace pla013::db
