#pragma once
// The shapes of the results that version 1 of the protocol gives its methods
// (docs/protocol.md): a result of a known method that has another shape is
// an invalid answer, refused before any caller reads past what it holds.

#include <string>

#include "host/Variant.h"

namespace pla013::net {

// host::EInvalidAnswer, what is wrong in its detail, when the result of a
// method the protocol describes has another shape; any result of a method it
// does not describe passes.
void checkResultShape(const std::string& serverName, const std::string& method, const host::Variant& result);

}  // namespace pla013::net
