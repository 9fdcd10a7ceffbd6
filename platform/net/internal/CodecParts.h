#pragma once
// The checks of the packet and variant codecs, shared by the tree decoders
// (packetFromJson, variantFromJson) and the streaming one (StreamDecoder.h),
// so that both refuse the same input with the same message.

#include <cstddef>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "host/DataPacket.h"
#include "host/Variant.h"

namespace pla013::net::internal {

// Deeper nesting of values than this is refused: no call of ours nests more
// than two levels, and the limit keeps a hostile body from exhausting memory.
inline constexpr int kMaxVariantDepth = 32;

// The field definitions of a packet's "fields" array (which must be an array).
std::vector<host::FieldDef> fieldDefsFromJson(const nlohmann::json& fields);

// The value of field `field` in row `row` (0-based); a text is moved out of j.
host::Variant fieldValueFromJson(nlohmann::json& j, std::size_t row, const host::FieldDef& field);

// The JSON of the value of field `field` in row `row` (0-based), with the
// checks of packetToJson.
nlohmann::json fieldValueToJson(const host::Variant& value, std::size_t row, const host::FieldDef& field);

// The "fields" array of a packet, as packetToJson writes it.
nlohmann::json fieldDefsToJson(const std::vector<host::FieldDef>& fields);

// A packet row whose number of values is not the number of fields, when
// encoding.
[[noreturn]] void failRowWidth(std::size_t row, std::size_t values, std::size_t fieldCount);

// A variant as variantToJson writes it, at `path`, `depth` levels below the
// top (arrays and packets included).
nlohmann::json variantToJson(const host::Variant& value, const std::string& path, int depth);

// A row that is not a list of exactly one value per field.
[[noreturn]] void failRowShape(std::size_t row, std::size_t fieldCount);

// A variant at `path`, nested `depth` levels below the top.
host::Variant variantFromJson(const nlohmann::json& value, const std::string& path, int depth);

// A variant nested deeper than kMaxVariantDepth.
[[noreturn]] void failTooDeep(const std::string& path);

}  // namespace pla013::net::internal
