#include "platform/appserver/AppServer.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <mutex>
#include <sstream>

#include <malloc.h>

#include "host/Errors.h"
#include "platform/appserver/CallDispatcher.h"
#include "platform/appserver/CostModule.h"
#include "platform/appserver/RecipeModule.h"
#include "platform/appserver/internal/HttpServer.h"
#include "platform/net/Protocol.h"
#include "platform/net/ProtocolError.h"

namespace pla013::appserver {

namespace errc = net::errc;
using internal::HttpRequest;
using internal::HttpResponse;
using internal::Refusal;

namespace {

std::string millis(std::chrono::steady_clock::duration d) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.1f", std::chrono::duration<double, std::milli>(d).count());
    return buf;
}

HttpResponse jsonAnswer(int status, std::string body) { return {status, std::move(body), net::kJsonContentType}; }

}  // namespace

struct AppServer::Impl {
    AppServerOptions options;
    SessionPool sessions;
    CallDispatcher dispatcher;
    std::atomic<LogLevel> level;
    std::mutex logMutex;

    std::mutex lifecycle;  // start and stop
    std::unique_ptr<internal::HttpServer> server;
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

    HttpResponse handle(HttpRequest& req) {
        try {
            const std::string path = req.path();
            if (req.method == "POST" && path == net::kCallPath) return handleCall(req);
            if (req.method == "GET" && path == net::kHealthPath) return handleHealth();
            log(LogLevel::Debug, "request " + req.method + " " + path + " status=404");
            return jsonAnswer(404, net::encodeError(errc::NotFound, "O caminho " + req.method + " " + path +
                                                                        " não existe; as chamadas vão por POST " +
                                                                        net::kCallPath + "."));
        } catch (const std::exception& e) {
            log(LogLevel::Info, std::string("request failed: ") + e.what());
        } catch (...) {}
        return jsonAnswer(500, net::encodeError(errc::ServerError, "Erro interno do servidor."));
    }

    HttpResponse handleCall(const HttpRequest& req) {
        const auto start = std::chrono::steady_clock::now();
        CallOutcome outcome = dispatcher.dispatch(req.body);
        HttpResponse res = jsonAnswer(outcome.status, std::move(outcome.body));
        if (level.load() == LogLevel::Quiet) return res;

        std::ostringstream line;
        line << "call " << (outcome.call.empty() ? "-" : outcome.call) << " status=" << outcome.status
             << " rows=" << outcome.rows << " ms=" << millis(std::chrono::steady_clock::now() - start);
        if (!outcome.errorCode.empty()) line << " error=" << outcome.errorCode;
        if (level.load() == LogLevel::Debug) {
            line << " peer=" << req.peerAddress << ":" << req.peerPort << " in=" << req.body.size()
                 << " out=" << res.body.size();
            if (!outcome.errorMessage.empty()) line << " message=\"" << outcome.errorMessage << "\"";
        }
        log(LogLevel::Info, line.str());
        return res;
    }

    HttpResponse handleHealth() {
        const nlohmann::json body = {
            {"version", net::kProtocolVersion}, {"status", "ok"}, {"modules", dispatcher.describe()}};
        return jsonAnswer(200, body.dump());
    }

    // Requests that never reached a handler: what the client reads, and a
    // log line with the peer.
    HttpResponse handleRefusal(Refusal why, const std::string& peer, const std::string& detail) {
        std::string code = errc::BadRequest;
        std::string message = "Requisição HTTP inválida.";
        switch (why) {
            case Refusal::BadRequest: break;
            case Refusal::Timeout:
                code = errc::RequestTimeout;
                message = "A requisição não chegou inteira em " + millis(options.readTimeout) + " ms.";
                break;
            case Refusal::TargetTooLong:
                code = errc::UriTooLong;
                message = "O endereço da requisição é longo demais.";
                break;
            case Refusal::HeaderTooLarge:
                code = errc::HeaderTooLarge;
                message = "Os cabeçalhos da requisição são grandes demais.";
                break;
            case Refusal::BodyTooLarge:
                code = errc::PayloadTooLarge;
                message = "O corpo da chamada excede o limite de " + std::to_string(options.maxBodyBytes) + " bytes.";
                break;
            case Refusal::TooManyConnections:
                code = errc::TooManyConnections;
                message = "O servidor está com conexões demais; tente de novo em instantes.";
                break;
        }
        const int status = internal::statusOf(why);
        log(LogLevel::Info, "request refused status=" + std::to_string(status) + " error=" + code + " peer=" + peer +
                                (detail.empty() ? std::string() : " detail=\"" + detail + "\""));
        return jsonAnswer(status, net::encodeError(code, message));
    }

    // A large call leaves its worker's allocator arena holding what the
    // rows, the packets and the answer took; without this each worker keeps
    // the peak of the largest call it ever served.
    static void releaseMemory(std::size_t answerBytes) {
        constexpr std::size_t kLargeAnswer = std::size_t(1) << 20;
        if (answerBytes >= kLargeAnswer) ::malloc_trim(0);
    }

    std::unique_ptr<internal::HttpServer> makeServer() {
        internal::HttpLimits limits;
        limits.maxBodyBytes = options.maxBodyBytes;
        limits.requestTimeout = options.readTimeout;
        limits.writeTimeout = options.writeTimeout;
        limits.workers = options.workerThreads > 0 ? options.workerThreads : 1;
        auto server = std::make_unique<internal::HttpServer>(
            limits, [this](HttpRequest& req) { return handle(req); },
            [this](Refusal why, const std::string& peer, const std::string& detail) {
                return handleRefusal(why, peer, detail);
            });
        server->onAnswerSent(releaseMemory);
        server->onTlsRefused([this](const std::string& peer, const std::string& detail) {
            log(LogLevel::Info, "request refused error=tls_handshake peer=" + peer + " detail=\"" + detail + "\"");
        });
        return server;
    }

    // Both files or neither (the command lines check it first; a caller of
    // the library may not have).
    void setUpTls(internal::HttpServer& server) {
        const std::string& certificate = options.tlsCertFile;
        const std::string& key = options.tlsKeyFile;
        if (certificate.empty() && key.empty()) return;
        if (certificate.empty() || key.empty())
            throw host::EHostError(
                "O servidor de aplicação precisa do certificado TLS e da sua chave privada; foi "
                "dado só " +
                (certificate.empty() ? "a chave, " + key : "o certificado, " + certificate) + ".");
        try {
            server.useTls(certificate, key);
        } catch (const internal::TlsSetupError& e) {
            log(LogLevel::Info, std::string("tls setup failed: ") + e.detail());
            throw host::EHostError(e.what());
        }
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

    auto server = d.makeServer();
    d.setUpTls(*server);
    const std::string where = d.options.host + ":" + std::to_string(d.options.port);
    int bound = 0;
    try {
        if (d.options.port >= 0 && d.options.port <= 65535) bound = server->bind(d.options.host, d.options.port);
    } catch (const std::exception& e) {
        d.log(LogLevel::Debug, e.what());
    }
    if (bound <= 0)
        throw host::EHostError("O servidor de aplicação não pôde escutar em " + where +
                               " (endereço inválido ou porta em uso).");
    server->start();
    d.server = std::move(server);
    d.port = bound;
    d.log(LogLevel::Debug, "listening on " + d.options.host + ":" + std::to_string(bound) +
                               (d.options.tlsCertFile.empty() ? "" : " tls"));
}

void AppServer::stop() {
    Impl& d = *m_impl;
    std::lock_guard<std::mutex> lock(d.lifecycle);
    if (!d.server) return;
    d.server->stop();
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
