#include "platform/reports/internal/ColumnReader.h"

#include "platform/reports/internal/ConditionReader.h"
#include "platform/reports/internal/DefinitionRules.h"

namespace pla013::reports::internal {

void ColumnReader::readDetail(const json& v) {
    const json& d = m_r.object(v, "/detail");
    m_r.onlyKeys(d, "/detail", {"when", "printIf", "bold", "heading"});
    ConditionReader conditions(m_ctx);
    DetailDef& detail = m_ctx.def().detail;
    if (d.contains("when")) detail.when = conditions.read(d["when"], "/detail/when", false);
    if (d.contains("printIf")) detail.printIf = conditions.read(d["printIf"], "/detail/printIf", true);
    if (d.contains("bold")) detail.bold = conditions.read(d["bold"], "/detail/bold", true);
    if (d.contains("heading")) {
        const std::string ptr = "/detail/heading";
        const json& h = m_r.object(d["heading"], ptr);
        m_r.onlyKeys(h, ptr, {"when", "level", "column"});
        if (!h.contains("when") || !h.contains("level") || !h.contains("column"))
            m_r.fail(ptr, "o cabeçalho tem 'when', 'level' e 'column'");
        detail.headingWhen = conditions.read(h["when"], ptr + "/when", true);
        detail.headingLevel = m_r.fieldName(h["level"], ptr + "/level");
        m_ctx.addFieldRef(detail.headingLevel, ptr + "/level");
        detail.headingColumn = m_r.fieldName(h["column"], ptr + "/column");
        m_ctx.addFieldRef(detail.headingColumn, ptr + "/column");
    }
}

void ColumnReader::readColumns(const json& list) {
    ReportDefinition& def = m_ctx.def();
    m_r.array(list, "/columns");
    if (list.empty()) m_r.fail("/columns", "o relatório precisa de ao menos uma coluna");
    int total = 0;
    for (std::size_t i = 0; i < list.size(); ++i) {
        std::string ptr = "/columns/" + std::to_string(i);
        ColumnDef d = readOne(m_r.object(list[i], ptr), ptr);
        total += d.width + (i ? columnGap(def.columns.back(), d) : 0);
        def.columns.push_back(d);
    }
    if (total > def.pageWidth())
        m_r.fail("/columns", "as colunas somam " + std::to_string(total) + " caracteres; a linha comporta " +
                                 std::to_string(def.pageWidth()));
}

ColumnDef ColumnReader::readOne(const json& c, const std::string& ptr) {
    m_r.onlyKeys(
        c, ptr,
        {"field", "caption", "dataCaption", "width", "grow", "span", "align", "format", "when", "indent", "marker"});
    ColumnDef d;
    d.pointer = ptr;
    auto named = m_ctx.fieldWithCaption(c, ptr, "falta o campo da coluna");
    d.field = std::move(named.field);
    d.caption = std::move(named.caption);
    if (c.contains("width")) {
        long long w = m_r.integer(c["width"], ptr + "/width");
        if (w < 1 || w > 200) m_r.fail(ptr + "/width", "a largura deve estar entre 1 e 200 caracteres");
        d.width = int(w);
    }
    if (c.contains("grow")) {
        long long g = m_r.integer(c["grow"], ptr + "/grow");
        if (g < 0 || g > 100) m_r.fail(ptr + "/grow", "a parte da largura livre deve estar entre 0 e 100");
        d.grow = int(g);
    }
    if (c.contains("span")) d.span = m_ctx.readTemplate(c["span"], ptr + "/span", false);
    if (c.contains("dataCaption")) d.dataCaption = m_ctx.readTemplate(c["dataCaption"], ptr + "/dataCaption", false);
    if (c.contains("align")) d.align = readAlign(c, ptr);
    if (c.contains("format")) {
        d.format = m_r.string(c["format"], ptr + "/format");
        if (!isValidFormat(d.format)) m_r.fail(ptr + "/format", "formato inválido '" + d.format + "'");
    }
    if (c.contains("when")) d.when = ConditionReader(m_ctx).read(c["when"], ptr + "/when", false);
    if (c.contains("marker")) {
        // One marker, or a list of them tried in order.
        const json& list = c["marker"];
        const bool many = list.is_array();
        if (many && list.empty()) m_r.fail(ptr + "/marker", "a lista de marcas não pode ser vazia");
        for (std::size_t i = 0; i < (many ? list.size() : 1); ++i) {
            const std::string mp = ptr + "/marker" + (many ? "/" + std::to_string(i) : "");
            const json& m = m_r.object(many ? list[i] : list, mp);
            m_r.onlyKeys(m, mp, {"text", "when"});
            if (!m.contains("text") || !m.contains("when")) m_r.fail(mp, "a marca tem 'text' e 'when'");
            d.markers.push_back({m_r.string(m["text"], mp + "/text"),
                                 ConditionReader(m_ctx).read(m["when"], mp + "/when", /*fieldsAllowed=*/true)});
        }
    }
    if (c.contains("indent")) {
        d.indent = m_r.fieldName(c["indent"], ptr + "/indent");
        m_ctx.addFieldRef(d.indent, ptr + "/indent");
    }
    return d;
}

Align ColumnReader::readAlign(const json& c, const std::string& ptr) const {
    std::string a = m_r.string(c["align"], ptr + "/align");
    if (a == "left") return Align::Left;
    if (a == "right") return Align::Right;
    if (a == "center") return Align::Center;
    m_r.fail(ptr + "/align", "alinhamento inválido '" + a + "' (left, right ou center)");
}

}  // namespace pla013::reports::internal
