#pragma once
// The open forms of the web host, by id, each visible only to the session
// that opened it. At most maxForms at once (and perSession for one
// session); a form nobody has used for idleTimeout (no step, answer or
// cancel; a report running counts as use) is ended, its filters kept, and
// its page reads that it was closed. Ended forms are kept a while for their
// pages to learn why, then forgotten.
//
// A housekeeping thread of its own answers the waiters whose time is up,
// ends idle forms and waits for the ended ones' children.

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/web/FormProcess.h"

namespace pla013::web {

struct FormLimits {
    std::size_t maxForms = 32;
    std::size_t perSession = 8;
    std::chrono::seconds idleTimeout{30 * 60};
    // How long an ended form's "closed" stays readable.
    std::chrono::seconds keepEnded{10 * 60};
};

class FormRegistry {
public:
    // tick runs on the housekeeping thread about once a second (the web
    // host's other chores: expired report files).
    explicit FormRegistry(FormLimits limits, std::function<void()> tick = {});
    ~FormRegistry();  // ends every form
    FormRegistry(const FormRegistry&) = delete;
    FormRegistry& operator=(const FormRegistry&) = delete;

    // Starts a form for owner; nothing (and why, for the user) when the
    // limits are reached. std::runtime_error when the child cannot start.
    std::shared_ptr<FormProcess> open(const std::string& owner, const FormLaunch& launch,
                                      FormProcess::EventFilter filter, std::string& refusal);
    // The owner's form of that id; nothing for anyone else.
    std::shared_ptr<FormProcess> find(const std::string& owner, const std::string& id) const;
    // Ends a form / every form of an owner.
    void end(const std::string& owner, const std::string& id, const std::string& reason);
    void endOwner(const std::string& owner, const std::string& reason);
    // Forms whose child still runs.
    std::size_t running() const;

private:
    void housekeeping();

    FormLimits m_limits;
    std::function<void()> m_tick;
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stopping = false;
    std::map<std::string, std::shared_ptr<FormProcess>> m_forms;
    std::map<std::string, std::chrono::steady_clock::time_point> m_endedAt;
    std::thread m_thread;
};

}  // namespace pla013::web
