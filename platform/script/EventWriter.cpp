#include "platform/script/EventWriter.h"

namespace pla013::script {

void EventWriter::write(const nlohmann::ordered_json& event) {
    const std::string line = event.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
    std::lock_guard<std::mutex> lock(m_mutex);
    m_out << line << '\n';
    m_out.flush();
}

}  // namespace pla013::script
