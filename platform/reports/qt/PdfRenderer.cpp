#include "platform/reports/qt/PdfRenderer.h"
#include "platform/reports/qt/PagePainter.h"

#include <cerrno>
#include <cstdlib>
#include <filesystem>

#include <sys/stat.h>
#include <unistd.h>
#include <memory>

#include <QFile>
#include <QFont>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QImage>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>

#include "host/Errors.h"
#include "platform/reports/ReportDocument.h"
#include "platform/reports/ReportRunner.h"

namespace pla013::reports {

void PdfRenderer::ensureGuiApplication() {
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance())) return;
    if (QCoreApplication::instance())
        throw host::EHostError(
            "PDF: o processo usa uma aplicação Qt sem interface gráfica; o PDF não pode ser gerado.");
    // Without a display the offscreen platform renders fonts all the same.
    if (!std::getenv("QT_QPA_PLATFORM") && !std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY"))
        ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    // Qt wants a private runtime folder and complains on stderr without one.
    if (!std::getenv("XDG_RUNTIME_DIR")) {
        std::string dir = (std::filesystem::temp_directory_path() / ("runtime-" + std::to_string(::getuid()))).string();
        if (::mkdir(dir.c_str(), 0700) == 0 || errno == EEXIST) ::setenv("XDG_RUNTIME_DIR", dir.c_str(), 0);
    }
    static int argc = 1;
    static char name[] = "pla013";
    static char* argv[] = {name, nullptr};
    // Lives as long as the process: Qt objects created later rely on it.
    static QGuiApplication* app = new QGuiApplication(argc, argv);
    (void)app;
}

void PdfRenderer::render(const ReportDocument& doc, const std::string& path) {
    ensureGuiApplication();
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
    for (std::size_t p = 0; p < doc.pageCount(); ++p) {
        if (p && !writer.newPage()) {
            painter.end();
            throw host::EHostError("Erro de gravação no PDF '" + path + "'.");
        }
        pages.page(doc.pageLines(p));
        progress(p + 1, doc.pageCount());
    }
    if (!painter.end()) throw host::EHostError("Erro de gravação no PDF '" + path + "'.");
    QFile check(QString::fromStdString(path));
    if (!check.exists() || check.size() == 0) throw host::EHostError("O PDF '" + path + "' não foi gravado.");
}

void installPdfSupport(ReportRunner& runner) { runner.registerRenderer(".pdf", std::make_shared<PdfRenderer>()); }

}  // namespace pla013::reports
