#pragma once

#include "platform/reports/ReportDefinition.h"
#include "platform/reports/internal/DefinitionContext.h"

namespace pla013::reports::internal {

// Reads a definition's JSON document into its definition: the top-level keys
// here, each section by its reader, in an order that lets every section check
// what it names (parameters before what uses them, lookups before the
// subtitle, data before columns).
class DefinitionParser {
public:
    using json = JsonReader::json;

    explicit DefinitionParser(DefinitionContext& ctx) : m_ctx(ctx), m_r(ctx.reader()) {}

    void parse(const json& root);

private:
    void readIdentity(const json& root);
    void readOrientation(const json& v);
    void readSubtitle(const json& v);
    void readSections(const json& root);
    void readRefusals(const json& list);

    DefinitionContext& m_ctx;
    const JsonReader& m_r;
};

}  // namespace pla013::reports::internal
