#pragma once

#include <cstddef>
#include <optional>
#include <vector>

#include "host/Variant.h"
#include "platform/reports/ReportDefinition.h"

namespace pla013::reports::internal {

// Running figures of one scope (a group or the whole report), per data field.
// A row is added once and not kept, so a scope costs a few numbers per field
// whatever the number of rows.
class RunningTotals {
public:
    void reset(std::size_t fields);
    // Adds the row's values of the given fields; nulls are left out and texts
    // only count.
    void add(const std::vector<host::Variant>& row, const std::vector<int>& fields);
    // field -1: the number of rows added. A sum, average, minimum or maximum
    // of no value at all is null (blank), not 0.
    host::Variant value(TotalFunction function, int field) const;

private:
    struct Stat {
        double sum = 0;
        long long count = 0;
        std::optional<double> min, max;
    };
    std::vector<Stat> m_stats;  // by data column
    long long m_rows = 0;
};

}  // namespace pla013::reports::internal
