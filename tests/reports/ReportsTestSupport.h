#pragma once
// Real things for the report tests: scratch folders, sample catering
// databases built by the initializer, the repository's report folder, and
// reading back what the renderers wrote (pdftotext, unzip).

#include <filesystem>

#include <memory>
#include <string>
#include <vector>
#include "TempDir.h"

#include "host/DataPacket.h"
#include "platform/db/SociDatabase.h"

namespace reportstest {

using TempDir = pla013test::TempDir;

// A catering database with the sample data, in a folder of its own. Built
// once per test program and copied for each test that asks (the build takes
// a while under the sanitizers).
class SampleDatabase {
public:
    SampleDatabase();
    pla013::db::SociDatabase& db() { return *m_db; }
    const std::string& path() const { return m_path; }

private:
    TempDir m_dir;
    std::string m_path;
    std::unique_ptr<pla013::db::SociDatabase> m_db;
};

// The PostgreSQL server named by PLA013_TEST_PG_URL; empty when none is set.
std::string postgresUrl();

std::string reportsFolder();
// Compares text with the golden file tests/data/pages/NAME (a failure of the
// calling test when they differ or it is missing); with PLA013_UPDATE_GOLDEN
// set, writes the file instead.
void expectGolden(const std::string& name, const std::string& text);
std::string readFile(const std::string& path);
void writeFile(const std::string& path, const std::string& content);
// Runs a shell command; its standard output, and its exit status in status.
std::string run(const std::string& command, int& status);
// The text of a PDF as pdftotext lays it out.
std::string pdfText(const std::string& pdf);
// Number of images in a PDF (pdfimages -list).
int pdfImageCount(const std::string& pdf);
std::string shellQuote(const std::string& s);
// The entries of a zip archive (unzip -l).
std::string unzipList(const std::string& file, int& status);

}  // namespace reportstest
