#include "platform/reports/qt/PdfRenderer.h"

#include <memory>

#include <QFile>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>

#include "host/Errors.h"
#include "platform/reports/ReportDocument.h"
#include "platform/reports/ReportRunner.h"
#include "platform/reports/qt/GuiProcess.h"
#include "platform/reports/qt/PagePainter.h"

namespace pla013::reports {

void PdfRenderer::render(const ReportDocument& doc, const std::string& path) {
    // The set-up is the program's, at its start (see GuiProcess): done here,
    // it would change the environment while the embedded server's threads run.
    if (!GuiProcess::ready())
        throw host::EHostError(
            "Não foi possível gerar o PDF: este programa não preparou o desenho de páginas ao iniciar.");
    QPdfWriter writer(QString::fromStdString(path));
    writer.setCreator("pla013");
    writer.setTitle(QString::fromStdString(doc.reportId() + " - " + doc.titleText()));
    writer.setResolution(72);  // one unit per point
    QPageLayout layout(QPageSize(QPageSize::A4), doc.landscape() ? QPageLayout::Landscape : QPageLayout::Portrait,
                       QMarginsF(0, 0, 0, 0));
    writer.setPageLayout(layout);
    const QRectF full = layout.fullRectPoints();
    QPainter painter;
    if (!painter.begin(&writer)) throw host::EHostError("Não foi possível gravar o PDF '" + path + "'.");
    PagePainter pages(painter, doc.pageWidth(), doc.linesPerPage(), full.size());
    const std::size_t total = doc.pageCount();
    // Each page goes to the file as it is laid out: the writer keeps no page.
    try {
        doc.forEachPage([&](std::size_t p, const std::vector<Line>& lines) {
            if (p && !writer.newPage()) throw host::EHostError("Erro de gravação no PDF '" + path + "'.");
            pages.page(lines);
            progress(p + 1, total);
            return true;
        });
    } catch (...) {
        painter.end();
        throw;
    }
    if (!painter.end()) throw host::EHostError("Erro de gravação no PDF '" + path + "'.");
    QFile check(QString::fromStdString(path));
    if (!check.exists() || check.size() == 0) throw host::EHostError("O PDF '" + path + "' não foi gravado.");
}

void installPdfSupport(ReportRunner& runner) { runner.registerRenderer(".pdf", std::make_shared<PdfRenderer>()); }

}  // namespace pla013::reports
