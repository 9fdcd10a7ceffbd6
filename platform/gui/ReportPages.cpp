#include "platform/gui/ReportPages.h"

#include <algorithm>

namespace pla013::gui {

std::unique_ptr<ReportPages> ReportPages::fromDocument(const pla013::reports::ReportDocument& document) {
    std::unique_ptr<ReportPages> pages(new ReportPages);
    pages->m_reportId = document.reportId();
    pages->m_title = document.titleText();
    pages->m_pageWidth = std::max(1, document.pageWidth());
    pages->m_linesPerPage = std::max(1, document.linesPerPage());
    pages->m_landscape = document.landscape();
    // The document's images die with their page: each one shown is copied.
    pages->m_pages.reserve(document.pageCount());
    document.forEachPage([&](std::size_t, const std::vector<pla013::reports::Line>& page) {
        std::vector<pla013::reports::Line> lines = page;
        for (auto& line : lines) {
            if (!line.image) continue;
            pages->m_images.push_back(std::make_unique<pla013::reports::ImageData>(*line.image));
            line.image = pages->m_images.back().get();
        }
        pages->m_pages.push_back(std::move(lines));
        return true;
    });
    return pages;
}

}  // namespace pla013::gui
