#pragma once
// The interactive driver's output: one JSON object a line, each with its
// kind in "t" (docs/script.md, *The interactive driver*). Lines are written
// whole and flushed at once, from whichever thread has something to say.

#include <mutex>
#include <ostream>

#include <nlohmann/json.hpp>

namespace pla013::script {

class EventWriter {
public:
    explicit EventWriter(std::ostream& out) : m_out(out) {}

    // Text that is not UTF-8 (a database's bytes) is written with the
    // replacement character rather than failing the event.
    void write(const nlohmann::ordered_json& event);

private:
    std::mutex m_mutex;
    std::ostream& m_out;
};

}  // namespace pla013::script
