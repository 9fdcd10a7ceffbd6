#include "platform/reports/internal/DefinitionParser.h"

#include <algorithm>
#include <cctype>

#include "platform/reports/internal/ColumnReader.h"
#include "platform/reports/internal/ConditionReader.h"
#include "platform/reports/internal/DataReader.h"
#include "platform/reports/internal/GroupReader.h"
#include "platform/reports/internal/ParameterReader.h"
#include "platform/reports/internal/TotalsReader.h"

namespace pla013::reports::internal {

void DefinitionParser::parse(const json& root) {
    m_r.object(root, "");
    m_r.onlyKeys(root, "",
                 {"version", "code", "title", "subtitle", "orientation", "parameters", "lookups", "data", "computed",
                  "groups", "detail", "columns", "totals", "totalsCaption", "emptyText", "refuse"});
    readIdentity(root);
    if (root.contains("orientation")) readOrientation(root["orientation"]);
    readSections(root);
}

// Version, code and title.
void DefinitionParser::readIdentity(const json& root) {
    ReportDefinition& def = m_ctx.def();
    if (!root.contains("version")) m_r.fail("/version", "falta a versão do formato");
    if (m_r.integer(root["version"], "/version") != 1)
        m_r.fail("/version", "versão do formato não suportada (esperada 1)");
    if (!root.contains("code")) m_r.fail("/code", "falta o código do relatório");
    def.code = m_r.nonEmptyString(root["code"], "/code");
    if (def.code.size() != 2 || !std::all_of(def.code.begin(), def.code.end(),
                                             [](unsigned char c) { return std::isdigit(c) || std::isupper(c); }))
        m_r.fail("/code", "o código deve ter dois caracteres, dígitos ou letras maiúsculas");
    if (!root.contains("title")) m_r.fail("/title", "falta o título do relatório");
    def.title = m_r.nonEmptyString(root["title"], "/title");
}

void DefinitionParser::readOrientation(const json& v) {
    std::string o = m_r.string(v, "/orientation");
    if (o == "portrait")
        m_ctx.def().orientation = Orientation::Portrait;
    else if (o == "landscape")
        m_ctx.def().orientation = Orientation::Landscape;
    else
        m_r.fail("/orientation", "orientação inválida '" + o + "' (portrait ou landscape)");
}

// The subtitle is printed before any row: it may use parameters and lookups only.
void DefinitionParser::readSubtitle(const json& v) {
    ReportDefinition& def = m_ctx.def();
    def.subtitle = m_ctx.readTemplate(v, "/subtitle", false);
}

void DefinitionParser::readSections(const json& root) {
    ReportDefinition& def = m_ctx.def();
    DataReader data(m_ctx);
    if (root.contains("parameters")) ParameterReader(m_ctx).read(root["parameters"]);
    if (root.contains("lookups")) data.readLookups(root["lookups"]);
    if (root.contains("subtitle")) readSubtitle(root["subtitle"]);
    if (!root.contains("data")) m_r.fail("/data", "falta a origem dos dados (sql ou dataSource)");
    data.readData(root["data"]);
    if (root.contains("computed")) data.readComputed(root["computed"]);
    if (root.contains("groups")) GroupReader(m_ctx).read(root["groups"]);
    ColumnReader columns(m_ctx);
    if (root.contains("detail")) columns.readDetail(root["detail"]);
    if (!root.contains("columns")) m_r.fail("/columns", "faltam as colunas do relatório");
    columns.readColumns(root["columns"]);
    if (root.contains("totals")) def.totals = TotalsReader(m_ctx).read(root["totals"], "/totals");
    if (root.contains("totalsCaption"))
        def.totalsCaption = m_ctx.readTemplate(root["totalsCaption"], "/totalsCaption", true);
    if (root.contains("emptyText")) def.emptyText = m_ctx.readTemplate(root["emptyText"], "/emptyText", false);
    if (root.contains("refuse")) readRefusals(root["refuse"]);
}

void DefinitionParser::readRefusals(const json& list) {
    m_r.array(list, "/refuse");
    for (std::size_t i = 0; i < list.size(); ++i) {
        const std::string ptr = "/refuse/" + std::to_string(i);
        const json& r = m_r.object(list[i], ptr);
        m_r.onlyKeys(r, ptr, {"when", "message"});
        if (!r.contains("when") || !r.contains("message")) m_r.fail(ptr, "a recusa tem 'when' e 'message'");
        ReportDefinition::Refusal refusal;
        refusal.pointer = ptr;
        refusal.when = ConditionReader(m_ctx).read(r["when"], ptr + "/when", /*fieldsAllowed=*/false);
        refusal.message = m_r.nonEmptyString(r["message"], ptr + "/message");
        m_ctx.def().refusals.push_back(std::move(refusal));
    }
}

}  // namespace pla013::reports::internal
