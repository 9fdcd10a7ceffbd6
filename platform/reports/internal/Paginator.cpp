#include "platform/reports/internal/Paginator.h"

#include <algorithm>

namespace pla013::reports::internal {

namespace {

bool keptWithNext(const Band& b) { return b.keepWithNext; }
bool joined(const Band& b) { return b.keepWithNext || b.together; }

// Lines of the run of bands tied to their next one (by tied) that starts at
// from, the band that ends it included, or a figure above limit as soon as
// the run is longer; none when the run may go on past the bands made so far.
template <class Tied>
std::optional<int> runLines(const std::deque<Band>& bands, std::size_t from, bool complete, int limit, Tied tied) {
    int run = 0;
    for (std::size_t j = from; j < bands.size(); ++j) {
        run += bands[j].lines;
        if (!tied(bands[j]) || run > limit) return run;
    }
    if (!complete) return std::nullopt;
    return run;
}

}  // namespace

std::optional<std::size_t> Paginator::nextPage(const std::deque<Band>& bands, bool complete, int reserved) {
    const std::size_t n = bands.size();
    if (n == 0 && (!complete || m_pages > 0)) return std::nullopt;
    const int capacity = std::max(1, m_bodyLines(m_pages) - reserved);
    std::size_t i = 0;
    int used = 0;
    while (i < n) {
        const Band& b = bands[i];
        if (b.newPage && i > 0) break;
        // A run that fits on an empty page moves as a whole: first the
        // whole joined run (a group kept together with the headings before
        // it), else the headings kept with their next band.
        bool moves = false;
        for (auto tied : {joined, keptWithNext}) {
            if (i == 0 || moves || tied(bands[i - 1]) || !tied(b)) continue;
            std::optional<int> run = runLines(bands, i, complete, capacity, tied);
            if (!run) return std::nullopt;
            moves = used + *run > capacity && *run <= capacity;
        }
        if (moves || (used + b.lines > capacity && i > 0)) break;
        used += b.lines;
        ++i;
    }
    // Every band waiting fits: a band still to come may fit too.
    if (i == n && !complete) return std::nullopt;
    ++m_pages;
    return i;
}

}  // namespace pla013::reports::internal
