#include "platform/runtime/CommandLine.h"

#include <cerrno>
#include <chrono>
#include <cinttypes>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <stdexcept>
#include <thread>

#include "platform/appserver/AppServer.h"
#include "platform/appserver/AppServerOptions.h"
#include "platform/db/AccessRoles.h"
#include "platform/db/DataGenerator.h"
#include "platform/db/DatabaseInitializer.h"
#include "platform/db/SociDatabase.h"
#include "platform/net/HostPort.h"
#include "platform/reports/ReportRunner.h"
#include "platform/runtime/AccessCommands.h"
#include "platform/runtime/DriveCommand.h"
#include "platform/runtime/HostSession.h"
#include "platform/runtime/ModuleLoader.h"
#include "platform/runtime/PrintableStream.h"
#include "platform/runtime/ReportCommand.h"
#include "platform/script/ScriptRunner.h"
#include "platform/script/ScriptUi.h"

namespace pla013::runtime {

namespace {

std::string usage() {
    return "Usage: pla013 [context options] COMMAND\n"
           "\n"
           "Commands:\n"
           "  db init PATH       create a catering database with the sample data at PATH (SQLite file)\n"
           "                     or in an empty PostgreSQL database (postgresql://...), or create the\n"
           "                     Firebird database a firebird://... URL names\n"
           "  db generate PATH [--dishes N] [--branches N] [--services N] [--months N] [--seed N] [--photos]\n"
           "                     create a database of that size with made-up data, the same for a seed\n"
           "                     (docs/database.md)\n"
           "  db roles URL       create the PostgreSQL roles pla013_servidor and pla013_escritorio and the\n"
           "                     branch wall of the server's role (again: back to what they should be)\n"
           "  script FILE|-      drive the dish report form with the steps of FILE (docs/script.md)\n"
           "  drive              drive the form one step a line from standard input, events as JSON lines\n"
           "                     on standard output (the web host's forms; docs/script.md)\n"
           "  report --report CODE [filters] (--out FILE | --preview | --print)\n"
           "                     run one report of the family (pla013 report --help lists filters and reports)\n"
           "  serve [--listen HOST:PORT] [--auth required|off] [--tls-cert FILE --tls-key FILE | --plain-http]\n"
           "        [--call-timeout SECONDS] [--stop-grace SECONDS]\n"
           "                     run the application server in the foreground (default 127.0.0.1:8013);\n"
           "                     beyond loopback it needs TLS, or --plain-http behind a trusted network,\n"
           "                     and signs operators in\n"
           "  operator add|passwd|lock|unlock CODE, operator list\n"
           "                     operators' passwords and locks (--password-stdin reads the password\n"
           "                     from standard input; passwd --expire)\n"
           "  audit [--since YYYY-MM-DD] [--operator CODE] [--prune-before YYYY-MM-DD]\n"
           "                     the record of sign-ins, calls and report runs; prunes old records\n"
           "\n" +
           HostOptions::usage();
}

volatile std::sig_atomic_t g_stop = 0;
void onSignal(int) { g_stop = 1; }

// A whole number for option; std::invalid_argument (exit 2) otherwise.
std::uint64_t wholeNumber(const std::string& option, const std::string& value) {
    char* end = nullptr;
    errno = 0;
    const unsigned long long number = std::strtoull(value.c_str(), &end, 10);
    if (value.empty() || value[0] < '0' || value[0] > '9' || *end != '\0' || errno == ERANGE)
        throw std::invalid_argument(option + " precisa de um número inteiro, não '" + value + "'.");
    return number;
}

int generateCommand(const std::vector<std::string>& args, std::ostream& out) {
    pla013::db::GeneratorOptions options;
    std::string target;
    for (std::size_t i = 2; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--photos") {
            options.photos = true;
            continue;
        }
        if (a.rfind("--", 0) != 0) {
            if (!target.empty())
                throw std::invalid_argument("db generate cria um banco de cada vez; '" + a + "' sobra.");
            target = a;
            continue;
        }
        if (a != "--dishes" && a != "--branches" && a != "--services" && a != "--months" && a != "--seed")
            throw std::invalid_argument("opção desconhecida de db generate: " + a + ".");
        if (i + 1 >= args.size()) throw std::invalid_argument(a + " precisa de um valor.");
        const std::uint64_t n = wholeNumber(a, args[++i]);
        const int bounded = int(std::min<std::uint64_t>(n, 2000000000));
        if (a == "--dishes") options.dishes = bounded;
        if (a == "--branches") options.branches = bounded;
        if (a == "--services") options.services = bounded;
        if (a == "--months") options.months = bounded;
        if (a == "--seed") options.seed = n;
    }
    if (target.empty()) throw std::invalid_argument("db generate precisa do caminho ou endereço do banco a criar.");
    pla013::db::checkGeneratorOptions(options);
    const auto started = std::chrono::steady_clock::now();
    const pla013::db::GeneratedRows rows = pla013::db::generateDatabase(target, options);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    out << "created " << target << '\n';
    for (const auto& [table, count] : rows) out << table << ' ' << count << '\n';
    char elapsed[32];
    std::snprintf(elapsed, sizeof elapsed, "%.1f", seconds);
    out << "seconds " << elapsed << '\n';
    return 0;
}

int dbCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (args.size() >= 2 && args[1] == "generate") return generateCommand(args, out);
    if (args.size() != 3 || (args[1] != "init" && args[1] != "roles")) {
        err << "usage: pla013 db init PATH\n"
               "       pla013 db generate PATH [--dishes N] [--branches N] [--services N] [--months N] [--seed N] "
               "[--photos]\n"
               "       pla013 db roles URL\n";
        return 2;
    }
    if (args[1] == "roles") {
        pla013::db::grantAccessRoles(args[2]);
        out << "roles " << pla013::db::kServerRole << ' ' << pla013::db::kOfficeRole << '\n';
        return 0;
    }
    pla013::db::initializeDatabase(args[2], true);
    out << "created " << args[2] << '\n';
    return 0;
}

// Launches the module the way the host application does and shows a failure
// to the user; the script goes on.
void launch(ModuleLoader& module, pla013::script::ScriptUi& ui, const host::Variant& argument) {
    auto r = module.iniProc(argument);
    if (r.status == host::msError || r.status == host::msVariantError) ui.ShowError(r.error);
    if (r.status == host::msAbort) ui.emit("abort");
}

int scriptCommand(const HostOptions& options, const std::vector<std::string>& args, std::istream& in, std::ostream& out,
                  std::ostream& err) {
    if (args.size() != 2) {
        err << "usage: pla013 script FILE|-\n";
        return 2;
    }
    std::vector<pla013::script::Step> steps;
    try {
        if (args[1] == "-") {
            steps = pla013::script::parseScript(in);
        } else {
            std::ifstream file(args[1]);
            if (!file) {
                err << "error: cannot read the script " << args[1] << '\n';
                return 2;
            }
            steps = pla013::script::parseScript(file);
        }
    } catch (const pla013::script::ScriptError& e) {
        err << "error: " << e.what() << '\n';
        return 2;
    }

    pla013::script::ScriptUi ui(out, err);
    HostSession::Hooks hooks;
    hooks.reportLine = [&ui](const std::string& line) { ui.emit(line); };
    hooks.preview = [&err](const pla013::reports::PreviewPages& pages) {
        // The script's standard output is the event log: the pages go aside.
        pages.eachPage([&err](const std::string& page) { return bool(err << page << '\n'); });
    };
    hooks.serverLog = [&err](const std::string& line) { err << line << '\n'; };
    hooks.askCredentials = terminalCredentials(err);
    HostSession session(options, ui, hooks);
    ModuleLoader module;
    pla013::script::ScriptHost scriptHost;
    scriptHost.launch = [&](const host::Variant& argument) { launch(module, ui, argument); };
    scriptHost.formCriado = [&module] { return module.formCriado(); };
    scriptHost.lastReportParams = [&session] { return session.reports().lastParamLines(); };
    pla013::script::ScriptRunner runner(ui, scriptHost, out);
    return runner.run(steps, err);
}

int serveCommand(const HostOptions& options, const std::vector<std::string>& args, std::ostream& out,
                 std::ostream& err) {
    std::string listen = "127.0.0.1:8013";
    pla013::appserver::AppServerOptions serverOptions;
    bool plainHttp = false;
    std::optional<pla013::appserver::AuthMode> auth;
    for (std::size_t i = 1; i < args.size(); ++i) {
        if (args[i] == "--listen" && i + 1 < args.size())
            listen = args[++i];
        else if (args[i] == "--auth" && i + 1 < args.size())
            auth = pla013::appserver::readAuthOption(args[++i]);
        else if (args[i].rfind("--listen=", 0) == 0)
            listen = args[i].substr(9);
        else if (!pla013::appserver::readTlsOption(args, i, serverOptions, plainHttp) &&
                 !pla013::appserver::readLimitOption(args, i, serverOptions)) {
            err << "usage: pla013 [--db PATH|URL] serve [--listen HOST:PORT] [--auth required|off] "
                   "[--tls-cert FILE --tls-key FILE | --plain-http] [--call-timeout SECONDS] [--stop-grace SECONDS]\n";
            return 2;
        }
    }
    pla013::appserver::readListenAddress(listen, serverOptions);
    pla013::appserver::checkListenSecurity(serverOptions, plainHttp);
    serverOptions.auth = pla013::appserver::authFor(serverOptions.host, auth);
    auto level = pla013::appserver::parseLogLevel(options.logLevel == "quiet" ? "info" : options.logLevel);
    serverOptions.logLevel = level ? *level : pla013::appserver::LogLevel::Info;
    const std::string db = pla013::db::openDatabase(options.db)->target();
    pla013::appserver::AppServer server([db] { return pla013::db::openDatabase(db); }, serverOptions);
    // The stop signals are caught before the server's threads start.
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    server.start();
    out << "listening on " << pla013::net::formatHostPort(server.host(), server.port()) << " (database " << db << ")"
        << (serverOptions.tlsCertFile.empty() ? "" : " tls") << std::endl;
    while (!g_stop) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    server.stop();
    out << "stopped" << std::endl;
    return 0;
}

}  // namespace

int runCommandLine(std::vector<std::string> args, std::istream& in, std::ostream& terminalOut,
                   std::ostream& terminalErr) {
    PrintableStream out(terminalOut);
    PrintableStream err(terminalErr);
    try {
        HostOptions options = HostOptions::parse(args);
        if (args.empty() || args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
            out << usage();
            return args.empty() ? 2 : 0;
        }
        const std::string& command = args[0];
        if (command == "db") return dbCommand(args, out, err);
        if (command == "script") return scriptCommand(options, args, in, out, err);
        if (command == "drive") return driveCommand(options, args, in, out, err);
        if (command == "report") return runReportCommand(options, args, out, err);
        if (command == "serve") return serveCommand(options, args, out, err);
        if (command == "operator") return operatorCommand(options, args, in, out, err);
        if (command == "audit") return auditCommand(options, args, out, err);
        err << "error: unknown command '" << command << "'\n" << usage();
        return 2;
    } catch (const std::invalid_argument& e) {
        err << "error: " << e.what() << '\n';
        return 2;
    } catch (const std::exception& e) {
        err << "error: " << e.what() << '\n';
        return 1;
    }
}

}  // namespace pla013::runtime
