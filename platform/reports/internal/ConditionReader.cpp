#include "platform/reports/internal/ConditionReader.h"

#include "platform/reports/internal/DefinitionRules.h"

namespace pla013::reports::internal {

namespace {

// Reading, evaluating and destroying a condition recurse once per level.
constexpr int kMaxDepth = 200;

}  // namespace

Condition ConditionReader::read(const json& v, const std::string& ptr, bool fieldsAllowed) {
    if (m_depth >= kMaxDepth)
        m_r.fail(ptr, "condição aninhada demais (o limite é " + std::to_string(kMaxDepth) + " níveis)");
    ++m_depth;
    struct Leave {
        int& depth;
        ~Leave() { --depth; }
    } leave{m_depth};
    const json& c = m_r.object(v, ptr);
    Condition out;
    out.pointer = ptr;
    if (c.contains("param"))
        readParam(c, ptr, out);
    else if (c.contains("field"))
        readField(c, ptr, fieldsAllowed, out);
    else if (c.contains("all") || c.contains("any") || c.contains("not"))
        readCombination(c, ptr, fieldsAllowed, out);
    else
        m_r.fail(ptr, "condição sem 'param', 'field', 'all', 'any' ou 'not'");
    return out;
}

// One value or a non-empty list of them.
std::vector<std::string> ConditionReader::values(const json& e, const std::string& p) const {
    std::vector<std::string> vs;
    if (e.is_array()) {
        if (e.empty()) m_r.fail(p, "a lista de valores não pode ser vazia");
        for (std::size_t i = 0; i < e.size(); ++i) vs.push_back(m_r.scalarText(e[i], p + "/" + std::to_string(i)));
    } else {
        vs.push_back(m_r.scalarText(e, p));
    }
    return vs;
}

void ConditionReader::readParam(const json& c, const std::string& ptr, Condition& out) {
    m_r.onlyKeys(c, ptr, {"param", "equals", "in"});
    out.name = upperCase(m_r.string(c["param"], ptr + "/param"));
    m_ctx.requireParam(out.name, ptr + "/param");
    out.kind = Condition::Kind::ParamEquals;
    if (c.contains("equals"))
        out.values = values(c["equals"], ptr + "/equals");
    else if (c.contains("in"))
        out.values = values(m_r.array(c["in"], ptr + "/in"), ptr + "/in");
    else
        m_r.fail(ptr, "falta 'equals' ou 'in'");
}

void ConditionReader::readField(const json& c, const std::string& ptr, bool fieldsAllowed, Condition& out) {
    if (!fieldsAllowed) m_r.fail(ptr + "/field", "aqui a condição só pode usar parâmetros");
    m_r.onlyKeys(c, ptr, {"field", "equals", "in", "notNull"});
    out.name = m_r.fieldName(c["field"], ptr + "/field");
    if (c.contains("notNull")) {
        if (!m_r.boolean(c["notNull"], ptr + "/notNull")) m_r.fail(ptr + "/notNull", "use notNull: true");
        out.kind = Condition::Kind::FieldNotNull;
    } else if (c.contains("equals")) {
        out.kind = Condition::Kind::FieldEquals;
        out.values = values(c["equals"], ptr + "/equals");
    } else if (c.contains("in")) {
        out.kind = Condition::Kind::FieldEquals;
        out.values = values(m_r.array(c["in"], ptr + "/in"), ptr + "/in");
    } else {
        m_r.fail(ptr, "falta 'equals', 'in' ou 'notNull'");
    }
    m_ctx.addFieldRef(out.name, ptr + "/field");
}

void ConditionReader::readCombination(const json& c, const std::string& ptr, bool fieldsAllowed, Condition& out) {
    if (c.contains("all") || c.contains("any")) {
        bool all = c.contains("all");
        m_r.onlyKeys(c, ptr, {all ? "all" : "any"});
        std::string key = all ? "all" : "any";
        const json& list = m_r.array(c[key], ptr + "/" + key);
        if (list.empty()) m_r.fail(ptr + "/" + key, "a lista de condições não pode ser vazia");
        out.kind = all ? Condition::Kind::All : Condition::Kind::Any;
        for (std::size_t i = 0; i < list.size(); ++i)
            out.children.push_back(read(list[i], ptr + "/" + key + "/" + std::to_string(i), fieldsAllowed));
    } else {
        m_r.onlyKeys(c, ptr, {"not"});
        out.kind = Condition::Kind::Not;
        out.children.push_back(read(c["not"], ptr + "/not", fieldsAllowed));
    }
}

}  // namespace pla013::reports::internal
