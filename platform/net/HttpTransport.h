#pragma once
// The application-server transport of TNetConnection: one HTTP POST with a
// JSON body per call (docs/protocol.md). Every way a call can go wrong (no
// server, a server that dies or stalls mid-call, an answer that is not a
// protocol answer, an error status) is a host::EHostError whose message
// names the remote module, the method and the address, raised within the
// configured timeouts and never later than the call's deadline.
//
// Several servers over one database may serve the same clients. Given their
// list, the transport sends a call addressed to any of them to the one that
// answered last, and when that one took no part in it to the next in the
// list, wrapping around: the connection was refused or reset, or not
// accepted within connectTimeout, or the request did not go out whole (a
// server receives a call entirely before running it), or the server refused
// it as busy before running it (503 too_many_connections, too_many_calls).
// So no call runs twice. A server that answers otherwise, even with an
// error, or that fails after the request went out, ends the call there. The
// health check (Connect) runs nothing, so any failure of it moves on, a
// server that does not answer it within connectTimeout included (a frozen
// process still has its connections accepted by the system). Every attempt
// of one call or check shares the call's deadline.
//
// Answers are read as they arrive: a success answer is decoded while its
// text comes (never held whole), and one larger than maxResponseBytes, or
// with more rows than maxResponseRows in its packets, is refused as soon as
// it passes the limit (a declared length over it, at once).
//
// A server whose address was written "https://" is called over TLS (1.2 at
// least): its certificate chain must verify against caFile, or the system's
// store when there is none, and name the host the client called. A TLS
// handshake that fails is a connection that failed (the next server is
// tried); a certificate that does not verify ends the call with the reason,
// as it is a setting to correct, not a server that is down. Nothing falls
// back to plain HTTP.

#include <atomic>
#include <chrono>
#include <cstddef>
#include <mutex>
#include <stop_token>
#include <string>
#include <vector>

#include "host/Errors.h"
#include "host/Ports.h"
#include "platform/net/HostPort.h"
#include "platform/net/Protocol.h"

namespace pla013::net {

// A call whose caller stopped waiting: the silent abort, nothing answered.
class CallCancelled : public host::EAbort {
public:
    const char* what() const noexcept override { return "call cancelled"; }
};

// A sign-in the server refused: what() is the server's message for the
// user ("Operador ou senha incorretos."), code() the protocol's code.
class SignInRefused : public host::EHostError {
public:
    SignInRefused(std::string code, const std::string& message, long long retryAfter);
    ~SignInRefused() override;
    const std::string& code() const { return m_code; }
    // Seconds to wait, from Retry-After; 0 when the server said none.
    long long retryAfter() const { return m_retryAfter; }

private:
    std::string m_code;
    long long m_retryAfter;
};

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
    // Answers larger than this, or with more rows than this in all their
    // data packets, are refused (the call fails) as soon as they pass it.
    std::size_t maxResponseBytes = std::size_t(256) << 20;
    std::size_t maxResponseRows = 1000000;
    // PEM file of the certificate authorities that TLS servers' certificates
    // must come from; empty: the system's store.
    std::string caFile;
};

class HttpTransport : public host::INetTransport {
public:
    // servers: the servers that stand in for one another (each plain or TLS,
    // as its address says); calls to any other address go to that address
    // alone, in plain HTTP.
    explicit HttpTransport(HttpTransportOptions options = {}, std::vector<HostPort> servers = {});
    ~HttpTransport() override;

    // GET /health: succeeds when a server of our protocol version answers,
    // waiting for the connection and for the answer no longer than
    // connectTimeout each (and never past the deadline, for every server of
    // a list together).
    void Connect(const std::string& host, int port) override;
    host::Variant Call(const std::string& host, int port, const std::string& serverName, const std::string& method,
                       const std::vector<host::CallArg>& args) override;
    // The same call, given up (CallCancelled, the connection shut) as soon as
    // stop is asked; whatever the server answers then is dropped.
    host::Variant Call(const std::string& host, int port, const std::string& serverName, const std::string& method,
                       const std::vector<host::CallArg>& args, std::stop_token stop);

    // Sign-in (docs/protocol.md, *Sign-in*), with the servers of the list
    // standing in for one another as for calls: the token the server gives
    // then goes with every call, to whichever server takes it (they share
    // their sessions through the database). SignInRefused when the server
    // refuses the operator; EHostError when no server answers.
    void signIn(const std::string& operatorCode, const std::string& password);
    // Ends the session on the server (errors ignored) and forgets the token.
    void signOut();
    // Calls carry the token of a session signed in elsewhere (by the process
    // that started this one); signOut() then only forgets it, for the
    // session is not this transport's to end.
    void useSession(const std::string& token);
    bool signedIn() const;
    // Whether the server that answers calls takes none without a session.
    bool signInRequired();

    const HttpTransportOptions& options() const { return m_options; }
    // The server that answered last (where the next call starts); host:port
    // itself when it is not one of the servers.
    HostPort currentServer(const std::string& host, int port) const;

private:
    // The servers to try for a call to host:port, in order.
    std::vector<HostPort> route(const std::string& host, int port) const;
    void answered(const HostPort& server);
    HealthInfo checkHealth(const HostPort& server, std::chrono::steady_clock::time_point deadline) const;
    std::string token() const;
    host::Variant callOne(const HostPort& server, const std::string& serverName, const std::string& method,
                          const std::string& body, std::stop_token stop,
                          std::chrono::steady_clock::time_point deadline) const;

    HttpTransportOptions m_options;
    const std::vector<HostPort> m_servers;
    std::atomic<std::size_t> m_current{0};
    mutable std::mutex m_tokenMutex;
    std::string m_token;
    bool m_borrowed = false;  // the token came through useSession
};

}  // namespace pla013::net
