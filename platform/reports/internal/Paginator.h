#pragma once

#include <cstddef>
#include <functional>
#include <vector>

#include "platform/reports/internal/Band.h"

namespace pla013::reports::internal {

// Splits a flow of bands into pages, one page per call of nextPage(). A page
// ends where its next band does not fit, where a band starts a new page, or
// before a run of bands kept with their next one that would not fit but fits
// on an empty page. Deciding a page reads its own bands and, at most, the
// run kept with its last one, so a producer that makes bands as rows come can
// ask for a page as soon as that many bands wait.
class Paginator {
public:
    struct Page {
        std::size_t first = 0, last = 0;  // bands [first, last)
    };
    // Lines of page p (0-based) that bands may take.
    using BodyLines = std::function<int(std::size_t page)>;

    explicit Paginator(BodyLines bodyLines) : m_bodyLines(std::move(bodyLines)) {}

    // The next page, from the first band no page holds yet.
    Page nextPage(const std::vector<Band>& bands);
    // Every band is on a page, and there is at least one page (an empty flow
    // still prints one).
    bool done(const std::vector<Band>& bands) const { return m_next >= bands.size() && m_pages > 0; }
    // Every page of a complete flow.
    std::vector<Page> paginate(const std::vector<Band>& bands);

private:
    int runLines(const std::vector<Band>& bands, std::size_t from) const;

    BodyLines m_bodyLines;
    std::size_t m_next = 0;   // first band of the next page
    std::size_t m_pages = 0;  // pages laid out
};

}  // namespace pla013::reports::internal
