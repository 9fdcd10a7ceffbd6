// The user's path end to end: `pla013 report` for each of the ten reports
// over a generated database of 5 000 and of 50 000 dishes (made with
// `pla013 db generate` unless given), to PDF, XLSX, CSV and HTML, each run a
// process of its own. Printed per report and format: CPU time (user plus
// system) and peak resident size of each size, min and median of the rounds
// (the sizes interleaved round by round), and their growth, large over
// small, beside the targets:
//
//   - peak resident size, 50 000 dishes against 5 000: at most 1.5, for the
//     reports that read their own SQL (01, 02, 06, 07, 08, 09, 0A); the
//     comparisons (03, 04, 05) hold their lines in the form's data sets by
//     design, and their growth is printed without a target;
//   - report 03 over 50 000 dishes: at most 300 MB;
//   - CPU per dish (CPU growth over the growth of the dishes): printed, for
//     comparing versions of the program; no target.
//
// Exit status 1 when a target is missed.
//
//   bench_user_reports [--small PATH] [--large PATH] [--rounds N] [--reports 01,03] [--formats pdf,csv]

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct Usage {
    int status = -1;
    double cpuSeconds = 0;
    double peakMb = 0;
};

// Runs the program with args, its output to the null device; what it used.
Usage run(const std::vector<std::string>& args) {
    const pid_t child = ::fork();
    if (child == 0) {
        std::FILE* null = std::fopen("/dev/null", "w");
        if (null) {
            ::dup2(::fileno(null), STDOUT_FILENO);
            ::dup2(::fileno(null), STDERR_FILENO);
        }
        std::vector<char*> argv;
        for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    Usage u;
    int status = 0;
    struct rusage r {};
    if (child < 0 || ::wait4(child, &status, 0, &r) < 0) return u;
    u.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    u.cpuSeconds =
        double(r.ru_utime.tv_sec + r.ru_stime.tv_sec) + double(r.ru_utime.tv_usec + r.ru_stime.tv_usec) / 1e6;
    u.peakMb = double(r.ru_maxrss) / 1024;
    return u;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

double minimum(const std::vector<double>& v) { return v.empty() ? 0 : *std::min_element(v.begin(), v.end()); }

std::vector<std::string> split(const std::string& text) {
    std::vector<std::string> out;
    std::stringstream in(text);
    for (std::string item; std::getline(in, item, ',');)
        if (!item.empty()) out.push_back(item);
    return out;
}

// The filters of each report: every dish (groups 1 to 9), for a school with
// local recipes (03, 07), a service with its own recipes (04), every branch of the host's
// central kitchen (05, 06, 09), the central kitchen's first menu type under a
// module that has menu types (08), and every menu of the generated months.
std::vector<std::string> filters(const std::string& report) {
    std::vector<std::string> f;
    if (report == "08") f = {"--module", "L"};
    f.insert(f.end(), {"report", "--report", report, "--dish-from", "1", "--dish-to", "9"});
    const std::vector<std::string> months = {"--from", "2024-01-01", "--to", "2024-03-31"};
    if (report == "03" || report == "07") f.insert(f.end(), {"--for-branch", "0002"});
    if (report == "04") f.insert(f.end(), {"--for-branch", "0004", "--service", "00001"});
    if (report == "05") f.insert(f.end(), {"--branches", "all"});
    if (report == "06") f.insert(f.end(), {"--branches", "all"});
    if (report == "08") f.insert(f.end(), {"--menu-type", "1"});
    if (report == "09") f.insert(f.end(), {"--branches", "all", "--services", "all"});
    if (report == "06" || report == "09") f.insert(f.end(), months.begin(), months.end());
    return f;
}

// The reports whose rows come from their own SQL: they must not grow with the data.
bool readsItsOwnSql(const std::string& report) { return report != "03" && report != "04" && report != "05"; }

}  // namespace

int main(int argc, char** argv) {
    std::string small, large;
    int rounds = 3;
    std::vector<std::string> reports = {"01", "02", "03", "04", "05", "06", "07", "08", "09", "0A"};
    std::vector<std::string> formats = {"pdf", "xlsx", "csv", "html"};
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i], value = argv[i + 1];
        if (option == "--small")
            small = value;
        else if (option == "--large")
            large = value;
        else if (option == "--rounds")
            rounds = std::max(1, std::atoi(value.c_str()));
        else if (option == "--reports")
            reports = split(value);
        else if (option == "--formats")
            formats = split(value);
        else {
            std::fprintf(stderr, "unknown option %s\n", option.c_str());
            return 2;
        }
    }
    const fs::path dir = fs::temp_directory_path() / ("pla013-bench-user-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const std::string cli = PLA013_CLI_BIN;
    int dishes[2] = {5000, 50000};
    std::string db[2] = {small, large};
    for (int s = 0; s < 2; ++s)
        if (db[s].empty()) {
            db[s] = (dir / ("catering-" + std::to_string(dishes[s]) + ".sqlite")).string();
            if (run({cli, "db", "generate", db[s], "--dishes", std::to_string(dishes[s])}).status != 0) {
                std::fprintf(stderr, "could not generate %s\n", db[s].c_str());
                return 1;
            }
        }
    std::printf("pla013 report over %s (small) and %s (large), %d rounds each, sizes interleaved\n\n", db[0].c_str(),
                db[1].c_str(), rounds);
    std::printf("%-6s %-5s %-6s %9s %9s %9s %9s\n", "report", "fmt", "size", "cpu min", "cpu med", "MB min", "MB med");

    bool met = true;
    struct Row {
        std::string report, format;
        double memGrowth, cpuPerDish, largeMb;
    };
    std::vector<Row> rows;
    for (const auto& report : reports)
        for (const auto& format : formats) {
            std::vector<double> cpu[2], mb[2];
            bool failed = false;
            for (int r = 0; r < rounds && !failed; ++r)
                for (int s = 0; s < 2; ++s) {
                    const fs::path out = dir / ("PLA013" + report + "." + format);
                    std::vector<std::string> args = {cli, "--db", db[s]};
                    for (const auto& f : filters(report)) args.push_back(f);
                    args.insert(args.end(), {"--out", out.string()});
                    const Usage u = run(args);
                    fs::remove(out);
                    if (u.status != 0) {
                        std::fprintf(stderr, "report %s to %s over %s failed (status %d)\n", report.c_str(),
                                     format.c_str(), db[s].c_str(), u.status);
                        failed = true;
                        met = false;
                        break;
                    }
                    cpu[s].push_back(u.cpuSeconds);
                    mb[s].push_back(u.peakMb);
                }
            if (failed) continue;
            for (int s = 0; s < 2; ++s)
                std::printf("%-6s %-5s %-6d %9.2f %9.2f %9.1f %9.1f\n", report.c_str(), format.c_str(), dishes[s],
                            minimum(cpu[s]), median(cpu[s]), minimum(mb[s]), median(mb[s]));
            std::fflush(stdout);
            rows.push_back({report, format, median(mb[1]) / median(mb[0]),
                            (median(cpu[1]) / median(cpu[0])) / (double(dishes[1]) / dishes[0]), median(mb[1])});
        }

    std::printf(
        "\npeak resident size, %d dishes against %d (medians), target <= 1.5 where the report reads its own SQL;"
        " CPU per dish, same ratio:\n",
        dishes[1], dishes[0]);
    for (const Row& r : rows) {
        const bool bound = readsItsOwnSql(r.report);
        const bool ok = !bound || r.memGrowth <= 1.5;
        met = met && ok;
        std::printf("  %-3s %-5s memory %5.2f  %-9s  cpu per dish %5.2f\n", r.report.c_str(), r.format.c_str(),
                    r.memGrowth,
                    !bound ? "no target"
                    : ok   ? "met"
                           : "MISSED",
                    r.cpuPerDish);
    }
    for (const Row& r : rows)
        if (r.report == "03") {
            const bool ok = r.largeMb <= 300;
            met = met && ok;
            std::printf("report 03 to %s over %d dishes: %.1f MB, target <= 300 MB  %s\n", r.format.c_str(), dishes[1],
                        r.largeMb, ok ? "met" : "MISSED");
        }
    fs::remove_all(dir);
    return met ? 0 : 1;
}
