#pragma once
// Ctrl+C and SIGTERM during a long command: while one of these lives, the two
// signals ask its stop token to stop (the report run then ends at its next
// row or page, discarding its temporary file) instead of killing the
// process. A second signal kills as usual. The signal handler only stores
// the signal; a watcher thread turns it into the stop request.

#include <atomic>
#include <csignal>
#include <stop_token>
#include <thread>

namespace pla013::runtime {

class SignalStop {
public:
    SignalStop();
    ~SignalStop();
    SignalStop(const SignalStop&) = delete;
    SignalStop& operator=(const SignalStop&) = delete;

    std::stop_token token() const { return m_source.get_token(); }
    // The signal that asked to stop (SIGINT, SIGTERM), or 0.
    int signal() const;
    // The exit status of a command stopped by it: 128 + the signal.
    int exitStatus() const { return 128 + signal(); }

private:
    std::stop_source m_source;
    struct sigaction m_oldInt {};
    struct sigaction m_oldTerm {};
    std::jthread m_watcher;
};

}  // namespace pla013::runtime
