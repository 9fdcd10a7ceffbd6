#include "platform/appserver/internal/HttpServer.h"

#include <array>
#include <map>
#include <optional>
#include <set>
#include <stdexcept>
#include <thread>

#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/thread_pool.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>

namespace pla013::appserver::internal {

namespace asio = boost::asio;
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

    void start() { readRequest(); }

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
        if (m_state == State::Reading || m_state == State::Lingering) {
            error_code ec;
            m_socket.shutdown(tcp::socket::shutdown_both, ec);
            m_socket.close(ec);
        }
    }

private:
    enum class State { Reading, Calling, Writing, Refusing, Lingering };

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

    void readRequest() {
        m_state = State::Reading;
        m_parser.emplace();
        m_parser->header_limit(std::uint32_t(m_server.limits.maxHeaderBytes));
        m_parser->body_limit(m_server.limits.maxBodyBytes);
        arm(m_server.limits.requestTimeout);
        http::async_read_header(m_socket, m_buffer, *m_parser,
                                [self = shared_from_this()](error_code ec, std::size_t) { self->onHeader(ec); });
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
            http::async_write(m_socket, *interim, [self = shared_from_this(), interim](error_code ec, std::size_t) {
                if (ec) return self->close();
                self->readBody();
            });
            return;
        }
        readBody();
    }

    void readBody() {
        if (m_parser->is_done()) return onRequest();
        http::async_read(m_socket, m_buffer, *m_parser, [self = shared_from_this()](error_code ec, std::size_t) {
            if (ec) return self->onReadError(ec);
            self->onRequest();
        });
    }

    void onReadError(error_code ec) {
        if (ec == asio::error::operation_aborted && m_timedOut) {
            // A connection that sent nothing of a new request is just idle.
            if (m_buffer.size() == 0 && !m_parser->got_some()) return close();
            return refuse(Refusal::Timeout);
        }
        if (ec == http::error::end_of_stream || ec == asio::error::eof || ec == asio::error::connection_reset ||
            ec == asio::error::operation_aborted || ec == asio::error::bad_descriptor)
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
        http::async_write(
            m_socket, *response, [self = shared_from_this(), response, keepAlive](error_code ec, std::size_t) mutable {
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

    // Sends no more and reads what the client still sends, for a moment.
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
    asio::steady_timer m_timer;  // the deadline of what the connection does now
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
        if (sessions.size() > limits.maxConnections || perAddress[session->address()] > limits.maxConnectionsPerAddress)
            session->refuse(Refusal::TooManyConnections);
        else
            session->start();
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
