#pragma once

#include <string>
#include <vector>

#include "platform/reports/ReportDefinition.h"
#include "platform/reports/internal/JsonReader.h"

namespace pla013::reports::internal {

// What the readers of the sections of a definition share while it is read:
// the JSON reader, the definition being filled, and the checks that cross
// sections (declared parameters, templates, the data fields named).
class DefinitionContext {
public:
    DefinitionContext(const JsonReader& reader, ReportDefinition& def) : m_reader(reader), m_def(def) {}

    const JsonReader& reader() const { return m_reader; }
    ReportDefinition& def() { return m_def; }
    const ReportDefinition& def() const { return m_def; }

    // A data field the definition names, checked once the data is open.
    void addFieldRef(const std::string& name, const std::string& ptr);
    // The data field an object names under "field" (recorded as a reference)
    // and its "caption", the field's name when it has none; missing is the
    // error when there is no "field".
    struct FieldWithCaption {
        std::string field, caption;
    };
    FieldWithCaption fieldWithCaption(const JsonReader::json& obj, const std::string& ptr, const char* missing);
    void requireParam(const std::string& name, const std::string& ptr) const;
    // Syntax of the template; every parameter it uses is declared.
    void checkTemplate(const std::string& text, const std::string& ptr) const;
    // A text that may hold placeholders (a caption, a title): read and
    // checked. With a row, its names are parameters, fields or lookups (the
    // fields checked once the data is open); without one (texts printed
    // before any row, such as column headers), parameters and lookups only.
    std::string readTemplate(const JsonReader::json& v, const std::string& ptr, bool withRow);
    // The parameters an SQL text uses, as declared; each must be. The text
    // must be a single query that only reads (checkReadOnlyQuery).
    std::vector<std::string> checkSql(const std::string& sql, const std::string& ptr) const;

private:
    const JsonReader& m_reader;
    ReportDefinition& m_def;
};

}  // namespace pla013::reports::internal
