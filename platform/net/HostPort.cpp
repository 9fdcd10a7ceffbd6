#include "platform/net/HostPort.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cctype>

namespace pla013::net {

namespace {

std::string quoted(const std::string& text) { return "\"" + text + "\""; }

std::string lowered(std::string text) {
    for (char& c : text) c = char(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

int parsePort(const std::string& port) {
    if (port.empty() || port.size() > 5 || port.find_first_not_of("0123456789") != std::string::npos ||
        std::stoi(port) > 65535)
        throw HostPortError(quoted(port) + " is not a port number (0 to 65535)");
    return std::stoi(port);
}

// The address inside "http://ADDRESS" or "https://ADDRESS" (a "/" after it
// allowed); text itself when it names no scheme. tls tells which scheme.
std::string withoutScheme(const std::string& text, bool& tls) {
    tls = false;
    const auto separator = text.find("://");
    if (separator == std::string::npos) return text;
    const std::string scheme = lowered(text.substr(0, separator));
    if (scheme != "http" && scheme != "https")
        throw HostPortError(
            "the application server speaks HTTP or HTTPS: write http://HOST:PORT, https://HOST:PORT or HOST:PORT, "
            "not " +
            quoted(text));
    tls = scheme == "https";
    std::string address = text.substr(separator + 3);
    if (!address.empty() && address.back() == '/') address.pop_back();
    if (address.find('/') != std::string::npos)
        throw HostPortError("an address has no path: write http://HOST:PORT, not " + quoted(text));
    return address;
}

}  // namespace

HostPort HostPort::parse(const std::string& given, const std::optional<std::string>& defaultHost) {
    HostPort result;
    const std::string text = withoutScheme(given, result.tls);
    // A URL names its host: the bare "PORT" form is not one.
    const bool url = text.size() != given.size();
    std::string port;
    if (!text.empty() && text.front() == '[') {
        const auto close = text.find(']');
        if (close == std::string::npos) throw HostPortError("expected [HOST]:PORT, got " + quoted(given));
        if (close + 1 >= text.size() || text[close + 1] != ':')
            throw HostPortError("the port is missing in " + quoted(given) + " (expected [HOST]:PORT)");
        result.host = text.substr(1, close - 1);
        port = text.substr(close + 2);
    } else if (const auto colon = text.find(':'); colon != std::string::npos) {
        if (text.find(':', colon + 1) != std::string::npos)
            throw HostPortError("an IPv6 address is written in brackets, [HOST]:PORT, not " + quoted(given));
        result.host = text.substr(0, colon);
        port = text.substr(colon + 1);
    } else if (defaultHost && !url && !text.empty()) {
        result.host = *defaultHost;
        port = text;
    } else {
        throw HostPortError("expected HOST:PORT, got " + quoted(given));
    }
    if (result.host.empty()) throw HostPortError("the host is empty in " + quoted(given));
    result.port = parsePort(port);
    return result;
}

std::vector<HostPort> HostPort::parseList(const std::string& text) {
    std::vector<HostPort> list;
    std::size_t begin = 0;
    while (true) {
        const std::size_t comma = std::min(text.find(',', begin), text.size());
        std::string element = text.substr(begin, comma - begin);
        const auto first = element.find_first_not_of(" \t");
        element = first == std::string::npos ? std::string()
                                             : element.substr(first, element.find_last_not_of(" \t") + 1 - first);
        const bool single = begin == 0 && comma == text.size();
        if (element.empty() && !single)
            throw HostPortError("the list of servers " + quoted(text) + " has an empty element");
        HostPort address = parse(element);
        for (const HostPort& earlier : list)
            if (earlier.port == address.port && lowered(earlier.host) == lowered(address.host))
                throw HostPortError("the list of servers " + quoted(text) + " names " + quoted(address.text()) +
                                    " twice");
        list.push_back(std::move(address));
        if (comma == text.size()) return list;
        begin = comma + 1;
    }
}

std::string HostPort::text() const { return (tls ? "https://" : "") + formatHostPort(host, port); }

std::string formatHostPort(const std::string& host, int port) {
    const bool ipv6 = host.find(':') != std::string::npos;
    return (ipv6 ? "[" + host + "]" : host) + ":" + std::to_string(port);
}

bool isLoopbackHost(const std::string& host) {
    if (lowered(host) == "localhost") return true;
    in_addr v4{};
    if (::inet_pton(AF_INET, host.c_str(), &v4) == 1) return (ntohl(v4.s_addr) >> 24) == 127;
    in6_addr v6{};
    return ::inet_pton(AF_INET6, host.c_str(), &v6) == 1 && IN6_IS_ADDR_LOOPBACK(&v6);
}

std::string formatHostPortList(const std::vector<HostPort>& list) {
    std::string out;
    for (const HostPort& address : list) out += (out.empty() ? "" : ", ") + address.text();
    return out;
}

}  // namespace pla013::net
