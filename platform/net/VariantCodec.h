#pragma once
// A variant on the wire: {"kind": K, "value": V} with K one of
//   "null"    (no value member)
//   "integer" V a JSON integer
//   "float"   V a JSON number
//   "text"    V a JSON string (UTF-8)
//   "date"    V a JSON number, the automation date
//   "array"   V a JSON array of variants
//   "packet"  V a data packet (PacketCodec.h)
// An unassigned variant travels as "null".

#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "host/Variant.h"

namespace pla013::net {

// Failures are ProtocolError naming the offending element; a float that is
// not finite is refused rather than sent as null.
nlohmann::json variantToJson(const host::Variant& value);
host::Variant variantFromJson(const nlohmann::json& value);

std::string encodeVariant(const host::Variant& value);
host::Variant decodeVariant(std::string_view text);

}  // namespace pla013::net
