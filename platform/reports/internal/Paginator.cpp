#include "platform/reports/internal/Paginator.h"

namespace pla013::reports::internal {

// Lines of the run of bands kept with their next one that starts at from,
// the band that ends it included; none when the run may go on past the
// bands made so far.
std::optional<int> Paginator::runLines(const std::deque<Band>& bands, std::size_t from, bool complete) const {
    int run = 0;
    for (std::size_t j = from; j < bands.size(); ++j) {
        run += bands[j].lines;
        if (!bands[j].keepWithNext) return run;
    }
    if (!complete) return std::nullopt;
    return run;
}

std::optional<std::size_t> Paginator::nextPage(const std::deque<Band>& bands, bool complete) {
    const std::size_t n = bands.size();
    if (n == 0 && (!complete || m_pages > 0)) return std::nullopt;
    const int capacity = m_bodyLines(m_pages);
    std::size_t i = 0;
    int used = 0;
    while (i < n) {
        const Band& b = bands[i];
        if (b.newPage && i > 0) break;
        // A run of bands kept with their next one moves as a whole when it
        // fits on an empty page.
        bool runStart = i == 0 || !bands[i - 1].keepWithNext;
        if (runStart && b.keepWithNext && i > 0) {
            std::optional<int> run = runLines(bands, i, complete);
            if (!run) return std::nullopt;
            if (used + *run > capacity && *run <= capacity) break;
        }
        if (used + b.lines > capacity && i > 0) break;
        used += b.lines;
        ++i;
    }
    // Every band waiting fits: a band still to come may fit too.
    if (i == n && !complete) return std::nullopt;
    ++m_pages;
    return i;
}

}  // namespace pla013::reports::internal
