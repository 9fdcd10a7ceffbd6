#pragma once
// The report files of the web host's sessions. Each session has a folder of
// its own under the host's folder (mode 0700); a file gets a random name
// that the host picks before the run (the browser never names a file, a
// definition or a path), is served only to the session that made it, and
// is deleted an hour after it was written (lifetime) or when the session
// signs out.

#include <chrono>
#include <cstddef>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace pla013::web {

struct ReportFile {
    std::string id;            // what the browser asks for
    std::string owner;         // the session's key
    std::string path;          // where it is on disk
    std::string downloadName;  // "PLA01303-2026-12-07.pdf"
    std::string contentType;   // "application/pdf"
    std::string report;        // "PLA01303"
    std::size_t pages = 0;
    bool preview = false;  // an HTML layout shown in the page, not a download
    std::chrono::system_clock::time_point created;
    std::vector<std::size_t> pageOffsets;  // a preview's pages in its file, read when first asked
};

class ReportFiles {
public:
    // folder: created when missing; lifetime: how long a file is kept.
    ReportFiles(std::string folder, std::chrono::seconds lifetime);
    ~ReportFiles();
    ReportFiles(const ReportFiles&) = delete;
    ReportFiles& operator=(const ReportFiles&) = delete;

    // A new file name in the owner's folder, with the extension of format
    // ("pdf", "xlsx", "csv", "html"); the folder is made when needed.
    // std::runtime_error when it cannot be.
    std::string reserve(const std::string& owner, const std::string& format);
    // The file at path (one that reserve gave) was written: it becomes
    // available to its owner; its id. Nothing when path is not one of ours.
    std::optional<ReportFile> add(const std::string& owner, const std::string& path, const std::string& report,
                                  std::size_t pages, bool preview);
    // The file of that id, only for its owner.
    std::optional<ReportFile> find(const std::string& owner, const std::string& id) const;
    // A preview's page (1-based) as a document of its own: the head of the
    // file, the page's section and the end. Nothing when there is no such
    // page or the file is not the owner's.
    std::optional<std::string> previewPage(const std::string& owner, const std::string& id, std::size_t page);
    // The owner's files, newest first.
    std::vector<ReportFile> list(const std::string& owner) const;
    // Deletes the files older than the lifetime (and the reserved names
    // never written); how many went.
    std::size_t expire(std::chrono::system_clock::time_point now = std::chrono::system_clock::now());
    // Deletes every file of the owner (sign-out).
    void removeOwner(const std::string& owner);

    const std::string& folder() const { return m_folder; }

    // "PLA01303-2026-12-07.pdf": the report and the day it ran.
    static std::string downloadName(const std::string& report, const std::string& extension,
                                    std::chrono::system_clock::time_point when);
    static std::string contentType(const std::string& extension);

private:
    std::string ownerFolder(const std::string& owner) const;

    std::string m_folder;
    std::chrono::seconds m_lifetime;
    mutable std::mutex m_mutex;
    std::map<std::string, ReportFile> m_files;                                // by id
    std::map<std::string, std::chrono::system_clock::time_point> m_reserved;  // path: when
};

}  // namespace pla013::web
