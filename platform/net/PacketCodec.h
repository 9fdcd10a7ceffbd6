#pragma once
// The data packet on the wire (docs/protocol.md, "Data packets"):
//
//   {"fields": [{"name": "CDPRATO", "type": "string", "size": 10}, ...],
//    "rows":   [["0101", "Arroz", 2.5, null], ...]}
//
// One array per row, one value per field in field order; null is a null
// field. string -> JSON string, integer -> JSON integer, float -> JSON number,
// date -> JSON number holding the automation date (days since 1899-12-30,
// time as the fraction). "required": true is written only for required
// fields.

#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "host/DataPacket.h"

namespace pla013::net {

// Both directions check the packet: every row has one value per field and each
// value suits its field (a float field also takes an integer value, a date
// field a float value, when encoding). Failures are ProtocolError naming the
// row and field; a float that is not finite cannot be sent and is refused.
nlohmann::json packetToJson(const host::DataPacket& packet);
host::DataPacket packetFromJson(const nlohmann::json& value);

std::string encodePacket(const host::DataPacket& packet);
host::DataPacket decodePacket(std::string_view text);

}  // namespace pla013::net
