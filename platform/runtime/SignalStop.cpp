#include "platform/runtime/SignalStop.h"

#include <chrono>

namespace pla013::runtime {

namespace {

std::atomic<int> g_signal{0};
static_assert(std::atomic<int>::is_always_lock_free, "the signal handler stores without a lock");

extern "C" void onStopSignal(int signal) { g_signal.store(signal); }

}  // namespace

SignalStop::SignalStop() {
    g_signal.store(0);
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESETHAND;  // the second one kills
    sigaction(SIGINT, &action, &m_oldInt);
    sigaction(SIGTERM, &action, &m_oldTerm);
    m_watcher = std::jthread([this](std::stop_token own) {
        while (!own.stop_requested()) {
            if (g_signal.load() != 0) {
                m_source.request_stop();
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    });
}

SignalStop::~SignalStop() {
    m_watcher.request_stop();
    m_watcher.join();
    sigaction(SIGINT, &m_oldInt, nullptr);
    sigaction(SIGTERM, &m_oldTerm, nullptr);
}

int SignalStop::signal() const { return m_source.stop_requested() ? g_signal.load() : 0; }

}  // namespace pla013::runtime
