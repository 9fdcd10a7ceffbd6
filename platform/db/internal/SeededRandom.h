#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

namespace pla013::db::internal {

// splitmix64: the same sequence for a seed on every platform and compiler,
// which the standard library's distributions do not promise.
class SeededRandom {
public:
    explicit SeededRandom(std::uint64_t seed) : m_state(seed) {}
    std::uint64_t next() {
        std::uint64_t z = (m_state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    int below(std::size_t n) { return int(next() % n); }
    int between(int low, int high) { return low + below(std::size_t(high - low + 1)); }
    bool chance(double p) { return double(next() >> 11) * 0x1.0p-53 < p; }
    // Favours the first elements: the everyday products (salt, oil, onion)
    // come first in their category and are used most.
    int skewedBelow(std::size_t n) {
        const double u = double(next() >> 11) * 0x1.0p-53;
        return std::min(int(n) - 1, int(double(n) * u * u));
    }
    template <class T>
    const T& pick(const std::vector<T>& items) {
        return items[std::size_t(below(items.size()))];
    }

private:
    std::uint64_t m_state;
};

}  // namespace pla013::db::internal
