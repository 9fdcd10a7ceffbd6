// Limits that hold before the memory or the time is spent: the framing of
// a request, a call's time budget on the server, the client's bounds on an
// answer, the address a client counts under, and a database session that
// died while pooled.

#include <gtest/gtest.h>

#include <unistd.h>

#include <thread>

#include "LoadSupport.h"
#include "ServerTestSupport.h"
#include "host/Errors.h"
#include "platform/appserver/internal/HttpServer.h"
#include "platform/net/Protocol.h"

using namespace servertest;
using namespace std::chrono_literals;

namespace {

std::string failure(const std::function<void()>& act) {
    try {
        act();
    } catch (const pla013::host::EHostError& e) {
        return e.what();
    }
    return "(no error)";
}

std::vector<pla013::host::CallArg> everyDishArgs() {
    return {textRef("0002"), textRef(""), textRef(""), int32(1), date(2024, 6, 30)};
}

}  // namespace

TEST(Limits, ATransferEncodingOtherThanChunkedAloneIsRefusedAndClosed) {
    auto server = startServer(sampleDatabase(DbEngine::SQLite), quietOptions());
    const std::string body = pla013::net::encodeCallRequest(kCost, "ListaTipoCusto", {});
    const std::string length = "Content-Length: " + std::to_string(body.size()) + "\r\n";
    for (const std::string& fields :
         {"Transfer-Encoding: xchunked\r\n" + length, "Transfer-Encoding: chunked, identity\r\n" + length,
          length + "Transfer-Encoding: gzip\r\n", std::string("Transfer-Encoding: gzip\r\n")}) {
        SCOPED_TRACE(fields);
        const int fd = connectFrom("127.0.0.1", server->port());
        ASSERT_TRUE(sendAll(fd, "POST /call HTTP/1.1\r\nHost: t\r\n" + fields + "\r\n" + body));
        const RawAnswer a = readUntilClosed(fd, 10s);
        EXPECT_EQ(a.status(), 400) << a.bytes;
        EXPECT_NE(a.bytes.find("\"bad_request\""), std::string::npos);
        EXPECT_TRUE(a.closed);
        ::close(fd);
    }
}

TEST(Limits, ACallPastItsBudgetIsStoppedAndTheClientToldSo) {
    LogLines log;
    auto options = log.options();
    options.callTimeout = 20ms;
    auto server = startServer(generatedDatabase(), options);
    const std::string message = failure([&] { call(server->port(), kRecipes, "GetRelCompRecPL", everyDishArgs()); });
    EXPECT_NE(message.find("passou do limite de 20 ms do servidor"), std::string::npos) << message;
    EXPECT_NE(message.find("[call_timeout, HTTP 504]"), std::string::npos) << message;
    // The statement was interrupted, not waited for; the server goes on.
    EXPECT_EQ(log.count({"GetRelCompRecPL status=504", "error=call_timeout"}), 1u);
}

TEST(Limits, TheClientRefusesAnAnswerAsSoonAsItPassesItsBytesOrRows) {
    auto server = startServer(generatedDatabase(), quietOptions());
    const struct {
        std::size_t bytes, rows;
        const char* said;
    } cases[] = {
        {std::size_t(1) << 20, 1000000, "maior que o limite de 1 048 576 bytes"},
        {std::size_t(256) << 20, 50000, "mais que o limite de 50 000 linhas"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.said);
        pla013::net::HttpTransportOptions options;
        options.maxResponseBytes = c.bytes;
        options.maxResponseRows = c.rows;
        pla013::net::HttpTransport transport(options);
        const std::string message =
            failure([&] { transport.Call("127.0.0.1", server->port(), kRecipes, "GetRelCompRecPL", everyDishArgs()); });
        EXPECT_NE(message.find(c.said), std::string::npos) << message;
    }
    // Within both, the same answer is taken.
    pla013::net::HttpTransport transport;
    EXPECT_NO_THROW(transport.Call("127.0.0.1", server->port(), kRecipes, "GetRelCompRecPL", everyDishArgs()));
}

TEST(Limits, AClientCountsUnderItsAddressAnIPv6OneUnderItsNetwork) {
    using pla013::appserver::internal::clientAddressKey;
    const std::pair<const char*, const char*> cases[] = {
        {"10.1.2.3", "10.1.2.3"},
        {"2001:db8:1:2:aaaa:bbbb:cccc:dddd", "2001:db8:1:2::/64"},
        {"2001:db8:1:2::9", "2001:db8:1:2::/64"},
        {"2001:db8:1:3::9", "2001:db8:1:3::/64"},
        {"::ffff:192.0.2.7", "192.0.2.7"},
        {"::1", "::/64"},
    };
    for (const auto& [address, key] : cases) EXPECT_EQ(clientAddressKey(address), key) << address;
}

// A PostgreSQL that ended the server's pooled session (a restart does the
// same to all of them): the next call finds it dead before running, opens
// another and runs once.
TEST(Limits, ACallFindingItsPooledSessionDeadRunsOnceOnANewOne) {
    if (!hasEngine(DbEngine::PostgreSQL)) GTEST_SKIP() << "PLA013_TEST_PG_URL is not set";
    const std::string tag = "pla013_pool_" + std::to_string(::getpid());
    const std::string url = sampleDatabase(DbEngine::PostgreSQL) + "&application_name=" + tag;
    LogLines log;
    auto options = log.options();
    options.workerThreads = 1;
    options.audit = false;
    auto server = startServer(url, options);
    const auto costTypes = [&] { return call(server->port(), kCost, "ListaTipoCusto", {}).packet()->rows.size(); };
    ASSERT_EQ(costTypes(), 3u);

    pla013::db::SociDatabase admin(sampleDatabase(DbEngine::PostgreSQL));
    const pla013::db::SqlParams byTag = {{"P_TAG", pla013::host::Variant(tag)}};
    admin.query("SELECT pg_terminate_backend(pid) AS ENDED FROM pg_stat_activity WHERE application_name = :P_TAG",
                byTag, "end the server's sessions");
    for (int i = 0; i < 200; ++i) {
        const auto left = admin.query("SELECT COUNT(*) AS LEFT FROM pg_stat_activity WHERE application_name = :P_TAG",
                                      byTag, "sessions left");
        if (left.rows.at(0).at(0).toInt() == 0) break;
        std::this_thread::sleep_for(10ms);
    }
    EXPECT_EQ(costTypes(), 3u);
    EXPECT_EQ(log.count({"CUS00000.rdmCustProd.ListaTipoCusto status=200"}), 2u);
    EXPECT_EQ(log.count({"status=500"}), 0u);
}

TEST(Limits, TheCallBudgetAndTheStopGraceAreOptionsInSeconds) {
    using pla013::appserver::AppServerCommandLine;
    const struct {
        std::vector<std::string> args;
        long long callMs, graceMs;
        const char* refusal;
    } cases[] = {
        {{}, 30000, 10000, nullptr},
        {{"--call-timeout", "5", "--stop-grace=0"}, 5000, 0, nullptr},
        {{"--call-timeout=3600"}, 3600000, 10000, nullptr},
        {{"--call-timeout", "0"}, 0, 0, "--call-timeout: expected a number of seconds from 1 to 3600"},
        {{"--stop-grace", "2s"}, 0, 0, "--stop-grace: expected a number of seconds from 0 to 3600"},
        {{"--stop-grace"}, 0, 0, "--stop-grace needs a value"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.args));
        try {
            const auto parsed = AppServerCommandLine::parse(c.args);
            EXPECT_EQ(c.refusal, nullptr);
            EXPECT_EQ(parsed.options.callTimeout.count(), c.callMs);
            EXPECT_EQ(parsed.options.stopGrace.count(), c.graceMs);
        } catch (const std::invalid_argument& e) {
            ASSERT_NE(c.refusal, nullptr) << e.what();
            EXPECT_NE(std::string(e.what()).find(c.refusal), std::string::npos) << e.what();
        }
    }
}
