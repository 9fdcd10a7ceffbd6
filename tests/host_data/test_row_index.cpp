// The row index on its own: which rows a key finds, through growth and key
// changes. How Locate and equality filters use it is in
// test_client_dataset.cpp.

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <vector>

#include "host/internal/RowIndex.h"

using namespace pla013::host;
using internal::RowIndex;

namespace {

std::vector<std::size_t> candidates(const RowIndex& index, const std::vector<Variant>& key) {
    std::vector<std::size_t> rows;
    index.forEachCandidate(key, [&](std::size_t row) { rows.push_back(row); });
    std::sort(rows.begin(), rows.end());
    return rows;
}

// With these few keys no two hashes collide, so the candidates are exactly
// the rows of the key.
TEST(RowIndex, KeysFindTheirRowsAndOnlyThem) {
    const std::vector<std::vector<Variant>> rows = {
        {Variant("ABC"), Variant(1)},  {Variant("abc"), Variant(1)},      {Variant(2), Variant(1)},
        {Variant(2.0), Variant(2)},    {Variant(-0.0), Variant(1)},       {Variant(0), Variant(1)},
        {Variant::null(), Variant(1)}, {Variant("ABC"), Variant::null()}, {Variant(""), Variant(1)},
    };
    struct Row {
        std::vector<int> columns;
        bool ignoreCase;
        std::vector<Variant> key;
        std::vector<std::size_t> rows;
    };
    const Row table[] = {
        {{0}, false, {Variant("ABC")}, {0, 7}},
        {{0}, false, {Variant("Abc")}, {}},
        {{0}, true, {Variant("aBC")}, {0, 1, 7}},
        {{0}, false, {Variant(2.0)}, {2, 3}},  // numbers by value, whatever their kind
        {{0}, false, {Variant(0.0)}, {4, 5}},  // -0.0 is 0.0
        {{0}, false, {Variant::null()}, {6}},
        {{0}, false, {Variant("")}, {8}},  // empty text is not null
        {{1, 0}, false, {Variant(1), Variant("ABC")}, {0}},
        {{1, 0}, true, {Variant(1), Variant("abc")}, {0, 1}},
        {{0, 1}, false, {Variant("ABC"), Variant::null()}, {7}},
    };
    for (const auto& r : table) {
        RowIndex index(r.columns, r.ignoreCase);
        index.build(rows);
        EXPECT_EQ(candidates(index, r.key), r.rows) << r.key[0].toString() << " ignoreCase=" << r.ignoreCase;
    }
}

// Rows added one by one and keys changed many times (each change leaves an
// erased slot behind) against a reference map: no row lost, none found
// twice or under an old key.
TEST(RowIndex, InsertsAndKeyChangesMatchAReference) {
    std::mt19937 rng(42);
    const int keys = 700;
    std::vector<std::vector<Variant>> rows;
    RowIndex index({0}, false);
    index.build(rows);
    for (std::size_t r = 0; r < 5000; ++r) {
        rows.push_back({Variant(int(rng() % keys))});
        index.insert(rows.back(), r);
    }
    for (int i = 0; i < 20000; ++i) {
        const std::size_t r = rng() % rows.size();
        std::vector<Variant> after = {Variant(int(rng() % keys))};
        index.update(rows[r], after, r);
        rows[r] = std::move(after);
    }
    std::map<std::int64_t, std::vector<std::size_t>> reference;
    for (std::size_t r = 0; r < rows.size(); ++r) reference[rows[r][0].toInt()].push_back(r);
    for (int k = 0; k < keys; ++k) ASSERT_EQ(candidates(index, {Variant(k)}), reference[k]) << k;
}

}  // namespace
