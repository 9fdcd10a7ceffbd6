#pragma once

#include <cstddef>
#include <deque>
#include <functional>
#include <optional>

#include "platform/reports/internal/Band.h"

namespace pla013::reports::internal {

// Splits a flow of bands into pages, one page per call of nextPage(), while
// the flow is still being made. A page ends where its next band does not
// fit, where a band starts a new page, or before a run of joined bands
// (kept with their next one, or a group kept on one page) that would not
// fit but fits on an empty page; a run too long for any page breaks where
// it must, its headings still kept with what follows them. Deciding a page
// reads its own bands and, at most, the run joined to its last one, up to a
// page's length past it: a producer that makes bands as rows come asks
// after each row, and a page is decided as soon as enough bands wait; the
// bands of a page are then the producer's to drop.
class Paginator {
public:
    // Lines of page p (0-based) that bands may take.
    using BodyLines = std::function<int(std::size_t page)>;

    explicit Paginator(BodyLines bodyLines) : m_bodyLines(std::move(bodyLines)) {}

    // The number of bands, from the front of bands, on the next page; none
    // while more bands could change it. complete: no band will follow, and
    // then every band gets a page and an empty flow still prints one.
    // reserved: lines of the page taken before its bands (repeated headings).
    std::optional<std::size_t> nextPage(const std::deque<Band>& bands, bool complete, int reserved = 0);
    std::size_t pages() const { return m_pages; }

private:
    BodyLines m_bodyLines;
    std::size_t m_pages = 0;  // pages laid out
};

}  // namespace pla013::reports::internal
