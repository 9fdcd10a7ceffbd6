#include "QtPdfWriter.h"

#include <stdexcept>

#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>

#include "TodaysPagePainter.h"
#include "platform/reports/ReportDocument.h"

namespace benchpdf {

void QtPdfWriter::render(const pla013::reports::ReportDocument& doc, const std::string& path) {
    QPdfWriter writer(QString::fromStdString(path));
    writer.setCreator("pla013");
    writer.setTitle(QString::fromStdString(doc.reportId() + " - " + doc.titleText()));
    writer.setResolution(72);  // one unit per point
    QPageLayout layout(QPageSize(QPageSize::A4), doc.landscape() ? QPageLayout::Landscape : QPageLayout::Portrait,
                       QMarginsF(0, 0, 0, 0));
    writer.setPageLayout(layout);
    QPainter painter;
    if (!painter.begin(&writer)) throw std::runtime_error("QPdfWriter: cannot write " + path);
    TodaysPagePainter pages(painter, doc.pageWidth(), doc.linesPerPage(), layout.fullRectPoints().size());
    doc.forEachPage([&](std::size_t p, const std::vector<pla013::reports::Line>& lines) {
        if (p) writer.newPage();
        pages.page(lines);
        return true;
    });
    painter.end();
}

}  // namespace benchpdf
