#pragma once
// Serialising JSON without letting the library's exceptions out.

#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

namespace pla013::net::internal {

// Compact text of value. A text that is not valid UTF-8 is a ProtocolError
// (encoding_error) naming what: nothing is replaced silently.
std::string dumpStrict(const nlohmann::json& value, const std::string& what);

// Compact text where invalid UTF-8 is replaced; only for error messages,
// which must always get out.
std::string dumpLenient(const nlohmann::json& value);

// Parses text; malformed JSON is a ProtocolError (bad_json) naming what and
// the position reported by the parser.
nlohmann::json parseStrict(std::string_view text, const std::string& what);

// The kind of a JSON value in Portuguese, with its article ("um texto"),
// for messages.
const char* jsonTypeName(const nlohmann::json& value);

}  // namespace pla013::net::internal
