// The server under hostile or unlucky clients, over raw loopback sockets:
// every bad request is answered at once with its status, pipelined and
// half-closed requests are answered, slow and idle connections do not keep a
// normal call waiting, the connections of one address are limited, and
// SIGTERM lets the call in flight finish and a request still arriving come
// in and be answered.
//
// The servers here wait 20 s for a request, and the sockets read for at most
// 10 s: an answer that only comes when the server gives up waiting fails.

#include <gtest/gtest.h>

#include <linux/sockios.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <arpa/inet.h>
#include <netinet/in.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "ServerTestSupport.h"
#include "platform/net/Protocol.h"

using namespace servertest;
using namespace std::chrono_literals;

namespace {

bool sendAll(int fd, const std::string& bytes) {
    for (std::size_t sent = 0; sent < bytes.size();) {
        const ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) return false;
        sent += std::size_t(n);
    }
    return true;
}

struct Answer {
    std::string bytes;
    bool closed = false;  // the server closed the connection within the bound
};

// Everything the server sends until it closes the connection, or until the
// bound passes, or until what came holds `until`.
Answer readUntilClosed(int fd, std::chrono::milliseconds bound = 10s, const char* until = nullptr) {
    Answer answer;
    const auto end = std::chrono::steady_clock::now() + bound;
    char buf[16384];
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
        if (left <= 0ms) return answer;
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, int(left.count())) <= 0) return answer;
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n <= 0) {
            answer.closed = true;
            return answer;
        }
        answer.bytes.append(buf, std::size_t(n));
        if (until && answer.bytes.find(until) != std::string::npos) return answer;
    }
}

// One whole answer on a connection that stays open.
std::string readOneAnswer(int fd) {
    std::string got;
    char buf[4096];
    for (;;) {
        const std::size_t head = got.find("\r\n\r\n");
        const std::size_t length = got.find("Content-Length: ");
        if (head != std::string::npos && length != std::string::npos &&
            got.size() >= head + 4 + std::stoul(got.substr(length + 16)))
            return got;
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 10000) <= 0) return got;
        const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n <= 0) return got;
        got.append(buf, std::size_t(n));
    }
}

int statusOf(const std::string& answer) {
    if (answer.rfind("HTTP/1.1 ", 0) != 0 || answer.size() < 12) return 0;
    return std::stoi(answer.substr(9, 3));
}

std::string post(const std::string& body, const std::string& extraHeaders = "") {
    return "POST /call HTTP/1.1\r\nHost: t\r\nContent-Type: application/json\r\nContent-Length: " +
           std::to_string(body.size()) + "\r\n" + extraHeaders + "\r\n" + body;
}

const std::string kCostTypes = pla013::net::encodeCallRequest(kCost, "ListaTipoCusto", {});
const std::string kHealth = "GET /health HTTP/1.1\r\nHost: t\r\n\r\n";

std::string chunkedBody(std::size_t bytes) {
    std::string out = "POST /call HTTP/1.1\r\nHost: t\r\nTransfer-Encoding: chunked\r\n\r\n";
    const std::string chunk(1024, 'x');
    for (std::size_t n = 0; n < bytes; n += chunk.size()) out += "400\r\n" + chunk + "\r\n";
    return out + "0\r\n\r\n";
}

pla013::appserver::AppServerOptions patientOptions() {
    auto o = quietOptions();
    o.maxBodyBytes = 64 * 1024;
    o.readTimeout = 20s;
    return o;
}

class Abuse : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_server = startServer(sampleDatabase(DbEngine::SQLite), patientOptions()).release();
    }
    static void TearDownTestSuite() {
        delete s_server;
        s_server = nullptr;
    }
    static Answer exchange(const std::string& bytes, bool halfClose = false) {
        const int fd = connectLoopback(s_server->port());
        EXPECT_GE(fd, 0);
        EXPECT_TRUE(sendAll(fd, bytes));
        if (halfClose) ::shutdown(fd, SHUT_WR);
        Answer a = readUntilClosed(fd);
        ::close(fd);
        return a;
    }
    static pla013::appserver::AppServer* s_server;
};

pla013::appserver::AppServer* Abuse::s_server = nullptr;

}  // namespace

TEST_F(Abuse, EachBadRequestIsAnsweredAtOnceWithItsStatus) {
    const struct {
        const char* name;
        std::string request;
        int status;
        const char* code;
    } cases[] = {
        {"not HTTP", "GARBAGE\r\n\r\n", 400, "bad_request"},
        {"two different lengths", "POST /call HTTP/1.1\r\nHost: t\r\nContent-Length: 2\r\nContent-Length: 3\r\n\r\n{}",
         400, "bad_request"},
        {"headers too large", "GET /health HTTP/1.1\r\nHost: t\r\nX-Big: " + std::string(10000, 'a') + "\r\n\r\n", 431,
         "header_too_large"},
        {"long target", "GET /" + std::string(3000, 'a') + " HTTP/1.1\r\nHost: t\r\n\r\n", 414, "uri_too_long"},
        {"target beyond the header limit", "GET /" + std::string(20000, 'a') + " HTTP/1.1\r\nHost: t\r\n\r\n", 414,
         "uri_too_long"},
        {"declared body too large", post(std::string(70 * 1024, ' ')), 413, "payload_too_large"},
        {"chunked body too large", chunkedBody(70 * 1024), 413, "payload_too_large"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Answer a = exchange(c.request);
        EXPECT_TRUE(a.closed);
        EXPECT_EQ(statusOf(a.bytes), c.status) << a.bytes.substr(0, 200);
        EXPECT_NE(a.bytes.find(std::string("\"code\":\"") + c.code + "\""), std::string::npos) << a.bytes;
    }
    EXPECT_EQ(statusOf(exchange(kHealth + "GET /health HTTP/1.1\r\nHost: t\r\nConnection: close\r\n\r\n").bytes), 200);
}

TEST_F(Abuse, PipelinedAndHalfClosedRequestsAreAllAnswered) {
    const Answer piped = exchange(kHealth + post(kCostTypes) + post(kCostTypes, "Connection: close\r\n"));
    EXPECT_TRUE(piped.closed);
    std::vector<std::size_t> starts;
    for (std::size_t at = piped.bytes.find("HTTP/1.1 200"); at != std::string::npos;
         at = piped.bytes.find("HTTP/1.1 200", at + 1))
        starts.push_back(at);
    ASSERT_EQ(starts.size(), 3u) << piped.bytes;
    EXPECT_LT(piped.bytes.find("\"modules\""), starts[1]);
    EXPECT_GT(piped.bytes.rfind("\"fields\""), starts[2]);

    const Answer half = exchange(post(kCostTypes), true);
    EXPECT_TRUE(half.closed);
    EXPECT_EQ(statusOf(half.bytes), 200);
    EXPECT_NE(half.bytes.find("\"fields\""), std::string::npos);
}

TEST_F(Abuse, SlowAndIdleConnectionsDoNotKeepACallWaiting) {
    // 64 clients sending their request a byte at a time, 64 that send nothing.
    std::vector<int> slow, idle;
    for (int i = 0; i < 64; ++i) {
        slow.push_back(connectLoopback(s_server->port()));
        idle.push_back(connectLoopback(s_server->port()));
    }
    std::atomic<bool> done{false};
    std::thread drip([&] {
        const std::string request = post(kCostTypes);
        for (std::size_t i = 0; i < request.size() - 1 && !done; ++i) {
            for (int fd : slow) sendAll(fd, request.substr(i, 1));
            std::this_thread::sleep_for(200ms);
        }
    });
    // A normal call gets its whole answer within a second, again and again.
    pla013::net::HttpTransportOptions quick;
    quick.connectTimeout = quick.readTimeout = quick.deadline = 1s;
    pla013::net::HttpTransport transport(quick);
    for (int i = 0; i < 10; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(transport.Call("127.0.0.1", s_server->port(), kCost, "ListaTipoCusto", {}).packet()->rows.size(), 3u);
        std::this_thread::sleep_for(100ms);
    }
    done = true;
    drip.join();
    for (int fd : slow) ::close(fd);
    for (int fd : idle) ::close(fd);
}

// Whatever part of a request has come, the deadline runs from the moment the
// server waits for it: a silent connection goes quietly, a request still
// arriving is answered 408.
TEST(AbuseDeadline, ARequestStillArrivingAtItsDeadlineIsCut) {
    auto options = quietOptions();
    options.readTimeout = 300ms;
    auto server = startServer(sampleDatabase(DbEngine::SQLite), options);
    const struct {
        const char* name;
        std::string sent;  // at once, then nothing more
        bool drip;         // sent a byte at a time instead
        int status;        // 0: closed without an answer
    } cases[] = {
        {"nothing", "", false, 0},
        {"a header that never ends", "POST /call HTTP/1.1\r\nHost: t\r\n", false, 408},
        {"a byte at a time", post(kCostTypes), true, 408},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const int fd = connectLoopback(server->port());
        Answer a;
        if (!c.drip) {
            sendAll(fd, c.sent);
            a = readUntilClosed(fd);
        }
        for (std::size_t i = 0; c.drip && i < c.sent.size() && !a.closed; ++i) {
            sendAll(fd, c.sent.substr(i, 1));
            const Answer part = readUntilClosed(fd, 100ms);
            a.bytes += part.bytes;
            a.closed = part.closed;
        }
        ::close(fd);
        EXPECT_TRUE(a.closed);
        EXPECT_EQ(statusOf(a.bytes), c.status) << a.bytes;
    }
}

namespace {

// A connection to the server's loopback port from another loopback address
// (all of 127/8 is this machine); -1 when refused.
int connectFrom(const char* address, int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in from{}, to{};
    from.sin_family = to.sin_family = AF_INET;
    ::inet_pton(AF_INET, address, &from.sin_addr);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    to.sin_port = htons(std::uint16_t(port));
    if (::bind(fd, reinterpret_cast<sockaddr*>(&from), sizeof from) != 0 ||
        ::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

int healthStatus(int fd) {
    sendAll(fd, "GET /health HTTP/1.1\r\nHost: t\r\nConnection: close\r\n\r\n");
    const int status = statusOf(readUntilClosed(fd).bytes);
    ::close(fd);
    return status;
}

}  // namespace

// One address holds at most 256 connections at a time: one more closes that
// address's oldest idle connection to make room; others still get in, and
// each connection that ends gives its place back.
TEST(AbuseLimits, ConnectionsAreCountedPerAddressAndGivenBack) {
    auto server = startServer(sampleDatabase(DbEngine::SQLite), patientOptions());
    std::vector<int> held;
    for (int i = 0; i < 256; ++i) held.push_back(connectFrom("127.0.0.1", server->port()));
    ASSERT_EQ(std::count(held.begin(), held.end(), -1), 0);
    EXPECT_EQ(healthStatus(connectFrom("127.0.0.1", server->port())), 200);
    EXPECT_EQ(healthStatus(connectFrom("127.0.0.2", server->port())), 200);
    // The oldest made room; each other held connection asks, is answered and
    // is closed by the server, giving its place back.
    EXPECT_EQ(healthStatus(held.front()), 0);
    for (std::size_t i = 1; i < held.size(); ++i) EXPECT_EQ(healthStatus(held[i]), 200) << i;
    // All places are free again: 256 new connections are held, none closed.
    held.clear();
    for (int i = 0; i < 256; ++i) held.push_back(connectFrom("127.0.0.1", server->port()));
    int answered = 0;
    for (int fd : held) answered += healthStatus(fd) == 200;
    EXPECT_EQ(answered, 256);
}

namespace {

// The server program in a child process over db.
struct ServerProgram {
    pid_t pid = -1;
    int port = 0;
    int out = -1;         // its standard output
    std::string printed;  // its first line
};

ServerProgram startProgram(const std::string& db) {
    ServerProgram p;
    int out[2];
    if (::pipe(out) != 0) return p;
    p.pid = ::fork();
    if (p.pid == 0) {
        // Gone with the test, even when it fails half-way.
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        ::dup2(out[1], 1);
        ::close(out[0]);
        ::execl(PLA013_SERVER_BIN, PLA013_SERVER_BIN, "--db", db.c_str(), "--listen", "127.0.0.1:0", "--log-level",
                "quiet", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(out[1]);
    p.out = out[0];
    // "pla013-server listening on 127.0.0.1:PORT (database ...)"
    p.printed = readUntilClosed(p.out, 20s, "\n").bytes;
    const std::size_t at = p.printed.find("127.0.0.1:");
    if (at != std::string::npos) p.port = std::atoi(p.printed.c_str() + at + 10);
    return p;
}

}  // namespace

TEST(ServerProcess, SigtermFinishesTheCallInFlightAndExitsZero) {
    const ServerProgram server = startProgram(sampleDatabase(DbEngine::SQLite));
    const pid_t pid = server.pid;
    const int port = server.port;
    ASSERT_GT(port, 0) << "[" << server.printed << "]";

    // One answer first, so that the server surely holds the connection; the
    // request still arriving on the second when the signal comes is read
    // and answered too.
    const int busy = connectLoopback(port), arriving = connectLoopback(port);
    for (int fd : {busy, arriving}) {
        ASSERT_TRUE(sendAll(fd, kHealth));
        ASSERT_EQ(statusOf(readOneAnswer(fd)), 200);
    }
    const int idle = connectLoopback(port);
    const std::string request = post(kCostTypes);
    ASSERT_TRUE(sendAll(busy, request));
    ASSERT_TRUE(sendAll(arriving, request.substr(0, request.size() / 2)));
    // The request has reached the server's side when the peer has taken
    // every byte (on a loaded machine the loopback may deliver it later).
    for (int fd : {busy, arriving})
        for (int waited = 0, queued = 1; queued > 0 && waited < 500; ++waited) {
            if (::ioctl(fd, SIOCOUTQ, &queued) != 0) break;
            if (queued > 0) std::this_thread::sleep_for(10ms);
        }
    ::kill(pid, SIGTERM);
    const Answer answer = readUntilClosed(busy);
    EXPECT_EQ(statusOf(answer.bytes), 200) << answer.bytes;
    EXPECT_NE(answer.bytes.find("\"fields\""), std::string::npos);
    // The idle connection went in the same step that looked at this one.
    EXPECT_TRUE(readUntilClosed(idle).closed);
    ASSERT_TRUE(sendAll(arriving, request.substr(request.size() / 2)));
    const Answer late = readUntilClosed(arriving);
    EXPECT_EQ(statusOf(late.bytes), 200) << late.bytes;
    EXPECT_NE(late.bytes.find("\"fields\""), std::string::npos);

    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_NE((server.printed + readUntilClosed(server.out).bytes).find("stopped (SIGTERM)"), std::string::npos);
    EXPECT_LT(connectLoopback(port), 0);
    ::close(busy);
    ::close(idle);
    ::close(arriving);
    ::close(server.out);
}

// Two server programs over one database (PostgreSQL when the tests have one):
// the client's calls go to the first; killed outright between two calls, the
// second answers the next one with the same rows.
TEST(ServerProcess, AKilledServersCallsGoToTheNext) {
    const std::string db = sampleDatabase(hasEngine(DbEngine::PostgreSQL) ? DbEngine::PostgreSQL : DbEngine::SQLite);
    ServerProgram first = startProgram(db), second = startProgram(db);
    ASSERT_GT(first.port, 0) << first.printed;
    ASSERT_GT(second.port, 0) << second.printed;
    pla013::net::HttpTransport transport({},
                                         pla013::net::HostPort::parseList("127.0.0.1:" + std::to_string(first.port) +
                                                                          ",127.0.0.1:" + std::to_string(second.port)));
    const std::vector<pla013::host::CallArg> args = {textRef("0002"), textRef("1"), textRef("9ZZZZZZZZZ"), int32(1),
                                                     date(2024, 6, 30)};
    const auto rows = [&] {
        const pla013::host::Variant answer = transport.Call("127.0.0.1", first.port, kRecipes, "GetRelCompRecPL", args);
        std::size_t n = 0;
        for (const auto& p : answer.array()) n += p.packet()->rows.size();
        return n;
    };
    transport.Connect("127.0.0.1", first.port);
    const std::size_t before = rows();
    EXPECT_GT(before, 0u);
    ::kill(first.pid, SIGKILL);
    ::waitpid(first.pid, nullptr, 0);
    EXPECT_EQ(rows(), before);
    EXPECT_EQ(transport.currentServer("127.0.0.1", first.port).port, second.port);
    ::kill(second.pid, SIGTERM);
    ::waitpid(second.pid, nullptr, 0);
    ::close(first.out);
    ::close(second.out);
}
