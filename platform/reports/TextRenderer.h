#pragma once
// Pages as plain text, one character per position of the layout: the
// preview of hosts without a screen, and ".txt" files.

#include <functional>
#include <string>
#include <vector>

#include "platform/reports/FileRenderer.h"

namespace pla013::reports {

class TextRenderer final : public FileRenderer {
public:
    // One text per page, lines ended by '\n'.
    static std::vector<std::string> pages(const ReportDocument& document);
    // The same texts one at a time, as the pages are laid out; sink returns
    // false to stop.
    static void eachPage(const ReportDocument& document, const std::function<bool(const std::string&)>& sink);
    static std::string page(const ReportDocument& document, std::size_t index);

    void render(const ReportDocument& document, const std::string& path) override;  // pages separated by form feeds
    std::string mimeType() const override { return "text/plain"; }
};

}  // namespace pla013::reports
