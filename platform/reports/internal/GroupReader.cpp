#include "platform/reports/internal/GroupReader.h"

#include "platform/reports/internal/ConditionReader.h"
#include "platform/reports/internal/TotalsReader.h"

namespace pla013::reports::internal {

void GroupReader::read(const json& list) {
    m_r.array(list, "/groups");
    for (std::size_t i = 0; i < list.size(); ++i) {
        std::string ptr = "/groups/" + std::to_string(i);
        m_ctx.def().groups.push_back(readOne(m_r.object(list[i], ptr), ptr));
    }
}

GroupDef GroupReader::readOne(const json& g, const std::string& ptr) {
    m_r.onlyKeys(g, ptr, {"field", "newPage", "keepTogether", "indent", "header", "footer", "dataColumns"});
    GroupDef d;
    d.pointer = ptr;
    if (!g.contains("field")) m_r.fail(ptr + "/field", "falta o campo do grupo");
    readFields(g["field"], ptr + "/field", d);
    if (g.contains("newPage")) d.newPage = m_r.boolean(g["newPage"], ptr + "/newPage");
    if (g.contains("keepTogether")) d.keepTogether = m_r.boolean(g["keepTogether"], ptr + "/keepTogether");
    if (g.contains("indent")) d.indent = m_r.boolean(g["indent"], ptr + "/indent");
    if (g.contains("header")) d.header = readSection(g["header"], ptr + "/header");
    if (g.contains("footer")) d.footer = readSection(g["footer"], ptr + "/footer");
    if (g.contains("dataColumns")) readDataColumns(g["dataColumns"], ptr + "/dataColumns", d);
    return d;
}

// One field name or a non-empty list of them.
void GroupReader::readFields(const json& f, const std::string& ptr, GroupDef& d) {
    if (f.is_array()) {
        if (f.empty()) m_r.fail(ptr, "a lista de campos não pode ser vazia");
        for (std::size_t k = 0; k < f.size(); ++k) {
            std::string fp = ptr + "/" + std::to_string(k);
            d.fields.push_back(m_r.fieldName(f[k], fp));
            m_ctx.addFieldRef(d.fields.back(), fp);
        }
    } else {
        d.fields.push_back(m_r.fieldName(f, ptr));
        m_ctx.addFieldRef(d.fields.back(), ptr);
    }
}

std::vector<SectionItem> GroupReader::readSection(const json& list, const std::string& base) {
    m_r.array(list, base);
    std::vector<SectionItem> out;
    for (std::size_t i = 0; i < list.size(); ++i) {
        std::string ptr = base + "/" + std::to_string(i);
        out.push_back(readItem(m_r.object(list[i], ptr), ptr));
    }
    return out;
}

SectionItem GroupReader::readItem(const json& e, const std::string& ptr) {
    SectionItem item;
    item.pointer = ptr;
    int kinds = int(e.contains("text")) + int(e.contains("memo")) + int(e.contains("image")) +
                int(e.contains("totals")) + int(e.contains("inline"));
    if (kinds != 1) m_r.fail(ptr, "cada item tem exatamente um de 'text', 'inline', 'memo', 'image' e 'totals'");
    if (e.contains("inline")) {
        m_r.onlyKeys(e, ptr, {"inline", "width", "when"});
        item.kind = SectionItem::Kind::Inline;
        item.text = m_ctx.readTemplate(e["inline"], ptr + "/inline", true);
        if (!e.contains("width")) m_r.fail(ptr + "/width", "falta a largura do item");
        const long long w = m_r.integer(e["width"], ptr + "/width");
        if (w < 3 || w > m_ctx.def().pageWidth())
            m_r.fail(ptr + "/width",
                     "a largura deve estar entre 3 e " + std::to_string(m_ctx.def().pageWidth()) + " caracteres");
        item.width = int(w);
    } else if (e.contains("text")) {
        m_r.onlyKeys(e, ptr, {"text", "bold", "when"});
        item.kind = SectionItem::Kind::Text;
        item.text = m_ctx.readTemplate(e["text"], ptr + "/text", true);
        if (e.contains("bold")) item.bold = m_r.boolean(e["bold"], ptr + "/bold");
    } else if (e.contains("memo")) {
        m_r.onlyKeys(e, ptr, {"memo", "caption", "when"});
        item.kind = SectionItem::Kind::Memo;
        item.field = m_r.fieldName(e["memo"], ptr + "/memo");
        m_ctx.addFieldRef(item.field, ptr + "/memo");
        if (e.contains("caption")) item.caption = m_ctx.readTemplate(e["caption"], ptr + "/caption", true);
    } else if (e.contains("image")) {
        m_r.onlyKeys(e, ptr, {"image", "lines", "when"});
        item.kind = SectionItem::Kind::Image;
        item.field = m_r.fieldName(e["image"], ptr + "/image");
        m_ctx.addFieldRef(item.field, ptr + "/image");
        if (e.contains("lines")) {
            long long n = m_r.integer(e["lines"], ptr + "/lines");
            if (n < 2 || n > 30) m_r.fail(ptr + "/lines", "a altura da imagem deve estar entre 2 e 30 linhas");
            item.lines = int(n);
        }
    } else {
        m_r.onlyKeys(e, ptr, {"totals", "caption", "when"});
        item.kind = SectionItem::Kind::Totals;
        item.totals = TotalsReader(m_ctx).read(e["totals"], ptr + "/totals");
        if (e.contains("caption")) {
            item.caption = m_ctx.readTemplate(e["caption"], ptr + "/caption", true);
        }
    }
    // Fields in a condition are read from the group's first row (header) or
    // last row (footer).
    if (e.contains("when")) item.when = ConditionReader(m_ctx).read(e["when"], ptr + "/when", /*fieldsAllowed=*/true);
    return item;
}

void GroupReader::readDataColumns(const json& v, const std::string& ptr, GroupDef& d) {
    const json& cols = m_r.array(v, ptr);
    for (std::size_t k = 0; k < cols.size(); ++k) {
        std::string cp = ptr + "/" + std::to_string(k);
        const json& c = m_r.object(cols[k], cp);
        m_r.onlyKeys(c, cp, {"field", "caption"});
        DataColumnDef dc;
        dc.pointer = cp;
        auto named = m_ctx.fieldWithCaption(c, cp, "falta o campo");
        dc.field = std::move(named.field);
        dc.caption = std::move(named.caption);
        d.dataColumns.push_back(dc);
    }
}

}  // namespace pla013::reports::internal
