#pragma once
// One open form of the web host: a child process running the interactive
// driver (pla013 drive) for one browser tab, with the operator's context and
// session. The module keeps per-process state and the host's ports are
// installed process-wide, so forms of different operators and branches
// never share a process; and a form whose dialog blocks its thread blocks
// nobody else.
//
// The events the driver writes are kept in order with a sequence number,
// for the page to read after the number it has seen (and to read again
// after a reload); the form's state (controls, open dialog, progress, focus)
// is kept as the events leave it, so a page can be drawn at any moment
// without asking the child. The page's requests wait for events without
// holding a thread: a waiter is answered when the events it waits for have
// come or when its deadline passes.

#include <sys/types.h>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

namespace pla013::web {

// How the child is started: the driver executable, its arguments (context
// options and "drive") and the session it calls the server with (given in
// its environment, never on its command line).
struct FormLaunch {
    std::string driver;
    std::vector<std::string> args;
    std::string sessionToken;
};

class FormProcess {
public:
    using Json = nlohmann::ordered_json;
    // Sees every event of the driver before the page does, on the thread
    // that reads them: may change it (a file's path becomes its address) or
    // keep it from the page (false).
    using EventFilter = std::function<bool(Json& event)>;
    // Receives the answer of a wait (see eventsAfter).
    using Waiter = std::function<void(Json answer)>;
    enum class Until {
        Settled,    // the steps sent have ended, or a dialog waits, or the form ended
        NewEvents,  // any event after the number given
    };

    // Starts the child; std::runtime_error when it cannot be started.
    FormProcess(std::string id, std::string owner, const FormLaunch& launch, EventFilter filter);
    ~FormProcess();  // ends the child (see end) and waits for it
    FormProcess(const FormProcess&) = delete;
    FormProcess& operator=(const FormProcess&) = delete;

    const std::string& id() const { return m_id; }
    // The child's process id (for the log); -1 once it has been waited for.
    pid_t pid() const { return m_pid; }
    const std::string& owner() const { return m_owner; }

    // Sends steps (one line each); each counts as running until its "done".
    // False when the form has ended or a dialog waits for its answer.
    bool send(const std::vector<std::string>& lines);
    // Answers the open dialog ("answer search KEY", "answer list cancel"...).
    // False when no dialog is open.
    bool answer(const std::string& line);
    // Stops the report that runs, if any.
    void cancel();

    // {"seq", "busy", "dialog", "ended", "events": [...]}: the events after
    // seq `after`; "resync": true instead of events when the page has missed
    // some that are no longer kept (it then reads the snapshot).
    Json eventsAfter(std::uint64_t after) const;
    // The whole state as the events left it: {"seq", "form", "controls",
    // "dialog", "progress", "wait", "active", "busy", "ended"}.
    Json snapshot() const;
    // Answers waiter with eventsAfter(after) once until holds, or at the
    // deadline.
    void wait(std::uint64_t after, Until until, std::chrono::steady_clock::time_point deadline, Waiter waiter);
    // Answers the waiters whose deadline has passed.
    void expireWaiters(std::chrono::steady_clock::time_point now);

    // Ends the form for reason ("inatividade", "saida", "fechado", "erro",
    // "servidor"): the page reads it as a "closed" event; the child gets
    // the end of its input (after a stop of its report when stopRun), sends
    // the form's filters and closes the form as the user would.
    void end(const std::string& reason, bool stopRun);
    bool ended() const;
    // When the form ended.
    std::chrono::steady_clock::time_point endedAt() const;
    // Whether the child has exited and been waited for.
    bool finished() const;
    // Waits for the child if it has exited, without blocking; whether it has.
    bool poll();
    // Waits up to timeout for the child to exit, then kills it.
    void reap(std::chrono::milliseconds timeout);

    // The last user action (steps, answers): what idleness is measured from.
    std::chrono::steady_clock::time_point lastUse() const;
    bool busy() const;

private:
    void readLoop();
    void onLine(const std::string& line);
    void apply(const Json& event);
    bool settled() const;
    void notify(std::vector<std::pair<Waiter, Json>>& ready);
    bool writeLine(const std::string& line);
    void closeInput();
    Json eventsAfterLocked(std::uint64_t after) const;
    void markEnded(const std::string& reason);
    // Keeps an event for the page, numbered ("n") after the last one.
    void keep(Json event);

    const std::string m_id;
    const std::string m_owner;
    EventFilter m_filter;
    pid_t m_pid = -1;
    int m_in = -1;   // the child's standard input
    int m_out = -1;  // its standard output

    mutable std::mutex m_mutex;
    std::deque<std::pair<std::uint64_t, Json>> m_events;
    std::uint64_t m_seq = 0;
    int m_pending = 0;  // steps sent whose "done" has not come
    Json m_form;        // the form's own state; null when no form is open
    std::vector<Json> m_controls;
    std::map<std::string, std::size_t> m_controlIndex;
    Json m_dialog;  // the open dialog's event, null when none
    Json m_progress;
    Json m_wait;
    Json m_active;
    std::string m_ended;
    std::chrono::steady_clock::time_point m_endedAt;
    std::chrono::steady_clock::time_point m_lastUse;
    struct Pending {
        std::uint64_t after;
        Until until;
        std::chrono::steady_clock::time_point deadline;
        Waiter waiter;
    };
    std::vector<Pending> m_waiters;
    bool m_exited = false;

    std::mutex m_reapMutex;
    std::mutex m_writeMutex;
    std::thread m_reader;
};

}  // namespace pla013::web
