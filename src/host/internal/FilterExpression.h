#pragma once
// Filter texts of client data sets: comparisons "FIELD = 'text'" (also <>,
// <, <=, >, >= and numbers), joined with AND / OR, NOT and parentheses; a
// quote inside a literal is written twice. NOT binds tighter than AND, AND
// tighter than OR.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "host/CompactPacket.h"
#include "host/DataPacket.h"
#include "host/Variant.h"

namespace pla013::host::internal {

// Bad syntax; the reason names what was found and where (1-based position).
struct FilterSyntaxError {
    std::string reason;
};

struct FilterExpr;  // a node of the parsed tree

class FilterExpression {
public:
    // Parses the text; FilterSyntaxError on bad syntax. The text must not be blank.
    explicit FilterExpression(std::string text);
    ~FilterExpression();
    FilterExpression(const FilterExpression&) = delete;
    FilterExpression& operator=(const FilterExpression&) = delete;

    const std::string& text() const { return m_text; }

    // Binds field names to columns (columnOf: -1 when absent) and converts
    // literals to the kind of the field they meet, once, so that rows compare
    // without conversions. Run again whenever the fields change. EHostError
    // naming `owner` for an unknown field or a literal that does not suit its
    // field.
    void resolve(const std::string& owner, const std::function<int(const std::string&)>& columnOf,
                 const std::function<const FieldDef&(int)>& defOf);

    // Whether a row (values by column) passes; needs resolve first. A
    // comparison with a null is false, whatever the operator.
    bool matches(const std::vector<Variant>& row) const;
    // The same for a stored row.
    bool matches(const CompactPacket& rows, std::size_t row) const;

    // When the filter is only equalities of fields with non-null literals
    // joined by AND: appends their columns and values and returns true, so
    // that the filter can be answered from a hash of those columns. Needs
    // resolve first.
    bool equalities(std::vector<int>& columns, std::vector<Variant>& values) const;

private:
    std::string m_text;
    std::unique_ptr<FilterExpr> m_root;
};

}  // namespace pla013::host::internal
