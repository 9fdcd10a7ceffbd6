// The application server over TLS and its client: a certificate authority
// and server certificates made for the test by the openssl command, real
// servers on loopback, calls through the transport; what each side refuses
// and what the user reads then.

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <mutex>
#include <string>
#include <vector>

#include "ServerTestSupport.h"
#include "host/Errors.h"
#include "platform/appserver/AppServerOptions.h"
#include "platform/net/HostPort.h"
#include "platform/net/HttpTransport.h"

using namespace servertest;
using pla013::appserver::AppServerOptions;
using pla013::net::HostPort;
using pla013::net::HttpTransport;
using pla013::net::HttpTransportOptions;

namespace {

// Made once for the whole program: ca.pem signed server.pem (127.0.0.1 and
// localhost) and elsewhere.pem (another name only); other-ca.pem signed
// nothing of ours; stray.key belongs to no certificate.
class Certificates {
public:
    Certificates() {
        const std::string ec = " -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes";
        auto leaf = [&ec](const std::string& name, const std::string& names) {
            return "openssl req" + ec + " -keyout " + name + ".key -out " + name + ".csr -subj '/CN=pla013 " + name +
                   "' && printf 'subjectAltName=" + names + "\\n' > " + name + ".ext && openssl x509 -req -in " + name +
                   ".csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 2 " + "-extfile " + name + ".ext -out " + name +
                   ".pem";
        };
        const std::string script =
            "cd '" + m_dir.path().string() + "' && (openssl req -x509" + ec +
            " -keyout ca.key -out ca.pem -days 2 -subj '/CN=pla013 test CA' && openssl req "
            "-x509" +
            ec + " -keyout other-ca.key -out other-ca.pem -days 2 -subj '/CN=pla013 other CA' && " +
            leaf("server", "IP:127.0.0.1,DNS:localhost") + " && " + leaf("elsewhere", "DNS:cozinha.invalid") +
            " && openssl genpkey -algorithm ec -pkeyopt ec_paramgen_curve:prime256v1 -out "
            "stray.key) > openssl.log 2>&1";
        m_made = std::system(script.c_str()) == 0;
    }
    bool made() const { return m_made; }
    std::string file(const std::string& name) const { return m_dir.file(name); }

private:
    TempDir m_dir;
    bool m_made = false;
};

const Certificates& certificates() {
    static const Certificates made;
    return made;
}

std::string file(const std::string& name) { return certificates().file(name); }

// Collects a server's log lines.
struct Log {
    std::mutex mutex;
    std::vector<std::string> lines;

    AppServerOptions options(const std::string& certificate = "server") {
        AppServerOptions o;
        o.logSink = [this](const std::string& line) {
            std::lock_guard<std::mutex> lock(mutex);
            lines.push_back(line);
        };
        if (!certificate.empty()) {
            o.tlsCertFile = file(certificate + ".pem");
            o.tlsKeyFile = file(certificate + ".key");
        }
        return o;
    }
    bool has(const std::string& part) {
        std::lock_guard<std::mutex> lock(mutex);
        for (const auto& line : lines)
            if (line.find(part) != std::string::npos) return true;
        return false;
    }
};

HostPort https(int port) { return HostPort{"127.0.0.1", port, true}; }

std::size_t costTypes(HttpTransport& transport, const HostPort& server) {
    return transport.Call(server.host, server.port, kCost, "ListaTipoCusto", {}).packet()->rows.size();
}

// The message of the call's failure; "" when it succeeded.
std::string failureOf(HttpTransport& transport, const HostPort& server) {
    try {
        costTypes(transport, server);
    } catch (const pla013::host::EHostError& e) {
        return e.what();
    }
    return "";
}

// What a peer sends until it closes, and whether it did within 10 s.
struct Received {
    std::string bytes;
    bool closed = false;
};

Received readUntilClosed(int fd) {
    timeval wait{10, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    Received got;
    char buffer[4096];
    while (true) {
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n > 0) {
            got.bytes.append(buffer, std::size_t(n));
            continue;
        }
        got.closed = n == 0 || errno == ECONNRESET;
        return got;
    }
}

class Tls : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(certificates().made()) << "openssl: see " << file("openssl.log"); }
};

}  // namespace

TEST_F(Tls, CallsGoOverTlsToAServerWhoseCertificateVerifies) {
    Log log;
    auto server = startServer(sampleDatabase(DbEngine::SQLite), log.options());
    HttpTransportOptions options;
    options.caFile = file("ca.pem");
    HttpTransport transport(options, {https(server->port())});
    EXPECT_NO_THROW(transport.Connect("127.0.0.1", server->port()));
    EXPECT_EQ(costTypes(transport, https(server->port())), 3u);
    EXPECT_TRUE(log.has("call CUS00000.rdmCustProd.ListaTipoCusto status=200"));
}

TEST_F(Tls, ACertificateThatDoesNotVerifyEndsTheCallWithTheReason) {
    Log goodLog, elsewhereLog;
    auto good = startServer(sampleDatabase(DbEngine::SQLite), goodLog.options());
    auto elsewhere = startServer(sampleDatabase(DbEngine::SQLite), elsewhereLog.options("elsewhere"));
    const struct {
        const char* name;
        int port;
        const char* caFile;  // "": the system's store
        const char* reason;
    } cases[] = {
        {"authority unknown to the system", good->port(), "",
         "o certificado do servidor não é confiável: foi emitido por uma autoridade certificadora que este "
         "computador não conhece (indique a autoridade com --ca ARQUIVO)."},
        {"another authority", good->port(), "other-ca.pem", "não foi emitido pela autoridade certificadora de "},
        {"another name", elsewhere->port(), "ca.pem", "foi emitido para outro nome, não para 127.0.0.1."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        HttpTransportOptions options;
        if (*c.caFile) options.caFile = file(c.caFile);
        // A server that verifies follows in the list: a certificate refused
        // is a setting to correct, not a server down, and the call ends there.
        const HostPort refused = https(c.port);
        const HostPort next = https(c.port == good->port() ? elsewhere->port() : good->port());
        HttpTransport transport(options, {refused, next});
        const std::string what = failureOf(transport, refused);
        EXPECT_NE(what.find("ao servidor de aplicação em " + refused.text() + ": "), std::string::npos) << what;
        EXPECT_NE(what.find(c.reason), std::string::npos) << what;
        EXPECT_EQ(transport.currentServer(refused.host, refused.port).port, refused.port);
    }
}

TEST_F(Tls, APlainRequestToTheTlsPortIsRefusedAndTheServerGoesOn) {
    Log log;
    auto server = startServer(sampleDatabase(DbEngine::SQLite), log.options());
    const int fd = connectLoopback(server->port());
    ASSERT_GE(fd, 0);
    const std::string request = "GET /health HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
    ASSERT_EQ(::send(fd, request.data(), request.size(), MSG_NOSIGNAL), ssize_t(request.size()));
    const Received got = readUntilClosed(fd);
    ::close(fd);
    EXPECT_TRUE(got.closed);
    EXPECT_EQ(got.bytes.find("HTTP/"), std::string::npos) << got.bytes;
    EXPECT_TRUE(log.has("request refused error=tls_handshake peer=127.0.0.1"));

    // The transport's plain HTTP fails the same way.
    HttpTransport plain;
    EXPECT_THROW(plain.Call("127.0.0.1", server->port(), kCost, "ListaTipoCusto", {}), pla013::host::EHostError);

    HttpTransportOptions options;
    options.caFile = file("ca.pem");
    HttpTransport transport(options, {https(server->port())});
    EXPECT_EQ(costTypes(transport, https(server->port())), 3u);
}

// A TLS server whose connection fails before the call goes out (down, or not
// speaking TLS) passes the call to the next.
TEST_F(Tls, ACallMovesOnPastTlsServersItCannotConnectTo) {
    AppServerOptions tlsOptions = quietOptions();
    tlsOptions.tlsCertFile = file("server.pem");
    tlsOptions.tlsKeyFile = file("server.key");
    auto secure = startServer(sampleDatabase(DbEngine::SQLite), tlsOptions);
    auto plain = startServer(sampleDatabase(DbEngine::SQLite), quietOptions());
    auto gone = startServer(sampleDatabase(DbEngine::SQLite), quietOptions());
    const int dead = gone->port();
    gone->stop();

    HttpTransportOptions options;
    options.caFile = file("ca.pem");
    HttpTransport transport(options, {https(dead), https(plain->port()), https(secure->port())});
    EXPECT_EQ(costTypes(transport, https(dead)), 3u);
    EXPECT_EQ(transport.currentServer("127.0.0.1", dead).port, secure->port());

    HttpTransport none(options, {https(dead), https(plain->port())});
    const std::string what = failureOf(none, https(dead));
    EXPECT_NE(what.find("nenhum deles responde (https://127.0.0.1:" + std::to_string(dead) +
                        ": o servidor não pode ser alcançado"),
              std::string::npos)
        << what;
    EXPECT_NE(what.find("https://127.0.0.1:" + std::to_string(plain->port()) +
                        ": a conexão segura (TLS) não pôde ser estabelecida"),
              std::string::npos)
        << what;
}

TEST_F(Tls, AClientThatNeverCompletesTheHandshakeIsCutOff) {
    Log log;
    AppServerOptions options = log.options();
    options.readTimeout = std::chrono::milliseconds(300);
    auto server = startServer(sampleDatabase(DbEngine::SQLite), options);
    for (const std::string& sent : {std::string(), std::string("\x16\x03\x01", 3)}) {
        SCOPED_TRACE(sent.size());
        const int fd = connectLoopback(server->port());
        ASSERT_GE(fd, 0);
        if (!sent.empty()) ::send(fd, sent.data(), sent.size(), MSG_NOSIGNAL);
        EXPECT_TRUE(readUntilClosed(fd).closed);
        ::close(fd);
    }
    // Silence is not worth a line.
    EXPECT_FALSE(log.has("tls_handshake"));
}

// The openssl client offering one protocol version, with the ciphers of the
// old versions allowed on its side: what the server answered.
std::string handshakeWith(const std::string& version, int port) {
    const std::string out = file("s_client-" + version + ".txt");
    const std::string command = "openssl s_client -connect 127.0.0.1:" + std::to_string(port) + " -" + version +
                                " -cipher 'DEFAULT:@SECLEVEL=0' < /dev/null > '" + out + "' 2>&1";
    std::system(command.c_str());
    std::ifstream in(out);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST_F(Tls, ProtocolsOlderThanTls12AreRefused) {
    Log log;
    auto server = startServer(sampleDatabase(DbEngine::SQLite), log.options());
    EXPECT_NE(handshakeWith("tls1_2", server->port()).find("Protocol  : TLSv1.2"), std::string::npos);
    for (const char* old : {"tls1", "tls1_1"}) {
        const std::string answer = handshakeWith(old, server->port());
        EXPECT_NE(answer.find("alert protocol version"), std::string::npos) << answer;
    }
    EXPECT_TRUE(log.has("request refused error=tls_handshake peer=127.0.0.1 detail=\"unsupported protocol\""));
}

TEST_F(Tls, StartRefusesFilesItCannotUseNamingThem) {
    const struct {
        std::string certificate, key, message;
    } cases[] = {
        {file("nao-ha.pem"), file("server.key"),
         "O certificado TLS do servidor não pôde ser lido de " + file("nao-ha.pem")},
        {file("server.key"), file("server.key"),
         "O certificado TLS do servidor não pôde ser lido de " + file("server.key")},
        {file("server.pem"), file("nao-ha.key"),
         "A chave privada TLS do servidor não pôde ser lida de " + file("nao-ha.key")},
        {file("server.pem"), file("server.pem"),
         "A chave privada TLS do servidor não pôde ser lida de " + file("server.pem")},
        {file("server.pem"), file("stray.key"),
         "A chave privada " + file("stray.key") + " não corresponde ao certificado " + file("server.pem") + "."},
        {file("server.pem"), file("elsewhere.key"), "não corresponde ao certificado"},
        {file("server.pem"), "", "foi dado só o certificado, " + file("server.pem")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        AppServerOptions options = quietOptions();
        options.tlsCertFile = c.certificate;
        options.tlsKeyFile = c.key;
        pla013::appserver::AppServer server(
            [] { return std::make_unique<pla013::db::SociDatabase>(sampleDatabase(DbEngine::SQLite)); }, options);
        try {
            server.start();
            ADD_FAILURE() << "started";
        } catch (const pla013::host::EHostError& e) {
            EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
        }
        EXPECT_FALSE(server.running());
    }
}

TEST(ServerCommandLine, ListensBeyondLoopbackOnlyOverTlsOrWhenToldTo) {
    const struct {
        std::vector<std::string> args;
        const char* refusal;  // part of the message; nullptr: accepted
        bool tls;
    } cases[] = {
        {{}, nullptr, false},
        {{"--listen", "localhost:8013"}, nullptr, false},
        {{"--listen", "[::1]:0"}, nullptr, false},
        {{"--listen", "127.8.9.10:1"}, nullptr, false},
        {{"--listen", "0.0.0.0:8013"},
         "--listen 0.0.0.0:8013: escutar sem TLS num endereço que não é de loopback faria senhas e custos de receitas "
         "atravessarem a rede legíveis por qualquer um no caminho; dê --tls-cert e --tls-key, ou --plain-http",
         false},
        {{"--listen", "[::]:8013"}, "--listen [::]:8013: escutar sem TLS", false},
        {{"--listen", "cozinha.local:8013"}, "escutar sem TLS", false},
        {{"--plain-http", "--listen", "0.0.0.0:8013", "--threads", "2"}, nullptr, false},
        {{"--listen", "[::]:8013", "--tls-cert", "c.pem", "--tls-key", "k.pem"}, nullptr, true},
        {{"--tls-key=k.pem", "--tls-cert=c.pem"}, nullptr, true},
        {{"--tls-cert", "c.pem"}, "--tls-cert e --tls-key vão juntos", false},
        {{"--tls-key", "k.pem", "--listen", "10.0.0.1:1"}, "(falta --tls-cert)", false},
        {{"--tls-cert"}, "--tls-cert needs a value", false},
        {{"--tls-cert="}, "--tls-cert needs a value", false},
        {{"--listen", "https://127.0.0.1:8443"}, "o servidor fala TLS quando recebe --tls-cert e --tls-key", false},
    };
    for (const auto& c : cases) {
        std::string line;
        for (const auto& a : c.args) line += a + " ";
        SCOPED_TRACE(line);
        try {
            const auto parsed = pla013::appserver::AppServerCommandLine::parse(c.args);
            if (c.refusal) ADD_FAILURE() << "accepted";
            EXPECT_EQ(!parsed.options.tlsCertFile.empty() && !parsed.options.tlsKeyFile.empty(), c.tls);
        } catch (const std::invalid_argument& e) {
            if (!c.refusal)
                ADD_FAILURE() << e.what();
            else
                EXPECT_NE(std::string(e.what()).find(c.refusal), std::string::npos) << e.what();
        }
    }
}
