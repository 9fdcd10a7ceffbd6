// Speed of the standard-versus-local composition.
//
// 1. The merge: 1 000, 10 000 and 100 000 dishes of 10 standard and 10 local
//    lines each. The three packets are built in memory with the fields the
//    server sends (those of the form's data sets), encoded into a call
//    answer and decoded with the protocol's codec, so the merge starts from
//    exactly what the transport hands over. Then the path of RelCompRecPL
//    after its call runs on a real form's data sets: the data sets emptied,
//    the packets loaded, the composition built and loaded under its active
//    index, the filters of the last dish set (LoadRecipeComparison). Printed:
//    the time per recipe line at each size, measured twice: "warm", on the
//    answer just decoded as the form has it, and "cold", with the processor
//    caches evicted before each run; its pieces; a plain copy of the same
//    packets for reference; and the ratio of the largest size to the
//    smallest, which must stay within 1.5. The smallest size fits in the
//    caches when warm, the others do not: the warm ratio measures the memory
//    hierarchy as much as the code (the plain copy shows how much), the cold
//    one compares like with like.
//
// 2. One large GetRelCompRecPL call over loopback against a generated SQLite
//    database in a temporary folder, split into the SQL (the method's three
//    queries), building the packets, encoding the answer, transfer (the rest
//    of the call as the client sees it) and decoding.
//
// Usage: bench_recipe_merge [--quick]   (--quick: 1 000 and 10 000 dishes,
// a smaller database)

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "form/TfrmRelatPrato.h"
#include "host/Data.h"
#include "platform/appserver/AppServer.h"
#include "platform/appserver/RecipeModule.h"
#include "platform/appserver/internal/RecipeSql.h"
#include "platform/db/DatabaseInitializer.h"
#include "platform/db/SociDatabase.h"
#include "platform/net/HttpTransport.h"
#include "platform/net/Protocol.h"
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

double threadSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + 1e-9 * double(ts.tv_nsec);
}

// Processor time of this thread: other programs on a shared machine do not
// count (their effect on the caches still does).
template <class F>
double cpuTimed(F&& f) {
    const double t0 = threadSeconds();
    f();
    return threadSeconds() - t0;
}

Variant packetValue(DataPacket p) {
    return Variant(std::shared_ptr<const DataPacket>(std::make_shared<DataPacket>(std::move(p))));
}

constexpr int kLinesPerSide = 10;

// The answer of GetRelCompRecPL for `dishes` dishes, as the server would
// build it: dishes by code, lines by dish and sequence.
Variant serverAnswer(pla013::TfrmRelatPrato& form, int dishes) {
    DataPacket list, standard, local;
    list.fields = form.cdsPratosRel->FieldDefs;
    standard.fields = form.cdsPratoPadr->FieldDefs;
    local.fields = form.cdsPratoLoca->FieldDefs;
    list.rows.reserve(std::size_t(dishes));
    standard.rows.reserve(std::size_t(dishes) * kLinesPerSide);
    local.rows.reserve(std::size_t(dishes) * kLinesPerSide);
    char code[16];
    for (int d = 0; d < dishes; ++d) {
        std::snprintf(code, sizeof code, "%07d", d);
        const std::string owner = d % 5 == 0 ? "0002" : "P";
        list.rows.push_back({Variant(std::string(code)), Variant("Prato " + std::to_string(d)), Variant(owner)});
        auto line = [&](DataPacket& p, int k, int shift) {
            const int product = (d * 7 + k * 3 + shift) % 997;
            const std::string cd = std::to_string(1000 + product);
            std::vector<Variant> row(p.fields.size());
            // Field order of cdsPratoPadr / cdsPratoLoca: dish, owner,
            // product, name, unit, quantity, cost, tree code.
            row[0] = Variant(std::string(code));
            row[1] = Variant(owner);
            row[2] = Variant(cd);
            row[3] = Variant("Produto " + cd);
            row[4] = Variant(std::string("KG"));
            row[5] = Variant(0.01 * (k + 1));
            row[6] = Variant(0.37 * (k + 1));
            row[7] = Variant("01.0" + std::to_string(k % 10) + "." + cd);
            p.rows.push_back(std::move(row));
        };
        for (int k = 0; k < kLinesPerSide; ++k) line(standard, k, 0);
        for (int k = 0; k < kLinesPerSide; ++k) line(local, k, 1);
    }
    return Variant(std::vector<Variant>{packetValue(std::move(list)), packetValue(std::move(standard)),
                                        packetValue(std::move(local))});
}

// Evicts the processor caches by streaming through a buffer larger than the
// last-level cache, so that a run starts as a run over data that has just
// come from memory.
void evictCaches() {
    static std::vector<unsigned char> buffer(std::size_t(1) << 30);
    static unsigned char sink = 0;
    for (std::size_t i = 0; i < buffer.size(); i += 64) sink = static_cast<unsigned char>(sink + ++buffer[i]);
    if (sink == 1) std::printf(" ");
}

struct MergeFigure {
    int dishes = 0;
    std::size_t lines = 0;
    std::size_t rows = 0;
    double decode = 0;  // the answer's text into packets
    double warm = 0;    // the path after the call, best run, data as just decoded
    double cold = 0;    // the same, caches evicted before each run
    // Its pieces (best runs): packets into their data sets, the merge, the
    // composition into its data set under the index, the filters.
    double load = 0, merge = 0, composition = 0, filters = 0;
    double plainCopy = 0;  // copying the three packets, for reference
};

MergeFigure measureMerge(int dishes, int runs) {
    pla013::TfrmRelatPrato form;
    MergeFigure fig;
    fig.dishes = dishes;
    std::string text = pla013::net::encodeCallResult(serverAnswer(form, dishes));
    Variant answer;
    fig.decode = cpuTimed([&] { answer = pla013::net::decodeCallResponse(text); });
    std::string().swap(text);
    const DataPacket& dishList = *answer.at(0).packet();
    const DataPacket& standardLines = *answer.at(1).packet();
    const DataPacket& localLines = *answer.at(2).packet();
    fig.lines = standardLines.rows.size() + localLines.rows.size();

    const pla013::RecipeDataSets sets{form.cdsPratosRel, form.cdsPratoPadr, form.cdsPratoLoca, form.cdsReceitaPadLoc};
    const auto standard = pla013::StandardRecipeSide();
    const auto local = pla013::LocalRecipeSide();
    // RelCompRecPL's first step: every data set emptied (or created).
    auto emptyAll = [&] {
        for (auto* cds : {form.cdsReceitaPadLoc, form.cdsPratosRel, form.cdsPratoPadr, form.cdsPratoLoca}) {
            if (cds->Active())
                cds->EmptyDataSet();
            else
                cds->CreateDataSet();
        }
    };
    auto best = [&](double& slot, const std::function<void()>& before, const std::function<void()>& work) {
        slot = 1e9;
        for (int run = 0; run < runs; ++run) {
            before();
            slot = std::min(slot, cpuTimed(work));
        }
    };
    auto path = [&] { pla013::LoadRecipeComparison(answer, sets, standard, local); };
    best(fig.warm, emptyAll, path);
    fig.rows = std::size_t(form.cdsReceitaPadLoc->RecordCount());
    best(
        fig.cold,
        [&] {
            emptyAll();
            evictCaches();
        },
        path);

    DataPacket composed;
    best(fig.load, emptyAll, [&] {
        form.cdsPratosRel->SetData(dishList);
        form.cdsPratoPadr->SetData(standardLines);
        form.cdsPratoLoca->SetData(localLines);
    });
    best(
        fig.merge, [&] { composed = DataPacket(); },
        [&] {
            composed = pla013::ComposeRecipes(dishList, standardLines, localLines, standard, local,
                                              form.cdsReceitaPadLoc->FieldDefs);
        });
    best(
        fig.composition,
        [&] {
            form.cdsReceitaPadLoc->EmptyDataSet();
            composed = pla013::ComposeRecipes(dishList, standardLines, localLines, standard, local,
                                              form.cdsReceitaPadLoc->FieldDefs);
        },
        [&] { form.cdsReceitaPadLoc->SetData(std::move(composed)); });
    best(
        fig.filters,
        [&] {
            form.cdsPratoPadr->SetFiltered(false);
            form.cdsPratoLoca->SetFiltered(false);
        },
        [&] {
            form.cdsPratoPadr->SetFiltered(true);
            form.cdsPratoPadr->SetFilter(pla013::DishFilter(standard, "0000001", "P"));
            form.cdsPratoLoca->SetFiltered(true);
            form.cdsPratoLoca->SetFilter(pla013::DishFilter(local, "0000001", "P"));
        });
    DataPacket c0, c1, c2;
    best(
        fig.plainCopy, [&] { c0 = c1 = c2 = DataPacket(); },
        [&] {
            c0 = dishList;
            c1 = standardLines;
            c2 = localLines;
        });
    return fig;
}

// ------------------------------------------------------------ the server call

// Generates `dishes` standard dishes (every fifth owned by branch 0002) with
// 10 standard lines and 10 local lines of branch 0002 each, over 500
// products costed by cost type 1.
void generateDatabase(const std::string& path, int dishes) {
    pla013::db::initializeDatabase(path, true);
    auto db = pla013::db::openDatabase(path);
    const std::string n = std::to_string(dishes - 1);
    db->transaction([&] {
        db->executeScript(
            "WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < 499)\n"
            "INSERT INTO PRODUTO (CDPRODUTO, NMPRODUTO, SGUNIDPROD, CDARV)\n"
            "SELECT printf('G%04d', i), 'Produto gerado ' || i, 'KG', printf('09.%02d.%03d', i % 50, i) FROM n;\n"
            "WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < 499)\n"
            "INSERT INTO CUSTOPRODUTO (CDPRODUTO, NRTIPOCUST, DTVALIDADE, VRCUSTO)\n"
            "SELECT printf('G%04d', i), 1, '2024-01-01', 1.5 + i % 17 FROM n;\n"
            "WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < " +
                n +
                ")\n"
                "INSERT INTO PRATO (CDPRATO, CDFILAUXPRAT, NMPRATO, CDNVPRATO)\n"
                "SELECT printf('B%07d', i), CASE WHEN i % 5 = 0 THEN '0002' ELSE 'P' END, 'Prato gerado ' || i, '3' "
                "FROM n;\n"
                "WITH RECURSIVE k(j) AS (SELECT 1 UNION ALL SELECT j + 1 FROM k WHERE j < 10)\n"
                "INSERT INTO RECEITAPRATO (CDPRATO, CDFILAUXPRAT, NRSEQU, CDPRODUTO, QTBRUTPROD)\n"
                "SELECT P.CDPRATO, P.CDFILAUXPRAT, k.j, printf('G%04d', (CAST(substr(P.CDPRATO, 2) AS INTEGER) * 7 + "
                "k.j) "
                "% 500), 0.01 * k.j\n"
                "FROM PRATO P, k WHERE P.CDPRATO LIKE 'B%';\n"
                "WITH RECURSIVE k(j) AS (SELECT 1 UNION ALL SELECT j + 1 FROM k WHERE j < 10)\n"
                "INSERT INTO RECEITALOCAL (CDFILIAL, CDPRATO, CDFILAUXPRAT, NRSEQU, CDPRODUTO, QTBRUTPROD)\n"
                "SELECT '0002', P.CDPRATO, P.CDFILAUXPRAT, k.j, printf('G%04d', (CAST(substr(P.CDPRATO, 2) AS INTEGER) "
                "* 3 "
                "+ k.j) % 500), 0.02 * k.j\n"
                "FROM PRATO P, k WHERE P.CDPRATO LIKE 'B%';\n",
            "dados gerados");
    });
}

std::vector<pla013::host::CallArg> callArgs() {
    using K = pla013::host::CallArg::Kind;
    return {{K::TextByRef, Variant(std::string("0002"))},
            {K::TextByRef, Variant(std::string("B"))},
            {K::TextByRef, Variant(std::string("BZZZZZZZZZ"))},
            {K::Int32, Variant(1)},
            {K::Date, Variant::date(pla013::host::EncodeDate(2024, 8, 15))}};
}

void measureServerCall(int dishes) {
    const fs::path dir = fs::temp_directory_path() / ("pla013-bench-" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    const std::string path = (dir / "gerado.sqlite").string();
    const double generation = timed([&] { generateDatabase(path, dishes); });

    auto db = pla013::db::openDatabase(path);
    const auto args = callArgs();

    // The three queries as the method runs them.
    const pla013::db::SqlParams p = {{"P_CDFILIAL", Variant(std::string("0002"))},
                                     {"P_CDPRATOINI", Variant(std::string("B"))},
                                     {"P_CDPRATOFIN", Variant(std::string("BZZZZZZZZZ"))},
                                     {"P_NRTIPOCUST", Variant(1)},
                                     {"P_DTREFER", Variant::date(pla013::host::EncodeDate(2024, 8, 15))}};
    namespace sql = pla013::appserver::internal::sql;
    std::size_t sqlRows = 0;
    const double sqlTime = timed([&] {
        sqlRows += db->query(sql::dishesWithLocalRecipe(sql::Bounds{}), p, "pratos").rows.size();
        sqlRows += db->query(sql::standardLines(sql::Bounds{}), p, "receita padrão").rows.size();
        sqlRows += db->query(sql::localLines(sql::Bounds{}), p, "receita local").rows.size();
    });

    // The whole method: the same queries and the packets built from them.
    Variant result;
    const double method = timed([&] {
        pla013::appserver::MethodCall call{*db, args};
        result = pla013::appserver::RecipeModule::getRelCompRecPL(call);
    });
    std::string body;
    const double encode = timed([&] { body = pla013::net::encodeCallResult(result); });
    Variant decoded;
    const double decode = timed([&] { decoded = pla013::net::decodeCallResponse(body); });

    // The call as the client makes it, against a server on loopback.
    pla013::appserver::AppServerOptions so;
    so.logLevel = pla013::appserver::LogLevel::Quiet;
    so.workerThreads = 1;
    pla013::appserver::AppServer server([path] { return pla013::db::openDatabase(path); }, so);
    server.start();
    pla013::net::HttpTransport transport;
    transport.Connect(server.host(), server.port());
    double call = 1e9;
    for (int run = 0; run < 2; ++run)
        call = std::min(call, timed([&] {
                            transport.Call(server.host(), server.port(), "PLA01303.rdmEmissaoReceitas",
                                           "GetRelCompRecPL", args);
                        }));
    server.stop();
    fs::remove_all(dir);

    const double building = std::max(0.0, method - sqlTime);
    const double transfer = std::max(0.0, call - method - encode - decode);
    std::printf("\nOne GetRelCompRecPL call over loopback: %d dishes, %zu result rows, answer of %.1f MB\n", dishes,
                sqlRows, double(body.size()) / 1e6);
    std::printf("  (database generated in %.1f s)\n", generation);
    auto line = [&](const char* what, double s) {
        std::printf("  %-34s %8.3f s  %5.1f%%\n", what, s, 100.0 * s / call);
    };
    line("SQL (three queries)", sqlTime);
    line("building the packets", building);
    line("encoding the answer (JSON)", encode);
    line("transfer (HTTP, loopback)", transfer);
    line("decoding the answer", decode);
    std::printf("  %-34s %8.3f s\n", "whole call, as the client sees it", call);
}

}  // namespace

int main(int argc, char** argv) {
    const bool quick = argc > 1 && std::string(argv[1]) == "--quick";
    std::vector<int> sizes = {1000, 10000, 100000};
    if (quick) sizes.pop_back();

    std::printf("Standard-versus-local composition, %d standard and %d local lines per dish\n", kLinesPerSide,
                kLinesPerSide);
    std::printf(
        "(packets built in memory with the server's fields and passed through the protocol codec;\n"
        " times are this thread's processor time, best of several runs, in ns per recipe line)\n\n");
    std::printf("%8s %9s %9s %8s | %8s %8s | %8s %8s %8s %8s | %8s\n", "dishes", "lines", "rows", "decode", "warm",
                "cold", "load", "merge", "compos.", "filters", "copy");
    std::vector<MergeFigure> figures;
    for (int n : sizes) {
        const MergeFigure f = measureMerge(n, n >= 100000 ? 3 : 7);
        figures.push_back(f);
        auto ns = [&](double s) { return 1e9 * s / double(f.lines); };
        std::printf("%8d %9zu %9zu %8.0f | %8.0f %8.0f | %8.0f %8.0f %8.0f %8.0f | %8.0f\n", f.dishes, f.lines, f.rows,
                    ns(f.decode), ns(f.warm), ns(f.cold), ns(f.load), ns(f.merge), ns(f.composition), ns(f.filters),
                    ns(f.plainCopy));
        std::fflush(stdout);
    }
    std::printf(
        "\n  warm: RelCompRecPL's path after the call on the answer just decoded (as in the form)\n"
        "  cold: the same with the caches evicted first\n"
        "  load: the three packets into cdsPratosRel, cdsPratoPadr, cdsPratoLoca (host SetData, a copy)\n"
        "  merge: ComposeRecipes;  compos.: the composition into cdsReceitaPadLoc under its index\n"
        "  filters: the last dish's filters;  copy: a plain copy of the three packets, for reference\n\n");
    auto ratio = [&](double MergeFigure::*m) {
        return (figures.back().*m / double(figures.back().lines)) /
               (figures.front().*m / double(figures.front().lines));
    };
    const double warm = ratio(&MergeFigure::warm), cold = ratio(&MergeFigure::cold);
    // The figure judged is the cold one: every size starts from memory, as an
    // answer of any real size does. Warm, the smallest size runs from the
    // processor caches, which a plain copy of the packets shows as well.
    std::printf("time per line, %d dishes / %d dishes (target <= 1.50, caches evicted): %.2f %s\n",
                figures.back().dishes, figures.front().dishes, cold, cold <= 1.5 ? "met" : "MISSED");
    std::printf("  for reference, from the caches: composition %.2f, merge alone %.2f, plain copy %.2f\n\n", warm,
                ratio(&MergeFigure::merge), ratio(&MergeFigure::plainCopy));

    measureServerCall(quick ? 5000 : 50000);
    return 0;
}
