#pragma once
// A target format of saved reports (".pdf", ".html", ".csv", ".xlsx"...).

#include <cstddef>
#include <functional>
#include <string>

namespace pla013::reports {

class ReportDocument;

class FileRenderer {
public:
    virtual ~FileRenderer();
    // Writes the whole document to path, a temporary file that the caller
    // renames into place only when this returns. Failures are
    // host::EHostError; a partly written file is the caller's to remove.
    virtual void render(const ReportDocument& document, const std::string& path) = 0;
    // The media type of what render writes (for printing).
    virtual std::string mimeType() const = 0;

    // Called while rendering with the pages (or rows) done and their total,
    // for hosts that show progress; empty for none.
    using Progress = std::function<void(std::size_t done, std::size_t total)>;
    void setProgress(Progress progress) { m_progress = std::move(progress); }

protected:
    void progress(std::size_t done, std::size_t total) const {
        if (m_progress) m_progress(done, total);
    }

private:
    Progress m_progress;
};

}  // namespace pla013::reports
