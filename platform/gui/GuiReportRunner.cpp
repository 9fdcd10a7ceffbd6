#include "platform/gui/GuiReportRunner.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <filesystem>
#include <mutex>
#include <optional>
#include <thread>

#include <QFileInfo>
#include <QPrinter>

#include "host/BaseForm.h"
#include "host/Errors.h"
#include "platform/files/AtomicFile.h"
#include "platform/gui/OperatorSettings.h"
#include "platform/gui/PreviewWindow.h"
#include "platform/gui/ProgressWindow.h"
#include "platform/gui/QtUserInterface.h"
#include "platform/gui/ReportPagePainter.h"
#include "platform/gui/ReportPages.h"
#include "platform/gui/internal/ScreenFit.h"
#include "platform/reports/FileRenderer.h"
#include "platform/reports/PdfRenderer.h"
#include "platform/reports/ReportRunner.h"

namespace pla013::gui {

namespace {
// The engine hands its laid-out document only to file renderers: the pages
// for the screen are taken by one registered under an extension of ours.
const char* const kPagesExtension = ".pla013pages";
// The engine's writing stage, when it writes the pages for the screen.
const QString kPreparing = QStringLiteral("Preparando as páginas...");
}  // namespace

class GuiReportRunner::Capture final : public pla013::reports::FileRenderer {
public:
    // Fills `into`, page by page, as the document lays them out.
    void render(const pla013::reports::ReportDocument& document, const std::string&) override {
        if (into) into->fill(document, [this](std::size_t done, std::size_t total) { progress(done, total); });
    }
    std::string mimeType() const override { return "application/x-pla013-pages"; }
    std::shared_ptr<ReportPages> into;
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

std::string GuiReportRunner::scratchFile(const std::string& definitionFile) {
    if (!m_scratch.isValid()) throw host::EHostError("Não foi possível criar a pasta temporária da visualização.");
    const std::string stem = std::filesystem::path(definitionFile).stem().string();
    return m_scratch.filePath(QString::fromStdString(stem + kPagesExtension)).toStdString();
}

std::shared_ptr<ReportPages> GuiReportRunner::layOut(host::TfrmDadosGerRel& form, const std::string& definitionFile) {
    const std::string scratch = scratchFile(definitionFile);
    auto pages = std::make_shared<ReportPages>();
    m_capture->into = pages;
    struct Done {
        GuiReportRunner& self;
        std::string scratch;
        ~Done() {
            self.m_capture->into.reset();
            std::error_code ec;
            std::filesystem::remove(scratch, ec);
        }
    } done{*this, scratch};
    execute(form, definitionFile, host::ReportTarget::File, scratch, kPreparing);
    pages->finish();
    if (!pages->started()) throw host::EHostError("O relatório '" + definitionFile + "' não produziu páginas.");
    return pages;
}

void GuiReportRunner::preview(host::TfrmDadosGerRel& form, const std::string& definitionFile) {
    const std::string scratch = scratchFile(definitionFile);
    auto pages = std::make_shared<ReportPages>();
    m_capture->into = pages;
    // The form's part here, as for any run; then reading and layout on a
    // thread of their own, which fills the pages.
    std::unique_ptr<pla013::reports::ReportRunner::PreparedRun> run;
    try {
        run = m_engine.prepare(form, definitionFile, host::ReportTarget::File, scratch);
    } catch (...) {
        m_capture->into.reset();
        throw;
    }
    std::stop_source stopper;
    std::exception_ptr failed;
    std::mutex progressMutex;
    WorkProgress shown;  // the progress window's, while it is up
    struct {
        std::string stage;
        std::size_t done = 0, total = 0;
    } last;  // what the run said last, for a window that comes up later
    std::thread worker([&] {
        try {
            m_engine.execute(*run,
                             {stopper.get_token(), [&](const std::string& stage, std::size_t done, std::size_t total) {
                                  std::lock_guard lock(progressMutex);
                                  last = {stage, done, total};
                                  if (shown) shown(stage, done, total);
                              }});
        } catch (...) {
            failed = std::current_exception();
        }
        pages->finish();
    });
    m_ui.enterBusy();
    struct Ending {
        GuiReportRunner& self;
        std::stop_source& stopper;
        std::thread& worker;
        std::string scratch;
        ~Ending() {
            stopper.request_stop();
            if (worker.joinable()) worker.join();
            self.m_capture->into.reset();
            std::error_code ec;
            std::filesystem::remove(scratch, ec);
            self.m_ui.leaveBusy();
        }
    } ending{*this, stopper, worker, scratch};

    // Until the first page, the progress window (with "Cancelar").
    const bool waited = runInBackground(
        m_ui.dialogParent(), QStringLiteral("Relatório"),
        [&](std::stop_token stop, const WorkProgress& progress) {
            {
                std::lock_guard lock(progressMutex);
                shown = progress;
                shown(last.stage, last.done, last.total);
            }
            while (pages->pageCount() == 0 && !pages->finished() && !stop.stop_requested())
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            std::lock_guard lock(progressMutex);
            shown = nullptr;
            if (stop.stop_requested() && pages->pageCount() == 0) throw host::EAbort();
        },
        300, {}, kPreparing);
    if (!waited) {
        m_ui.Log("report cancelled: " + definitionFile);
        throw host::EAbort();  // the user stopped it: nothing to tell
    }
    if (pages->pageCount() == 0) {
        worker.join();
        if (failed) std::rethrow_exception(failed);
        throw host::EHostError("O relatório '" + definitionFile + "' não produziu páginas.");
    }
    m_last = pages;
    PreviewWindow::Actions actions;
    actions.print = [this, pages] { return print(*pages); };
    actions.saveAs = [this, &form, definitionFile] { return saveAs(form, definitionFile); };
    PreviewWindow window(*pages, actions, m_ui.dialogParent());
    // Where the operator left it, as far as this screen has room for it.
    if (settings) window.restoreGeometry(settings->geometry("preview"));
    internal::keepOnScreen(window);
    m_ui.execDialog(window);
    internal::keepOnScreen(window);
    if (settings) settings->setGeometry("preview", window.saveGeometry());
    // Closed before the last page: the run stops; one that failed on its own
    // says why.
    const bool closedEarly = !pages->finished();
    stopper.request_stop();
    worker.join();
    if (failed && !closedEarly) {
        try {
            std::rethrow_exception(failed);
        } catch (const host::EAbort&) {
        } catch (const std::exception& e) {
            m_ui.ShowError(e.what());
        }
    }
}

void GuiReportRunner::Run(host::TfrmDadosGerRel& form, const std::string& definitionFile, host::ReportTarget target,
                          const std::string& fileName) {
    if (onRun) onRun(form);
    if (target == host::ReportTarget::File) {
        saveFile(form, definitionFile, fileName);
        return;
    }
    if (target == host::ReportTarget::Printer) {
        m_last = layOut(form, definitionFile);
        if (const auto file = print(*m_last))
            m_ui.showStatus(QStringLiteral("Relatório salvo em %1").arg(QString::fromStdString(*file)));
        return;
    }
    preview(form, definitionFile);
}

std::optional<std::string> GuiReportRunner::print(const ReportPages& pages) {
    QPrinter printer(QPrinter::HighResolution);
    printer.setDocName(QString::fromStdString(pages.reportId() + " - " + pages.title()));
    printer.setFullPage(true);
    printer.setPageOrientation(pages.landscape() ? QPageLayout::Landscape : QPageLayout::Portrait);
    printer.setPageSize(QPageSize(QPageSize::A4));
    if (!m_ui.choosePrinter(printer, int(pages.pageCount()))) return std::nullopt;  // the user cancelled
    // A PDF file is printed as a save is written: unnamed in its folder, and
    // put in place only when whole, so that a print cancelled or failed half
    // way leaves the folder as it was (a file it was to replace included).
    std::optional<files::AtomicFile> file;
    const QString fileName = printer.outputFormat() == QPrinter::PdfFormat ? printer.outputFileName() : QString();
    if (!fileName.isEmpty()) {
        try {
            file.emplace(fileName.toStdString(), files::AtomicFile::Existing::Replace,
                         files::AtomicFile::Temporary::Unnamed);
        } catch (const files::AtomicFile::Error& e) {
            m_ui.ShowError("Não foi possível gravar '" + fileName.toStdString() + "': " + e.reason() + ".");
            return std::nullopt;
        }
        printer.setOutputFileName(QString::fromStdString(file->tempPath()));
    }
    // Painted on a thread of its own (a printer can be painted in any
    // thread), behind the progress window. A PDF file is written by the
    // reports' own PDF writer, as a save is (A4 in the report's
    // orientation, whatever paper the dialog shows), the pages of the range
    // asked for.
    bool printed = false, stopped = false;
    std::string failure;
    m_ui.enterBusy();
    try {
        runInBackground(
            m_ui.dialogParent(), QStringLiteral("Impressão"),
            [&](std::stop_token stop, const WorkProgress& progress) {
                auto goOn = [&](std::size_t done, std::size_t total) {
                    progress("gravacao", done, total);
                    stopped = stop.stop_requested();
                    return !stopped;
                };
                if (!file) {
                    printed = ReportPagePainter(pages).print(printer, goOn);
                    return;
                }
                std::size_t first = 0, last = pages.pageCount();
                if (printer.printRange() == QPrinter::PageRange && printer.fromPage() > 0) {
                    first = std::min(last, std::size_t(printer.fromPage() - 1));
                    last = std::min(last, std::size_t(std::max(printer.toPage(), printer.fromPage())));
                }
                try {
                    pla013::reports::PdfWriter pdf(file->tempPath(), pages.charactersPerLine(), pages.linesPerPage(),
                                                   pages.landscape());
                    for (std::size_t p = first; p < last; ++p) {
                        if (!goOn(p - first, last - first)) return;
                        pdf.page(*pages.page(p));
                    }
                    pdf.finish(pages.reportId() + " - " + pages.title());
                    printed = true;
                } catch (const host::EHostError& e) {
                    failure = e.what();
                }
            },
            300, {}, file ? QStringLiteral("Gravando o arquivo...") : QStringLiteral("Imprimindo as páginas..."));
    } catch (...) {
        m_ui.leaveBusy();
        throw;
    }
    m_ui.leaveBusy();
    if (printed && file) {
        try {
            file->commit();
        } catch (const files::AtomicFile::Error& e) {
            m_ui.ShowError("Não foi possível gravar '" + fileName.toStdString() + "': " + e.reason() + ".");
            return std::nullopt;
        }
        // The folder is remembered as a save-as's is.
        const QFileInfo written(fileName);
        m_ui.rememberSaveFolder(written.absolutePath());
        return written.absoluteFilePath().toStdString();
    }
    if (printed) return std::nullopt;
    if (!failure.empty()) {
        m_ui.Log("print to file: " + failure);
        m_ui.ShowError("Não foi possível gravar '" + fileName.toStdString() + "'.");
        return std::nullopt;
    }
    if (!stopped) {
        m_ui.ShowError("Não foi possível imprimir o relatório " + pages.reportId() + ".");
        return std::nullopt;
    }
    m_ui.Log("print cancelled: " + pages.reportId());
    return std::nullopt;
}

void GuiReportRunner::saveFile(host::TfrmDadosGerRel& form, const std::string& definitionFile,
                               const std::string& fileName) {
    // The screen's own format is no file format: it would write an empty file.
    std::string ext = std::filesystem::path(fileName).extension().string();
    for (char& c : ext) c = char(std::tolower(static_cast<unsigned char>(c)));
    if (ext == kPagesExtension)
        throw host::EHostError("Formato de arquivo não suportado: '" + ext + "' (formatos: .pdf, .xlsx, .csv, .html).");
    execute(form, definitionFile, host::ReportTarget::File, fileName, QStringLiteral("Gravando o arquivo..."));
}

void GuiReportRunner::execute(host::TfrmDadosGerRel& form, const std::string& definitionFile, host::ReportTarget target,
                              const std::string& fileName, const QString& writing) {
    // The form's part here; reading, layout and writing on a thread of their
    // own, behind the progress window.
    auto run = m_engine.prepare(form, definitionFile, target, fileName);
    m_ui.enterBusy();
    bool done = false;
    try {
        done = runInBackground(
            m_ui.dialogParent(), QStringLiteral("Relatório"),
            [this, &run](std::stop_token stop, const WorkProgress& progress) {
                m_engine.execute(*run, {stop, progress});
            },
            300, {}, writing);
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

std::optional<std::string> GuiReportRunner::saveAs(host::TfrmDadosGerRel& form, const std::string& definitionFile) {
    const std::string stem = std::filesystem::path(definitionFile).stem().string();
    auto file = m_ui.AskSaveFileName(stem + ".pdf");
    if (!file || file->empty()) return std::nullopt;
    // The same run as the form's save-as: the form binds its filters again.
    try {
        saveFile(form, definitionFile, *file);
        return std::filesystem::absolute(*file).string();
    } catch (const host::EAbort&) {
    } catch (const std::exception& e) {
        m_ui.ShowError(e.what());
    }
    return std::nullopt;
}

}  // namespace pla013::gui
