#pragma once
#include <functional>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <utility>
#include <vector>

#include "host/Ports.h"
#include "platform/runtime/HostContext.h"
#include "platform/runtime/HostOptions.h"

namespace pla013::db {
class SociDatabase;
}
namespace pla013::appserver {
class AppServer;
}
namespace pla013::net {
class HttpTransport;
}
namespace pla013::reports {
class ReportRunner;
struct PreviewPages;
}  // namespace pla013::reports

namespace pla013::runtime {

// Everything the host gives the module, assembled from the options: the
// catering database, the application server (embedded on a free loopback
// port unless --server names one), its transport, the working context and the
// report dialog. Installs the ports for its lifetime.
class HostSession {
public:
    struct Hooks {
        // Receives the pages of a preview.
        std::function<void(const pla013::reports::PreviewPages&)> preview;
        // Receives the "report: ..." line of each run.
        std::function<void(const std::string&)> reportLine;
        // Progress of a long report run: stage, done, total.
        std::function<void(const std::string&, std::size_t, std::size_t)> progress;
        // Receives the embedded server's request log lines.
        std::function<void(const std::string&)> serverLog;
        // Stops the report runs (a signal on the command line).
        std::stop_token stop;
        // Asks for operator and password when the server requires sign-in
        // and PLA013_PASSWORD gives none (or was refused): operatorCode is
        // the one of the options or of the last attempt, refusal why the
        // last attempt failed (empty the first time). Nothing: the user
        // gave up.
        std::function<std::optional<std::pair<std::string, std::string>>(const std::string& operatorCode,
                                                                         const std::string& refusal)>
            askCredentials;
        // A session signed in elsewhere (the web host's, for its operator):
        // calls carry its token, and it is never ended here.
        std::string sessionToken;
    };

    HostSession(const HostOptions& options, host::IUserInterface& ui, Hooks hooks = {});
    ~HostSession();
    HostSession(const HostSession&) = delete;
    HostSession& operator=(const HostSession&) = delete;

    HostContext& context() { return *m_context; }
    pla013::db::SociDatabase& database() { return *m_db; }
    // The database in use as the user named it (file path or URL without password).
    std::string databaseTarget() const;
    pla013::reports::ReportRunner& reports() { return *m_reports; }
    // The application server's transport; a call given up (the silent
    // abort, its answer dropped) as soon as stop is asked.
    host::INetTransport& transport();
    host::Variant callServer(const std::string& host, int port, const std::string& serverName,
                             const std::string& method, const std::vector<host::CallArg>& args, std::stop_token stop);
    // "host:port" of the application server in use ("[host]:port" for IPv6);
    // "A, B" for several that stand in for one another.
    std::string serverAddress() const;
    bool embeddedServer() const { return m_server != nullptr; }
    // The operator signed in to the server; empty when the server asked for
    // no sign-in.
    const std::string& signedInOperator() const { return m_signedIn; }

private:
    std::unique_ptr<pla013::db::SociDatabase> m_db;
    std::unique_ptr<pla013::appserver::AppServer> m_server;
    std::unique_ptr<pla013::net::HttpTransport> m_transport;
    std::unique_ptr<HostContext> m_context;
    std::unique_ptr<pla013::reports::ReportRunner> m_reports;
    std::string m_serverHost;
    int m_serverPort = 0;
    std::string m_servers;
    std::string m_signedIn;

    // Signs in when the server requires it or a password is given; the
    // operator that signed in. EHostError when nobody could.
    std::string signIn(const std::string& operatorCode, const Hooks& hooks);
    void recordReport(const std::string& line);
};

}  // namespace pla013::runtime
