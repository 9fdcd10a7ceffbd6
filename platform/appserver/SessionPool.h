#pragma once
// Database sessions for the server's worker threads. A session (one
// connection) is used by one call at a time: a call leases one, and gives it
// back when the lease ends. Sessions are opened on demand up to a maximum;
// a call that finds all of them busy waits for one. An idle session found
// dead when it is lent (the database server restarted or ended it) is
// closed and a new one opened in its place, so that the call runs once, on
// a live session, instead of failing on the dead one.

#include <condition_variable>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/db/SociDatabase.h"

namespace pla013::appserver {

class SessionPool {
public:
    using Factory = std::function<std::unique_ptr<db::SociDatabase>()>;

    // factory opens a new session; its EHostError passes to acquire().
    SessionPool(Factory factory, std::size_t maxSessions);
    // One session shared by every call, one call at a time. The database must
    // outlive the pool.
    explicit SessionPool(db::SociDatabase& shared);
    ~SessionPool();
    SessionPool(const SessionPool&) = delete;
    SessionPool& operator=(const SessionPool&) = delete;

    // A session the pool opened, or the shared one it only lends.
    struct Session {
        std::unique_ptr<db::SociDatabase> owned;
        db::SociDatabase* db = nullptr;
    };

    class Lease {
    public:
        Lease(Lease&& other) noexcept;
        Lease& operator=(Lease&&) = delete;
        ~Lease();
        db::SociDatabase& database() const { return *m_session.db; }
        // The session failed in a way that may have broken it: it is closed
        // instead of being given back.
        void discard() { m_discard = true; }

    private:
        friend class SessionPool;
        Lease(SessionPool& pool, Session session);
        SessionPool* m_pool;
        Session m_session;
        bool m_discard = false;
    };

    Lease acquire();

private:
    void giveBack(Session session, bool discard);

    Factory m_factory;
    std::size_t m_max;
    mutable std::mutex m_mutex;
    std::condition_variable m_available;
    std::vector<Session> m_idle;
    std::size_t m_open = 0;  // idle plus leased
};

}  // namespace pla013::appserver
