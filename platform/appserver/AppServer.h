#pragma once
// The application server: serves the remote data modules CUS00000.rdmCustProd
// and PLA01303.rdmEmissaoReceitas over HTTP (docs/protocol.md).
//
//   POST /call       one late-bound call, JSON in and out
//   GET  /health     {"version":1,"status":"ok","signin":...,"modules":{...}}
//   POST /session    sign-in: operator and password give a token
//   DELETE /session  sign-out of the token's session
//
// Every call runs on a worker thread with a database session of its own
// (SessionPool), logs one line (module.method, status, rows, time) at level
// info, and every bad request gets {"error":{"code","message"}} with a
// non-2xx status while the server goes on serving.

#include <memory>
#include <string>

#include "platform/appserver/AppServerOptions.h"
#include "platform/appserver/SessionPool.h"

namespace pla013::appserver {

class AppServer {
public:
    // Sessions come from factory, at most options.workerThreads of them.
    AppServer(SessionPool::Factory factory, AppServerOptions options = {});
    // One session shared by all calls, one call at a time; db must outlive
    // the server.
    AppServer(db::SociDatabase& db, AppServerOptions options = {});
    ~AppServer();  // stops
    AppServer(const AppServer&) = delete;
    AppServer& operator=(const AppServer&) = delete;

    // Opens one database session (so that a database that cannot be reached
    // fails here), reads the TLS certificate and key when options name them,
    // binds options.host:options.port and serves in the background.
    // EHostError when the database cannot be opened, a TLS file cannot be
    // read or the key is not the certificate's (the message names the file),
    // or the address cannot be bound; calling it while running does nothing.
    void start();
    // Stops accepting, lets running calls finish, and returns when every
    // worker has ended. Safe to call twice.
    void stop();
    bool running() const;

    // The port actually bound (the free one chosen for port 0); 0 when not
    // running.
    int port() const;
    const std::string& host() const;
    // "host:port".
    std::string address() const;

    void setLogLevel(LogLevel level);
    LogLevel logLevel() const;

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

}  // namespace pla013::appserver
