#include "platform/runtime/HostSession.h"

#include <stdexcept>

#include "platform/appserver/AppServer.h"
#include "platform/db/DatabaseInitializer.h"
#include "platform/db/SociDatabase.h"
#include "host/Errors.h"
#include "platform/net/HttpTransport.h"
#include "platform/reports/ReportRunner.h"
#ifdef PLA013_WITH_PDF
#include "platform/reports/qt/PdfRenderer.h"
#endif

namespace pla013::runtime {

void HostSession::parseAddress(const std::string& text, std::string& host, int& port) {
    auto colon = text.rfind(':');
    if (colon == std::string::npos || colon == 0 || colon + 1 == text.size())
        throw std::invalid_argument("the server address must be HOST:PORT, not '" + text + "'");
    host = text.substr(0, colon);
    const std::string p = text.substr(colon + 1);
    if (p.find_first_not_of("0123456789") != std::string::npos || p.size() > 5 || std::stoi(p) > 65535 ||
        std::stoi(p) == 0)
        throw std::invalid_argument("the server port must be a number from 1 to 65535, not '" + p + "'");
    port = std::stoi(p);
}

HostSession::HostSession(const HostOptions& options, host::IUserInterface& ui, Hooks hooks) {
    m_db = pla013::db::openDatabase(options.db);
    const host::DishPicture picture = HostContext::loadDishPicture(*m_db);

    if (options.server.empty()) {
        // The embedded default: the same server code, on a free loopback port.
        pla013::appserver::AppServerOptions serverOptions;
        serverOptions.host = "127.0.0.1";
        serverOptions.port = 0;
        auto level = pla013::appserver::parseLogLevel(options.logLevel);
        serverOptions.logLevel = level ? *level : pla013::appserver::LogLevel::Quiet;
        if (hooks.serverLog) serverOptions.logSink = hooks.serverLog;
        const std::string db = m_db->target();
        m_server = std::make_unique<pla013::appserver::AppServer>(
            [db]() -> std::unique_ptr<host::IDatabase> { return pla013::db::openDatabase(db); }, serverOptions);
        m_server->start();
        m_serverHost = m_server->host();
        m_serverPort = m_server->port();
    } else {
        parseAddress(options.server, m_serverHost, m_serverPort);
    }
    m_transport = std::make_unique<pla013::net::HttpTransport>();
    m_context = std::make_unique<HostContext>(options, picture, m_serverHost, m_serverPort);

    pla013::reports::ReportRunnerOptions reportOptions;
    reportOptions.database = m_db.get();
    reportOptions.previewSink = hooks.preview;
    reportOptions.reportLine = hooks.reportLine;
    reportOptions.progress = hooks.progress;
    m_reports = std::make_unique<pla013::reports::ReportRunner>(reportOptions);
#ifdef PLA013_WITH_PDF
    pla013::reports::installPdfSupport(*m_reports);
#endif

    host::Ports ports;
    ports.context = m_context.get();
    ports.database = m_db.get();
    ports.transport = m_transport.get();
    ports.ui = &ui;
    ports.reports = m_reports.get();
    host::Install(ports);
}

HostSession::~HostSession() {
    host::Install(host::Ports{});
    if (m_server) m_server->stop();
}

std::string HostSession::serverAddress() const { return m_serverHost + ":" + std::to_string(m_serverPort); }

std::string HostSession::databaseTarget() const { return m_db->target(); }

}  // namespace pla013::runtime
