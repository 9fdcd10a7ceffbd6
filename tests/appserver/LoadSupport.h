#pragma once
// Raw loopback clients for the tests of the server under load: connections
// from a chosen 127.0.0.x address (each counts as another client address),
// requests sent whole, answers read until the server closes, and the
// server's log lines kept for the test to count.

#include <chrono>
#include <cstddef>
#include <mutex>
#include <string>
#include <vector>

#include "host/Ports.h"
#include "platform/appserver/AppServerOptions.h"

namespace servertest {

// A TCP connection from source (a 127.0.0.x address) to the loopback port;
// a receive buffer of receiveBuffer bytes when not 0 (a client that does not
// read then fills it at once). -1 when refused.
int connectFrom(const std::string& source, int port, int receiveBuffer = 0);
bool sendAll(int fd, const std::string& bytes);
// A POST /call of body.
std::string callRequest(const std::string& body);

struct RawAnswer {
    std::string bytes;
    bool closed = false;  // the server closed the connection within the bound
    int status() const;   // of the first answer; 0 when none
};
// What the server sends until it closes the connection or the bound passes.
RawAnswer readUntilClosed(int fd, std::chrono::milliseconds bound);

// The lines a server logs, kept; options() logs at info into it.
class LogLines {
public:
    pla013::appserver::AppServerOptions options();
    std::vector<std::string> all() const;
    // Lines that contain every part.
    std::size_t count(const std::vector<std::string>& parts) const;
    // Waits until count(parts) reaches n, at most bound; whether it did.
    bool waitFor(const std::vector<std::string>& parts, std::size_t n, std::chrono::milliseconds bound) const;

private:
    mutable std::mutex m_mutex;
    std::vector<std::string> m_lines;
};

}  // namespace servertest

namespace servertest {

// A generated database of 10 000 dishes (SQLite), made once per test run: a
// call for every dish of a branch answers megabytes.
const std::string& generatedDatabase();
// GetRelCompRecPL for branch 0002 over every dish, and over one dish.
std::string everyDishCall();
std::vector<pla013::host::CallArg> oneDishArgs();

}  // namespace servertest
