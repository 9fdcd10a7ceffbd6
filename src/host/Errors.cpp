#include "host/Errors.h"

namespace host {

EAbort::~EAbort() = default;
const char* EAbort::what() const noexcept { return "Operation aborted"; }
EHostError::~EHostError() = default;
EVariantError::~EVariantError() = default;

}  // namespace host
