#include "platform/appserver/internal/RefusalCounter.h"

#include <vector>

namespace pla013::appserver::internal {

RefusalCounter::RefusalCounter(std::chrono::seconds interval, std::function<void(const std::string&)> write)
    : m_interval(interval), m_write(std::move(write)) {}

void RefusalCounter::note(const std::string& line, const std::string& peer, const std::string& extra,
                          Clock::time_point now) {
    std::vector<std::string> lines;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        const auto key = std::make_pair(line, peer);
        auto it = m_counts.find(key);
        if (it != m_counts.end() && now - it->second.since >= m_interval) {
            if (it->second.unwritten > 0)
                lines.push_back(line + " peer=" + peer + " count=" + std::to_string(it->second.unwritten) +
                                " seconds=" + std::to_string(m_interval.count()));
            m_counts.erase(it);
            it = m_counts.end();
        }
        if (it == m_counts.end()) {
            m_counts.emplace(key, Count{now, 0});
            lines.push_back(line + " peer=" + peer + extra);
        } else {
            ++it->second.unwritten;
        }
    }
    for (const std::string& l : lines) m_write(l);
}

void RefusalCounter::flush(Clock::time_point now, bool all) {
    std::vector<std::string> lines;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        for (auto it = m_counts.begin(); it != m_counts.end();) {
            if (!all && now - it->second.since < m_interval) {
                ++it;
                continue;
            }
            if (it->second.unwritten > 0)
                lines.push_back(it->first.first + " peer=" + it->first.second +
                                " count=" + std::to_string(it->second.unwritten) +
                                " seconds=" + std::to_string(m_interval.count()));
            it = m_counts.erase(it);
        }
    }
    for (const std::string& l : lines) m_write(l);
}

}  // namespace pla013::appserver::internal
