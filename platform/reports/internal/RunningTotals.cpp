#include "platform/reports/internal/RunningTotals.h"

#include <cstdint>

namespace pla013::reports::internal {

void RunningTotals::reset(std::size_t fields) {
    m_stats.assign(fields, Stat{});
    m_rows = 0;
}

void RunningTotals::add(const std::vector<host::Variant>& row, const std::vector<int>& fields) {
    ++m_rows;
    for (int f : fields) {
        const host::Variant& v = row[f];
        if (v.isNullOrUnassigned()) continue;
        double d = 0;
        using K = host::Variant::Kind;
        if (v.kind() == K::Integer || v.kind() == K::Float || v.kind() == K::Date) {
            d = v.toDouble();
        } else {
            Stat& s = m_stats[f];
            ++s.count;  // texts count, nothing else
            continue;
        }
        Stat& s = m_stats[f];
        s.sum += d;
        ++s.count;
        if (!s.min || d < *s.min) s.min = d;
        if (!s.max || d > *s.max) s.max = d;
    }
}

host::Variant RunningTotals::value(TotalFunction fn, int field) const {
    if (field < 0) return host::Variant(static_cast<std::int64_t>(m_rows));
    const Stat& s = m_stats[field];
    switch (fn) {
        case TotalFunction::Sum:
            return s.count ? host::Variant(s.sum) : host::Variant::null();  // nothing to add up: blank, not 0
        case TotalFunction::Count: return host::Variant(static_cast<std::int64_t>(s.count));
        case TotalFunction::Avg: return s.count ? host::Variant(s.sum / double(s.count)) : host::Variant::null();
        case TotalFunction::Min: return s.min ? host::Variant(*s.min) : host::Variant::null();
        case TotalFunction::Max: return s.max ? host::Variant(*s.max) : host::Variant::null();
    }
    return host::Variant::null();
}

}  // namespace pla013::reports::internal
