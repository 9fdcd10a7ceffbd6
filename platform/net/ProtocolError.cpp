#include "platform/net/ProtocolError.h"

namespace pla013::net {

ProtocolError::ProtocolError(std::string code, const std::string& message)
    : host::EHostError(message), m_code(std::move(code)) {}

ProtocolError::~ProtocolError() = default;

}  // namespace pla013::net
