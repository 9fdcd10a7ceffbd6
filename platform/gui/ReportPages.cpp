#include "platform/gui/ReportPages.h"

#include <algorithm>
#include <stdexcept>

namespace pla013::gui {

void ReportPages::fill(const pla013::reports::ReportDocument& document,
                       const std::function<void(std::size_t, std::size_t)>& progress) {
    start(describe(document));
    const std::size_t total = expectedPages();
    document.forEachPage([&](std::size_t p, const std::vector<pla013::reports::Line>& page) {
        add(page);
        progress(p + 1, total);
        return true;
    });
}

ReportPages::Description ReportPages::describe(const pla013::reports::ReportDocument& document) {
    return Description{document.reportId(),
                       document.titleText(),
                       std::max(1, document.pageWidth()),
                       std::max(1, document.linesPerPage()),
                       document.landscape(),
                       document.pageCount()};
}

ReportPages::Description ReportPages::description() const {
    Description d = m_description;
    d.pages = expectedPages();
    return d;
}

void ReportPages::start(const Description& description) {
    m_description = description;
    m_started.store(true, std::memory_order_release);
}

void ReportPages::add(const std::vector<pla013::reports::Line>& page) {
    // The document's images die with their page: each one shown is copied.
    std::vector<pla013::reports::Line> lines = page;
    std::vector<std::unique_ptr<pla013::reports::ImageData>> images;
    for (auto& line : lines) {
        if (!line.image) continue;
        images.push_back(std::make_unique<pla013::reports::ImageData>(*line.image));
        line.image = images.back().get();
    }
    std::lock_guard lock(m_mutex);
    for (auto& image : images) m_images.push_back(std::move(image));
    m_pages.push_back(std::move(lines));
    m_count.store(m_pages.size(), std::memory_order_release);
}

void ReportPages::finish() { m_finished.store(true, std::memory_order_release); }

std::size_t ReportPages::expectedPages() const {
    return finished() ? pageCount() : std::max(m_description.pages, pageCount());
}

const std::vector<pla013::reports::Line>& ReportPages::page(std::size_t index) const {
    std::lock_guard lock(m_mutex);
    if (index >= m_pages.size()) throw std::out_of_range("ReportPages::page");
    return m_pages[index];
}

}  // namespace pla013::gui
