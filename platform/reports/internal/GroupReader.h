#pragma once

#include <string>
#include <vector>

#include "platform/reports/ReportDefinition.h"
#include "platform/reports/internal/DefinitionContext.h"

namespace pla013::reports::internal {

// Reads "groups" ("Groups" in docs/report-format.md): each level's key
// fields, page break, header and footer items, and data columns.
class GroupReader {
public:
    using json = JsonReader::json;

    explicit GroupReader(DefinitionContext& ctx) : m_ctx(ctx), m_r(ctx.reader()) {}

    void read(const json& list);

private:
    GroupDef readOne(const json& g, const std::string& ptr);
    void readFields(const json& f, const std::string& ptr, GroupDef& d);
    std::vector<SectionItem> readSection(const json& list, const std::string& base);
    SectionItem readItem(const json& e, const std::string& ptr);
    void readDataColumns(const json& v, const std::string& ptr, GroupDef& d);

    DefinitionContext& m_ctx;
    const JsonReader& m_r;
};

}  // namespace pla013::reports::internal
