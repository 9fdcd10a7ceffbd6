#pragma once

#include <string>
#include <vector>

#include "platform/reports/ReportDefinition.h"
#include "platform/reports/internal/DefinitionContext.h"

namespace pla013::reports::internal {

// Reads a list of totals ("Totals" in docs/report-format.md), the report's
// or a group footer's.
class TotalsReader {
public:
    using json = JsonReader::json;

    explicit TotalsReader(DefinitionContext& ctx) : m_ctx(ctx), m_r(ctx.reader()) {}

    std::vector<TotalDef> read(const json& list, const std::string& base);

private:
    TotalDef readOne(const json& t, const std::string& ptr);
    TotalFunction readFunction(const json& t, const std::string& ptr) const;

    DefinitionContext& m_ctx;
    const JsonReader& m_r;
};

}  // namespace pla013::reports::internal
