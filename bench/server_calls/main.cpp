// Speed of one-dish calls of GetRelCompRecPL, GetRelCompRecPS and
// GetRelPlCent through the real server on loopback, as the client makes them
// (a connection per call), over a generated database of 50 000 dishes
// (SQLite, in a temporary folder) or the database given with --db (an SQLite
// file or a postgresql:// URL, e.g. one made by pla013 db generate).
//
// Printed: per method, min, median and p99 of the whole call beside the
// target "p99 <= 5 ms"; then the SQL statements each method runs for one
// dish and for a range of thousands of dishes, beside the target "constant
// in the number of dishes".
//
// Last, the server program (pla013-server) answers ten large calls (every dish of
// the school, GetRelCompRecPL); printed: its resident size after the first
// and after the tenth, beside the target "<= 1.3x".
//
// Usage: bench_server_calls [--db PATH|URL] [--dishes N] [--calls N]

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "host/Variant.h"
#include "platform/appserver/AppServer.h"
#include "platform/db/DataGenerator.h"
#include "platform/db/SociDatabase.h"
#include "platform/net/HttpTransport.h"

namespace fs = std::filesystem;
using pla013::host::CallArg;
using pla013::host::Variant;
using Clock = std::chrono::steady_clock;
using K = CallArg::Kind;

namespace {

struct Target {
    std::string branch, dish, service;
};

// A school with a service and a standard dish that has a standard recipe and
// the school's local recipe: every method has rows to return.
Target pickTarget(pla013::db::SociDatabase& db) {
    const auto rows = db.query(
        "SELECT L.CDFILIAL, L.CDPRATO, S.CDSERVFILI FROM RECEITALOCAL L\n"
        "JOIN SERVICO S ON S.CDFILIAL = L.CDFILIAL AND S.IDTIPOSERV <> 'A'\n"
        "WHERE L.CDFILAUXPRAT = 'P'\n"
        "  AND EXISTS (SELECT 1 FROM RECEITAPRATO R WHERE R.CDPRATO = L.CDPRATO AND R.CDFILAUXPRAT = 'P')\n"
        "ORDER BY L.CDFILIAL, L.CDPRATO, S.CDSERVFILI",
        {}, "dish");
    if (rows.rows.empty()) throw std::runtime_error("the database has no local recipe of a standard dish");
    const auto& r = rows.rows[rows.rows.size() / 2];
    return {r[0].toString(), r[1].toString(), r[2].toString()};
}

std::vector<CallArg> argsFor(const std::string& method, const Target& t, const std::string& first,
                             const std::string& last) {
    const Variant date = Variant::date(pla013::host::EncodeDate(2024, 2, 15));
    if (method == "GetRelCompRecPL")
        return {{K::TextByRef, Variant(t.branch)},
                {K::TextByRef, Variant(first)},
                {K::TextByRef, Variant(last)},
                {K::Int32, Variant(1)},
                {K::Date, date}};
    if (method == "GetRelCompRecPS")
        return {{K::TextByValue, Variant(t.branch)},
                {K::TextByRef, Variant(t.branch)},
                {K::TextByRef, Variant(first)},
                {K::TextByRef, Variant(last)},
                {K::TextByRef, Variant(t.service)},
                {K::Int32, Variant(1)},
                {K::Date, date}};
    return {{K::TextByRef, Variant(std::string("T"))}, {K::TextByRef, Variant(first)}, {K::TextByRef, Variant(last)},
            {K::TextByValue, Variant(t.branch)},       {K::Int32, Variant(1)},         {K::Date, date}};
}

std::string padZ(const std::string& code) {
    return code + std::string(10 - std::min<std::size_t>(10, code.size()), 'Z');
}

// Resident size of a process in MiB, from /proc.
double residentMiB(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmRSS:", 0) == 0) return std::atof(line.c_str() + 6) / 1024.0;
    return 0;
}

// The server program in a child process, so that only its own memory
// counts; returns whether the target is met.
bool serverMemory(const std::string& db, const Target& target) {
    int out[2];
    if (::pipe(out) != 0) return false;
    const pid_t child = ::fork();
    if (child == 0) {
        ::dup2(out[1], 1);
        ::execl(PLA013_SERVER_BIN, PLA013_SERVER_BIN, "--db", db.c_str(), "--listen", "127.0.0.1:0", "--log-level",
                "quiet", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(out[1]);
    // "pla013-server listening on 127.0.0.1:PORT (database ...)"
    std::string printed;
    char c = 0;
    while (printed.find('\n') == std::string::npos && ::read(out[0], &c, 1) == 1) printed += c;
    const std::size_t at = printed.find("127.0.0.1:");
    const int port = at == std::string::npos ? 0 : std::atoi(printed.c_str() + at + 10);
    if (child < 0 || port <= 0) {
        std::printf("\nthe server program did not start: %s\n", printed.c_str());
        return false;
    }
    pla013::net::HttpTransport transport;
    std::size_t rows = 0;
    auto large = [&] {
        const Variant answer = transport.Call("127.0.0.1", port, "PLA01303.rdmEmissaoReceitas", "GetRelCompRecPL",
                                              argsFor("GetRelCompRecPL", target, "", padZ("")));
        rows = 0;
        for (const auto& packet : answer.array()) rows += packet.packet()->rows.size();
    };
    const double idle = residentMiB(child);
    large();
    const double afterOne = residentMiB(child);
    for (int i = 1; i < 10; ++i) large();
    const double afterTen = residentMiB(child);
    ::kill(child, SIGTERM);
    ::waitpid(child, nullptr, 0);
    ::close(out[0]);
    const double ratio = afterOne > 0 ? afterTen / afterOne : 0;
    std::printf("\nserver resident size, large GetRelCompRecPL calls of %zu rows (target: after 10 <= 1.3x after 1)\n",
                rows);
    std::printf("  idle %.1f MiB, after 1 call %.1f MiB, after 10 calls %.1f MiB: %.2fx  %s\n", idle, afterOne,
                afterTen, ratio, ratio <= 1.3 ? "met" : "MISSED");
    return ratio <= 1.3;
}

}  // namespace

int main(int argc, char** argv) {
    std::string db;
    int dishes = 50000, calls = 1000;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string a = argv[i];
        if (a == "--db")
            db = argv[i + 1];
        else if (a == "--dishes")
            dishes = std::atoi(argv[i + 1]);
        else if (a == "--calls")
            calls = std::atoi(argv[i + 1]);
    }

    fs::path dir;
    if (db.empty()) {
        dir = fs::temp_directory_path() / ("pla013-bench-calls-" + std::to_string(::getpid()));
        fs::remove_all(dir);
        fs::create_directories(dir);
        db = (dir / "gerada.sqlite").string();
        pla013::db::GeneratorOptions options;
        options.dishes = dishes;
        const auto t0 = Clock::now();
        pla013::db::generateDatabase(db, options);
        std::printf("database of %d dishes generated in %.1f s (SQLite)\n", dishes,
                    std::chrono::duration<double>(Clock::now() - t0).count());
    }

    Target target;
    {
        pla013::db::SociDatabase probe(db);
        target = pickTarget(probe);
        std::printf("database %s; dish %s, branch %s, service %s\n\n", probe.location().c_str(), target.dish.c_str(),
                    target.branch.c_str(), target.service.c_str());
    }

    pla013::appserver::AppServerOptions options;
    options.logLevel = pla013::appserver::LogLevel::Quiet;
    pla013::appserver::AppServer server([db] { return std::make_unique<pla013::db::SociDatabase>(db); }, options);
    server.start();
    pla013::net::HttpTransport transport;
    auto call = [&](const std::string& method, const std::vector<CallArg>& args) {
        return transport.Call(server.host(), server.port(), "PLA01303.rdmEmissaoReceitas", method, args);
    };

    const std::vector<std::string> methods = {"GetRelCompRecPL", "GetRelCompRecPS", "GetRelPlCent"};
    std::printf("one-dish calls through the server on loopback, %d each (target: p99 <= 5 ms)\n", calls);
    std::printf("  %-16s %9s %9s %9s\n", "method", "min ms", "median ms", "p99 ms");
    bool allMet = true;
    for (const std::string& method : methods) {
        const auto args = argsFor(method, target, target.dish, padZ(target.dish));
        for (int i = 0; i < 20; ++i) call(method, args);  // warm the server's sessions and caches
        std::vector<double> ms;
        for (int i = 0; i < calls; ++i) {
            const auto t0 = Clock::now();
            call(method, args);
            ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
        }
        std::sort(ms.begin(), ms.end());
        const double p99 = ms[std::min(ms.size() - 1, ms.size() * 99 / 100)];
        allMet = allMet && p99 <= 5.0;
        std::printf("  %-16s %9.3f %9.3f %9.3f  %s\n", method.c_str(), ms.front(), ms[ms.size() / 2], p99,
                    p99 <= 5.0 ? "met" : "MISSED");
    }

    // The statement counter covers every connection of this process, the
    // server's included; the calls run one at a time.
    const std::string group = target.dish.substr(0, 1);
    std::printf("\nSQL statements per call (target: constant in the number of dishes)\n");
    std::printf("  %-16s %8s %14s\n", "method", "1 dish", ("group " + group + " dishes").c_str());
    bool constant = true;
    for (const std::string& method : methods) {
        auto statements = [&](const std::string& first, const std::string& last) {
            const auto before = pla013::db::SociDatabase::statementsRun();
            call(method, argsFor(method, target, first, last));
            return pla013::db::SociDatabase::statementsRun() - before;
        };
        const auto one = statements(target.dish, padZ(target.dish));
        const auto many = statements(group, padZ(group));
        constant = constant && one == many;
        std::printf("  %-16s %8llu %14llu  %s\n", method.c_str(), static_cast<unsigned long long>(one),
                    static_cast<unsigned long long>(many), one == many ? "met" : "MISSED");
    }
    server.stop();
    const bool memory = serverMemory(db, target);
    if (!dir.empty()) fs::remove_all(dir);
    std::printf("\np99 <= 5 ms: %s; statements constant in the number of dishes: %s; server memory: %s\n",
                allMet ? "met" : "MISSED", constant ? "met" : "MISSED", memory ? "met" : "MISSED");
    return 0;
}
