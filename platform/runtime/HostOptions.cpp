#include "platform/runtime/HostOptions.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "host/Variant.h"
#include "platform/net/HostPort.h"

namespace fs = std::filesystem;

namespace pla013::runtime {

namespace {

std::string trim(const std::string& s) {
    auto b = s.find_first_not_of(" \t\r");
    if (b == std::string::npos) return {};
    auto e = s.find_last_not_of(" \t\r");
    return s.substr(b, e - b + 1);
}

// The servers to call: each address must be complete, and port 0 (any free
// port) only makes sense to a server that listens.
void checkServerAddress(const std::string& value) {
    try {
        for (const net::HostPort& address : net::HostPort::parseList(value))
            if (address.port == 0)
                throw std::invalid_argument("--server needs the port the server listens on (1 to 65535), not 0");
    } catch (const net::HostPortError& e) {
        throw std::invalid_argument(std::string("--server: ") + e.what());
    }
}

void setValue(HostOptions& o, const std::string& key, const std::string& value) {
    if (key == "db")
        o.db = value;
    else if (key == "server") {
        checkServerAddress(value);
        o.server = value;
    } else if (key == "ca") {
        // Read now, so that a wrong name is an option error rather than a
        // failed call later.
        if (value.empty() || !std::ifstream(value))
            throw std::invalid_argument("--ca: o arquivo de autoridades certificadoras '" + value +
                                        "' não pode ser lido");
        o.ca = value;
    } else if (key == "branch") {
        if (value.empty() || value.size() > 4 || value.find_first_not_of("0123456789") != std::string::npos)
            throw std::invalid_argument("--branch must be a branch code of up to four digits, not '" + value + "'");
        o.branch = value;
    } else if (key == "operator") {
        if (value.empty()) throw std::invalid_argument("--operator needs an operator code");
        o.operatorCode = value;
    } else if (key == "module") {
        if (value.size() != 1) throw std::invalid_argument("--module takes one character, not '" + value + "'");
        o.module = value[0];
    } else if (key == "single-branch") {
        o.singleBranch = value.empty() || value == "1" || value == "true" || value == "yes";
    } else if (key == "date") {
        host::TDateTime d;
        if (!host::TryIsoToDate(value, d))
            throw std::invalid_argument("--date must be a date as YYYY-MM-DD, not '" + value + "'");
        o.date = value;
    } else if (key == "reports")
        o.reports = value;
    else if (key == "log-level") {
        if (value != "quiet" && value != "info" && value != "debug")
            throw std::invalid_argument("--log-level is quiet, info or debug, not '" + value + "'");
        o.logLevel = value;
    } else
        throw std::invalid_argument("unknown setting '" + key + "'");
}

}  // namespace

HostOptions HostOptions::parse(std::vector<std::string>& args) {
    HostOptions o;
    std::vector<std::pair<std::string, std::string>> given;
    std::vector<std::string> rest;
    static const std::vector<std::string> valued = {"db",   "server",  "branch", "operator",  "module",
                                                    "date", "reports", "config", "log-level", "ca"};
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a.rfind("--", 0) != 0) {
            rest.push_back(a);
            continue;
        }
        std::string key = a.substr(2), value;
        bool hasValue = false;
        if (auto eq = key.find('='); eq != std::string::npos) {
            value = key.substr(eq + 1);
            key = key.substr(0, eq);
            hasValue = true;
        }
        if (key == "single-branch") {
            given.emplace_back(key, hasValue ? value : "1");
            continue;
        }
        if (std::find(valued.begin(), valued.end(), key) == valued.end()) {
            rest.push_back(a);
            continue;
        }
        if (!hasValue) {
            if (i + 1 >= args.size()) throw std::invalid_argument("--" + key + " needs a value");
            value = args[++i];
        }
        if (key == "config")
            o.config = value;
        else
            given.emplace_back(key, value);
    }
    if (!o.config.empty()) o.applyConfigFile(o.config);
    for (const auto& [k, v] : given) setValue(o, k, v);
    args = rest;
    return o;
}

void HostOptions::applyConfigFile(const std::string& path) {
    std::ifstream in(path);
    if (!in) throw std::invalid_argument("cannot read the configuration file '" + path + "'");
    std::string line;
    int n = 0;
    while (std::getline(in, line)) {
        ++n;
        line = trim(line);
        if (line.empty() || line[0] == '#') continue;
        auto eq = line.find('=');
        if (eq == std::string::npos)
            throw std::invalid_argument(path + ":" + std::to_string(n) + ": expected 'key = value'");
        try {
            setValue(*this, trim(line.substr(0, eq)), trim(line.substr(eq + 1)));
        } catch (const std::invalid_argument& e) {
            throw std::invalid_argument(path + ":" + std::to_string(n) + ": " + e.what());
        }
    }
}

std::string HostOptions::usage() {
    return "Context options:\n"
           "  --db PATH|URL        catering database (default: the sample SQLite database, created on first use)\n"
           "  --server HOST:PORT[,HOST:PORT...]\n"
           "                       application server, or several over one database: a call that finds one\n"
           "                       down goes to the next (default: an embedded server on a free loopback port);\n"
           "                       https://HOST:PORT for a server that speaks TLS\n"
           "  --ca FILE            certificate authorities (PEM) that https:// servers' certificates must come\n"
           "                       from (default: the system's store)\n"
           "  --branch CODE        the host's current branch (default 0001)\n"
           "  --operator CODE      the operator logged in (default 1)\n"
           "  --module CHAR        the active host module (default P)\n"
           "  --single-branch      the host works on one branch only\n"
           "  --date YYYY-MM-DD    processing date (default: today)\n"
           "  --reports DIR        report definition folder\n"
           "  --config FILE        configuration file of 'key = value' lines with the same keys\n"
           "  --log-level LEVEL    quiet, info or debug (embedded server's request log)\n";
}

std::string executableDir() {
    std::error_code ec;
    auto p = fs::read_symlink("/proc/self/exe", ec);
    return ec ? std::string(".") : p.parent_path().string();
}

std::string defaultReportFolder() {
    if (const char* e = std::getenv("PLA013_REPORTS")) return e;
    // Installed beside the binaries by the build; the source tree as a fallback.
    fs::path exe = executableDir();
    for (fs::path candidate : {exe / "../reports", exe / "../../reports", fs::path(PLA013_SOURCE_REPORTS)}) {
        std::error_code ec;
        if (fs::is_directory(candidate, ec)) return fs::weakly_canonical(candidate, ec).string();
    }
    return PLA013_SOURCE_REPORTS;
}

}  // namespace pla013::runtime
