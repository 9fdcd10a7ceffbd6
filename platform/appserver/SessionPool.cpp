#include "platform/appserver/SessionPool.h"

#include "host/Errors.h"

namespace pla013::appserver {

namespace {

// Lends a database that the pool does not own.
class BorrowedDatabase final : public host::IDatabase {
public:
    explicit BorrowedDatabase(host::IDatabase& db) : m_db(db) {}
    host::DataPacket Open(const host::QueryRequest& request) override { return m_db.Open(request); }
    void RunReadOnly(const std::function<void()>& work) override { m_db.RunReadOnly(work); }

private:
    host::IDatabase& m_db;
};

}  // namespace

SessionPool::SessionPool(Factory factory, std::size_t maxSessions)
    : m_factory(std::move(factory)), m_max(maxSessions == 0 ? 1 : maxSessions) {}

SessionPool::SessionPool(host::IDatabase& shared)
    : SessionPool([&shared] { return std::make_unique<BorrowedDatabase>(shared); }, 1) {}

SessionPool::~SessionPool() = default;

SessionPool::Lease::Lease(SessionPool& pool, std::unique_ptr<host::IDatabase> session)
    : m_pool(&pool), m_session(std::move(session)) {}

SessionPool::Lease::Lease(Lease&& other) noexcept
    : m_pool(other.m_pool), m_session(std::move(other.m_session)), m_discard(other.m_discard) {
    other.m_pool = nullptr;
}

SessionPool::Lease::~Lease() {
    if (m_pool && m_session) m_pool->giveBack(std::move(m_session), m_discard);
}

SessionPool::Lease SessionPool::acquire() {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_available.wait(lock, [this] { return !m_idle.empty() || m_open < m_max; });
    if (!m_idle.empty()) {
        auto session = std::move(m_idle.back());
        m_idle.pop_back();
        return Lease(*this, std::move(session));
    }
    ++m_open;  // reserved while the factory runs unlocked
    lock.unlock();
    std::unique_ptr<host::IDatabase> session;
    try {
        session = m_factory();
        if (!session) throw host::EHostError("A sessão do banco de dados não pôde ser aberta.");
    } catch (...) {
        lock.lock();
        --m_open;
        m_available.notify_one();
        throw;
    }
    return Lease(*this, std::move(session));
}

void SessionPool::giveBack(std::unique_ptr<host::IDatabase> session, bool discard) {
    std::unique_ptr<host::IDatabase> closing;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (discard) {
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
