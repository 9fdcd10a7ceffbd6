#pragma once
#include <string>

namespace pla013::reports::internal {

std::string encodeBase64(const std::string& bytes);
// Nothing (empty) when the text is not base64.
std::string decodeBase64(const std::string& text);

}  // namespace pla013::reports::internal
