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
    // The document's images die with it: each one shown is copied once.
    std::map<const pla013::reports::ImageData*, const pla013::reports::ImageData*> copied;
    pages->m_pages.reserve(document.pageCount());
    for (std::size_t p = 0; p < document.pageCount(); ++p) {
        std::vector<pla013::reports::Line> lines = document.pageLines(p);
        for (auto& line : lines) {
            if (!line.image) continue;
            auto it = copied.find(line.image);
            if (it == copied.end()) {
                pages->m_images.push_back(std::make_unique<pla013::reports::ImageData>(*line.image));
                it = copied.emplace(line.image, pages->m_images.back().get()).first;
            }
            line.image = it->second;
        }
        pages->m_pages.push_back(std::move(lines));
    }
    return pages;
}

}  // namespace pla013::gui
