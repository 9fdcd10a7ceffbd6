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
    // The spool copies the document's images, which die with their page.
    std::lock_guard lock(m_mutex);
    m_spool.append(page);
    m_count.store(m_spool.pageCount(), std::memory_order_release);
}

void ReportPages::finish() { m_finished.store(true, std::memory_order_release); }

std::size_t ReportPages::expectedPages() const {
    return finished() ? pageCount() : std::max(m_description.pages, pageCount());
}

ReportPages::Page ReportPages::page(std::size_t index) const {
    std::lock_guard lock(m_mutex);
    for (auto it = m_held.begin(); it != m_held.end(); ++it)
        if (it->first == index) {
            m_held.splice(m_held.begin(), m_held, it);
            return it->second;
        }
    if (index >= m_spool.pageCount()) throw std::out_of_range("ReportPages::page");
    std::shared_ptr<const pla013::reports::SpooledPage> made = m_spool.read(index);
    Page lines(made, &made->lines);  // the lines keep their images
    m_held.emplace_front(index, lines);
    if (m_held.size() > kPagesHeld) m_held.pop_back();
    return lines;
}

}  // namespace pla013::gui
