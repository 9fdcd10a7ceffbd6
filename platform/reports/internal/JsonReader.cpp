#include "platform/reports/internal/JsonReader.h"

#include <algorithm>

#include "host/Errors.h"
#include "platform/reports/ReportDefinition.h"
#include "platform/reports/internal/DefinitionRules.h"

namespace pla013::reports::internal {

std::string JsonReader::pointerKey(const std::string& key) {
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

void JsonReader::fail(const std::string& pointer, const std::string& text) const {
    throw host::EHostError(definitionError(m_file, pointer.empty() ? "/" : pointer, text));
}

void JsonReader::onlyKeys(const json& obj, const std::string& ptr, std::initializer_list<const char*> allowed) const {
    for (auto it = obj.begin(); it != obj.end(); ++it) {
        bool ok = std::any_of(allowed.begin(), allowed.end(), [&](const char* k) { return it.key() == k; });
        if (!ok) fail(ptr + "/" + pointerKey(it.key()), "chave desconhecida '" + it.key() + "'");
    }
}

const JsonReader::json& JsonReader::object(const json& v, const std::string& ptr) const {
    if (!v.is_object()) fail(ptr, "esperado um objeto");
    return v;
}

const JsonReader::json& JsonReader::array(const json& v, const std::string& ptr) const {
    if (!v.is_array()) fail(ptr, "esperada uma lista");
    return v;
}

std::string JsonReader::string(const json& v, const std::string& ptr) const {
    if (!v.is_string()) fail(ptr, "esperado um texto");
    return v.get<std::string>();
}

std::string JsonReader::nonEmptyString(const json& v, const std::string& ptr) const {
    std::string s = string(v, ptr);
    if (s.empty()) fail(ptr, "o texto não pode ser vazio");
    return s;
}

std::string JsonReader::textOrLines(const json& v, const std::string& ptr) const {
    if (v.is_string()) return v.get<std::string>();
    if (!v.is_array()) fail(ptr, "esperado um texto ou uma lista de linhas");
    std::string out;
    for (std::size_t i = 0; i < v.size(); ++i) {
        if (i) out += '\n';
        out += string(v[i], ptr + "/" + std::to_string(i));
    }
    return out;
}

bool JsonReader::boolean(const json& v, const std::string& ptr) const {
    if (!v.is_boolean()) fail(ptr, "esperado true ou false");
    return v.get<bool>();
}

long long JsonReader::integer(const json& v, const std::string& ptr) const {
    if (!v.is_number_integer()) fail(ptr, "esperado um número inteiro");
    return v.get<long long>();
}

std::string JsonReader::fieldName(const json& v, const std::string& ptr) const {
    std::string s = string(v, ptr);
    if (!isIdentifier(s)) fail(ptr, "nome de campo inválido '" + s + "'");
    return upperCase(s);
}

std::string JsonReader::scalarText(const json& v, const std::string& ptr) const {
    if (v.is_string()) return v.get<std::string>();
    if (v.is_number_integer()) return std::to_string(v.get<long long>());
    fail(ptr, "esperado um texto ou um número inteiro");
}

}  // namespace pla013::reports::internal
