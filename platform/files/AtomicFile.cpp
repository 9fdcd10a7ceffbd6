#include "platform/files/AtomicFile.h"

// Durability (fsync), unnamed files (O_TMPFILE, linkat) and publishing
// without replacing (link) have no standard C++ form: this file alone uses
// POSIX and Linux for them.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <random>

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

std::string folderOf(const std::string& target) {
    const fs::path dir = fs::path(target).parent_path();
    return dir.empty() ? std::string(".") : dir.string();
}

// ".STEM.XXXXXX.EXT" beside target; the X are left for the caller to fill.
std::string hiddenPattern(const std::string& target) {
    const fs::path t(target);
    return (fs::path(folderOf(target)) / ("." + t.stem().string() + ".XXXXXX" + t.extension().string())).string();
}

}  // namespace

std::string AtomicFile::reasonText(int errorNumber) {
    switch (errorNumber) {
        case ENOSPC: return "não há espaço livre no disco";
        case EDQUOT: return "a cota de disco do usuário se esgotou";
        case EACCES:
        case EPERM: return "sem permissão de escrita";
        case EROFS: return "o sistema de arquivos é somente leitura";
        case ENOENT: return "a pasta não existe";
        case ENOTDIR: return "uma parte do caminho não é uma pasta";
        case EISDIR: return "o nome é de uma pasta";
        case ENAMETOOLONG: return "o nome é longo demais";
        case EFBIG: return "o arquivo excede o tamanho permitido";
        case EIO: return "erro de entrada e saída no disco";
        default: return std::strerror(errorNumber);
    }
}

AtomicFile::AtomicFile(std::string target, Existing existing, Temporary temporary)
    : m_target(std::move(target)), m_existing(existing) {
    const std::string folder = folderOf(m_target);
    if (temporary == Temporary::Unnamed && createUnnamed(folder)) return;
    createNamed();
}

bool AtomicFile::createUnnamed(const std::string& folder) {
    m_fd = ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
    if (m_fd < 0) return false;  // the named file reports the folder's fault, if any
    m_temp = "/proc/self/fd/" + std::to_string(m_fd);
    // Writers open the file by that link: without /proc there is none.
    if (::access(m_temp.c_str(), W_OK) == 0) return true;
    ::close(m_fd);
    m_fd = -1;
    return false;
}

void AtomicFile::createNamed() {
    std::string pattern = hiddenPattern(m_target);
    const int suffix = int(fs::path(m_target).extension().string().size());
    const int fd = ::mkstemps(pattern.data(), suffix);
    if (fd < 0) throw Error(Error::Step::Create, errno, "cannot create a temporary file beside " + m_target);
    ::close(fd);
    m_temp = pattern;
    m_tempExists = true;
}

AtomicFile::~AtomicFile() {
    if (m_fd >= 0) ::close(m_fd);
    if (m_tempExists) ::unlink(m_temp.c_str());
}

void AtomicFile::flush() {
    const int fd = m_fd >= 0 ? m_fd : ::open(m_temp.c_str(), O_RDONLY);
    if (fd < 0) throw Error(Error::Step::Flush, errno, "cannot reopen the temporary file of " + m_target);
    struct stat old {};
    const mode_t mode = ::stat(m_target.c_str(), &old) == 0 ? (old.st_mode & 07777) : defaultMode();
    const bool flushed = ::fchmod(fd, mode) == 0 && ::fsync(fd) == 0;
    const int flushError = errno;
    if (fd != m_fd) ::close(fd);
    if (!flushed) throw Error(Error::Step::Flush, flushError, "cannot write " + m_target);
}

bool AtomicFile::linkUnnamed(const std::string& path) {
    if (::linkat(AT_FDCWD, m_temp.c_str(), AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW) == 0) return true;
    if (errno == EEXIST) return false;
    throw Error(Error::Step::Publish, errno, "cannot link the new " + m_target + " into its folder");
}

void AtomicFile::publishUnnamed() {
    // A name of its own for the moment between link and rename: rename is the
    // one call that replaces a file atomically.
    std::random_device seed;
    std::mt19937 random(seed());
    static const char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    const std::string pattern = hiddenPattern(m_target);
    const auto xs = pattern.rfind("XXXXXX");
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = pattern;
        for (std::size_t i = 0; i < 6; ++i) name[xs + i] = kLetters[random() % (sizeof kLetters - 1)];
        if (!linkUnnamed(name)) continue;
        if (::rename(name.c_str(), m_target.c_str()) != 0) {
            const int renameError = errno;
            ::unlink(name.c_str());
            throw Error(Error::Step::Publish, renameError, "cannot replace " + m_target);
        }
        return;
    }
    throw Error(Error::Step::Publish, EEXIST, "no free temporary name beside " + m_target);
}

bool AtomicFile::commit() {
    flush();
    const bool replace = m_existing == Existing::Replace || isEmptyFile(m_target);
    if (m_fd >= 0) {
        if (replace)
            publishUnnamed();
        else if (!linkUnnamed(m_target))
            return false;  // link never replaces: a name taken meanwhile is kept
    } else if (replace) {
        if (::rename(m_temp.c_str(), m_target.c_str()) != 0)
            throw Error(Error::Step::Publish, errno, "cannot replace " + m_target);
        m_tempExists = false;
    } else {
        // link() never replaces: a name taken meanwhile is kept.
        if (::link(m_temp.c_str(), m_target.c_str()) != 0) {
            if (errno == EEXIST) return false;
            throw Error(Error::Step::Publish, errno, "cannot link the new " + m_target + " into its folder");
        }
    }
    syncFolderOf(m_target);
    return true;
}

}  // namespace pla013::files
