#include "LoadSupport.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <thread>

#include "GeneratedDishes.h"
#include "ServerTestSupport.h"
#include "platform/net/Protocol.h"

namespace servertest {

int connectFrom(const std::string& source, int port, int receiveBuffer) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (receiveBuffer > 0) ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
    sockaddr_in from{};
    from.sin_family = AF_INET;
    ::inet_pton(AF_INET, source.c_str(), &from.sin_addr);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    to.sin_port = htons(std::uint16_t(port));
    if (::bind(fd, reinterpret_cast<sockaddr*>(&from), sizeof from) != 0 ||
        ::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

bool sendAll(int fd, const std::string& bytes) {
    for (std::size_t sent = 0; sent < bytes.size();) {
        const ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) return false;
        sent += std::size_t(n);
    }
    return true;
}

std::string callRequest(const std::string& body) {
    return "POST /call HTTP/1.1\r\nHost: t\r\nContent-Type: application/json\r\nContent-Length: " +
           std::to_string(body.size()) + "\r\n\r\n" + body;
}

int RawAnswer::status() const {
    if (bytes.rfind("HTTP/1.1 ", 0) != 0 || bytes.size() < 12) return 0;
    return std::stoi(bytes.substr(9, 3));
}

RawAnswer readUntilClosed(int fd, std::chrono::milliseconds bound) {
    RawAnswer answer;
    const auto end = std::chrono::steady_clock::now() + bound;
    char buf[65536];
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
        if (left.count() <= 0) return answer;
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, int(left.count())) <= 0) return answer;
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n <= 0) {
            answer.closed = true;
            return answer;
        }
        answer.bytes.append(buf, std::size_t(n));
    }
}

pla013::appserver::AppServerOptions LogLines::options() {
    pla013::appserver::AppServerOptions o;
    o.logLevel = pla013::appserver::LogLevel::Info;
    o.logSink = [this](const std::string& line) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_lines.push_back(line);
    };
    return o;
}

std::vector<std::string> LogLines::all() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_lines;
}

std::size_t LogLines::count(const std::vector<std::string>& parts) const {
    std::size_t n = 0;
    for (const std::string& line : all()) {
        bool every = true;
        for (const std::string& part : parts) every = every && line.find(part) != std::string::npos;
        n += every ? 1 : 0;
    }
    return n;
}

bool LogLines::waitFor(const std::vector<std::string>& parts, std::size_t n, std::chrono::milliseconds bound) const {
    const auto end = std::chrono::steady_clock::now() + bound;
    while (count(parts) < n) {
        if (std::chrono::steady_clock::now() >= end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

const std::string& generatedDatabase() {
    static TempDir dir;
    static const std::string path = [] {
        const std::string file = dir.file("gerada.sqlite");
        pla013test::generateDishes(file, 10000);
        return file;
    }();
    return path;
}

std::string everyDishCall() {
    return pla013::net::encodeCallRequest(kRecipes, "GetRelCompRecPL",
                                          {textRef("0002"), textRef(""), textRef(""), int32(1), date(2024, 6, 30)});
}

std::vector<pla013::host::CallArg> oneDishArgs() {
    return {textRef("0002"), textRef("10001"), textRef("10001ZZZZZ"), int32(1), date(2024, 6, 30)};
}

}  // namespace servertest
