// pla013-server: serves the remote data modules of the dish reports.
//
// The options are read by AppServerCommandLine. The address is printed on
// standard output once the server accepts calls; SIGINT or SIGTERM stops it
// cleanly. Exit status: 0 stopped by a signal, 1 the database or the address
// could not be opened, 2 bad options.

#include <pthread.h>
#include <sys/resource.h>

#include <csignal>
#include <exception>
#include <iostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/appserver/AppServer.h"
#include "platform/appserver/AppServerOptions.h"
#include "platform/db/DatabaseInitializer.h"
#include "platform/net/HostPort.h"

int main(int argc, char** argv) {
    using pla013::appserver::AppServerCommandLine;
    AppServerCommandLine commandLine;
    try {
        commandLine = AppServerCommandLine::parse(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const std::invalid_argument& e) {
        std::cerr << "pla013-server: " << e.what() << "\n" << AppServerCommandLine::usage();
        return 2;
    }
    if (commandLine.help) {
        std::cout << AppServerCommandLine::usage();
        return 0;
    }

    // A connection is a descriptor: the server holds up to 1 000 of them,
    // more than the usual soft limit leaves room for.
    rlimit files{};
    if (::getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < files.rlim_max) {
        files.rlim_cur = files.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &files);
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
        const std::string db = commandLine.db;
        const std::string location = pla013::db::openDatabase(db)->location();
        pla013::appserver::AppServer server([db] { return pla013::db::openDatabase(db); }, commandLine.options);
        server.start();
        // " tls" after the line that plain HTTP prints: readers of that line
        // still find the address where they did.
        std::cout << "pla013-server listening on " << pla013::net::formatHostPort(server.host(), server.port())
                  << " (database " << location << ")" << (commandLine.options.tlsCertFile.empty() ? "" : " tls")
                  << std::endl;

        int received = 0;
        sigwait(&stopSignals, &received);
        server.stop();
        std::cout << "pla013-server stopped (" << (received == SIGINT ? "SIGINT" : "SIGTERM") << ")" << std::endl;
    } catch (const std::exception& e) {
        std::cerr << "pla013-server: " << e.what() << std::endl;
        return 1;
    }
    return 0;
}
