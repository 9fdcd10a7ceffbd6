// The HTTP transport against peers that misbehave: every failure is an
// EHostError naming the call and the address, raised within the timeouts.

#include <gtest/gtest.h>

#include <chrono>
#include <stop_token>
#include <thread>

#include "ScriptedPeer.h"
#include "host/Errors.h"
#include "platform/net/HttpTransport.h"
#include "platform/net/Protocol.h"

namespace net = pla013::net;

using pla013::host::CallArg;
using pla013::host::Variant;
using namespace std::chrono_literals;

namespace {

const char* kServer = "PLA01303.rdmEmissaoReceitas";
// A method the protocol does not describe: its results are the caller's to read.
const char* kMethod = "Eco";

net::HttpTransportOptions quick() {
    net::HttpTransportOptions o;
    o.connectTimeout = 500ms;
    o.readTimeout = 400ms;
    o.writeTimeout = 400ms;
    return o;
}

std::vector<CallArg> someArgs() {
    return {{CallArg::Kind::TextByRef, Variant("0001")},
            {CallArg::Kind::Int32, Variant(2)},
            {CallArg::Kind::Date, Variant::date(45000)}};
}

// A loopback port on which nobody listens.
int deadPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    socklen_t len = sizeof addr;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    ::close(fd);
    return ntohs(addr.sin_port);
}

// Runs a call, expects EHostError and returns its message.
std::string failingCall(net::HttpTransport& transport, int port, std::vector<CallArg> args = someArgs()) {
    try {
        transport.Call("127.0.0.1", port, kServer, kMethod, args);
    } catch (const pla013::host::EHostError& e) {
        return e.what();
    }
    ADD_FAILURE() << "the call succeeded";
    return {};
}

void expectNamesCall(const std::string& message, int port) {
    EXPECT_NE(message.find(std::string(kServer) + "." + kMethod), std::string::npos) << message;
    EXPECT_NE(message.find("127.0.0.1:" + std::to_string(port)), std::string::npos) << message;
}

}  // namespace

TEST(HttpTransport, CallSendsDocumentedRequestAndReadsResult) {
    const std::string result = net::encodeCallResult(Variant(std::vector<Variant>{Variant(0), Variant("ok")}));
    ScriptedPeer peer(ScriptedPeer::Mode::Answer, httpAnswer("200 OK", result));
    net::HttpTransport transport(quick());
    const Variant answer = transport.Call("127.0.0.1", peer.port(), kServer, kMethod, someArgs());
    ASSERT_TRUE(answer.isArray());
    EXPECT_EQ(answer.at(1).toString(), "ok");

    const std::string request = peer.lastRequest();
    EXPECT_EQ(request.rfind("POST /call HTTP/1.1\r\n", 0), 0u) << request;
    const std::string body = request.substr(request.find("\r\n\r\n") + 4);
    const auto decoded = net::decodeCallRequest(body);
    EXPECT_EQ(decoded.server, kServer);
    EXPECT_EQ(decoded.method, kMethod);
    ASSERT_EQ(decoded.args.size(), 3u);
    EXPECT_EQ(decoded.args[1].kind, CallArg::Kind::Int32);
}

TEST(HttpTransport, EveryBadAnswerIsAnErrorNamingTheCall) {
    const struct {
        const char* name;
        std::string answer;
        const char* expected;
    } cases[] = {
        {"garbage instead of HTTP", "SSH-2.0-OpenSSH_9.2\r\nnonsense\r\n\r\n", "resposta incompleta"},
        {"connection closed without a byte", "", "resposta incompleta"},
        {"dies mid-body",
         "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: 5000\r\n\r\n{\"version\":1,\"res",
         "resposta incompleta"},
        {"200 with HTML", httpAnswer("200 OK", "<html>proxy</html>", "text/html"), "não pode ser lida"},
        {"200 with foreign JSON", httpAnswer("200 OK", R"({"answer":42})"), "não pode ser lida"},
        {"server error with our error body",
         httpAnswer("500 Internal Server Error", net::encodeError("database_error", "tabela PRODUTO ausente")),
         "tabela PRODUTO ausente [database_error, HTTP 500]"},
        {"bad gateway with HTML", httpAnswer("502 Bad Gateway", "<h1>502</h1>", "text/html"), "status HTTP 502"},
    };
    for (const auto& c : cases) {
        ScriptedPeer peer(ScriptedPeer::Mode::Answer, c.answer);
        net::HttpTransport transport(quick());
        const std::string message = failingCall(transport, peer.port());
        EXPECT_NE(message.find(c.expected), std::string::npos) << c.name << ": " << message;
        expectNamesCall(message, peer.port());
    }
}

// A result that the protocol gives another shape is refused with one text
// for the user, what was wrong kept for the log.
TEST(HttpTransport, AResultOfAnotherShapeThanItsMethodsIsAnInvalidAnswer) {
    using pla013::host::DataPacket;
    using pla013::host::FieldType;
    auto packetOf = [](std::vector<pla013::host::FieldDef> fields) {
        auto p = std::make_shared<DataPacket>();
        p->fields = std::move(fields);
        return Variant(std::shared_ptr<const DataPacket>(p));
    };
    const Variant any = packetOf({{"X", FieldType::String, 1}});
    const Variant central = packetOf({{"CDFILIALL", FieldType::String, 4},
                                      {"CDFILAUXPRAT", FieldType::String, 4},
                                      {"CDPRATO", FieldType::String, 10},
                                      {"NMPRATO", FieldType::String, 40},
                                      {"VRCUSTPRATP", FieldType::Float, 0},
                                      {"VRCUSTPRATL", FieldType::Float, 0},
                                      {"NMFILIAL", FieldType::String, 30}});
    using V = std::vector<Variant>;
    const struct {
        const char* method;
        Variant result;
        const char* detail;  // in the log, not shown
    } cases[] = {
        {"GetRelPlCent", Variant(V{any, any}), "o elemento 0 não é um número inteiro"},
        {"GetRelPlCent", Variant(V{any, Variant("x"), any}), "o elemento 0 não é um número inteiro"},
        {"GetRelPlCent", Variant(V{Variant(0), Variant("")}), "um sucesso sem o pacote de dados"},
        {"GetRelPlCent", Variant(V{Variant(0), Variant(""), central}), "o elemento 2 não tem o campo QTLINHASP"},
        {"GetRelCompRecPL", Variant(V{any, any}), "lista de 2 elementos"},
        {"GetRelCompRecPL", Variant(V{any, any, any}), "o elemento 0 não tem o campo CDPRATO"},
        {"GetRelCompRecPS", Variant("x"), "a resposta não é uma lista"},
    };
    for (const auto& c : cases) {
        ScriptedPeer peer(ScriptedPeer::Mode::Answer, httpAnswer("200 OK", net::encodeCallResult(c.result)));
        net::HttpTransport transport(quick());
        try {
            transport.Call("127.0.0.1", peer.port(), kServer, c.method, someArgs());
            ADD_FAILURE() << c.detail;
        } catch (const pla013::host::EInvalidAnswer& e) {
            EXPECT_STREQ(e.what(), "Resposta inválida do servidor de aplicação.");
            EXPECT_NE(e.detail().find(std::string(kServer) + "." + c.method + ": " + c.detail), std::string::npos)
                << e.detail();
        }
    }
}

TEST(HttpTransport, ServerThatIsDownFailsAtOnce) {
    net::HttpTransport transport(quick());
    const int port = deadPort();
    const auto start = std::chrono::steady_clock::now();
    const std::string message = failingCall(transport, port);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
    EXPECT_NE(message.find("não pode ser alcançado"), std::string::npos) << message;
    expectNamesCall(message, port);
    EXPECT_THROW(transport.Connect("127.0.0.1", port), pla013::host::EHostError);
}

TEST(HttpTransport, ServerThatNeverAnswersFailsAfterReadTimeout) {
    ScriptedPeer peer(ScriptedPeer::Mode::Silent);
    net::HttpTransport transport(quick());
    const auto start = std::chrono::steady_clock::now();
    const std::string message = failingCall(transport, peer.port());
    const auto elapsed = std::chrono::steady_clock::now() - start;
    // Bounded, not a hang: the read timeout is 400 ms.
    EXPECT_GE(elapsed, 300ms);
    EXPECT_LT(elapsed, 10s);
    EXPECT_NE(message.find("400 ms"), std::string::npos) << message;
    EXPECT_EQ(peer.accepted(), 1);
}

TEST(HttpTransport, ACallGivenUpEndsAtOnceWithNoAnswer) {
    ScriptedPeer peer(ScriptedPeer::Mode::Silent);
    net::HttpTransportOptions patient;
    patient.readTimeout = 60s;
    net::HttpTransport transport(patient);
    std::stop_source stop;
    // Given up once the server has the call, long before it would time out.
    std::jthread user([&](std::stop_token own) {
        while (!own.stop_requested() && peer.accepted() == 0) std::this_thread::sleep_for(5ms);
        stop.request_stop();
    });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_THROW(transport.Call("127.0.0.1", peer.port(), kServer, kMethod, someArgs(), stop.get_token()),
                 net::CallCancelled);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 30s);
    EXPECT_EQ(peer.accepted(), 1);
}

TEST(HttpTransport, ServerThatDripsItsAnswerFailsAtTheDeadline) {
    // A byte every 200 ms satisfies a per-read timeout of a second for ever;
    // only the deadline of the whole call ends it.
    const std::string answer = httpAnswer("200 OK", net::encodeCallResult(Variant(std::string(200, 'x'))));
    auto options = quick();
    options.readTimeout = 1000ms;
    options.deadline = 1000ms;
    for (const bool connectOnly : {false, true}) {
        SCOPED_TRACE(connectOnly ? "Connect" : "Call");
        ScriptedPeer peer(ScriptedPeer::Mode::Drip, answer, 200);
        net::HttpTransport transport(options);
        const auto start = std::chrono::steady_clock::now();
        std::string message;
        try {
            if (connectOnly)
                transport.Connect("127.0.0.1", peer.port());
            else
                transport.Call("127.0.0.1", peer.port(), kServer, kMethod, someArgs());
            ADD_FAILURE() << "the call succeeded";
        } catch (const pla013::host::EHostError& e) {
            message = e.what();
        }
        const auto elapsed = std::chrono::steady_clock::now() - start;
        EXPECT_GE(elapsed, 900ms);
        EXPECT_LT(elapsed, 10s);
        // The health check changes nothing: it says so and leaves the next
        // server of a list free to answer.
        const std::string said = connectOnly ? "sem resposta em 1 s" : "não respondeu em ";
        EXPECT_NE(message.find(said), std::string::npos) << message;
        if (!connectOnly) EXPECT_NE(message.find("(prazo da chamada: 1,0 s)"), std::string::npos) << message;
        EXPECT_NE(message.find("127.0.0.1:" + std::to_string(peer.port())), std::string::npos) << message;
    }
}

TEST(HttpTransport, AnswerOverTheLimitIsRefused) {
    const std::string big = net::encodeCallResult(Variant(std::string(5000, 'x')));
    ScriptedPeer peer(ScriptedPeer::Mode::Answer, httpAnswer("200 OK", big));
    auto options = quick();
    options.maxResponseBytes = 1000;
    net::HttpTransport transport(options);
    const std::string message = failingCall(transport, peer.port());
    EXPECT_NE(message.find("maior que o limite de 1 000 bytes"), std::string::npos) << message;
}

TEST(HttpTransport, ArgumentThatCannotBeSentFailsBeforeTheNetwork) {
    ScriptedPeer peer(ScriptedPeer::Mode::Answer, httpAnswer("200 OK", net::encodeCallResult(Variant::null())));
    net::HttpTransport transport(quick());
    const std::string message =
        failingCall(transport, peer.port(), {{CallArg::Kind::Int32, Variant(std::int64_t(1) << 40)}});
    EXPECT_NE(message.find("32 bits"), std::string::npos) << message;
    EXPECT_EQ(peer.accepted(), 0);
}

TEST(HttpTransport, InvalidAddressFailsWithoutTrying) {
    net::HttpTransport transport(quick());
    EXPECT_THROW(transport.Call("", 8080, kServer, kMethod, {}), pla013::host::EHostError);
    EXPECT_THROW(transport.Call("127.0.0.1", 0, kServer, kMethod, {}), pla013::host::EHostError);
    EXPECT_THROW(transport.Connect("127.0.0.1", 70000), pla013::host::EHostError);
}

TEST(HttpTransport, ConnectAcceptsOnlyOurProtocol) {
    const struct {
        const char* name;
        std::string answer;
        bool ok;
    } cases[] = {
        {"ours", httpAnswer("200 OK", R"({"version":1,"status":"ok"})"), true},
        {"other version", httpAnswer("200 OK", R"({"version":2,"status":"ok"})"), false},
        {"not JSON", httpAnswer("200 OK", "OK", "text/plain"), false},
        {"not found", httpAnswer("404 Not Found", "", "text/plain"), false},
    };
    for (const auto& c : cases) {
        ScriptedPeer peer(ScriptedPeer::Mode::Answer, c.answer);
        net::HttpTransport transport(quick());
        if (c.ok) {
            EXPECT_NO_THROW(transport.Connect("127.0.0.1", peer.port())) << c.name;
            EXPECT_EQ(peer.lastRequest().rfind("GET /health HTTP/1.1", 0), 0u) << c.name;
        } else {
            EXPECT_THROW(transport.Connect("127.0.0.1", peer.port()), pla013::host::EHostError) << c.name;
        }
    }
    ScriptedPeer silent(ScriptedPeer::Mode::Silent);
    net::HttpTransport transport(quick());
    EXPECT_THROW(transport.Connect("127.0.0.1", silent.port()), pla013::host::EHostError);
}

// A server that received the call may have run it: whatever it answers, or
// however it fails afterwards, the next server in the list is not asked.
TEST(HttpTransport, ListMovesOnOnlyFromAServerThatNeverGotTheCall) {
    const std::string ok = httpAnswer("200 OK", net::encodeCallResult(Variant("ok")));
    const struct {
        const char* name;
        ScriptedPeer::Mode mode;
        std::string answer;
        const char* expected;
    } cases[] = {
        {"dies after reading the call", ScriptedPeer::Mode::Answer, "", "resposta incompleta"},
        {"answers an error", ScriptedPeer::Mode::Answer,
         httpAnswer("500 Internal Server Error", net::encodeError("database_error", "sem banco")), "sem banco"},
        {"never answers", ScriptedPeer::Mode::Silent, "", "recebeu a chamada e não respondeu em"},
        {"answers garbage", ScriptedPeer::Mode::Answer, "HTTP/1.1 200 OK\r\n\r\nlixo", "não pode ser lida"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedPeer first(c.mode, c.answer);
        ScriptedPeer second(ScriptedPeer::Mode::Answer, ok);
        net::HttpTransport transport(quick(), {{"127.0.0.1", first.port()}, {"127.0.0.1", second.port()}});
        const std::string message = failingCall(transport, first.port());
        EXPECT_NE(message.find(c.expected), std::string::npos) << message;
        expectNamesCall(message, first.port());
        EXPECT_EQ(first.accepted(), 1);
        EXPECT_EQ(second.accepted(), 0);
    }
    // A dead first server: the call goes to the second, and so does the next.
    ScriptedPeer second(ScriptedPeer::Mode::Answer, ok);
    const int dead = deadPort();
    net::HttpTransport transport(quick(), {{"127.0.0.1", dead}, {"127.0.0.1", second.port()}});
    EXPECT_EQ(transport.Call("127.0.0.1", dead, kServer, kMethod, someArgs()).toString(), "ok");
    EXPECT_EQ(transport.currentServer("127.0.0.1", dead).port, second.port());
    // An address outside the list is called alone.
    try {
        transport.Call("127.0.0.2", dead, kServer, kMethod, someArgs());
        ADD_FAILURE() << "a dead address answered";
    } catch (const pla013::host::EHostError& e) {
        EXPECT_NE(std::string(e.what()).find("127.0.0.2:" + std::to_string(dead) + ": o servidor não pode"),
                  std::string::npos)
            << e.what();
    }
    EXPECT_EQ(second.accepted(), 1);
}
