#pragma once

#include <cstdint>
#include <string>

namespace pla013::db::internal {

// A 48x36 PNG: a plate of the dish's colour on a tablecloth, as a data URI.
std::string dishPhoto(std::uint32_t colour);

}  // namespace pla013::db::internal
