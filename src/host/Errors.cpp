#include "host/Errors.h"

namespace pla013::host {

EAbort::~EAbort() = default;
const char* EAbort::what() const noexcept { return "Operation aborted"; }
EHostError::~EHostError() = default;
EVariantError::~EVariantError() = default;
EStatementTimeout::~EStatementTimeout() = default;

}  // namespace pla013::host
