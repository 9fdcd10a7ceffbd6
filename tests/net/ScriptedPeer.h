#pragma once
// A loopback TCP peer that plays a fixed part: it accepts connections, reads
// the request head (and the body its Content-Length announces), then sends
// a scripted answer and closes, keeps the connection open without a word, or
// drips the answer one byte at a time.
// It stands in for servers that misbehave in ways a real one rarely does.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

class ScriptedPeer {
public:
    enum class Mode { Answer, Silent, Drip };

    ScriptedPeer(Mode mode, std::string answer = {}, int dripMillis = 200)
        : m_mode(mode), m_answer(std::move(answer)), m_dripMillis(dripMillis) {
        m_listen = ::socket(AF_INET, SOCK_STREAM, 0);
        if (m_listen < 0) throw std::runtime_error("socket");
        int one = 1;
        ::setsockopt(m_listen, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        addr.sin_port = 0;
        if (::bind(m_listen, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(m_listen, 8) != 0)
            throw std::runtime_error("bind/listen");
        socklen_t len = sizeof addr;
        ::getsockname(m_listen, reinterpret_cast<sockaddr*>(&addr), &len);
        m_port = ntohs(addr.sin_port);
        m_thread = std::thread([this] { run(); });
    }

    ~ScriptedPeer() {
        m_stop = true;
        m_thread.join();
        for (int fd : m_open) ::close(fd);
        ::close(m_listen);
    }

    int port() const { return m_port; }
    int accepted() const { return m_accepted; }
    std::string lastRequest() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_lastRequest;
    }

private:
    void run() {
        while (!m_stop) {
            pollfd p{m_listen, POLLIN, 0};
            if (::poll(&p, 1, 50) <= 0) continue;
            const int fd = ::accept(m_listen, nullptr, nullptr);
            if (fd < 0) continue;
            ++m_accepted;
            {
                std::string request = readRequest(fd);
                std::lock_guard<std::mutex> lock(m_mutex);
                m_lastRequest = std::move(request);
            }
            if (m_mode == Mode::Silent) {
                m_open.push_back(fd);  // held open, never answered, closed at the end
                continue;
            }
            std::size_t sent = 0;
            while (sent < m_answer.size() && !m_stop) {
                // A dripped byte waits its turn; a closed client ends the drip.
                if (m_mode == Mode::Drip && sent > 0 && ::poll(nullptr, 0, m_dripMillis) < 0) break;
                const std::size_t chunk = m_mode == Mode::Drip ? 1 : m_answer.size() - sent;
                const ssize_t n = ::send(fd, m_answer.data() + sent, chunk, MSG_NOSIGNAL);
                if (n <= 0) break;
                sent += std::size_t(n);
            }
            ::close(fd);
        }
    }

    std::string readRequest(int fd) {
        std::string data;
        char buf[4096];
        std::size_t need = std::string::npos;
        while (!m_stop) {
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 50) <= 0) continue;
            const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
            if (n <= 0) break;
            data.append(buf, std::size_t(n));
            const auto head = data.find("\r\n\r\n");
            if (head == std::string::npos) continue;
            if (need == std::string::npos) {
                need = head + 4;
                const auto cl = data.find("Content-Length: ");
                if (cl != std::string::npos && cl < head) need += std::stoul(data.substr(cl + 16));
            }
            if (data.size() >= need) break;
        }
        return data;
    }

    Mode m_mode;
    std::string m_answer;
    int m_dripMillis;
    int m_listen = -1;
    int m_port = 0;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_accepted{0};
    mutable std::mutex m_mutex;
    std::string m_lastRequest;
    std::vector<int> m_open;
    std::thread m_thread;
};

// An HTTP/1.1 answer with the given status line and body.
inline std::string httpAnswer(const std::string& statusLine, const std::string& body,
                              const std::string& contentType = "application/json") {
    return "HTTP/1.1 " + statusLine + "\r\nContent-Type: " + contentType +
           "\r\nContent-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
}
