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

AuthMode readAuthOption(const std::string& value) {
    const auto mode = parseAuthMode(value);
    if (!mode) throw std::invalid_argument("--auth: expected required or off, got \"" + value + "\"");
    return *mode;
}

AuthMode authFor(const std::string& host, std::optional<AuthMode> asked) {
    const bool loopback = net::isLoopbackHost(host);
    if (asked == AuthMode::Off && !loopback)
        throw std::invalid_argument(
            "--auth off: só num endereço de loopback; um servidor que a rede alcança precisa saber quem o chama "
            "(a entrada com senha mantém cada operador nas suas filiais)");
    return asked.value_or(loopback ? AuthMode::Off : AuthMode::Required);
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
        if (readTlsOption(args, i, options, result.plainHttp) || readLimitOption(args, i, options)) continue;
        if (i + 1 >= args.size())
            throw std::invalid_argument(arg.rfind("--", 0) == 0 ? arg + " needs a value" : "unknown argument " + arg);
        const std::string& value = args[++i];
        if (arg == "--db") {
            result.db = value;
        } else if (arg == "--listen") {
            // A bare PORT listens on the default (loopback) host.
            readListenAddress(value, options, options.host);
        } else if (arg == "--log-level") {
            const auto level = parseLogLevel(value);
            if (!level)
                throw std::invalid_argument("--log-level: expected quiet, info or debug, got \"" + value + "\"");
            options.logLevel = *level;
        } else if (arg == "--threads") {
            options.workerThreads = parseThreads(value);
        } else if (arg == "--auth") {
            auth = readAuthOption(value);
        } else {
            throw std::invalid_argument("unknown option " + arg);
        }
    }
    checkListenSecurity(options, result.plainHttp);
    options.auth = authFor(options.host, auth);
    return result;
}

std::string AppServerCommandLine::usage() {
    return "usage: pla013-server [--db PATH|URL] [--listen HOST:PORT] [--log-level quiet|info|debug] [--threads N]\n"
           "                     [--auth required|off] [--tls-cert FILE --tls-key FILE | --plain-http]\n"
           "                     [--call-timeout SECONDS] [--stop-grace SECONDS]\n";
}

bool readLimitOption(const std::vector<std::string>& args, std::size_t& i, AppServerOptions& options) {
    const std::string& arg = args[i];
    const struct {
        const char* name;
        std::chrono::milliseconds* value;
        int least;
    } limits[] = {{"--call-timeout", &options.callTimeout, 1}, {"--stop-grace", &options.stopGrace, 0}};
    for (const auto& limit : limits) {
        const std::string name = limit.name;
        std::string text;
        if (arg == name) {
            if (i + 1 >= args.size()) throw std::invalid_argument(name + " needs a value");
            text = args[++i];
        } else if (arg.rfind(name + "=", 0) == 0) {
            text = arg.substr(name.size() + 1);
        } else {
            continue;
        }
        if (text.empty() || text.size() > 4 || text.find_first_not_of("0123456789") != std::string::npos ||
            std::stoi(text) < limit.least || std::stoi(text) > 3600)
            throw std::invalid_argument(name + ": expected a number of seconds from " + std::to_string(limit.least) +
                                        " to 3600, got \"" + text + "\"");
        *limit.value = std::chrono::seconds(std::stoi(text));
        return true;
    }
    return false;
}

void readListenAddress(const std::string& text, AppServerOptions& options,
                       const std::optional<std::string>& defaultHost) {
    net::HostPort address;
    try {
        address = net::HostPort::parse(text, defaultHost);
    } catch (const net::HostPortError& e) {
        throw std::invalid_argument(std::string("--listen: ") + e.what());
    }
    if (address.tls)
        throw std::invalid_argument("--listen: escreva HOST:PORT, não \"" + text +
                                    "\"; o servidor fala TLS quando recebe --tls-cert e --tls-key");
    options.host = address.host;
    options.port = address.port;
}

bool readTlsOption(const std::vector<std::string>& args, std::size_t& i, AppServerOptions& options, bool& plainHttp) {
    const std::string& arg = args[i];
    if (arg == "--plain-http") {
        plainHttp = true;
        return true;
    }
    for (const auto& [name, file] : {std::pair<std::string, std::string*>{"--tls-cert", &options.tlsCertFile},
                                     std::pair<std::string, std::string*>{"--tls-key", &options.tlsKeyFile}}) {
        if (arg == name) {
            if (i + 1 >= args.size()) throw std::invalid_argument(name + " needs a value");
            *file = args[++i];
        } else if (arg.rfind(name + "=", 0) == 0) {
            *file = arg.substr(name.size() + 1);
        } else {
            continue;
        }
        if (file->empty()) throw std::invalid_argument(name + " needs a value");
        return true;
    }
    return false;
}

void checkListenSecurity(const AppServerOptions& options, bool plainHttp) {
    if (options.tlsCertFile.empty() != options.tlsKeyFile.empty())
        throw std::invalid_argument(
            std::string("--tls-cert e --tls-key vão juntos: o servidor precisa do certificado e da sua chave "
                        "privada (falta ") +
            (options.tlsCertFile.empty() ? "--tls-cert" : "--tls-key") + ")");
    if (!options.tlsCertFile.empty() || plainHttp || net::isLoopbackHost(options.host)) return;
    throw std::invalid_argument(
        "--listen " + net::formatHostPort(options.host, options.port) +
        ": escutar sem TLS num endereço que não é de loopback faria senhas e custos de receitas atravessarem a rede "
        "legíveis por qualquer um no caminho; dê --tls-cert e --tls-key, ou --plain-http se o servidor está atrás "
        "de uma rede em que você confia");
}

}  // namespace pla013::appserver
