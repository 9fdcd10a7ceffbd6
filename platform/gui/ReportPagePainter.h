#pragma once
// Paints captured report pages with the PDF output's page painter: A4 in the
// report's orientation, coordinates in points from the paper's corner. The
// preview window and the printer use it, so that the screen shows the pages
// as they print.

#include <cstddef>
#include <functional>

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
    // Before each page, goOn (when given) hears the pages printed and their
    // number; when it says no, the print job is aborted and print is false.
    bool print(QPrinter& printer, const std::function<bool(std::size_t done, std::size_t total)>& goOn = {}) const;

private:
    const ReportPages& m_pages;
};

}  // namespace pla013::gui
