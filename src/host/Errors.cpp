#include "host/Errors.h"

namespace pla013::host {

EAbort::~EAbort() = default;
const char* EAbort::what() const noexcept { return "Operation aborted"; }
EHostError::~EHostError() = default;
EVariantError::~EVariantError() = default;
EStatementTimeout::~EStatementTimeout() = default;
EInvalidAnswer::EInvalidAnswer(std::string detail)
    : EHostError("Resposta inválida do servidor de aplicação."), m_detail(std::move(detail)) {}
EInvalidAnswer::~EInvalidAnswer() = default;

}  // namespace pla013::host
