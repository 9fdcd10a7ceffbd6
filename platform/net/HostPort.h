#pragma once
// The one reading of a server address that every executable accepts:
// "HOST:PORT" for an IPv4 address or a name, "[IPv6]:PORT" for an IPv6
// address (the brackets keep its colons apart from the port's), either of
// them optionally written as a URL: "http://HOST:PORT" for a server that
// speaks plain HTTP, "https://HOST:PORT" for one that speaks HTTP over TLS
// (any other scheme is refused). A client may be given several servers over
// one database as a comma-separated list of such addresses, plain and TLS
// mixed.

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace pla013::net {

// A text that is not an address; what() says what is wrong with it, quoting
// the text, without naming the option it came from (callers prefix that).
class HostPortError : public std::invalid_argument {
public:
    using std::invalid_argument::invalid_argument;
};

struct HostPort {
    std::string host;  // without brackets: "::1", "127.0.0.1", "cozinha.local"
    int port = 0;      // 0 to 65535; 0 asks a server for any free port
    bool tls = false;  // written "https://...": calls go over TLS, the certificate verified

    // Reads "HOST:PORT" or "[IPv6]:PORT", each with or without "http://" or
    // "https://" before it and "/" after it. With defaultHost, a bare "PORT"
    // is also accepted and gets that host. HostPortError on a missing or
    // non-numeric port, a port over 65535, an empty host, an unclosed
    // bracket, an IPv6 address written without brackets, a scheme other than
    // http or https, or a path.
    static HostPort parse(const std::string& text, const std::optional<std::string>& defaultHost = std::nullopt);

    // Reads "A,B,...", each element as parse() reads it (no default host),
    // with spaces and tabs around an element ignored; one element is the
    // plain address. HostPortError on an empty element, an element that is
    // not an address (the reason quotes it) and an address given twice
    // (names compared without regard to letter case, the scheme left out): a
    // list that names a server twice is a typing mistake, not a wish to call
    // it twice.
    static std::vector<HostPort> parseList(const std::string& text);

    // The address as parse() reads it back: IPv6 hosts in brackets,
    // "https://" before a TLS address.
    std::string text() const;
};

// "host:port", with an IPv6 host in brackets.
std::string formatHostPort(const std::string& host, int port);

// Whether host names this machine's loopback: 127.0.0.0/8, ::1 or
// "localhost" (any letter case). Nothing sent there crosses a network.
bool isLoopbackHost(const std::string& host);

// The addresses as the user reads them: "A, B".
std::string formatHostPortList(const std::vector<HostPort>& list);

}  // namespace pla013::net
