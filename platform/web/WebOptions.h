#pragma once
// What the command line of pla013-web asks for:
//
//   pla013-web [--db PATH|URL] [--listen HOST:PORT] [--tls-cert FILE --tls-key FILE] [--plain-http]
//              [--server A,B] [--branch CODE] [--module CHAR] [--date YYYY-MM-DD] [--reports DIR]
//              [--max-forms N] [--forms-per-session N] [--idle-timeout SECONDS] [--file-lifetime SECONDS]
//              [--files DIR] [--origin URL]... [--proxy ADDRESS] [--driver PATH] [--log-level LEVEL]
//
// The same listening rules as the application server: plain HTTP only on
// loopback, unless --plain-http says that a proxy in front adds TLS.

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "platform/runtime/HostOptions.h"
#include "platform/web/FormRegistry.h"
#include "platform/web/internal/HttpListener.h"

namespace pla013::web {

struct WebOptions {
    bool help = false;
    // --db, --server, --branch (the office's branch, for operators of every
    // branch), --module, --date, --reports, --log-level.
    runtime::HostOptions context;
    std::string listenHost = "127.0.0.1";
    int listenPort = 8014;
    std::optional<internal::TlsFiles> tls;
    bool plainHttp = false;
    // Origins besides the request's own host that may send state-changing
    // requests (a proxy that rewrites Host).
    std::vector<std::string> origins;
    // The address of a proxy in front: its X-Forwarded-For names the client.
    std::string proxy;
    // Where report files are kept; empty: a fresh folder of the system's
    // temporary folder, removed at the end.
    std::string files;
    // The command-line host that runs each form; empty: pla013 beside this
    // executable.
    std::string driver;
    FormLimits forms;
    std::chrono::seconds fileLifetime{60 * 60};

    // Reads the arguments after the program name; std::invalid_argument
    // with a clear text naming the option otherwise.
    static WebOptions parse(std::vector<std::string> args);
    static std::string usage();

    // Cookies are Secure except for plain HTTP on loopback (development).
    bool secureCookies() const;
};

}  // namespace pla013::web
