#include "platform/reports/internal/TotalsReader.h"

#include "platform/reports/internal/ConditionReader.h"
#include "platform/reports/internal/DefinitionRules.h"

namespace pla013::reports::internal {

std::vector<TotalDef> TotalsReader::read(const json& list, const std::string& base) {
    m_r.array(list, base);
    std::vector<TotalDef> out;
    for (std::size_t i = 0; i < list.size(); ++i) {
        std::string ptr = base + "/" + std::to_string(i);
        out.push_back(readOne(m_r.object(list[i], ptr), ptr));
    }
    return out;
}

TotalDef TotalsReader::readOne(const json& t, const std::string& ptr) {
    m_r.onlyKeys(t, ptr, {"field", "function", "format", "caption", "under", "note"});
    TotalDef d;
    d.pointer = ptr;
    d.function = readFunction(t, ptr);
    if (t.contains("field")) {
        d.field = m_r.fieldName(t["field"], ptr + "/field");
        m_ctx.addFieldRef(d.field, ptr + "/field");
    } else if (d.function != TotalFunction::Count) {
        m_r.fail(ptr + "/field", "falta o campo do total");
    }
    if (t.contains("under")) {
        d.under = m_r.fieldName(t["under"], ptr + "/under");
        m_ctx.addFieldRef(d.under, ptr + "/under");
    }
    if (t.contains("format")) {
        d.format = m_r.string(t["format"], ptr + "/format");
        if (!isValidFormat(d.format)) m_r.fail(ptr + "/format", "formato inválido '" + d.format + "'");
    }
    if (t.contains("caption")) d.caption = m_ctx.readTemplate(t["caption"], ptr + "/caption", true);
    if (t.contains("note")) {
        // One note, or a list of them tried in order.
        const json& list = t["note"];
        const bool many = list.is_array();
        if (many && list.empty()) m_r.fail(ptr + "/note", "a lista de notas não pode ser vazia");
        for (std::size_t i = 0; i < (many ? list.size() : 1); ++i) {
            const std::string np = ptr + "/note" + (many ? "/" + std::to_string(i) : "");
            const json& n = m_r.object(many ? list[i] : list, np);
            m_r.onlyKeys(n, np, {"text", "when"});
            if (!n.contains("text") || !n.contains("when")) m_r.fail(np, "a nota tem 'text' e 'when'");
            d.notes.push_back({m_r.nonEmptyString(n["text"], np + "/text"),
                               ConditionReader(m_ctx).read(n["when"], np + "/when", /*fieldsAllowed=*/true)});
        }
    }
    return d;
}

TotalFunction TotalsReader::readFunction(const json& t, const std::string& ptr) const {
    std::string f = t.contains("function") ? m_r.string(t["function"], ptr + "/function") : "sum";
    if (f == "sum") return TotalFunction::Sum;
    if (f == "count") return TotalFunction::Count;
    if (f == "avg") return TotalFunction::Avg;
    if (f == "min") return TotalFunction::Min;
    if (f == "max") return TotalFunction::Max;
    m_r.fail(ptr + "/function", "função inválida '" + f + "' (sum, count, avg, min ou max)");
}

}  // namespace pla013::reports::internal
