#include "platform/script/LineQueue.h"

namespace pla013::script {

void LineQueue::push(std::string line) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_closed) return;
        m_lines.push_back(std::move(line));
    }
    m_ready.notify_one();
}

void LineQueue::close() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_closed = true;
    }
    m_ready.notify_all();
}

std::optional<std::string> LineQueue::pop() {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_ready.wait(lock, [this] { return m_closed || !m_lines.empty(); });
    if (m_lines.empty()) return std::nullopt;
    std::string line = std::move(m_lines.front());
    m_lines.pop_front();
    return line;
}

bool LineQueue::closed() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_closed;
}

}  // namespace pla013::script
