#include "platform/web/internal/HttpListener.h"

#include <atomic>
#include <cctype>
#include <mutex>
#include <set>
#include <stdexcept>
#include <thread>

#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/ssl.hpp>
#include <boost/asio/thread_pool.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/ssl.hpp>

namespace pla013::web::internal {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
namespace ssl = asio::ssl;
using tcp = asio::ip::tcp;
using error_code = boost::system::error_code;

namespace {

std::string lower(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = char(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::string percentDecoded(std::string_view s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '+') {
            out += ' ';
        } else if (s[i] == '%' && i + 2 < s.size() && hexDigit(s[i + 1]) >= 0 && hexDigit(s[i + 2]) >= 0) {
            out += char(hexDigit(s[i + 1]) * 16 + hexDigit(s[i + 2]));
            i += 2;
        } else {
            out += s[i];
        }
    }
    return out;
}

const char* reasonText(int status) {
    switch (status) {
        case 400: return "A requisição não pôde ser lida.";
        case 408: return "A requisição não chegou inteira a tempo.";
        case 413: return "A requisição é grande demais.";
        case 431: return "Os cabeçalhos da requisição são grandes demais.";
        case 503: return "O servidor está com conexões demais; tente de novo em instantes.";
    }
    return "Erro.";
}

}  // namespace

std::string HttpRequest::header(std::string_view name) const {
    for (const auto& [n, v] : headers)
        if (n == name) return v;
    return {};
}

std::string HttpRequest::path() const { return target.substr(0, target.find('?')); }

std::string HttpRequest::query(std::string_view name) const {
    const auto q = target.find('?');
    if (q == std::string::npos) return {};
    std::string_view rest(target);
    rest.remove_prefix(q + 1);
    while (!rest.empty()) {
        const auto amp = rest.find('&');
        const std::string_view pair = rest.substr(0, amp);
        const auto eq = pair.find('=');
        if (percentDecoded(pair.substr(0, eq)) == name)
            return eq == std::string_view::npos ? std::string() : percentDecoded(pair.substr(eq + 1));
        if (amp == std::string_view::npos) break;
        rest.remove_prefix(amp + 1);
    }
    return {};
}

class ConnectionBase {
public:
    virtual ~ConnectionBase() = default;
    virtual void abort() = 0;
};

struct HttpListener::Impl : std::enable_shared_from_this<Impl> {
    HttpLimits limits;
    Handler handler;
    asio::io_context io{1};
    tcp::acceptor acceptor{io};
    std::optional<ssl::context> tls;
    std::optional<asio::executor_work_guard<asio::io_context::executor_type>> work;
    asio::thread_pool workers;
    std::thread ioThread;
    std::atomic<std::size_t> connections{0};

    // Answers are posted to the I/O thread only while it runs.
    std::mutex mutex;
    bool stopped = false;
    std::set<ConnectionBase*> live;

    Impl(HttpLimits l, Handler h)
        : limits(l), handler(std::move(h)), workers(std::size_t(l.workers > 0 ? l.workers : 1)) {}

    void accept();
    template <class Connection, class... A>
    void open(A&&... args);
};

// One connection over Stream (a TCP stream, or TLS over it): reads a
// request, hands it to a worker, writes the answer when it comes, reads the
// next.
template <class Stream>
class Connection final : public ConnectionBase, public std::enable_shared_from_this<Connection<Stream>> {
public:
    template <class... A>
    Connection(std::shared_ptr<HttpListener::Impl> server, tcp::socket socket, A&&... streamArgs)
        : m_server(std::move(server)), m_stream(std::move(socket), std::forward<A>(streamArgs)...) {
        error_code ec;
        const auto peer = beast::get_lowest_layer(m_stream).socket().remote_endpoint(ec);
        if (!ec) m_peer = peer.address().to_string();
        beast::get_lowest_layer(m_stream).socket().set_option(tcp::no_delay(true), ec);
        ++m_server->connections;
        std::lock_guard<std::mutex> lock(m_server->mutex);
        m_server->live.insert(this);
    }
    ~Connection() override {
        {
            std::lock_guard<std::mutex> lock(m_server->mutex);
            m_server->live.erase(this);
        }
        --m_server->connections;
    }

    void start() {
        if constexpr (kTls) {
            beast::get_lowest_layer(m_stream).expires_after(m_server->limits.requestTimeout);
            m_stream.async_handshake(ssl::stream_base::server, [self = this->shared_from_this()](error_code ec) {
                if (!ec) self->read();
            });
        } else {
            read();
        }
    }

    // Refuses the connection at once (one too many).
    void refuseBusy() { answerRefusal(503); }

    void abort() override {
        asio::post(beast::get_lowest_layer(m_stream).get_executor(), [weak = this->weak_from_this()] {
            if (auto self = weak.lock()) {
                error_code ec;
                beast::get_lowest_layer(self->m_stream).socket().close(ec);
            }
        });
    }

    // From any thread: the answer goes out on the I/O thread.
    void reply(HttpResponse response) {
        std::lock_guard<std::mutex> lock(m_server->mutex);
        if (m_server->stopped) return;
        asio::post(beast::get_lowest_layer(m_stream).get_executor(),
                   [self = this->shared_from_this(), r = std::move(response)]() mutable { self->send(std::move(r)); });
    }

private:
    static constexpr bool kTls = !std::is_same_v<Stream, beast::tcp_stream>;

    void read() {
        m_parser.emplace();
        m_parser->header_limit(std::uint32_t(m_server->limits.maxHeaderBytes));
        m_parser->body_limit(m_server->limits.maxBodyBytes);
        beast::get_lowest_layer(m_stream).expires_after(m_first ? m_server->limits.requestTimeout
                                                                : m_server->limits.idleTimeout);
        http::async_read_header(m_stream, m_buffer, *m_parser,
                                [self = this->shared_from_this()](error_code ec, std::size_t) { self->onHeader(ec); });
    }

    void onHeader(error_code ec) {
        if (ec) return failed(ec, m_buffer.size() > 0);
        // The body, if any, within the request's own time.
        beast::get_lowest_layer(m_stream).expires_after(m_server->limits.requestTimeout);
        http::async_read(m_stream, m_buffer, *m_parser,
                         [self = this->shared_from_this()](error_code e, std::size_t) { self->onRequest(e); });
    }

    void failed(error_code ec, bool started) {
        if (ec == http::error::header_limit) return answerRefusal(431);
        if (ec == http::error::body_limit) return answerRefusal(413);
        if (ec == beast::error::timeout) {
            if (started) return answerRefusal(408);
            return close();
        }
        if (ec == http::error::end_of_stream || ec == asio::error::eof || ec == asio::error::operation_aborted ||
            ec == asio::error::connection_reset || ec == ssl::error::stream_truncated)
            return close();
        answerRefusal(400);
    }

    void onRequest(error_code ec) {
        if (ec) return failed(ec, true);
        m_first = false;
        auto message = m_parser->release();
        HttpRequest req;
        req.method = std::string(message.method_string());
        req.target = std::string(message.target());
        req.body = std::move(message.body());
        for (const auto& field : message)
            req.headers.emplace_back(lower(std::string_view(field.name_string().data(), field.name_string().size())),
                                     std::string(field.value()));
        req.peerAddress = m_peer;
        req.secure = kTls;
        m_keepAlive = message.keep_alive();
        // The handler may answer much later (a form's events): no read timer meanwhile.
        beast::get_lowest_layer(m_stream).expires_never();
        auto self = this->shared_from_this();
        HttpListener::Reply reply = [self](HttpResponse r) { self->reply(std::move(r)); };
        asio::post(m_server->workers, [server = m_server, req = std::move(req), reply = std::move(reply)]() mutable {
            try {
                server->handler(std::move(req), reply);
            } catch (...) {
                HttpResponse r;
                r.status = 500;
                r.body = R"({"error":{"code":"server_error","message":"Erro interno do servidor."}})";
                reply(std::move(r));
            }
        });
    }

    void answerRefusal(int status) {
        HttpResponse r;
        r.status = status;
        r.body = std::string(R"({"error":{"code":"bad_request","message":")") + reasonText(status) + "\"}}";
        m_keepAlive = false;
        send(std::move(r));
    }

    template <class Body>
    void fill(http::response<Body>& res, const HttpResponse& r) {
        res.result(unsigned(r.status));
        res.version(11);
        res.set(http::field::server, "pla013-web");
        res.set(http::field::content_type, r.contentType);
        for (const auto& [name, value] : r.headers) res.insert(name, value);
        res.keep_alive(m_keepAlive);
    }

    void send(HttpResponse r) {
        beast::get_lowest_layer(m_stream).expires_after(m_server->limits.writeTimeout);
        if (!r.file.empty()) {
            http::file_body::value_type file;
            error_code ec;
            file.open(r.file.c_str(), beast::file_mode::scan, ec);
            if (!ec) {
                auto res = std::make_shared<http::response<http::file_body>>();
                fill(*res, r);
                res->body() = std::move(file);
                res->prepare_payload();
                http::async_write(m_stream, *res, [self = this->shared_from_this(), res](error_code e, std::size_t) {
                    self->afterWrite(e, res->keep_alive());
                });
                return;
            }
            r.status = 404;
            r.contentType = "application/json; charset=utf-8";
            r.body = R"({"error":{"code":"not_found","message":"O arquivo não existe mais."}})";
        }
        auto res = std::make_shared<http::response<http::string_body>>();
        fill(*res, r);
        res->body() = std::move(r.body);
        res->prepare_payload();
        http::async_write(m_stream, *res, [self = this->shared_from_this(), res](error_code e, std::size_t) {
            self->afterWrite(e, res->keep_alive());
        });
    }

    void afterWrite(error_code ec, bool keepAlive) {
        if (ec || !keepAlive) return close();
        read();
    }

    void close() {
        error_code ec;
        auto& socket = beast::get_lowest_layer(m_stream).socket();
        socket.shutdown(tcp::socket::shutdown_send, ec);
        socket.close(ec);
    }

    std::shared_ptr<HttpListener::Impl> m_server;
    Stream m_stream;
    beast::flat_buffer m_buffer;
    std::optional<http::request_parser<http::string_body>> m_parser;
    std::string m_peer;
    bool m_keepAlive = false;
    bool m_first = true;
};

template <class C, class... A>
void HttpListener::Impl::open(A&&... args) {
    auto connection = std::make_shared<C>(shared_from_this(), std::forward<A>(args)...);
    if (connections.load() > limits.maxConnections)
        connection->refuseBusy();
    else
        connection->start();
}

void HttpListener::Impl::accept() {
    acceptor.async_accept([self = shared_from_this()](error_code ec, tcp::socket socket) {
        if (ec == asio::error::operation_aborted || !self->acceptor.is_open()) return;
        if (!ec) {
            if (self->tls)
                self->open<Connection<beast::ssl_stream<beast::tcp_stream>>>(std::move(socket), *self->tls);
            else
                self->open<Connection<beast::tcp_stream>>(std::move(socket));
        }
        self->accept();
    });
}

HttpListener::HttpListener(HttpLimits limits, Handler handler)
    : m_impl(std::make_shared<Impl>(limits, std::move(handler))) {}

HttpListener::~HttpListener() { stop(); }

int HttpListener::bind(const std::string& host, int port, const std::optional<TlsFiles>& tls) {
    if (tls) {
        try {
            ssl::context context(ssl::context::tls_server);
            context.set_options(ssl::context::default_workarounds | ssl::context::no_sslv2 | ssl::context::no_sslv3 |
                                ssl::context::no_tlsv1 | ssl::context::no_tlsv1_1 | ssl::context::single_dh_use);
            context.use_certificate_chain_file(tls->certificate);
            context.use_private_key_file(tls->privateKey, ssl::context::pem);
            m_impl->tls.emplace(std::move(context));
        } catch (const boost::system::system_error& e) {
            throw std::runtime_error("o certificado " + tls->certificate + " ou a chave " + tls->privateKey +
                                     " não puderam ser lidos (" + e.code().message() + ")");
        }
    }
    error_code ec;
    const auto address = asio::ip::make_address(host == "localhost" ? "127.0.0.1" : host, ec);
    if (ec) throw std::runtime_error("endereço inválido: " + host);
    const tcp::endpoint endpoint(address, static_cast<unsigned short>(port));
    auto& acceptor = m_impl->acceptor;
    acceptor.open(endpoint.protocol(), ec);
    if (!ec) acceptor.set_option(asio::socket_base::reuse_address(true), ec);
    if (!ec) acceptor.bind(endpoint, ec);
    if (!ec) acceptor.listen(asio::socket_base::max_listen_connections, ec);
    if (ec)
        throw std::runtime_error("não foi possível escutar em " + host + ":" + std::to_string(port) + " (" +
                                 ec.message() + ")");
    return acceptor.local_endpoint().port();
}

void HttpListener::start() {
    Impl& d = *m_impl;
    if (d.ioThread.joinable()) return;
    d.work.emplace(d.io.get_executor());
    d.accept();
    d.ioThread = std::thread([&d] { d.io.run(); });
}

void HttpListener::stop() {
    Impl& d = *m_impl;
    {
        std::lock_guard<std::mutex> lock(d.mutex);
        if (d.stopped) return;
        d.stopped = true;
        for (ConnectionBase* c : d.live) c->abort();
    }
    asio::post(d.io, [&d] {
        error_code ec;
        d.acceptor.close(ec);
    });
    // The I/O thread ends once every operation has ended: the sockets are
    // closed, so each connection's last handler runs and nothing new starts.
    // A connection whose answer is still awaited holds no operation; its
    // answer, when it comes, is dropped.
    d.work.reset();
    if (d.ioThread.joinable()) d.ioThread.join();
    d.workers.join();
}

}  // namespace pla013::web::internal
