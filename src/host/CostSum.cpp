#include "host/CostSum.h"

#include <cmath>

namespace pla013::host {

double roundHalfAway(double value, int decimals) {
    if (!std::isfinite(value)) return value;
    const double scale = std::pow(10.0, decimals);
    // 2.675 is held as 2.67499999...; the scaled value is first settled at
    // far more digits than any format shows, then rounded.
    double scaled = std::fabs(value) * scale;
    scaled = std::round(scaled * 1e6) / 1e6;
    return std::copysign(std::round(scaled) / scale, value);
}

Variant CostSum::lineCost(const Variant& quantity, const Variant& unitCost) {
    if (quantity.isNullOrUnassigned() || unitCost.isNullOrUnassigned()) return Variant::null();
    return Variant(quantity.toDouble() * unitCost.toDouble());
}

void CostSum::add(const Variant& cost) {
    ++m_count;
    if (cost.isNullOrUnassigned())
        ++m_missing;
    else
        m_sum += cost.toDouble();
}

Variant CostSum::exact() const { return m_count > m_missing ? Variant(m_sum) : Variant::null(); }

Variant CostSum::rounded(int decimals) const {
    return m_count > m_missing ? Variant(roundHalfAway(m_sum, decimals)) : Variant::null();
}

}  // namespace pla013::host
