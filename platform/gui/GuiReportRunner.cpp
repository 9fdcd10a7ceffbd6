#include "platform/gui/GuiReportRunner.h"

#include <cctype>
#include <filesystem>

#include <QFile>
#include <QPrinter>

#include "host/BaseForm.h"
#include "host/Errors.h"
#include "platform/gui/OperatorSettings.h"
#include "platform/gui/PreviewWindow.h"
#include "platform/gui/ProgressWindow.h"
#include "platform/gui/QtUserInterface.h"
#include "platform/gui/ReportPagePainter.h"
#include "platform/gui/ReportPages.h"
#include "platform/reports/FileRenderer.h"
#include "platform/reports/ReportRunner.h"

namespace pla013::gui {

namespace {
// The engine hands its laid-out document only to file renderers: the pages
// for the screen are taken by one registered under an extension of ours.
const char* const kPagesExtension = ".pla013pages";
}  // namespace

class GuiReportRunner::Capture final : public pla013::reports::FileRenderer {
public:
    void render(const pla013::reports::ReportDocument& document, const std::string&) override {
        pages = ReportPages::fromDocument(document);
    }
    std::string mimeType() const override { return "application/x-pla013-pages"; }
    std::unique_ptr<ReportPages> pages;
};

GuiReportRunner::GuiReportRunner(pla013::reports::ReportRunner& engine, QtUserInterface& ui)
    : m_engine(engine), m_ui(ui), m_capture(std::make_shared<Capture>()) {
    m_engine.registerRenderer(kPagesExtension, m_capture);
}

GuiReportRunner::~GuiReportRunner() {
    if (host::InstalledPorts().reports == this) {
        host::Ports ports = host::InstalledPorts();
        ports.reports = &m_engine;
        host::Install(ports);
    }
}

void GuiReportRunner::install() {
    host::Ports ports = host::InstalledPorts();
    ports.reports = this;
    host::Install(ports);
}

std::vector<std::pair<std::string, std::string>> GuiReportRunner::ListReports(const std::string& family) {
    return m_engine.ListReports(family);
}

std::unique_ptr<ReportPages> GuiReportRunner::layOut(host::TfrmDadosGerRel& form, const std::string& definitionFile) {
    if (!m_scratch.isValid()) throw host::EHostError("Não foi possível criar a pasta temporária da visualização.");
    const std::string stem = std::filesystem::path(definitionFile).stem().string();
    const std::string scratch = m_scratch.filePath(QString::fromStdString(stem + kPagesExtension)).toStdString();
    m_capture->pages.reset();
    try {
        execute(form, definitionFile, host::ReportTarget::File, scratch);
    } catch (...) {
        std::error_code ec;
        std::filesystem::remove(scratch, ec);
        throw;
    }
    std::error_code ec;
    std::filesystem::remove(scratch, ec);
    if (!m_capture->pages) throw host::EHostError("O relatório '" + definitionFile + "' não produziu páginas.");
    return std::move(m_capture->pages);
}

void GuiReportRunner::Run(host::TfrmDadosGerRel& form, const std::string& definitionFile, host::ReportTarget target,
                          const std::string& fileName) {
    if (onRun) onRun(form);
    if (target == host::ReportTarget::File) {
        saveFile(form, definitionFile, fileName);
        return;
    }
    m_last = layOut(form, definitionFile);
    const ReportPages& pages = *m_last;
    if (target == host::ReportTarget::Printer) {
        print(pages);
        return;
    }
    PreviewWindow::Actions actions;
    actions.print = [this, &pages] { print(pages); };
    actions.saveAs = [this, &form, definitionFile] { saveAs(form, definitionFile); };
    PreviewWindow window(pages, actions, m_ui.dialogParent());
    if (settings) window.restoreGeometry(settings->geometry("preview"));
    m_ui.execDialog(window);
    if (settings) settings->setGeometry("preview", window.saveGeometry());
}

void GuiReportRunner::print(const ReportPages& pages) {
    QPrinter printer(QPrinter::HighResolution);
    printer.setDocName(QString::fromStdString(pages.reportId() + " - " + pages.title()));
    printer.setFullPage(true);
    printer.setPageOrientation(pages.landscape() ? QPageLayout::Landscape : QPageLayout::Portrait);
    printer.setPageSize(QPageSize(QPageSize::A4));
    if (!m_ui.choosePrinter(printer, int(pages.pageCount()))) return;  // the user cancelled
    // Painted on a thread of its own (a printer can be painted in any
    // thread), behind the progress window.
    bool printed = false, stopped = false;
    m_ui.enterBusy();
    try {
        runInBackground(m_ui.dialogParent(), QStringLiteral("Impressão"),
                        [&](std::stop_token stop, const WorkProgress& progress) {
                            printed = ReportPagePainter(pages).print(printer, [&](std::size_t done, std::size_t total) {
                                progress("gravacao", done, total);
                                stopped = stop.stop_requested();
                                return !stopped;
                            });
                        });
    } catch (...) {
        m_ui.leaveBusy();
        throw;
    }
    m_ui.leaveBusy();
    if (printed) return;
    if (!stopped) {
        m_ui.ShowError("Não foi possível imprimir o relatório " + pages.reportId() + ".");
        return;
    }
    // Cancelled: a file printed to is not kept half made.
    if (printer.outputFormat() == QPrinter::PdfFormat && !printer.outputFileName().isEmpty())
        QFile::remove(printer.outputFileName());
    m_ui.Log("print cancelled: " + pages.reportId());
}

void GuiReportRunner::saveFile(host::TfrmDadosGerRel& form, const std::string& definitionFile,
                               const std::string& fileName) {
    // The screen's own format is no file format: it would write an empty file.
    std::string ext = std::filesystem::path(fileName).extension().string();
    for (char& c : ext) c = char(std::tolower(static_cast<unsigned char>(c)));
    if (ext == kPagesExtension)
        throw host::EHostError("Formato de arquivo não suportado: '" + ext + "' (formatos: .pdf, .xlsx, .csv, .html).");
    execute(form, definitionFile, host::ReportTarget::File, fileName);
}

void GuiReportRunner::execute(host::TfrmDadosGerRel& form, const std::string& definitionFile, host::ReportTarget target,
                              const std::string& fileName) {
    // The form's part here; reading, layout and writing on a thread of their
    // own, behind the progress window.
    auto run = m_engine.prepare(form, definitionFile, target, fileName);
    m_ui.enterBusy();
    bool done = false;
    try {
        done = runInBackground(m_ui.dialogParent(), QStringLiteral("Relatório"),
                               [this, &run](std::stop_token stop, const WorkProgress& progress) {
                                   m_engine.execute(*run, {stop, progress});
                               });
    } catch (...) {
        m_ui.leaveBusy();
        throw;
    }
    m_ui.leaveBusy();
    if (!done) {
        m_ui.Log("report cancelled: " + definitionFile);
        throw host::EAbort();  // the user stopped it: nothing to tell
    }
}

void GuiReportRunner::saveAs(host::TfrmDadosGerRel& form, const std::string& definitionFile) {
    const std::string stem = std::filesystem::path(definitionFile).stem().string();
    auto file = m_ui.AskSaveFileName(stem + ".pdf");
    if (!file || file->empty()) return;
    // The same run as the form's save-as: the form binds its filters again.
    try {
        saveFile(form, definitionFile, *file);
    } catch (const host::EAbort&) {
    } catch (const std::exception& e) {
        m_ui.ShowError(e.what());
    }
}

}  // namespace pla013::gui
