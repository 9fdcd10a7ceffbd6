#include "platform/gui/DesktopHost.h"

#include <algorithm>
#include <cstdlib>
#include <iostream>
#include <stdexcept>
#include <utility>

#include <QDir>
#include <QGuiApplication>
#include <QMdiSubWindow>
#include <QMessageBox>
#include <QScreen>
#include <QTimer>

#include "host/Form.h"
#include "host/ModuleAbi.h"
#include "host/Variant.h"
#include "platform/gui/FormView.h"
#include "platform/gui/GuiReportRunner.h"
#include "platform/gui/HostMainWindow.h"
#include "platform/gui/OperatorSettings.h"
#include "platform/gui/QtUserInterface.h"
#include "platform/gui/SignInDialog.h"
#include "platform/gui/internal/ScreenFit.h"
#include "platform/runtime/HostSession.h"
#include "platform/runtime/ModuleLoader.h"

namespace pla013::gui {

DesktopHost::DesktopHost(const pla013::runtime::HostOptions& options, const std::string& modulePath)
    : m_ui(std::make_unique<QtUserInterface>()) {
    pla013::runtime::HostSession::Hooks hooks;
    QtUserInterface* ui = m_ui.get();
    hooks.reportLine = [ui](const std::string& line) { ui->Log(line); };
    hooks.serverLog = [ui](const std::string& line) { ui->Log(line); };
    hooks.askCredentials = [server = options.server](const std::string& operatorCode, const std::string& refusal) {
        return SignInDialog::ask(server, operatorCode, refusal);
    };
    m_session = std::make_unique<pla013::runtime::HostSession>(options, *m_ui, hooks);
    m_reports = std::make_unique<GuiReportRunner>(m_session->reports(), *m_ui);
    m_reports->install();
    m_transport = std::make_unique<BackgroundTransport>(*m_session, *m_ui);
    m_transport->install();
    m_module = std::make_unique<pla013::runtime::ModuleLoader>(
        modulePath.empty() ? pla013::runtime::ModuleLoader::defaultPath() : modulePath);

    HostMainWindow::Context context;
    const pla013::runtime::HostOptions& o = m_session->context().options();
    context.branch = o.branch;
    context.operatorCode = o.operatorCode;
    context.date = host::FormatDateTime("dd/mm/yyyy", m_session->context().DataProc(o.branch));
    context.module = std::string(1, o.module);
    context.singleBranch = o.singleBranch;
    context.database = m_session->databaseTarget();
    context.server = m_session->serverAddress() + (m_session->embeddedServer() ? " (embutido)" : "");
    m_window = std::make_unique<HostMainWindow>(context, [this](const host::Variant& a) { launch(a); });
    m_ui->setMainWindow(m_window.get());
    m_ui->setMdiArea(m_window->mdiArea());

    // What this operator left last time.
    m_settings = std::make_unique<OperatorSettings>(o.operatorCode);
    // As the operator left it (maximised, or its place and size within
    // this screen); maximised the first time.
    if (m_window->restoreGeometry(m_settings->geometry("main"))) internal::keepOnScreen(*m_window);
    m_window->onClosing = [this, ui] {
        m_settings->setGeometry("main", m_window->saveGeometry());
        ui->closeAllForms();
        m_settings->sync();
    };
    if (const QString folder = m_settings->exportFolder(); !folder.isEmpty() && QDir(folder).exists())
        m_ui->setSaveFolder(folder);
    m_ui->onSaveFolder = [this](const QString& folder) { m_settings->setExportFolder(folder); };
    m_ui->onFormShown = [this](host::TForm& form, QWidget* window) { recall(form, window); };
    m_ui->onFormClosing = [this](host::TForm& form, QWidget* window) { remember(form, window); };
    m_reports->settings = m_settings.get();
    m_reports->onRun = [this](host::TForm& form) {
        if (const QString report = FormFilters::report(form); !report.isEmpty()) {
            m_settings->setLastReport(report);
            m_settings->setFilters(report, FormFilters::capture(form));
        }
    };
    m_window->whyNoDialog = [this]() -> std::string {
        for (host::TForm* form : m_ui->openForms())
            if (form->GetPresentation() == host::Presentation::Child)
                return "O formulário de relatórios de pratos já está aberto como janela filha "
                       "(menu Relatórios > Emissão das Receitas). Feche-o para abri-lo pelo menu Prato.";
        return {};
    };
    m_window->onClearFilters = [this] { clearFilters(); };
}

void DesktopHost::remember(host::TForm& form, QWidget* window) {
    if (m_clearing) return;  // what is kept has just been forgotten
    if (const QString report = FormFilters::report(form); !report.isEmpty()) {
        m_settings->setLastReport(report);
        m_settings->setFilters(report, FormFilters::capture(form));
    }
    // A child window's place in the main window; a dialog is centred over
    // the main window each time.
    if (window && !window->isWindow())
        m_settings->setGeometry("form", QStringLiteral("%1,%2").arg(window->x()).arg(window->y()).toUtf8());
    m_settings->sync();
}

void DesktopHost::recall(host::TForm& form, QWidget* window) {
    if (std::exchange(m_asDesigned, false)) return;
    const QList<QByteArray> at = m_settings->geometry("form").split(',');
    if (window && !window->isWindow() && window->parentWidget() && at.size() == 2) {
        // Kept inside the area it shows in.
        const QRect room = window->parentWidget()->rect();
        QPoint p(at[0].toInt(), at[1].toInt());
        p.setX(std::clamp(p.x(), room.left(), std::max(room.left(), room.right() - 50)));
        p.setY(std::clamp(p.y(), room.top(), std::max(room.top(), room.bottom() - 50)));
        window->move(p);
    }
    FormView* view = m_ui->viewOf(form);
    const QString report = m_settings->lastReport();
    if (!view || report.isEmpty()) return;
    // The dialog opened by "Prato..." is for the branch the user gave there.
    FormFilters::restore(*view, report, m_settings->filters(report),
                         form.GetPresentation() == host::Presentation::Modal);
}

void DesktopHost::clearFilters() {
    const auto forms = m_ui->openForms();
    if (forms.empty()) {
        m_ui->ShowMessage("Abra o formulário de relatórios para limpar os filtros.");
        return;
    }
    host::TForm* form = forms.front();
    FormView* view = m_ui->viewOf(*form);
    if (!view) return;
    m_settings->clearFilters(FormFilters::report(*form));
    m_settings->sync();
    m_clearing = true;
    view->dispatch([form] { form->Close(); });
    m_clearing = false;
    if (!form->IsClosed()) return;  // its close handler kept it open
    // Opened again once the closed form has been released.
    auto* wait = new QTimer(m_window.get());
    QObject::connect(wait, &QTimer::timeout, m_window.get(), [this, wait] {
        if (m_module->formCriado()) return;
        wait->stop();
        wait->deleteLater();
        m_asDesigned = true;
        launch(host::Variant::null());
    });
    wait->start(20);
}

DesktopHost::~DesktopHost() {
    m_ui->onFormShown = nullptr;
    m_ui->onFormClosing = nullptr;
    m_ui->onSaveFolder = nullptr;
    // Views go before the forms, the forms before the module that made them.
    m_ui->detachAll();
    m_ui->setMdiArea(nullptr);
    m_ui->setMainWindow(nullptr);
    m_window.reset();
    m_module.reset();
    m_reports.reset();
    m_transport.reset();
    m_session.reset();
}

void DesktopHost::launch(const host::Variant& argument) {
    const auto result = m_module->iniProc(argument);
    if (result.status == host::msError || result.status == host::msVariantError) m_ui->ShowError(result.error);
    releaseClosedForms();
}

void DesktopHost::releaseClosedForms() {
    // A modal form is closed and its view gone when IniProc returns; a child
    // form closed meanwhile still has its window until its teardown runs.
    if (m_ui->busyDepth() > 0) return;
    for (const auto& form : host::Application().Forms())
        if (form->IsClosed() && m_ui->viewOf(*form)) return;
    host::Application().ProcessReleases();
}

bool DesktopHost::wantsHelp(const std::vector<std::string>& args) {
    for (const std::string& arg : args)
        if (arg == "--help" || arg == "-h") return true;
    return false;
}

std::string DesktopHost::usage() {
    return "usage: pla013-desktop [context options]\n\n" + pla013::runtime::HostOptions::usage();
}

bool DesktopHost::hasDisplay(const std::vector<std::string>& args) {
    // A variable set to nothing names nothing (Qt would abort on it).
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        if (const char* value = std::getenv(name); value && *value) return true;
    for (const std::string& arg : args)
        if (arg == "-platform") return true;
    return false;
}

pla013::runtime::HostOptions DesktopHost::parseOptions(std::vector<std::string> args) {
    pla013::runtime::HostOptions options = pla013::runtime::HostOptions::parse(args);
    if (!args.empty())
        throw std::invalid_argument("unknown argument '" + args[0] + "'\n\n" + pla013::runtime::HostOptions::usage());
    return options;
}

void DesktopHost::showStartupError(const std::string& text) {
    std::cerr << "pla013-desktop: " << text << '\n';
    const QString platform = QGuiApplication::platformName();
    if (platform != QLatin1String("offscreen") && platform != QLatin1String("minimal"))
        QMessageBox::critical(nullptr, QStringLiteral("pla013-desktop"), QString::fromStdString(text));
}

}  // namespace pla013::gui
