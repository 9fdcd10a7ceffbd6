#include "platform/appserver/AppServer.h"

#include <atomic>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <mutex>
#include <optional>
#include <sstream>
#include <string_view>

#include <malloc.h>

#include "host/Errors.h"
#include "platform/appserver/AuditLog.h"
#include "platform/appserver/CallDispatcher.h"
#include "platform/appserver/CostModule.h"
#include "platform/appserver/RecipeModule.h"
#include "platform/appserver/internal/HttpServer.h"
#include "platform/appserver/internal/RefusalCounter.h"
#include "platform/net/Protocol.h"
#include "platform/net/ProtocolError.h"
#include "platform/net/ResultEncoder.h"

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

HttpResponse jsonAnswer(int status, std::string body) {
    return {status, std::move(body), net::kJsonContentType, {}, {}};
}

HttpResponse errorAnswer(const std::string& code, const std::string& message) {
    return jsonAnswer(CallDispatcher::statusOf(code), net::encodeError(code, message));
}

// An answer larger than this goes out as it is encoded (chunked); a smaller
// one is encoded whole and sent with its length.
constexpr std::size_t kAnswerPiece = std::size_t(256) << 10;

// "30 s", "1,5 s", "200 ms".
std::string secondsText(std::chrono::milliseconds ms) {
    if (ms.count() < 1000) return std::to_string(ms.count()) + " ms";
    if (ms.count() % 1000 == 0) return std::to_string(ms.count() / 1000) + " s";
    std::string text = std::to_string(ms.count() / 1000) + "," + std::to_string(ms.count() % 1000 / 100);
    return text + " s";
}

// The token of "Authorization: Bearer TOKEN"; empty when there is none.
std::string bearerToken(const std::string& field) {
    constexpr std::string_view scheme = "bearer ";
    if (field.size() <= scheme.size()) return {};
    for (std::size_t i = 0; i < scheme.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(field[i])) != scheme[i]) return {};
    std::string token = field.substr(scheme.size());
    const auto b = token.find_first_not_of(' ');
    return b == std::string::npos ? std::string() : token.substr(b, token.find_last_not_of(' ') - b + 1);
}

}  // namespace

struct AppServer::Impl {
    AppServerOptions options;
    SessionPool sessions;
    CallDispatcher dispatcher;
    std::atomic<LogLevel> level;
    std::mutex logMutex;
    AccessControl access;
    // Declared after the sessions it writes through: it goes first.
    std::unique_ptr<AuditLog> audit;

    // Refused and closed connections, counted per address and interval.
    internal::RefusalCounter refusals{std::chrono::seconds(10),
                                      [this](const std::string& line) { log(LogLevel::Info, line); }};

    std::mutex lifecycle;  // start and stop
    std::unique_ptr<internal::HttpServer> server;
    std::atomic<int> port{0};
    std::string healthBody;  // answered on the I/O thread

    Impl(SessionPool::Factory factory, AppServerOptions o)
        : options(std::move(o)),
          sessions(std::move(factory), std::size_t(options.workerThreads > 0 ? options.workerThreads : 1)),
          dispatcher(sessions),
          level(options.logLevel),
          access(options.access) {
        addModules();
    }
    Impl(db::SociDatabase& db, AppServerOptions o)
        : options(std::move(o)), sessions(db), dispatcher(sessions), level(options.logLevel), access(options.access) {
        addModules();
    }

    void addModules() {
        dispatcher.addModule(std::make_unique<CostModule>());
        dispatcher.addModule(std::make_unique<RecipeModule>());
        if (options.audit)
            audit = std::make_unique<AuditLog>(
                [this](const std::function<void(db::SociDatabase&)>& work) {
                    SessionPool::Lease lease = sessions.acquire();
                    work(lease.database());
                },
                [this](const std::string& line) { log(LogLevel::Info, line); });
    }

    void record(const std::string& event, const std::string& operatorCode, const HttpRequest& req, std::string detail) {
        if (audit) audit->record({access.now(), event, operatorCode, req.peerAddress, std::move(detail)});
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
            if (req.method == "POST" && path == net::kSessionPath) return handleSignIn(req);
            if (req.method == "DELETE" && path == net::kSessionPath) return handleSignOut(req);
            log(LogLevel::Debug, "request " + req.method + " " + path + " status=404");
            return jsonAnswer(404, net::encodeError(errc::NotFound, "O caminho " + req.method + " " + path +
                                                                        " não existe; as chamadas vão por POST " +
                                                                        net::kCallPath + "."));
        } catch (const std::exception& e) {
            log(LogLevel::Info, std::string("request failed: ") + e.what());
        } catch (...) {}
        return jsonAnswer(500, net::encodeError(errc::ServerError, "Erro interno do servidor."));
    }

    // The operator of the call's token. A server without sign-in takes
    // calls without one; a token, when sent, must be good everywhere.
    std::optional<HttpResponse> authenticate(const HttpRequest& req, std::optional<Caller>& caller) {
        const std::string token = bearerToken(req.authorization);
        if (token.empty() && req.authorization.empty() && options.auth == AuthMode::Off) return std::nullopt;
        std::string message = "É preciso entrar no servidor de aplicação (operador e senha) antes de chamá-lo.";
        if (!token.empty()) {
            TokenRefusal why = TokenRefusal::Unknown;
            {
                SessionPool::Lease lease = sessions.acquire();
                caller = access.authenticate(lease.database(), token, &why);
            }
            if (caller) return std::nullopt;
            message = why == TokenRefusal::Expired ? "A sessão expirou; entre de novo com operador e senha."
                                                   : "A sessão não existe ou foi encerrada; entre de novo.";
        }
        record("recusa", "", req, std::string("sem sessão válida: ") + net::kCallPath);
        log(LogLevel::Info, "call refused status=401 error=unauthenticated peer=" + req.peerAddress);
        return errorAnswer(errc::Unauthenticated, message);
    }

    HttpResponse handleCall(const HttpRequest& req) {
        const auto start = std::chrono::steady_clock::now();
        std::optional<Caller> caller;
        try {
            if (auto refused = authenticate(req, caller)) return *refused;
        } catch (const std::exception& e) {
            log(LogLevel::Info, std::string("call failed: sessions: ") + e.what());
            return errorAnswer(errc::DatabaseError, "As sessões do servidor não puderam ser lidas no banco de dados.");
        }
        CallOutcome outcome = dispatcher.dispatch(req.body, caller ? &*caller : nullptr, req.stop);
        if (req.stop.stop_requested() && !outcome.errorCode.empty()) interrupted(outcome, req);
        HttpResponse res;
        if (outcome.errorCode.empty()) res = encodeAnswer(outcome);
        if (!caller && (outcome.errorCode == errc::DatabaseError || outcome.errorCode == errc::ServerError)) {
            // Nobody signed in: the statement, the database and its host stay
            // in the log.
            log(LogLevel::Info, "call " + outcome.call + " " + outcome.errorCode + ": " + outcome.errorMessage);
            outcome.body = net::encodeError(
                outcome.errorCode, (outcome.errorCode == errc::DatabaseError ? "Erro ao consultar o banco de dados em "
                                                                             : "Erro interno do servidor em ") +
                                       outcome.call + "; os detalhes estão no registro do servidor.");
        }
        const std::string operatorCode = caller ? caller->operatorCode : std::string();
        if (outcome.errorCode == errc::ForbiddenBranch)
            record("recusa", operatorCode, req, outcome.call + " " + outcome.errorMessage);
        else if (!outcome.call.empty())
            record("chamada", operatorCode, req,
                   outcome.call + (outcome.branches.empty() ? "" : " filiais=" + outcome.branches) +
                       " status=" + std::to_string(outcome.status));
        if (!outcome.errorCode.empty()) res = jsonAnswer(outcome.status, std::move(outcome.body));
        if (level.load() == LogLevel::Quiet) return res;

        std::ostringstream line;
        line << "call " << (outcome.call.empty() ? "-" : outcome.call) << " status=" << outcome.status
             << " rows=" << outcome.rows << " ms=" << millis(std::chrono::steady_clock::now() - start);
        if (!outcome.errorCode.empty()) line << " error=" << outcome.errorCode;
        if (level.load() == LogLevel::Debug) {
            if (caller) line << " operator=" << caller->operatorCode;
            line << " peer=" << req.peerAddress << ":" << req.peerPort << " in=" << req.body.size() << " out=";
            if (res.more)
                line << "streamed";
            else
                line << res.body.size();
            if (!outcome.errorMessage.empty()) line << " message=\"" << outcome.errorMessage << "\"";
        }
        log(LogLevel::Info, line.str());
        return res;
    }

    // A call stopped on the way: its budget passed (the client is told), or
    // the server stops for good.
    void interrupted(CallOutcome& outcome, const HttpRequest& req) {
        const bool late = std::chrono::steady_clock::now() >= req.deadline;
        log(LogLevel::Debug, "call " + outcome.call + " interrupted: " + outcome.errorMessage);
        outcome.errorCode = late ? errc::CallTimeout : errc::ServerError;
        outcome.status = CallDispatcher::statusOf(outcome.errorCode);
        outcome.errorMessage =
            late ? "A chamada " + outcome.call + " passou do limite de " + secondsText(options.callTimeout) +
                       " do servidor de aplicação e foi interrompida; restrinja o intervalo pedido ou tente mais tarde."
                 : "O servidor de aplicação parou durante a chamada " + outcome.call + ".";
        outcome.body = net::encodeError(outcome.errorCode, outcome.errorMessage);
    }

    // The success answer: whole when small, else encoded as it is sent, its
    // encoding checked whole first (nothing can be refused once the status
    // has gone out). An encoding failure becomes the outcome's error.
    HttpResponse encodeAnswer(CallOutcome& outcome) {
        // The encoder shares the result's packets: a copy of the value costs
        // nothing, and the check reads the same rows.
        const host::Variant result = std::move(outcome.result);
        auto encoder = std::make_shared<net::ResultEncoder>(result);
        HttpResponse res = jsonAnswer(200, {});
        try {
            if (!encoder->next(res.body, kAnswerPiece)) return res;
            net::ResultEncoder::check(result);
        } catch (const net::ProtocolError& e) {
            outcome.errorCode = errc::EncodingError;
            outcome.status = CallDispatcher::statusOf(outcome.errorCode);
            outcome.errorMessage = outcome.call + ": " + e.what();
            outcome.body = net::encodeError(outcome.errorCode, outcome.errorMessage);
            return {};
        }
        res.more = [encoder](std::string& out) { return encoder->next(out, kAnswerPiece); };
        return res;
    }

    HttpResponse handleHealth() { return jsonAnswer(200, healthBody); }

    // Requests answered on the I/O thread: the health check, so that it is
    // never behind the calls.
    std::optional<HttpResponse> quickAnswer(const HttpRequest& req) {
        if (req.method != "GET" || req.path() != net::kHealthPath) return std::nullopt;
        log(LogLevel::Debug, "request GET " + std::string(net::kHealthPath) + " status=200 peer=" + req.peerAddress);
        return handleHealth();
    }

    HttpResponse handleSignIn(const HttpRequest& req) {
        net::SignInRequest asked;
        try {
            asked = net::decodeSignIn(req.body);
        } catch (const net::ProtocolError& e) {
            return errorAnswer(e.code(), e.what());
        }
        SignInOutcome out;
        try {
            SessionPool::Lease lease = sessions.acquire();
            out = access.signIn(lease.database(), asked.operatorCode, asked.password, req.peerAddress);
        } catch (const std::exception& e) {
            log(LogLevel::Info, std::string("sign-in failed: ") + e.what());
            return errorAnswer(errc::DatabaseError, "A entrada não pôde ser verificada no banco de dados.");
        }
        using R = SignInOutcome::Result;
        const SignInVerdict verdict = verdictOf(out.result);
        const std::string& code = verdict.code;
        const std::string& event = verdict.event;
        record(event, out.operatorCode, req, code.empty() ? std::string() : code);
        log(LogLevel::Info, "sign-in operator=" + out.operatorCode + " peer=" + req.peerAddress +
                                (code.empty() ? " status=200" : " error=" + code));
        if (out.result == R::SignedIn) return jsonAnswer(200, net::encodeSignInAnswer({out.token, out.expiresIn}));
        HttpResponse res = errorAnswer(code, out.message);
        if (out.retryAfter > 0) res.headers.emplace_back("Retry-After", std::to_string(out.retryAfter));
        return res;
    }

    HttpResponse handleSignOut(const HttpRequest& req) {
        const std::string token = bearerToken(req.authorization);
        std::optional<Caller> caller;
        bool ended = false;
        try {
            SessionPool::Lease lease = sessions.acquire();
            caller = access.authenticate(lease.database(), token);
            ended = caller && access.signOut(lease.database(), token);
        } catch (const std::exception& e) {
            log(LogLevel::Info, std::string("sign-out failed: ") + e.what());
            return errorAnswer(errc::DatabaseError, "A saída não pôde ser registrada no banco de dados.");
        }
        if (!ended) return errorAnswer(errc::Unauthenticated, "A sessão não existe ou já foi encerrada.");
        record("saida", caller->operatorCode, req, {});
        return {204, {}, {}, {}, {}};
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
            case Refusal::TooManyCalls:
                code = errc::TooManyCalls;
                message = detail == "expired"
                              ? "O servidor de aplicação está ocupado: a chamada esperou " +
                                    secondsText(options.callTimeout) +
                                    " pela sua vez e não foi executada; tente de novo em instantes."
                              : "O servidor de aplicação está ocupado com chamadas demais; a chamada não foi "
                                "executada; tente de novo em instantes.";
                break;
        }
        const int status = internal::statusOf(why);
        if (level.load() != LogLevel::Quiet)
            refusals.note("request refused status=" + std::to_string(status) + " error=" + code, peer,
                          detail.empty() ? std::string() : " detail=\"" + detail + "\"");
        HttpResponse answer = jsonAnswer(status, net::encodeError(code, message));
        if (status == 503) answer.headers.emplace_back("Retry-After", "1");
        return answer;
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
        limits.maxConnections = options.maxConnections;
        limits.maxConnectionsPerAddress = options.maxConnectionsPerAddress;
        limits.maxWaitingCalls = options.maxWaitingCalls;
        limits.maxCallsPerAddress = options.maxCallsPerAddress;
        limits.callTimeout = options.callTimeout;
        limits.maxHeldBytes = options.maxHeldBytes;
        limits.heldTimeout = options.answerStall;
        limits.stopGrace = options.stopGrace;
        auto server = std::make_unique<internal::HttpServer>(
            limits, [this](HttpRequest& req) { return handle(req); },
            [this](Refusal why, const std::string& peer, const std::string& detail) {
                return handleRefusal(why, peer, detail);
            });
        server->answerQuickly([this](const HttpRequest& req) { return quickAnswer(req); });
        server->onAnswerSent(releaseMemory);
        server->onAbandoned([this](const std::string& peer, std::size_t sent, const std::string& why) {
            log(LogLevel::Info,
                "answer abandoned peer=" + peer + " sent=" + std::to_string(sent) + " reason=\"" + why + "\"");
        });
        server->onEvicted([this](const std::string& peer) {
            if (level.load() != LogLevel::Quiet) refusals.note("connection closed reason=idle_evicted", peer);
        });
        server->onTick([this] { refusals.flush(); });
        server->onGraceOver([this](std::size_t connections) {
            log(LogLevel::Info, "stopping: grace of " + std::to_string(options.stopGrace.count()) +
                                    " ms over, closing " + std::to_string(connections) + " connection(s)");
        });
        server->onTlsRefused([this](const std::string& peer, const std::string& detail) {
            if (level.load() != LogLevel::Quiet)
                refusals.note("request refused error=tls_handshake", internal::clientAddressKey(peer),
                              " detail=\"" + detail + "\"");
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

AppServer::AppServer(db::SociDatabase& db, AppServerOptions options)
    : m_impl(std::make_unique<Impl>(db, std::move(options))) {}

AppServer::~AppServer() { stop(); }

void AppServer::start() {
    Impl& d = *m_impl;
    std::lock_guard<std::mutex> lock(d.lifecycle);
    if (d.server) return;

    { SessionPool::Lease probe = d.sessions.acquire(); }

    d.healthBody = nlohmann::json({{"version", net::kProtocolVersion},
                                   {"status", "ok"},
                                   {"signin", d.options.auth == AuthMode::Required ? "required" : "optional"},
                                   {"modules", d.dispatcher.describe()}})
                       .dump();
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
    d.refusals.flush(std::chrono::steady_clock::now(), true);
    if (d.audit) d.audit->flush();
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
