#pragma once
// How a cost is added up, written once for every place that shows one: the
// application server's dish costs and the report engine's sums over a group
// (a dish's lines) follow this class, so that one recipe has one cost in
// every report.

#include "Variant.h"

namespace pla013::host {

// Rounds to the given decimals, half away from zero (2,675 -> 2,68; -0,125
// -> -0,13), judged on the decimal value as written, not on its binary
// approximation. Every figure a report shows is rounded this way.
double roundHalfAway(double value, int decimals);

// A sum of costs: the values are added as they were computed, unrounded, in
// the order given; a missing value (null) is counted, never taken as zero;
// the sum is rounded once, where it is shown or sent.
class CostSum {
public:
    // A recipe line's cost: its gross quantity times its product's unit cost,
    // unrounded; null when either is null (a product without cost).
    static Variant lineCost(const Variant& quantity, const Variant& unitCost);

    void add(const Variant& cost);
    int count() const { return m_count; }      // values added, missing ones included
    int missing() const { return m_missing; }  // nulls among them
    bool complete() const { return m_missing == 0; }
    // The sum of the values that are there, unrounded; null when none is.
    Variant exact() const;
    // exact() rounded once with roundHalfAway (to the cent by default).
    Variant rounded(int decimals = 2) const;

private:
    double m_sum = 0;
    int m_count = 0;
    int m_missing = 0;
};

}  // namespace pla013::host
