#pragma once
// Draws laid-out report pages with Qt: the preview window and the printer
// dialog. Where each text, rule and image goes comes from PageGeometry, the
// same that the PDF writer draws, so the screen shows the pages as they are
// saved and printed.

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
