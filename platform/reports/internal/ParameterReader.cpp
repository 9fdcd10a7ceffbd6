#include "platform/reports/internal/ParameterReader.h"

#include <utility>
#include <vector>

#include "platform/reports/internal/ConditionReader.h"
#include "platform/reports/internal/DefinitionRules.h"

namespace pla013::reports::internal {

void ParameterReader::read(const json& list) {
    m_r.array(list, "/parameters");
    std::set<std::string> seen;
    std::vector<std::pair<std::size_t, std::size_t>> pendingShowWhen;  // definition index, list index
    for (std::size_t i = 0; i < list.size(); ++i) {
        std::string ptr = "/parameters/" + std::to_string(i);
        const json& p = m_r.object(list[i], ptr);
        m_ctx.def().parameters.push_back(readOne(p, ptr, seen));
        if (p.contains("showWhen")) pendingShowWhen.emplace_back(m_ctx.def().parameters.size() - 1, i);
    }
    // Conditions may name parameters declared after them.
    ConditionReader conditions(m_ctx);
    for (auto [index, i] : pendingShowWhen) {
        std::string ptr = "/parameters/" + std::to_string(i) + "/showWhen";
        m_ctx.def().parameters[index].showWhen = conditions.read(list[i]["showWhen"], ptr, /*fieldsAllowed=*/false);
    }
}

ParameterDef ParameterReader::readOne(const json& p, const std::string& ptr, std::set<std::string>& seen) const {
    m_r.onlyKeys(p, ptr, {"name", "type", "default", "label", "display", "format", "showWhen"});
    ParameterDef d;
    d.pointer = ptr;
    if (!p.contains("name")) m_r.fail(ptr + "/name", "falta o nome do parâmetro");
    d.name = upperCase(m_r.string(p["name"], ptr + "/name"));
    if (d.name.rfind("P_", 0) != 0 || !isIdentifier(d.name))
        m_r.fail(ptr + "/name", "nome de parâmetro inválido '" + d.name + "' (esperado P_...)");
    if (!seen.insert(d.name).second) m_r.fail(ptr + "/name", "parâmetro repetido " + d.name);
    d.type = readType(p, ptr);
    if (p.contains("default") && !p["default"].is_null()) readDefault(p["default"], ptr + "/default", d);
    if (p.contains("label")) d.label = m_r.string(p["label"], ptr + "/label");
    if (p.contains("format")) {
        d.format = m_r.string(p["format"], ptr + "/format");
        if (!isValidFormat(d.format)) m_r.fail(ptr + "/format", "formato inválido '" + d.format + "'");
    }
    if (p.contains("display")) readDisplay(p, ptr, d);
    return d;
}

ParamType ParameterReader::readType(const json& p, const std::string& ptr) const {
    if (!p.contains("type")) m_r.fail(ptr + "/type", "falta o tipo do parâmetro");
    std::string t = m_r.string(p["type"], ptr + "/type");
    if (t == "string") return ParamType::String;
    if (t == "integer") return ParamType::Integer;
    if (t == "date") return ParamType::Date;
    if (t == "datetime") return ParamType::DateTime;
    m_r.fail(ptr + "/type", "tipo inválido '" + t + "' (string, integer, date ou datetime)");
}

void ParameterReader::readDefault(const json& v, const std::string& vp, ParameterDef& d) const {
    d.hasDefault = true;
    switch (d.type) {
        case ParamType::String: d.defaultText = m_r.string(v, vp); break;
        case ParamType::Integer: d.defaultInt = m_r.integer(v, vp); break;
        case ParamType::Date:
            d.defaultText = m_r.string(v, vp);
            if (!isIsoDate(d.defaultText)) m_r.fail(vp, "data inválida '" + d.defaultText + "' (AAAA-MM-DD)");
            break;
        case ParamType::DateTime:
            d.defaultText = m_r.string(v, vp);
            if (!isIsoDateTime(d.defaultText))
                m_r.fail(vp, "data e hora inválidas '" + d.defaultText + "' (AAAA-MM-DD HH:MM:SS)");
            break;
    }
}

void ParameterReader::readDisplay(const json& p, const std::string& ptr, ParameterDef& d) const {
    const json& m = m_r.object(p["display"], ptr + "/display");
    for (auto it = m.begin(); it != m.end(); ++it)
        d.display[it.key()] = m_r.string(it.value(), ptr + "/display/" + JsonReader::pointerKey(it.key()));
}

}  // namespace pla013::reports::internal
