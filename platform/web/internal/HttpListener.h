#pragma once
// The HTTP/1.1 side of the web host, plain or over TLS: one I/O thread holds
// the connections, a pool of workers runs the handler for each request that
// arrived whole, and the handler answers when it is ready, from any thread
// (an answer may wait for a form's events without holding a worker).
//
// What cannot be served is answered at once and the connection closed: a
// malformed request (400), a header block or body over the limits (431,
// 413), a request that did not arrive whole in time (408), one connection
// too many (503). Over TLS every connection starts with the handshake; a
// client that does not complete it in time is dropped.

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace pla013::web::internal {

struct HttpLimits {
    std::size_t maxHeaderBytes = 16 * 1024;
    std::size_t maxBodyBytes = 64 * 1024;
    // A whole request, from the moment the server waits for it.
    std::chrono::milliseconds requestTimeout{30000};
    // A connection kept alive with no request under way.
    std::chrono::milliseconds idleTimeout{60000};
    // Longest stall while sending an answer.
    std::chrono::milliseconds writeTimeout{120000};
    std::size_t maxConnections = 1000;
    int workers = 4;
};

struct HttpRequest {
    std::string method;
    std::string target;
    std::string body;
    std::vector<std::pair<std::string, std::string>> headers;  // names in lower case
    std::string peerAddress;
    bool secure = false;  // arrived over TLS

    // The first field of that name (lower case), empty when absent.
    std::string header(std::string_view name) const;
    // The target without its query.
    std::string path() const;
    // A parameter of the query, percent-decoded; empty when absent.
    std::string query(std::string_view name) const;
};

struct HttpResponse {
    int status = 200;
    std::string contentType = "application/json; charset=utf-8";
    std::string body;
    std::vector<std::pair<std::string, std::string>> headers;
    // When set, the body is this file's content, read as it is sent.
    std::string file;
};

// The certificate chain and private key of a TLS listener, PEM files.
struct TlsFiles {
    std::string certificate;
    std::string privateKey;
};

class HttpListener {
public:
    // Sends the answer; call it exactly once, from any thread.
    using Reply = std::function<void(HttpResponse)>;
    // Runs on a worker; must not throw.
    using Handler = std::function<void(HttpRequest&& request, Reply reply)>;

    HttpListener(HttpLimits limits, Handler handler);
    ~HttpListener();  // stops
    HttpListener(const HttpListener&) = delete;
    HttpListener& operator=(const HttpListener&) = delete;

    // Binds host:port (0: a free port) and returns the port bound; with tls,
    // loads the certificate and key first. std::runtime_error with the
    // reason when it cannot.
    int bind(const std::string& host, int port, const std::optional<TlsFiles>& tls);
    void start();
    // Closes the listening socket and every connection; answers given after
    // this are dropped. Safe to call twice.
    void stop();

    // Defined with the connections, which share it.
    struct Impl;

private:
    std::shared_ptr<Impl> m_impl;
};

}  // namespace pla013::web::internal
