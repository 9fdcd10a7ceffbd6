#pragma once
// Lines of the interactive driver's input, handed from the thread that reads
// them to the form's thread. The form's thread blocks in pop() while the
// user has nothing to say (between steps, and while a dialog waits for its
// answer); the reading thread never blocks on the form.

#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <string>

namespace pla013::script {

class LineQueue {
public:
    void push(std::string line);
    // No more lines will come (the input ended); pop() drains what is left.
    void close();
    // The next line, waiting for it; nothing once closed and empty.
    std::optional<std::string> pop();
    bool closed() const;

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_ready;
    std::deque<std::string> m_lines;
    bool m_closed = false;
};

}  // namespace pla013::script
