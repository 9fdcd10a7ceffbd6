// pla013-web: serves the dish report form to web browsers (docs/web.md).
//
// The options are read by WebOptions. The address is printed on standard
// output once the page is served; SIGINT or SIGTERM ends the forms (their
// filters kept) and stops. Exit status: 0 stopped by a signal, 1 the
// database, the address or the certificate could not be opened, 2 bad
// options.

#include <pthread.h>

#include <csignal>
#include <cstdlib>
#include <exception>
#include <iostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/web/WebOptions.h"
#include "platform/web/WebServer.h"

int main(int argc, char** argv) {
    using pla013::web::WebOptions;
    WebOptions options;
    try {
        options = WebOptions::parse(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const std::invalid_argument& e) {
        std::cerr << "pla013-web: " << e.what() << "\n\n" << WebOptions::usage();
        return 2;
    }
    if (options.help) {
        std::cout << WebOptions::usage();
        return 0;
    }

    // Before any thread starts. The forms' processes render PDFs without a
    // display; a browser that goes away mid-answer must not end this one.
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    std::signal(SIGPIPE, SIG_IGN);
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    try {
        pla013::web::WebServer server(options);
        server.start();
        std::cout << "pla013-web listening on " << server.url() << " (servers " << server.servers() << ")" << std::endl;
        int received = 0;
        sigwait(&stopSignals, &received);
        server.stop();
        std::cout << "pla013-web stopped (" << (received == SIGINT ? "SIGINT" : "SIGTERM") << ")" << std::endl;
    } catch (const std::exception& e) {
        std::cerr << "pla013-web: " << e.what() << std::endl;
        return 1;
    }
    return 0;
}
