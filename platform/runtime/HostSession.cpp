#include "platform/runtime/HostSession.h"

#include <cstdlib>

#include "platform/appserver/AppServer.h"
#include "platform/appserver/AuditLog.h"
#include "platform/db/DatabaseInitializer.h"
#include "platform/db/SociDatabase.h"
#include "platform/net/HostPort.h"
#include "platform/net/HttpTransport.h"
#include "platform/reports/ReportRunner.h"

namespace pla013::runtime {

HostSession::HostSession(const HostOptions& options, host::IUserInterface& ui, Hooks hooks) {
    m_db = pla013::db::openDatabase(options.db);
    const host::DishPicture picture = HostContext::loadDishPicture(*m_db);

    std::vector<pla013::net::HostPort> servers;
    if (options.server.empty()) {
        // The embedded default: the same server code, on a free loopback port.
        pla013::appserver::AppServerOptions serverOptions;
        serverOptions.host = "127.0.0.1";
        serverOptions.port = 0;
        auto level = pla013::appserver::parseLogLevel(options.logLevel);
        serverOptions.logLevel = level ? *level : pla013::appserver::LogLevel::Quiet;
        if (hooks.serverLog) serverOptions.logSink = hooks.serverLog;
        const std::string db = m_db->target();
        m_server = std::make_unique<pla013::appserver::AppServer>([db] { return pla013::db::openDatabase(db); },
                                                                  serverOptions);
        m_server->start();
        servers.push_back({m_server->host(), m_server->port()});
    } else {
        // HostOptions has checked the list. The module calls the first; the
        // transport takes the others when it is down.
        servers = pla013::net::HostPort::parseList(options.server);
    }
    m_serverHost = servers.front().host;
    m_serverPort = servers.front().port;
    m_servers = pla013::net::formatHostPortList(servers);
    pla013::net::HttpTransportOptions transportOptions;
    transportOptions.caFile = options.ca;
    m_transport = std::make_unique<pla013::net::HttpTransport>(transportOptions, servers);
    // The operator the form knows is the one who signed in.
    HostOptions contextOptions = options;
    if (!m_server) {
        m_signedIn = signIn(options.operatorCode, hooks);
        if (!m_signedIn.empty()) contextOptions.operatorCode = m_signedIn;
    }
    m_context = std::make_unique<HostContext>(contextOptions, picture, m_serverHost, m_serverPort);

    pla013::reports::ReportRunnerOptions reportOptions;
    reportOptions.database = m_db.get();
    reportOptions.previewSink = hooks.preview;
    // Each run goes on record with the operator the form knows.
    reportOptions.reportLine = [this, line = hooks.reportLine](const std::string& text) {
        recordReport(text);
        if (line) line(text);
    };
    reportOptions.progress = hooks.progress;
    reportOptions.stop = hooks.stop;
    reportOptions.stoppableRead = [db = m_db.get()](const std::function<void()>& read, std::stop_token stop) {
        db->RunStoppable(read, std::move(stop));
    };
    // The database stops a definition's statement at the runner's limit.
    m_db->setReadOnlyStatementTimeout(reportOptions.statementTimeout);
    m_reports = std::make_unique<pla013::reports::ReportRunner>(reportOptions);

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
    if (m_transport) m_transport->signOut();
    if (m_server) m_server->stop();
}

std::string HostSession::signIn(const std::string& operatorCode, const Hooks& hooks) {
    if (!hooks.sessionToken.empty()) {
        m_transport->useSession(hooks.sessionToken);
        return operatorCode;
    }
    const char* given = std::getenv("PLA013_PASSWORD");
    bool required = false;
    try {
        required = m_transport->signInRequired();
    } catch (const host::EHostError&) {
        // A server that does not answer now fails each call with its reason.
    }
    if (!required && !given) return {};
    std::string code = operatorCode;
    std::string refusal;
    std::optional<std::string> password;
    if (given) password = given;
    for (;;) {
        if (!password) {
            auto asked = hooks.askCredentials ? hooks.askCredentials(code, refusal) : std::nullopt;
            if (!asked) {
                if (!refusal.empty()) throw host::EHostError(refusal);
                throw host::EHostError("O servidor de aplicação em " + m_servers +
                                       " exige a entrada do operador: informe a senha em PLA013_PASSWORD ou rode "
                                       "num terminal, que ela será pedida.");
            }
            code = asked->first;
            password = asked->second;
        }
        try {
            m_transport->signIn(code, *password);
            return code;
        } catch (const pla013::net::SignInRefused& e) {
            refusal = e.what();
            password.reset();
        }
    }
}

void HostSession::recordReport(const std::string& line) {
    std::string what = line.rfind("report: ", 0) == 0 ? line.substr(8) : line;
    if (const auto& outcome = m_reports->lastOutcome()) what = outcome->reportId + " " + what;
    try {
        pla013::appserver::AuditLog::write(
            *m_db, {{pla013::appserver::AuditLog::systemNow(), "relatorio", m_context->Operador(), "", what}});
    } catch (const std::exception&) {
        // The record is for the administrator; a report that ran is not
        // undone because the record could not be written.
    }
}

host::INetTransport& HostSession::transport() { return *m_transport; }

host::Variant HostSession::callServer(const std::string& host, int port, const std::string& serverName,
                                      const std::string& method, const std::vector<host::CallArg>& args,
                                      std::stop_token stop) {
    return m_transport->Call(host, port, serverName, method, args, std::move(stop));
}

std::string HostSession::serverAddress() const { return m_servers; }

std::string HostSession::databaseTarget() const { return m_db->target(); }

}  // namespace pla013::runtime
