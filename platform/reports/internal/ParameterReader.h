#pragma once

#include <set>
#include <string>

#include "platform/reports/ReportDefinition.h"
#include "platform/reports/internal/DefinitionContext.h"

namespace pla013::reports::internal {

// Reads "parameters" ("Parameters" in docs/report-format.md): names, types,
// defaults, labels, display maps, formats and showWhen conditions (which may
// name parameters declared after them).
class ParameterReader {
public:
    using json = JsonReader::json;

    explicit ParameterReader(DefinitionContext& ctx) : m_ctx(ctx), m_r(ctx.reader()) {}

    void read(const json& list);

private:
    ParameterDef readOne(const json& p, const std::string& ptr, std::set<std::string>& seen) const;
    ParamType readType(const json& p, const std::string& ptr) const;
    void readDefault(const json& v, const std::string& ptr, ParameterDef& d) const;
    void readDisplay(const json& p, const std::string& ptr, ParameterDef& d) const;

    DefinitionContext& m_ctx;
    const JsonReader& m_r;
};

}  // namespace pla013::reports::internal
