#include "platform/net/HttpTransport.h"

#include <algorithm>
#include <cctype>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <istream>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include <httplib.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include "host/Errors.h"
#include "platform/net/HostPort.h"
#include "platform/net/Protocol.h"
#include "platform/net/ProtocolError.h"
#include "platform/net/ResultShape.h"
#include "platform/net/internal/BytePipe.h"
#include "platform/net/internal/StreamDecoder.h"

namespace pla013::net {

namespace {

// Writing to a socket the peer has closed raises SIGPIPE, whose default action
// ends the process. cpp-httplib ignores it only when a Server is constructed,
// so a process that is only a client must do it itself. A handler installed
// by the application is left alone.
void ignoreSigpipe() {
    static std::once_flag once;
    std::call_once(once, [] {
        struct sigaction current {};
        if (sigaction(SIGPIPE, nullptr, &current) == 0 && current.sa_handler == SIG_DFL) std::signal(SIGPIPE, SIG_IGN);
    });
}

std::string millis(std::chrono::milliseconds ms) { return std::to_string(ms.count()) + " ms"; }

template <class Duration>
std::pair<time_t, time_t> secUsec(Duration d) {
    const auto us = std::chrono::duration_cast<std::chrono::microseconds>(d).count();
    return {time_t(us / 1000000), time_t(us % 1000000)};
}

// Seconds with one decimal, as the user reads them: "10,0 s".
std::string seconds(std::chrono::steady_clock::duration d) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", std::chrono::duration<double>(d).count());
    std::string out = text;
    std::replace(out.begin(), out.end(), '.', ',');
    return out + " s";
}

// A limit as the user reads it: "400 ms", "5 s", "1,5 s".
std::string limitText(std::chrono::milliseconds ms) {
    if (ms.count() < 950) return std::to_string(ms.count()) + " ms";
    ms = std::chrono::milliseconds((ms.count() + 50) / 100 * 100);  // what is left of a deadline, to a tenth
    if (ms.count() % 1000 == 0) return std::to_string(ms.count() / 1000) + " s";
    return seconds(ms);
}

using Clock = std::chrono::steady_clock;

std::chrono::milliseconds remaining(Clock::time_point deadline) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
}

// The whole-number text of a count, grouped as the user reads it: "1 000 000".
std::string grouped(std::size_t n) {
    const std::string digits = std::to_string(n);
    std::string out;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) out += ' ';
        out += digits[i];
    }
    return out;
}

// Stops the client once the deadline has passed. cpp-httplib holds its
// socket lock while it connects, so stop() may wait for the connection
// timeout (no longer than the deadline, see configure); and a stop that
// comes before the socket exists has nothing to shut, so it is repeated
// until the call returns.
// A stop asked by the caller stops the client the same way.
class Watchdog {
public:
    Watchdog(httplib::ClientImpl& client, std::chrono::steady_clock::time_point deadline, std::stop_token stop = {})
        : m_client(client), m_deadline(deadline), m_thread([this] { run(); }), m_onStop(std::move(stop), [this] {
              {
                  std::lock_guard<std::mutex> lock(m_mutex);
                  m_stopped = true;
              }
              m_wake.notify_all();
          }) {}
    ~Watchdog() {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_done = true;
        }
        m_wake.notify_all();
        m_thread.join();
    }
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

    bool fired() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_fired;
    }
    bool stopped() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_fired && m_stopped;
    }

private:
    void run() {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_wake.wait_until(lock, m_deadline, [this] { return m_done || m_stopped; });
        if (m_done) return;
        m_fired = true;
        while (!m_done) {
            lock.unlock();
            m_client.stop();
            lock.lock();
            m_wake.wait_for(lock, std::chrono::milliseconds(20), [this] { return m_done; });
        }
    }

    httplib::ClientImpl& m_client;
    const std::chrono::steady_clock::time_point m_deadline;
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_done = false;
    bool m_fired = false;
    bool m_stopped = false;
    std::thread m_thread;                                // starts once the members above exist
    std::stop_callback<std::function<void()>> m_onStop;  // last: may run at once
};

void configure(httplib::ClientImpl& client, const HttpTransportOptions& options) {
    // The library is compiled with Nagle's algorithm on; small calls would
    // wait for delayed acknowledgements.
    client.set_tcp_nodelay(true);
    client.set_keep_alive(false);
    client.set_follow_location(false);
    // No single step may outlast the whole call.
    auto [cs, cu] = secUsec(std::min(options.connectTimeout, options.deadline));
    client.set_connection_timeout(cs, cu);
    auto [rs, ru] = secUsec(std::min(options.readTimeout, options.deadline));
    client.set_read_timeout(rs, ru);
    auto [ws, wu] = secUsec(options.writeTimeout);
    client.set_write_timeout(ws, wu);
}

// A client for server: plain, or TLS 1.2 at least with the chain verified
// against caFile (the system's store without one) and the host name checked
// by OpenSSL itself, so that a mismatch has its own verification result.
// The TLS handshake is bounded by the connection timeout.
std::unique_ptr<httplib::ClientImpl> makeClient(const HostPort& server, const HttpTransportOptions& options) {
    if (!server.tls) return std::make_unique<httplib::ClientImpl>(server.host, server.port);
    auto client = std::make_unique<httplib::SSLClient>(server.host, server.port);
    client->enable_server_certificate_verification(true);
    if (!options.caFile.empty()) client->set_ca_cert_path(options.caFile);
    if (SSL_CTX* context = client->ssl_context()) {
        SSL_CTX_set_min_proto_version(context, TLS1_2_VERSION);
        X509_VERIFY_PARAM* check = SSL_CTX_get0_param(context);
        X509_VERIFY_PARAM_set_hostflags(check, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
        if (X509_VERIFY_PARAM_set1_ip_asc(check, server.host.c_str()) != 1)
            X509_VERIFY_PARAM_set1_host(check, server.host.c_str(), 0);
    }
    return client;
}

// Why a TLS server's certificate was not accepted, from OpenSSL's
// verification result (X509_V_OK: the host name check failed).
std::string untrusted(long verifyResult, const HostPort& server, const HttpTransportOptions& options) {
    std::string reason;
    switch (verifyResult) {
        case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
        case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
        case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
        case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
        case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
            reason = options.caFile.empty()
                         ? "foi emitido por uma autoridade certificadora que este computador não conhece (indique a "
                           "autoridade com --ca ARQUIVO)"
                         : "não foi emitido pela autoridade certificadora de " + options.caFile;
            break;
        case X509_V_ERR_CERT_HAS_EXPIRED: reason = "está vencido"; break;
        case X509_V_ERR_CERT_NOT_YET_VALID: reason = "ainda não vale (confira o relógio deste computador)"; break;
        case X509_V_ERR_CERT_REVOKED: reason = "foi revogado"; break;
        case X509_V_OK:
        case X509_V_ERR_HOSTNAME_MISMATCH:
        case X509_V_ERR_IP_ADDRESS_MISMATCH: reason = "foi emitido para outro nome, não para " + server.host; break;
        default:
            reason = std::string("não passou na verificação (") + X509_verify_cert_error_string(verifyResult) + ")";
    }
    return "o certificado do servidor não é confiável: " + reason + ".";
}

// What went wrong below HTTP, in the user's terms.
std::string transportFailure(httplib::Error error, const HttpTransportOptions& options, bool tooLarge) {
    switch (error) {
        case httplib::Error::Connection:
            return "o servidor não pode ser alcançado (conexão recusada ou máquina desconhecida).";
        case httplib::Error::ConnectionTimeout:
            return "o servidor não aceitou a conexão em " + millis(options.connectTimeout) + ".";
        case httplib::Error::Read:
            return "resposta incompleta: a conexão foi fechada ou nada chegou em " + millis(options.readTimeout) + ".";
        case httplib::Error::Write:
            return "a chamada não pôde ser enviada: a conexão foi fechada ou parou por " +
                   millis(options.writeTimeout) + ".";
        case httplib::Error::Canceled:
            if (tooLarge) return "a resposta é maior que " + std::to_string(options.maxResponseBytes) + " bytes.";
            return "a chamada foi cancelada.";
        case httplib::Error::SSLConnection:
            return "a conexão segura (TLS) não pôde ser estabelecida: o servidor recusou o acordo TLS ou não fala "
                   "TLS.";
        case httplib::Error::SSLLoadingCerts:
            return "o arquivo de autoridades certificadoras " + options.caFile +
                   " não pôde ser lido (ausente, ilegível ou não é PEM).";
        default: return "erro de transporte (" + httplib::to_string(error) + ").";
    }
}

// A server that took no part in the call: it could not be reached, or the
// request did not reach it whole (a server reads a request entirely before
// running it). Another server may take the call.
class ServerUnreachable : public host::EHostError {
public:
    ServerUnreachable(const std::string& context, const std::string& reason)
        : host::EHostError(context + ": " + reason), m_reason(reason) {}
    const std::string& reason() const { return m_reason; }

private:
    std::string m_reason;
};

bool beforeTheRequestWasSent(httplib::Error error) {
    return error == httplib::Error::Connection || error == httplib::Error::ConnectionTimeout ||
           error == httplib::Error::SSLConnection || error == httplib::Error::Write;
}

// Runs attempt(server, deadline) against each server of order until one
// takes part in the call, all within deadline. With one server its own
// error stands; with several, allDead prefixes the reason of each.
template <class Attempt>
auto firstReachable(const std::vector<HostPort>& order, const std::string& allDead, Clock::time_point deadline,
                    Attempt&& attempt) -> decltype(attempt(order.front(), deadline)) {
    std::string reasons;
    for (const HostPort& server : order) {
        if (!reasons.empty() && remaining(deadline).count() <= 0) {
            reasons += "; " + server.text() + ": não tentado, o prazo da chamada acabou";
            break;
        }
        try {
            return attempt(server, deadline);
        } catch (const ServerUnreachable& e) {
            if (order.size() == 1) throw;
            std::string reason = e.reason();
            if (!reason.empty() && reason.back() == '.') reason.pop_back();
            reasons += (reasons.empty() ? "" : "; ") + server.text() + ": " + reason;
        }
    }
    throw host::EHostError(allDead + ": nenhum deles responde (" + reasons + ").");
}

// A 503 of this protocol that says the server is full or busy: the call did
// not run there. The reason for the user.
std::optional<std::string> busyReason(int status, const std::string& body) {
    if (status != 503) return std::nullopt;
    const auto remote = decodeError(body);
    if (!remote || (remote->code != errc::TooManyConnections && remote->code != errc::TooManyCalls))
        return std::nullopt;
    std::string message = remote->message;
    if (!message.empty() && message.back() == '.') message.pop_back();
    return "servidor ocupado (" + message + ").";
}

struct Exchange {
    int status = 0;
    std::string body;  // unless decoded as it came
    long long retryAfter = 0;
    // A success answer of a call, decoded as it came.
    std::optional<internal::AnswerParts> answer;
};

// How exchange treats what it sends.
enum class Request {
    Effect,    // may change something: only a failure before it went out moves on
    NoEffect,  // changes nothing (the health check): every failure moves on
};

// The decoding of a success answer while it arrives, on a thread of its own
// fed through a pipe; whatever happens, the thread is joined on leaving.
class AnswerReader {
public:
    explicit AnswerReader(std::size_t maxRows) : m_maxRows(maxRows) {}
    ~AnswerReader() { finish(); }
    AnswerReader(const AnswerReader&) = delete;
    AnswerReader& operator=(const AnswerReader&) = delete;

    void begin() {
        m_pipe = std::make_unique<internal::BytePipe>(std::size_t(4) << 20);
        m_thread = std::thread([this] {
            std::istream in(m_pipe.get());
            try {
                m_parts = internal::readAnswer(in, "A resposta", m_maxRows);
            } catch (const internal::TooManyRows&) {
                m_tooManyRows = true;
            } catch (...) {
                m_failure = std::current_exception();
            }
            m_pipe->stopReading();
        });
    }
    bool started() const { return m_pipe != nullptr; }
    // False once the reader has stopped (the answer refused).
    bool feed(const char* data, std::size_t size) { return m_pipe->write(data, size); }
    void finish() {
        if (!m_pipe) return;
        m_pipe->close();
        if (m_thread.joinable()) m_thread.join();
    }
    bool tooManyRows() const { return m_tooManyRows; }
    std::exception_ptr failure() const { return m_failure; }
    std::optional<internal::AnswerParts>& parts() { return m_parts; }

private:
    const std::size_t m_maxRows;
    std::unique_ptr<internal::BytePipe> m_pipe;
    std::thread m_thread;
    std::optional<internal::AnswerParts> m_parts;
    bool m_tooManyRows = false;
    std::exception_ptr m_failure;
};

// Sends one request and collects the answer within the limits and before
// deadline; throws EHostError prefixed with context. With decode, a success
// answer is decoded as it comes (Exchange::answer) instead of held.
Exchange exchange(const HostPort& server, HttpTransportOptions options, const std::string& method,
                  const std::string& path, std::string body, const std::string& context, Clock::time_point deadline,
                  Request kind, bool decode, std::stop_token stop = {}, const std::string& token = {}) {
    if (server.host.empty() || server.port <= 0 || server.port > 65535)
        throw host::EHostError(context + ": endereço do servidor de aplicação inválido (máquina \"" + server.host +
                               "\", porta " + std::to_string(server.port) + ").");
    const auto left = remaining(deadline);
    options.deadline = std::min(options.deadline, std::max(left, std::chrono::milliseconds(1)));
    Exchange out;
    bool tooLarge = false;
    httplib::Error error = httplib::Error::Success;
    bool sent = false;
    bool late = false;
    bool stopped = false;
    long verifyResult = X509_V_OK;
    std::size_t received = 0;
    AnswerReader reader(options.maxResponseRows);
    const auto start = Clock::now();
    try {
        const std::unique_ptr<httplib::ClientImpl> connection = makeClient(server, options);
        httplib::ClientImpl& client = *connection;
        configure(client, options);
        const Watchdog watchdog(client, start + options.deadline, stop);
        httplib::Request request;
        request.method = method;
        request.path = path;
        request.headers.emplace("Accept", "application/json");
        if (!token.empty()) request.headers.emplace("Authorization", "Bearer " + token);
        if (method == "POST") {
            request.headers.emplace("Content-Type", kJsonContentType);
            request.body = std::move(body);
        }
        request.response_handler = [&](const httplib::Response& response) {
            out.status = response.status;
            if (response.has_header("Content-Length") &&
                std::strtoull(response.get_header_value("Content-Length").c_str(), nullptr, 10) >
                    options.maxResponseBytes) {
                tooLarge = true;
                return false;
            }
            if (decode && response.status >= 200 && response.status <= 299) reader.begin();
            return true;
        };
        request.content_receiver = [&](const char* data, std::size_t size, std::uint64_t, std::uint64_t) {
            received += size;
            if (received > options.maxResponseBytes) {
                tooLarge = true;
                return false;
            }
            if (reader.started()) return reader.feed(data, size);
            out.body.append(data, size);
            return true;
        };
        httplib::Response response;
        sent = client.send(request, response, error);
        reader.finish();
        out.status = response.status;
        if (response.has_header("Retry-After"))
            out.retryAfter = std::atoll(response.get_header_value("Retry-After").c_str());
        late = watchdog.fired();
        stopped = watchdog.stopped();
        if (server.tls) verifyResult = static_cast<httplib::SSLClient&>(client).get_openssl_verify_result();
    } catch (const std::exception& e) {
        throw host::EHostError(context + ": falha de transporte: " + e.what());
    }
    if (stopped) throw CallCancelled();
    const bool harmless = kind == Request::NoEffect;
    if (late) {
        if (harmless) throw ServerUnreachable(context, "sem resposta em " + limitText(options.deadline) + ".");
        throw host::EHostError(context + ": o servidor não respondeu em " + seconds(Clock::now() - start) +
                               " (prazo da chamada: " + seconds(options.deadline) + ").");
    }
    if (tooLarge)
        throw host::EHostError(context + ": a resposta é maior que o limite de " + grouped(options.maxResponseBytes) +
                               " bytes deste cliente; restrinja o intervalo pedido.");
    if (reader.tooManyRows())
        throw host::EHostError(context + ": a resposta tem mais que o limite de " + grouped(options.maxResponseRows) +
                               " linhas deste cliente; restrinja o intervalo pedido.");
    if (!sent || error != httplib::Error::Success) {
        if (error == httplib::Error::SSLServerVerification)
            throw host::EHostError(context + ": " + untrusted(verifyResult, server, options));
        if (beforeTheRequestWasSent(error)) throw ServerUnreachable(context, transportFailure(error, options, false));
        // A decoder that refused the text stopped the transfer: the text is
        // what was wrong.
        if (error == httplib::Error::Canceled && reader.failure()) std::rethrow_exception(reader.failure());
        const bool silent = error == httplib::Error::Read &&
                            Clock::now() - start >= options.readTimeout - std::chrono::milliseconds(50);
        if (harmless && error == httplib::Error::Read)
            throw ServerUnreachable(context, silent ? "sem resposta em " + limitText(options.readTimeout) + "."
                                                    : "a conexão foi fechada sem resposta.");
        // The call went out: it may run there, so it goes nowhere else.
        if (silent)
            throw host::EHostError(context + ": o servidor recebeu a chamada e não respondeu em " +
                                   limitText(options.readTimeout) + ".");
        if (harmless) throw ServerUnreachable(context, transportFailure(error, options, false));
        throw host::EHostError(context + ": " + transportFailure(error, options, false));
    }
    if (reader.failure()) std::rethrow_exception(reader.failure());
    out.answer = std::move(reader.parts());
    return out;
}

}  // namespace

HttpTransport::HttpTransport(HttpTransportOptions options, std::vector<HostPort> servers)
    : m_options(options), m_servers(std::move(servers)) {
    ignoreSigpipe();
}

HttpTransport::~HttpTransport() = default;

namespace {

std::size_t indexOf(const std::vector<HostPort>& servers, const std::string& host, int port) {
    for (std::size_t i = 0; i < servers.size(); ++i)
        if (servers[i].port == port && servers[i].host.size() == host.size() &&
            std::equal(host.begin(), host.end(), servers[i].host.begin(), [](char a, char b) {
                return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
            }))
            return i;
    return servers.size();
}

}  // namespace

std::vector<HostPort> HttpTransport::route(const std::string& host, int port) const {
    if (indexOf(m_servers, host, port) == m_servers.size()) return {HostPort{host, port, false}};
    std::vector<HostPort> order;
    const std::size_t start = m_current.load();
    for (std::size_t i = 0; i < m_servers.size(); ++i) order.push_back(m_servers[(start + i) % m_servers.size()]);
    return order;
}

void HttpTransport::answered(const HostPort& server) {
    const std::size_t i = indexOf(m_servers, server.host, server.port);
    if (i < m_servers.size()) m_current.store(i);
}

HostPort HttpTransport::currentServer(const std::string& host, int port) const {
    if (indexOf(m_servers, host, port) == m_servers.size()) return HostPort{host, port, false};
    return m_servers[m_current.load()];
}

void HttpTransport::Connect(const std::string& host, int port) {
    const std::vector<HostPort> order = route(host, port);
    firstReachable(order, "Servidores de aplicação em " + formatHostPortList(order), Clock::now() + m_options.deadline,
                   [&](const HostPort& server, Clock::time_point deadline) {
                       checkHealth(server, deadline);
                       answered(server);
                   });
}

HealthInfo HttpTransport::checkHealth(const HostPort& server, Clock::time_point deadline) const {
    const std::string context = "Servidor de aplicação em " + server.text();
    // The health check does no work on the server (it is answered without
    // waiting for a worker): a server that takes longer than a connection to
    // answer it is as good as absent.
    HttpTransportOptions quick = m_options;
    quick.readTimeout = std::min(m_options.readTimeout, m_options.connectTimeout);
    quick.deadline = std::min(m_options.deadline, 2 * m_options.connectTimeout);
    const Exchange answer =
        exchange(server, quick, "GET", kHealthPath, {}, context, deadline, Request::NoEffect, false);
    if (const auto busy = busyReason(answer.status, answer.body)) throw ServerUnreachable(context, *busy);
    if (answer.status < 200 || answer.status > 299)
        throw host::EHostError(context + ": respondeu com o status HTTP " + std::to_string(answer.status) +
                               " à verificação; não parece um servidor de aplicação.");
    HealthInfo info;
    try {
        info = decodeHealth(answer.body);
    } catch (const ProtocolError& e) {
        throw host::EHostError(context + ": a resposta da verificação não é deste protocolo: " + e.what());
    }
    if (info.version != kProtocolVersion || info.status != "ok")
        throw host::EHostError(context + ": fala a versão de protocolo " + std::to_string(info.version) +
                               " (estado \"" + info.status + "\"); este cliente fala a versão " +
                               std::to_string(kProtocolVersion) + ".");
    return info;
}

SignInRefused::SignInRefused(std::string code, const std::string& message, long long retryAfter)
    : host::EHostError(message), m_code(std::move(code)), m_retryAfter(retryAfter) {}

SignInRefused::~SignInRefused() = default;

std::string HttpTransport::token() const {
    std::lock_guard<std::mutex> lock(m_tokenMutex);
    return m_token;
}

bool HttpTransport::signedIn() const { return !token().empty(); }

bool HttpTransport::signInRequired() {
    const HostPort first = m_servers.empty() ? HostPort{} : m_servers[m_current.load()];
    const std::vector<HostPort> order = route(first.host, first.port);
    return firstReachable(order, "Servidores de aplicação em " + formatHostPortList(order),
                          Clock::now() + m_options.deadline, [&](const HostPort& server, Clock::time_point deadline) {
                              const HealthInfo info = checkHealth(server, deadline);
                              answered(server);
                              return info.signInRequired;
                          });
}

void HttpTransport::signIn(const std::string& operatorCode, const std::string& password) {
    const HostPort first = m_servers.empty() ? HostPort{} : m_servers[m_current.load()];
    const std::vector<HostPort> order = route(first.host, first.port);
    const std::string body = encodeSignIn({operatorCode, password});
    const std::string token = firstReachable(
        order, "Entrada nos servidores de aplicação em " + formatHostPortList(order), Clock::now() + m_options.deadline,
        [&](const HostPort& server, Clock::time_point deadline) {
            const std::string context = "Entrada no servidor de aplicação em " + server.text();
            const Exchange answer =
                exchange(server, m_options, "POST", kSessionPath, body, context, deadline, Request::Effect, false);
            if (const auto busy = busyReason(answer.status, answer.body)) throw ServerUnreachable(context, *busy);
            answered(server);
            if (answer.status < 200 || answer.status > 299) {
                if (const auto remote = decodeError(answer.body))
                    throw SignInRefused(remote->code, remote->message, answer.retryAfter);
                throw host::EHostError(context + ": o servidor respondeu com o status HTTP " +
                                       std::to_string(answer.status) + "; ele atende a entrada de operadores?");
            }
            try {
                return decodeSignInAnswer(answer.body).token;
            } catch (const ProtocolError& e) {
                throw host::EHostError(context + ": a resposta não pode ser lida: " + e.what());
            }
        });
    std::lock_guard<std::mutex> lock(m_tokenMutex);
    m_token = token;
    m_borrowed = false;
}

void HttpTransport::useSession(const std::string& token) {
    std::lock_guard<std::mutex> lock(m_tokenMutex);
    m_token = token;
    m_borrowed = true;
}

void HttpTransport::signOut() {
    std::string ending;
    {
        std::lock_guard<std::mutex> lock(m_tokenMutex);
        ending = m_borrowed ? std::string() : m_token;
        m_token.clear();
        m_borrowed = false;
    }
    if (ending.empty()) return;
    const HostPort server = m_servers.empty() ? HostPort{} : m_servers[m_current.load()];
    try {
        HttpTransportOptions quick = m_options;
        quick.deadline = std::min(m_options.deadline, 2 * m_options.connectTimeout);
        exchange(server, quick, "DELETE", kSessionPath, {}, "Saída", Clock::now() + quick.deadline, Request::Effect,
                 false, {}, ending);
    } catch (const std::exception&) {
        // The session ends on its own when it has been idle long enough.
    }
}

host::Variant HttpTransport::Call(const std::string& host, int port, const std::string& serverName,
                                  const std::string& method, const std::vector<host::CallArg>& args) {
    return Call(host, port, serverName, method, args, {});
}

host::Variant HttpTransport::Call(const std::string& host, int port, const std::string& serverName,
                                  const std::string& method, const std::vector<host::CallArg>& args,
                                  std::stop_token stop) {
    const std::vector<HostPort> order = route(host, port);
    const std::string call = "Chamada " + serverName + "." + method;
    std::string body;
    try {
        body = encodeCallRequest(serverName, method, args);
    } catch (const ProtocolError& e) {
        throw host::EHostError(call + " ao servidor de aplicação em " + formatHostPort(host, port) + ": " + e.what());
    }
    return firstReachable(order, call + " aos servidores de aplicação em " + formatHostPortList(order),
                          Clock::now() + m_options.deadline, [&](const HostPort& server, Clock::time_point deadline) {
                              host::Variant result = callOne(server, serverName, method, body, stop, deadline);
                              answered(server);
                              return result;
                          });
}

host::Variant HttpTransport::callOne(const HostPort& server, const std::string& serverName, const std::string& method,
                                     const std::string& body, std::stop_token stop, Clock::time_point deadline) const {
    const std::string context =
        "Chamada " + serverName + "." + method + " ao servidor de aplicação em " + server.text();
    Exchange answer;
    try {
        answer = exchange(server, m_options, "POST", kCallPath, body, context, deadline, Request::Effect, true, stop,
                          token());
        if (answer.answer) {
            host::Variant result = internal::resultOfAnswer(std::move(*answer.answer));
            checkResultShape(serverName, method, result);
            return result;
        }
    } catch (const ProtocolError& e) {
        throw host::EHostError(context + ": a resposta não pode ser lida: " + e.what());
    }
    if (const auto busy = busyReason(answer.status, answer.body)) throw ServerUnreachable(context, *busy);
    if (const auto remote = decodeError(answer.body))
        throw host::EHostError(context + " falhou: " + remote->message + " [" + remote->code + ", HTTP " +
                               std::to_string(answer.status) + "]");
    throw host::EHostError(context + ": o servidor respondeu com o status HTTP " + std::to_string(answer.status) + ".");
}

}  // namespace pla013::net
