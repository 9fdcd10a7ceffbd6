#pragma once
// A target format of saved reports (".pdf", ".html", ".csv", ".xlsx"...).

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
};

}  // namespace pla013::reports
