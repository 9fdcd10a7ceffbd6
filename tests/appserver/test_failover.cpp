// Two real servers over one database serving one client session: a call
// that finds its server stopped is answered by the other, and the next
// calls stay there.

#include <gtest/gtest.h>

#include <mutex>

#include "ServerTestSupport.h"
#include "host/Errors.h"

using namespace servertest;
using pla013::appserver::AppServerOptions;
using pla013::appserver::LogLevel;
using pla013::net::HostPort;
using pla013::net::HttpTransport;

namespace {

// Counts the calls a server has logged.
struct CallCount {
    std::mutex mutex;
    int calls = 0;

    AppServerOptions options(int port = 0) {
        AppServerOptions o;
        o.port = port;
        o.logLevel = LogLevel::Info;
        o.logSink = [this](const std::string& line) {
            std::lock_guard<std::mutex> lock(mutex);
            if (line.rfind("call ", 0) == 0) ++calls;
        };
        return o;
    }
    int take() {
        std::lock_guard<std::mutex> lock(mutex);
        return std::exchange(calls, 0);
    }
};

std::size_t rowsOf(const pla013::host::Variant& v) {
    std::size_t n = 0;
    for (const auto& p : v.array()) n += p.packet()->rows.size();
    return n;
}

}  // namespace

TEST(ServerFailover, ACallFindingItsServerStoppedIsAnsweredByTheNext) {
    const std::string db = sampleDatabase(DbEngine::SQLite);
    CallCount countA, countB;
    auto a = startServer(db, countA.options());
    auto b = startServer(db, countB.options());
    const int portA = a->port(), portB = b->port();
    const std::string addressA = "127.0.0.1:" + std::to_string(portA);
    const std::string addressB = "127.0.0.1:" + std::to_string(portB);
    // The form's calls, as its connection makes them: always to the first
    // address it was given.
    HttpTransport transport({}, HostPort::parseList(addressA + "," + addressB));
    const std::vector<pla013::host::CallArg> args = {textRef("0002"), textRef("1"), textRef("9ZZZZZZZZZ"), int32(1),
                                                     date(2024, 6, 30)};
    const auto form = [&] { return rowsOf(transport.Call("127.0.0.1", portA, kRecipes, "GetRelCompRecPL", args)); };

    transport.Connect("127.0.0.1", portA);
    const std::size_t rows = form();
    EXPECT_GT(rows, 0u);
    // An error answer comes from a live server: it is the call's answer.
    EXPECT_THROW(transport.Call("127.0.0.1", portA, kRecipes, "GetNada", {}), pla013::host::EHostError);
    EXPECT_EQ(countA.take(), 2);
    EXPECT_EQ(countB.take(), 0);

    a->stop();
    EXPECT_EQ(form(), rows);
    EXPECT_EQ(countB.take(), 1);
    EXPECT_EQ(transport.currentServer("127.0.0.1", portA).port, portB);

    // The first server back on its port: calls stay with the one that answered.
    auto again = startServer(db, countA.options(portA));
    EXPECT_EQ(form(), rows);
    EXPECT_EQ(countB.take(), 1);
    EXPECT_EQ(countA.take(), 0);

    again->stop();
    b->stop();
    try {
        form();
        FAIL() << "a stopped server answered";
    } catch (const pla013::host::EHostError& e) {
        const std::string message = e.what();
        EXPECT_NE(message.find("Chamada PLA01303.rdmEmissaoReceitas.GetRelCompRecPL aos servidores de aplicação em " +
                               addressB + ", " + addressA + ": nenhum deles responde"),
                  std::string::npos)
            << message;
        EXPECT_NE(message.find(addressA + ": o servidor não pode ser alcançado"), std::string::npos) << message;
    }
    EXPECT_THROW(transport.Connect("127.0.0.1", portA), pla013::host::EHostError);
}
