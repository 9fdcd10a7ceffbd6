// Starting and stopping, the request log, a database that fails, and calls
// that arrive together.

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <fstream>
#include <mutex>
#include <thread>

#include "ServerTestSupport.h"
#include "host/Errors.h"
#include "platform/appserver/AppServer.h"
#include "platform/db/SociDatabase.h"

using namespace servertest;
using pla013::appserver::AppServer;
using pla013::appserver::AppServerOptions;
using pla013::appserver::LogLevel;

namespace {

std::vector<pla013::host::CallArg> plArgs(const std::string& branch = "0002") {
    return {textRef(branch), textRef("1"), textRef("9ZZZZZZZZZ"), int32(1), date(2024, 6, 30)};
}

// Collects the server's log lines.
struct LogCapture {
    std::mutex mutex;
    std::vector<std::string> lines;

    AppServerOptions options(LogLevel level) {
        AppServerOptions o;
        o.logLevel = level;
        o.logSink = [this](const std::string& line) {
            std::lock_guard<std::mutex> lock(mutex);
            lines.push_back(line);
        };
        return o;
    }
    std::vector<std::string> take() {
        std::lock_guard<std::mutex> lock(mutex);
        return std::exchange(lines, {});
    }
};

std::size_t rowsOfResult(const pla013::host::Variant& v) {
    std::size_t n = 0;
    for (const auto& p : v.array()) n += p.packet()->rows.size();
    return n;
}

}  // namespace

TEST(ServerLifecycle, StartsOnAFreeLoopbackPortStopsAndStartsAgain) {
    auto server = startServer(sampleDatabase(DbEngine::SQLite), quietOptions());
    const int port = server->port();
    EXPECT_GT(port, 0);
    EXPECT_TRUE(server->running());
    EXPECT_EQ(server->address(), "127.0.0.1:" + std::to_string(port));
    EXPECT_NO_THROW(call(port, kCost, "ListaTipoCusto", {}));

    server->stop();
    EXPECT_FALSE(server->running());
    EXPECT_EQ(server->port(), 0);
    try {
        call(port, kCost, "ListaTipoCusto", {});
        FAIL() << "a stopped server answered";
    } catch (const pla013::host::EHostError& e) {
        EXPECT_NE(std::string(e.what()).find("não pode ser alcançado"), std::string::npos) << e.what();
    }
    server->stop();  // twice is harmless

    server->start();
    EXPECT_TRUE(server->running());
    EXPECT_NO_THROW(call(server->port(), kCost, "ListaTipoCusto", {}));
}

TEST(ServerLifecycle, PortInUseOrDatabaseMissingFailsToStart) {
    auto first = startServer(sampleDatabase(DbEngine::SQLite), quietOptions());
    auto options = quietOptions();
    options.port = first->port();
    AppServer second([] { return std::make_unique<pla013::db::SociDatabase>(sampleDatabase(DbEngine::SQLite)); },
                     options);
    try {
        second.start();
        FAIL() << "two servers on one port";
    } catch (const pla013::host::EHostError& e) {
        EXPECT_NE(std::string(e.what()).find(std::to_string(first->port())), std::string::npos) << e.what();
    }
    EXPECT_FALSE(second.running());

    TempDir dir;
    const std::string missing = dir.file("nao-existe.sqlite");
    AppServer third([missing] { return std::make_unique<pla013::db::SociDatabase>(missing); }, quietOptions());
    EXPECT_THROW(third.start(), pla013::host::EHostError);
    EXPECT_FALSE(third.running());
}

TEST(ServerLifecycle, DatabaseErrorsAreAnsweredAndTheServerGoesOn) {
    TempDir dir;
    const std::string empty = dir.file("vazio.sqlite");
    std::ofstream(empty).close();  // a database without tables
    auto server = startServer(empty, quietOptions());

    try {
        call(server->port(), kRecipes, "GetRelCompRecPL", plArgs());
        FAIL() << "a call on a database without tables succeeded";
    } catch (const pla013::host::EHostError& e) {
        const std::string what = e.what();
        EXPECT_NE(what.find("database_error, HTTP 500"), std::string::npos) << what;
        EXPECT_NE(what.find("GetRelCompRecPL"), std::string::npos) << what;
    }
    // The cost comparison reports database failures as a server result.
    const pla013::host::Variant result =
        call(server->port(), kRecipes, "GetRelPlCent",
             {textRef("T"), textRef("1"), textRef("9"), text("0002"), int32(1), date(2024, 6, 30)});
    ASSERT_TRUE(result.isArray());
    EXPECT_EQ(result.at(0).toInt(), 3);
    EXPECT_NE(result.at(1).toString().find("banco de dados"), std::string::npos) << result.at(1).toString();

    pla013::net::HttpTransport transport;
    EXPECT_NO_THROW(transport.Connect("127.0.0.1", server->port()));
}

TEST(ServerLifecycle, OneLogLinePerCallAtTheChosenLevel) {
    LogCapture log;
    auto server = startServer(sampleDatabase(DbEngine::SQLite), log.options(LogLevel::Info));
    const std::size_t rows = rowsOfResult(call(server->port(), kRecipes, "GetRelCompRecPL", plArgs()));
    EXPECT_THROW(call(server->port(), kRecipes, "GetNada", {}), pla013::host::EHostError);

    auto lines = log.take();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(
        lines[0].rfind(
            "call PLA01303.rdmEmissaoReceitas.GetRelCompRecPL status=200 rows=" + std::to_string(rows) + " ms=", 0),
        0u)
        << lines[0];
    EXPECT_EQ(lines[1].rfind("call PLA01303.rdmEmissaoReceitas.GetNada status=404 rows=0 ms=", 0), 0u) << lines[1];
    EXPECT_NE(lines[1].find("error=unknown_method"), std::string::npos) << lines[1];

    server->setLogLevel(LogLevel::Quiet);
    call(server->port(), kCost, "ListaTipoCusto", {});
    EXPECT_TRUE(log.take().empty());

    server->setLogLevel(LogLevel::Debug);
    EXPECT_THROW(call(server->port(), kCost, "ListaTipoCusto", {int32(1)}), pla013::host::EHostError);
    lines = log.take();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("peer=127.0.0.1:"), std::string::npos) << lines[0];
    EXPECT_NE(lines[0].find("message=\"ListaTipoCusto espera 0 argumentos"), std::string::npos) << lines[0];
}

TEST(ServerLifecycle, CallsArrivingTogetherEachGetTheirOwnAnswer) {
    auto options = quietOptions();
    options.workerThreads = 3;
    auto server = startServer(sampleDatabase(DbEngine::SQLite), options);
    const std::vector<std::string> branches = {"0002", "0003", "0006", ""};
    std::vector<std::size_t> expected;
    for (const auto& b : branches)
        expected.push_back(rowsOfResult(call(server->port(), kRecipes, "GetRelCompRecPL", plArgs(b))));

    std::vector<std::thread> threads;
    std::vector<std::string> failures(8);
    for (int t = 0; t < 8; ++t)
        threads.emplace_back([&, t] {
            try {
                for (int i = 0; i < 6; ++i) {
                    const std::size_t b = std::size_t(t + i) % branches.size();
                    const auto got =
                        rowsOfResult(call(server->port(), kRecipes, "GetRelCompRecPL", plArgs(branches[b])));
                    if (got != expected[b])
                        failures[std::size_t(t)] = "branch " + branches[b] + ": " + std::to_string(got);
                }
            } catch (const std::exception& e) {
                failures[std::size_t(t)] = e.what();
            }
        });
    for (auto& th : threads) th.join();
    for (const auto& f : failures) EXPECT_EQ(f, "");
}

TEST(ServerLifecycle, OneSharedSessionServesCallsOneAtATime) {
    pla013::db::SociDatabase db(sampleDatabase(DbEngine::SQLite));
    AppServer server(db, quietOptions());
    server.start();
    std::vector<std::thread> threads;
    std::vector<std::size_t> rows(4);
    for (std::size_t t = 0; t < rows.size(); ++t)
        threads.emplace_back(
            [&, t] { rows[t] = rowsOfResult(call(server.port(), kRecipes, "GetRelCompRecPL", plArgs())); });
    for (auto& th : threads) th.join();
    for (std::size_t t = 1; t < rows.size(); ++t) EXPECT_EQ(rows[t], rows[0]);
    EXPECT_GT(rows[0], 0u);
}

TEST(ServerLifecycle, ASilentClientDoesNotHoldUpOthersNorStop) {
    auto options = quietOptions();
    options.readTimeout = std::chrono::milliseconds(500);
    auto server = startServer(sampleDatabase(DbEngine::SQLite), options);
    const int silent = connectLoopback(server->port());
    ASSERT_GE(silent, 0);
    EXPECT_NO_THROW(call(server->port(), kCost, "ListaTipoCusto", {}));
    server->stop();
    EXPECT_FALSE(server->running());
    ::close(silent);
}
