// What the users of files::AtomicFile (the database creation, the report save,
// the print scratch file) do not show in their own tests.

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/files/AtomicFile.h"

namespace {

namespace fs = std::filesystem;
using pla013::files::AtomicFile;

class AtomicFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_dir = fs::temp_directory_path() / ("pla013-atomic-" + std::to_string(::getpid()) + "-" +
                                             ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(m_dir);
    }
    void TearDown() override { fs::remove_all(m_dir); }
    static void write(const std::string& path, const std::string& text) { std::ofstream(path) << text; }
    static std::string read(const fs::path& path) {
        std::ifstream in(path);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    std::size_t entries() const { return std::distance(fs::directory_iterator(m_dir), fs::directory_iterator()); }
    fs::path m_dir;
};

const AtomicFile::Temporary kBothKinds[] = {AtomicFile::Temporary::Named, AtomicFile::Temporary::Unnamed};

TEST_F(AtomicFileTest, AReplacedFileKeepsItsPermissions) {
    const std::string target = (m_dir / "relatorio.csv").string();
    for (const auto kind : kBothKinds) {
        write(target, "antigo");
        ::chmod(target.c_str(), 0640);
        {
            AtomicFile file(target, AtomicFile::Existing::Replace, kind);
            if (!file.unnamed()) {
                EXPECT_EQ(fs::path(file.tempPath()).parent_path(), m_dir);
                EXPECT_EQ(fs::path(file.tempPath()).extension(), ".csv");
            }
            write(file.tempPath(), "novo");
            EXPECT_EQ(read(target), "antigo");
            EXPECT_TRUE(file.commit());
        }
        EXPECT_EQ(read(target), "novo");
        struct stat st {};
        ASSERT_EQ(::stat(target.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, 0640u);
        EXPECT_EQ(entries(), 1u);
    }
}

TEST_F(AtomicFileTest, ANameTakenMeanwhileIsNeverReplaced) {
    for (const auto kind : kBothKinds) {
        const std::string target = (m_dir / "cozinha.sqlite").string();
        fs::remove(target);
        {
            AtomicFile file(target, AtomicFile::Existing::KeepUnlessEmpty, kind);
            write(file.tempPath(), "nosso");
            write(target, "de outro processo");
            EXPECT_FALSE(file.commit());
        }
        EXPECT_EQ(read(target), "de outro processo");
        EXPECT_EQ(entries(), 1u);
    }
}

TEST_F(AtomicFileTest, AProcessKilledBeforeCommitLeavesOnlyWhatWasThere) {
    const std::string target = (m_dir / "relatorio.pdf").string();
    write(target, "antigo");
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // Half a report written, then the process waits to be killed.
        AtomicFile file(target, AtomicFile::Existing::Replace, AtomicFile::Temporary::Unnamed);
        write(file.tempPath(), "metade");
        const char kind = file.unnamed() ? 'u' : 'n';
        if (::write(ready[1], &kind, 1) != 1) ::_exit(1);
        for (;;) ::pause();
    }
    ::close(ready[1]);
    char kind = 0;
    const bool told = ::read(ready[0], &kind, 1) == 1;
    ::close(ready[0]);
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(told) << "the child did not start its save";
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
    if (kind != 'u') GTEST_SKIP() << "this file system has no unnamed files: the named temporary stays";
    EXPECT_EQ(entries(), 1u);
    EXPECT_EQ(read(target), "antigo");
}

TEST_F(AtomicFileTest, WithoutCommitNothingIsLeft) {
    std::string temp;
    {
        AtomicFile scratch((m_dir / "impressao.pdf").string());
        temp = scratch.tempPath();
        write(temp, "páginas");
    }
    EXPECT_FALSE(fs::exists(temp));
    EXPECT_EQ(entries(), 0u);
    EXPECT_THROW(AtomicFile((m_dir / "nao" / "existe.csv").string()), AtomicFile::Error);
}

}  // namespace
