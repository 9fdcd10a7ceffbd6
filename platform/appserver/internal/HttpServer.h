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

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
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
