#pragma once
// Draws laid-out report pages: A4 in points from the paper's corner, DejaVu
// Sans Condensed on the report's character grid. The PDF output, the preview
// window and the printer all draw with it, so the screen shows the pages as
// they print.

#include <memory>
#include <vector>

#include <QSizeF>

#include "platform/reports/ReportDocument.h"

class QPainter;

namespace pla013::reports {

class PagePainter {
public:
    PagePainter(QPainter& painter, int charactersPerLine, int linesPerPage, QSizeF paper);
    ~PagePainter();
    PagePainter(const PagePainter&) = delete;
    PagePainter& operator=(const PagePainter&) = delete;
    // Paints one page's lines; the painter's coordinates are points.
    void page(const std::vector<Line>& lines);

private:
    class Impl;
    std::unique_ptr<Impl> m_impl;
};

}  // namespace pla013::reports
