#include "platform/appserver/internal/CallQueue.h"

#include <iterator>
#include <vector>

namespace pla013::appserver::internal {

CallQueue::CallQueue(Limits limits)
    : m_limits(limits), m_maxRunningPerAddress(limits.workers > 1 ? limits.workers - 1 : 1) {
    if (m_limits.workers == 0) m_limits.workers = 1;
}

bool CallQueue::admit(const std::string& address, Call call) {
    Address& a = m_addresses[address];
    const bool workerFree = m_running < m_limits.workers;
    if (a.waiting.size() + a.running >= m_limits.maxPerAddress || (!workerFree && m_waiting >= m_limits.maxWaiting)) {
        forgetIfIdle(m_addresses.find(address));
        return false;
    }
    a.waiting.push_back({m_next++, std::move(call)});
    ++m_waiting;
    startWhatCan();
    return true;
}

void CallQueue::finished(const std::string& address) {
    auto it = m_addresses.find(address);
    if (it != m_addresses.end() && it->second.running > 0) {
        --it->second.running;
        --m_running;
        forgetIfIdle(it);
    }
    startWhatCan();
}

void CallQueue::startWhatCan() {
    while (m_running < m_limits.workers && m_waiting > 0) {
        auto best = m_addresses.end();
        for (auto it = m_addresses.begin(); it != m_addresses.end(); ++it) {
            const Address& a = it->second;
            if (a.waiting.empty() || a.running >= m_maxRunningPerAddress) continue;
            if (best == m_addresses.end() || a.running < best->second.running ||
                (a.running == best->second.running && a.waiting.front().order < best->second.waiting.front().order))
                best = it;
        }
        if (best == m_addresses.end()) return;
        Call call = std::move(best->second.waiting.front().call);
        best->second.waiting.pop_front();
        --m_waiting;
        if (call.deadline <= Clock::now()) {
            forgetIfIdle(best);
            if (call.expire) call.expire();
            continue;
        }
        ++best->second.running;
        ++m_running;
        // start() may report finished() at once; nothing above is held
        // across it.
        call.start();
    }
}

void CallQueue::expireWaiting(Clock::time_point now) {
    std::vector<Call> expired;
    for (auto it = m_addresses.begin(); it != m_addresses.end();) {
        auto& waiting = it->second.waiting;
        for (auto w = waiting.begin(); w != waiting.end();) {
            if (w->call.deadline <= now) {
                expired.push_back(std::move(w->call));
                w = waiting.erase(w);
                --m_waiting;
            } else {
                ++w;
            }
        }
        auto next = std::next(it);
        forgetIfIdle(it);
        it = next;
    }
    for (Call& call : expired)
        if (call.expire) call.expire();
}

void CallQueue::dropWaiting() {
    std::vector<Call> dropped;
    for (auto it = m_addresses.begin(); it != m_addresses.end();) {
        for (Waiting& w : it->second.waiting) dropped.push_back(std::move(w.call));
        m_waiting -= it->second.waiting.size();
        it->second.waiting.clear();
        auto next = std::next(it);
        forgetIfIdle(it);
        it = next;
    }
    // The calls' closures (which may hold connections) go after the lists
    // are consistent again.
    dropped.clear();
}

void CallQueue::forgetIfIdle(std::map<std::string, Address>::iterator it) {
    if (it != m_addresses.end() && it->second.waiting.empty() && it->second.running == 0) m_addresses.erase(it);
}

}  // namespace pla013::appserver::internal
