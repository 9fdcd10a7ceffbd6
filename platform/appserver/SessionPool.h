#pragma once
// Database sessions for the server's worker threads. A session (one
// connection) is used by one call at a time: a call leases one, and gives it
// back when the lease ends. Sessions are opened on demand up to a maximum;
// a call that finds all of them busy waits for one.

#include <condition_variable>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "host/Ports.h"

namespace pla013::appserver {

class SessionPool {
public:
    using Factory = std::function<std::unique_ptr<host::IDatabase>()>;

    // factory opens a new session; its EHostError passes to acquire().
    SessionPool(Factory factory, std::size_t maxSessions);
    // One session shared by every call, one call at a time. The database must
    // outlive the pool.
    explicit SessionPool(host::IDatabase& shared);
    ~SessionPool();
    SessionPool(const SessionPool&) = delete;
    SessionPool& operator=(const SessionPool&) = delete;

    class Lease {
    public:
        Lease(Lease&& other) noexcept;
        Lease& operator=(Lease&&) = delete;
        ~Lease();
        host::IDatabase& database() const { return *m_session; }
        // The session failed in a way that may have broken it: it is closed
        // instead of being given back.
        void discard() { m_discard = true; }

    private:
        friend class SessionPool;
        Lease(SessionPool& pool, std::unique_ptr<host::IDatabase> session);
        SessionPool* m_pool;
        std::unique_ptr<host::IDatabase> m_session;
        bool m_discard = false;
    };

    Lease acquire();

private:
    void giveBack(std::unique_ptr<host::IDatabase> session, bool discard);

    Factory m_factory;
    std::size_t m_max;
    mutable std::mutex m_mutex;
    std::condition_variable m_available;
    std::vector<std::unique_ptr<host::IDatabase>> m_idle;
    std::size_t m_open = 0;  // idle plus leased
};

}  // namespace pla013::appserver
