#pragma once
// Paints captured report pages with the PDF output's page painter: A4 in the
// report's orientation, coordinates in points from the paper's corner. The
// preview window and the printer use it, so that the screen shows the pages
// as they print.

#include <QSizeF>

class QPainter;
class QPrinter;

namespace pla013::gui {

class ReportPages;

class ReportPagePainter {
public:
    explicit ReportPagePainter(const ReportPages& pages);

    // Paper size in points.
    static QSizeF pageSize(const ReportPages& pages);
    QSizeF pageSize() const { return pageSize(m_pages); }

    // Paints page `index` with the painter's coordinates in points; the
    // painter's device gives the font resolution.
    void paint(QPainter& painter, std::size_t index) const;

    // Prints the pages the printer asks for (all, or its from-to range), each
    // scaled to fit the paper. False when the printer cannot be opened.
    bool print(QPrinter& printer) const;

private:
    const ReportPages& m_pages;
};

}  // namespace pla013::gui
