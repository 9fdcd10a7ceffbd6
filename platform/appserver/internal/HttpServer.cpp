#include "platform/appserver/internal/HttpServer.h"

#include <array>
#include <map>
#include <optional>
#include <set>
#include <stdexcept>
#include <thread>

#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/ssl/context.hpp>
#include <boost/asio/ssl/error.hpp>
#include <boost/asio/ssl/stream.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/thread_pool.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>

namespace pla013::appserver::internal {

namespace asio = boost::asio;
namespace ssl = boost::asio::ssl;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = asio::ip::tcp;
using error_code = boost::system::error_code;

namespace {

// After a refusal the client may still be sending; reading what it sends for
// a moment lets it read the answer instead of a reset connection.
constexpr auto kLinger = std::chrono::seconds(1);
constexpr std::size_t kLingerBytes = std::size_t(4) << 20;

std::string text(beast::string_view v) { return std::string(v.data(), v.size()); }

// OpenSSL's reasons for what just failed, oldest first; the queue is emptied.
std::string openSslErrors() {
    std::string out;
    while (const unsigned long code = ERR_get_error()) {
        char line[256];
        ERR_error_string_n(code, line, sizeof line);
        out += (out.empty() ? "" : "; ") + std::string(line);
    }
    return out.empty() ? "no reason given" : out;
}

// A key protected by a pass phrase would otherwise have OpenSSL ask for it on
// the terminal, holding up the start of a server nobody may be watching.
int noPassPhrase(char*, int, int, void*) { return 0; }

struct BioFree {
    void operator()(BIO* bio) const { BIO_free(bio); }
};
struct KeyFree {
    void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};

// The server's TLS settings: TLS 1.2 at least, the chain and key of the
// files. Each failure names its file.
std::unique_ptr<ssl::context> makeTlsContext(const std::string& certificateFile, const std::string& keyFile) {
    ERR_clear_error();
    auto context = std::make_unique<ssl::context>(ssl::context::tls_server);
    context->set_options(ssl::context::default_workarounds | ssl::context::no_sslv2 | ssl::context::no_sslv3 |
                         ssl::context::no_tlsv1 | ssl::context::no_tlsv1_1 | ssl::context::single_dh_use);
    SSL_CTX* native = context->native_handle();
    SSL_CTX_set_min_proto_version(native, TLS1_2_VERSION);
    SSL_CTX_set_default_passwd_cb(native, noPassPhrase);

    if (SSL_CTX_use_certificate_chain_file(native, certificateFile.c_str()) != 1)
        throw TlsSetupError("O certificado TLS do servidor não pôde ser lido de " + certificateFile +
                                " (arquivo ausente, ilegível ou sem certificado PEM).",
                            openSslErrors());
    const std::unique_ptr<BIO, BioFree> keyText(BIO_new_file(keyFile.c_str(), "r"));
    const std::unique_ptr<EVP_PKEY, KeyFree> key(
        keyText ? PEM_read_bio_PrivateKey(keyText.get(), nullptr, noPassPhrase, nullptr) : nullptr);
    if (!key)
        throw TlsSetupError("A chave privada TLS do servidor não pôde ser lida de " + keyFile +
                                " (arquivo ausente, ilegível, protegido por senha ou sem chave PEM).",
                            openSslErrors());
    if (SSL_CTX_use_PrivateKey(native, key.get()) != 1 || SSL_CTX_check_private_key(native) != 1)
        throw TlsSetupError("A chave privada " + keyFile + " não corresponde ao certificado " + certificateFile + ".",
                            openSslErrors());
    return context;
}

// How a TLS handshake that failed without a word from the client ends: the
// client closed, went silent, or the server stopped.
bool quietHandshakeEnd(error_code ec) {
    return ec == asio::error::eof || ec == asio::error::connection_reset || ec == asio::error::operation_aborted ||
           ec == asio::error::bad_descriptor || ec == ssl::error::stream_truncated;
}

}  // namespace

std::string HttpRequest::path() const { return target.substr(0, target.find('?')); }

int statusOf(Refusal refusal) {
    switch (refusal) {
        case Refusal::BadRequest: return 400;
        case Refusal::Timeout: return 408;
        case Refusal::TargetTooLong: return 414;
        case Refusal::HeaderTooLarge: return 431;
        case Refusal::BodyTooLarge: return 413;
        case Refusal::TooManyConnections: return 503;
    }
    return 400;
}

struct HttpServer::Impl {
    HttpLimits limits;
    Handler handler;
    RefusalHandler refuse;
    std::function<void(std::size_t)> answerSent;
    std::unique_ptr<ssl::context> tls;  // none: plain HTTP
    std::function<void(const std::string&, const std::string&)> tlsRefused;

    asio::io_context io{1};
    tcp::acceptor acceptor{io};
    asio::steady_timer acceptRetry{io};
    std::optional<asio::executor_work_guard<asio::io_context::executor_type>> keepRunning;
    std::unique_ptr<asio::thread_pool> workers;
    std::thread ioThread;

    // Touched on the I/O thread only (or once it has ended).
    std::set<Session*> sessions;
    std::map<std::string, std::size_t> perAddress;
    bool stopping = false;

    Impl(HttpLimits l, Handler h, RefusalHandler r) : limits(l), handler(std::move(h)), refuse(std::move(r)) {}

    void accept();
    void shutdown();
    void sessionEnded(Session* session, const std::string& address) {
        sessions.erase(session);
        auto it = perAddress.find(address);
        if (it != perAddress.end() && --it->second == 0) perAddress.erase(it);
        if (stopping && sessions.empty()) keepRunning.reset();
    }
};

// One connection: reads a request, has a worker run it, writes the answer,
// and reads the next one.
class HttpServer::Session : public std::enable_shared_from_this<Session> {
public:
    Session(Impl& server, tcp::socket socket) : m_server(server), m_socket(std::move(socket)), m_timer(server.io) {
        if (server.tls) m_tls.emplace(m_socket, *server.tls);
        error_code ec;
        const auto peer = m_socket.remote_endpoint(ec);
        if (!ec) {
            m_address = peer.address().to_string();
            m_port = peer.port();
        }
        m_socket.set_option(tcp::no_delay(true), ec);
        m_server.sessions.insert(this);
        ++m_server.perAddress[m_address];
    }
    ~Session() { m_server.sessionEnded(this, m_address); }

    const std::string& address() const { return m_address; }

    // Reads the first request, or refuses the connection as one too many;
    // over TLS, after the handshake.
    void start(bool tooMany) {
        if (!m_tls) return tooMany ? refuse(Refusal::TooManyConnections) : readRequest();
        m_state = State::Handshaking;
        arm(m_server.limits.requestTimeout);
        m_tls->async_handshake(ssl::stream_base::server,
                               [self = shared_from_this(), tooMany](error_code ec) { self->onHandshake(ec, tooMany); });
    }

    void refuse(Refusal why, const std::string& detail = {}) {
        m_state = State::Refusing;
        HttpResponse answer = m_server.refuse(why, m_address, detail);
        write(std::move(answer), false, 11);
    }

    // The server stops: a connection that waits for a request (or lingers)
    // goes now; one whose request runs or whose answer is being sent ends
    // after it.
    void stopIfWaiting() {
        if (m_state == State::Reading && requestStarted()) return;
        if (m_state == State::Reading || m_state == State::Lingering || m_state == State::Handshaking) {
            error_code ec;
            m_socket.shutdown(tcp::socket::shutdown_both, ec);
            m_socket.close(ec);
        }
    }

private:
    enum class State { Handshaking, Reading, Calling, Writing, Refusing, Lingering };

    // Runs use with the stream HTTP goes over: the TLS stream, or the socket.
    template <class Use>
    void withStream(Use&& use) {
        if (m_tls)
            use(*m_tls);
        else
            use(m_socket);
    }

    void onHandshake(error_code ec, bool tooMany) {
        // The deadline may have passed as the handshake ended: nothing would
        // cancel the first read then.
        if (m_timedOut) return close();
        if (ec) {
            if (!quietHandshakeEnd(ec) && m_server.tlsRefused) m_server.tlsRefused(m_address, ec.message());
            return close();
        }
        if (m_server.stopping) return close();
        if (tooMany) return refuse(Refusal::TooManyConnections);
        // The handshake's deadline goes on for the first request.
        readRequest(false);
    }

    // Cancels what the connection does when the time is up; the operation
    // ends with operation_aborted and m_timedOut set.
    void arm(std::chrono::steady_clock::duration limit) {
        m_timedOut = false;
        m_timer.expires_after(limit);
        m_timer.async_wait([weak = weak_from_this()](error_code ec) {
            auto self = weak.lock();
            if (ec || !self) return;
            self->m_timedOut = true;
            error_code ignored;
            self->m_socket.cancel(ignored);
        });
    }

    // Whether bytes of the next request have arrived, read or not yet.
    bool requestStarted() {
        error_code ec;
        return m_buffer.size() > 0 || (m_parser && m_parser->got_some()) || m_socket.available(ec) > 0;
    }

    void readRequest(bool newDeadline = true) {
        m_state = State::Reading;
        m_parser.emplace();
        m_parser->header_limit(std::uint32_t(m_server.limits.maxHeaderBytes));
        m_parser->body_limit(m_server.limits.maxBodyBytes);
        if (newDeadline) arm(m_server.limits.requestTimeout);
        withStream([this](auto& stream) {
            http::async_read_header(stream, m_buffer, *m_parser,
                                    [self = shared_from_this()](error_code ec, std::size_t) { self->onHeader(ec); });
        });
    }

    // On a header over the limit: whether the request line was what made it
    // so (it never ended, or its target is too long).
    bool targetTooLong() const {
        const auto target = m_parser->get().target();
        return target.empty() || target.size() > m_server.limits.maxTargetBytes;
    }

    void onHeader(error_code ec) {
        if (ec) return onReadError(ec);
        auto& request = m_parser->get();
        if (request.target().size() > m_server.limits.maxTargetBytes) return refuse(Refusal::TargetTooLong);
        if (beast::iequals(request[http::field::expect], "100-continue") && !m_parser->is_done()) {
            auto interim =
                std::make_shared<http::response<http::empty_body>>(http::status::continue_, request.version());
            withStream([this, &interim](auto& stream) {
                http::async_write(stream, *interim, [self = shared_from_this(), interim](error_code ec, std::size_t) {
                    if (ec) return self->close();
                    self->readBody();
                });
            });
            return;
        }
        readBody();
    }

    void readBody() {
        if (m_parser->is_done()) return onRequest();
        withStream([this](auto& stream) {
            http::async_read(stream, m_buffer, *m_parser, [self = shared_from_this()](error_code ec, std::size_t) {
                if (ec) return self->onReadError(ec);
                self->onRequest();
            });
        });
    }

    void onReadError(error_code ec) {
        if (ec == asio::error::operation_aborted && m_timedOut) {
            // A connection that sent nothing of a new request is just idle.
            if (m_buffer.size() == 0 && !m_parser->got_some()) return close();
            return refuse(Refusal::Timeout);
        }
        if (ec == http::error::end_of_stream || ec == asio::error::eof || ec == asio::error::connection_reset ||
            ec == asio::error::operation_aborted || ec == asio::error::bad_descriptor ||
            ec == ssl::error::stream_truncated)
            return close();
        if (ec == http::error::header_limit)
            return refuse(targetTooLong() ? Refusal::TargetTooLong : Refusal::HeaderTooLarge);
        if (ec == http::error::body_limit) return refuse(Refusal::BodyTooLarge);
        refuse(Refusal::BadRequest, ec.message());
    }

    void onRequest() {
        m_state = State::Calling;
        m_timer.cancel();
        auto message = m_parser->release();
        m_parser.reset();
        m_version = message.version();
        m_keepAlive = message.keep_alive();
        HttpRequest request{text(message.method_string()),
                            text(message.target()),
                            std::move(message.body()),
                            text(message[http::field::authorization]),
                            m_address,
                            m_port};
        asio::post(*m_server.workers, [self = shared_from_this(), request = std::move(request)]() mutable {
            HttpResponse answer = self->m_server.handler(request);
            // The session goes back to the I/O thread whole: were the worker
            // to keep a reference, the session might end here, on a thread
            // that must not touch the server's connection lists.
            asio::io_context& io = self->m_server.io;
            asio::post(io, [self = std::move(self), answer = std::move(answer)]() mutable {
                self->write(std::move(answer), self->m_keepAlive && !self->m_server.stopping, self->m_version);
            });
        });
    }

    void write(HttpResponse answer, bool keepAlive, unsigned version) {
        if (m_state != State::Refusing) m_state = State::Writing;
        auto response = std::make_shared<http::response<http::string_body>>();
        response->version(version);
        response->result(unsigned(answer.status));
        if (!answer.contentType.empty()) response->set(http::field::content_type, answer.contentType);
        for (const auto& [name, value] : answer.headers) response->set(name, value);
        response->body() = std::move(answer.body);
        response->keep_alive(keepAlive);
        response->prepare_payload();
        arm(m_server.limits.writeTimeout);
        withStream([this, &response, keepAlive](auto& stream) { sendAnswer(stream, std::move(response), keepAlive); });
    }

    template <class Stream>
    void sendAnswer(Stream& stream, std::shared_ptr<http::response<http::string_body>> response, bool keepAlive) {
        http::async_write(
            stream, *response, [self = shared_from_this(), response, keepAlive](error_code ec, std::size_t) mutable {
                const std::size_t size = response->body().size();
                response.reset();
                if (self->m_server.answerSent)
                    asio::post(*self->m_server.workers, [sent = self->m_server.answerSent, size] { sent(size); });
                if (ec) return self->close();
                if (self->m_state == State::Refusing) return self->linger();
                if (!keepAlive || self->m_server.stopping) return self->close();
                self->readRequest();
            });
    }

    // Sends no more and reads what the client still sends, for a moment. Over
    // TLS too the socket is shut and read as it is: the answer carries its
    // length, so the client does not need TLS's closing message to know it
    // has it whole, and what still comes is thrown away unread.
    void linger() {
        m_state = State::Lingering;
        error_code ec;
        m_socket.shutdown(tcp::socket::shutdown_send, ec);
        if (ec || m_server.stopping) return close();
        arm(kLinger);
        drain();
    }

    void drain() {
        m_socket.async_read_some(asio::buffer(m_scratch), [self = shared_from_this()](error_code ec, std::size_t n) {
            self->m_drained += n;
            if (ec || self->m_drained > kLingerBytes) return self->close();
            self->drain();
        });
    }

    void close() {
        m_timer.cancel();
        error_code ec;
        m_socket.shutdown(tcp::socket::shutdown_both, ec);
        m_socket.close(ec);
    }

    Impl& m_server;
    tcp::socket m_socket;
    std::optional<ssl::stream<tcp::socket&>> m_tls;  // over m_socket; none in plain HTTP
    asio::steady_timer m_timer;                      // the deadline of what the connection does now
    bool m_timedOut = false;
    beast::flat_buffer m_buffer;
    std::optional<http::request_parser<http::string_body>> m_parser;
    std::string m_address;
    int m_port = 0;
    State m_state = State::Reading;
    unsigned m_version = 11;
    bool m_keepAlive = false;
    std::size_t m_drained = 0;
    std::array<char, 16 * 1024> m_scratch{};
};

void HttpServer::Impl::accept() {
    acceptor.async_accept([this](error_code ec, tcp::socket socket) {
        if (stopping || ec == asio::error::operation_aborted) return;
        if (ec) {
            // Out of descriptors and the like: try again shortly instead of
            // spinning.
            acceptRetry.expires_after(std::chrono::milliseconds(100));
            acceptRetry.async_wait([this](error_code waited) {
                if (!waited && !stopping) accept();
            });
            return;
        }
        auto session = std::make_shared<Session>(*this, std::move(socket));
        session->start(sessions.size() > limits.maxConnections ||
                       perAddress[session->address()] > limits.maxConnectionsPerAddress);
        accept();
    });
}

void HttpServer::Impl::shutdown() {
    stopping = true;
    error_code ec;
    acceptor.close(ec);
    acceptRetry.cancel();
    for (Session* session : sessions) session->stopIfWaiting();
    if (sessions.empty()) keepRunning.reset();
}

HttpServer::HttpServer(HttpLimits limits, Handler handler, RefusalHandler refuse)
    : m_impl(std::make_unique<Impl>(limits, std::move(handler), std::move(refuse))) {}

HttpServer::~HttpServer() { stop(); }

void HttpServer::onAnswerSent(std::function<void(std::size_t)> sent) { m_impl->answerSent = std::move(sent); }

void HttpServer::useTls(const std::string& certificateFile, const std::string& keyFile) {
    m_impl->tls = makeTlsContext(certificateFile, keyFile);
}

void HttpServer::onTlsRefused(std::function<void(const std::string&, const std::string&)> refused) {
    m_impl->tlsRefused = std::move(refused);
}

int HttpServer::bind(const std::string& host, int port) {
    Impl& d = *m_impl;
    error_code ec;
    tcp::resolver resolver(d.io);
    const auto endpoints = resolver.resolve(host, std::to_string(port), tcp::resolver::passive, ec);
    if (ec || endpoints.empty()) throw std::runtime_error("address " + host + ": " + ec.message());
    const tcp::endpoint endpoint = endpoints.begin()->endpoint();
    d.acceptor.open(endpoint.protocol(), ec);
    if (!ec) d.acceptor.set_option(tcp::acceptor::reuse_address(true), ec);
    if (!ec) d.acceptor.bind(endpoint, ec);
    // The system's largest backlog: a burst of connections must not be
    // dropped and retried a second later.
    if (!ec) d.acceptor.listen(asio::socket_base::max_listen_connections, ec);
    if (ec) {
        error_code ignored;
        d.acceptor.close(ignored);
        throw std::runtime_error("bind " + host + ":" + std::to_string(port) + ": " + ec.message());
    }
    return d.acceptor.local_endpoint().port();
}

void HttpServer::start() {
    Impl& d = *m_impl;
    if (d.ioThread.joinable()) return;
    d.workers = std::make_unique<asio::thread_pool>(std::size_t(d.limits.workers > 0 ? d.limits.workers : 1));
    d.keepRunning.emplace(d.io.get_executor());
    d.accept();
    d.ioThread = std::thread([&d] { d.io.run(); });
}

void HttpServer::stop() {
    Impl& d = *m_impl;
    if (!d.ioThread.joinable()) {
        error_code ec;
        d.acceptor.close(ec);
        return;
    }
    asio::post(d.io, [&d] { d.shutdown(); });
    d.ioThread.join();
    d.workers->join();
}

}  // namespace pla013::appserver::internal
