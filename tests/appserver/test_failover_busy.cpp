// Failover when the first server is alive but cannot take the call: frozen
// (SIGSTOP: the system still accepts its connections), full (every
// connection busy) or busy (its calls queue full). The second server, idle
// over the same database, answers; the first runs nothing, and a call that
// may have run is never sent again.

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "LoadSupport.h"
#include "ServerTestSupport.h"
#include "host/Errors.h"

using namespace servertest;
using namespace std::chrono_literals;
using pla013::net::HostPort;
using pla013::net::HttpTransport;

namespace {

HttpTransport transportOver(int first, int second, pla013::net::HttpTransportOptions options = {}) {
    return HttpTransport(
        options, HostPort::parseList("127.0.0.1:" + std::to_string(first) + ",127.0.0.1:" + std::to_string(second)));
}

std::size_t oneDishRows(HttpTransport& transport, int port) {
    const pla013::host::Variant answer = transport.Call("127.0.0.1", port, kRecipes, "GetRelCompRecPL", oneDishArgs());
    std::size_t rows = 0;
    for (const auto& p : answer.array()) rows += p.packet()->rows.size();
    return rows;
}

std::string failure(const std::function<void()>& act) {
    try {
        act();
    } catch (const pla013::host::EHostError& e) {
        return e.what();
    }
    return "(no error)";
}

const std::vector<std::string> kCallsRun = {"call PLA01303.rdmEmissaoReceitas.GetRelCompRecPL status=200"};

}  // namespace

TEST(BusyFailover, AFrozenServersHealthCheckMovesOnAndACallSentToItIsNotSentAgain) {
    int out[2];
    ASSERT_EQ(::pipe(out), 0);
    const pid_t frozen = ::fork();
    if (frozen == 0) {
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        ::dup2(out[1], 1);
        ::execl(PLA013_SERVER_BIN, PLA013_SERVER_BIN, "--db", generatedDatabase().c_str(), "--listen", "127.0.0.1:0",
                "--log-level", "quiet", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(out[1]);
    // "pla013-server listening on 127.0.0.1:PORT (database ...)"
    std::string printed;
    for (char c = 0; printed.find('\n') == std::string::npos && ::read(out[0], &c, 1) == 1;) printed += c;
    const std::size_t at = printed.find("127.0.0.1:");
    ASSERT_NE(at, std::string::npos) << printed;
    const int portA = std::atoi(printed.c_str() + at + 10);
    ::kill(frozen, SIGSTOP);

    LogLines logB;
    auto b = startServer(generatedDatabase(), logB.options());
    pla013::net::HttpTransportOptions quick;
    quick.connectTimeout = 1s;
    quick.readTimeout = 1s;
    HttpTransport transport = transportOver(portA, b->port(), quick);
    EXPECT_NO_THROW(transport.Connect("127.0.0.1", portA));
    EXPECT_EQ(transport.currentServer("127.0.0.1", portA).port, b->port());
    EXPECT_GT(oneDishRows(transport, portA), 0u);
    EXPECT_EQ(logB.count(kCallsRun), 1u);

    // A call that reached the frozen server may run when it wakes: it ends
    // there, and the other server never sees it.
    HttpTransport stuck = transportOver(portA, b->port(), quick);
    const std::string message = failure([&] { oneDishRows(stuck, portA); });
    EXPECT_NE(message.find("127.0.0.1:" + std::to_string(portA) + ": o servidor recebeu a chamada e não respondeu"),
              std::string::npos)
        << message;
    EXPECT_EQ(logB.count(kCallsRun), 1u);

    ::kill(frozen, SIGKILL);
    ::waitpid(frozen, nullptr, 0);
    ::close(out[0]);
}

TEST(BusyFailover, AFullServerRefusesBeforeRunningAndTheNextAnswers) {
    LogLines logA, logB;
    auto optionsA = logA.options();
    optionsA.maxConnections = 2;
    auto a = startServer(generatedDatabase(), optionsA);
    auto b = startServer(generatedDatabase(), logB.options());
    // Two connections with a request under way: none idle to make room.
    std::vector<int> busy;
    for (int i = 0; i < 2; ++i) {
        busy.push_back(connectFrom("127.0.0.2", a->port()));
        ASSERT_TRUE(sendAll(busy.back(), "POST /call HTTP/1.1\r\nHost: t\r\n"));
    }
    HttpTransport transport = transportOver(a->port(), b->port());
    EXPECT_NO_THROW(transport.Connect("127.0.0.1", a->port()));
    EXPECT_GT(oneDishRows(transport, a->port()), 0u);
    EXPECT_EQ(logA.count(kCallsRun), 0u);
    EXPECT_EQ(logB.count(kCallsRun), 1u);
    for (int fd : busy) ::close(fd);
}

TEST(BusyFailover, ABusyServerAnswersItsHealthButRefusesTheCallWhichTheNextRuns) {
    LogLines logA, logB;
    auto busyOptions = [](LogLines& log) {
        auto o = log.options();
        o.workerThreads = 1;
        o.maxWaitingCalls = 0;
        o.maxHeldBytes = 64 * 1024;
        return o;
    };
    auto a = startServer(generatedDatabase(), busyOptions(logA));
    auto b = startServer(generatedDatabase(), busyOptions(logB));
    // A client that asks for every dish and reads nothing holds the only
    // worker of a server (for the ten seconds it may stall).
    auto occupy = [](int port) {
        const int fd = connectFrom("127.0.0.2", port, 4096);
        sendAll(fd, callRequest(everyDishCall()));
        return fd;
    };
    const int holdingA = occupy(a->port());
    ASSERT_TRUE(logA.waitFor(kCallsRun, 1, 30s));

    HttpTransport transport = transportOver(a->port(), b->port());
    // The health check does not wait for a worker.
    EXPECT_NO_THROW(transport.Connect("127.0.0.1", a->port()));
    EXPECT_EQ(transport.currentServer("127.0.0.1", a->port()).port, a->port());
    EXPECT_GT(oneDishRows(transport, a->port()), 0u);
    EXPECT_EQ(transport.currentServer("127.0.0.1", a->port()).port, b->port());
    EXPECT_EQ(logA.count(kCallsRun), 1u);
    EXPECT_EQ(logB.count(kCallsRun), 1u);

    // Both busy: the call fails at once, and says why for each.
    const int holdingB = occupy(b->port());
    ASSERT_TRUE(logB.waitFor(kCallsRun, 2, 30s));
    const std::string message = failure([&] { oneDishRows(transport, a->port()); });
    EXPECT_NE(message.find("nenhum deles responde"), std::string::npos) << message;
    EXPECT_NE(message.find(":" + std::to_string(a->port()) + ": servidor ocupado"), std::string::npos) << message;
    EXPECT_NE(message.find(":" + std::to_string(b->port()) + ": servidor ocupado"), std::string::npos) << message;
    ::close(holdingA);
    ::close(holdingB);
}
