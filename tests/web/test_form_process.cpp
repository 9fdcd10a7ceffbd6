// One open form of the web host: the real pla013 drive as a child process,
// over a fresh sample database, driven through FormProcess as the web host
// drives it for a browser tab.

#include <gtest/gtest.h>

#include <signal.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "GeneratedDishes.h"
#include "TempDir.h"
#include "platform/db/DatabaseInitializer.h"
#include "platform/web/FormProcess.h"

namespace {

namespace fs = std::filesystem;
using pla013::web::FormLaunch;
using pla013::web::FormProcess;
using Json = FormProcess::Json;
using namespace std::chrono_literals;

// A form over a database, with every event the driver writes kept in order
// (those the page never sees included).
class Form {
public:
    explicit Form(const std::string& db, std::vector<std::string> context = {}) {
        FormLaunch launch;
        launch.driver = PLA013_DRIVER;
        launch.args = {"--db", db};
        launch.args.insert(launch.args.end(), context.begin(), context.end());
        launch.args.push_back("drive");
        m_form = std::make_unique<FormProcess>("f1", "owner", launch, [this](Json& e) {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_all.push_back(e);
            m_arrived.notify_all();
            return true;
        });
    }

    FormProcess& operator*() { return *m_form; }
    FormProcess* operator->() { return m_form.get(); }

    // Waits for the first event after the ones already looked at that has
    // kind and, when given, text somewhere in it.
    Json next(const std::string& kind, const std::string& text = {}) {
        std::unique_lock<std::mutex> lock(m_mutex);
        const bool found = m_arrived.wait_for(lock, 20s, [&] {
            for (; m_read < m_all.size(); ++m_read)
                if (m_all[m_read].value("t", "") == kind &&
                    (text.empty() || m_all[m_read].dump().find(text) != std::string::npos))
                    return true;
            return false;
        });
        if (!found) {
            std::string seen;
            for (const auto& e : m_all) seen += e.dump().substr(0, 160) + "\n";
            ADD_FAILURE() << "no '" << kind << "' event with '" << text << "' in\n" << seen;
            return {};
        }
        return m_all[m_read++];
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_arrived;
    std::vector<Json> m_all;
    std::size_t m_read = 0;
    std::unique_ptr<FormProcess> m_form;
};

class FormProcessTest : public ::testing::Test {
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

    static pla013test::TempDir* s_dir;
    pla013test::TempDir m_out;
};

pla013test::TempDir* FormProcessTest::s_dir = nullptr;

// The mirror has the dialog (the filter sees an event just before the
// form's state takes it in).
void awaitDialog(FormProcess& f) {
    for (int i = 0; i < 500 && f.snapshot()["dialog"].is_null(); ++i) std::this_thread::sleep_for(10ms);
    ASSERT_FALSE(f.snapshot()["dialog"].is_null());
}

std::string controlText(const Json& event, const std::string& name) {
    for (const auto& c : event.value("controls", Json::array()))
        if (c.value("Name", "") == name) return c.value("Text", "");
    return "<absent>";
}

}  // namespace

TEST_F(FormProcessTest, TheFormIsDrawnWholeThenByItsChanges) {
    Form f(db());
    f->send({"launch"});
    const Json layout = f.next("layout");
    EXPECT_EQ(layout["form"].value("Caption", ""), "Emissão das Receitas");
    // What a view needs to draw and to move the focus: places, tab order,
    // which field a search button serves.
    const Json button = [&] {
        for (const auto& c : layout["controls"])
            if (c["Name"] == "btnCdPratoIni") return c;
        return Json();
    }();
    EXPECT_EQ(button.value("Field", ""), "medCdPratoIni");
    EXPECT_EQ(button.value("Parent", ""), "grbDestino");
    EXPECT_GT(button.value("Tab", -1), 0);
    EXPECT_EQ(f.next("done").value("active", ""), "cbbReportNames");
    f->send({"type medCdPratoIni 10001", "tab"});
    const Json changed = f.next("controls", "Salada de alface e tomate");
    EXPECT_EQ(controlText(changed, "edtNmPratoIni"), "Salada de alface e tomate");
    EXPECT_EQ(changed["controls"].size(), 1u) << "only what changed: " << changed.dump();
    const Json snapshot = f->snapshot();
    EXPECT_EQ(snapshot["active"], "btnCdPratoIni");
    EXPECT_EQ(snapshot["controls"].size(), layout["controls"].size());
}

TEST_F(FormProcessTest, AWrongCodeIsRefusedAndTheFocusGoesBack) {
    Form f(db());
    f->send({"launch", "type medCdPratoIni 77777", "tab"});
    f.next("message", "Prato não cadastrado.");
    f.next("focus", "medCdPratoIni");
    f.next("abort");
    const Json done = f.next("done");
    EXPECT_FALSE(done.value("ok", true));
    EXPECT_EQ(done.value("active", ""), "medCdPratoIni");
}

TEST_F(FormProcessTest, ASearchWaitsForItsAnswerAndRefusesWhatItDoesNotList) {
    Form f(db());
    f->send({"launch", "click btnCdPratoIni"});
    const Json dialog = f.next("dialog");
    EXPECT_EQ(dialog.value("kind", ""), "search");
    EXPECT_EQ(dialog["columns"][1].value("label", ""), "Nome do Prato");
    EXPECT_EQ(dialog["keys"].size(), dialog["rows"].size());
    awaitDialog(*f);
    // While the dialog waits, nothing else runs: the form is not busy but
    // waits for the user.
    EXPECT_FALSE(f->busy());
    EXPECT_FALSE(f->send({"tab"}));
    EXPECT_TRUE(f->answer("answer search 99999"));
    f.next("error", "lists no");
    // Still open, and shown again.
    f.next("dialog");
    awaitDialog(*f);
    EXPECT_TRUE(f->answer("answer search 40004"));
    f.next("controls", "Feijão preto");
    // A search button does not take the focus from where the user was.
    EXPECT_EQ(f.next("done").value("active", ""), "cbbReportNames");
}

TEST_F(FormProcessTest, FiltersGoToTheViewAndComeBackThroughTheForm) {
    std::string saved;
    {
        Form f(db());
        f->send({"launch", "report 1", "type medCdPratoIni 10001", "tab", "click chbModPrep"});
        f.next("done", "chbModPrep");
        f->end("fechado", false);
        const Json filters = f.next("filters");
        EXPECT_EQ(filters.value("report", ""), "Fichas Técnicas das Receitas");
        EXPECT_NE(filters.dump().find(R"(["medCdPratoIni","10001"])"), std::string::npos) << filters.dump();
        EXPECT_NE(filters.dump().find(R"(["chbModPrep","1"])"), std::string::npos) << filters.dump();
        saved = Json{{"report", filters["report"]}, {"filters", filters["filters"]}}.dump();
    }
    Form g(db());
    std::string quoted = "\"";
    for (char c : saved) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    g->send({"launch", "restore " + quoted + "\""});
    EXPECT_TRUE(g.next("restored").value("ok", false));
    g.next("done");
    const Json state = g->snapshot();
    for (const auto& c : state["controls"]) {
        if (c["Name"] == "medCdPratoIni") EXPECT_EQ(c["Text"], "10001");
        if (c["Name"] == "cbbReportNames") EXPECT_EQ(c["ItemIndex"], 1);
        if (c["Name"] == "chbModPrep") EXPECT_EQ(c["Checked"], true);
    }
}

TEST_F(FormProcessTest, APreviewAndASaveGoWhereTheyAreTold) {
    Form f(db());
    const std::string html = m_out.file("p.html"), csv = m_out.file("r.csv");
    f->send({"launch", "type medCdPratoIni 1", "tab", "type medCdPratoFin 9", "tab", "preview \"" + html + "\"",
             "save \"" + csv + "\""});
    const Json preview = f.next("report");
    EXPECT_EQ(preview.value("target", ""), "preview");
    EXPECT_EQ(preview.value("pages", 0), 2);
    const Json file = f.next("report");
    EXPECT_EQ(file.value("file", ""), csv);
    EXPECT_EQ(file.value("report", ""), "PLA01301");
    EXPECT_TRUE(fs::is_regular_file(html));
    EXPECT_TRUE(fs::is_regular_file(csv));
    // Each run sends the filters it ran with.
    f.next("filters", "medCdPratoFin");
}

TEST_F(FormProcessTest, ACancelStopsALongRunAndLeavesNoFile) {
    pla013test::TempDir big;
    const std::string last = pla013test::generateDishes(big.path() / "grande.sqlite", 6000);
    Form f((big.path() / "grande.sqlite").string());
    const std::string pdf = m_out.file("grande.pdf");
    f->send({"launch", "type medCdPratoIni 1", "tab", "type medCdPratoFin " + last, "tab", "save \"" + pdf + "\""});
    f.next("progress", "paginas");
    EXPECT_TRUE(f->busy());
    f->cancel();
    f.next("abort");
    f.next("done", "false");
    EXPECT_FALSE(fs::exists(pdf));
    EXPECT_EQ(m_out.entries(), std::vector<std::string>{});
}

TEST_F(FormProcessTest, AChildThatDiesEndsTheFormAndAnswersItsWaiters) {
    Form f(db());
    f->send({"launch"});
    f.next("done");
    for (int i = 0; i < 500 && f->busy(); ++i) std::this_thread::sleep_for(10ms);
    std::mutex m;
    std::condition_variable cv;
    Json answer;
    f->wait(f->snapshot()["seq"].get<std::uint64_t>(), FormProcess::Until::NewEvents,
            std::chrono::steady_clock::now() + 60s, [&](Json a) {
                std::lock_guard<std::mutex> lock(m);
                answer = std::move(a);
                cv.notify_all();
            });
    ASSERT_EQ(::kill(f->pid(), SIGKILL), 0);
    std::unique_lock<std::mutex> lock(m);
    ASSERT_TRUE(cv.wait_for(lock, 30s, [&] { return !answer.is_null(); }));
    EXPECT_EQ(answer["ended"], "erro");
    EXPECT_EQ(answer["events"].back()["t"], "closed");
    lock.unlock();
    f->reap(10s);
    EXPECT_TRUE(f->finished());
    EXPECT_FALSE(f->send({"tab"}));
}
