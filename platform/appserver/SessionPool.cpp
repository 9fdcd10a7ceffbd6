#include "platform/appserver/SessionPool.h"

#include "host/Errors.h"

namespace pla013::appserver {

SessionPool::SessionPool(Factory factory, std::size_t maxSessions)
    : m_factory(std::move(factory)), m_max(maxSessions == 0 ? 1 : maxSessions) {}

SessionPool::SessionPool(db::SociDatabase& shared) : m_max(1) { m_idle.push_back({nullptr, &shared}); }

SessionPool::~SessionPool() = default;

SessionPool::Lease::Lease(SessionPool& pool, Session session) : m_pool(&pool), m_session(std::move(session)) {}

SessionPool::Lease::Lease(Lease&& other) noexcept
    : m_pool(other.m_pool), m_session(std::move(other.m_session)), m_discard(other.m_discard) {
    other.m_pool = nullptr;
}

SessionPool::Lease::~Lease() {
    if (m_pool && m_session.db) m_pool->giveBack(std::move(m_session), m_discard);
}

SessionPool::Lease SessionPool::acquire() {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_available.wait(lock, [this] { return !m_idle.empty() || (m_factory && m_open < m_max); });
    if (!m_idle.empty()) {
        Session session = std::move(m_idle.back());
        m_idle.pop_back();
        // Only this thread holds the session now: it is checked unlocked.
        lock.unlock();
        if (!session.owned || session.db->connectionAlive()) return Lease(*this, std::move(session));
        // Dead: closed here; the new one below takes its place.
    } else {
        ++m_open;  // reserved while the factory runs unlocked
        lock.unlock();
    }
    Session session;
    try {
        session.owned = m_factory();
        if (!session.owned) throw host::EHostError("A sessão do banco de dados não pôde ser aberta.");
        session.db = session.owned.get();
    } catch (...) {
        lock.lock();
        --m_open;
        m_available.notify_one();
        throw;
    }
    return Lease(*this, std::move(session));
}

void SessionPool::giveBack(Session session, bool discard) {
    Session closing;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        // The shared session is only lent: it goes back whatever happened.
        if (discard && session.owned) {
            closing = std::move(session);
            --m_open;
        } else {
            m_idle.push_back(std::move(session));
        }
    }
    m_available.notify_one();
    // A discarded session closes outside the lock.
}

}  // namespace pla013::appserver
