#include "platform/appserver/AppServer.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <mutex>
#include <sstream>
#include <thread>

#include <sys/socket.h>

#include <httplib.h>

#include "host/Errors.h"
#include "platform/appserver/CallDispatcher.h"
#include "platform/appserver/CostModule.h"
#include "platform/appserver/RecipeModule.h"
#include "platform/net/Protocol.h"
#include "platform/net/ProtocolError.h"

namespace pla013::appserver {

namespace errc = net::errc;

namespace {

template <class Duration>
std::pair<time_t, time_t> secUsec(Duration d) {
    const auto us = std::chrono::duration_cast<std::chrono::microseconds>(d).count();
    return {time_t(us / 1000000), time_t(us % 1000000)};
}

std::string millis(std::chrono::steady_clock::duration d) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.1f", std::chrono::duration<double, std::milli>(d).count());
    return buf;
}

}  // namespace

struct AppServer::Impl {
    AppServerOptions options;
    SessionPool sessions;
    CallDispatcher dispatcher;
    std::atomic<LogLevel> level;
    std::mutex logMutex;

    std::mutex lifecycle;  // start and stop
    std::unique_ptr<httplib::Server> server;
    std::thread thread;
    int listenSocket = -1;  // the bound socket, set by the library's socket-options hook
    std::atomic<int> port{0};

    Impl(SessionPool::Factory factory, AppServerOptions o)
        : options(std::move(o)),
          sessions(std::move(factory), std::size_t(options.workerThreads > 0 ? options.workerThreads : 1)),
          dispatcher(sessions),
          level(options.logLevel) {
        addModules();
    }
    Impl(host::IDatabase& db, AppServerOptions o)
        : options(std::move(o)), sessions(db), dispatcher(sessions), level(options.logLevel) {
        addModules();
    }

    void addModules() {
        dispatcher.addModule(std::make_unique<CostModule>());
        dispatcher.addModule(std::make_unique<RecipeModule>());
    }

    void log(LogLevel atLeast, const std::string& line) {
        if (level.load() == LogLevel::Quiet || int(level.load()) < int(atLeast)) return;
        std::lock_guard<std::mutex> lock(logMutex);
        if (options.logSink)
            options.logSink(line);
        else
            std::cerr << line << std::endl;
    }

    void handleCall(const httplib::Request& req, httplib::Response& res) {
        const auto start = std::chrono::steady_clock::now();
        CallOutcome outcome = dispatcher.dispatch(req.body);
        res.status = outcome.status;
        res.set_content(std::move(outcome.body), net::kJsonContentType);
        if (level.load() == LogLevel::Quiet) return;

        std::ostringstream line;
        line << "call " << (outcome.call.empty() ? "-" : outcome.call) << " status=" << outcome.status
             << " rows=" << outcome.rows << " ms=" << millis(std::chrono::steady_clock::now() - start);
        if (!outcome.errorCode.empty()) line << " error=" << outcome.errorCode;
        if (level.load() == LogLevel::Debug) {
            line << " peer=" << req.remote_addr << ":" << req.remote_port << " in=" << req.body.size()
                 << " out=" << res.body.size();
            if (!outcome.errorMessage.empty()) line << " message=\"" << outcome.errorMessage << "\"";
        }
        log(LogLevel::Info, line.str());
    }

    void handleHealth(const httplib::Request&, httplib::Response& res) {
        const nlohmann::json body = {
            {"version", net::kProtocolVersion}, {"status", "ok"}, {"modules", dispatcher.describe()}};
        res.status = 200;
        res.set_content(body.dump(), net::kJsonContentType);
    }

    // Answers that the library produced itself (no route, body too large,
    // unreadable request) get our error body too.
    httplib::Server::HandlerResponse handleError(const httplib::Request& req, httplib::Response& res) {
        if (!res.body.empty()) return httplib::Server::HandlerResponse::Unhandled;
        std::string code = errc::BadRequest;
        std::string message = "Requisição HTTP inválida.";
        if (res.status == 404) {
            code = errc::NotFound;
            message = "O caminho " + req.method + " " + req.path + " não existe; as chamadas vão por POST " +
                      net::kCallPath + ".";
        } else if (res.status == 413) {
            code = errc::PayloadTooLarge;
            message = "O corpo da chamada excede o limite de " + std::to_string(options.maxBodyBytes) + " bytes.";
        } else if (res.status >= 500) {
            code = errc::ServerError;
            message = "Erro interno do servidor.";
        }
        res.set_content(net::encodeError(code, message), net::kJsonContentType);
        return httplib::Server::HandlerResponse::Handled;
    }

    std::unique_ptr<httplib::Server> makeServer() {
        auto s = std::make_unique<httplib::Server>();
        // The library is compiled with Nagle's algorithm on: small answers
        // would wait for delayed acknowledgements.
        s->set_tcp_nodelay(true);
        // The library's default also sets SO_REUSEPORT, which lets a second
        // server bind the same port and silently take half of the calls.
        s->set_socket_options([this](socket_t sock) {
            int yes = 1;
            ::setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
            listenSocket = sock;
        });
        s->set_payload_max_length(options.maxBodyBytes);
        auto [rs, ru] = secUsec(options.readTimeout);
        s->set_read_timeout(rs, ru);
        auto [ws, wu] = secUsec(options.writeTimeout);
        s->set_write_timeout(ws, wu);
        s->set_keep_alive_max_count(100);
        s->set_keep_alive_timeout(std::max<time_t>(1, rs));
        const int threads = options.workerThreads > 0 ? options.workerThreads : 1;
        s->new_task_queue = [threads] { return new httplib::ThreadPool(std::size_t(threads)); };

        s->Post(net::kCallPath, [this](const httplib::Request& req, httplib::Response& res) { handleCall(req, res); });
        s->Get(net::kHealthPath,
               [this](const httplib::Request& req, httplib::Response& res) { handleHealth(req, res); });
        s->set_error_handler(httplib::Server::HandlerWithResponse(
            [this](const httplib::Request& req, httplib::Response& res) { return handleError(req, res); }));
        s->set_exception_handler([this](const httplib::Request&, httplib::Response& res, std::exception_ptr ep) {
            std::string what = "erro desconhecido";
            try {
                if (ep) std::rethrow_exception(ep);
            } catch (const std::exception& e) {
                what = e.what();
            } catch (...) {}
            res.status = 500;
            res.set_content(net::encodeError(errc::ServerError, "Erro interno do servidor: " + what),
                            net::kJsonContentType);
        });
        s->set_logger([this](const httplib::Request& req, const httplib::Response& res) {
            // Calls log themselves; this covers what never reached them.
            if (req.path == net::kCallPath && res.status != 413 && req.method == "POST") return;
            log(res.status == 413 ? LogLevel::Info : LogLevel::Debug,
                "request " + req.method + " " + req.path + " status=" + std::to_string(res.status) +
                    (res.status == 413 ? std::string(" error=") + errc::PayloadTooLarge : std::string()));
        });
        return s;
    }
};

AppServer::AppServer(SessionPool::Factory factory, AppServerOptions options)
    : m_impl(std::make_unique<Impl>(std::move(factory), std::move(options))) {}

AppServer::AppServer(host::IDatabase& db, AppServerOptions options)
    : m_impl(std::make_unique<Impl>(db, std::move(options))) {}

AppServer::~AppServer() { stop(); }

void AppServer::start() {
    Impl& d = *m_impl;
    std::lock_guard<std::mutex> lock(d.lifecycle);
    if (d.server) return;

    { SessionPool::Lease probe = d.sessions.acquire(); }

    d.listenSocket = -1;
    auto server = d.makeServer();
    const std::string where = d.options.host + ":" + std::to_string(d.options.port);
    int bound = -1;
    if (d.options.port == 0)
        bound = server->bind_to_any_port(d.options.host);
    else if (d.options.port > 0 && d.options.port <= 65535 && server->bind_to_port(d.options.host, d.options.port))
        bound = d.options.port;
    if (bound <= 0)
        throw host::EHostError("O servidor de aplicação não pôde escutar em " + where +
                               " (endereço inválido ou porta em uso).");

    // The library listens with a backlog of 5: under a burst of connections
    // the kernel drops the rest and their clients wait a second to retry.
    // Listening again on the bound socket raises it to the system's maximum.
    if (d.listenSocket >= 0) ::listen(d.listenSocket, SOMAXCONN);

    httplib::Server* s = server.get();
    d.thread = std::thread([s] { s->listen_after_bind(); });
    // stop() only takes effect once the accept loop runs.
    while (!s->is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    d.server = std::move(server);
    d.port = bound;
    d.log(LogLevel::Debug, "listening on " + d.options.host + ":" + std::to_string(bound));
}

void AppServer::stop() {
    Impl& d = *m_impl;
    std::lock_guard<std::mutex> lock(d.lifecycle);
    if (!d.server) return;
    d.server->stop();
    if (d.thread.joinable()) d.thread.join();
    d.server.reset();
    d.port = 0;
}

bool AppServer::running() const {
    std::lock_guard<std::mutex> lock(m_impl->lifecycle);
    return m_impl->server != nullptr;
}

int AppServer::port() const { return m_impl->port.load(); }

const std::string& AppServer::host() const { return m_impl->options.host; }

std::string AppServer::address() const { return host() + ":" + std::to_string(port()); }

void AppServer::setLogLevel(LogLevel level) { m_impl->level = level; }

LogLevel AppServer::logLevel() const { return m_impl->level.load(); }

}  // namespace pla013::appserver
