#pragma once
#include <string>
#include <vector>

namespace pla013::runtime {

// The host's working context as the user gives it: options of the executable,
// over a configuration file (key = value lines), over the defaults.
struct HostOptions {
    std::string db;      // PATH or URL; empty: the sample database
    std::string server;  // HOST:PORT or a list "A,B"; empty: an embedded server
    std::string ca;      // PEM file of the authorities of https:// servers; empty: the system's store
    std::string branch = "0001";
    std::string operatorCode = "1";
    char module = 'P';
    bool singleBranch = false;
    std::string date;     // YYYY-MM-DD; empty: today
    std::string reports;  // report folder; empty: the installed one
    std::string config;   // configuration file read
    std::string logLevel = "quiet";

    // Consumes the context options from args (leaving the others in place).
    // Throws std::invalid_argument with a clear text on a bad value.
    static HostOptions parse(std::vector<std::string>& args);
    // Applies "key = value" lines of a configuration file.
    void applyConfigFile(const std::string& path);
    static std::string usage();
};

// Default locations, derived from the executable's place and the user's home.
std::string defaultReportFolder();
std::string executableDir();

}  // namespace pla013::runtime
