#pragma once
// Who may call the server: operators sign in with a password and get a
// token; each call then names its operator by the token alone. Everything
// lives in the catering database (OPERSENHA, OPERSESSAO, ACESSOFALHA), so
// that every server over one database accepts the same tokens.
//
// Tokens are 256 random bits, kept only as a hash; a session ends after
// idleExpiry without calls, after absoluteExpiry in any case, at sign-out,
// and when an administrator locks the operator.
//
// Wrong passwords: maxFailures within failureWindow lock the operator for
// lockDuration. Attempts during the lock are refused unheard and do not
// extend it; and the address of the operator's last good sign-in is let
// through a lock that others caused, so that nobody can keep an operator
// out for ever. maxAddressFailures within failureWindow from one address
// make that address wait until the oldest of them is out of the window.

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "platform/appserver/BranchScope.h"
#include "platform/appserver/PasswordHash.h"
#include "platform/db/SociDatabase.h"

namespace pla013::appserver {

struct AccessPolicy {
    std::chrono::seconds idleExpiry{30 * 60};
    std::chrono::seconds absoluteExpiry{12 * 60 * 60};
    int maxFailures = 5;
    int maxAddressFailures = 20;
    std::chrono::seconds failureWindow{15 * 60};
    std::chrono::seconds lockDuration{15 * 60};
    PasswordCost cost = PasswordCost::interactive();
    // Unix time in seconds; empty: the system clock. Tests move it.
    std::function<std::int64_t()> clock;
};

struct SignInOutcome {
    enum class Result {
        SignedIn,
        BadCredentials,    // 401 bad_credentials
        Locked,            // 429 locked, Retry-After
        AddressThrottled,  // 429 too_many_attempts, Retry-After
        Disabled,          // 403 account_locked: an administrator's lock
        PasswordExpired,   // 403 password_expired
    };
    Result result = Result::BadCredentials;
    std::string token;            // SignedIn
    std::int64_t expiresIn = 0;   // SignedIn: seconds of idleness that end it
    std::int64_t retryAfter = 0;  // Locked, AddressThrottled: seconds
    std::string message;          // for the user, in Portuguese
    std::string operatorCode;     // as asked, trimmed
};

// How a sign-in's result is answered and recorded: the HTTP status, the
// protocol's error code (empty when signed in) and the audit event.
struct SignInVerdict {
    int status;
    std::string code;
    std::string event;
};
SignInVerdict verdictOf(SignInOutcome::Result result);

// Why a token was not accepted.
enum class TokenRefusal { Unknown, Expired };

class AccessControl {
public:
    explicit AccessControl(AccessPolicy policy = {});

    SignInOutcome signIn(db::SociDatabase& db, const std::string& operatorCode, const std::string& password,
                         const std::string& address) const;
    // The signed-in operator of a token, its session marked as used; the
    // refusal otherwise (an ended session is removed).
    std::optional<Caller> authenticate(db::SociDatabase& db, const std::string& token,
                                       TokenRefusal* why = nullptr) const;
    // Ends the token's session; false when there was none.
    bool signOut(db::SociDatabase& db, const std::string& token) const;

    // OPERADOR and OPERFILI of an operator; nothing when not registered.
    static std::optional<Caller> callerOf(db::SociDatabase& db, const std::string& operatorCode);

    std::int64_t now() const;
    const AccessPolicy& policy() const { return m_policy; }
    const PasswordHash& passwords() const { return m_hash; }

    // "12 minutos", "1 minuto", "30 segundos": a wait for the user.
    static std::string waitText(std::int64_t seconds);

private:
    AccessPolicy m_policy;
    PasswordHash m_hash;
};

// The hash a token is kept under.
std::string tokenHash(const std::string& token);

}  // namespace pla013::appserver
