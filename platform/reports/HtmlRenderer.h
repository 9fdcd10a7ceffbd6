#pragma once
// Pages as one HTML document (UTF-8): a section per page with its header,
// a table whose columns are the report's, and its footer; printing it from
// a browser breaks pages where the report does.

#include "platform/reports/FileRenderer.h"

namespace pla013::reports {

class HtmlRenderer final : public FileRenderer {
public:
    void render(const ReportDocument& document, const std::string& path) override;
    std::string mimeType() const override { return "text/html"; }
};

}  // namespace pla013::reports
