// The web host's parts that decide alone: its command line, the rules of a
// request (cookie, CSRF token, origin), the session's report files on a real
// folder, and the remembered filters in a real sample database.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "TempDir.h"
#include "platform/db/DatabaseInitializer.h"
#include "platform/db/SociDatabase.h"
#include "platform/web/FilterStore.h"
#include "platform/web/ReportFiles.h"
#include "platform/web/RequestSecurity.h"
#include "platform/web/WebOptions.h"

namespace {

namespace fs = std::filesystem;
using pla013::web::RequestSecurity;
using pla013::web::internal::HttpRequest;

HttpRequest request(std::vector<std::pair<std::string, std::string>> headers) {
    HttpRequest r;
    r.method = "POST";
    r.target = "/api/forms";
    r.headers = std::move(headers);
    return r;
}

}  // namespace

TEST(WebOptions, ListeningRulesAndBadValues) {
    struct Case {
        std::vector<std::string> args;
        const char* error;  // part of the refusal; empty: accepted
    };
    const Case cases[] = {
        {{}, ""},
        {{"--listen", "[::1]:8443", "--idle-timeout", "60"}, ""},
        {{"--listen", "0.0.0.0:8443", "--plain-http"}, ""},
        {{"--listen", "0.0.0.0:8443", "--tls-cert", "c.pem", "--tls-key", "k.pem"}, ""},
        {{"--listen", "10.0.0.5:8443"}, "só escuta em loopback"},
        {{"--tls-cert", "c.pem"}, "andam juntos"},
        {{"--tls-cert", "c.pem", "--tls-key", "k.pem", "--plain-http"}, "não combina"},
        {{"--operator", "2"}, "não se aplica"},
        {{"--single-branch"}, "não se aplica"},
        {{"--max-forms", "0"}, "de 1 a 1000"},
        {{"--idle-timeout", "trinta"}, "precisa de um número"},
        {{"--origin", "cozinha.exemplo"}, "--origin é um endereço"},
        {{"--listen"}, "precisa de um valor"},
        {{"--branch", "00001"}, "--branch"},
        {{"--porta", "1"}, "opção desconhecida: --porta"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.args));
        try {
            const auto o = pla013::web::WebOptions::parse(c.args);
            EXPECT_STREQ(c.error, "");
            EXPECT_EQ(o.secureCookies(), o.tls.has_value() || o.plainHttp);
        } catch (const std::invalid_argument& e) {
            EXPECT_NE(std::string(e.what()).find(c.error), std::string::npos) << e.what();
            EXPECT_STRNE(c.error, "");
        }
    }
    const auto o = pla013::web::WebOptions::parse({"--origin", "https://cozinha.exemplo/", "--idle-timeout", "5"});
    EXPECT_EQ(o.origins, std::vector<std::string>{"https://cozinha.exemplo"});
    EXPECT_EQ(o.forms.idleTimeout, std::chrono::seconds(5));
}

TEST(RequestSecurity, TheCookieTheTokenAndTheOrigin) {
    const std::string token = "QNxW-abc_123";
    EXPECT_EQ(RequestSecurity::sessionToken(request({{"cookie", "a=1; pla013=" + token + "; b=2"}})), token);
    EXPECT_EQ(RequestSecurity::sessionToken(request({{"cookie", "pla0131=x; xpla013=y"}})), "");
    EXPECT_EQ(RequestSecurity::sessionToken(request({{"cookie", "pla013=<script>"}})), "");
    EXPECT_EQ(RequestSecurity::sessionToken(request({})), "");

    const std::string cookie = RequestSecurity::sessionCookie(token, true, 43200);
    for (const char* part : {"HttpOnly", "SameSite=Strict", "Secure", "Max-Age=43200", "Path=/"})
        EXPECT_NE(cookie.find(part), std::string::npos) << part;
    EXPECT_EQ(RequestSecurity::sessionCookie(token, false, 1).find("Secure"), std::string::npos);

    const std::string csrf = RequestSecurity::csrfToken(token);
    EXPECT_EQ(csrf.size(), 64u);
    EXPECT_NE(csrf, RequestSecurity::csrfToken(token + "x"));
    EXPECT_TRUE(RequestSecurity::csrfMatches(request({{"x-csrf-token", csrf}}), token));
    EXPECT_FALSE(RequestSecurity::csrfMatches(request({{"x-csrf-token", csrf}}), token + "x"));
    EXPECT_FALSE(RequestSecurity::csrfMatches(request({}), token));

    struct Case {
        std::vector<std::pair<std::string, std::string>> headers;
        bool allowed;
    };
    const std::vector<std::string> proxies{"https://cozinha.exemplo"};
    const Case cases[] = {
        {{{"host", "127.0.0.1:8014"}, {"origin", "http://127.0.0.1:8014"}}, true},
        {{{"host", "127.0.0.1:8014"}, {"origin", "https://cozinha.exemplo"}}, true},
        {{{"host", "127.0.0.1:8014"}, {"origin", "http://127.0.0.1:8015"}}, false},
        {{{"host", "127.0.0.1:8014"}, {"origin", "null"}}, false},
        {{{"host", "127.0.0.1:8014"}}, false},
        {{{"host", "127.0.0.1:8014"}, {"origin", "http://127.0.0.1:8014"}, {"sec-fetch-site", "cross-site"}}, false},
        {{{"host", "127.0.0.1:8014"}, {"origin", "http://127.0.0.1:8014"}, {"sec-fetch-site", "same-origin"}}, true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(RequestSecurity::originAllowed(request(c.headers), proxies), c.allowed)
            << ::testing::PrintToString(c.headers);
}

TEST(ReportFiles, EachSessionSeesItsOwnFilesForAnHour) {
    pla013test::TempDir dir;
    pla013::web::ReportFiles files((dir.path() / "relatorios").string(), std::chrono::hours(1));
    const std::string mine(64, 'a'), theirs(64, 'b');
    const std::string path = files.reserve(mine, "html");
    EXPECT_EQ(fs::path(path).parent_path().filename(), mine.substr(0, 32));
    EXPECT_EQ(fs::status(fs::path(path).parent_path()).permissions() & fs::perms::all, fs::perms::owner_all);
    {
        std::ofstream out(path);
        out << "<!DOCTYPE html><head><style>x</style></head><body>\n<section class=\"page\">um &lt;b&gt;</section>\n"
               "<section class=\"page\">dois</section>\n</body>\n</html>\n";
    }
    // Only a name this host gave, in the owner's folder, becomes a file.
    EXPECT_FALSE(files.add(theirs, path, "PLA01301", 2, true));
    EXPECT_FALSE(files.add(mine, (dir.path() / "outro.html").string(), "PLA01301", 2, true));
    const auto file = files.add(mine, path, "PLA01301", 2, true);
    ASSERT_TRUE(file);
    EXPECT_FALSE(files.add(mine, path, "PLA01301", 2, true)) << "a name serves once";
    EXPECT_TRUE(files.find(mine, file->id));
    EXPECT_FALSE(files.find(theirs, file->id));
    EXPECT_TRUE(files.list(theirs).empty());

    const auto second = files.previewPage(mine, file->id, 2);
    ASSERT_TRUE(second);
    EXPECT_NE(second->find("<style>x</style>"), std::string::npos);
    EXPECT_NE(second->find("dois"), std::string::npos);
    EXPECT_EQ(second->find("um &lt;b&gt;"), std::string::npos);
    EXPECT_FALSE(files.previewPage(mine, file->id, 3));
    EXPECT_FALSE(files.previewPage(mine, file->id, 0));
    EXPECT_FALSE(files.previewPage(theirs, file->id, 1));

    const std::string unfinished = files.reserve(mine, "pdf");
    std::ofstream(unfinished) << "%PDF";
    EXPECT_EQ(files.expire(std::chrono::system_clock::now() + std::chrono::minutes(59)), 0u);
    EXPECT_EQ(files.expire(std::chrono::system_clock::now() + std::chrono::minutes(61)), 2u);
    EXPECT_FALSE(files.find(mine, file->id));
    EXPECT_FALSE(fs::exists(path));
    EXPECT_FALSE(fs::exists(unfinished));

    const std::string kept = files.reserve(mine, "csv");
    std::ofstream(kept) << "x";
    files.removeOwner(mine);
    EXPECT_FALSE(fs::exists(fs::path(kept).parent_path()));
    EXPECT_THROW(files.reserve("../x", "pdf"), std::runtime_error);

    const auto day = std::chrono::system_clock::from_time_t(1796601600);  // 2026-12-07, midday in Brazil
    EXPECT_EQ(pla013::web::ReportFiles::downloadName("PLA01303", "pdf", day).substr(0, 9), "PLA01303-");
    EXPECT_EQ(pla013::web::ReportFiles::downloadName("../../etc", "pdf", day).substr(0, 4), "etc-");
}

TEST(FilterStore, TheLastReportAndItsFiltersPerOperator) {
    pla013test::TempDir dir;
    pla013::db::initializeDatabase(dir.file("c.sqlite"), true);
    pla013::db::SociDatabase db(dir.file("c.sqlite"));
    pla013::web::FilterStore store([&db](const std::function<void(pla013::db::SociDatabase&)>& work) { work(db); });
    EXPECT_FALSE(store.last("2"));
    EXPECT_TRUE(store.save("2", "Relação de Pratos", R"({"report":"Relação de Pratos","filters":[]})"));
    EXPECT_TRUE(store.save("2", "Fichas Técnicas", R"({"report":"Fichas Técnicas","filters":[["a","1"]]})"));
    EXPECT_TRUE(store.save("3", "Relação de Pratos", R"({"report":"Relação de Pratos","filters":[["b","2"]]})"));
    EXPECT_EQ(*store.last("2"), R"({"report":"Fichas Técnicas","filters":[["a","1"]]})");
    // Saved again, a report becomes the last one; each report keeps its row.
    EXPECT_TRUE(store.save("2", "Relação de Pratos", R"({"report":"Relação de Pratos","filters":[["c","3"]]})"));
    EXPECT_EQ(*store.last("2"), R"({"report":"Relação de Pratos","filters":[["c","3"]]})");
    const auto rows = db.query("SELECT COUNT(*) FROM WEBFILTRO WHERE CDOPERADOR = '2'", {}, "t");
    EXPECT_EQ(rows.rows[0][0].toInt(), 2);
    store.forget("2", "Relação de Pratos");
    EXPECT_FALSE(store.last("2")) << "forgotten, the form opens as designed";
    EXPECT_EQ(*store.last("3"), R"({"report":"Relação de Pratos","filters":[["b","2"]]})");
    EXPECT_FALSE(store.save("2", "Relação de Pratos", std::string(4001, 'x')));
    EXPECT_FALSE(store.save("2", "", "{}"));
}
