#pragma once

#include <string>

#include "platform/reports/ReportDefinition.h"
#include "platform/reports/internal/DefinitionContext.h"

namespace pla013::reports::internal {

// Reads "detail" and "columns" ("Detail lines and columns" in
// docs/report-format.md); the columns must fit the line.
class ColumnReader {
public:
    using json = JsonReader::json;

    explicit ColumnReader(DefinitionContext& ctx) : m_ctx(ctx), m_r(ctx.reader()) {}

    void readDetail(const json& v);
    void readColumns(const json& list);

private:
    ColumnDef readOne(const json& c, const std::string& ptr);
    Align readAlign(const json& c, const std::string& ptr) const;

    DefinitionContext& m_ctx;
    const JsonReader& m_r;
};

}  // namespace pla013::reports::internal
