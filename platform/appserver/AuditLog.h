#pragma once
// The record of who did what (AUDITORIA): sign-ins, wrong passwords, locks,
// sign-outs, calls with their branches, refusals and report runs. Only the
// server and the hosts add to it; `pla013 audit` reads it and prunes it.
//
// The server records through a writer thread of its own, in batches: a call
// never waits for its record to be written.

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/db/SociDatabase.h"

namespace pla013::appserver {

struct AuditEvent {
    std::int64_t time = 0;  // Unix seconds
    // "entrada", "falha", "bloqueio", "saida", "chamada", "recusa", "relatorio"
    std::string event;
    std::string operatorCode;  // empty: nobody signed in
    std::string address;
    std::string detail;  // cut to 400 characters
};

class AuditLog {
public:
    // Runs the work it is given on a database session (e.g. one leased from
    // the server's pool).
    using WithDatabase = std::function<void(const std::function<void(db::SociDatabase&)>&)>;
    // failure receives what could not be recorded (the log line), from the
    // writer's thread.
    AuditLog(WithDatabase withDatabase, std::function<void(const std::string&)> failure);
    ~AuditLog();  // writes what is queued, then stops
    AuditLog(const AuditLog&) = delete;
    AuditLog& operator=(const AuditLog&) = delete;

    void record(AuditEvent event);
    // Returns when everything recorded so far is in the database.
    void flush();

    // Adds events at once, in one transaction.
    static void write(db::SociDatabase& db, const std::vector<AuditEvent>& events);
    // Events since (Unix seconds, 0: all), of one operator when given, oldest
    // first.
    static std::vector<AuditEvent> read(db::SociDatabase& db, std::int64_t since,
                                        const std::optional<std::string>& operatorCode);
    // Removes the events before a time; how many went.
    static long long prune(db::SociDatabase& db, std::int64_t before);

    static std::int64_t systemNow();

private:
    void run();

    WithDatabase m_withDatabase;
    std::function<void(const std::string&)> m_failure;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_done;
    std::deque<AuditEvent> m_queue;
    std::uint64_t m_queued = 0, m_written = 0;
    bool m_stopping = false;
    std::thread m_thread;
};

}  // namespace pla013::appserver
