// A data packet as it arrives on the wire. ProtocolError is the documented
// refusal; a packet that was accepted must encode again without error, since
// both directions apply the same checks.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/net/PacketCodec.h"
#include "platform/net/ProtocolError.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    pla013::host::DataPacket packet;
    try {
        packet = pla013::net::decodePacket(text);
    } catch (const pla013::net::ProtocolError&) {
        return 0;
    }
    pla013::net::encodePacket(packet);
    return 0;
}
