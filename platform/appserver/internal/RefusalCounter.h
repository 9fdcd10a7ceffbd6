#pragma once
// Log lines about refused or closed connections, counted instead of written
// one by one: a flood of them from one address must not flood the log. The
// first event of an address and kind in an interval is written at once, as
// it is; the others of the interval are counted, and written as one line
// with the count when the interval is over (at the next flush after it).

#include <chrono>
#include <cstddef>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <utility>

namespace pla013::appserver::internal {

class RefusalCounter {
public:
    using Clock = std::chrono::steady_clock;

    RefusalCounter(std::chrono::seconds interval, std::function<void(const std::string&)> write);

    // One event: line is its log line (without the peer), peer the client's
    // address; extra goes after the peer when the line is written at once.
    void note(const std::string& line, const std::string& peer, const std::string& extra = {},
              Clock::time_point now = Clock::now());
    // Writes the counts of the intervals that are over; all of them with
    // `all` (the server stops).
    void flush(Clock::time_point now = Clock::now(), bool all = false);

private:
    struct Count {
        Clock::time_point since;  // the interval's start
        std::size_t unwritten = 0;
    };
    const std::chrono::seconds m_interval;
    std::function<void(const std::string&)> m_write;
    std::mutex m_mutex;
    std::map<std::pair<std::string, std::string>, Count> m_counts;  // (line, peer)
};

}  // namespace pla013::appserver::internal
