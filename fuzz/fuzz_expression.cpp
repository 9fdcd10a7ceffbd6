// The arithmetic of computed fields: parsed, then evaluated with every name
// bound (alternately to a number and to null), so that the evaluator's null
// and division rules run too. std::invalid_argument is the documented refusal.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>

#include "platform/reports/Expression.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::shared_ptr<const pla013::reports::Expression> expression;
    try {
        expression = pla013::reports::Expression::parse(text);
    } catch (const std::invalid_argument&) {
        return 0;
    }
    expression->evaluate([](const std::string& name) -> std::optional<double> {
        if (name.size() % 2 == 0) return std::nullopt;
        return static_cast<double>(name.size()) - 2.5;
    });
    return 0;
}
