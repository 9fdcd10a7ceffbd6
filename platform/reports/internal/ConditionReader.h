#pragma once

#include <string>
#include <vector>

#include "platform/reports/ReportDefinition.h"
#include "platform/reports/internal/DefinitionContext.h"

namespace pla013::reports::internal {

// Reads a condition ("Conditions" in docs/report-format.md): on a parameter,
// on a field (where fields are allowed), or all / any / not of others.
class ConditionReader {
public:
    using json = JsonReader::json;

    explicit ConditionReader(DefinitionContext& ctx) : m_ctx(ctx), m_r(ctx.reader()) {}

    // EHostError at ptr for a condition nested more than 200 levels deep.
    Condition read(const json& v, const std::string& ptr, bool fieldsAllowed);

private:
    std::vector<std::string> values(const json& e, const std::string& ptr) const;
    void readParam(const json& c, const std::string& ptr, Condition& out);
    void readField(const json& c, const std::string& ptr, bool fieldsAllowed, Condition& out);
    void readCombination(const json& c, const std::string& ptr, bool fieldsAllowed, Condition& out);

    DefinitionContext& m_ctx;
    const JsonReader& m_r;
    int m_depth = 0;
};

}  // namespace pla013::reports::internal
