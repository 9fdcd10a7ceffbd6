#pragma once

#include <set>
#include <string>

#include "platform/reports/ReportDefinition.h"
#include "platform/reports/internal/DefinitionContext.h"

namespace pla013::reports::internal {

// Reads where a report's values come from ("Data", "Lookups" and "Computed
// fields" in docs/report-format.md): the SQL or data source with its declared
// field types, the single-value lookups, and the computed fields.
class DataReader {
public:
    using json = JsonReader::json;

    explicit DataReader(DefinitionContext& ctx) : m_ctx(ctx), m_r(ctx.reader()) {}

    void readData(const json& v);
    void readLookups(const json& list);
    void readComputed(const json& list);

private:
    void readTypes(const json& d);
    LookupDef readLookup(const json& l, const std::string& ptr, std::set<std::string>& seen);
    std::shared_ptr<const Expression> readExpression(const json& v, const std::string& ptr);
    ComputedDef readOneComputed(const json& c, const std::string& ptr);
    void readAggregate(const json& c, const std::string& ptr, ComputedDef& d);

    DefinitionContext& m_ctx;
    const JsonReader& m_r;
};

}  // namespace pla013::reports::internal
