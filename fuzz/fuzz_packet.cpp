// A data packet as it arrives on the wire. ProtocolError is the documented
// refusal; a packet that was accepted must encode again without error, since
// both directions apply the same checks. The streaming decoder must agree
// with the tree decoder on the parsed text: the same packet, or the same
// refusal in the same words.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <string>
#include <string_view>

#include "platform/net/PacketCodec.h"
#include "platform/net/ProtocolError.h"
#include "platform/net/internal/JsonText.h"

namespace {

std::string refusal(const std::function<void()>& decode) {
    try {
        decode();
    } catch (const pla013::net::ProtocolError& e) {
        return e.code() + ": " + e.what();
    }
    return {};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    pla013::host::DataPacket stream, tree;
    const std::string streamRefusal = refusal([&] { stream = pla013::net::decodePacket(text); });
    const std::string treeRefusal = refusal(
        [&] { tree = pla013::net::packetFromJson(pla013::net::internal::parseStrict(text, "O pacote de dados")); });
    if (streamRefusal != treeRefusal) std::abort();
    if (!streamRefusal.empty()) return 0;
    if (pla013::net::encodePacket(stream) != pla013::net::encodePacket(tree)) std::abort();
    return 0;
}
