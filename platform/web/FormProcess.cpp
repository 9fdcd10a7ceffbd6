#include "platform/web/FormProcess.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <iostream>
#include <mutex>
#include <stdexcept>

namespace pla013::web {

namespace {

// Events kept for pages that read late; older ones are dropped (a page that
// missed them reads the snapshot).
constexpr std::size_t kKeptEvents = 4000;

// Writing to the pipe of a child that has died raises SIGPIPE, whose default
// action ends the process; the write fails instead. A handler installed by
// the application is left alone.
void ignoreSigpipe() {
    static std::once_flag once;
    std::call_once(once, [] {
        struct sigaction current {};
        if (sigaction(SIGPIPE, nullptr, &current) == 0 && current.sa_handler == SIG_DFL) std::signal(SIGPIPE, SIG_IGN);
    });
}

// Events for the driver's reader only, never for the page.
bool internalEvent(const std::string& kind) {
    return kind == "ready" || kind == "output" || kind == "line" || kind == "filters" || kind == "fatal";
}

}  // namespace

FormProcess::FormProcess(std::string id, std::string owner, const FormLaunch& launch, EventFilter filter)
    : m_id(std::move(id)),
      m_owner(std::move(owner)),
      m_filter(std::move(filter)),
      m_lastUse(std::chrono::steady_clock::now()) {
    ignoreSigpipe();
    int in[2], out[2];
    if (pipe2(in, O_CLOEXEC) != 0) throw std::runtime_error(std::string("pipe: ") + std::strerror(errno));
    if (pipe2(out, O_CLOEXEC) != 0) {
        const int e = errno;
        ::close(in[0]);
        ::close(in[1]);
        throw std::runtime_error(std::string("pipe: ") + std::strerror(e));
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    // Nothing else of this process (its listening socket, other forms'
    // pipes) goes to the child.
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);

    std::vector<std::string> args{launch.driver};
    args.insert(args.end(), launch.args.begin(), launch.args.end());
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        if (entry.rfind("PLA013_SESSION_TOKEN=", 0) == 0 || entry.rfind("PLA013_PASSWORD=", 0) == 0) continue;
        env.push_back(entry);
    }
    if (!launch.sessionToken.empty()) env.push_back("PLA013_SESSION_TOKEN=" + launch.sessionToken);
    std::vector<char*> envp;
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);

    // The child starts with no signal blocked and SIGPIPE at its default,
    // whatever this process does with them.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none, defaults;
    sigemptyset(&none);
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    const int spawned = posix_spawn(&m_pid, launch.driver.c_str(), &actions, &attributes, argv.data(), envp.data());
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    ::close(in[0]);
    ::close(out[1]);
    if (spawned != 0) {
        ::close(in[1]);
        ::close(out[0]);
        throw std::runtime_error("não foi possível iniciar " + launch.driver + ": " + std::strerror(spawned));
    }
    m_in = in[1];
    m_out = out[0];
    m_reader = std::thread([this] { readLoop(); });
}

FormProcess::~FormProcess() {
    end("servidor", true);
    reap(std::chrono::seconds(5));
    if (m_reader.joinable()) m_reader.join();
    if (m_out >= 0) ::close(m_out);
    // Waiters left (the host stops) get the end.
    std::vector<std::pair<Waiter, Json>> ready;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        for (auto& w : m_waiters) ready.emplace_back(std::move(w.waiter), eventsAfterLocked(w.after));
        m_waiters.clear();
    }
    for (auto& [waiter, answer] : ready) waiter(std::move(answer));
}

bool FormProcess::writeLine(const std::string& line) {
    std::lock_guard<std::mutex> lock(m_writeMutex);
    if (m_in < 0) return false;
    std::string text = line + "\n";
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(m_in, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += std::size_t(n);
    }
    return true;
}

void FormProcess::closeInput() {
    std::lock_guard<std::mutex> lock(m_writeMutex);
    if (m_in >= 0) ::close(m_in);
    m_in = -1;
}

bool FormProcess::send(const std::vector<std::string>& lines) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!m_ended.empty() || !m_dialog.is_null()) return false;
        m_pending += int(lines.size());
        m_lastUse = std::chrono::steady_clock::now();
    }
    for (const auto& line : lines)
        if (!writeLine(line)) return false;
    return true;
}

bool FormProcess::answer(const std::string& line) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!m_ended.empty() || m_dialog.is_null()) return false;
        m_dialog = nullptr;
        m_lastUse = std::chrono::steady_clock::now();
    }
    return writeLine(line);
}

void FormProcess::cancel() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_lastUse = std::chrono::steady_clock::now();
    }
    writeLine("cancel");
}

void FormProcess::markEnded(const std::string& reason) {
    // With the lock held.
    if (!m_ended.empty()) return;
    m_ended = reason;
    m_endedAt = std::chrono::steady_clock::now();
    m_dialog = nullptr;
    keep(Json{{"t", "closed"}, {"reason", reason}});
}

void FormProcess::keep(Json event) {
    // With the lock held.
    event["n"] = ++m_seq;
    m_events.emplace_back(m_seq, std::move(event));
    while (m_events.size() > kKeptEvents) m_events.pop_front();
}

void FormProcess::end(const std::string& reason, bool stopRun) {
    std::vector<std::pair<Waiter, Json>> ready;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        markEnded(reason);
        notify(ready);
    }
    for (auto& [waiter, answer] : ready) waiter(std::move(answer));
    if (stopRun) writeLine("cancel");
    closeInput();
}

bool FormProcess::ended() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return !m_ended.empty();
}

bool FormProcess::finished() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_exited;
}

bool FormProcess::poll() {
    std::lock_guard<std::mutex> reaping(m_reapMutex);
    if (m_pid <= 0) return true;
    int status = 0;
    const pid_t r = ::waitpid(m_pid, &status, WNOHANG);
    if (r == 0 || (r < 0 && errno == EINTR)) return false;
    m_pid = -1;
    std::lock_guard<std::mutex> lock(m_mutex);
    m_exited = true;
    return true;
}

void FormProcess::reap(std::chrono::milliseconds timeout) {
    const auto until = std::chrono::steady_clock::now() + timeout;
    while (!poll()) {
        if (std::chrono::steady_clock::now() >= until) {
            std::lock_guard<std::mutex> reaping(m_reapMutex);
            if (m_pid > 0) {
                int status = 0;
                ::kill(m_pid, SIGKILL);
                ::waitpid(m_pid, &status, 0);
                m_pid = -1;
            }
            std::lock_guard<std::mutex> lock(m_mutex);
            m_exited = true;
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

std::chrono::steady_clock::time_point FormProcess::endedAt() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_endedAt;
}

std::chrono::steady_clock::time_point FormProcess::lastUse() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_lastUse;
}

bool FormProcess::busy() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_pending > 0 && m_dialog.is_null() && m_ended.empty();
}

void FormProcess::readLoop() {
    std::string buffer;
    char chunk[65536];
    for (;;) {
        const ssize_t n = ::read(m_out, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        buffer.append(chunk, std::size_t(n));
        std::size_t start = 0;
        for (std::size_t nl; (nl = buffer.find('\n', start)) != std::string::npos; start = nl + 1)
            onLine(buffer.substr(start, nl - start));
        buffer.erase(0, start);
    }
    // The child has gone: whatever it did not finish is lost with it.
    std::vector<std::pair<Waiter, Json>> ready;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        markEnded("erro");
        m_pending = 0;
        notify(ready);
    }
    for (auto& [waiter, answer] : ready) waiter(std::move(answer));
}

void FormProcess::onLine(const std::string& line) {
    Json event;
    try {
        event = Json::parse(line);
    } catch (const Json::exception&) {
        std::cerr << "form " << m_id << ": not an event: " << line.substr(0, 200) << std::endl;
        return;
    }
    if (!event.is_object()) return;
    const std::string kind = event.value("t", std::string());
    if (kind == "error") std::cerr << "form " << m_id << ": " << event.value("text", std::string()) << std::endl;
    if (kind == "fatal") std::cerr << "form " << m_id << ": " << event.value("text", std::string()) << std::endl;
    bool shown = true;
    if (m_filter) shown = m_filter(event);
    std::vector<std::pair<Waiter, Json>> ready;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        apply(event);
        if (shown && !internalEvent(kind)) keep(std::move(event));
        notify(ready);
    }
    for (auto& [waiter, answer] : ready) waiter(std::move(answer));
}

void FormProcess::apply(const Json& e) {
    const std::string kind = e.value("t", std::string());
    if (kind == "layout") {
        m_form = e.value("form", Json());
        m_controls.clear();
        m_controlIndex.clear();
        for (const auto& c : e.value("controls", Json::array())) {
            m_controlIndex[c.value("Name", std::string())] = m_controls.size();
            m_controls.push_back(c);
        }
    } else if (kind == "controls") {
        for (const auto& c : e.value("controls", Json::array())) {
            const std::string name = c.value("Name", std::string());
            const auto it = m_controlIndex.find(name);
            if (it != m_controlIndex.end()) {
                m_controls[it->second] = c;
            } else {
                m_controlIndex[name] = m_controls.size();
                m_controls.push_back(c);
            }
        }
    } else if (kind == "form") {
        m_form = e.value("form", Json());
    } else if (kind == "dialog") {
        m_dialog = e;
    } else if (kind == "focus") {
        m_active = e.value("control", Json());
    } else if (kind == "progress") {
        m_progress = e;
    } else if (kind == "wait") {
        m_wait = e.value("text", Json());
    } else if (kind == "report") {
        m_progress = nullptr;
    } else if (kind == "done") {
        if (m_pending > 0) --m_pending;
        m_active = e.value("active", Json());
        if (!e.value("open", true)) m_form = nullptr;
        m_dialog = nullptr;
        if (m_pending == 0) m_progress = nullptr;
    } else if (kind == "fatal") {
        keep(Json{{"t", "message"}, {"kind", "error"}, {"text", e.value("text", "")}});
        markEnded("erro");
    }
}

bool FormProcess::settled() const { return m_pending == 0 || !m_dialog.is_null() || !m_ended.empty(); }

void FormProcess::notify(std::vector<std::pair<Waiter, Json>>& ready) {
    // With the lock held; the waiters are answered once it is let go.
    for (auto it = m_waiters.begin(); it != m_waiters.end();) {
        const bool met = !m_ended.empty() || (it->until == Until::Settled ? settled() : m_seq > it->after);
        if (met) {
            ready.emplace_back(std::move(it->waiter), eventsAfterLocked(it->after));
            it = m_waiters.erase(it);
        } else {
            ++it;
        }
    }
}

void FormProcess::wait(std::uint64_t after, Until until, std::chrono::steady_clock::time_point deadline,
                       Waiter waiter) {
    std::vector<std::pair<Waiter, Json>> ready;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_waiters.push_back({after, until, deadline, std::move(waiter)});
        notify(ready);
    }
    for (auto& [w, answer] : ready) w(std::move(answer));
}

void FormProcess::expireWaiters(std::chrono::steady_clock::time_point now) {
    std::vector<std::pair<Waiter, Json>> ready;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        for (auto it = m_waiters.begin(); it != m_waiters.end();) {
            if (it->deadline <= now) {
                ready.emplace_back(std::move(it->waiter), eventsAfterLocked(it->after));
                it = m_waiters.erase(it);
            } else {
                ++it;
            }
        }
    }
    for (auto& [waiter, answer] : ready) waiter(std::move(answer));
}

FormProcess::Json FormProcess::eventsAfter(std::uint64_t after) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return eventsAfterLocked(after);
}

FormProcess::Json FormProcess::eventsAfterLocked(std::uint64_t after) const {
    Json out{{"seq", m_seq},
             {"busy", m_pending > 0 && m_dialog.is_null() && m_ended.empty()},
             {"dialog", !m_dialog.is_null()},
             {"ended", m_ended.empty() ? Json() : Json(m_ended)}};
    if (!m_events.empty() && after + 1 < m_events.front().first) {
        out["resync"] = true;
        return out;
    }
    Json events = Json::array();
    for (const auto& [seq, event] : m_events)
        if (seq > after) events.push_back(event);
    out["events"] = std::move(events);
    return out;
}

FormProcess::Json FormProcess::snapshot() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    Json controls = Json::array();
    for (const auto& c : m_controls) controls.push_back(c);
    return Json{{"seq", m_seq},
                {"form", m_form},
                {"controls", std::move(controls)},
                {"dialog", m_dialog},
                {"progress", m_progress},
                {"wait", m_wait},
                {"active", m_active},
                {"busy", m_pending > 0 && m_dialog.is_null() && m_ended.empty()},
                {"ended", m_ended.empty() ? Json() : Json(m_ended)}};
}

}  // namespace pla013::web
