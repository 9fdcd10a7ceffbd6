// pla013's command line as the executable runs it: the same functions, a real
// sample database, the module loaded from its shared library, real files.

#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "GeneratedDishes.h"
#include "TempDir.h"
#include "platform/appserver/AppServer.h"
#include "platform/db/DatabaseInitializer.h"
#include "platform/db/SociDatabase.h"
#include "platform/runtime/CommandLine.h"
#include "platform/runtime/HostOptions.h"
#include "platform/runtime/ReportCommand.h"

namespace {

namespace fs = std::filesystem;

struct Outcome {
    int status;
    std::string out, err;
};

// One sample database for the whole executable: building it is the slow part,
// and no case changes it.
class CommandLine : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_dir = new pla013test::TempDir;
        pla013::db::initializeDatabase(s_dir->file("cozinha.sqlite"), true);
    }
    static void TearDownTestSuite() {
        delete s_dir;
        s_dir = nullptr;
    }
    static std::string db() { return s_dir->file("cozinha.sqlite"); }

    // "{OUT}" in an argument stands for this test's output folder.
    std::vector<std::string> expand(std::vector<std::string> args) const {
        for (auto& a : args)
            if (auto at = a.find("{OUT}"); at != std::string::npos) a.replace(at, 5, m_out.path().string());
        return args;
    }
    Outcome run(std::vector<std::string> args, const std::string& input = {}) {
        std::istringstream in(input);
        std::ostringstream out, err;
        const int status = pla013::runtime::runCommandLine(expand(std::move(args)), in, out, err);
        return {status, out.str(), err.str()};
    }
    Outcome report(std::vector<std::string> args, pla013::runtime::HostOptions options = {}) {
        if (options.db.empty()) options.db = db();
        std::ostringstream out, err;
        const int status = pla013::runtime::runReportCommand(options, expand(std::move(args)), out, err);
        return {status, out.str(), err.str()};
    }

    static pla013test::TempDir* s_dir;
    pla013test::TempDir m_out;
};

pla013test::TempDir* CommandLine::s_dir = nullptr;

struct Case {
    const char* name;
    std::vector<std::string> args;
    int status;
    const char* out;  // part of standard output ("" : anything)
    const char* err;  // part of standard error ("": nothing; nullptr: not looked at)
};

void check(const Case& c, const Outcome& o) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(o.status, c.status) << "out: " << o.out << "\nerr: " << o.err;
    EXPECT_NE(o.out.find(c.out), std::string::npos) << o.out;
    if (!c.err) return;
    if (*c.err)
        EXPECT_NE(o.err.find(c.err), std::string::npos) << o.err;
    else
        EXPECT_EQ(o.err, "");
}

TEST_F(CommandLine, OptionsCommandsAndExitStatus) {
    const std::string badDb = (m_out.path() / "nao" / "existe.sqlite").string();
    const Case cases[] = {
        {"no command", {}, 2, "Usage: pla013 [context options] COMMAND", ""},
        {"help", {"--help"}, 0, "Context options:\n  --db PATH|URL", ""},
        {"help word", {"--db", db(), "help"}, 0, "Commands:", ""},
        {"unknown command", {"--db", db(), "relatorio"}, 2, "", "error: unknown command 'relatorio'\nUsage: pla013"},
        {"missing value", {"--branch"}, 2, "", "error: --branch needs a value\n"},
        {"bad value", {"--date", "31/02/2024", "report"}, 2, "", "error: --date must be a date as YYYY-MM-DD"},
        {"server without port", {"--server", "cozinha", "report"}, 2, "", "error: --server: expected HOST:PORT"},
        {"server port 0", {"--server", "127.0.0.1:0", "report"}, 2, "", "error: --server needs the port"},
        {"server IPv6 unclosed", {"--server", "[::1:8013", "report"}, 2, "", "error: --server: expected [HOST]:PORT"},
        {"server of another scheme",
         {"--server", "ftp://cozinha:8013", "report"},
         2,
         "",
         "error: --server: the application server speaks HTTP or HTTPS"},
        {"authorities that cannot be read",
         {"--ca", "{OUT}/nao-ha.pem", "report"},
         2,
         "",
         "error: --ca: o arquivo de autoridades certificadoras"},
        {"server listed twice", {"--server", "a:1, a:1", "report"}, 2, "", "error: --server: the list of servers"},
        {"every listed server down",
         {"--db", db(), "--server", "127.0.0.1:1,127.0.0.1:2", "report", "--report", "01", "--preview"},
         1,
         "",
         "127.0.0.1:1, 127.0.0.1:2: nenhum deles responde"},
        {"control characters are shown, not sent",
         {"--db", db(), "report", "--report", "0\x1b[2J\r\x7f\t1", "--preview"},
         2,
         "",
         "error: no report with code '0\\x1b[2J\\x0d\\x7f\t1'"},
        {"db usage", {"db", "create", "x"}, 2, "", "usage: pla013 db init PATH\n"},
        {"db init existing", {"db", "init", db()}, 1, "", "já existe"},
        {"db init", {"db", "init", "{OUT}/nova.sqlite"}, 0, "created ", ""},
        {"db generate",
         {"db", "generate", "{OUT}/gerada.sqlite", "--dishes", "40", "--branches", "4"},
         0,
         "PRATO ",
         ""},
        {"db generate out of range", {"db", "generate", "{OUT}/g.sqlite", "--dishes", "0"}, 2, "", "error: --dishes"},
        {"db generate not a number",
         {"db", "generate", "{OUT}/g.sqlite", "--months", "três"},
         2,
         "",
         "error: --months precisa de um número inteiro"},
        {"db generate unknown option",
         {"db", "generate", "{OUT}/g.sqlite", "--pratos", "9"},
         2,
         "",
         "opção desconhecida de db generate: --pratos"},
        {"db generate without a path", {"db", "generate", "--seed", "3"}, 2, "", "precisa do caminho"},
        {"db roles on a file", {"db", "roles", db()}, 1, "", "não é um banco PostgreSQL: o SQLite não tem papéis"},
        {"script usage", {"script"}, 2, "", "usage: pla013 script FILE|-\n"},
        {"script missing", {"script", "{OUT}/nao-ha.pla"}, 2, "", "error: cannot read the script"},
        {"serve unknown option", {"serve", "--port", "1"}, 2, "", "usage: pla013 [--db PATH|URL] serve"},
        {"serve bad listen",
         {"--db", db(), "serve", "--listen", "localhost:http"},
         2,
         "",
         "error: --listen: \"http\" is not a port number (0 to 65535)\n"},
        {"serve beyond loopback without TLS",
         {"--db", db(), "serve", "--listen", "0.0.0.0:8013"},
         2,
         "",
         "error: --listen 0.0.0.0:8013: escutar sem TLS"},
        {"serve with a certificate and no key",
         {"--db", db(), "serve", "--tls-cert", "{OUT}/c.pem"},
         2,
         "",
         "error: --tls-cert e --tls-key vão juntos"},
        {"database that cannot open", {"--db", badDb, "report", "--report", "01", "--preview"}, 1, "", "error: "},
    };
    for (const auto& c : cases) check(c, run(c.args));
    EXPECT_TRUE(fs::exists(m_out.path() / "nova.sqlite"));
}

TEST_F(CommandLine, AScriptFromStandardInputDrivesTheForm) {
    const Outcome o = run({"--db", db(), "script", "-"}, "launch\ndump-form\nclose\n");
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_NE(o.out.find("\"FormCriado\":true"), std::string::npos) << o.out;
}

TEST_F(CommandLine, ReportOptionsAndDestinations) {
    const Case cases[] = {
        {"help", {"report", "--help"}, 0, "Filters:\n  --origin", ""},
        {"help lists the reports", {"report", "--report", "01", "-h"}, 0, "\nReports:\n  01  ", ""},
        {"no code", {"report", "--preview"}, 2, "", "error: --report CODE is required"},
        {"no destination", {"report", "--report", "01"}, 2, "", "error: say where the report goes"},
        {"missing value", {"report", "--preview", "--report"}, 2, "", "error: --report needs a value\n"},
        {"unknown option",
         {"report", "--report", "01", "--colour", "red", "--preview"},
         2,
         "",
         "error: unknown report option --colour\n"},
        {"stray argument", {"report", "01", "--preview"}, 2, "", "error: unexpected argument '01'\n"},
        {"out and preview",
         {"report", "--report", "01", "--out", "{OUT}/a.csv", "--preview"},
         2,
         "",
         "error: give one destination"},
        {"print and out",
         {"report", "--report", "01", "--print", "--out={OUT}/a.csv"},
         2,
         "",
         "error: give one destination"},
        {"two files",
         {"report", "--report", "01", "--out", "{OUT}/a.csv", "--out", "{OUT}/b.csv"},
         2,
         "",
         "error: give one destination"},
        {"unknown code", {"report", "--report", "77", "--preview"}, 2, "", "error: no report with code '77'"},
        {"bad filter value",
         {"report", "--report", "01", "--order", "size", "--preview"},
         2,
         "",
         "error: --order is code or alpha"},
        {"form refuses", {"report", "--report", "01", "--dish-from", "999", "--preview"}, 1, "", "Código incompleto"},
        {"level out of range",
         {"report", "--report", "02", "--dish-from", "1", "--dish-to", "9", "--level", "99", "--preview"},
         2,
         "",
         "error: --level is a number from 0 to 1, not '99'\n"},
        {"cost type out of range",
         {"report", "--report", "03", "--for-branch", "0002", "--dish-from", "3", "--dish-to", "3", "--cost-type", "99",
          "--preview"},
         2,
         "",
         "error: --cost-type is a cost type's name or its number in the list (0 to 2), not '99'\n"},
        {"filter on a page this host module hides",
         {"report", "--report", "08", "--menu-type", "1", "--dish-from", "1", "--dish-to", "9", "--preview"},
         2,
         "",
         "error: --menu-type does not apply to report 08 here"},
        {"report that needs a menu type under a module without them",
         {"report", "--report", "08", "--dish-from", "1", "--dish-to", "9", "--out", "{OUT}/cardapio.csv"},
         1,
         "",
         "Este relatório exige um tipo de cardápio, e o módulo ativo não oferece tipos de cardápio"},
        {"filter of an origin not chosen",
         {"report", "--report", "02", "--service", "01", "--dish-from", "1", "--preview"},
         2,
         "",
         "error: --service does not apply to report 02 here"},
        {"saved",
         {"report", "--report", "01", "--dish-from", "1", "--dish-to", "9", "--out", "{OUT}/pratos.csv"},
         0,
         "report: file ",
         nullptr},
        {"previewed",
         {"report", "--report", "1", "--dish-from", "1", "--dish-to", "9", "--preview"},
         0,
         "PLA01301",
         nullptr},
    };
    for (const auto& c : cases) check(c, report(c.args));
    // Only the run that was asked to save left a file, and nothing else.
    EXPECT_EQ(m_out.entries(), std::vector<std::string>{"pratos.csv"});
}

TEST_F(CommandLine, AFailedSaveNamesTheTargetAndTheReason) {
    const fs::path note = m_out.path() / "nota.txt";
    std::ofstream(note) << "não é pasta";
    const fs::path locked = m_out.path() / "fechada";
    fs::create_directory(locked);
    fs::permissions(locked, fs::perms::owner_read | fs::perms::owner_exec);
    const struct {
        fs::path target;
        std::string reason;
        bool moot;  // permissions do not bind this user
    } cases[] = {
        {note / "pratos.csv", "'" + note.string() + "' não é uma pasta", false},
        {locked / "pratos.csv", "sem permissão de escrita", ::geteuid() == 0},
        // sysfs takes no new files, from root neither (the reason depends on
        // how it is mounted).
        {"/sys/pratos.csv", "", !fs::is_directory("/sys")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.target.string());
        if (c.moot) continue;
        const Outcome o =
            report({"report", "--report", "01", "--dish-from", "1", "--dish-to", "9", "--out", c.target.string()});
        EXPECT_EQ(o.status, 1) << o.out;
        EXPECT_NE(o.err.find("Não foi possível gravar '" + c.target.string() + "': " + c.reason), std::string::npos)
            << o.err;
        EXPECT_EQ(o.err.find("/proc/self"), std::string::npos) << o.err;
        EXPECT_EQ(o.err.find("/.pratos."), std::string::npos) << o.err;
    }
    fs::permissions(locked, fs::perms::owner_all);
    EXPECT_TRUE(fs::is_empty(locked));
}

// PDF needs no toolkit set-up (this executable's main makes none) and
// leaves only the finished file.
TEST_F(CommandLine, PdfIsWrittenWithoutAnyToolkitSetUp) {
    const Outcome o =
        report({"report", "--report", "01", "--dish-from", "1", "--dish-to", "9", "--out", "{OUT}/p.pdf"});
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(m_out.entries(), std::vector<std::string>{"p.pdf"});
    std::ifstream in(m_out.file("p.pdf"), std::ios::binary);
    std::string head(5, '\0');
    in.read(head.data(), 5);
    EXPECT_EQ(head, "%PDF-");
}

// A server out of reach: the form still opens whole, a report that needs no
// server runs, and one that needs it says which server failed.
TEST_F(CommandLine, AServerOutOfReachStopsOnlyTheReportsThatNeedIt) {
    // A loopback port nobody listens on.
    std::string server;
    {
        pla013::appserver::AppServer gone([] { return pla013::db::openDatabase(db()); }, {});
        gone.start();
        server = "127.0.0.1:" + std::to_string(gone.port());
        gone.stop();
    }
    const std::string file = m_out.file("pratos.csv");
    Outcome o = run({"--db", db(), "--server", server, "report", "--report", "01", "--dish-from", "1", "--dish-to", "9",
                     "--out", file});
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_TRUE(fs::exists(file));

    o = run({"--db", db(), "--server", server, "report", "--report", "03", "--for-branch", "0002", "--dish-from", "3",
             "--dish-to", "3", "--preview"});
    EXPECT_EQ(o.status, 1) << o.out;
    EXPECT_NE(o.err.find("\nOs tipos de custo não puderam ser carregados: Servidor de aplicação em " + server +
                         ": o servidor não pode ser alcançado"),
              std::string::npos)
        << o.err;
    EXPECT_EQ(o.out, "");
}

// The comparison data comes from the embedded server on a loopback port; a
// product without cost arrives as a line with a null cost and is printed as
// such, left out of the differences and counted by the totals.
TEST_F(CommandLine, AComparisonMarksTheProductWithoutCost) {
    const std::string database = m_out.file("sem-custo.sqlite");
    pla013::db::initializeDatabase(database, true);
    pla013::db::openDatabase(database)->execute("DELETE FROM CUSTOPRODUTO WHERE CDPRODUTO = '2003'");
    const Outcome o = run({"--db", database, "--date", "2024-03-15", "report", "--report", "03", "--for-branch", "0002",
                           "--dish-from", "20001", "--dish-to", "20001", "--preview"});
    ASSERT_EQ(o.status, 0) << o.err;
    EXPECT_NE(o.out.find("Cebola"), std::string::npos) << o.out;
    EXPECT_NE(o.out.find("sem custo"), std::string::npos) << o.out;
    EXPECT_NE(o.out.find("Custo do prato   sem custo: 3   sem par: 1"), std::string::npos) << o.out;
    EXPECT_NE(o.out.find("0,31 incompleto"), std::string::npos) << o.out;
    EXPECT_EQ(o.out.find("-100"), std::string::npos) << o.out;
}

TEST_F(CommandLine, ARemoteServerOnIpv6Loopback) {
    std::mutex mutex;
    std::vector<std::string> calls;
    pla013::appserver::AppServerOptions serverOptions;
    serverOptions.host = "::1";
    serverOptions.logLevel = pla013::appserver::LogLevel::Info;
    serverOptions.logSink = [&](const std::string& line) {
        std::lock_guard<std::mutex> lock(mutex);
        calls.push_back(line);
    };
    const std::string database = db();
    pla013::appserver::AppServer server([database] { return pla013::db::openDatabase(database); }, serverOptions);
    try {
        server.start();
    } catch (const std::exception& e) {
        GTEST_SKIP() << "no IPv6 loopback here: " << e.what();
    }
    pla013::runtime::HostOptions options;
    options.server = "[::1]:" + std::to_string(server.port());
    // Report 03 compares standard and local recipes with their costs: the
    // form asks the server for the cost types and the comparison.
    const Outcome o =
        report({"report", "--report", "03", "--for-branch", "0002", "--dish-from", "3", "--dish-to", "3", "--preview"},
               options);
    server.stop();
    EXPECT_EQ(o.status, 0) << o.err;
    std::lock_guard<std::mutex> lock(mutex);
    ASSERT_FALSE(calls.empty()) << "the form never called the server";
    EXPECT_NE(calls.front().find("call "), std::string::npos) << calls.front();
}

}  // namespace

TEST_F(CommandLine, SigtermStopsAReportCleanly) {
    pla013::runtime::HostOptions options;
    options.db = (m_out.path() / "grande.sqlite").string();
    const std::string lastDish = pla013test::generateDishes(options.db, 3000);
    const fs::path folder = m_out.path() / "saida";
    fs::create_directories(folder);

    // The signal comes once the report command has taken it over, as Ctrl+C
    // from a person would while the pages are written.
    std::jthread sender([](std::stop_token stop) {
        struct sigaction now {};
        while (!stop.stop_requested()) {
            sigaction(SIGTERM, nullptr, &now);
            if (now.sa_handler != SIG_DFL) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        if (!stop.stop_requested()) kill(getpid(), SIGTERM);
    });
    const Outcome o = report({"report", "--report", "02", "--dish-from", "1", "--dish-to", lastDish, "--out",
                              (folder / "pratos.html").string()},
                             options);
    sender.request_stop();
    sender.join();
    EXPECT_EQ(o.status, 128 + SIGTERM) << o.err;
    EXPECT_NE(o.err.find("Relatório cancelado (sinal SIGTERM); nada foi gravado nem impresso."), std::string::npos)
        << o.err;
    EXPECT_EQ(o.out, "");
    EXPECT_TRUE(fs::is_empty(folder));
    // Given back: the next signal would be the default's again.
    struct sigaction after {};
    sigaction(SIGTERM, nullptr, &after);
    EXPECT_EQ(after.sa_handler, SIG_DFL);
    // The same run, left alone, writes its file.
    EXPECT_EQ(report({"report", "--report", "02", "--dish-from", "1", "--dish-to", lastDish, "--out",
                      (folder / "pratos.html").string()},
                     options)
                  .status,
              0);
    EXPECT_TRUE(fs::exists(folder / "pratos.html"));
}
