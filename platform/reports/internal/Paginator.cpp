#include "platform/reports/internal/Paginator.h"

namespace pla013::reports::internal {

// Lines of the run of bands kept with their next one that starts at from,
// the band that ends it included.
int Paginator::runLines(const std::vector<Band>& bands, std::size_t from) const {
    int run = 0;
    for (std::size_t j = from; j < bands.size(); ++j) {
        run += bands[j].lines;
        if (!bands[j].keepWithNext) break;
    }
    return run;
}

Paginator::Page Paginator::nextPage(const std::vector<Band>& bands) {
    const std::size_t n = bands.size();
    const int capacity = m_bodyLines(m_pages);
    const std::size_t first = m_next;
    std::size_t i = first;
    int used = 0;
    while (i < n) {
        const Band& b = bands[i];
        if (b.newPage && i > first) break;
        // A run of bands kept with their next one moves as a whole when it
        // fits on an empty page.
        bool runStart = i == first || !bands[i - 1].keepWithNext;
        if (runStart && b.keepWithNext) {
            int run = runLines(bands, i);
            if (used + run > capacity && i > first && run <= capacity) break;
        }
        if (used + b.lines > capacity && i > first) break;
        used += b.lines;
        ++i;
    }
    m_next = i;
    ++m_pages;
    return {first, i};
}

std::vector<Paginator::Page> Paginator::paginate(const std::vector<Band>& bands) {
    std::vector<Page> pages;
    while (!done(bands)) pages.push_back(nextPage(bands));
    return pages;
}

}  // namespace pla013::reports::internal
