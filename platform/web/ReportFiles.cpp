#include "platform/web/ReportFiles.h"

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include <sodium.h>

namespace fs = std::filesystem;

namespace pla013::web {

namespace {

std::string randomName() {
    unsigned char bytes[16];
    randombytes_buf(bytes, sizeof bytes);
    char hex[sizeof bytes * 2 + 1];
    sodium_bin2hex(hex, sizeof hex, bytes, sizeof bytes);
    return hex;
}

// The owner's key as a folder name: it is the hash of a session token,
// letters and digits only; anything else is refused rather than mended.
bool safeKey(const std::string& key) {
    return !key.empty() && key.size() <= 128 &&
           std::all_of(key.begin(), key.end(), [](char c) { return std::isalnum(static_cast<unsigned char>(c)); });
}

const char kSection[] = "<section class=\"page\">";

}  // namespace

ReportFiles::ReportFiles(std::string folder, std::chrono::seconds lifetime)
    : m_folder(std::move(folder)), m_lifetime(lifetime) {
    std::error_code ec;
    fs::create_directories(m_folder, ec);
    fs::permissions(m_folder, fs::perms::owner_all, fs::perm_options::replace, ec);
    if (!fs::is_directory(m_folder, ec))
        throw std::runtime_error("a pasta dos relatórios " + m_folder + " não pôde ser criada");
}

ReportFiles::~ReportFiles() = default;

std::string ReportFiles::ownerFolder(const std::string& owner) const {
    if (!safeKey(owner)) throw std::runtime_error("sessão sem chave válida");
    return (fs::path(m_folder) / owner.substr(0, 32)).string();
}

std::string ReportFiles::reserve(const std::string& owner, const std::string& format) {
    const std::string dir = ownerFolder(owner);
    std::error_code ec;
    fs::create_directory(dir, ec);
    fs::permissions(dir, fs::perms::owner_all, fs::perm_options::replace, ec);
    if (!fs::is_directory(dir, ec)) throw std::runtime_error("a pasta " + dir + " não pôde ser criada");
    const std::string path = (fs::path(dir) / (randomName() + "." + format)).string();
    std::lock_guard<std::mutex> lock(m_mutex);
    m_reserved[path] = std::chrono::system_clock::now();
    return path;
}

std::optional<ReportFile> ReportFiles::add(const std::string& owner, const std::string& path, const std::string& report,
                                           std::size_t pages, bool preview) {
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto reserved = m_reserved.find(path);
    if (reserved == m_reserved.end() || fs::path(path).parent_path() != fs::path(ownerFolder(owner))) return {};
    m_reserved.erase(reserved);
    ReportFile f;
    f.id = randomName();
    f.owner = owner;
    f.path = path;
    f.report = report;
    f.pages = pages;
    f.preview = preview;
    f.created = std::chrono::system_clock::now();
    std::string extension = fs::path(path).extension().string();
    if (!extension.empty()) extension.erase(0, 1);
    f.downloadName = downloadName(report, extension, f.created);
    f.contentType = contentType(extension);
    m_files[f.id] = f;
    return f;
}

std::optional<ReportFile> ReportFiles::find(const std::string& owner, const std::string& id) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto it = m_files.find(id);
    if (it == m_files.end() || it->second.owner != owner) return {};
    return it->second;
}

std::optional<std::string> ReportFiles::previewPage(const std::string& owner, const std::string& id, std::size_t page) {
    std::string path;
    std::vector<std::size_t> offsets;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        const auto it = m_files.find(id);
        if (it == m_files.end() || it->second.owner != owner || !it->second.preview) return {};
        path = it->second.path;
        offsets = it->second.pageOffsets;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) return {};
    if (offsets.empty()) {
        // Where each page's section starts, and where the last one ends. The
        // renderer escapes '<' in the report's text, so the marker cannot
        // come from the data.
        const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        for (auto at = text.find(kSection); at != std::string::npos; at = text.find(kSection, at + 1))
            offsets.push_back(at);
        if (offsets.empty()) return {};
        const auto body = text.rfind("</body>");
        offsets.push_back(body == std::string::npos || body < offsets.back() ? text.size() : body);
        std::lock_guard<std::mutex> lock(m_mutex);
        if (auto it = m_files.find(id); it != m_files.end()) it->second.pageOffsets = offsets;
        in.clear();
    }
    if (page == 0 || page + 1 > offsets.size()) return {};
    auto slice = [&in](std::size_t from, std::size_t to) {
        std::string part(to - from, '\0');
        in.seekg(std::streamoff(from));
        in.read(part.data(), std::streamsize(part.size()));
        return part;
    };
    std::string out = slice(0, offsets.front()) + slice(offsets[page - 1], offsets[page]) + "</body>\n</html>\n";
    if (!in) return {};
    return out;
}

std::vector<ReportFile> ReportFiles::list(const std::string& owner) const {
    std::vector<ReportFile> out;
    std::lock_guard<std::mutex> lock(m_mutex);
    for (const auto& [id, f] : m_files)
        if (f.owner == owner) out.push_back(f);
    std::sort(out.begin(), out.end(), [](const ReportFile& a, const ReportFile& b) { return a.created > b.created; });
    return out;
}

std::size_t ReportFiles::expire(std::chrono::system_clock::time_point now) {
    std::vector<std::string> gone;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        for (auto it = m_files.begin(); it != m_files.end();) {
            if (now - it->second.created >= m_lifetime) {
                gone.push_back(it->second.path);
                it = m_files.erase(it);
            } else {
                ++it;
            }
        }
        // A name reserved for a run that never ended (a run that was
        // stopped leaves no file) is forgotten after the same time.
        for (auto it = m_reserved.begin(); it != m_reserved.end();) {
            if (now - it->second >= m_lifetime) {
                gone.push_back(it->first);
                it = m_reserved.erase(it);
            } else {
                ++it;
            }
        }
    }
    std::size_t removed = 0;
    for (const auto& path : gone) {
        std::error_code ec;
        if (fs::remove(path, ec)) ++removed;
    }
    return removed;
}

void ReportFiles::removeOwner(const std::string& owner) {
    if (!safeKey(owner)) return;
    const std::string dir = ownerFolder(owner);
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        for (auto it = m_files.begin(); it != m_files.end();)
            it = it->second.owner == owner ? m_files.erase(it) : std::next(it);
        for (auto it = m_reserved.begin(); it != m_reserved.end();)
            it = fs::path(it->first).parent_path() == fs::path(dir) ? m_reserved.erase(it) : std::next(it);
    }
    std::error_code ec;
    fs::remove_all(dir, ec);
}

std::string ReportFiles::downloadName(const std::string& report, const std::string& extension,
                                      std::chrono::system_clock::time_point when) {
    const std::time_t t = std::chrono::system_clock::to_time_t(when);
    std::tm local{};
    localtime_r(&t, &local);
    char day[16];
    std::strftime(day, sizeof day, "%Y-%m-%d", &local);
    std::string stem;
    for (char c : report)
        if (std::isalnum(static_cast<unsigned char>(c))) stem += c;
    return (stem.empty() ? std::string("relatorio") : stem) + "-" + day + "." + extension;
}

std::string ReportFiles::contentType(const std::string& extension) {
    if (extension == "pdf") return "application/pdf";
    if (extension == "xlsx") return "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet";
    if (extension == "csv") return "text/csv; charset=utf-8";
    if (extension == "html") return "text/html; charset=utf-8";
    return "application/octet-stream";
}

}  // namespace pla013::web
