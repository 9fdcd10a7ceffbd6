// pla013-server: serves the remote data modules of the dish reports.
//
//   pla013-server [--db PATH|URL] [--listen HOST:PORT] [--log-level quiet|info|debug]
//                 [--threads N]
//
// --db: an SQLite file or a postgresql:// URL; by default the sample
// database (created on first use). --listen: loopback port 0 by default,
// which picks a free port. The address is printed on standard output once
// the server accepts calls; SIGINT or SIGTERM stops it cleanly.

#include <csignal>
#include <cstdlib>
#include <iostream>
#include <optional>
#include <string>

#include <pthread.h>

#include "platform/appserver/AppServer.h"
#include "platform/db/DatabaseInitializer.h"
#include "host/Errors.h"

namespace {

using pla013::appserver::AppServer;
using pla013::appserver::AppServerOptions;

constexpr const char* kUsage =
    "usage: pla013-server [--db PATH|URL] [--listen HOST:PORT] [--log-level quiet|info|debug] [--threads N]\n";

struct Usage {
    std::string message;
};

// "HOST:PORT", "[IPv6]:PORT" or "PORT" (loopback).
void parseListen(const std::string& text, AppServerOptions& options) {
    std::string host = options.host;
    std::string port = text;
    if (!text.empty() && text.front() == '[') {
        const auto close = text.find(']');
        if (close == std::string::npos || close + 1 >= text.size() || text[close + 1] != ':')
            throw Usage{"--listen: expected [HOST]:PORT, got \"" + text + "\""};
        host = text.substr(1, close - 1);
        port = text.substr(close + 2);
    } else if (const auto colon = text.rfind(':'); colon != std::string::npos) {
        host = text.substr(0, colon);
        port = text.substr(colon + 1);
    }
    if (host.empty()) throw Usage{"--listen: the host is empty in \"" + text + "\""};
    if (port.empty() || port.find_first_not_of("0123456789") != std::string::npos || port.size() > 5 ||
        std::stoi(port) > 65535)
        throw Usage{"--listen: \"" + port + "\" is not a port number (0 to 65535)"};
    options.host = host;
    options.port = std::stoi(port);
}

int parseThreads(const std::string& text) {
    if (text.empty() || text.size() > 3 || text.find_first_not_of("0123456789") != std::string::npos ||
        std::stoi(text) < 1 || std::stoi(text) > 64)
        throw Usage{"--threads: expected a number from 1 to 64, got \"" + text + "\""};
    return std::stoi(text);
}

}  // namespace

int main(int argc, char** argv) {
    std::string db;
    AppServerOptions options;
    try {
        for (int i = 1; i < argc; ++i) {
            const std::string arg = argv[i];
            if (arg == "--help" || arg == "-h") {
                std::cout << kUsage;
                return 0;
            }
            if (i + 1 >= argc)
                throw Usage{arg.rfind("--", 0) == 0 ? arg + " needs a value" : "unknown argument " + arg};
            const std::string value = argv[++i];
            if (arg == "--db") {
                db = value;
            } else if (arg == "--listen") {
                parseListen(value, options);
            } else if (arg == "--log-level") {
                const auto level = pla013::appserver::parseLogLevel(value);
                if (!level) throw Usage{"--log-level: expected quiet, info or debug, got \"" + value + "\""};
                options.logLevel = *level;
            } else if (arg == "--threads") {
                options.workerThreads = parseThreads(value);
            } else {
                throw Usage{"unknown option " + arg};
            }
        }
    } catch (const Usage& u) {
        std::cerr << "pla013-server: " << u.message << "\n" << kUsage;
        return 2;
    }

    // The stop signals are taken by sigwait below; blocked before any thread
    // starts, so that no worker receives them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    try {
        // Opened once here: a database that cannot be reached fails before
        // the port is taken, the default one is created, and the location
        // comes out with any password masked.
        const std::string location = pla013::db::openDatabase(db)->location();
        AppServer server([db] { return pla013::db::openDatabase(db); }, options);
        server.start();
        std::cout << "pla013-server listening on " << server.address() << " (database " << location << ")" << std::endl;

        int received = 0;
        sigwait(&stopSignals, &received);
        server.stop();
        std::cout << "pla013-server stopped (" << (received == SIGINT ? "SIGINT" : "SIGTERM") << ")" << std::endl;
    } catch (const pla013::host::EHostError& e) {
        std::cerr << "pla013-server: " << e.what() << std::endl;
        return 1;
    } catch (const std::exception& e) {
        std::cerr << "pla013-server: " << e.what() << std::endl;
        return 1;
    }
    return 0;
}
