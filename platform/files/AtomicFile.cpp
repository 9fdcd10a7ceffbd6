#include "platform/files/AtomicFile.h"

// Durability (fsync) and publishing without replacing (link) have no
// standard C++ form: this file alone uses POSIX for them.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

namespace pla013::files {

namespace fs = std::filesystem;

namespace {

mode_t defaultMode() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

bool isEmptyFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_size == 0;
}

void syncFolderOf(const std::string& path) {
    // Makes the new name itself durable; a failure here loses nothing.
    const fs::path dir = fs::path(path).parent_path();
    const int fd = ::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

}  // namespace

AtomicFile::AtomicFile(std::string target, Existing existing) : m_target(std::move(target)), m_existing(existing) {
    const fs::path t(m_target);
    const fs::path dir = t.parent_path().empty() ? fs::path(".") : t.parent_path();
    const std::string extension = t.extension().string();
    std::string pattern = (dir / ("." + t.stem().string() + ".XXXXXX" + extension)).string();
    const int fd = ::mkstemps(pattern.data(), int(extension.size()));
    if (fd < 0) throw Error(Error::Step::Create, errno, "cannot create a temporary file beside " + m_target);
    ::close(fd);
    m_temp = pattern;
}

AtomicFile::~AtomicFile() {
    if (m_tempExists) ::unlink(m_temp.c_str());
}

bool AtomicFile::commit() {
    const int fd = ::open(m_temp.c_str(), O_RDONLY);
    if (fd < 0) throw Error(Error::Step::Flush, errno, "cannot reopen " + m_temp);
    struct stat old {};
    const mode_t mode = ::stat(m_target.c_str(), &old) == 0 ? (old.st_mode & 07777) : defaultMode();
    const bool flushed = ::fchmod(fd, mode) == 0 && ::fsync(fd) == 0;
    const int flushError = errno;
    ::close(fd);
    if (!flushed) throw Error(Error::Step::Flush, flushError, "cannot write " + m_temp);

    if (m_existing == Existing::Replace || isEmptyFile(m_target)) {
        if (::rename(m_temp.c_str(), m_target.c_str()) != 0)
            throw Error(Error::Step::Publish, errno, "cannot rename " + m_temp + " to " + m_target);
        m_tempExists = false;
    } else {
        // link() never replaces: a name taken meanwhile is kept.
        if (::link(m_temp.c_str(), m_target.c_str()) != 0) {
            if (errno == EEXIST) return false;
            throw Error(Error::Step::Publish, errno, "cannot link " + m_temp + " to " + m_target);
        }
    }
    syncFolderOf(m_target);
    return true;
}

}  // namespace pla013::files
