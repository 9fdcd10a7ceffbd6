#pragma once
// Which call a free worker takes next, and which calls are refused, so that
// one client address cannot starve the others (internal/HttpServer.h,
// *Calls*). Used on one thread, the server's I/O thread.
//
// A call is admitted while its address has fewer than maxPerAddress calls
// waiting or running and, when no worker is free, fewer than maxWaiting calls
// wait in all. A free worker takes, of the addresses with a call waiting,
// the one with the fewest calls running (the earliest call first among
// equals); an address never runs more than workers - 1 calls at once (with
// one worker, one), so that a call from another address finds a worker
// without waiting for the long calls of the first.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <string>

namespace pla013::appserver::internal {

class CallQueue {
public:
    struct Limits {
        std::size_t workers = 4;
        std::size_t maxWaiting = 64;
        std::size_t maxPerAddress = 16;
    };
    using Clock = std::chrono::steady_clock;

    struct Call {
        // Gives the call to a worker, which must report finished() when done.
        std::function<void()> start;
        // The call's budget passed while it waited: it is answered without
        // running, and counts no more.
        std::function<void()> expire;
        Clock::time_point deadline;
    };

    explicit CallQueue(Limits limits);

    // Takes a call of address: starts it when a worker may take it, else
    // queues it. False, and the call dropped, when it must be refused.
    bool admit(const std::string& address, Call call);
    // A call of address ended on its worker: the next one starts.
    void finished(const std::string& address);
    // Calls whose budget passed while waiting are expired.
    void expireWaiting(Clock::time_point now);
    // Drops every waiting call without running or expiring it (the server
    // stops for good).
    void dropWaiting();

    std::size_t waiting() const { return m_waiting; }
    std::size_t running() const { return m_running; }

private:
    struct Waiting {
        std::uint64_t order;
        Call call;
    };
    struct Address {
        std::deque<Waiting> waiting;
        std::size_t running = 0;
    };

    void startWhatCan();
    void forgetIfIdle(std::map<std::string, Address>::iterator it);

    Limits m_limits;
    std::size_t m_maxRunningPerAddress;
    std::map<std::string, Address> m_addresses;
    std::size_t m_waiting = 0;
    std::size_t m_running = 0;
    std::uint64_t m_next = 0;
};

}  // namespace pla013::appserver::internal
