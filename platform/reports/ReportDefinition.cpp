#include "platform/reports/ReportDefinition.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include <nlohmann/json.hpp>

#include "host/Errors.h"
#include "platform/reports/internal/DefinitionContext.h"
#include "platform/reports/internal/DefinitionParser.h"
#include "platform/reports/internal/DefinitionRules.h"
#include "platform/reports/internal/JsonReader.h"

namespace pla013::reports {

using internal::isIdentifier;
using internal::isValidFormat;
using internal::upperCase;
using nlohmann::json;

namespace {

// "linha L, coluna C" of the byte where the syntax broke.
std::string syntaxPlace(const std::string& text, std::size_t byte) {
    std::size_t at = std::min<std::size_t>(byte ? byte - 1 : 0, text.size());
    std::size_t line = 1, col = 1;
    for (std::size_t i = 0; i < at; ++i) {
        if (text[i] == '\n') {
            ++line;
            col = 1;
        } else
            ++col;
    }
    return "linha " + std::to_string(line) + ", coluna " + std::to_string(col);
}

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
    std::string u = upperCase(name);
    for (const auto& p : parameters)
        if (p.name == u) return &p;
    return nullptr;
}

int ReportDefinition::pageWidth() const { return orientation == Orientation::Portrait ? 110 : 160; }

ReportDefinition ReportDefinition::parse(const std::string& text, const std::string& file) {
    json root;
    try {
        root = json::parse(text);
    } catch (const json::parse_error& e) {
        std::string what = e.what();
        auto pos = what.find("syntax error");
        throw host::EHostError(
            definitionError(file, syntaxPlace(text, e.byte),
                            "JSON inválido (" + (pos == std::string::npos ? what : what.substr(pos)) + ")"));
    } catch (const json::exception&) {
        // The reader refuses a number beyond the range of a double (1e999)
        // after the text was read, so there is no position to name.
        throw host::EHostError(definitionError(file, "/", "JSON inválido (número fora do intervalo representável)"));
    }
    ReportDefinition def;
    def.file = file;
    internal::JsonReader reader(file);
    internal::DefinitionContext context(reader, def);
    internal::DefinitionParser(context).parse(root);
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
            std::string name = upperCase(sql.substr(s, i - s));
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
            std::string name = upperCase(inside.substr(0, inside.find('|')));
            if (!isIdentifier(name)) throw std::invalid_argument("nome inválido '{" + inside + "}'");
            if (inside.find('|') != std::string::npos && !isValidFormat(inside.substr(inside.find('|') + 1)))
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
