#pragma once
// The web host (pla013-web): serves the dish report form to browsers.
//
//   GET  /, /app.css, /app.js         the page (compiled in)
//   GET  /api/session                 who is signed in: operator, branches, CSRF token
//   POST /api/session                 sign-in: operator and password
//   DELETE /api/session               sign-out: ends the forms, the files and the session
//   POST /api/forms                   opens a form for a branch (one per browser tab)
//   GET  /api/forms/ID?after=N&wait=MS  the form's events after N (waiting up to MS)
//   GET  /api/forms/ID?snapshot=1     the form's whole state
//   POST /api/forms/ID                a user action: steps, a dialog's answer, a report, cancel,
//                                     clear the filters, close
//   GET  /api/files                   the session's report files
//   GET  /files/ID[?page=N]           a report file (a preview's page N)
//
// docs/web.md describes the requests and the rules. Sign-in goes to the
// catering database's sessions (the application server's own), so a session
// made on one web host or application server is good on every other over
// the same database; each form runs in a child process (FormProcess) that
// calls the application server with the operator's session, so the server's
// branch scope applies to everything the form asks.

#include <memory>
#include <string>

#include "platform/web/WebOptions.h"

namespace pla013::web {

class WebServer {
public:
    explicit WebServer(WebOptions options);
    ~WebServer();  // stops
    WebServer(const WebServer&) = delete;
    WebServer& operator=(const WebServer&) = delete;

    // Opens the database, starts the embedded application server when no
    // --server was given, binds and serves in the background.
    // std::runtime_error (or EHostError) with the reason when it cannot.
    void start();
    // Ends every form, then stops listening. Safe to call twice.
    void stop();

    int port() const;
    // "http://127.0.0.1:8014" (https with TLS).
    std::string url() const;
    // The database as given to the forms, and the application servers.
    std::string databaseTarget() const;
    std::string servers() const;

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

}  // namespace pla013::web
