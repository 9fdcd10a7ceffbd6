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
// The value of --auth; std::invalid_argument naming the option otherwise.
AuthMode readAuthOption(const std::string& value);
// What a server listening on host does: as asked, else required beyond
// loopback and off on it. std::invalid_argument for off beyond loopback.
AuthMode authFor(const std::string& host, std::optional<AuthMode> asked);

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
    // Connections held, in all and per client address (an IPv6 /64 counts
    // as one): past a cap the oldest idle connection makes room, and only
    // when none is idle is the new one refused (503).
    std::size_t maxConnections = 1000;
    std::size_t maxConnectionsPerAddress = 256;
    // Calls waiting for a worker, in all; calls of one client address waiting
    // or running. One more is refused at once (503 too_many_calls).
    std::size_t maxWaitingCalls = 64;
    std::size_t maxCallsPerAddress = 16;
    // A call's time budget, from the moment it arrived whole: its database
    // statement is stopped when the budget passes and the client is told so
    // (504 call_timeout); a call still waiting for a worker then is refused
    // as too_many_calls (it never ran).
    std::chrono::milliseconds callTimeout{30000};
    // An answer is sent as it is encoded; at most this much of it waits for a
    // client that reads slowly, and a client that leaves that much waiting
    // and takes nothing for answerStall is cut off.
    std::size_t maxHeldBytes = std::size_t(4) << 20;
    std::chrono::milliseconds answerStall{10000};
    // How long stop() lets waiting and running calls finish and send their
    // answers before it closes what is left.
    std::chrono::milliseconds stopGrace{10000};
    AuthMode auth = AuthMode::Off;
    // Sessions, lockouts and their clock.
    AccessPolicy access;
    // Records sign-ins, calls and refusals in AUDITORIA.
    bool audit = true;

    // TLS. PEM files of the server's certificate chain and of its private
    // key: given both, every connection speaks TLS (1.2 at least); neither:
    // plain HTTP. AppServer::start() reads them.
    std::string tlsCertFile;
    std::string tlsKeyFile;
};

// What the command line of a stand-alone server asks for:
//   [--db PATH|URL] [--listen HOST:PORT] [--log-level quiet|info|debug] [--threads N]
//   [--auth required|off] [--tls-cert FILE --tls-key FILE | --plain-http]
//   [--call-timeout SECONDS] [--stop-grace SECONDS]
// Sign-in is required by default on an address that is not loopback, and
// cannot be turned off there.
struct AppServerCommandLine {
    bool help = false;  // --help or -h: print usage() and do nothing else
    std::string db;     // empty: the sample database
    AppServerOptions options;

    // TLS: --plain-http lets the server listen beyond loopback without TLS.
    bool plainHttp = false;

    // Reads the arguments after the program name. std::invalid_argument with
    // a clear text (naming the option) on an unknown option, a missing value
    // or a bad one; reading stops at --help.
    static AppServerCommandLine parse(const std::vector<std::string>& args);
    // One line, newline included.
    static std::string usage();
};

// Reads --call-timeout SECONDS or --stop-grace SECONDS (also written
// --OPTION=SECONDS; a whole number, 1 to 3600 and 0 to 3600) at args[i] into
// options, leaving i on the last argument read; false, and nothing read,
// when args[i] is neither. std::invalid_argument naming the option on a
// missing or bad value.
bool readLimitOption(const std::vector<std::string>& args, std::size_t& i, AppServerOptions& options);

// TLS on the command lines that start a server (pla013-server, pla013 serve).
//
// Reads a --listen address into options.host and options.port; with
// defaultHost, a bare PORT listens there. std::invalid_argument naming
// --listen on an address that is not one, and on "https://...": TLS comes
// with its files, given by the options below.
void readListenAddress(const std::string& text, AppServerOptions& options,
                       const std::optional<std::string>& defaultHost = std::nullopt);
// Reads --tls-cert FILE, --tls-key FILE (also written --OPTION=FILE) or
// --plain-http at args[i] into options and plainHttp, leaving i on the last
// argument read; false, and nothing read, when args[i] is none of them.
// std::invalid_argument when a file name is missing.
bool readTlsOption(const std::vector<std::string>& args, std::size_t& i, AppServerOptions& options, bool& plainHttp);
// The rules of a server's listening, checked once every option is read:
// both TLS files or neither, and a host other than loopback without TLS only
// with plainHttp, since passwords and recipe costs would otherwise cross the
// network readable by anyone on the way. std::invalid_argument, in
// Portuguese, saying why and what to give.
void checkListenSecurity(const AppServerOptions& options, bool plainHttp);

}  // namespace pla013::appserver
