#pragma once
#include <stdexcept>
#include <string>

namespace pla013::host {

// The silent abort: ends the current user action after the user was told.
class EAbort : public std::exception {
public:
    EAbort() = default;
    ~EAbort() override;
    const char* what() const noexcept override;
};

// A real error of the host (database, transport, report engine...). The
// message names the operation that failed.
class EHostError : public std::runtime_error {
public:
    explicit EHostError(const std::string& message) : std::runtime_error(message) {}
    ~EHostError() override;
};

// A statement the database stopped because it ran past the time limit set
// for it. The text is the engine's, for the log; whoever set the limit tells
// the user in their terms.
class EStatementTimeout : public EHostError {
public:
    explicit EStatementTimeout(const std::string& message) : EHostError(message) {}
    ~EStatementTimeout() override;
};

// An answer of the application server that does not have the shape its
// call promises: the user reads "Resposta inválida do servidor de
// aplicação.", and detail() (what was wrong, for the log) goes to the log.
class EInvalidAnswer : public EHostError {
public:
    explicit EInvalidAnswer(std::string detail);
    ~EInvalidAnswer() override;
    const std::string& detail() const { return m_detail; }

private:
    std::string m_detail;
};

// A variant that does not hold what the caller asked for.
class EVariantError : public EHostError {
public:
    explicit EVariantError(const std::string& message) : EHostError(message) {}
    ~EVariantError() override;
};

}  // namespace pla013::host
