#include "platform/gui/DesktopHost.h"

#include <cstdlib>
#include <iostream>
#include <stdexcept>

#include <QGuiApplication>
#include <QMessageBox>

#include "host/Form.h"
#include "host/ModuleAbi.h"
#include "host/Variant.h"
#include "platform/gui/GuiReportRunner.h"
#include "platform/gui/HostMainWindow.h"
#include "platform/gui/QtUserInterface.h"
#include "platform/runtime/HostSession.h"
#include "platform/runtime/ModuleLoader.h"

namespace pla013::gui {

DesktopHost::DesktopHost(const pla013::runtime::HostOptions& options, const std::string& modulePath)
    : m_ui(std::make_unique<QtUserInterface>()) {
    pla013::runtime::HostSession::Hooks hooks;
    QtUserInterface* ui = m_ui.get();
    hooks.reportLine = [ui](const std::string& line) { ui->Log(line); };
    hooks.serverLog = [ui](const std::string& line) { ui->Log(line); };
    m_session = std::make_unique<pla013::runtime::HostSession>(options, *m_ui, hooks);
    m_reports = std::make_unique<GuiReportRunner>(m_session->reports(), *m_ui);
    m_reports->install();
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
    m_window->onClosing = [ui] { ui->closeAllForms(); };
    m_ui->setMainWindow(m_window.get());
    m_ui->setMdiArea(m_window->mdiArea());
}

DesktopHost::~DesktopHost() {
    // Views go before the forms, the forms before the module that made them.
    m_ui->detachAll();
    m_ui->setMdiArea(nullptr);
    m_ui->setMainWindow(nullptr);
    m_window.reset();
    m_module.reset();
    m_reports.reset();
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
