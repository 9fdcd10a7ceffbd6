// The server under load made of ordinary calls, over raw loopback clients
// from addresses of their own (127.0.0.x): clients that send a large call
// and never read the answer, an idle flood, the connection caps, and a stop
// while an answer is stuck. Bounded in clients and time; nothing here
// measures speed (bench/server_calls does).

#include <gtest/gtest.h>

#include <unistd.h>

#include "LoadSupport.h"
#include "ServerTestSupport.h"
#include "platform/net/HttpTransport.h"

using namespace servertest;
using namespace std::chrono_literals;

namespace {

// The end of a chunked answer: an answer cut off has none.
bool complete(const RawAnswer& a) {
    return a.bytes.size() >= 5 && a.bytes.compare(a.bytes.size() - 5, 5, "0\r\n\r\n") == 0;
}

std::size_t oneDishRows(int port) {
    pla013::net::HttpTransport transport;
    const pla013::host::Variant answer = transport.Call("127.0.0.1", port, kRecipes, "GetRelCompRecPL", oneDishArgs());
    std::size_t rows = 0;
    for (const auto& p : answer.array()) rows += p.packet()->rows.size();
    return rows;
}

}  // namespace

TEST(Load, ClientsThatDoNotReadAreRefusedOrCutOffWhileAnotherAddressIsServed) {
    LogLines log;
    auto options = log.options();
    options.maxCallsPerAddress = 3;
    options.maxHeldBytes = 64 * 1024;
    options.answerStall = 300ms;
    auto server = startServer(generatedDatabase(), options);

    // Six clients at one address ask for every dish and read nothing.
    std::vector<int> stuck;
    for (int i = 0; i < 6; ++i) {
        stuck.push_back(connectFrom("127.0.0.2", server->port(), 4096));
        ASSERT_GE(stuck.back(), 0);
        ASSERT_TRUE(sendAll(stuck.back(), callRequest(everyDishCall())));
    }
    // Meanwhile another address's calls are answered, each in full.
    for (int i = 0; i < 5; ++i) EXPECT_GT(oneDishRows(server->port()), 0u) << i;

    // Three were refused at once (their address had three calls in the
    // server); the three others were sent as far as the client took them,
    // then cut off.
    ASSERT_TRUE(log.waitFor({"answer abandoned peer=127.0.0.2", "não leu nada"}, 3, 60s));
    int refused = 0, cut = 0;
    for (int fd : stuck) {
        const RawAnswer a = readUntilClosed(fd, 10s);
        EXPECT_TRUE(a.closed);
        if (a.status() == 503 && a.bytes.find("\"too_many_calls\"") != std::string::npos) ++refused;
        if (a.status() == 200 && !complete(a)) ++cut;
        ::close(fd);
    }
    EXPECT_EQ(refused, 3);
    EXPECT_EQ(cut, 3);
    server->stop();
    // The refusals of one address: the first line as it happened, the rest
    // counted in one.
    EXPECT_EQ(log.count({"request refused status=503 error=too_many_calls peer=127.0.0.2"}), 2u);
    EXPECT_EQ(log.count({"error=too_many_calls peer=127.0.0.2 count=2 seconds=10"}), 1u);
}

TEST(Load, AnIdleFloodMakesRoomForClientsThatSendRequests) {
    LogLines log;
    auto options = log.options();
    options.maxConnections = 40;
    options.maxConnectionsPerAddress = 30;
    auto server = startServer(sampleDatabase(DbEngine::SQLite), options);
    const int port = server->port();

    // 40 idle connections from one address: its cap keeps 30, closing the
    // oldest idle ones for the newer.
    std::vector<int> flood;
    for (int i = 0; i < 40; ++i) flood.push_back(connectFrom("127.0.0.2", port));
    ASSERT_TRUE(log.waitFor({"reason=idle_evicted peer=127.0.0.2"}, 1, 10s));
    // Ten from a second address bring the server to its cap of 40.
    std::vector<int> others;
    for (int i = 0; i < 10; ++i) others.push_back(connectFrom("127.0.0.3", port));
    // A client with a request still gets in: an idle connection of the
    // address holding the most makes room.
    EXPECT_GT(oneDishRows(port), 0u);
    pla013::net::HttpTransport transport;
    EXPECT_NO_THROW(transport.Connect("127.0.0.1", port));

    auto closedOf = [](const std::vector<int>& fds) {
        std::vector<bool> closed;
        for (int fd : fds) closed.push_back(readUntilClosed(fd, 50ms).closed);
        return closed;
    };
    const std::vector<bool> floodClosed = closedOf(flood);
    // The oldest went first: the first ones closed, the newest still open.
    const auto firstOpen = std::find(floodClosed.begin(), floodClosed.end(), false);
    EXPECT_GE(firstOpen - floodClosed.begin(), 10);
    EXPECT_TRUE(std::all_of(firstOpen, floodClosed.end(), [](bool c) { return !c; }));
    const std::vector<bool> othersClosed = closedOf(others);
    EXPECT_TRUE(std::none_of(othersClosed.begin(), othersClosed.end(), [](bool c) { return c; }));
    for (int fd : flood) ::close(fd);
    for (int fd : others) ::close(fd);
    server->stop();
    EXPECT_EQ(log.count({"connection closed reason=idle_evicted peer=127.0.0.2"}), 2u);
    EXPECT_EQ(log.count({"request refused"}), 0u);
}

TEST(Load, AStopClosesAnAnswerStuckWithAClientAfterItsGrace) {
    LogLines log;
    auto options = log.options();
    options.maxHeldBytes = 64 * 1024;
    options.stopGrace = 200ms;  // far less than the stall the answer would otherwise get
    auto server = startServer(generatedDatabase(), options);
    const int fd = connectFrom("127.0.0.2", server->port(), 4096);
    ASSERT_TRUE(sendAll(fd, callRequest(everyDishCall())));
    // The answer has begun, and waits for the client.
    ASSERT_TRUE(log.waitFor({"call PLA01303.rdmEmissaoReceitas.GetRelCompRecPL status=200"}, 1, 30s));
    server->stop();
    EXPECT_EQ(log.count({"answer abandoned peer=127.0.0.2", "a conexão foi fechada"}), 1u);
    EXPECT_EQ(log.count({"stopping", "closing 1 connection"}), 1u);
    ::close(fd);
}
