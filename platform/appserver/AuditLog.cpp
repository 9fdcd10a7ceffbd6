#include "platform/appserver/AuditLog.h"

#include <chrono>
#include <exception>

namespace pla013::appserver {

using host::Variant;

namespace {

// At most 400 characters, never cutting one in two.
std::string fitted(const std::string& text) {
    std::size_t chars = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) continue;
        if (++chars > 400) return text.substr(0, i);
    }
    return text;
}

Variant optional(const std::string& s) { return s.empty() ? Variant::null() : Variant(s); }

}  // namespace

AuditLog::AuditLog(WithDatabase withDatabase, std::function<void(const std::string&)> failure)
    : m_withDatabase(std::move(withDatabase)), m_failure(std::move(failure)), m_thread([this] { run(); }) {}

AuditLog::~AuditLog() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    m_thread.join();
}

void AuditLog::record(AuditEvent event) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_queue.push_back(std::move(event));
        ++m_queued;
    }
    m_wake.notify_one();
}

void AuditLog::flush() {
    std::unique_lock<std::mutex> lock(m_mutex);
    const std::uint64_t target = m_queued;
    m_done.wait(lock, [&] { return m_written >= target; });
}

void AuditLog::run() {
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [&] { return m_stopping || !m_queue.empty(); });
        if (m_queue.empty() && m_stopping) return;
        std::vector<AuditEvent> batch(std::make_move_iterator(m_queue.begin()), std::make_move_iterator(m_queue.end()));
        m_queue.clear();
        lock.unlock();
        try {
            m_withDatabase([&](db::SociDatabase& db) { write(db, batch); });
        } catch (const std::exception& e) {
            if (m_failure) m_failure("audit: " + std::to_string(batch.size()) + " events not recorded: " + e.what());
        }
        lock.lock();
        m_written += batch.size();
        m_done.notify_all();
    }
}

void AuditLog::write(db::SociDatabase& db, const std::vector<AuditEvent>& events) {
    if (events.empty()) return;
    db.transaction([&] {
        for (const auto& e : events)
            db.execute(
                "INSERT INTO AUDITORIA (DTEVENTO, DSEVENTO, CDOPERADOR, DSENDERECO, DSDETALHE) "
                "VALUES (:P_DATA, :P_EVENTO, :P_OPERADOR, :P_ENDERECO, :P_DETALHE)",
                {{"P_DATA", Variant(e.time)},
                 {"P_EVENTO", Variant(e.event)},
                 {"P_OPERADOR", optional(e.operatorCode)},
                 {"P_ENDERECO", optional(e.address)},
                 {"P_DETALHE", optional(fitted(e.detail))}},
                "auditoria");
    });
}

std::vector<AuditEvent> AuditLog::read(db::SociDatabase& db, std::int64_t since,
                                       const std::optional<std::string>& operatorCode) {
    db::SqlParams params{{"P_DESDE", Variant(since)}};
    std::string sql =
        "SELECT DTEVENTO, DSEVENTO, CDOPERADOR, DSENDERECO, DSDETALHE FROM AUDITORIA WHERE DTEVENTO >= :P_DESDE";
    if (operatorCode) {
        sql += " AND CDOPERADOR = :P_OPERADOR";
        params.emplace_back("P_OPERADOR", Variant(*operatorCode));
    }
    sql += " ORDER BY NRAUDITORIA";
    const host::DataPacket p = db.query(sql, params, "auditoria");
    std::vector<AuditEvent> out;
    out.reserve(p.rows.size());
    for (const auto& r : p.rows) {
        auto text = [](const Variant& v) { return v.isNullOrUnassigned() ? std::string() : v.toString(); };
        out.push_back({r[0].toInt(), text(r[1]), text(r[2]), text(r[3]), text(r[4])});
    }
    return out;
}

long long AuditLog::prune(db::SociDatabase& db, std::int64_t before) {
    return db.execute("DELETE FROM AUDITORIA WHERE DTEVENTO < :P_ANTES", {{"P_ANTES", Variant(before)}},
                      "auditoria antiga");
}

std::int64_t AuditLog::systemNow() {
    return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

}  // namespace pla013::appserver
