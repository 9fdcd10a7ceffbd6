#include "platform/reports/internal/DefinitionContext.h"

#include <algorithm>
#include <stdexcept>

#include "platform/reports/internal/ReadOnlyQuery.h"

namespace pla013::reports::internal {

void DefinitionContext::addFieldRef(const std::string& name, const std::string& ptr) {
    m_def.fieldRefs.push_back({name, ptr});
}

DefinitionContext::FieldWithCaption DefinitionContext::fieldWithCaption(const JsonReader::json& obj,
                                                                        const std::string& ptr, const char* missing) {
    if (!obj.contains("field")) m_reader.fail(ptr + "/field", missing);
    FieldWithCaption out;
    out.field = m_reader.fieldName(obj["field"], ptr + "/field");
    addFieldRef(out.field, ptr + "/field");
    out.caption = obj.contains("caption") ? readTemplate(obj["caption"], ptr + "/caption", false) : out.field;
    return out;
}

void DefinitionContext::requireParam(const std::string& name, const std::string& ptr) const {
    if (!m_def.findParameter(name)) m_reader.fail(ptr, "o parâmetro " + name + " não está declarado em /parameters");
}

void DefinitionContext::checkTemplate(const std::string& text, const std::string& ptr) const {
    std::vector<std::string> names;
    try {
        names = templateNames(text);
    } catch (const std::invalid_argument& e) {
        m_reader.fail(ptr, e.what());
    }
    for (const auto& n : names)
        if (n.rfind("P_", 0) == 0) requireParam(n, ptr);
}

std::string DefinitionContext::readTemplate(const JsonReader::json& v, const std::string& ptr, bool withRow) {
    std::string text = m_reader.string(v, ptr);
    checkTemplate(text, ptr);
    for (const auto& n : templateNames(text)) {
        if (n.rfind("P_", 0) == 0) continue;
        if (withRow) {
            addFieldRef(n, ptr);
            continue;
        }
        bool isLookup =
            std::any_of(m_def.lookups.begin(), m_def.lookups.end(), [&](const LookupDef& l) { return l.name == n; });
        if (!isLookup) m_reader.fail(ptr, "'" + n + "' não é um parâmetro nem uma consulta de /lookups");
    }
    return text;
}

std::vector<std::string> DefinitionContext::checkSql(const std::string& sql, const std::string& ptr) const {
    try {
        checkReadOnlyQuery(sql);
    } catch (const std::invalid_argument& e) {
        m_reader.fail(ptr, e.what());
    }
    auto names = sqlParameterNames(sql);
    std::vector<std::string> declared;
    for (const auto& n : names) {
        const ParameterDef* p = m_def.findParameter(n);
        if (!p) m_reader.fail(ptr, "o SQL usa :" + n + ", que não está declarado em /parameters");
        declared.push_back(p->name);
    }
    return declared;
}

}  // namespace pla013::reports::internal
