#pragma once
// The HTTP/1.1 side of the application server: one I/O thread holds every
// connection (idle or slow ones cost a socket, never a worker), and a pool of
// workers runs the requests that arrived whole.
//
// Each request must arrive whole within requestTimeout of the moment the
// server starts waiting for it: a client that sends a byte now and then is
// cut off like a silent one. What cannot be served is answered at once and
// the connection closed: a malformed request or two different lengths (400),
// a request line too long (414), headers too large (431), a body over the
// limit, also a chunked one (413), a request that did not arrive in time
// (408), one connection too many (503). Pipelined requests are answered in
// order, and a request followed by a half-close still gets its answer.
//
// stop() closes the listening socket and the connections that wait for a
// request, lets the requests already running finish and send their answers,
// and returns when every connection is gone.
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
#include <stdexcept>
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
};

struct HttpRequest {
    std::string method;
    std::string target;
    std::string body;
    std::string authorization;  // the Authorization field, empty when absent
    std::string peerAddress;
    int peerPort = 0;

    // The target without its query.
    std::string path() const;
};

struct HttpResponse {
    int status = 200;
    std::string body;
    std::string contentType;
    std::vector<std::pair<std::string, std::string>> headers;  // further fields, e.g. Retry-After
};

// Why a request was answered without reaching the handler.
enum class Refusal { BadRequest, Timeout, TargetTooLong, HeaderTooLarge, BodyTooLarge, TooManyConnections };

int statusOf(Refusal refusal);

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
    using RefusalHandler = std::function<HttpResponse(Refusal, const std::string& peer, const std::string& detail)>;

    HttpServer(HttpLimits limits, Handler handler, RefusalHandler refuse);
    ~HttpServer();  // stops
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    // Called on a worker after an answer has been sent and its memory
    // freed, with the answer's size.
    void onAnswerSent(std::function<void(std::size_t bytes)> sent);

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
