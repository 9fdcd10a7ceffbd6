// Bad requests get a clear JSON error with a non-2xx status, and the server
// answers the next call as if nothing had happened.

#include <gtest/gtest.h>

#include <httplib.h>

#include "ServerTestSupport.h"
#include "host/Errors.h"
#include "platform/net/Protocol.h"

using namespace servertest;
namespace net = pla013::net;

namespace {

class ServerProtocol : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        auto options = quietOptions();
        options.maxBodyBytes = 64 * 1024;
        s_server = startServer(sampleDatabase(DbEngine::SQLite), options).release();
    }
    static void TearDownTestSuite() {
        delete s_server;
        s_server = nullptr;
    }

    static httplib::Result post(const std::string& body, const std::string& path = net::kCallPath) {
        httplib::Client client("127.0.0.1", s_server->port());
        client.set_tcp_nodelay(true);
        client.set_read_timeout(10, 0);
        return client.Post(path.c_str(), body, "application/json");
    }

    // The server still serves a good call.
    static void expectStillServing() {
        const pla013::host::Variant types = call(s_server->port(), kCost, "ListaTipoCusto", {});
        EXPECT_EQ(types.packet()->rows.size(), 3u);
    }

    static pla013::appserver::AppServer* s_server;
};

pla013::appserver::AppServer* ServerProtocol::s_server = nullptr;

std::string request(const std::string& server, const std::string& method, const std::string& args) {
    return R"({"version":1,"server":")" + server + R"(","method":")" + method + R"(","args":)" + args + "}";
}

const std::string kPlArgs =
    R"([{"kind":"textref","value":"0002"},{"kind":"textref","value":"1"},{"kind":"textref","value":"9ZZZZZZZZZ"},)"
    R"({"kind":"int32","value":1},{"kind":"date","value":45473}])";

}  // namespace

TEST_F(ServerProtocol, EachKindOfBadInputGetsItsError) {
    const struct {
        const char* name;
        std::string body;
        int status;
        const char* code;
        const char* messagePart;
    } cases[] = {
        {"malformed JSON", R"({"version":1,"server":)", 400, "bad_json", "não é JSON válido"},
        {"not an object", "[1,2,3]", 400, "bad_request", "objeto JSON"},
        {"missing method", R"({"version":1,"server":"CUS00000.rdmCustProd","args":[]})", 400, "bad_request",
         "\"method\""},
        {"other protocol version", R"({"version":7,"server":"S","method":"M","args":[]})", 400, "unsupported_version",
         "versão"},
        {"unknown module", request("PLA99999.rdmNada", "GetRelCompRecPL", kPlArgs), 404, "unknown_module",
         "PLA99999.rdmNada"},
        {"unknown method", request(kRecipes, "GetRelTudo", kPlArgs), 404, "unknown_method", "GetRelTudo"},
        {"too few arguments", request(kRecipes, "GetRelCompRecPL", R"([{"kind":"textref","value":"0002"}])"), 400,
         "bad_arguments", "espera 5 argumentos"},
        {"too many arguments", request(kCost, "ListaTipoCusto", R"([{"kind":"int32","value":1}])"), 400,
         "bad_arguments", "espera 0 argumentos"},
        {"argument of the wrong kind",
         request(kRecipes, "GetRelCompRecPL",
                 R"([{"kind":"textref","value":"0002"},{"kind":"textref","value":"1"},{"kind":"textref","value":"9"},)"
                 R"({"kind":"text","value":"1"},{"kind":"date","value":45473}])"),
         400, "bad_arguments", "argumento 4 de GetRelCompRecPL deve ser do tipo int32"},
        {"text by value where by reference is declared",
         request(kRecipes, "GetRelCompRecPL",
                 R"([{"kind":"text","value":"0002"},{"kind":"textref","value":"1"},{"kind":"textref","value":"9"},)"
                 R"({"kind":"int32","value":1},{"kind":"date","value":45473}])"),
         400, "bad_arguments", "argumento 1"},
        {"value that does not fit its kind",
         request(kRecipes, "GetRelCompRecPL",
                 R"([{"kind":"textref","value":"0002"},{"kind":"textref","value":"1"},{"kind":"textref","value":"9"},)"
                 R"({"kind":"int32","value":"um"},{"kind":"date","value":45473}])"),
         400, "bad_arguments", "o argumento 4 (int32) contém um texto."},
        {"number beyond its kind",
         request(kRecipes, "GetRelCompRecPL",
                 R"([{"kind":"textref","value":"0002"},{"kind":"textref","value":"1"},{"kind":"textref","value":"9"},)"
                 R"({"kind":"int32","value":4294967296},{"kind":"date","value":45473}])"),
         400, "bad_arguments", "o argumento 4 (int32) não cabe em 32 bits."},
        {"date out of the calendar",
         request(kRecipes, "GetRelCompRecPL",
                 R"([{"kind":"textref","value":"0002"},{"kind":"textref","value":"1"},{"kind":"textref","value":"9"},)"
                 R"({"kind":"int32","value":1},{"kind":"date","value":1e300}])"),
         400, "bad_arguments", "fora dos anos"},
        {"oversized body", request(kCost, "ListaTipoCusto", "[]" + std::string(70 * 1024, ' ')), 413,
         "payload_too_large", "65536 bytes"},
    };
    for (const auto& c : cases) {
        const auto res = post(c.body);
        ASSERT_TRUE(res) << c.name << ": no answer (" << httplib::to_string(res.error()) << ")";
        EXPECT_EQ(res->status, c.status) << c.name;
        const auto error = net::decodeError(res->body);
        ASSERT_TRUE(error.has_value()) << c.name << ": " << res->body;
        EXPECT_EQ(error->code, c.code) << c.name;
        EXPECT_NE(error->message.find(c.messagePart), std::string::npos) << c.name << ": " << error->message;
        expectStillServing();
    }
}

TEST_F(ServerProtocol, ModuleAndMethodNamesIgnoreCase) {
    const pla013::host::Variant types = call(s_server->port(), "cus00000.RDMCUSTPROD", "listatipocusto", {});
    EXPECT_EQ(types.packet()->rows.size(), 3u);
}

TEST_F(ServerProtocol, OtherPathsAreNotFoundWithAJsonError) {
    httplib::Client client("127.0.0.1", s_server->port());
    const auto res = client.Get("/index.html");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 404);
    const auto error = net::decodeError(res->body);
    ASSERT_TRUE(error.has_value()) << res->body;
    EXPECT_EQ(error->code, "not_found");
    expectStillServing();
}

TEST_F(ServerProtocol, TransportReportsTheServersErrorMessage) {
    try {
        call(s_server->port(), kRecipes, "GetRelCompRecPL", {textRef("0002")});
        FAIL() << "a call with one argument succeeded";
    } catch (const pla013::host::EHostError& e) {
        const std::string what = e.what();
        EXPECT_NE(what.find("PLA01303.rdmEmissaoReceitas.GetRelCompRecPL"), std::string::npos) << what;
        EXPECT_NE(what.find("espera 5 argumentos"), std::string::npos) << what;
        EXPECT_NE(what.find("bad_arguments, HTTP 400"), std::string::npos) << what;
    }
}

TEST_F(ServerProtocol, HealthListsTheModules) {
    pla013::net::HttpTransport transport;
    EXPECT_NO_THROW(transport.Connect("127.0.0.1", s_server->port()));
    httplib::Client client("127.0.0.1", s_server->port());
    const auto res = client.Get(net::kHealthPath);
    ASSERT_TRUE(res);
    EXPECT_NE(res->body.find(R"("PLA01303.rdmEmissaoReceitas":["GetRelCompRecPL","GetRelCompRecPS","GetRelPlCent"])"),
              std::string::npos)
        << res->body;
}
