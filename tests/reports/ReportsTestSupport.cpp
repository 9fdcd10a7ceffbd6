#include "ReportsTestSupport.h"

#include <array>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <sstream>
#include <stdexcept>

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/db/DatabaseInitializer.h"

namespace fs = std::filesystem;

namespace reportstest {

namespace {

// The master copy of the sample database, built on first use.
const std::string& masterDatabase() {
    static TempDir dir;
    static std::string path;
    static std::once_flag once;
    std::call_once(once, [] {
        path = dir.file("sample.sqlite");
        pla013::db::initializeDatabase(path, true);
    });
    return path;
}

}  // namespace

SampleDatabase::SampleDatabase() {
    m_path = m_dir.file("catering.sqlite");
    fs::copy_file(masterDatabase(), m_path);
    m_db = std::make_unique<pla013::db::SociDatabase>(m_path);
}

std::string postgresUrl() {
    const char* url = std::getenv("PLA013_TEST_PG_URL");
    return url ? url : "";
}

std::string reportsFolder() { return PLA013_REPORTS_DIR; }

void expectGolden(const std::string& name, const std::string& text) {
    const std::string path = std::string(PLA013_GOLDEN_DIR) + "/" + name;
    if (std::getenv("PLA013_UPDATE_GOLDEN")) {
        writeFile(path, text);
        return;
    }
    std::ifstream in(path, std::ios::binary);
    ASSERT_TRUE(in) << "no golden file " << path << " (PLA013_UPDATE_GOLDEN=1 writes it)";
    std::string expected((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    // Line by line, so that a failure shows where the pages differ.
    std::istringstream a(expected), b(text);
    std::string la, lb;
    for (int line = 1;; ++line) {
        const bool inA = bool(std::getline(a, la)), inB = bool(std::getline(b, lb));
        if (!inA && !inB) break;
        ASSERT_EQ(inA ? la : "(end)", inB ? lb : "(end)") << path << ", line " << line;
    }
    EXPECT_EQ(expected, text) << path;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void writeFile(const std::string& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
    if (!out) throw std::runtime_error("cannot write " + path);
}

std::string shellQuote(const std::string& s) {
    std::string out = "'";
    for (char c : s) {
        if (c == '\'')
            out += "'\\''";
        else
            out += c;
    }
    return out + "'";
}

std::string run(const std::string& command, int& status) {
    std::string out;
    FILE* p = ::popen(command.c_str(), "r");
    if (!p) throw std::runtime_error("cannot run " + command);
    std::array<char, 4096> buf{};
    std::size_t n;
    while ((n = std::fread(buf.data(), 1, buf.size(), p)) > 0) out.append(buf.data(), n);
    int rc = ::pclose(p);
    status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    return out;
}

std::string pdfText(const std::string& pdf) {
    int status = 0;
    std::string text = run("pdftotext -layout -enc UTF-8 " + shellQuote(pdf) + " - 2>&1", status);
    if (status != 0) throw std::runtime_error("pdftotext failed on " + pdf + ": " + text);
    return text;
}

int pdfImageCount(const std::string& pdf) {
    int status = 0;
    std::string out = run("pdfimages -list " + shellQuote(pdf) + " 2>&1", status);
    if (status != 0) throw std::runtime_error("pdfimages failed on " + pdf + ": " + out);
    // Two header lines, then one line per image.
    int lines = 0;
    for (char c : out)
        if (c == '\n') ++lines;
    return lines > 2 ? lines - 2 : 0;
}

std::string unzipList(const std::string& file, int& status) {
    return run("unzip -l " + shellQuote(file) + " 2>&1", status);
}

}  // namespace reportstest
