#include "platform/gui/QtUserInterface.h"

#include <algorithm>

#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QDir>
#include <QFileDialog>
#include <QGuiApplication>
#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMessageBox>
#include <QPointer>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QScreen>
#include <QScrollArea>
#include <QStatusBar>
#include <QTimer>
#include <QVBoxLayout>

#include "host/Data.h"
#include "host/Errors.h"
#include "host/Form.h"
#include "platform/gui/ChecklistDialog.h"
#include "platform/gui/FormView.h"
#include "platform/gui/ProgressWindow.h"
#include "platform/gui/SearchListDialog.h"
#include "platform/runtime/HostSession.h"

namespace pla013::gui {

namespace {

QString qs(const std::string& s) { return QString::fromStdString(s); }

// Window buttons of the form's border icons.
Qt::WindowFlags borderFlags(const host::TForm& form) {
    Qt::WindowFlags flags = Qt::WindowTitleHint | Qt::CustomizeWindowHint;
    const auto& icons = form.BorderIcons();
    if (icons.count(host::TBorderIcon::biSystemMenu)) flags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
    if (icons.count(host::TBorderIcon::biMinimize)) flags |= Qt::WindowMinimizeButtonHint;
    if (icons.count(host::TBorderIcon::biMaximize)) flags |= Qt::WindowMaximizeButtonHint;
    return flags;
}

// The windows that show a form close only when the form has closed: a close
// by the user (the window's button, Esc in a dialog) asks the form, whose
// close handler decides.
class FormSubWindow final : public QMdiSubWindow {
public:
    explicit FormSubWindow(FormView* view) : m_view(view) {}
    bool closing = false;

protected:
    void closeEvent(QCloseEvent* e) override {
        if (closing || m_view->detached()) return QMdiSubWindow::closeEvent(e);
        e->ignore();
        host::TForm& form = m_view->form();
        m_view->dispatch([&form] { form.Close(); });
    }

private:
    FormView* m_view;
};

class FormDialog final : public QDialog {
public:
    explicit FormDialog(QWidget* parent) : QDialog(parent) {}
    FormView* view = nullptr;
    void reject() override { askClose(); }

protected:
    void closeEvent(QCloseEvent* e) override {
        if (!view || view->detached() || !isVisible()) return QDialog::closeEvent(e);
        e->ignore();
        askClose();
    }

private:
    void askClose() {
        if (!view || view->detached()) return QDialog::reject();
        host::TForm& form = view->form();
        view->dispatch([&form] { form.Close(); });
    }
};

class FormWindow final : public QWidget {
public:
    explicit FormWindow(Qt::WindowFlags flags) : QWidget(nullptr, Qt::Window | flags) {}
    FormView* view = nullptr;
    bool closing = false;

protected:
    void closeEvent(QCloseEvent* e) override {
        if (closing || !view || view->detached()) return QWidget::closeEvent(e);
        e->ignore();
        host::TForm& form = view->form();
        view->dispatch([&form] { form.Close(); });
    }
};

}  // namespace

QtUserInterface::QtUserInterface() : m_context(std::make_unique<QObject>()) {}

QtUserInterface::~QtUserInterface() {
    detachAll();
    if (m_cursor == host::Cursor::HourGlass) QApplication::restoreOverrideCursor();
}

void QtUserInterface::setMdiArea(QMdiArea* area) {
    m_area = area;
    if (!area) return;
    // The user coming back to a child form activates it again.
    QObject::connect(area, &QMdiArea::subWindowActivated, m_context.get(), [this](QMdiSubWindow* w) {
        if (!w) return;  // the main window lost the focus: no form was left
        for (auto& [form, open] : m_open)
            if (open.sub == w && m_activeForm != form && !open.view->detached() && !form->IsClosed())
                activate(*const_cast<host::TForm*>(form));
    });
}

void QtUserInterface::setMainWindow(QWidget* window) { m_main = window; }

QWidget* QtUserInterface::dialogParent() const {
    if (QWidget* modal = QApplication::activeModalWidget()) return modal;
    for (const auto& [form, open] : m_open)
        if (open.modal && open.window && open.window->isVisible()) return open.window;
    return m_main;
}

int QtUserInterface::execDialog(QDialog& dialog) {
    QPointer<QWidget> back = QApplication::activeWindow();
    if (!back && dialog.parentWidget()) back = dialog.parentWidget()->window();
    const int result = dialog.exec();
    if (back && back->isVisible()) back->activateWindow();
    return result;
}

void QtUserInterface::emitEvent(const std::string& line) { m_events.push_back(line); }

// --------------------------------------------------------------- messages

void QtUserInterface::ShowError(const std::string& text) {
    emitEvent("message: " + text);
    QMessageBox box(QMessageBox::Critical, QStringLiteral("Erro"), qs(text), QMessageBox::Ok, dialogParent());
    box.setObjectName("errorMessage");
    execDialog(box);
}

void QtUserInterface::ShowMessage(const std::string& text) {
    emitEvent("message: " + text);
    QMessageBox box(QMessageBox::Information, QStringLiteral("Informação"), qs(text), QMessageBox::Ok, dialogParent());
    box.setObjectName("infoMessage");
    execDialog(box);
}

void QtUserInterface::Log(const std::string& text) {
    if (logSink) logSink(text);
}

void QtUserInterface::FocusMoved(host::TControl& control) {
    emitEvent("focus: " + control.Name());
    if (FormView* view = viewOf(control.Form())) view->showFocus(control);
}

// --------------------------------------------------------------- dialogs

std::optional<std::size_t> QtUserInterface::SearchDialog(const host::SearchRequest& request, host::TDataSet& data) {
    emitEvent("dialog: search " + request.title);
    SearchListDialog dialog(request, data, dialogParent());
    if (execDialog(dialog) != QDialog::Accepted) return std::nullopt;
    return dialog.chosenRow();
}

std::optional<std::vector<std::string>> QtUserInterface::ListDialog(const std::string& caption, host::TDataSet& data,
                                                                    const std::string& keyField) {
    emitEvent("dialog: list " + caption.substr(0, caption.find('|')));
    ChecklistDialog dialog(caption, data, keyField, dialogParent());
    if (execDialog(dialog) != QDialog::Accepted) return std::nullopt;
    return dialog.chosenKeys();
}

void QtUserInterface::ShowProgress(const std::string& text) {
    emitEvent("dialog: progress " + text);
    if (!m_progress) m_progress = std::make_unique<ProgressWindow>();
    m_progress->showText(text, dialogParent());
}

void QtUserInterface::HideProgress() {
    if (m_progress) m_progress->hide();
}

bool QtUserInterface::progressVisible() const { return m_progress && m_progress->isVisible(); }

QString QtUserInterface::progressText() const { return m_progress ? m_progress->text() : QString(); }

void QtUserInterface::setProgressShown(bool shown) {
    if (m_progress) m_progress->setVisible(shown);
}

void QtUserInterface::SetCursor(host::Cursor cursor) {
    // One screen cursor, as the form sets it: the hourglass once, back once.
    if (cursor == m_cursor) return;
    if (cursor == host::Cursor::HourGlass)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QApplication::restoreOverrideCursor();
    m_cursor = cursor;
}

std::optional<std::string> QtUserInterface::AskSaveFileName(const std::string& suggested) {
    if (saveFileAnswer) {
        // Answered for the user: the folder is remembered as the dialog's.
        auto answer = saveFileAnswer(suggested);
        if (answer && !answer->empty()) rememberSaveFolder(QFileInfo(qs(*answer)).absolutePath());
        return answer;
    }
    if (m_saveFolder.isEmpty()) m_saveFolder = QDir::homePath();
    QFileDialog dialog(dialogParent(), QStringLiteral("Salvar relatório como"));
    dialog.setObjectName("saveDialog");
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    const QStringList filters = {QStringLiteral("PDF (*.pdf)"), QStringLiteral("Planilha XLSX (*.xlsx)"),
                                 QStringLiteral("CSV (*.csv)"), QStringLiteral("HTML (*.html)")};
    const QStringList suffixes = {"pdf", "xlsx", "csv", "html"};
    dialog.setNameFilters(filters);
    dialog.setDirectory(m_saveFolder);
    // A name typed without extension takes the one of the chosen format.
    dialog.setDefaultSuffix(suffixes.front());
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog, filters, suffixes](const QString& f) {
        const auto i = filters.indexOf(f);
        if (i >= 0) dialog.setDefaultSuffix(suffixes[i]);
    });
    dialog.selectFile(qs(suggested));
    if (execDialog(dialog) != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    const QString file = dialog.selectedFiles().front();
    rememberSaveFolder(QFileInfo(file).absolutePath());
    return file.toStdString();
}

void QtUserInterface::rememberSaveFolder(const QString& folder) {
    m_saveFolder = folder;
    if (onSaveFolder) onSaveFolder(m_saveFolder);
}

void QtUserInterface::showStatus(const QString& text) {
    if (auto* main = qobject_cast<QMainWindow*>(m_main)) main->statusBar()->showMessage(text, 15000);
}

bool QtUserInterface::choosePrinter(QPrinter& printer, int pages) {
    // With no printer installed the dialog offers a PDF file: in the folder
    // of the last save, named after the report.
    if (printer.outputFileName().isEmpty() && QPrinterInfo::availablePrinterNames().isEmpty()) {
        if (m_saveFolder.isEmpty()) m_saveFolder = QDir::homePath();
        const QString name = printer.docName().section(QLatin1Char(' '), 0, 0);
        printer.setOutputFileName(
            QDir(m_saveFolder)
                .filePath((name.isEmpty() ? QStringLiteral("relatorio") : name) + QStringLiteral(".pdf")));
    }
    if (printerAnswer) return printerAnswer(printer);
    QPrintDialog dialog(&printer, dialogParent());
    dialog.setObjectName("printDialog");
    dialog.setWindowTitle(QStringLiteral("Imprimir"));
    dialog.setMinMax(1, std::max(1, pages));
    return execDialog(dialog) == QDialog::Accepted;
}

// --------------------------------------------------------------- forms

FormView* QtUserInterface::viewOf(const host::TForm& form) const {
    auto it = m_open.find(&form);
    return it == m_open.end() ? nullptr : it->second.view;
}

std::vector<host::TForm*> QtUserInterface::openForms() const {
    std::vector<host::TForm*> out;
    for (const auto& [form, open] : m_open)
        if (!form->IsClosed()) out.push_back(const_cast<host::TForm*>(form));
    return out;
}

void QtUserInterface::activate(host::TForm& form) {
    m_activeForm = &form;
    if (FormView* view = viewOf(form)) view->dispatch([&form] { form.Activate(); });
}

void QtUserInterface::ShowChild(host::TForm& form) {
    if (auto it = m_open.find(&form); it != m_open.end()) {
        // Shown again: to the front, as the user left it.
        OpenForm& open = it->second;
        if (open.sub && m_area) {
            open.sub->showNormal();
            m_area->setActiveSubWindow(open.sub);
        } else if (open.window) {
            open.window->show();
            open.window->raise();
            open.window->activateWindow();
        }
        if (m_activeForm != &form) activate(form);
        return;
    }

    auto* view = new FormView(form, *this);
    OpenForm open;
    open.view = view;
    if (m_area) {
        auto* sub = new FormSubWindow(view);
        sub->setWidget(view);
        sub->setAttribute(Qt::WA_DeleteOnClose, false);
        sub->setWindowFlags(Qt::SubWindow | borderFlags(form));
        sub->setWindowTitle(qs(form.Caption()));
        sub->setObjectName(qs(form.Name()) + "Window");
        m_area->addSubWindow(sub);
        open.sub = sub;
        open.window = sub;
        view->onCaption = [sub](const QString& t) { sub->setWindowTitle(t); };
    } else {
        auto* window = new FormWindow(borderFlags(form));
        window->view = view;
        auto* layout = new QVBoxLayout(window);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(view);
        layout->setSizeConstraint(QLayout::SetFixedSize);
        window->setWindowTitle(qs(form.Caption()));
        window->setObjectName(qs(form.Name()) + "Window");
        open.window = window;
        view->onCaption = [window](const QString& t) { window->setWindowTitle(t); };
    }
    view->onHidden = [this, &form] { formHidden(form); };
    m_open[&form] = open;
    m_activeForm = &form;
    open.window->show();
    if (open.sub) {
        // In the middle of the area, not in its corner (the host puts it
        // back where the operator left it, when it was moved).
        const QRect room = m_area->viewport()->rect();
        open.sub->move(std::max(0, (room.width() - open.sub->width()) / 2),
                       std::max(0, (room.height() - open.sub->height()) / 3));
        m_area->setActiveSubWindow(open.sub);
    } else
        open.window->activateWindow();
    view->dispatch([&form] { form.Activate(); });
    announceShown(form);
}

void QtUserInterface::announceShown(host::TForm& form, int delayMs) {
    if (!onFormShown) return;
    // Once no user action is on the stack (the one that showed the form may
    // still wait for the server).
    QTimer::singleShot(delayMs, m_context.get(), [this, &form] {
        auto it = m_open.find(&form);
        if (it == m_open.end() || it->second.view->detached() || form.IsClosed()) return;
        if (m_busy > 0) return announceShown(form, 50);
        onFormShown(form, it->second.window);
    });
}

void QtUserInterface::ShowModal(host::TForm& form) {
    QPointer<QWidget> back = QApplication::activeWindow();
    auto dialog = std::make_unique<FormDialog>(dialogParent());
    auto* view = new FormView(form, *this, dialog.get());
    dialog->view = view;
    auto* layout = new QVBoxLayout(dialog.get());
    layout->setContentsMargins(0, 0, 0, 0);
    // A form larger than the screen (a large font scale) scrolls in its
    // dialog, which fits the screen; otherwise the dialog is the form's size.
    const QScreen* screen = dialog->screen() ? dialog->screen() : QGuiApplication::primaryScreen();
    const QSize room = screen ? screen->availableGeometry().size() * 95 / 100 : QSize(1024, 720);
    const QSize wanted = view->size();  // the form's own size
    if (wanted.width() <= room.width() && wanted.height() <= room.height()) {
        // At the top of the dialog; a dialog that may be maximized makes the
        // form as wide as itself.
        layout->addWidget(view, 0, Qt::AlignTop);
        layout->setSizeConstraint(view->maximumWidth() > view->minimumWidth() ? QLayout::SetMinimumSize
                                                                              : QLayout::SetFixedSize);
    } else {
        auto* scroll = new QScrollArea(dialog.get());
        scroll->setObjectName("formScroll");
        scroll->setFrameShape(QFrame::NoFrame);
        scroll->setWidget(view);
        layout->addWidget(scroll);
        // The control that takes the focus is brought into view.
        QObject::connect(qApp, &QApplication::focusChanged, scroll, [scroll, view](QWidget*, QWidget* now) {
            if (now && view->isAncestorOf(now)) scroll->ensureWidgetVisible(now);
        });
        dialog->resize(std::min(wanted.width() + 24, room.width()), std::min(wanted.height() + 24, room.height()));
    }
    dialog->setWindowFlags(Qt::Dialog | borderFlags(form));
    dialog->setWindowTitle(qs(form.Caption()));
    dialog->setObjectName(qs(form.Name()) + "Dialog");
    dialog->setModal(true);
    FormDialog* raw = dialog.get();
    view->onCaption = [raw](const QString& t) { raw->setWindowTitle(t); };
    view->onHidden = [raw] { raw->done(QDialog::Accepted); };

    OpenForm open;
    open.view = view;
    open.window = raw;
    open.modal = true;
    m_open[&form] = open;
    host::TForm* previous = m_activeForm;
    m_activeForm = &form;

    // The first activation (which may wait for the server) and what the
    // operator left come back before the dialog shows: the user's first keys
    // go to the form as it will stay, never to fields a late restore would
    // then type over.
    view->dispatch([&form] { form.Activate(); });
    if (onFormShown && !view->detached() && !form.IsClosed()) onFormShown(form, raw);
    const bool shown = !form.IsClosed() && form.Visible();
    if (shown) raw->exec();
    if (shown && onFormClosing) onFormClosing(form, raw);

    // Closed: the view goes before the form is released.
    view->detach();
    m_open.erase(&form);
    dialog.reset();
    m_activeForm = previous;
    if (m_activeForm && !m_open.count(m_activeForm)) m_activeForm = nullptr;
    if (back && back->isVisible()) back->activateWindow();
}

void QtUserInterface::formHidden(host::TForm& form) {
    auto it = m_open.find(&form);
    if (it == m_open.end() || it->second.modal) return;
    if (auto* sub = dynamic_cast<FormSubWindow*>(it->second.window)) sub->closing = true;
    if (auto* window = dynamic_cast<FormWindow*>(it->second.window)) window->closing = true;
    if (onFormClosing) onFormClosing(form, it->second.window);
    it->second.window->hide();
    if (m_activeForm == &form) m_activeForm = nullptr;
    scheduleTeardown(&form);
}

void QtUserInterface::scheduleTeardown(host::TForm* form) {
    // Not while a user action is still on the stack (its handler may belong
    // to this very form): the window goes, then the application releases the
    // closed form.
    scheduleTeardown(form, 0);
}

void QtUserInterface::scheduleTeardown(host::TForm* form, int delayMs) {
    QTimer::singleShot(delayMs, m_context.get(), [this, form] {
        if (m_busy > 0) return scheduleTeardown(form, 50);
        teardown(form);
        host::Application().ProcessReleases();
    });
}

void QtUserInterface::teardown(host::TForm* form) {
    auto it = m_open.find(form);
    if (it == m_open.end() || it->second.modal) return;
    OpenForm open = it->second;
    m_open.erase(it);
    open.view->detach();
    delete open.window;  // the view with it
}

void QtUserInterface::closeAllForms() {
    for (host::TForm* form : openForms()) {
        FormView* view = viewOf(*form);
        if (view && !view->detached()) view->dispatch([form] { form->Close(); });
    }
}

void QtUserInterface::detachAll() {
    auto open = std::move(m_open);
    m_open.clear();
    for (auto& [form, o] : open) {
        o.view->detach();
        if (!o.modal) delete o.window;
    }
    m_activeForm = nullptr;
}

// --------------------------------------------------------------- server calls

namespace {
// Most calls look a code up as the user leaves its field and end long before
// this: a window shown for them would only take the keys typed meanwhile.
constexpr int kServerWindowAfterMs = 800;
}  // namespace

BackgroundTransport::BackgroundTransport(pla013::runtime::HostSession& session, QtUserInterface& ui)
    : m_session(session), m_ui(ui) {}

BackgroundTransport::~BackgroundTransport() {
    if (host::InstalledPorts().transport == this) {
        host::Ports ports = host::InstalledPorts();
        ports.transport = &m_session.transport();
        host::Install(ports);
    }
}

void BackgroundTransport::install() {
    host::Ports ports = host::InstalledPorts();
    ports.transport = this;
    host::Install(ports);
}

bool BackgroundTransport::runServerWork(const std::string& doing,
                                        const std::function<void(std::stop_token stop)>& work) {
    // The form's own "wait" window, when it shows, lends its text to the one
    // with "Cancelar" and gives way to it while that one is up; it is back
    // afterwards, for the form to close as it would.
    const bool formWindow = m_ui.progressVisible();
    const std::string formText = m_ui.progressText().toStdString();
    struct Restore {
        QtUserInterface& ui;
        bool hidden = false;
        ~Restore() {
            if (hidden) ui.setProgressShown(true);
            ui.leaveBusy();
        }
    } restore{m_ui};
    m_ui.enterBusy();
    return runInBackground(
        m_ui.dialogParent(), QStringLiteral("Servidor de aplicação"),
        [&](std::stop_token stop, const WorkProgress& progress) {
            progress(formWindow && !formText.empty() ? formText : doing, 0, 0);
            work(stop);
        },
        kServerWindowAfterMs,
        [&] {
            if (!formWindow) return;
            m_ui.setProgressShown(false);
            restore.hidden = true;
        });
}

void BackgroundTransport::Connect(const std::string& host, int port) {
    if (!runServerWork("Conectando ao servidor de aplicação...",
                       [&](std::stop_token) { m_session.transport().Connect(host, port); }))
        throw host::EAbort();
}

host::Variant BackgroundTransport::Call(const std::string& host, int port, const std::string& serverName,
                                        const std::string& method, const std::vector<host::CallArg>& args) {
    host::Variant result;
    if (!runServerWork("Consultando o servidor de aplicação...", [&](std::stop_token stop) {
            result = m_session.callServer(host, port, serverName, method, args, stop);
        })) {
        m_ui.Log("call cancelled: " + serverName + "." + method);
        throw host::EAbort();
    }
    return result;
}

}  // namespace pla013::gui
