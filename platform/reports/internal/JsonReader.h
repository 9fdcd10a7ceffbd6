#pragma once

#include <initializer_list>
#include <string>

#include <nlohmann/json.hpp>

namespace pla013::reports::internal {

// Typed access to the JSON of a definition with the JSON pointer (RFC 6901)
// of every value at hand, so that each error names its file and place:
// EHostError "Definição de relatório 'FILE', POINTER: TEXT".
class JsonReader {
public:
    using json = nlohmann::json;

    explicit JsonReader(std::string file) : m_file(std::move(file)) {}

    [[noreturn]] void fail(const std::string& pointer, const std::string& text) const;

    // Every key of obj is one of allowed.
    void onlyKeys(const json& obj, const std::string& ptr, std::initializer_list<const char*> allowed) const;
    const json& object(const json& v, const std::string& ptr) const;
    const json& array(const json& v, const std::string& ptr) const;
    std::string string(const json& v, const std::string& ptr) const;
    std::string nonEmptyString(const json& v, const std::string& ptr) const;
    // A text given as one string or as a list of lines.
    std::string textOrLines(const json& v, const std::string& ptr) const;
    bool boolean(const json& v, const std::string& ptr) const;
    long long integer(const json& v, const std::string& ptr) const;
    // An identifier, upper-cased.
    std::string fieldName(const json& v, const std::string& ptr) const;
    // A value compared by a condition or shown through a display map: text or number.
    std::string scalarText(const json& v, const std::string& ptr) const;

    const std::string& file() const { return m_file; }

    // A key escaped for a JSON pointer.
    static std::string pointerKey(const std::string& key);

private:
    std::string m_file;
};

}  // namespace pla013::reports::internal
