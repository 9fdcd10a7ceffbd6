#include "platform/gui/ReportPagePainter.h"

#include <algorithm>

#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPrinter>

#include "platform/gui/ReportPages.h"
#include "platform/reports/qt/PagePainter.h"

namespace pla013::gui {

ReportPagePainter::ReportPagePainter(const ReportPages& pages) : m_pages(pages) {}

QSizeF ReportPagePainter::pageSize(const ReportPages& pages) {
    const QSizeF a4 = QPageSize(QPageSize::A4).size(QPageSize::Point);
    return pages.landscape() ? QSizeF(a4.height(), a4.width()) : a4;
}

void ReportPagePainter::paint(QPainter& painter, std::size_t index) const {
    if (index >= m_pages.pageCount()) return;
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setRenderHint(QPainter::TextAntialiasing, true);
    pla013::reports::PagePainter drawer(painter, m_pages.charactersPerLine(), m_pages.linesPerPage(), pageSize());
    drawer.page(*m_pages.page(index));
    painter.restore();
}

bool ReportPagePainter::print(QPrinter& printer,
                              const std::function<bool(std::size_t done, std::size_t total)>& goOn) const {
    QPainter painter;
    if (!painter.begin(&printer)) return false;
    const QSizeF paper = pageSize();
    // The printer may hold paper of another size or orientation than the
    // report's: the page is scaled to fit and centred.
    const QRectF target = printer.pageLayout().fullRectPixels(printer.resolution());
    const double scale = std::min(target.width() / paper.width(), target.height() / paper.height());
    const double dx = (target.width() - paper.width() * scale) / 2;
    const double dy = (target.height() - paper.height() * scale) / 2;
    // fullPage: the origin is the paper's corner; otherwise the printable area's.
    const QPointF origin =
        printer.fullPage() ? QPointF(0, 0) : -printer.pageLayout().paintRectPixels(printer.resolution()).topLeft();

    std::size_t first = 0, last = m_pages.pageCount();
    if (printer.printRange() == QPrinter::PageRange && printer.fromPage() > 0) {
        first = std::size_t(printer.fromPage() - 1);
        last = std::min(last, std::size_t(std::max(printer.toPage(), printer.fromPage())));
    }
    bool firstPrinted = true;
    for (std::size_t p = first; p < last; ++p) {
        if (goOn && !goOn(p - first, last - first)) {
            printer.abort();
            return false;
        }
        if (!firstPrinted && !printer.newPage()) {
            painter.end();
            return false;
        }
        firstPrinted = false;
        painter.save();
        painter.translate(origin + QPointF(dx, dy));
        painter.scale(scale, scale);
        paint(painter, p);
        painter.restore();
    }
    return painter.end();
}

}  // namespace pla013::gui
