#pragma once
// How an AppServer listens, logs and limits what it accepts.

#include <chrono>
#include <cstddef>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "platform/appserver/AccessControl.h"

namespace pla013::appserver {

// quiet: nothing; info: one line per call; debug: also the other requests,
// the peer, the sizes and the error messages.
enum class LogLevel { Quiet, Info, Debug };

std::optional<LogLevel> parseLogLevel(std::string_view text);  // "quiet", "info", "debug"

// off: calls need no sign-in (a token, when sent, is still checked and
// bounds the call); required: every call needs a session.
enum class AuthMode { Off, Required };

std::optional<AuthMode> parseAuthMode(std::string_view text);  // "off", "required"

// 127.0.0.0/8, ::1 and "localhost".
bool isLoopbackHost(const std::string& host);

struct AppServerOptions {
    // Loopback unless the caller asks for more.
    std::string host = "127.0.0.1";
    // 0: any free port; AppServer::port() tells which.
    int port = 0;
    LogLevel logLevel = LogLevel::Info;
    // Receives each log line (without newline), from the worker threads one
    // at a time; empty: standard error.
    std::function<void(const std::string&)> logSink;
    // Larger request bodies are refused with 413 before they are read.
    std::size_t maxBodyBytes = std::size_t(1) << 20;
    // Calls served at once; each holds its own database session.
    int workerThreads = 4;
    // Longest wait for the next bytes of a request; also bounds how long
    // stop() waits for an idle connection.
    std::chrono::milliseconds readTimeout{5000};
    // Longest stall while sending an answer.
    std::chrono::milliseconds writeTimeout{60000};
    AuthMode auth = AuthMode::Off;
    // Sessions, lockouts and their clock.
    AccessPolicy access;
    // Records sign-ins, calls and refusals in AUDITORIA.
    bool audit = true;
};

// What the command line of a stand-alone server asks for:
//   [--db PATH|URL] [--listen HOST:PORT] [--log-level quiet|info|debug] [--threads N]
//   [--auth required|off]
// Sign-in is required by default on an address that is not loopback, and
// cannot be turned off there.
struct AppServerCommandLine {
    bool help = false;  // --help or -h: print usage() and do nothing else
    std::string db;     // empty: the sample database
    AppServerOptions options;

    // Reads the arguments after the program name. std::invalid_argument with
    // a clear text (naming the option) on an unknown option, a missing value
    // or a bad one; reading stops at --help.
    static AppServerCommandLine parse(const std::vector<std::string>& args);
    // One line, newline included.
    static std::string usage();
};

}  // namespace pla013::appserver
