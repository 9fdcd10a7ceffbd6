#pragma once
// Laid-out pages kept outside the heap, for a host that shows them long
// after they are made (the preview): each page is written once in a compact
// form (to memory and, past a limit, to an unnamed temporary file) and made
// again from there when it is asked for. The pages in view are all a host
// needs to hold, so a preview of thousands of pages costs the memory of a
// few.

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/reports/ImageData.h"
#include "platform/reports/Line.h"

namespace pla013::reports {

namespace internal {
class RowSpool;
}

// A page read back: its lines, and the photos they point at.
struct SpooledPage {
    std::vector<Line> lines;
    std::vector<std::unique_ptr<ImageData>> images;
};

class PageSpool {
public:
    explicit PageSpool(std::size_t memoryLimit = std::size_t(4) << 20);
    ~PageSpool();
    PageSpool(const PageSpool&) = delete;
    PageSpool& operator=(const PageSpool&) = delete;

    // Appends a page (its photos copied); host::EHostError when the
    // temporary file cannot be written.
    void append(const std::vector<Line>& page);
    std::size_t pageCount() const { return m_positions.size(); }
    // The page as it was appended; std::out_of_range past the last.
    std::unique_ptr<SpooledPage> read(std::size_t index);

private:
    std::unique_ptr<internal::RowSpool> m_spool;
    std::vector<std::uint64_t> m_positions;
    std::vector<host::Variant> m_record;  // reused between pages
};

}  // namespace pla013::reports
