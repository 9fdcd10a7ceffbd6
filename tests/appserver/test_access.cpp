// Sign-in and branch scope, against a real server on loopback over a copy of
// the sample database: tokens that are missing, wrong, expired or ended; the
// lock after wrong passwords, its end, and the operator's own address let
// through; an address that fails too often; operator 2 (branches 0002 and
// 0003) asking for other branches directly; a token that outlives its server.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <sys/wait.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "ServerTestSupport.h"
#include "platform/appserver/AuditLog.h"
#include "platform/db/DatabaseInitializer.h"
#include "platform/net/Protocol.h"

namespace {

using namespace servertest;
using pla013::appserver::AppServerOptions;
using pla013::appserver::AuthMode;

struct Answer {
    int status = 0;
    std::string code;
    std::string retryAfter;
    nlohmann::json body;
};

// One HTTP request from a chosen loopback address (127.0.0.N), so that tests
// can be several clients.
Answer request(int port, const std::string& from, const std::string& method, const std::string& path,
               const std::string& body, const std::string& token = {}) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    ::inet_pton(AF_INET, from.c_str(), &local.sin_addr);
    EXPECT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local), 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(std::uint16_t(port));
    ::inet_pton(AF_INET, "127.0.0.1", &to.sin_addr);
    EXPECT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to), 0);
    std::string text = method + " " + path +
                       " HTTP/1.1\r\nHost: x\r\nConnection: close\r\nContent-Length: " + std::to_string(body.size()) +
                       "\r\n";
    if (!token.empty()) text += "Authorization: Bearer " + token + "\r\n";
    text += "\r\n" + body;
    EXPECT_EQ(::send(fd, text.data(), text.size(), MSG_NOSIGNAL), ssize_t(text.size()));
    std::string reply;
    char buf[4096];
    for (ssize_t n; (n = ::recv(fd, buf, sizeof buf, 0)) > 0;) reply.append(buf, std::size_t(n));
    ::close(fd);
    Answer a;
    if (reply.size() > 12) a.status = std::stoi(reply.substr(9, 3));
    const auto retry = reply.find("Retry-After: ");
    if (retry != std::string::npos) a.retryAfter = reply.substr(retry + 13, reply.find("\r\n", retry) - retry - 13);
    const auto start = reply.find("\r\n\r\n");
    if (start != std::string::npos && start + 4 < reply.size()) {
        a.body = nlohmann::json::parse(reply.substr(start + 4), nullptr, false);
        if (a.body.is_object() && a.body.contains("error")) a.code = a.body["error"]["code"];
    }
    return a;
}

std::string signInBody(const std::string& op, const std::string& password) {
    return pla013::net::encodeSignIn({op, password});
}

std::string callBody(const std::string& method, const std::vector<pla013::host::CallArg>& args) {
    return pla013::net::encodeCallRequest(kRecipes, method, args);
}

const std::string kMaria = "filiais-0002-0003";  // operator 2's sample password

class Access : public ::testing::Test {
protected:
    void SetUp() override {
        m_db = m_dir.file("catering.sqlite");
        pla013::db::initializeDatabase(m_db, true);
        m_server = startServer(m_db, options());
    }

    AppServerOptions options() {
        AppServerOptions o = quietOptions();
        o.auth = AuthMode::Required;
        o.access.cost = pla013::appserver::PasswordCost::minimum();
        o.access.clock = [this] { return m_now.load(); };
        return o;
    }

    Answer signIn(const std::string& op, const std::string& password, const std::string& from = "127.0.0.1") {
        return request(m_server->port(), from, "POST", "/session", signInBody(op, password));
    }
    std::string token(const std::string& op = "2", const std::string& password = kMaria) {
        const Answer a = signIn(op, password);
        EXPECT_EQ(a.status, 200) << a.body.dump();
        return a.status == 200 ? a.body["token"].get<std::string>() : std::string();
    }
    Answer call(const std::string& token, const std::string& method, const std::vector<pla013::host::CallArg>& args) {
        return request(m_server->port(), "127.0.0.1", "POST", "/call", callBody(method, args), token);
    }
    Answer costTypes(const std::string& token) {
        return request(m_server->port(), "127.0.0.1", "POST", "/call",
                       pla013::net::encodeCallRequest(kCost, "ListaTipoCusto", {}), token);
    }

    TempDir m_dir;
    std::string m_db;
    std::atomic<std::int64_t> m_now{1'800'000'000};
    std::unique_ptr<pla013::appserver::AppServer> m_server;
};

TEST_F(Access, CallsWithoutAGoodSessionAreRefused) {
    const std::string good = token();
    ASSERT_EQ(costTypes(good).status, 200);

    const std::string ended = token();
    ASSERT_EQ(request(m_server->port(), "127.0.0.1", "DELETE", "/session", "", ended).status, 204);
    const std::string idle = token();
    const std::string old = token();

    m_now += 29 * 60;
    ASSERT_EQ(costTypes(old).status, 200);  // used: its idle time starts again
    m_now += 2 * 60;                        // idle's 30 minutes have passed
    struct Case {
        const char* what;
        std::string token;
    };
    for (const Case& c :
         {Case{"none", ""}, Case{"unknown", "x" + good}, Case{"signed out", ended}, Case{"idle too long", idle}}) {
        const Answer a = costTypes(c.token);
        EXPECT_EQ(a.status, 401) << c.what;
        EXPECT_EQ(a.code, "unauthenticated") << c.what;
    }
    EXPECT_EQ(costTypes(old).status, 200);
    for (int i = 0; i < 25; ++i) {  // kept busy, it still ends after 12 hours
        m_now += 29 * 60;
        costTypes(old);
    }
    EXPECT_EQ(costTypes(old).status, 401);
}

TEST_F(Access, WrongPasswordsLockForAWhileAndNeverTheOwnAddress) {
    // Maria's last good sign-in was from 127.0.0.1.
    ASSERT_FALSE(token().empty());
    const Answer unknown = signIn("99", "any-password-at-all", "127.0.0.2");
    const Answer wrong = signIn("2", "not-her-password", "127.0.0.2");
    EXPECT_EQ(unknown.status, 401);
    EXPECT_EQ(unknown.body["error"], wrong.body["error"]);  // nothing tells which operators exist

    for (int i = 0; i < 3; ++i) EXPECT_EQ(signIn("2", "guess-" + std::to_string(i), "127.0.0.2").status, 401);
    const Answer fifth = signIn("2", "guess-5", "127.0.0.2");
    EXPECT_EQ(fifth.status, 429);
    EXPECT_EQ(fifth.code, "locked");
    EXPECT_EQ(fifth.retryAfter, "900");

    // Locked elsewhere, even with her password; not at her own address.
    const Answer elsewhere = signIn("2", kMaria, "127.0.0.3");
    EXPECT_EQ(elsewhere.code, "locked");
    EXPECT_NE(elsewhere.body["error"]["message"].get<std::string>().find("15 minutos"), std::string::npos);
    EXPECT_EQ(signIn("2", kMaria, "127.0.0.1").status, 200);

    m_now += 14 * 60;
    EXPECT_EQ(signIn("2", kMaria, "127.0.0.3").code, "locked");
    m_now += 60;
    EXPECT_EQ(signIn("2", kMaria, "127.0.0.3").status, 200);

    // Failures from her own address lock it too.
    for (int i = 0; i < 5; ++i) signIn("2", "typo-" + std::to_string(i), "127.0.0.3");
    EXPECT_EQ(signIn("2", kMaria, "127.0.0.3").code, "locked");

    m_server->stop();  // writes what is queued
    pla013::db::SociDatabase db(m_db);
    std::multiset<std::string> events;
    for (const auto& e : pla013::appserver::AuditLog::read(db, 0, std::string("2"))) events.insert(e.event);
    EXPECT_GE(events.count("entrada"), 3u);
    EXPECT_GE(events.count("bloqueio"), 2u);
    EXPECT_GE(events.count("falha"), 8u);
}

TEST_F(Access, AnAddressThatFailsTooOftenWaits) {
    for (int i = 0; i < 20; ++i) signIn("op" + std::to_string(i), "whatever-it-is", "127.0.0.4");
    const Answer slowed = signIn("2", kMaria, "127.0.0.4");
    EXPECT_EQ(slowed.status, 429);
    EXPECT_EQ(slowed.code, "too_many_attempts");
    EXPECT_EQ(signIn("2", kMaria, "127.0.0.5").status, 200);
    m_now += 15 * 60;
    EXPECT_EQ(signIn("2", kMaria, "127.0.0.4").status, 200);
}

TEST_F(Access, BranchArgumentsStayInsideTheOperatorsBranches) {
    const std::string t = token();
    const auto d = date(2024, 6, 30);
    struct Case {
        const char* method;
        std::vector<pla013::host::CallArg> args;
    };
    const Case refused[] = {
        {"GetRelCompRecPL", {textRef("0004"), textRef(""), textRef(""), int32(1), d}},
        {"GetRelCompRecPS", {text("0004"), textRef("0002"), textRef(""), textRef(""), textRef("00001"), int32(1), d}},
        {"GetRelPlCent", {textRef("0002,0004"), textRef(""), textRef(""), text("0002"), int32(1), d}},
        {"GetRelPlCent", {textRef("0002"), textRef(""), textRef(""), text("0004"), int32(1), d}},
    };
    for (const Case& c : refused) {
        const Answer a = call(t, c.method, c.args);
        EXPECT_EQ(a.status, 403) << c.method;
        EXPECT_EQ(a.code, "forbidden_branch") << c.method;
        EXPECT_FALSE(a.body.contains("result"));
        EXPECT_NE(a.body.dump().find("0004"), std::string::npos);
    }
    const Answer all = call(t, "GetRelPlCent", {textRef("T"), textRef(""), textRef(""), text("0002"), int32(1), d});
    ASSERT_EQ(all.status, 200);
    std::set<std::string> branches;
    for (const auto& row : all.body["result"]["value"][2]["value"]["rows"]) branches.insert(row[0]);
    EXPECT_EQ(branches, (std::set<std::string>{"0002", "0003"}));

    // The administrator reads every branch.
    const Answer admin = call(token("1", "cozinha-central-01"), "GetRelCompRecPL",
                              {textRef("0004"), textRef(""), textRef(""), int32(1), d});
    EXPECT_EQ(admin.status, 200);
}

TEST_F(Access, ATokenOutlivesItsServer) {
    auto second = startServer(m_db, options());
    pla013::net::HttpTransport client({}, {{"127.0.0.1", m_server->port()}, {"127.0.0.1", second->port()}});
    EXPECT_TRUE(client.signInRequired());
    client.signIn("2", kMaria);
    const int first = m_server->port();
    ASSERT_NO_THROW(client.Call("127.0.0.1", first, kCost, "ListaTipoCusto", {}));
    m_server.reset();
    EXPECT_NO_THROW(client.Call("127.0.0.1", first, kCost, "ListaTipoCusto", {}));
    EXPECT_EQ(client.currentServer("127.0.0.1", first).port, second->port());
    try {
        client.signIn("2", "wrong-password");
        FAIL() << "a wrong password signed in";
    } catch (const pla013::net::SignInRefused& e) {
        EXPECT_EQ(e.code(), "bad_credentials");
        EXPECT_STREQ(e.what(), "Operador ou senha incorretos.");
    }
}

TEST(AccessOptions, SignInIsRequiredWhereTheNetworkReaches) {
    using pla013::appserver::AppServerCommandLine;
    struct Case {
        std::vector<std::string> args;
        const char* outcome;  // "off", "required" or "refused"
    };
    const Case cases[] = {
        {{}, "off"},
        {{"--listen", "127.0.0.1:0", "--auth", "required"}, "required"},
        {{"--listen", "0.0.0.0:0", "--plain-http"}, "required"},
        {{"--listen", "0.0.0.0:0", "--plain-http", "--auth", "off"}, "refused"},
        {{"--auth", "maybe"}, "refused"},
    };
    for (const Case& c : cases) {
        std::string got;
        try {
            got = AppServerCommandLine::parse(c.args).options.auth == AuthMode::Off ? "off" : "required";
        } catch (const std::invalid_argument&) {
            got = "refused";
        }
        EXPECT_EQ(got, c.outcome) << ::testing::PrintToString(c.args);
    }
}

}  // namespace

namespace {

struct CliRun {
    int status;
    std::string err;
};

// The command-line host as a user runs it, with its environment.
CliRun commandLine(const std::string& env, const std::string& args, const TempDir& dir, const std::string& input = {}) {
    const std::string errFile = dir.file("stderr.txt");
    const std::string command = env + " " + PLA013_CLI_BIN + " " + args + " 2>" + errFile + " >/dev/null" +
                                (input.empty() ? " </dev/null" : " <<'EOF'\n" + input + "\nEOF\n");
    const int raw = std::system(command.c_str());
    std::ifstream in(errFile);
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, std::string(std::istreambuf_iterator<char>(in), {})};
}

}  // namespace

TEST_F(Access, TheCommandLineSignsInAndWorksAsTheSignedInOperator) {
    const std::string server = "--db " + m_db + " --server 127.0.0.1:" + std::to_string(m_server->port());
    const std::string out = m_dir.file("local.csv");
    const std::string report = " report --report 03 --for-branch 0002 --dish-from 3 --dish-to 3 --out " + out;

    CliRun r = commandLine("", server + " --operator 2" + report, m_dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("PLA013_PASSWORD"), std::string::npos) << r.err;
    r = commandLine("PLA013_PASSWORD=wrong-password", server + " --operator 2" + report, m_dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Operador ou senha incorretos."), std::string::npos) << r.err;
    EXPECT_FALSE(std::filesystem::exists(out));
    r = commandLine("PLA013_PASSWORD=" + kMaria, server + " --operator 2" + report, m_dir);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(std::filesystem::exists(out));

    // Administration: weak passwords are refused with the reason.
    const std::string db = "--db " + m_db;
    r = commandLine("", db + " operator passwd 3 --password-stdin", m_dir, "curta");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("pelo menos 10 caracteres"), std::string::npos) << r.err;
    r = commandLine("", db + " operator passwd 3 --password-stdin", m_dir, "José Antônio Lopes");
    EXPECT_NE(r.err.find("nome do operador"), std::string::npos) << r.err;
    EXPECT_EQ(commandLine("", db + " operator lock 2", m_dir).status, 0);
    EXPECT_EQ(signIn("2", kMaria).code, "account_locked");
    EXPECT_EQ(commandLine("", db + " operator unlock 2", m_dir).status, 0);
    EXPECT_EQ(signIn("2", kMaria).status, 200);

    m_server->stop();
    pla013::db::SociDatabase catering(m_db);
    std::vector<std::string> reports;
    for (const auto& e : pla013::appserver::AuditLog::read(catering, 0, std::string("2")))
        if (e.event == "relatorio") reports.push_back(e.detail);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports.front().rfind("PLA01303 file ", 0), 0u) << reports.front();
}

TEST_F(Access, ADatabaseErrorTellsNoDetailToACallerWithoutSession) {
    AppServerOptions open = options();
    open.auth = AuthMode::Off;
    auto anonymous = startServer(m_db, open);
    pla013::db::SociDatabase(m_db).execute("ALTER TABLE TIPOCUSTO RENAME TO TIPOCUSTO_X");
    const std::string body = pla013::net::encodeCallRequest(kCost, "ListaTipoCusto", {});
    const Answer bare = request(anonymous->port(), "127.0.0.1", "POST", "/call", body);
    EXPECT_EQ(bare.code, "database_error");
    const std::string message = bare.body["error"]["message"];
    for (const char* secret : {"TIPOCUSTO", "SELECT", "catering.sqlite", "no such"})
        EXPECT_EQ(message.find(secret), std::string::npos) << message;
    // A signed-in caller reads what failed.
    const Answer signedIn = request(anonymous->port(), "127.0.0.1", "POST", "/call", body, token());
    EXPECT_NE(signedIn.body["error"]["message"].get<std::string>().find("TIPOCUSTO"), std::string::npos);
}
