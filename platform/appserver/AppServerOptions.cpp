#include "platform/appserver/AppServerOptions.h"

#include "platform/net/HostPort.h"

namespace pla013::appserver {

namespace {

int parseThreads(const std::string& text) {
    if (text.empty() || text.size() > 3 || text.find_first_not_of("0123456789") != std::string::npos ||
        std::stoi(text) < 1 || std::stoi(text) > 64)
        throw std::invalid_argument("--threads: expected a number from 1 to 64, got \"" + text + "\"");
    return std::stoi(text);
}

}  // namespace

std::optional<LogLevel> parseLogLevel(std::string_view text) {
    if (text == "quiet") return LogLevel::Quiet;
    if (text == "info") return LogLevel::Info;
    if (text == "debug") return LogLevel::Debug;
    return std::nullopt;
}

std::optional<AuthMode> parseAuthMode(std::string_view text) {
    if (text == "off") return AuthMode::Off;
    if (text == "required") return AuthMode::Required;
    return std::nullopt;
}

bool isLoopbackHost(const std::string& host) {
    return host == "localhost" || host == "::1" || host.rfind("127.", 0) == 0;
}

AppServerCommandLine AppServerCommandLine::parse(const std::vector<std::string>& args) {
    AppServerCommandLine result;
    std::optional<AuthMode> auth;
    AppServerOptions& options = result.options;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--help" || arg == "-h") {
            result.help = true;
            return result;
        }
        if (i + 1 >= args.size())
            throw std::invalid_argument(arg.rfind("--", 0) == 0 ? arg + " needs a value" : "unknown argument " + arg);
        const std::string& value = args[++i];
        if (arg == "--db") {
            result.db = value;
        } else if (arg == "--listen") {
            // A bare PORT listens on the default (loopback) host.
            try {
                const net::HostPort address = net::HostPort::parse(value, options.host);
                options.host = address.host;
                options.port = address.port;
            } catch (const net::HostPortError& e) {
                throw std::invalid_argument(std::string("--listen: ") + e.what());
            }
        } else if (arg == "--log-level") {
            const auto level = parseLogLevel(value);
            if (!level)
                throw std::invalid_argument("--log-level: expected quiet, info or debug, got \"" + value + "\"");
            options.logLevel = *level;
        } else if (arg == "--threads") {
            options.workerThreads = parseThreads(value);
        } else if (arg == "--auth") {
            auth = parseAuthMode(value);
            if (!auth) throw std::invalid_argument("--auth: expected required or off, got \"" + value + "\"");
        } else {
            throw std::invalid_argument("unknown option " + arg);
        }
    }
    const bool loopback = isLoopbackHost(options.host);
    if (auth == AuthMode::Off && !loopback)
        throw std::invalid_argument(
            "--auth off: only on a loopback address; a server that the network reaches "
            "must know who calls it (sign-in keeps each operator to their branches)");
    options.auth = auth.value_or(loopback ? AuthMode::Off : AuthMode::Required);
    return result;
}

std::string AppServerCommandLine::usage() {
    return "usage: pla013-server [--db PATH|URL] [--listen HOST:PORT] [--log-level quiet|info|debug] [--threads N]\n"
           "                     [--auth required|off]\n";
}

}  // namespace pla013::appserver
