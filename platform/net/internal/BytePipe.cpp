#include "platform/net/internal/BytePipe.h"

namespace pla013::net::internal {

BytePipe::BytePipe(std::size_t capacity) : m_capacity(capacity) {}

bool BytePipe::write(const char* data, std::size_t size) {
    std::unique_lock<std::mutex> lock(m_mutex);
    if (size == 0) return !m_readerGone;
    m_changed.wait(lock, [&] { return m_readerGone || m_waiting < m_capacity; });
    if (m_readerGone) return false;
    m_chunks.emplace_back(data, size);
    m_waiting += size;
    m_changed.notify_all();
    return true;
}

void BytePipe::close() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_closed = true;
    m_changed.notify_all();
}

void BytePipe::stopReading() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_readerGone = true;
    m_chunks.clear();
    m_waiting = 0;
    m_changed.notify_all();
}

BytePipe::int_type BytePipe::underflow() {
    if (gptr() < egptr()) return traits_type::to_int_type(*gptr());
    std::unique_lock<std::mutex> lock(m_mutex);
    m_changed.wait(lock, [&] { return !m_chunks.empty() || m_closed || m_readerGone; });
    if (m_chunks.empty()) return traits_type::eof();
    m_current = std::move(m_chunks.front());
    m_chunks.pop_front();
    m_waiting -= m_current.size();
    m_changed.notify_all();
    setg(m_current.data(), m_current.data(), m_current.data() + m_current.size());
    return traits_type::to_int_type(*gptr());
}

}  // namespace pla013::net::internal
