#pragma once
// Messages of the application-server protocol (docs/protocol.md). Both the
// transport and the server build and read them here, so the two cannot drift.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "host/Ports.h"
#include "host/Variant.h"

namespace pla013::net {

inline constexpr int kProtocolVersion = 1;
inline constexpr const char* kCallPath = "/call";
inline constexpr const char* kHealthPath = "/health";
inline constexpr const char* kSessionPath = "/session";
inline constexpr const char* kJsonContentType = "application/json; charset=utf-8";

// "text", "textref", "int32", "date".
const char* argKindName(host::CallArg::Kind kind);
std::optional<host::CallArg::Kind> parseArgKind(std::string_view name);

struct CallRequest {
    int version = kProtocolVersion;
    std::string server;
    std::string method;
    std::vector<host::CallArg> args;
};

// {"version":1,"server":S,"method":M,"args":[{"kind":K,"value":V},...]}.
// Each argument is converted to its kind first: text from any value that
// converts to text (Null gives ""), int32 from an integer within 32 bits, date
// from a date or number. A value that does not convert is a ProtocolError
// (bad_arguments) naming the argument's position.
std::string encodeCallRequest(const std::string& server, const std::string& method,
                              const std::vector<host::CallArg>& args);

// Reads a request body. ProtocolError codes: bad_json (not JSON),
// unsupported_version, bad_request (members missing or mistyped),
// bad_arguments (an argument whose value does not fit its kind).
CallRequest decodeCallRequest(std::string_view body);

// {"version":1,"result":<variant>}.
std::string encodeCallResult(const host::Variant& result);
// {"version":1,"error":{"code":C,"message":M}}; never throws.
std::string encodeError(const std::string& code, const std::string& message);

struct RemoteError {
    std::string code;
    std::string message;
};

// Reads a success body; ProtocolError when it is not one (the message says
// what was wrong). A body carrying "error" is reported with its message.
host::Variant decodeCallResponse(std::string_view body);
// The error carried by a body, when it is a well-formed error message.
std::optional<RemoteError> decodeError(std::string_view body);

// {"version":1,"status":"ok","modules":{...}} from GET /health.
// "signin": "required" or "optional" (absent from servers before sign-in:
// optional).
struct HealthInfo {
    int version = 0;
    std::string status;
    bool signInRequired = false;
};
HealthInfo decodeHealth(std::string_view body);

// POST /session: {"version":1,"operator":CODE,"password":TEXT}.
struct SignInRequest {
    std::string operatorCode;
    std::string password;
};
std::string encodeSignIn(const SignInRequest& request);
// ProtocolError bad_json, unsupported_version or bad_request.
SignInRequest decodeSignIn(std::string_view body);

// {"version":1,"token":TEXT,"expires":SECONDS}.
struct SignInAnswer {
    std::string token;
    long long expires = 0;
};
std::string encodeSignInAnswer(const SignInAnswer& answer);
// ProtocolError when the body is not such an answer.
SignInAnswer decodeSignInAnswer(std::string_view body);

}  // namespace pla013::net
