#pragma once
// The administrator's side of sign-in (`pla013 operator ...`): passwords,
// locks and the list of operators. Every failure is a host::EHostError in
// Portuguese for the administrator; no password or hash is ever shown.

#include <cstdint>
#include <string>
#include <vector>

#include "platform/appserver/PasswordHash.h"
#include "platform/db/SociDatabase.h"

namespace pla013::appserver {

struct OperatorAccount {
    std::string code, name;
    bool allBranches = false;
    std::vector<std::string> branches;
    bool hasPassword = false;
    bool disabled = false;         // the administrator's lock
    std::int64_t lockedUntil = 0;  // a lock for wrong passwords, 0 when none
    bool mustChange = false;
    std::int64_t changedAt = 0;
    int sessions = 0;  // open, expired or not
};

class OperatorAccounts {
public:
    OperatorAccounts(db::SociDatabase& db, PasswordCost cost = PasswordCost::interactive());

    // Gives a registered operator (OPERADOR) a first password.
    void add(const std::string& code, const std::string& password, std::int64_t now);
    // A new password; mustChange makes the next sign-in refuse until the
    // administrator sets another. Ends the operator's sessions.
    void setPassword(const std::string& code, const std::string& password, std::int64_t now, bool mustChange = false);
    // The administrator's lock: no sign-in and no session until unlock.
    void lock(const std::string& code);
    // Lifts the administrator's lock and any lock for wrong passwords.
    void unlock(const std::string& code);
    std::vector<OperatorAccount> list();

private:
    // Name of a registered operator; EHostError when not registered.
    std::string registeredName(const std::string& code);
    bool hasPassword(const std::string& code);

    db::SociDatabase& m_db;
    PasswordHash m_hash;
};

}  // namespace pla013::appserver
