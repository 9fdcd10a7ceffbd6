#pragma once
// The reference of the benchmark: libharu writing pages whose texts and rules
// are already placed (the page geometry's items, computed before the clock
// starts), with the same fonts embedded, so that it measures writing PDF
// alone, without our layout.

#include <string>
#include <vector>

#include "platform/reports/PageGeometry.h"

namespace benchpdf {

struct PlacedPage {
    double width = 0, height = 0;
    std::vector<pla013::reports::PageItem> items;
};

// Writes the pages to path; throws std::runtime_error on a libharu error.
void writeWithHaru(const std::vector<PlacedPage>& pages, const std::string& path);

}  // namespace benchpdf
