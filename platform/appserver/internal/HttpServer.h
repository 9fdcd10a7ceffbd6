#pragma once
// The HTTP/1.1 side of the application server: one I/O thread holds every
// connection (idle or slow ones cost a socket, never a worker), and a pool of
// workers runs the requests that arrived whole.
//
// Each request must arrive whole within requestTimeout of the moment the
// server starts waiting for it: a client that sends a byte now and then is
// cut off like a silent one. What cannot be served is answered at once and
// the connection closed: a malformed request, two different lengths or a
// Transfer-Encoding other than exactly "chunked" (400), a request line too
// long (414), headers too large (431), a body over the limit, also a chunked
// one (413), a request that did not arrive in time (408), one connection too
// many or one call too many (503). Pipelined requests are answered in order,
// and a request followed by a half-close still gets its answer.
//
// Connections. When a new connection would pass a cap (in all, or of its
// client address), the oldest idle connection (waiting for a request that has
// not begun) of the address holding the most, or of the new one's address,
// is closed to make room; only when none is idle is the new one refused.
// IPv6 clients count by their /64 network, since one host may hold a whole
// one.
//
// Calls. A request that arrived whole waits for a worker in a queue bounded
// in all and per client address; beyond either it is refused at once. A free
// worker takes the waiting call of the address with the fewest calls
// running, and one address never holds every worker, so that a call from
// elsewhere does not wait behind a flood of long ones. A call has a time
// budget from the moment it arrived: one still waiting then is refused
// (it never ran), one running has its stop token asked.
//
// Answers. A handler's answer goes with its length, or, given a producer,
// chunked as the producer makes it: at most maxHeldBytes of it wait for the
// client, the producer waiting meanwhile; a client that leaves that much
// waiting and takes nothing for heldTimeout is cut off, so that a client that
// does not read costs a worker and memory for a bounded time only.
//
// stop() closes the listening socket and the connections that wait for a
// request, lets the calls waiting or running finish and send their answers
// for at most stopGrace, then closes what is left (running calls have their
// stop token asked), and returns when every connection is gone.
//
// With useTls(), every connection speaks TLS (1.2 at least) before HTTP. The
// handshake counts against the first request's deadline: a client that never
// completes it is cut off like a silent one. A handshake that fails (a plain
// HTTP request, a protocol too old) closes the connection without an answer;
// then everything above goes as in plain HTTP, refusals (503 included)
// answered over TLS.

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <stop_token>
#include <string>
#include <utility>
#include <vector>

namespace pla013::appserver::internal {

struct HttpLimits {
    std::size_t maxHeaderBytes = 8 * 1024;  // request line and fields
    std::size_t maxTargetBytes = 2 * 1024;  // the request line's target
    std::size_t maxBodyBytes = std::size_t(1) << 20;
    // A whole request, from the moment the server waits for it to its last
    // byte; also how long an idle connection is kept.
    std::chrono::milliseconds requestTimeout{5000};
    // Longest stall while sending an answer.
    std::chrono::milliseconds writeTimeout{60000};
    std::size_t maxConnections = 1000;
    std::size_t maxConnectionsPerAddress = 256;
    int workers = 4;
    // Calls waiting for a worker, in all; calls of one client address,
    // waiting or running.
    std::size_t maxWaitingCalls = 64;
    std::size_t maxCallsPerAddress = 16;
    // A call's time budget, from the moment it arrived whole.
    std::chrono::milliseconds callTimeout{30000};
    // A produced answer waiting for a slow client, and how long the client
    // may leave that much waiting without taking a byte.
    std::size_t maxHeldBytes = std::size_t(4) << 20;
    std::chrono::milliseconds heldTimeout{10000};
    // How long stop() lets running calls and answers being sent finish.
    std::chrono::milliseconds stopGrace{10000};
};

struct HttpRequest {
    std::string method;
    std::string target;
    std::string body;
    std::string authorization;  // the Authorization field, empty when absent
    std::string peerAddress;
    int peerPort = 0;
    // The end of the call's time budget, and the token asked when it passes
    // or when the server stops for good; a handler stops its work then.
    std::chrono::steady_clock::time_point deadline{};
    std::stop_token stop;

    // The target without its query.
    std::string path() const;
};

struct HttpResponse {
    int status = 200;
    std::string body;
    std::string contentType;
    std::vector<std::pair<std::string, std::string>> headers;  // further fields, e.g. Retry-After
    // When set, the body is sent chunked: `body` first, then what each call
    // appends to its (emptied) argument, until a call returns false. It runs
    // on the worker that made the answer, paced by the client (see
    // HttpLimits::maxHeldBytes). An exception from it cuts the answer off
    // (the client sees it incomplete) and is reported to onAbandoned.
    std::function<bool(std::string&)> more;
};

// Why a request was answered without reaching the handler.
enum class Refusal {
    BadRequest,
    Timeout,
    TargetTooLong,
    HeaderTooLarge,
    BodyTooLarge,
    TooManyConnections,
    TooManyCalls
};

int statusOf(Refusal refusal);

// The address a client is counted under: an IPv4 address as written, an
// IPv6 address as its /64 network ("2001:db8:1:2::/64"), an IPv4 address
// mapped into IPv6 as the IPv4 one. Anything else comes back as it is.
std::string clientAddressKey(const std::string& address);

// A certificate or key the server cannot use. what() is for the user and
// names the file; detail() is the library's reason, for the log.
class TlsSetupError : public std::runtime_error {
public:
    TlsSetupError(const std::string& message, std::string detail)
        : std::runtime_error(message), m_detail(std::move(detail)) {}
    const std::string& detail() const { return m_detail; }

private:
    std::string m_detail;
};

class HttpServer {
public:
    // Runs on a worker thread; must not throw.
    using Handler = std::function<HttpResponse(HttpRequest&)>;
    // Builds the answer to a refusal, on the I/O thread; must not throw.
    // peer is the client's address key (clientAddressKey).
    using RefusalHandler = std::function<HttpResponse(Refusal, const std::string& peer, const std::string& detail)>;
    // Answers on the I/O thread, without a worker, the requests it knows
    // (quick ones that touch nothing shared); nothing: the request goes to
    // a worker. Must not throw.
    using QuickHandler = std::function<std::optional<HttpResponse>(const HttpRequest&)>;

    HttpServer(HttpLimits limits, Handler handler, RefusalHandler refuse);
    ~HttpServer();  // stops
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    // The optional parts below are set before start().
    void answerQuickly(QuickHandler quick);
    // Called on a worker after an answer has been sent and its memory
    // freed, with the answer's size (SIZE_MAX for a produced answer cut
    // off: what made it was large).
    void onAnswerSent(std::function<void(std::size_t bytes)> sent);
    // Called when a produced answer is cut off: the client's address, the
    // bytes it took, and why. From a worker; must not throw.
    void onAbandoned(std::function<void(const std::string& peer, std::size_t sent, const std::string& why)> abandoned);
    // Called on the I/O thread for each idle connection closed to make room
    // for a new one, with its address key. Must not throw.
    void onEvicted(std::function<void(const std::string& peer)> evicted);
    // Called on the I/O thread about once a second while serving, and once
    // more as the server stops. Must not throw.
    void onTick(std::function<void()> tick);
    // Called on the I/O thread when stop()'s grace is over, with the number
    // of connections it then closes. Must not throw.
    void onGraceOver(std::function<void(std::size_t connections)> over);

    // Serves every connection over TLS with the certificate chain and the
    // private key of these PEM files (a key protected by a pass phrase is not
    // read). Before start(); TlsSetupError when a file cannot be read or the
    // key is not the certificate's.
    void useTls(const std::string& certificateFile, const std::string& keyFile);
    // Called on the I/O thread when a connection's TLS handshake fails for
    // another reason than silence or a close (plain HTTP sent to the port,
    // an old protocol, garbage): the peer's address and the reason. Must not
    // throw.
    void onTlsRefused(std::function<void(const std::string& peer, const std::string& detail)> refused);

    // Binds host:port (0: a free port) with the system's largest backlog and
    // returns the port bound. std::runtime_error when it cannot.
    int bind(const std::string& host, int port);
    // Serves in the background until stop().
    void start();
    // See above; safe to call twice, and without start().
    void stop();

private:
    struct Impl;
    class Session;
    std::unique_ptr<Impl> m_impl;
};

}  // namespace pla013::appserver::internal
