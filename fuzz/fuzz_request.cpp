// The body of a call, as the application server reads it before dispatch.
// ProtocolError is the documented refusal (the dispatcher answers it with its
// code); any other exception would escape the dispatcher and is a fault.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/net/Protocol.h"
#include "platform/net/ProtocolError.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view body(reinterpret_cast<const char*>(data), size);
    try {
        const auto request = pla013::net::decodeCallRequest(body);
        // What was accepted must be sendable again: the client writes with
        // the same rules the server reads with.
        pla013::net::encodeCallRequest(request.server, request.method, request.args);
    } catch (const pla013::net::ProtocolError&) {}
    return 0;
}
