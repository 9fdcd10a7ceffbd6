#include "platform/appserver/internal/HttpServer.h"

#include <algorithm>
#include <array>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <limits>
#include <map>
#include <mutex>
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

#include "platform/appserver/internal/CallQueue.h"
#include "platform/appserver/internal/HttpFraming.h"

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

// The reason phrase of a status, for answers whose header we write.
std::string statusLine(unsigned version, int status) {
    const auto reason = http::obsolete_reason(http::status(unsigned(status)));
    return std::string(version >= 11 ? "HTTP/1.1 " : "HTTP/1.0 ") + std::to_string(status) + " " +
           std::string(reason.data(), reason.size()) + "\r\n";
}

// One piece of a chunked body; the empty piece ends it.
std::string chunk(const std::string& data) {
    char size[32];
    std::snprintf(size, sizeof size, "%zx\r\n", data.size());
    std::string out = size;
    out.reserve(out.size() + data.size() + 2);
    out += data;
    out += "\r\n";
    return out;
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
        case Refusal::TooManyConnections:
        case Refusal::TooManyCalls: return 503;
    }
    return 400;
}

std::string clientAddressKey(const std::string& text) {
    error_code ec;
    const asio::ip::address address = asio::ip::make_address(text, ec);
    if (ec || !address.is_v6()) return text;
    const asio::ip::address_v6 v6 = address.to_v6();
    if (v6.is_v4_mapped()) return asio::ip::make_address_v4(asio::ip::v4_mapped, v6).to_string();
    asio::ip::address_v6::bytes_type bytes = v6.to_bytes();
    std::fill(bytes.begin() + 8, bytes.end(), 0);
    return asio::ip::address_v6(bytes).to_string() + "/64";
}

// The pieces of a produced answer between the worker that makes them and
// the I/O thread that sends them.
struct Outbox {
    std::mutex mutex;
    std::condition_variable taken;
    std::deque<std::string> pieces;
    std::size_t waitingBytes = 0;  // in pieces or being written
    std::size_t sentBytes = 0;
    bool finished = false;  // the last piece is in
    bool closed = false;    // the connection is gone

    // Adds a piece once fewer than limit bytes wait. False, and nothing
    // added, when the connection is gone or the client took nothing for
    // `patience` while limit bytes waited (why says which).
    bool push(std::string piece, std::size_t limit, std::chrono::milliseconds patience, std::string& why) {
        std::unique_lock<std::mutex> lock(mutex);
        for (;;) {
            const std::size_t sentBefore = sentBytes;
            const bool room = taken.wait_for(lock, patience, [&] { return closed || waitingBytes < limit; });
            if (closed) {
                why = "a conexão foi fechada";
                return false;
            }
            if (room) break;
            if (sentBytes == sentBefore) {
                why = "o cliente não leu nada em " + std::to_string(patience.count()) + " ms";
                return false;
            }
        }
        waitingBytes += piece.size();
        pieces.push_back(std::move(piece));
        return true;
    }
};

struct HttpServer::Impl {
    using Clock = std::chrono::steady_clock;

    HttpLimits limits;
    Handler handler;
    RefusalHandler refuse;
    QuickHandler quick;
    std::function<void(std::size_t)> answerSent;
    std::function<void(const std::string&, std::size_t, const std::string&)> abandoned;
    std::function<void(const std::string&)> evicted;
    std::function<void()> tick;
    std::function<void(std::size_t)> graceOver;
    std::unique_ptr<ssl::context> tls;  // none: plain HTTP
    std::function<void(const std::string&, const std::string&)> tlsRefused;

    asio::io_context io{1};
    tcp::acceptor acceptor{io};
    asio::steady_timer acceptRetry{io};
    asio::steady_timer ticker{io};
    asio::steady_timer grace{io};
    std::optional<asio::executor_work_guard<asio::io_context::executor_type>> keepRunning;
    std::unique_ptr<asio::thread_pool> workers;
    std::thread ioThread;

    // Touched on the I/O thread only (or once it has ended).
    struct AddressConnections {
        std::size_t count = 0;  // counted against the caps (evicted ones no more)
        std::set<Session*> members;
    };
    std::set<Session*> sessions;
    std::map<std::string, AddressConnections> perAddress;
    std::size_t counted = 0;
    CallQueue calls;
    bool stopping = false;

    Impl(HttpLimits l, Handler h, RefusalHandler r)
        : limits(l),
          handler(std::move(h)),
          refuse(std::move(r)),
          calls({std::size_t(l.workers > 0 ? l.workers : 1), l.maxWaitingCalls, l.maxCallsPerAddress}) {}

    void accept();
    void admit(const std::shared_ptr<Session>& session);
    bool evictIdle(const std::string* address, const Session* keep);
    void shutdown();
    void forceClose();
    void scheduleTick();
    void sessionJoined(Session* session, const std::string& address) {
        sessions.insert(session);
        AddressConnections& a = perAddress[address];
        a.members.insert(session);
        ++a.count;
        ++counted;
    }
    void uncount(const std::string& address) {
        auto it = perAddress.find(address);
        if (it != perAddress.end() && it->second.count > 0) --it->second.count;
        --counted;
    }
    void sessionEnded(Session* session, const std::string& address, bool stillCounted) {
        sessions.erase(session);
        if (stillCounted) uncount(address);
        auto it = perAddress.find(address);
        if (it != perAddress.end()) {
            it->second.members.erase(session);
            if (it->second.members.empty()) perAddress.erase(it);
        }
        if (stopping && sessions.empty()) {
            grace.cancel();
            ticker.cancel();
            keepRunning.reset();
        }
    }
};

// One connection: reads a request, has a worker run it, writes the answer,
// and reads the next one.
class HttpServer::Session : public std::enable_shared_from_this<Session> {
public:
    using Clock = std::chrono::steady_clock;

    Session(Impl& server, tcp::socket socket)
        : m_server(server), m_socket(std::move(socket)), m_timer(server.io), m_budget(server.io) {
        if (server.tls) m_tls.emplace(m_socket, *server.tls);
        error_code ec;
        const auto peer = m_socket.remote_endpoint(ec);
        if (!ec) {
            m_address = peer.address().to_string();
            m_port = peer.port();
        }
        m_key = clientAddressKey(m_address);
        m_socket.set_option(tcp::no_delay(true), ec);
        m_server.sessionJoined(this, m_key);
    }
    ~Session() {
        if (m_outbox) {
            std::lock_guard<std::mutex> lock(m_outbox->mutex);
            m_outbox->closed = true;
        }
        m_server.sessionEnded(this, m_key, m_counted);
    }

    // The client's address key (clientAddressKey).
    const std::string& key() const { return m_key; }

    // Reads the first request, or refuses the connection as one too many;
    // over TLS, after the handshake.
    void start(bool tooMany) {
        m_idleSince = Clock::now();
        if (!m_tls) return tooMany ? refuse(Refusal::TooManyConnections) : readRequest();
        m_state = State::Handshaking;
        arm(m_server.limits.requestTimeout);
        m_tls->async_handshake(ssl::stream_base::server,
                               [self = shared_from_this(), tooMany](error_code ec) { self->onHandshake(ec, tooMany); });
    }

    void refuse(Refusal why, const std::string& detail = {}) {
        m_budget.cancel();
        m_state = State::Refusing;
        HttpResponse answer = m_server.refuse(why, m_key, detail);
        write(std::move(answer), false, m_version);
    }

    // Waits for a request that has not begun (or for the client's handshake
    // with nothing of it pending): a connection that may be closed to make
    // room for a new one. When, for the oldest first.
    bool idle() {
        error_code ec;
        if (m_state == State::Handshaking) return m_socket.available(ec) == 0;
        return m_state == State::Reading && !requestStarted();
    }
    Clock::time_point idleSince() const { return m_idleSince; }
    bool counted() const { return m_counted; }

    // Closed to make room: no longer counted against the caps.
    void evict() {
        m_counted = false;
        m_server.uncount(m_key);
        close();
    }

    // The server stops: a connection that waits for a request (or lingers)
    // goes now; one whose request waits, runs or whose answer is being sent
    // ends after it.
    void stopIfWaiting() {
        if (m_state == State::Reading && requestStarted()) return;
        if (m_state == State::Reading || m_state == State::Lingering || m_state == State::Handshaking) close();
    }

    // The grace of a stop has passed: the call is asked to stop and the
    // connection goes.
    void forceClose() {
        m_callStop.request_stop();
        close();
    }

private:
    enum class State { Handshaking, Reading, Waiting, Calling, Writing, Streaming, Refusing, Lingering };

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
        m_idleSince = Clock::now();
        m_parser.emplace();
        limitParser(*m_parser, m_server.limits);
        if (newDeadline) arm(m_server.limits.requestTimeout);
        withStream([this](auto& stream) {
            http::async_read_header(stream, m_buffer, *m_parser,
                                    [self = shared_from_this()](error_code ec, std::size_t) { self->onHeader(ec); });
        });
    }

    void onHeader(error_code ec) {
        if (ec) return onReadError(ec);
        if (const auto refusal = framingRefusal(*m_parser, m_server.limits))
            return refuse(*refusal, *refusal == Refusal::BadRequest ? "framing" : "");
        auto& request = m_parser->get();
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
        refuse(refusalOf(ec, *m_parser, m_server.limits), ec.message());
    }

    void onRequest() {
        m_timer.cancel();
        auto message = m_parser->release();
        m_parser.reset();
        m_version = message.version();
        m_keepAlive = message.keep_alive();
        m_callStop = std::stop_source();
        auto request = std::make_shared<HttpRequest>();
        *request = {text(message.method_string()),
                    text(message.target()),
                    std::move(message.body()),
                    text(message[http::field::authorization]),
                    m_address,
                    m_port,
                    Clock::now() + m_server.limits.callTimeout,
                    m_callStop.get_token()};
        if (m_server.quick) {
            if (auto answer = m_server.quick(*request)) {
                m_state = State::Writing;
                return write(std::move(*answer), m_keepAlive && !m_server.stopping, m_version);
            }
        }
        m_state = State::Waiting;
        CallQueue::Call call;
        call.deadline = request->deadline;
        call.start = [self = shared_from_this(), request] {
            self->m_state = State::Calling;
            // The worker hands its reference on to the I/O thread (run).
            asio::post(*self->m_server.workers, [self, request]() mutable {
                Session& session = *self;
                session.run(*request, std::move(self));
            });
        };
        call.expire = [weak = weak_from_this()] {
            if (auto self = weak.lock(); self && self->m_state == State::Waiting)
                self->refuse(Refusal::TooManyCalls, "expired");
        };
        if (!m_server.calls.admit(m_key, std::move(call))) return refuse(Refusal::TooManyCalls);
        if (m_state != State::Waiting && m_state != State::Calling) return;  // answered already
        m_budget.expires_at(request->deadline);
        m_budget.async_wait([weak = weak_from_this()](error_code ec) {
            auto self = weak.lock();
            if (ec || !self) return;
            if (self->m_state == State::Waiting)
                self->m_server.calls.expireWaiting(Clock::now());
            else
                self->m_callStop.request_stop();
        });
    }

    // On a worker: the call, and its answer given to the I/O thread with
    // the worker's reference (self): were the worker to keep one, the
    // session might end here, on a thread that must not touch the server's
    // connection lists.
    void run(HttpRequest& request, std::shared_ptr<Session> self) {
        HttpResponse answer = m_server.handler(request);
        if (answer.more) return stream(answer, std::move(self));
        asio::io_context& io = m_server.io;
        asio::post(io, [self = std::move(self), answer = std::move(answer)]() mutable {
            self->m_budget.cancel();
            self->m_server.calls.finished(self->m_key);
            self->m_state = State::Writing;
            self->write(std::move(answer), self->m_keepAlive && !self->m_server.stopping, self->m_version);
        });
    }

    // On a worker: a produced answer, piece by piece as the client takes
    // them (HTTP/1.0 clients get it unframed, ended by the close).
    void stream(HttpResponse& answer, std::shared_ptr<Session> self) {
        const bool chunked = m_version >= 11;
        const bool keepAlive = chunked && m_keepAlive;
        std::string head = statusLine(m_version, answer.status);
        if (!answer.contentType.empty()) head += "Content-Type: " + answer.contentType + "\r\n";
        for (const auto& [name, value] : answer.headers) head += name + ": " + value + "\r\n";
        head += chunked ? "Transfer-Encoding: chunked\r\n" : "";
        head += keepAlive ? "Connection: keep-alive\r\n\r\n" : "Connection: close\r\n\r\n";
        auto box = std::make_shared<Outbox>();
        {
            std::lock_guard<std::mutex> lock(box->mutex);
            std::string first = head + (chunked && !answer.body.empty() ? chunk(answer.body) : answer.body);
            box->waitingBytes = first.size();
            box->pieces.push_back(std::move(first));
        }
        answer.body = std::string();
        asio::post(m_server.io, [self = shared_from_this(), box, keepAlive] { self->beginStream(box, keepAlive); });

        std::string why;
        std::size_t made = 0;
        bool complete = false;
        const auto send = [&](std::string piece) {
            if (!box->push(std::move(piece), m_server.limits.maxHeldBytes, m_server.limits.heldTimeout, why))
                return false;
            asio::post(m_server.io, [self = shared_from_this()] { self->pump(); });
            return true;
        };
        try {
            for (bool more = true; more;) {
                std::string piece;
                more = answer.more(piece);
                made += piece.size();
                if (!piece.empty() && !send(chunked ? chunk(piece) : std::move(piece))) break;
                complete = !more;
            }
            if (complete && chunked) complete = send("0\r\n\r\n");
        } catch (const std::exception& e) {
            why = std::string("a resposta não pôde ser codificada: ") + e.what();
            complete = false;
        }
        answer.more = nullptr;  // what it holds goes here, on the worker
        {
            std::lock_guard<std::mutex> lock(box->mutex);
            box->finished = true;
        }
        if (!complete && m_server.abandoned) m_server.abandoned(m_key, box->sentBytes, why);
        // An answer cut off was large all the same: what made it is freed now.
        if (m_server.answerSent) m_server.answerSent(complete ? made : std::numeric_limits<std::size_t>::max());
        asio::post(m_server.io, [self = std::move(self), complete] {
            self->m_budget.cancel();
            self->m_server.calls.finished(self->m_key);
            if (!complete) return self->close();
            self->pump();
        });
    }

    // On the I/O thread: the pieces of a produced answer go out one by one.
    void beginStream(std::shared_ptr<Outbox> box, bool keepAlive) {
        m_state = State::Streaming;
        m_outbox = std::move(box);
        m_streamKeepAlive = keepAlive;
        m_closed ? closeOutbox() : pump();
    }

    void pump() {
        if (!m_outbox || m_writing || m_closed) return;
        {
            std::lock_guard<std::mutex> lock(m_outbox->mutex);
            if (m_outbox->pieces.empty()) {
                if (m_outbox->finished) {
                    m_outbox.reset();
                    if (!m_streamKeepAlive || m_server.stopping) return close();
                    return readRequest();
                }
                return;
            }
            m_piece = std::move(m_outbox->pieces.front());
            m_outbox->pieces.pop_front();
        }
        m_writing = true;
        arm(m_server.limits.writeTimeout);
        withStream([this](auto& stream) {
            asio::async_write(stream, asio::buffer(m_piece), [self = shared_from_this()](error_code ec, std::size_t n) {
                self->m_writing = false;
                self->m_timer.cancel();
                if (self->m_outbox) {
                    std::lock_guard<std::mutex> lock(self->m_outbox->mutex);
                    self->m_outbox->waitingBytes -= self->m_piece.size();
                    self->m_outbox->sentBytes += n;
                    self->m_outbox->taken.notify_all();
                }
                self->m_piece = std::string();
                if (ec) return self->close();
                self->pump();
            });
        });
    }

    void closeOutbox() {
        if (!m_outbox) return;
        std::lock_guard<std::mutex> lock(m_outbox->mutex);
        m_outbox->closed = true;
        m_outbox->taken.notify_all();
    }

    void write(HttpResponse answer, bool keepAlive, unsigned version) {
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
        m_closed = true;
        m_timer.cancel();
        closeOutbox();
        error_code ec;
        m_socket.shutdown(tcp::socket::shutdown_both, ec);
        m_socket.close(ec);
    }

    Impl& m_server;
    tcp::socket m_socket;
    std::optional<ssl::stream<tcp::socket&>> m_tls;  // over m_socket; none in plain HTTP
    asio::steady_timer m_timer;                      // the deadline of what the connection does now
    asio::steady_timer m_budget;                     // the end of the call's time budget
    bool m_timedOut = false;
    beast::flat_buffer m_buffer;
    std::optional<RequestParser> m_parser;
    std::string m_address;
    std::string m_key;
    int m_port = 0;
    State m_state = State::Reading;
    Clock::time_point m_idleSince = Clock::now();
    bool m_counted = true;
    bool m_closed = false;
    unsigned m_version = 11;
    bool m_keepAlive = false;
    std::stop_source m_callStop;
    std::shared_ptr<Outbox> m_outbox;  // a produced answer being sent
    bool m_streamKeepAlive = false;
    bool m_writing = false;
    std::string m_piece;  // the piece being written
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
        admit(std::make_shared<Session>(*this, std::move(socket)));
        accept();
    });
}

// A new connection over a cap makes room by closing an idle one; it is
// refused only when there is none.
void HttpServer::Impl::admit(const std::shared_ptr<Session>& session) {
    bool tooMany = false;
    if (perAddress[session->key()].count > limits.maxConnectionsPerAddress)
        tooMany = !evictIdle(&session->key(), session.get());
    if (!tooMany && counted > limits.maxConnections) tooMany = !evictIdle(nullptr, session.get());
    session->start(tooMany);
}

// Closes the idle connection that waited longest, of address, or (none
// given) of the address holding the most connections that has one idle.
bool HttpServer::Impl::evictIdle(const std::string* address, const Session* keep) {
    std::vector<std::pair<std::size_t, const std::string*>> order;
    if (address) {
        order.emplace_back(0, address);
    } else {
        for (const auto& [key, connections] : perAddress) order.emplace_back(connections.count, &key);
        std::sort(order.begin(), order.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
    }
    for (const auto& [count, key] : order) {
        const auto it = perAddress.find(*key);
        if (it == perAddress.end()) continue;
        std::vector<Session*> candidates;
        for (Session* s : it->second.members)
            if (s != keep && s->counted()) candidates.push_back(s);
        std::sort(candidates.begin(), candidates.end(),
                  [](const Session* a, const Session* b) { return a->idleSince() < b->idleSince(); });
        for (Session* s : candidates) {
            if (!s->idle()) continue;
            const std::string evictedKey = s->key();
            s->evict();
            if (evicted) evicted(evictedKey);
            return true;
        }
    }
    return false;
}

void HttpServer::Impl::scheduleTick() {
    ticker.expires_after(std::chrono::seconds(1));
    ticker.async_wait([this](error_code ec) {
        if (ec || stopping) return;
        calls.expireWaiting(Clock::now());
        if (tick) tick();
        scheduleTick();
    });
}

void HttpServer::Impl::shutdown() {
    stopping = true;
    error_code ec;
    acceptor.close(ec);
    acceptRetry.cancel();
    ticker.cancel();
    for (Session* session : std::vector<Session*>(sessions.begin(), sessions.end())) session->stopIfWaiting();
    if (sessions.empty()) return keepRunning.reset();
    grace.expires_after(limits.stopGrace);
    grace.async_wait([this](error_code waited) {
        if (!waited) forceClose();
    });
}

void HttpServer::Impl::forceClose() {
    if (graceOver) graceOver(sessions.size());
    calls.dropWaiting();
    for (Session* session : std::vector<Session*>(sessions.begin(), sessions.end())) session->forceClose();
}

HttpServer::HttpServer(HttpLimits limits, Handler handler, RefusalHandler refuse)
    : m_impl(std::make_unique<Impl>(limits, std::move(handler), std::move(refuse))) {}

HttpServer::~HttpServer() { stop(); }

void HttpServer::answerQuickly(QuickHandler quick) { m_impl->quick = std::move(quick); }

void HttpServer::onAnswerSent(std::function<void(std::size_t)> sent) { m_impl->answerSent = std::move(sent); }

void HttpServer::onAbandoned(std::function<void(const std::string&, std::size_t, const std::string&)> abandoned) {
    m_impl->abandoned = std::move(abandoned);
}

void HttpServer::onEvicted(std::function<void(const std::string&)> evicted) { m_impl->evicted = std::move(evicted); }

void HttpServer::onTick(std::function<void()> tick) { m_impl->tick = std::move(tick); }

void HttpServer::onGraceOver(std::function<void(std::size_t)> over) { m_impl->graceOver = std::move(over); }

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
    d.scheduleTick();
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
    // A call that ended after the I/O thread did handed its session back to
    // it: those hand-overs run here, while the connection lists still
    // exist, so that no session ends when the context is destroyed.
    d.io.restart();
    d.io.poll();
    // The I/O thread has ended: the last tick runs here.
    if (d.tick) d.tick();
}

}  // namespace pla013::appserver::internal
