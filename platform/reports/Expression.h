#pragma once
// Arithmetic of computed fields: numbers, names (fields or parameters), the
// operators + - * / with the usual precedence, unary minus and parentheses.

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace pla013::reports {

class Expression {
public:
    // Resolves a name to its value; nothing for null.
    using Resolver = std::function<std::optional<double>(const std::string& name)>;

    // Parses text; std::invalid_argument with the reason (and offset) on bad
    // syntax, and on an expression nested more than 200 levels deep
    // (parentheses and unary minus) or chaining more than 1000 operations.
    static std::shared_ptr<const Expression> parse(const std::string& text);

    // A null operand makes the result null (a missing cost is not a zero),
    // and so does a division by zero.
    std::optional<double> evaluate(const Resolver& resolve) const;

    // Every name the expression uses, each once.
    const std::vector<std::string>& names() const { return m_names; }

    struct Node;
    ~Expression();
    Expression();

private:
    std::unique_ptr<Node> m_root;
    std::vector<std::string> m_names;
};

}  // namespace pla013::reports
