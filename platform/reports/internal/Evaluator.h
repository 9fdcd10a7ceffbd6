#pragma once

#include <string>

#include "platform/reports/ReportDefinition.h"
#include "platform/reports/internal/ReportData.h"

namespace pla013::reports::internal {

// Conditions and templates of a definition, evaluated against the values of
// a run and one row at a time (no row: parameters and lookups only), so that
// a row is needed only while its bands are made.
class Evaluator {
public:
    using Row = ReportData::Row;

    Evaluator(const ReportDefinition& def, const ReportData& data) : m_def(def), m_data(data) {}

    // A condition on fields fails without a row.
    bool holds(const Condition& condition, const Row* row) const;
    // A template with its placeholders filled; a field without a row is empty.
    std::string expand(const std::string& templ, const Row* row) const;
    // The text of a parameter's value; for display through its display map
    // and date format, or the given format.
    std::string paramText(const ReportParam& param, bool forDisplay, const std::string& format) const;
    // Values compare as text: an integer as its decimal text, a date as
    // YYYY-MM-DD, null as the empty text.
    static std::string conditionText(const host::Variant& value);

    const ReportData& data() const { return m_data; }

private:
    void expandPlaceholder(const std::string& inside, const Row* row, std::string& out) const;

    const ReportDefinition& m_def;
    const ReportData& m_data;
};

}  // namespace pla013::reports::internal
