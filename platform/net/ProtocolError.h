#pragma once
// A message of the application-server protocol that cannot be read or
// written: malformed JSON, a missing member, a value of the wrong kind. The
// code is one of the error codes of docs/protocol.md.

#include <string>

#include "host/Errors.h"

namespace pla013::net {

class ProtocolError : public host::EHostError {
public:
    ProtocolError(std::string code, const std::string& message);
    ~ProtocolError() override;
    const std::string& code() const { return m_code; }

private:
    std::string m_code;
};

// Error codes carried in {"error": {"code": ...}}.
namespace errc {
inline constexpr const char* BadJson = "bad_json";
inline constexpr const char* BadRequest = "bad_request";
inline constexpr const char* UnsupportedVersion = "unsupported_version";
inline constexpr const char* UnknownModule = "unknown_module";
inline constexpr const char* UnknownMethod = "unknown_method";
inline constexpr const char* BadArguments = "bad_arguments";
inline constexpr const char* PayloadTooLarge = "payload_too_large";
inline constexpr const char* UriTooLong = "uri_too_long";
inline constexpr const char* HeaderTooLarge = "header_too_large";
inline constexpr const char* RequestTimeout = "request_timeout";
inline constexpr const char* TooManyConnections = "too_many_connections";
// The server is busy: the call waited no further and did not run.
inline constexpr const char* TooManyCalls = "too_many_calls";
// The call ran past the server's time budget and was stopped.
inline constexpr const char* CallTimeout = "call_timeout";
inline constexpr const char* NotFound = "not_found";
inline constexpr const char* DatabaseError = "database_error";
inline constexpr const char* ServerError = "server_error";
inline constexpr const char* EncodingError = "encoding_error";
// Sign-in (docs/protocol.md, *Sign-in*).
inline constexpr const char* BadCredentials = "bad_credentials";
inline constexpr const char* Locked = "locked";
inline constexpr const char* TooManyAttempts = "too_many_attempts";
inline constexpr const char* AccountLocked = "account_locked";
inline constexpr const char* PasswordExpired = "password_expired";
inline constexpr const char* Unauthenticated = "unauthenticated";
inline constexpr const char* ForbiddenBranch = "forbidden_branch";
}  // namespace errc

}  // namespace pla013::net
