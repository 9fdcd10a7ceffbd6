#include "platform/runtime/ReportCommand.h"

#include <unistd.h>

#include <algorithm>
#include <iomanip>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <stdexcept>

#include "host/Controls.h"
#include "host/Form.h"
#include "platform/reports/ReportRunner.h"
#include "platform/runtime/AccessCommands.h"
#include "platform/runtime/HostSession.h"
#include "platform/runtime/ModuleLoader.h"
#include "platform/runtime/PrintableStream.h"
#include "platform/runtime/SignalStop.h"
#include "platform/script/ScriptRunner.h"
#include "platform/script/ScriptUi.h"

namespace pla013::runtime {

namespace {

struct ReportArgs {
    std::string report;
    std::map<std::string, std::string> values;
    std::string target;  // preview, print, file
    std::string out;
};

const std::vector<std::pair<std::string, std::string>> kFilterOptions = {
    {"origin", "standard, menu-type, local or service (recipe origin)"},
    {"for-branch", "branch code of the \"Padrão\" page"},
    {"service", "service code of that branch"},
    {"dish-from", "first dish code"},
    {"dish-to", "last dish code"},
    {"cost-type", "cost type, by its name or its number in the list (0 first)"},
    {"order", "code or alpha (alphabetical within a level)"},
    {"level", "ordering level for --order alpha"},
    {"print-options", "comma list of products, preparation, photo, nutrients"},
    {"menu-type", "menu type code of the central kitchen"},
    {"from", "first menu date, dd/mm/yyyy or YYYY-MM-DD"},
    {"to", "last menu date"},
    {"branches", "all, or a comma list of branch codes"},
    {"services", "all, or a comma list of service keys (branch + service code)"},
};

// One destination per run: a second, different one would silently win.
void setTarget(ReportArgs& r, const std::string& target, const std::string& out = {}) {
    if (!r.target.empty() && (r.target != target || r.out != out))
        throw std::invalid_argument("give one destination: --out FILE, --preview or --print");
    r.target = target;
    r.out = out;
}

ReportArgs parseArgs(const std::vector<std::string>& args) {
    ReportArgs r;
    for (std::size_t i = 1; i < args.size(); ++i) {
        std::string a = args[i];
        if (a == "--preview" || a == "--print") {
            setTarget(r, a.substr(2));
            continue;
        }
        if (a.rfind("--", 0) != 0) throw std::invalid_argument("unexpected argument '" + a + "'");
        std::string key = a.substr(2), value;
        if (auto eq = key.find('='); eq != std::string::npos) {
            value = key.substr(eq + 1);
            key = key.substr(0, eq);
        } else {
            if (i + 1 >= args.size()) throw std::invalid_argument("--" + key + " needs a value");
            value = args[++i];
        }
        if (key == "report")
            r.report = value;
        else if (key == "out")
            setTarget(r, "file", value);
        else {
            bool known = false;
            for (const auto& [k, _] : kFilterOptions) known = known || k == key;
            if (!known) throw std::invalid_argument("unknown report option --" + key);
            r.values[key] = value;
        }
    }
    if (r.report.empty()) throw std::invalid_argument("--report CODE is required (pla013 report --help lists them)");
    if (r.target.empty()) throw std::invalid_argument("say where the report goes: --out FILE, --preview or --print");
    return r;
}

std::string isoToShown(const std::string& date) {
    // YYYY-MM-DD -> dd/mm/yyyy; anything else is typed as given.
    if (date.size() == 10 && date[4] == '-' && date[7] == '-')
        return date.substr(8, 2) + "/" + date.substr(5, 2) + "/" + date.substr(0, 4);
    return date;
}

std::vector<std::string> splitList(const std::string& text) {
    std::vector<std::string> out;
    std::stringstream in(text);
    for (std::string item; std::getline(in, item, ',');)
        if (!item.empty()) out.push_back(item);
    return out;
}

void noteCause(std::vector<std::string>& causes, const std::string& text) {
    if (std::find(causes.begin(), causes.end(), text) == causes.end()) causes.push_back(text);
}

// Drives the open form step by step, stopping at the first refusal, and keeps
// the text of every real error (an exception, not the silent abort of a
// validation) for the user's "causa:" lines.
class Driver {
public:
    Driver(pla013::script::ScriptRunner& runner, const pla013::script::ScriptUi& ui, std::vector<std::string>& causes)
        : m_runner(runner), m_ui(ui), m_causes(causes) {}
    bool step(const std::string& verb, std::vector<std::string> args = {}) {
        pla013::script::Step s;
        s.verb = verb;
        s.args = std::move(args);
        const std::size_t before = m_ui.lines().size();
        const bool completed = m_runner.runStep(s);
        if (!completed) noteFailure(before);
        return completed;
    }
    host::TControl* control(const std::string& name) {
        for (auto it = host::Application().Forms().rbegin(); it != host::Application().Forms().rend(); ++it)
            if (!(*it)->IsClosed()) return (*it)->FindControl(name);
        return nullptr;
    }
    // The option the next actions serve, named when the form cannot take it.
    void serve(const std::string& option, const std::string& report) {
        m_option = option;
        m_report = report;
    }
    // Refuses the option when the control it fills is hidden or disabled for
    // the chosen report (a person could not use it either): a filter that was
    // asked for is never dropped.
    host::TControl& usable(const std::string& name) {
        host::TControl* c = control(name);
        bool usable = c && c->Showing();
        for (const host::TControl* p = c; p && usable; p = p->Parent()) usable = p->Enabled();
        if (!usable)
            throw std::invalid_argument("--" + m_option + " does not apply to report " + m_report +
                                        " here (its field is hidden or disabled)");
        return *c;
    }
    // Types a field and leaves it, so that its exit validation runs.
    bool fill(const std::string& name, const std::string& text) {
        usable(name);
        return step("type", {name, text}) && step("focus", {"cbbReportNames"});
    }
    bool select(const std::string& name, int index) {
        usable(name);
        return step("select", {name, std::to_string(index)});
    }
    bool click(const std::string& name) {
        usable(name);
        return step("click", {name});
    }
    bool setChecked(const std::string& name, bool checked) {
        auto* c = control(name);
        bool now = false;
        if (auto* cb = dynamic_cast<host::TCheckBox*>(c)) now = cb->Checked();
        if (auto* rb = dynamic_cast<host::TRadioButton*>(c)) now = rb->Checked();
        return now == checked || click(name);
    }

private:
    // A step that ended without the silent abort ended by an exception, whose
    // text the runner showed as the step's last message.
    void noteFailure(std::size_t firstLine) {
        const auto& lines = m_ui.lines();
        std::string shown;
        for (std::size_t i = firstLine; i < lines.size(); ++i) {
            if (lines[i] == "abort") return;
            if (lines[i].rfind("message: ", 0) == 0) shown = lines[i].substr(9);
        }
        if (!shown.empty()) noteCause(m_causes, shown);
    }

    pla013::script::ScriptRunner& m_runner;
    const pla013::script::ScriptUi& m_ui;
    std::vector<std::string>& m_causes;
    std::string m_option, m_report;
};

// A number given for a numeric option: digits only, within the int range.
std::optional<int> number(const std::string& text) {
    if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos)
        return std::nullopt;
    return std::stoi(text);
}

// The cost type by its name or its position in the list.
int costTypeIndex(Driver& d, const std::string& want) {
    auto* combo = dynamic_cast<host::TComboBox*>(&d.usable("cbbTipoCust"));
    const int count = combo ? int(combo->Items().size()) : 0;
    for (int i = 0; i < count; ++i)
        if (combo->Items()[std::size_t(i)] == want) return i;
    const auto index = number(want);
    if (!index || *index >= count)
        throw std::invalid_argument("--cost-type is a cost type's name or its number in the list" +
                                    (count > 0 ? " (0 to " + std::to_string(count - 1) + ")" : std::string()) +
                                    ", not '" + want + "'");
    return *index;
}

// The ordering level, within the levels of the dish-code picture.
std::string checkedLevel(Driver& d, const std::string& want) {
    auto* spin = dynamic_cast<host::TSpinEdit*>(&d.usable("speNivel"));
    const auto level = number(want);
    if (!spin || !level || *level < spin->MinValue() || *level > spin->MaxValue())
        throw std::invalid_argument("--level is a number from " + std::to_string(spin ? spin->MinValue() : 0) + " to " +
                                    std::to_string(spin ? spin->MaxValue() : 0) + ", not '" + want + "'");
    return want;
}

bool fillFilters(Driver& d, const ReportArgs& a, int position) {
    // Each given option, in the order below, is what the driver serves.
    auto has = [&a, &d](const char* k) {
        if (!a.values.count(k)) return false;
        d.serve(k, a.report);
        return true;
    };
    auto val = [&a](const char* k) { return a.values.at(k); };
    if (has("cost-type") && !d.select("cbbTipoCust", costTypeIndex(d, val("cost-type")))) return false;
    if (has("origin")) {
        static const std::map<std::string, std::string> origins = {
            {"standard", "rdbPadrao"}, {"menu-type", "rdbTipo"}, {"local", "rdbLocal"}, {"service", "rdbServico"}};
        auto it = origins.find(val("origin"));
        if (it == origins.end()) throw std::invalid_argument("--origin is standard, menu-type, local or service");
        if (!d.setChecked(it->second, true)) return false;
    }
    if (has("for-branch") && !d.fill("medCdFilial", val("for-branch"))) return false;
    if (has("service") && !d.fill("medCdServFili", val("service"))) return false;
    if (has("menu-type") && !d.fill("medCdTpCard", val("menu-type"))) return false;
    if (has("dish-from") && !d.fill("medCdPratoIni", val("dish-from"))) return false;
    if (has("dish-to") && !d.fill("medCdPratoFin", val("dish-to"))) return false;
    if (has("order")) {
        const std::string& o = val("order");
        if (o != "code" && o != "alpha") throw std::invalid_argument("--order is code or alpha");
        if (!d.select("rdgDadosOperador", o == "code" ? 0 : 1)) return false;
    }
    if (has("level") && !d.fill("speNivel", checkedLevel(d, val("level")))) return false;
    if (has("print-options")) {
        static const std::map<std::string, std::string> boxes = {{"products", "chbProduto"},
                                                                 {"preparation", "chbModPrep"},
                                                                 {"photo", "chbFoto"},
                                                                 {"nutrients", "chbNutriente"}};
        std::set<std::string> wanted;
        for (const auto& o : splitList(val("print-options"))) {
            if (!boxes.count(o)) throw std::invalid_argument("unknown print option '" + o + "'");
            wanted.insert(o);
        }
        for (const auto& [option, box] : boxes)
            if (!d.setChecked(box, wanted.count(option) > 0)) return false;
    }
    if (has("from") && !d.fill("depDataInic", isoToShown(val("from")))) return false;
    if (has("to") && !d.fill("depDataFina", isoToShown(val("to")))) return false;
    const bool eightPage = position == 8;
    if (has("branches")) {
        const std::string& b = val("branches");
        if (b == "all") {
            if (!d.setChecked(eightPage ? "rbtFilialTodas" : "rbtTodaFili", true)) return false;
        } else {
            if (!d.setChecked(eightPage ? "rbtFilialLista" : "rbtListFili", true)) return false;
            if (!d.step("answer", {"list", b})) return false;
            if (!d.click(eightPage ? "btnFili" : "btnFilialCent")) return false;
        }
    }
    if (has("services")) {
        const std::string& s = val("services");
        if (s == "all") {
            if (!d.setChecked("rdbServicoTodos", true)) return false;
        } else {
            if (!d.setChecked("rdbServicoLista", true)) return false;
            if (!d.step("answer", {"list", s})) return false;
            if (!d.click("btnServicoLista")) return false;
        }
    }
    return true;
}

}  // namespace

std::string reportUsage(const HostOptions& options) {
    std::ostringstream o;
    o << "Usage: pla013 [context options] report --report CODE [filters] (--out FILE | --preview | --print)\n\n"
         "Fills the filters of the dish report form as a person would and runs the report.\n"
         "--out FILE saves by the file's extension: .pdf, .html, .csv, .xlsx.\n\nFilters:\n";
    for (const auto& [k, help] : kFilterOptions) o << "  --" << std::left << std::setw(16) << k << help << '\n';
    o << "\nReports:\n";
    try {
        pla013::reports::ReportRunnerOptions ro;
        ro.reportFolder = options.reports.empty() ? defaultReportFolder() : options.reports;
        pla013::reports::ReportRunner runner(ro);
        for (const auto& [code, title] : runner.ListReports("PLA013")) o << "  " << code << "  " << title << '\n';
    } catch (const std::exception& e) {
        o << "  (" << e.what() << ")\n";
    }
    return o.str();
}

int runReportCommand(const HostOptions& options, const std::vector<std::string>& args, std::ostream& out,
                     std::ostream& err) {
    for (const auto& a : args)
        if (a == "--help" || a == "-h") {
            out << reportUsage(options);
            return 0;
        }
    ReportArgs a;
    try {
        a = parseArgs(args);
    } catch (const std::invalid_argument& e) {
        err << "error: " << e.what() << '\n';
        return 2;
    }

    // Messages and dialogs go to the log; the report line and the preview to out.
    std::ostringstream events;
    pla013::script::ScriptUi ui(events, err);
    std::string reportLine;
    HostSession::Hooks hooks;
    hooks.reportLine = [&](const std::string& line) { reportLine = line; };
    hooks.preview = [&out](const pla013::reports::PreviewPages& pages) {
        pages.eachPage([&out](const std::string& page) { return bool(out << page << '\n'); });
    };
    bool progressOpen = false;  // a progress line waits for its end
    // Progress is for a person watching: not in a log or a pipe.
    if (isatty(STDERR_FILENO))
        hooks.progress = [&err, &progressOpen](const std::string& stage, std::size_t done, std::size_t total) {
            progressOpen = done != total;
            PrintableStream::carriageReturn(err);
            err << stage << ": " << done << "/" << total << "   " << (done == total ? "\n" : "") << std::flush;
        };
    // Ctrl+C or SIGTERM stops the run at its next row or page; the file it
    // was writing has no name yet and goes with it.
    SignalStop signals;
    hooks.stop = signals.token();
    hooks.askCredentials = terminalCredentials(err);
    HostSession session(options, ui, hooks);
    ModuleLoader module;
    std::vector<std::string> causes;
    pla013::script::ScriptHost scriptHost;
    scriptHost.launch = [&](const host::Variant& argument) {
        auto r = module.iniProc(argument);
        if (r.status == host::msError || r.status == host::msVariantError) {
            ui.ShowError(r.error);
            noteCause(causes, r.error);
        }
    };
    scriptHost.formCriado = [&module] { return module.formCriado(); };
    pla013::script::ScriptRunner runner(ui, scriptHost, events);
    Driver d(runner, ui, causes);

    auto stopped = [&]() {
        if (progressOpen) err << '\n';
        err << "Relatório cancelado (sinal " << (signals.signal() == SIGINT ? "SIGINT" : "SIGTERM")
            << "); nada foi gravado nem impresso.\n";
        return signals.exitStatus();
    };
    auto refuse = [&]() {
        if (signals.signal() != 0) return stopped();
        // The message the form showed last is the user's reason; the errors
        // behind it (a server that cannot be reached, a locked database)
        // follow, each once.
        std::string last;
        for (const auto& l : ui.lines())
            if (l.rfind("message: ", 0) == 0) last = l.substr(9);
        if (progressOpen) err << '\n';
        err << (last.empty() ? std::string("the form refused the report") : last) << '\n';
        for (const auto& cause : causes)
            if (cause != last) err << "causa: " << cause << '\n';
        return 1;
    };

    try {
        if (!d.step("launch") || !module.formCriado()) return refuse();
        auto* combo = dynamic_cast<host::TComboBox*>(d.control("cbbReportNames"));
        const auto reports = session.reports().ListReports("PLA013");
        int position = -1;
        for (std::size_t i = 0; i < reports.size(); ++i)
            if (reports[i].first == a.report || reports[i].first == "0" + a.report) position = int(i);
        if (position < 0 || !combo || position >= int(combo->Items().size())) {
            err << "error: no report with code '" << a.report << "' (pla013 report --help lists them)\n";
            return 2;
        }
        if (!d.step("report", {std::to_string(position)})) return refuse();
        if (!fillFilters(d, a, position)) return refuse();
        bool ran = a.target == "preview" ? d.step("preview")
                   : a.target == "print" ? d.step("print")
                                         : d.step("save", {a.out});
        if (!ran || reportLine.empty()) return refuse();
        if (a.target != "preview") out << reportLine << '\n';
        return 0;
    } catch (const pla013::script::ScriptError& e) {
        err << "error: " << e.what() << '\n';
        return 2;
    } catch (const std::invalid_argument& e) {
        err << "error: " << e.what() << '\n';
        return 2;
    }
}

}  // namespace pla013::runtime
