#pragma once
// Reading protocol messages as a stream of JSON events (the SAX interface of
// nlohmann-json): data packets and variants are built while their text goes
// by, and no tree of the whole message is ever held. A large answer is thus
// read once, into the packets the data sets take.
//
// Our encoder writes "kind" before "value" and "fields" before "rows"; those
// members stream. A member that arrives before the one it depends on, or a
// value of an unexpected shape, is held as a tree and handed to the tree
// decoders (CodecParts.h), so every message reads, and is refused, exactly as
// the tree decoders would read it.

#include <cstddef>
#include <exception>
#include <istream>
#include <limits>
#include <stdexcept>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "host/CompactPacket.h"
#include "host/DataPacket.h"
#include "host/Variant.h"

namespace pla013::net::internal {

// What one pass over a call answer found; the caller applies the protocol's
// precedence (an error answer first, then the version, then the result).
struct AnswerParts {
    bool object = false;               // the text is a JSON object
    nlohmann::json error;              // the "error" member, as a tree (null when absent)
    nlohmann::json version;            // the "version" member, as a tree (null when absent)
    bool hasResult = false;            // a "result" member was there
    host::Variant result;              // its value, unless it was refused
    std::exception_ptr resultFailure;  // why it was refused (a ProtocolError)
};

// A result with more packet rows in all than the reader may hold: the pass
// stops at the first row beyond the limit.
class TooManyRows : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The packets of a result are read into CompactPackets (Variant::compactPacket),
// the form the client's data sets keep them in.
//
// One pass over text. ProtocolError (bad_json) naming `what` when the text is
// not JSON. Without withResult the result is skipped, not decoded.
AnswerParts readAnswer(std::string_view text, bool withResult, const std::string& what);
// The same over text read from a stream as it comes (to its end), holding
// at most maxRows rows of the result's packets (TooManyRows beyond).
AnswerParts readAnswer(std::istream& text, const std::string& what,
                       std::size_t maxRows = std::numeric_limits<std::size_t>::max());

// The result of a success answer read in one pass, with the precedence of
// decodeCallResponse: an error answer, then the version, then the result
// (defined with the protocol's messages, in Protocol.cpp).
host::Variant resultOfAnswer(AnswerParts answer);

// A variant (as variantFromJson) and a data packet (as packetFromJson) read
// in one pass; ProtocolError (bad_json) naming `what` when the text is not
// JSON, else the tree decoders' refusal.
host::Variant readVariant(std::string_view text, const std::string& what);
host::DataPacket readPacket(std::string_view text, const std::string& what);

}  // namespace pla013::net::internal
