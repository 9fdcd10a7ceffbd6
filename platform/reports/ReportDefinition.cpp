#include "platform/reports/ReportDefinition.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <set>
#include <sstream>

#include <nlohmann/json.hpp>

#include "host/Errors.h"
#include "host/Variant.h"
#include "platform/reports/Expression.h"

namespace pla013::reports {

using nlohmann::json;

namespace {

std::string upper(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return char(std::toupper(c)); });
    return s;
}

bool isIdentifier(const std::string& s) {
    if (s.empty() || !(std::isalpha(static_cast<unsigned char>(s[0])) || s[0] == '_')) return false;
    return std::all_of(s.begin(), s.end(), [](unsigned char c) { return std::isalnum(c) || c == '_'; });
}

// Escapes a key for a JSON pointer (RFC 6901).
std::string pointerKey(const std::string& key) {
    std::string out;
    for (char c : key) {
        if (c == '~')
            out += "~0";
        else if (c == '/')
            out += "~1";
        else
            out += c;
    }
    return out;
}

// Walks the JSON with the pointer of every value at hand, so that each error
// names its place.
class Reader {
public:
    explicit Reader(std::string file) : m_file(std::move(file)) {}

    [[noreturn]] void fail(const std::string& pointer, const std::string& text) const {
        throw host::EHostError(definitionError(m_file, pointer.empty() ? "/" : pointer, text));
    }

    void onlyKeys(const json& obj, const std::string& ptr, std::initializer_list<const char*> allowed) const {
        for (auto it = obj.begin(); it != obj.end(); ++it) {
            bool ok = std::any_of(allowed.begin(), allowed.end(), [&](const char* k) { return it.key() == k; });
            if (!ok) fail(ptr + "/" + pointerKey(it.key()), "chave desconhecida '" + it.key() + "'");
        }
    }
    const json& object(const json& v, const std::string& ptr) const {
        if (!v.is_object()) fail(ptr, "esperado um objeto");
        return v;
    }
    const json& array(const json& v, const std::string& ptr) const {
        if (!v.is_array()) fail(ptr, "esperada uma lista");
        return v;
    }
    std::string string(const json& v, const std::string& ptr) const {
        if (!v.is_string()) fail(ptr, "esperado um texto");
        return v.get<std::string>();
    }
    std::string nonEmptyString(const json& v, const std::string& ptr) const {
        std::string s = string(v, ptr);
        if (s.empty()) fail(ptr, "o texto não pode ser vazio");
        return s;
    }
    // A text given as one string or as a list of lines.
    std::string textOrLines(const json& v, const std::string& ptr) const {
        if (v.is_string()) return v.get<std::string>();
        if (!v.is_array()) fail(ptr, "esperado um texto ou uma lista de linhas");
        std::string out;
        for (std::size_t i = 0; i < v.size(); ++i) {
            if (i) out += '\n';
            out += string(v[i], ptr + "/" + std::to_string(i));
        }
        return out;
    }
    bool boolean(const json& v, const std::string& ptr) const {
        if (!v.is_boolean()) fail(ptr, "esperado true ou false");
        return v.get<bool>();
    }
    long long integer(const json& v, const std::string& ptr) const {
        if (!v.is_number_integer()) fail(ptr, "esperado um número inteiro");
        return v.get<long long>();
    }
    std::string fieldName(const json& v, const std::string& ptr) const {
        std::string s = string(v, ptr);
        if (!isIdentifier(s)) fail(ptr, "nome de campo inválido '" + s + "'");
        return upper(s);
    }
    // A value compared by a condition or shown through a display map: text or number.
    std::string scalarText(const json& v, const std::string& ptr) const {
        if (v.is_string()) return v.get<std::string>();
        if (v.is_number_integer()) return std::to_string(v.get<long long>());
        fail(ptr, "esperado um texto ou um número inteiro");
    }

    const std::string& file() const { return m_file; }

private:
    std::string m_file;
};

bool validIsoDate(const std::string& s) {
    host::TDateTime d;
    return s.size() == 10 && host::TryIsoToDate(s, d);
}

bool validIsoDateTime(const std::string& s) {
    if (s.size() == 10) return validIsoDate(s);
    if (s.size() != 19 || (s[10] != ' ' && s[10] != 'T') || !validIsoDate(s.substr(0, 10))) return false;
    int h = 0, m = 0, sec = 0;
    if (std::sscanf(s.c_str() + 11, "%2d:%2d:%2d", &h, &m, &sec) != 3) return false;
    return s[13] == ':' && s[16] == ':' && h >= 0 && h < 24 && m >= 0 && m < 60 && sec >= 0 && sec < 60;
}

bool validFormat(const std::string& f) {
    if (f.empty() || f == "text") return true;
    if (f.find("dd") != std::string::npos || f.find("yyyy") != std::string::npos || f.find("hh") != std::string::npos)
        return true;
    // Numbers: "0", "#,##0", "0.00", "#,##0.000"...
    std::string body = f;
    if (body.rfind("#,##", 0) == 0) body = body.substr(4);
    if (body.empty() || body[0] != '0') return false;
    body = body.substr(1);
    if (body.empty()) return true;
    if (body[0] != '.' || body.size() < 2) return false;
    return std::all_of(body.begin() + 1, body.end(), [](char c) { return c == '0'; });
}

class DefinitionParser {
public:
    DefinitionParser(const Reader& r, ReportDefinition& def) : m_r(r), m_def(def) {}

    void parse(const json& root) {
        m_r.object(root, "");
        m_r.onlyKeys(root, "",
                     {"version", "code", "title", "subtitle", "orientation", "parameters", "lookups", "data",
                      "computed", "groups", "detail", "columns", "totals", "totalsCaption", "emptyText"});
        if (!root.contains("version")) m_r.fail("/version", "falta a versão do formato");
        if (m_r.integer(root["version"], "/version") != 1)
            m_r.fail("/version", "versão do formato não suportada (esperada 1)");
        if (!root.contains("code")) m_r.fail("/code", "falta o código do relatório");
        m_def.code = m_r.nonEmptyString(root["code"], "/code");
        if (m_def.code.size() != 2 || !std::all_of(m_def.code.begin(), m_def.code.end(),
                                                   [](unsigned char c) { return std::isdigit(c) || std::isupper(c); }))
            m_r.fail("/code", "o código deve ter dois caracteres, dígitos ou letras maiúsculas");
        if (!root.contains("title")) m_r.fail("/title", "falta o título do relatório");
        m_def.title = m_r.nonEmptyString(root["title"], "/title");
        if (root.contains("orientation")) {
            std::string o = m_r.string(root["orientation"], "/orientation");
            if (o == "portrait")
                m_def.orientation = Orientation::Portrait;
            else if (o == "landscape")
                m_def.orientation = Orientation::Landscape;
            else
                m_r.fail("/orientation", "orientação inválida '" + o + "' (portrait ou landscape)");
        }
        if (root.contains("parameters")) parseParameters(root["parameters"]);
        if (root.contains("lookups")) parseLookups(root["lookups"]);
        if (root.contains("subtitle")) {
            m_def.subtitle = m_r.string(root["subtitle"], "/subtitle");
            checkTemplate(m_def.subtitle, "/subtitle");
            // The subtitle is printed before any row: it may use parameters and lookups only.
            for (const auto& n : templateNames(m_def.subtitle)) {
                bool isLookup = std::any_of(m_def.lookups.begin(), m_def.lookups.end(),
                                            [&](const LookupDef& l) { return l.name == n; });
                if (n.rfind("P_", 0) != 0 && !isLookup)
                    m_r.fail("/subtitle", "'" + n + "' não é um parâmetro nem uma consulta de /lookups");
            }
        }
        if (!root.contains("data")) m_r.fail("/data", "falta a origem dos dados (sql ou dataSource)");
        parseData(root["data"]);
        if (root.contains("computed")) parseComputed(root["computed"]);
        if (root.contains("groups")) parseGroups(root["groups"]);
        if (root.contains("detail")) parseDetail(root["detail"]);
        if (!root.contains("columns")) m_r.fail("/columns", "faltam as colunas do relatório");
        parseColumns(root["columns"]);
        if (root.contains("totals")) m_def.totals = parseTotals(root["totals"], "/totals");
        if (root.contains("totalsCaption")) m_def.totalsCaption = m_r.string(root["totalsCaption"], "/totalsCaption");
        if (root.contains("emptyText")) m_def.emptyText = m_r.string(root["emptyText"], "/emptyText");
        for (auto& [name, ptr] : m_fieldRefs) m_def.fieldRefs.push_back({name, ptr});
    }

private:
    void requireParam(const std::string& name, const std::string& ptr) {
        if (!m_def.findParameter(name)) m_r.fail(ptr, "o parâmetro " + name + " não está declarado em /parameters");
    }

    void checkTemplate(const std::string& text, const std::string& ptr) {
        std::vector<std::string> names;
        try {
            names = templateNames(text);
        } catch (const std::invalid_argument& e) {
            m_r.fail(ptr, e.what());
        }
        for (const auto& n : names)
            if (n.rfind("P_", 0) == 0) requireParam(n, ptr);
    }

    void parseParameters(const json& list) {
        m_r.array(list, "/parameters");
        std::set<std::string> seen;
        for (std::size_t i = 0; i < list.size(); ++i) {
            std::string ptr = "/parameters/" + std::to_string(i);
            const json& p = m_r.object(list[i], ptr);
            m_r.onlyKeys(p, ptr, {"name", "type", "default", "label", "display", "format", "showWhen"});
            ParameterDef d;
            d.pointer = ptr;
            if (!p.contains("name")) m_r.fail(ptr + "/name", "falta o nome do parâmetro");
            d.name = upper(m_r.string(p["name"], ptr + "/name"));
            if (d.name.rfind("P_", 0) != 0 || !isIdentifier(d.name))
                m_r.fail(ptr + "/name", "nome de parâmetro inválido '" + d.name + "' (esperado P_...)");
            if (!seen.insert(d.name).second) m_r.fail(ptr + "/name", "parâmetro repetido " + d.name);
            if (!p.contains("type")) m_r.fail(ptr + "/type", "falta o tipo do parâmetro");
            std::string t = m_r.string(p["type"], ptr + "/type");
            if (t == "string")
                d.type = ParamType::String;
            else if (t == "integer")
                d.type = ParamType::Integer;
            else if (t == "date")
                d.type = ParamType::Date;
            else if (t == "datetime")
                d.type = ParamType::DateTime;
            else
                m_r.fail(ptr + "/type", "tipo inválido '" + t + "' (string, integer, date ou datetime)");
            if (p.contains("default") && !p["default"].is_null()) {
                const json& v = p["default"];
                std::string vp = ptr + "/default";
                d.hasDefault = true;
                switch (d.type) {
                    case ParamType::String: d.defaultText = m_r.string(v, vp); break;
                    case ParamType::Integer: d.defaultInt = m_r.integer(v, vp); break;
                    case ParamType::Date:
                        d.defaultText = m_r.string(v, vp);
                        if (!validIsoDate(d.defaultText))
                            m_r.fail(vp, "data inválida '" + d.defaultText + "' (AAAA-MM-DD)");
                        break;
                    case ParamType::DateTime:
                        d.defaultText = m_r.string(v, vp);
                        if (!validIsoDateTime(d.defaultText))
                            m_r.fail(vp, "data e hora inválidas '" + d.defaultText + "' (AAAA-MM-DD HH:MM:SS)");
                        break;
                }
            }
            if (p.contains("label")) d.label = m_r.string(p["label"], ptr + "/label");
            if (p.contains("format")) {
                d.format = m_r.string(p["format"], ptr + "/format");
                if (!validFormat(d.format)) m_r.fail(ptr + "/format", "formato inválido '" + d.format + "'");
            }
            if (p.contains("display")) {
                const json& m = m_r.object(p["display"], ptr + "/display");
                for (auto it = m.begin(); it != m.end(); ++it)
                    d.display[it.key()] = m_r.string(it.value(), ptr + "/display/" + pointerKey(it.key()));
            }
            m_def.parameters.push_back(d);
            if (p.contains("showWhen")) m_pendingShowWhen.emplace_back(m_def.parameters.size() - 1, i);
        }
        // Conditions may name parameters declared after them.
        for (auto [index, i] : m_pendingShowWhen) {
            std::string ptr = "/parameters/" + std::to_string(i) + "/showWhen";
            m_def.parameters[index].showWhen = parseCondition(list[i]["showWhen"], ptr, /*fieldsAllowed=*/false);
        }
    }

    Condition parseCondition(const json& v, const std::string& ptr, bool fieldsAllowed) {
        const json& c = m_r.object(v, ptr);
        Condition out;
        out.pointer = ptr;
        auto values = [&](const json& e, const std::string& p) {
            std::vector<std::string> vs;
            if (e.is_array()) {
                if (e.empty()) m_r.fail(p, "a lista de valores não pode ser vazia");
                for (std::size_t i = 0; i < e.size(); ++i)
                    vs.push_back(m_r.scalarText(e[i], p + "/" + std::to_string(i)));
            } else {
                vs.push_back(m_r.scalarText(e, p));
            }
            return vs;
        };
        if (c.contains("param")) {
            m_r.onlyKeys(c, ptr, {"param", "equals", "in"});
            out.name = upper(m_r.string(c["param"], ptr + "/param"));
            requireParam(out.name, ptr + "/param");
            out.kind = Condition::Kind::ParamEquals;
            if (c.contains("equals"))
                out.values = values(c["equals"], ptr + "/equals");
            else if (c.contains("in"))
                out.values = values(m_r.array(c["in"], ptr + "/in"), ptr + "/in");
            else
                m_r.fail(ptr, "falta 'equals' ou 'in'");
        } else if (c.contains("field")) {
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
            m_fieldRefs.push_back({out.name, ptr + "/field"});
        } else if (c.contains("all") || c.contains("any")) {
            bool all = c.contains("all");
            m_r.onlyKeys(c, ptr, {all ? "all" : "any"});
            std::string key = all ? "all" : "any";
            const json& list = m_r.array(c[key], ptr + "/" + key);
            if (list.empty()) m_r.fail(ptr + "/" + key, "a lista de condições não pode ser vazia");
            out.kind = all ? Condition::Kind::All : Condition::Kind::Any;
            for (std::size_t i = 0; i < list.size(); ++i)
                out.children.push_back(
                    parseCondition(list[i], ptr + "/" + key + "/" + std::to_string(i), fieldsAllowed));
        } else if (c.contains("not")) {
            m_r.onlyKeys(c, ptr, {"not"});
            out.kind = Condition::Kind::Not;
            out.children.push_back(parseCondition(c["not"], ptr + "/not", fieldsAllowed));
        } else {
            m_r.fail(ptr, "condição sem 'param', 'field', 'all', 'any' ou 'not'");
        }
        return out;
    }

    std::vector<std::string> checkSql(const std::string& sql, const std::string& ptr) {
        auto names = sqlParameterNames(sql);
        std::vector<std::string> declared;
        for (const auto& n : names) {
            const ParameterDef* p = m_def.findParameter(n);
            if (!p) m_r.fail(ptr, "o SQL usa :" + n + ", que não está declarado em /parameters");
            declared.push_back(p->name);
        }
        return declared;
    }

    void parseLookups(const json& list) {
        m_r.array(list, "/lookups");
        std::set<std::string> seen;
        for (std::size_t i = 0; i < list.size(); ++i) {
            std::string ptr = "/lookups/" + std::to_string(i);
            const json& l = m_r.object(list[i], ptr);
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
            d.params = checkSql(d.sql, ptr + "/sql");
            m_def.lookups.push_back(d);
        }
    }

    void parseData(const json& v) {
        const json& d = m_r.object(v, "/data");
        m_r.onlyKeys(d, "/data", {"sql", "dataSource", "types"});
        if (d.contains("types")) {
            const json& t = m_r.object(d["types"], "/data/types");
            for (auto it = t.begin(); it != t.end(); ++it) {
                std::string ptr = "/data/types/" + pointerKey(it.key());
                if (!isIdentifier(it.key())) m_r.fail(ptr, "nome de campo inválido '" + it.key() + "'");
                std::string kind = m_r.string(it.value(), ptr);
                if (kind != "string" && kind != "integer" && kind != "float" && kind != "date")
                    m_r.fail(ptr, "tipo inválido '" + kind + "' (string, integer, float ou date)");
                m_def.fieldTypes[upper(it.key())] = kind;
                m_fieldRefs.push_back({upper(it.key()), ptr});
            }
        }
        bool hasSql = d.contains("sql"), hasSource = d.contains("dataSource");
        if (hasSql == hasSource) m_r.fail("/data", "informe exatamente um de 'sql' e 'dataSource'");
        if (hasSql) {
            m_def.sql = m_r.textOrLines(d["sql"], "/data/sql");
            if (m_def.sql.find_first_not_of(" \t\r\n") == std::string::npos) m_r.fail("/data/sql", "SQL vazio");
            m_def.sqlParams = checkSql(m_def.sql, "/data/sql");
        } else {
            m_def.dataSource = m_r.string(d["dataSource"], "/data/dataSource");
            if (!isIdentifier(m_def.dataSource))
                m_r.fail("/data/dataSource", "nome de fonte de dados inválido '" + m_def.dataSource + "'");
        }
    }

    void parseComputed(const json& list) {
        m_r.array(list, "/computed");
        for (std::size_t i = 0; i < list.size(); ++i) {
            std::string ptr = "/computed/" + std::to_string(i);
            const json& c = m_r.object(list[i], ptr);
            m_r.onlyKeys(c, ptr, {"name", "expression"});
            ComputedDef d;
            d.pointer = ptr;
            if (!c.contains("name")) m_r.fail(ptr + "/name", "falta o nome");
            d.name = m_r.fieldName(c["name"], ptr + "/name");
            if (!c.contains("expression")) m_r.fail(ptr + "/expression", "falta a expressão");
            std::string text = m_r.string(c["expression"], ptr + "/expression");
            try {
                d.expression = Expression::parse(text);
            } catch (const std::invalid_argument& e) {
                m_r.fail(ptr + "/expression", std::string("expressão inválida: ") + e.what());
            }
            for (const auto& n : d.expression->names()) {
                if (n.rfind("P_", 0) == 0)
                    requireParam(n, ptr + "/expression");
                else
                    m_fieldRefs.push_back({n, ptr + "/expression"});
            }
            m_def.computed.push_back(d);
        }
    }

    std::vector<TotalDef> parseTotals(const json& list, const std::string& base) {
        m_r.array(list, base);
        std::vector<TotalDef> out;
        for (std::size_t i = 0; i < list.size(); ++i) {
            std::string ptr = base + "/" + std::to_string(i);
            const json& t = m_r.object(list[i], ptr);
            m_r.onlyKeys(t, ptr, {"field", "function", "format", "caption"});
            TotalDef d;
            d.pointer = ptr;
            std::string f = t.contains("function") ? m_r.string(t["function"], ptr + "/function") : "sum";
            if (f == "sum")
                d.function = TotalFunction::Sum;
            else if (f == "count")
                d.function = TotalFunction::Count;
            else if (f == "avg")
                d.function = TotalFunction::Avg;
            else if (f == "min")
                d.function = TotalFunction::Min;
            else if (f == "max")
                d.function = TotalFunction::Max;
            else
                m_r.fail(ptr + "/function", "função inválida '" + f + "' (sum, count, avg, min ou max)");
            if (t.contains("field")) {
                d.field = m_r.fieldName(t["field"], ptr + "/field");
                m_fieldRefs.push_back({d.field, ptr + "/field"});
            } else if (d.function != TotalFunction::Count) {
                m_r.fail(ptr + "/field", "falta o campo do total");
            }
            if (t.contains("format")) {
                d.format = m_r.string(t["format"], ptr + "/format");
                if (!validFormat(d.format)) m_r.fail(ptr + "/format", "formato inválido '" + d.format + "'");
            }
            if (t.contains("caption")) d.caption = m_r.string(t["caption"], ptr + "/caption");
            out.push_back(d);
        }
        return out;
    }

    std::vector<SectionItem> parseSection(const json& list, const std::string& base) {
        m_r.array(list, base);
        std::vector<SectionItem> out;
        for (std::size_t i = 0; i < list.size(); ++i) {
            std::string ptr = base + "/" + std::to_string(i);
            const json& e = m_r.object(list[i], ptr);
            SectionItem item;
            item.pointer = ptr;
            int kinds = int(e.contains("text")) + int(e.contains("memo")) + int(e.contains("image")) +
                        int(e.contains("totals"));
            if (kinds != 1) m_r.fail(ptr, "cada item tem exatamente um de 'text', 'memo', 'image' e 'totals'");
            if (e.contains("text")) {
                m_r.onlyKeys(e, ptr, {"text", "bold", "when"});
                item.kind = SectionItem::Kind::Text;
                item.text = m_r.string(e["text"], ptr + "/text");
                checkTemplate(item.text, ptr + "/text");
                templateFieldRefs(item.text, ptr + "/text");
                if (e.contains("bold")) item.bold = m_r.boolean(e["bold"], ptr + "/bold");
            } else if (e.contains("memo")) {
                m_r.onlyKeys(e, ptr, {"memo", "caption", "when"});
                item.kind = SectionItem::Kind::Memo;
                item.field = m_r.fieldName(e["memo"], ptr + "/memo");
                m_fieldRefs.push_back({item.field, ptr + "/memo"});
                if (e.contains("caption")) item.caption = m_r.string(e["caption"], ptr + "/caption");
            } else if (e.contains("image")) {
                m_r.onlyKeys(e, ptr, {"image", "lines", "when"});
                item.kind = SectionItem::Kind::Image;
                item.field = m_r.fieldName(e["image"], ptr + "/image");
                m_fieldRefs.push_back({item.field, ptr + "/image"});
                if (e.contains("lines")) {
                    long long n = m_r.integer(e["lines"], ptr + "/lines");
                    if (n < 2 || n > 30) m_r.fail(ptr + "/lines", "a altura da imagem deve estar entre 2 e 30 linhas");
                    item.lines = int(n);
                }
            } else {
                m_r.onlyKeys(e, ptr, {"totals", "caption", "when"});
                item.kind = SectionItem::Kind::Totals;
                item.totals = parseTotals(e["totals"], ptr + "/totals");
                if (e.contains("caption")) {
                    item.caption = m_r.string(e["caption"], ptr + "/caption");
                    checkTemplate(item.caption, ptr + "/caption");
                    templateFieldRefs(item.caption, ptr + "/caption");
                }
            }
            // Fields in a condition are read from the group's first row (header)
            // or last row (footer).
            if (e.contains("when")) item.when = parseCondition(e["when"], ptr + "/when", /*fieldsAllowed=*/true);
            out.push_back(item);
        }
        return out;
    }

    void templateFieldRefs(const std::string& text, const std::string& ptr) {
        for (const auto& n : templateNames(text))
            if (n.rfind("P_", 0) != 0) m_fieldRefs.push_back({n, ptr});
    }

    void parseGroups(const json& list) {
        m_r.array(list, "/groups");
        for (std::size_t i = 0; i < list.size(); ++i) {
            std::string ptr = "/groups/" + std::to_string(i);
            const json& g = m_r.object(list[i], ptr);
            m_r.onlyKeys(g, ptr, {"field", "newPage", "header", "footer", "dataColumns"});
            GroupDef d;
            d.pointer = ptr;
            if (!g.contains("field")) m_r.fail(ptr + "/field", "falta o campo do grupo");
            const json& f = g["field"];
            if (f.is_array()) {
                if (f.empty()) m_r.fail(ptr + "/field", "a lista de campos não pode ser vazia");
                for (std::size_t k = 0; k < f.size(); ++k) {
                    std::string fp = ptr + "/field/" + std::to_string(k);
                    d.fields.push_back(m_r.fieldName(f[k], fp));
                    m_fieldRefs.push_back({d.fields.back(), fp});
                }
            } else {
                d.fields.push_back(m_r.fieldName(f, ptr + "/field"));
                m_fieldRefs.push_back({d.fields.back(), ptr + "/field"});
            }
            if (g.contains("newPage")) d.newPage = m_r.boolean(g["newPage"], ptr + "/newPage");
            if (g.contains("header")) d.header = parseSection(g["header"], ptr + "/header");
            if (g.contains("footer")) d.footer = parseSection(g["footer"], ptr + "/footer");
            if (g.contains("dataColumns")) {
                const json& cols = m_r.array(g["dataColumns"], ptr + "/dataColumns");
                for (std::size_t k = 0; k < cols.size(); ++k) {
                    std::string cp = ptr + "/dataColumns/" + std::to_string(k);
                    const json& c = m_r.object(cols[k], cp);
                    m_r.onlyKeys(c, cp, {"field", "caption"});
                    DataColumnDef dc;
                    dc.pointer = cp;
                    if (!c.contains("field")) m_r.fail(cp + "/field", "falta o campo");
                    dc.field = m_r.fieldName(c["field"], cp + "/field");
                    m_fieldRefs.push_back({dc.field, cp + "/field"});
                    dc.caption = c.contains("caption") ? m_r.string(c["caption"], cp + "/caption") : dc.field;
                    d.dataColumns.push_back(dc);
                }
            }
            m_def.groups.push_back(d);
        }
    }

    void parseDetail(const json& v) {
        const json& d = m_r.object(v, "/detail");
        m_r.onlyKeys(d, "/detail", {"when", "printIf"});
        if (d.contains("when")) m_def.detail.when = parseCondition(d["when"], "/detail/when", false);
        if (d.contains("printIf")) m_def.detail.printIf = parseCondition(d["printIf"], "/detail/printIf", true);
    }

    void parseColumns(const json& list) {
        m_r.array(list, "/columns");
        if (list.empty()) m_r.fail("/columns", "o relatório precisa de ao menos uma coluna");
        int total = 0;
        for (std::size_t i = 0; i < list.size(); ++i) {
            std::string ptr = "/columns/" + std::to_string(i);
            const json& c = m_r.object(list[i], ptr);
            m_r.onlyKeys(c, ptr, {"field", "caption", "width", "align", "format", "when"});
            ColumnDef d;
            d.pointer = ptr;
            if (!c.contains("field")) m_r.fail(ptr + "/field", "falta o campo da coluna");
            d.field = m_r.fieldName(c["field"], ptr + "/field");
            m_fieldRefs.push_back({d.field, ptr + "/field"});
            d.caption = c.contains("caption") ? m_r.string(c["caption"], ptr + "/caption") : d.field;
            if (c.contains("width")) {
                long long w = m_r.integer(c["width"], ptr + "/width");
                if (w < 1 || w > 200) m_r.fail(ptr + "/width", "a largura deve estar entre 1 e 200 caracteres");
                d.width = int(w);
            }
            if (c.contains("align")) {
                std::string a = m_r.string(c["align"], ptr + "/align");
                if (a == "left")
                    d.align = Align::Left;
                else if (a == "right")
                    d.align = Align::Right;
                else if (a == "center")
                    d.align = Align::Center;
                else
                    m_r.fail(ptr + "/align", "alinhamento inválido '" + a + "' (left, right ou center)");
            }
            if (c.contains("format")) {
                d.format = m_r.string(c["format"], ptr + "/format");
                if (!validFormat(d.format)) m_r.fail(ptr + "/format", "formato inválido '" + d.format + "'");
            }
            if (c.contains("when")) d.when = parseCondition(c["when"], ptr + "/when", false);
            total += d.width + (i ? 1 : 0);
            m_def.columns.push_back(d);
        }
        if (total > m_def.pageWidth())
            m_r.fail("/columns", "as colunas somam " + std::to_string(total) + " caracteres; a linha comporta " +
                                     std::to_string(m_def.pageWidth()));
    }

    const Reader& m_r;
    ReportDefinition& m_def;
    std::vector<std::pair<std::size_t, std::size_t>> m_pendingShowWhen;
    std::vector<std::pair<std::string, std::string>> m_fieldRefs;
};

}  // namespace

const char* paramTypeName(ParamType type) {
    switch (type) {
        case ParamType::String: return "string";
        case ParamType::Integer: return "integer";
        case ParamType::Date: return "date";
        case ParamType::DateTime: return "datetime";
    }
    return "string";
}

std::string definitionError(const std::string& file, const std::string& place, const std::string& text) {
    return "Definição de relatório '" + file + "', " + place + ": " + text + ".";
}

const ParameterDef* ReportDefinition::findParameter(const std::string& name) const {
    std::string u = upper(name);
    for (const auto& p : parameters)
        if (p.name == u) return &p;
    return nullptr;
}

int ReportDefinition::pageWidth() const { return orientation == Orientation::Portrait ? 110 : 160; }

ReportDefinition ReportDefinition::parse(const std::string& text, const std::string& file) {
    Reader reader(file);
    json root;
    try {
        root = json::parse(text);
    } catch (const json::parse_error& e) {
        // Line and column of the byte where the syntax broke.
        std::size_t at = std::min<std::size_t>(e.byte ? e.byte - 1 : 0, text.size());
        std::size_t line = 1, col = 1;
        for (std::size_t i = 0; i < at; ++i) {
            if (text[i] == '\n') {
                ++line;
                col = 1;
            } else
                ++col;
        }
        std::string what = e.what();
        auto pos = what.find("syntax error");
        throw host::EHostError(
            definitionError(file, "linha " + std::to_string(line) + ", coluna " + std::to_string(col),
                            "JSON inválido (" + (pos == std::string::npos ? what : what.substr(pos)) + ")"));
    }
    ReportDefinition def;
    def.file = file;
    DefinitionParser parser(reader, def);
    parser.parse(root);
    return def;
}

ReportDefinition ReportDefinition::load(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw host::EHostError(definitionError(path, "/", "o arquivo não pode ser lido"));
    std::ostringstream s;
    s << in.rdbuf();
    if (in.bad()) throw host::EHostError(definitionError(path, "/", "erro de leitura do arquivo"));
    return parse(s.str(), path);
}

std::vector<std::string> sqlParameterNames(const std::string& sql) {
    std::vector<std::string> out;
    std::size_t i = 0, n = sql.size();
    while (i < n) {
        char c = sql[i];
        if (c == '\'' || c == '"') {  // literal or quoted identifier; a doubled quote stays inside
            char q = c;
            ++i;
            while (i < n) {
                if (sql[i] == q) {
                    if (i + 1 < n && sql[i + 1] == q) {
                        i += 2;
                        continue;
                    }
                    break;
                }
                ++i;
            }
            ++i;
        } else if (c == '-' && i + 1 < n && sql[i + 1] == '-') {
            while (i < n && sql[i] != '\n') ++i;
        } else if (c == '/' && i + 1 < n && sql[i + 1] == '*') {
            auto end = sql.find("*/", i + 2);
            i = end == std::string::npos ? n : end + 2;
        } else if (c == ':' && i + 1 < n && sql[i + 1] == ':') {
            i += 2;  // a cast, not a parameter
        } else if (c == ':' && i + 1 < n &&
                   (std::isalpha(static_cast<unsigned char>(sql[i + 1])) || sql[i + 1] == '_')) {
            std::size_t s = ++i;
            while (i < n && (std::isalnum(static_cast<unsigned char>(sql[i])) || sql[i] == '_')) ++i;
            std::string name = upper(sql.substr(s, i - s));
            if (std::find(out.begin(), out.end(), name) == out.end()) out.push_back(name);
        } else {
            ++i;
        }
    }
    return out;
}

std::vector<std::string> templateNames(const std::string& text) {
    std::vector<std::string> out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '{') {
            if (i + 1 < text.size() && text[i + 1] == '{') {
                ++i;
                continue;
            }
            auto end = text.find('}', i);
            if (end == std::string::npos)
                throw std::invalid_argument("'{' sem '}' correspondente na posição " + std::to_string(i + 1));
            std::string inside = text.substr(i + 1, end - i - 1);
            std::string name = upper(inside.substr(0, inside.find('|')));
            if (!isIdentifier(name)) throw std::invalid_argument("nome inválido '{" + inside + "}'");
            if (inside.find('|') != std::string::npos && !validFormat(inside.substr(inside.find('|') + 1)))
                throw std::invalid_argument("formato inválido em '{" + inside + "}'");
            if (std::find(out.begin(), out.end(), name) == out.end()) out.push_back(name);
            i = end;
        } else if (text[i] == '}') {
            if (i + 1 < text.size() && text[i + 1] == '}') {
                ++i;
                continue;
            }
            throw std::invalid_argument("'}' sem '{' correspondente na posição " + std::to_string(i + 1));
        }
    }
    return out;
}

}  // namespace pla013::reports
