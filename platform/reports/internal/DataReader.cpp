#include "platform/reports/internal/DataReader.h"

#include <set>
#include <stdexcept>

#include "platform/reports/Expression.h"
#include "platform/reports/internal/ConditionReader.h"
#include "platform/reports/internal/DefinitionRules.h"
#include "platform/reports/internal/ValueFormat.h"

namespace pla013::reports::internal {

void DataReader::readData(const json& v) {
    ReportDefinition& def = m_ctx.def();
    const json& d = m_r.object(v, "/data");
    m_r.onlyKeys(d, "/data", {"sql", "dataSource", "types", "order"});
    if (d.contains("types")) readTypes(d);
    if (d.contains("order")) {
        const json& list = m_r.array(d["order"], "/data/order");
        if (list.empty()) m_r.fail("/data/order", "a lista de campos não pode ser vazia");
        for (std::size_t i = 0; i < list.size(); ++i) {
            const std::string ptr = "/data/order/" + std::to_string(i);
            def.order.push_back(m_r.fieldName(list[i], ptr));
            m_ctx.addFieldRef(def.order.back(), ptr);
        }
    }
    bool hasSql = d.contains("sql"), hasSource = d.contains("dataSource");
    if (hasSql == hasSource) m_r.fail("/data", "informe exatamente um de 'sql' e 'dataSource'");
    if (hasSql) {
        def.sql = m_r.textOrLines(d["sql"], "/data/sql");
        if (def.sql.find_first_not_of(" \t\r\n") == std::string::npos) m_r.fail("/data/sql", "SQL vazio");
        def.sqlParams = m_ctx.checkSql(def.sql, "/data/sql");
    } else {
        def.dataSource = m_r.string(d["dataSource"], "/data/dataSource");
        if (!isIdentifier(def.dataSource))
            m_r.fail("/data/dataSource", "nome de fonte de dados inválido '" + def.dataSource + "'");
    }
}

void DataReader::readTypes(const json& d) {
    const json& t = m_r.object(d["types"], "/data/types");
    for (auto it = t.begin(); it != t.end(); ++it) {
        std::string ptr = "/data/types/" + JsonReader::pointerKey(it.key());
        if (!isIdentifier(it.key())) m_r.fail(ptr, "nome de campo inválido '" + it.key() + "'");
        std::string kind = m_r.string(it.value(), ptr);
        if (kind != "string" && kind != "integer" && kind != "float" && kind != "date")
            m_r.fail(ptr, "tipo inválido '" + kind + "' (string, integer, float ou date)");
        m_ctx.def().fieldTypes[upperCase(it.key())] = kind;
        m_ctx.addFieldRef(upperCase(it.key()), ptr);
    }
}

void DataReader::readLookups(const json& list) {
    m_r.array(list, "/lookups");
    std::set<std::string> seen;
    for (std::size_t i = 0; i < list.size(); ++i) {
        std::string ptr = "/lookups/" + std::to_string(i);
        m_ctx.def().lookups.push_back(readLookup(m_r.object(list[i], ptr), ptr, seen));
    }
}

LookupDef DataReader::readLookup(const json& l, const std::string& ptr, std::set<std::string>& seen) {
    m_r.onlyKeys(l, ptr, {"name", "sql"});
    LookupDef d;
    d.pointer = ptr;
    if (!l.contains("name")) m_r.fail(ptr + "/name", "falta o nome");
    d.name = m_r.fieldName(l["name"], ptr + "/name");
    if (d.name.rfind("P_", 0) == 0) m_r.fail(ptr + "/name", "o nome não pode começar por P_");
    if (!seen.insert(d.name).second) m_r.fail(ptr + "/name", "nome repetido " + d.name);
    if (!l.contains("sql")) m_r.fail(ptr + "/sql", "falta o SQL");
    d.sql = m_r.textOrLines(l["sql"], ptr + "/sql");
    if (d.sql.find_first_not_of(" \t\r\n") == std::string::npos) m_r.fail(ptr + "/sql", "SQL vazio");
    d.params = m_ctx.checkSql(d.sql, ptr + "/sql");
    return d;
}

void DataReader::readComputed(const json& list) {
    m_r.array(list, "/computed");
    for (std::size_t i = 0; i < list.size(); ++i) {
        std::string ptr = "/computed/" + std::to_string(i);
        m_ctx.def().computed.push_back(readOneComputed(m_r.object(list[i], ptr), ptr));
    }
}

std::shared_ptr<const Expression> DataReader::readExpression(const json& v, const std::string& ptr) {
    std::string text = m_r.string(v, ptr);
    std::shared_ptr<const Expression> e;
    try {
        e = Expression::parse(text);
    } catch (const std::invalid_argument& x) {
        m_r.fail(ptr, std::string("expressão inválida: ") + x.what());
    }
    for (const auto& n : e->names()) {
        if (n.rfind("P_", 0) == 0)
            m_ctx.requireParam(n, ptr);
        else
            m_ctx.addFieldRef(n, ptr);
    }
    return e;
}

ComputedDef DataReader::readOneComputed(const json& c, const std::string& ptr) {
    m_r.onlyKeys(c, ptr, {"name", "expression", "when", "otherwise", "function", "field", "over", "format"});
    ComputedDef d;
    d.pointer = ptr;
    if (!c.contains("name")) m_r.fail(ptr + "/name", "falta o nome");
    d.name = m_r.fieldName(c["name"], ptr + "/name");
    if (c.contains("over"))
        readAggregate(c, ptr, d);
    else if (c.contains("function") || c.contains("field"))
        m_r.fail(ptr + "/over", "'function' e 'field' só valem com 'over'");
    else if (!c.contains("expression"))
        m_r.fail(ptr + "/expression", "falta a expressão");
    else
        d.expression = readExpression(c["expression"], ptr + "/expression");
    if (c.contains("when")) d.when = ConditionReader(m_ctx).read(c["when"], ptr + "/when", /*fieldsAllowed=*/true);
    if (c.contains("otherwise")) {
        if (!d.when || d.aggregate != ComputedDef::Aggregate::None)
            m_r.fail(ptr + "/otherwise", "'otherwise' só vale com 'when' e 'expression'");
        d.otherwise = readExpression(c["otherwise"], ptr + "/otherwise");
    }
    if (c.contains("format")) {
        d.format = m_r.string(c["format"], ptr + "/format");
        if (!isValidFormat(d.format) || formatDecimals(d.format) < 0)
            m_r.fail(ptr + "/format", "formato de número inválido '" + d.format + "'");
    }
    return d;
}

// "over" (a field or a list, possibly empty), "function" (sum or count) and
// the "field" it reads; no expression.
void DataReader::readAggregate(const json& c, const std::string& ptr, ComputedDef& d) {
    if (c.contains("expression")) m_r.fail(ptr + "/expression", "um agregado ('over') não tem expressão");
    const json& over = c["over"];
    if (over.is_array()) {
        for (std::size_t i = 0; i < over.size(); ++i) {
            const std::string fp = ptr + "/over/" + std::to_string(i);
            d.over.push_back(m_r.fieldName(over[i], fp));
            m_ctx.addFieldRef(d.over.back(), fp);
        }
    } else {
        d.over.push_back(m_r.fieldName(over, ptr + "/over"));
        m_ctx.addFieldRef(d.over.back(), ptr + "/over");
    }
    const std::string f = c.contains("function") ? m_r.string(c["function"], ptr + "/function") : "";
    if (f == "sum")
        d.aggregate = ComputedDef::Aggregate::Sum;
    else if (f == "count")
        d.aggregate = ComputedDef::Aggregate::Count;
    else
        m_r.fail(ptr + "/function", "função de agregado inválida '" + f + "' (sum ou count)");
    if (c.contains("field")) {
        d.field = m_r.fieldName(c["field"], ptr + "/field");
        m_ctx.addFieldRef(d.field, ptr + "/field");
    } else if (d.aggregate == ComputedDef::Aggregate::Sum) {
        m_r.fail(ptr + "/field", "falta o campo da soma");
    }
}

}  // namespace pla013::reports::internal
