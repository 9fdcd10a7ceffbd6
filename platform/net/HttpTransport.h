#pragma once
// The application-server transport of TNetConnection: one HTTP POST with a
// JSON body per call (docs/protocol.md). Every way a call can go wrong (no
// server, a server that dies or stalls mid-call, an answer that is not a
// protocol answer, an error status) is a host::EHostError whose message
// names the remote module, the method and the address, raised within the
// configured timeouts and never later than the call's deadline.

#include <chrono>
#include <cstddef>
#include <string>
#include <vector>

#include "host/Ports.h"

namespace pla013::net {

struct HttpTransportOptions {
    // Time to establish the TCP connection.
    std::chrono::milliseconds connectTimeout{5000};
    // Longest wait for the next bytes of the answer; a server that computes
    // longer than this without answering fails the call.
    std::chrono::milliseconds readTimeout{60000};
    // Longest wait while sending the request.
    std::chrono::milliseconds writeTimeout{30000};
    // The whole call, from connecting to the last byte of the answer. The
    // timeouts above are per step: a server that sends a byte now and then
    // would pass every one of them and still hold the call for ever.
    std::chrono::milliseconds deadline{120000};
    // Answers larger than this are refused (the call fails) rather than held.
    std::size_t maxResponseBytes = std::size_t(1) << 30;
};

class HttpTransport : public host::INetTransport {
public:
    explicit HttpTransport(HttpTransportOptions options = {});
    ~HttpTransport() override;

    // GET /health: succeeds when a server of our protocol version answers,
    // waiting for the connection and for the answer no longer than
    // connectTimeout each (and never past the deadline).
    void Connect(const std::string& host, int port) override;
    host::Variant Call(const std::string& host, int port, const std::string& serverName, const std::string& method,
                       const std::vector<host::CallArg>& args) override;

    const HttpTransportOptions& options() const { return m_options; }

private:
    HttpTransportOptions m_options;
};

}  // namespace pla013::net
