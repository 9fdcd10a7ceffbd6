#include "platform/reports/AtomicFile.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "host/Errors.h"

namespace pla013::reports {

namespace fs = std::filesystem;

namespace {

std::string reason(int err) { return std::strerror(err); }

mode_t defaultMode() {
    mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

}  // namespace

AtomicFile::AtomicFile(std::string target) : m_target(std::move(target)) {
    fs::path t(m_target);
    if (t.filename().empty()) throw host::EHostError("Nome de arquivo inválido: '" + m_target + "'.");
    fs::path dir = t.parent_path().empty() ? fs::path(".") : t.parent_path();
    std::error_code ec;
    if (!fs::is_directory(dir, ec))
        throw host::EHostError("A pasta '" + dir.string() + "' não existe; o arquivo '" + m_target +
                               "' não foi gravado.");
    if (fs::is_directory(t, ec)) throw host::EHostError("'" + m_target + "' é uma pasta; o relatório não foi gravado.");
    std::string pattern = (dir / ("." + t.filename().string() + ".XXXXXX")).string();
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    int fd = ::mkstemp(buf.data());
    if (fd < 0)
        throw host::EHostError("Não foi possível gravar na pasta '" + dir.string() + "' (" + reason(errno) + ").");
    ::close(fd);
    m_temp = buf.data();
}

AtomicFile::~AtomicFile() {
    if (!m_committed && !m_temp.empty()) ::unlink(m_temp.c_str());
}

void AtomicFile::commit() {
    int fd = ::open(m_temp.c_str(), O_RDONLY);
    if (fd < 0) throw host::EHostError("O arquivo temporário de '" + m_target + "' sumiu (" + reason(errno) + ").");
    struct stat old {};
    mode_t mode = ::stat(m_target.c_str(), &old) == 0 ? (old.st_mode & 07777) : defaultMode();
    bool ok = ::fchmod(fd, mode) == 0 && ::fsync(fd) == 0;
    int err = errno;
    ::close(fd);
    if (!ok) throw host::EHostError("Erro ao gravar '" + m_target + "' (" + reason(err) + ").");
    if (::rename(m_temp.c_str(), m_target.c_str()) != 0)
        throw host::EHostError("Não foi possível substituir '" + m_target + "' (" + reason(errno) + ").");
    m_committed = true;
    // Make the rename itself durable; a failure here loses nothing.
    fs::path dir = fs::path(m_target).parent_path();
    int dfd = ::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY);
    if (dfd >= 0) {
        ::fsync(dfd);
        ::close(dfd);
    }
}

}  // namespace pla013::reports
