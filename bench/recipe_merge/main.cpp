// Speed and memory of the standard-versus-local comparison (RelCompRecPL).
//
// 1. The merge: 1 000, 10 000 and 100 000 dishes of 10 standard and 10 local
//    lines each. The three packets are built in memory with the fields the
//    server sends and encoded as a call answer. One timed merge is the
//    client's whole path from that text: the answer decoded, the packets
//    loaded into the form's data sets, the composition built and loaded under
//    its index, the last dish's filters set (LoadRecipeComparison). Each size
//    runs 5 times; min and median are printed in ns per recipe line, and the
//    ratio of the medians per line, largest size over smallest.
//
// 2. The literal merge, the way a client would write the comparison with
//    data-set operations alone: for each dish, the standard and local data
//    sets filtered to that dish; each standard line appended to the
//    composition as row k of the dish; each local line k located in the
//    composition (dish, owner, k) and written beside it, or appended when the
//    dish has fewer standard lines. Decoding and loading included, as above.
//    Run at 1 000 and 10 000 dishes only (it grows with dishes times lines);
//    its composition is checked to equal the merge's, row by row.
//
// 3. One large GetRelCompRecPL over loopback (about 620 000 lines by default,
//    under the client's limit of 1 000 000 rows an answer),
//    on a database made by the generator (platform/db/DataGenerator.h) in a
//    temporary folder, or on the database given with --db PATH|URL (or
//    PLA013_BENCH_DB), SQLite or PostgreSQL, made beforehand with
//    `pla013 db generate PATH|URL --dishes N`. The call uses the branch with
//    the most local lines and the whole dish range.
//    a) Split, one run, each part timed as it happens so that the parts add
//       up to the whole: SQL (the method's three statements, rows fetched into
//       packets by the database adapter: the database port is wrapped with a
//       timer), building the rows of the answer (the rest of the method),
//       encoding, transfer (the encoded answer served by a cpp-httplib
//       server on loopback and received as the client transport receives it),
//       decoding, and loading into the form's data sets with the composition.
//       Printed: the whole over (SQL + building), for reference.
//    b) The same call through the application server and the client
//       transport, and loaded by the form's path: the path users run.
//       Target: at most 2 x (SQL + building) of a).
//    c) Client peak memory: the client's side of the call (HttpTransport::Call
//       and LoadRecipeComparison against the application server, which runs
//       in this process) runs in a child process of its own (this program
//       started again with --client-peak), so that neither the server's
//       memory nor what this process freed earlier counts. The child resets
//       its peak resident size (writing 5 to /proc/self/clear_refs), reads
//       its resident size (VmRSS) as the baseline, makes the call and loads
//       the data sets, and reports its peak (VmHWM) minus the baseline.
//       Target: at most 3 x the answer's size on the wire. What the four
//       data sets say they hold (TDataSet::MemoryUsed) is printed beside it.
//       The former path
//       (the answer received whole, parsed into a tree, parsed again to look
//       for an error, the packets made from the tree, then copied into the
//       data sets) runs the same way, built from the tree decoder, for
//       comparison.
//
// Usage: bench_recipe_merge [--quick] [--db PATH|URL] [--dishes N]
//   --quick: 1 000 and 10 000 dishes, a smaller generated database
//   --dishes N: dishes of the generated database (default 120 000, which gives about
//               620 000 lines to the busiest branch; 5 000 with --quick)

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <httplib.h>
#include <malloc.h>

#include "form/TfrmRelatPrato.h"
#include "host/Data.h"
#include "platform/appserver/AppServer.h"
#include "platform/appserver/RecipeModule.h"
#include "platform/db/DataGenerator.h"
#include "platform/db/DatabaseInitializer.h"
#include "platform/db/SociDatabase.h"
#include "platform/net/HttpTransport.h"
#include "platform/net/Protocol.h"
#include "platform/net/VariantCodec.h"
#include "recipes/RecipeMerge.h"

namespace fs = std::filesystem;
using pla013::host::DataPacket;
using pla013::host::Variant;
using Clock = std::chrono::steady_clock;

namespace {

double secondsSince(Clock::time_point t0) { return std::chrono::duration<double>(Clock::now() - t0).count(); }

template <class F>
double timed(F&& f) {
    const auto t0 = Clock::now();
    f();
    return secondsSince(t0);
}

Variant packetValue(DataPacket p) {
    return Variant(std::shared_ptr<const DataPacket>(std::make_shared<DataPacket>(std::move(p))));
}

const char* verdict(bool met) { return met ? "met" : "MISSED"; }

// ------------------------------------------------------------------ the merge

constexpr int kLinesPerSide = 10;
constexpr int kRuns = 5;

// The answer of GetRelCompRecPL for `dishes` dishes, as the server would
// build it: dishes by code, lines by dish and sequence.
Variant serverAnswer(pla013::TfrmRelatPrato& form, int dishes) {
    DataPacket list, standard, local;
    list.fields = form.cdsPratosRel->FieldDefs;
    standard.fields = form.cdsPratoPadr->FieldDefs;
    local.fields = form.cdsPratoLoca->FieldDefs;
    char code[16];
    for (int d = 0; d < dishes; ++d) {
        std::snprintf(code, sizeof code, "%07d", d);
        const std::string owner = d % 5 == 0 ? "0002" : "P";
        list.rows.push_back({Variant(std::string(code)), Variant("Prato " + std::to_string(d)), Variant(owner)});
        auto line = [&](DataPacket& p, int k, int shift) {
            const std::string cd = std::to_string(1000 + (d * 7 + k * 3 + shift) % 997);
            // Field order of cdsPratoPadr / cdsPratoLoca: dish, owner,
            // product, name, unit, quantity, cost, tree code.
            p.rows.push_back({Variant(std::string(code)), Variant(owner), Variant(cd), Variant("Produto " + cd),
                              Variant(std::string("KG")), Variant(0.01 * (k + 1)), Variant(0.37 * (k + 1)),
                              Variant("01.0" + std::to_string(k % 10) + "." + cd)});
        };
        // Some dishes have more standard lines than local ones, some fewer.
        const int extra = d % 3 == 0 ? 2 : 0;
        for (int k = 0; k < kLinesPerSide + extra; ++k) line(standard, k, 0);
        for (int k = 0; k < kLinesPerSide + (d % 3 == 1 ? 2 : 0) - extra; ++k) line(local, k, 1);
    }
    return Variant(std::vector<Variant>{packetValue(std::move(list)), packetValue(std::move(standard)),
                                        packetValue(std::move(local))});
}

pla013::RecipeDataSets dataSets(pla013::TfrmRelatPrato& form) {
    return {form.cdsPratosRel, form.cdsPratoPadr, form.cdsPratoLoca, form.cdsReceitaPadLoc};
}

// RelCompRecPL's first step: every data set emptied (or created).
void emptyAll(pla013::TfrmRelatPrato& form) {
    for (auto* cds : {form.cdsReceitaPadLoc, form.cdsPratosRel, form.cdsPratoPadr, form.cdsPratoLoca}) {
        cds->SetFiltered(false);
        if (cds->Active())
            cds->EmptyDataSet();
        else
            cds->CreateDataSet();
    }
}

// The comparison written with data-set operations alone, one dish at a time.
void literalMerge(Variant answer, const pla013::RecipeDataSets& sets) {
    using pla013::host::TClientDataSet;
    const auto standard = pla013::StandardRecipeSide();
    const auto local = pla013::LocalRecipeSide();
    // The packets as the transport decodes them, taken as they are.
    sets.dishes->SetData(answer.takeAt(0).takeCompactPacket());
    sets.standardLines->SetData(answer.takeAt(1).takeCompactPacket());
    sets.otherLines->SetData(answer.takeAt(2).takeCompactPacket());
    TClientDataSet& dishes = *sets.dishes;
    TClientDataSet& lines = *sets.standardLines;
    TClientDataSet& others = *sets.otherLines;
    TClientDataSet& out = *sets.composition;
    lines.SetFiltered(true);
    others.SetFiltered(true);
    for (dishes.First(); !dishes.Eof(); dishes.Next()) {
        const std::string code = dishes.FieldByName("CDPRATO").AsString();
        const std::string owner = dishes.FieldByName("CDFILAUXPRAT").AsString();
        const Variant name = dishes.FieldByName("NMPRATO").Value();
        auto newRow = [&](int k) {
            out.Append();
            out.FieldByName("CDPRATO").SetAsString(code);
            out.FieldByName("NMPRATO").SetValue(name);
            out.FieldByName("CDFILAUXPRAT").SetAsString(owner);
            out.FieldByName("NRSEQUPRATO").SetAsInteger(k);
        };
        lines.SetFilter(pla013::DishFilter(standard, code, owner));
        int k = 0;
        for (lines.First(); !lines.Eof(); lines.Next()) {
            newRow(++k);
            for (const auto& f : standard.columns) out.FieldByName(f).SetValue(lines.FieldByName(f).Value());
            out.Post();
        }
        others.SetFilter(pla013::DishFilter(local, code, owner));
        k = 0;
        for (others.First(); !others.Eof(); others.Next()) {
            ++k;
            if (out.Locate("CDPRATO;CDFILAUXPRAT;NRSEQUPRATO", {Variant(code), Variant(owner), Variant(k)}, {}))
                out.Edit();
            else
                newRow(k);
            for (const auto& f : local.columns) out.FieldByName(f).SetValue(others.FieldByName(f).Value());
            out.Post();
        }
    }
}

struct Runs {
    std::vector<double> seconds;
    double min() const { return *std::min_element(seconds.begin(), seconds.end()); }
    double median() const {
        std::vector<double> s = seconds;
        std::sort(s.begin(), s.end());
        return s.size() % 2 ? s[s.size() / 2] : (s[s.size() / 2 - 1] + s[s.size() / 2]) / 2;
    }
};

struct MergeFigure {
    int dishes = 0;
    std::size_t lines = 0, rows = 0, bytes = 0;
    Runs decode, merge, literal;
    bool same = false;  // the literal merge composed the same rows
};

bool samePackets(const DataPacket& a, const DataPacket& b) {
    if (a.rows.size() != b.rows.size() || a.fields.size() != b.fields.size()) return false;
    for (std::size_t r = 0; r < a.rows.size(); ++r)
        for (std::size_t c = 0; c < a.fields.size(); ++c)
            if (a.rows[r][c].kind() != b.rows[r][c].kind() || !(a.rows[r][c] == b.rows[r][c])) return false;
    return true;
}

MergeFigure measureMerge(int dishes, bool literalToo) {
    pla013::TfrmRelatPrato form;
    const auto sets = dataSets(form);
    MergeFigure fig;
    fig.dishes = dishes;
    const std::string text = pla013::net::encodeCallResult(serverAnswer(form, dishes));
    fig.bytes = text.size();
    const auto standard = pla013::StandardRecipeSide();
    const auto local = pla013::LocalRecipeSide();
    for (int run = 0; run < kRuns; ++run) {
        fig.decode.seconds.push_back(timed([&] { pla013::net::decodeCallResponse(text); }));
        emptyAll(form);
        fig.merge.seconds.push_back(
            timed([&] { pla013::LoadRecipeComparison(pla013::net::decodeCallResponse(text), sets, standard, local); }));
    }
    fig.lines = std::size_t(form.cdsPratoPadr->Data().rows.size() + form.cdsPratoLoca->Data().rows.size());
    const DataPacket composed = form.cdsReceitaPadLoc->Snapshot();
    fig.rows = composed.rows.size();
    if (!literalToo) return fig;
    const int runs = dishes >= 10000 ? 3 : kRuns;
    for (int run = 0; run < runs; ++run) {
        emptyAll(form);
        fig.literal.seconds.push_back(timed([&] { literalMerge(pla013::net::decodeCallResponse(text), sets); }));
    }
    fig.same = samePackets(composed, form.cdsReceitaPadLoc->Snapshot());
    return fig;
}

// ------------------------------------------------------------ the server call

// The database port with the time spent in it.
class TimedDatabase : public pla013::host::IDatabase {
public:
    explicit TimedDatabase(pla013::host::IDatabase& inner) : m_inner(inner) {}
    DataPacket Open(const pla013::host::QueryRequest& request) override {
        const auto t0 = Clock::now();
        DataPacket p = m_inner.Open(request);
        seconds += secondsSince(t0);
        return p;
    }
    double seconds = 0;

private:
    pla013::host::IDatabase& m_inner;
};

std::vector<pla013::host::CallArg> callArgs(const std::string& branch) {
    using K = pla013::host::CallArg::Kind;
    return {{K::TextByRef, Variant(branch)},
            {K::TextByRef, Variant(std::string())},
            {K::TextByRef, Variant(std::string())},
            {K::Int32, Variant(1)},
            {K::Date, Variant::date(pla013::host::EncodeDate(2024, 6, 30))}};
}

constexpr const char* kModule = "PLA01303.rdmEmissaoReceitas";
constexpr const char* kMethod = "GetRelCompRecPL";

long statusKb(const char* key) {
    std::ifstream in("/proc/self/status");
    std::string line;
    const std::string prefix = std::string(key) + ":";
    while (std::getline(in, line))
        if (line.rfind(prefix, 0) == 0) return std::atol(line.c_str() + prefix.size());
    return -1;
}

// The child's side of 3c: prints the peak once the answer is decoded and the
// peak of the whole call with the loading, in bytes above the baseline.
int clientPeak(const std::string& host, int port, const std::string& branch, const std::string& mode) {
    pla013::TfrmRelatPrato form;
    emptyAll(form);
    const auto sets = dataSets(form);
    const auto args = callArgs(branch);
    pla013::net::HttpTransport transport;
    transport.Connect(host, port);
    malloc_trim(0);
    if (!(std::ofstream("/proc/self/clear_refs") << "5")) return 1;
    const long base = statusKb("VmRSS");
    long received = 0;  // the peak once the answer is decoded, before loading
    if (mode == "stream") {
        Variant answer = transport.Call(host, port, kModule, kMethod, args);
        received = statusKb("VmHWM");
        pla013::LoadRecipeComparison(std::move(answer), sets, pla013::StandardRecipeSide(), pla013::LocalRecipeSide());
    } else {
        // The former path: the whole answer, its tree, a second tree while
        // looking for an error, packets from the tree, then copies of them in
        // the data sets while the answer is still held.
        Variant answer;
        {
            httplib::Client client(host, port);
            client.set_read_timeout(600, 0);
            const auto res = client.Post("/call", pla013::net::encodeCallRequest(kModule, kMethod, args),
                                         pla013::net::kJsonContentType);
            if (!res || res->status != 200) return 1;
            const nlohmann::json tree = nlohmann::json::parse(res->body);
            { const nlohmann::json again = nlohmann::json::parse(res->body); }
            answer = pla013::net::variantFromJson(tree.at("result"));
        }
        received = statusKb("VmHWM");
        pla013::LoadRecipeComparison(answer, sets, pla013::StandardRecipeSide(), pla013::LocalRecipeSide());
    }
    const long peak = statusKb("VmHWM");
    std::size_t held = 0;  // what the data sets say they hold, for comparison with the peak
    for (auto* cds : {sets.dishes, sets.standardLines, sets.otherLines, sets.composition}) held += cds->MemoryUsed();
    std::printf("%ld %ld %zu\n", (received - base) * 1024, (peak - base) * 1024, held);
    return 0;
}

struct Peak {
    double decoded = -1, whole = -1, held = -1;
};

Peak childPeak(const std::string& self, const std::string& address, int port, const std::string& branch,
               const std::string& mode) {
    const std::string command =
        self + " --client-peak " + address + " " + std::to_string(port) + " " + branch + " " + mode;
    FILE* pipe = popen(command.c_str(), "r");
    Peak peak;
    if (!pipe) return peak;
    if (std::fscanf(pipe, "%lf %lf %lf", &peak.decoded, &peak.whole, &peak.held) != 3) peak = Peak();
    if (pclose(pipe) != 0) peak = Peak();
    return peak;
}

std::string busiestBranch(pla013::db::SociDatabase& db) {
    const DataPacket p =
        db.query("SELECT CDFILIAL, COUNT(*) AS N FROM RECEITALOCAL GROUP BY CDFILIAL ORDER BY 2 DESC, 1", {}, "filial");
    return p.rows.empty() ? std::string("0002") : p.rows[0][0].toString();
}

void measureServerCall(const std::string& self, std::string where, int dishes) {
    fs::path dir;
    double generation = 0;
    if (where.empty()) {
        dir = fs::temp_directory_path() / ("pla013-bench-" + std::to_string(::getpid()));
        fs::remove_all(dir);
        fs::create_directories(dir);
        where = (dir / "gerado.sqlite").string();
        pla013::db::GeneratorOptions options;
        options.dishes = dishes;
        generation = timed([&] { pla013::db::generateDatabase(where, options); });
    }
    auto db = pla013::db::openDatabase(where);
    const std::string branch = busiestBranch(*db);
    const auto args = callArgs(branch);

    // a) One run, timed part by part.
    pla013::TfrmRelatPrato form;
    emptyAll(form);
    const auto sets = dataSets(form);
    const auto t0 = Clock::now();
    TimedDatabase timedDb(*db);
    Variant result;
    const double method = timed([&] {
        pla013::appserver::MethodCall call{timedDb, args};
        result = pla013::appserver::RecipeModule::getRelCompRecPL(call);
    });
    std::size_t lines = result.at(1).packet()->rows.size() + result.at(2).packet()->rows.size();
    std::string body;
    const double encode = timed([&] {
        body = pla013::net::encodeCallResult(result);
        result = Variant();
    });
    httplib::Server server;
    server.set_tcp_nodelay(true);
    server.Post("/call", [&](const httplib::Request&, httplib::Response& res) {
        res.set_content(body, pla013::net::kJsonContentType);
    });
    const int port = server.bind_to_any_port("127.0.0.1");
    std::thread serving([&] { server.listen_after_bind(); });
    std::string received;
    const double transfer = timed([&] {
        httplib::Client client("127.0.0.1", port);
        client.set_tcp_nodelay(true);
        client.set_read_timeout(600, 0);
        httplib::Request request;
        request.method = "POST";
        request.path = "/call";
        request.body = pla013::net::encodeCallRequest(kModule, kMethod, args);
        request.content_receiver = [&](const char* data, std::size_t size, std::uint64_t, std::uint64_t) {
            received.append(data, size);
            return true;
        };
        httplib::Response response;
        httplib::Error error = httplib::Error::Success;
        client.send(request, response, error);
    });
    Variant decoded;
    const double decode = timed([&] {
        decoded = pla013::net::decodeCallResponse(received);
        std::string().swap(received);
    });
    const double load = timed([&] {
        pla013::LoadRecipeComparison(std::move(decoded), sets, pla013::StandardRecipeSide(), pla013::LocalRecipeSide());
    });
    const double whole = secondsSince(t0);
    server.stop();
    serving.join();
    const double wire = double(body.size());
    std::string().swap(body);
    emptyAll(form);

    // b) The same call through the application server and the client transport.
    pla013::appserver::AppServerOptions so;
    so.logLevel = pla013::appserver::LogLevel::Quiet;
    so.workerThreads = 1;
    pla013::appserver::AppServer appServer([where] { return pla013::db::openDatabase(where); }, so);
    appServer.start();
    pla013::net::HttpTransportOptions to;
    to.readTimeout = std::chrono::minutes(10);
    to.deadline = std::chrono::minutes(20);
    pla013::net::HttpTransport transport(to);
    transport.Connect(appServer.host(), appServer.port());
    const double real = timed([&] {
        pla013::LoadRecipeComparison(transport.Call(appServer.host(), appServer.port(), kModule, kMethod, args), sets,
                                     pla013::StandardRecipeSide(), pla013::LocalRecipeSide());
    });
    emptyAll(form);

    // c) Client peak memory, in a process of its own.
    const Peak peakStream = childPeak(self, appServer.host(), appServer.port(), branch, "stream");
    const Peak peakTree = childPeak(self, appServer.host(), appServer.port(), branch, "tree");
    appServer.stop();
    if (!dir.empty()) fs::remove_all(dir);

    const double sql = timedDb.seconds;
    const double building = method - sql;
    const double sum = sql + building + encode + transfer + decode + load;
    std::printf("\nOne GetRelCompRecPL call: branch %s, %zu lines, answer of %.1f MB on the wire\n", branch.c_str(),
                lines, wire / 1e6);
    if (!dir.empty()) std::printf("  (SQLite database of %d dishes generated in %.1f s)\n", dishes, generation);
    auto part = [&](const char* what, double s) {
        std::printf("  %-44s %8.3f s  %5.1f%%\n", what, s, 100.0 * s / whole);
    };
    part("SQL (three statements, rows fetched)", sql);
    part("building the rows of the answer", building);
    part("encoding the answer (JSON)", encode);
    part("transfer (HTTP, loopback)", transfer);
    part("decoding the answer", decode);
    part("loading the data sets, composition", load);
    std::printf("  %-44s %8.3f s  %5.1f%%\n", "sum of the parts", sum, 100.0 * sum / whole);
    std::printf("  %-44s %8.3f s\n", "whole, measured", whole);
    std::printf("  %-44s %8.3f s\n", "the same through the server and transport", real);
    std::printf("  %-44s %8.2f\n", "split whole / (SQL + building)", whole / (sql + building));
    const double e2e = real / (sql + building);
    std::printf("through the server / (SQL + building)  target <= 2.00: %.2f %s\n", e2e, verdict(e2e <= 2.0));
    if (peakStream.whole >= 0) {
        std::printf("client peak memory / answer on the wire target <= 3.00: %.2f %s  (%.0f MB for %.0f MB)\n",
                    peakStream.whole / wire, verdict(peakStream.whole / wire <= 3.0), peakStream.whole / 1e6,
                    wire / 1e6);
        std::printf("  of which the answer received and decoded: %.2f  (%.0f MB)\n", peakStream.decoded / wire,
                    peakStream.decoded / 1e6);
        std::printf("  held by the four data sets at the end:    %.2f  (%.0f MB, as they count it)\n",
                    peakStream.held / wire, peakStream.held / 1e6);
    } else {
        std::printf("client peak memory: the child process failed\n");
    }
    if (peakTree.whole >= 0)
        std::printf("  former path (tree, parsed twice, copies): %.2f  (%.0f MB; decoded: %.2f, %.0f MB)\n",
                    peakTree.whole / wire, peakTree.whole / 1e6, peakTree.decoded / wire, peakTree.decoded / 1e6);
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> a(argv + 1, argv + argc);
    if (a.size() == 5 && a[0] == "--client-peak") return clientPeak(a[1], std::atoi(a[2].c_str()), a[3], a[4]);
    bool quick = false;
    std::string where = std::getenv("PLA013_BENCH_DB") ? std::getenv("PLA013_BENCH_DB") : "";
    int dishes = 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (a[i] == "--quick")
            quick = true;
        else if (a[i] == "--db" && i + 1 < a.size())
            where = a[++i];
        else if (a[i] == "--dishes" && i + 1 < a.size())
            dishes = std::atoi(a[++i].c_str());
        else {
            std::fprintf(stderr, "uso: bench_recipe_merge [--quick] [--db CAMINHO|URL] [--dishes N]\n");
            return 2;
        }
    }
    if (dishes <= 0) dishes = quick ? 5000 : 120000;
    std::vector<int> sizes = {1000, 10000, 100000};
    if (quick) sizes.pop_back();

    std::printf("Standard-versus-local comparison, about %d standard and %d local lines per dish\n", kLinesPerSide,
                kLinesPerSide);
    std::printf(
        "(from the answer's text: decoding, loading, composition, filters; wall time in ns per line,\n"
        " %d runs: min and median, decoding alone: median; the literal merge at 10 000 dishes: 3 runs)\n\n",
        kRuns);
    std::printf("%8s %9s %9s %6s | %7s | %9s %9s | %11s %11s | %s\n", "dishes", "lines", "rows", "MB", "decode",
                "merge min", "median", "literal min", "median", "same output");
    std::vector<MergeFigure> figures;
    for (int n : sizes) {
        const MergeFigure f = measureMerge(n, n <= 10000);
        figures.push_back(f);
        auto ns = [&](double s) { return 1e9 * s / double(f.lines); };
        std::printf("%8d %9zu %9zu %6.1f | %7.0f | %9.0f %9.0f", f.dishes, f.lines, f.rows, double(f.bytes) / 1e6,
                    ns(f.decode.median()), ns(f.merge.min()), ns(f.merge.median()));
        if (!f.literal.seconds.empty())
            std::printf(" | %11.0f %11.0f | %s\n", ns(f.literal.min()), ns(f.literal.median()), f.same ? "yes" : "NO");
        else
            std::printf(" | %11s %11s |\n", "-", "-");
        std::fflush(stdout);
    }
    const MergeFigure& small = figures.front();
    const MergeFigure& large = figures.back();
    const double growth = (large.merge.median() / double(large.lines)) / (small.merge.median() / double(small.lines));
    std::printf("\nmerge, time per line %d / %d dishes    target <= 1.50: %.2f %s\n", large.dishes, small.dishes,
                growth, verdict(growth <= 1.5));
    const MergeFigure& ten = figures[1];
    const double speedup = ten.literal.median() / ten.merge.median();
    std::printf("literal merge / merge at %d dishes  target >= 100:  %.0f %s, same output: %s\n", ten.dishes, speedup,
                verdict(speedup >= 100 && ten.same), ten.same ? "yes" : "NO");
    const double decode = ten.decode.median();
    std::printf(
        "  for reference, decoding left out of both: %.1f (the host's filters and Locate use hash\n"
        "  indexes, so the literal merge grows with the lines too)\n",
        (ten.literal.median() - decode) / (ten.merge.median() - decode));
    std::fflush(stdout);

    measureServerCall(fs::read_symlink("/proc/self/exe").string(), where, dishes);
    return 0;
}
