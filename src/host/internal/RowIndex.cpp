#include "host/internal/RowIndex.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>

#include "host/Errors.h"
#include "host/internal/DataValues.h"

namespace pla013::host::internal {

namespace {

std::uint64_t hashMix(std::uint64_t h, std::uint64_t v) {
    h ^= v + 0x9e3779b97f4a7c15ULL + (h << 6) + (h >> 2);
    return h;
}

std::uint64_t hashValue(const ValueView& v, bool ignoreCase) {
    if (v.isNull()) return 0x7f4a7c159e3779b9ULL;
    if (v.kind == ValueView::Kind::Text) {
        std::uint64_t h = 1469598103934665603ULL;  // FNV-1a
        for (char c : v.text) {
            h ^= static_cast<unsigned char>(ignoreCase ? lowerAscii(c) : c);
            h *= 1099511628211ULL;
        }
        return h;
    }
    double d = v.number;
    if (d == 0) d = 0;  // -0.0 and 0.0 are one key
    std::uint64_t bits = 0;
    std::memcpy(&bits, &d, sizeof bits);
    return bits * 0xff51afd7ed558ccdULL;
}

std::uint32_t fold(std::uint64_t h) { return std::uint32_t(h ^ (h >> 32)); }

}  // namespace

RowIndex::RowIndex(std::vector<int> columns, bool ignoreCase)
    : m_columns(std::move(columns)), m_ignoreCase(ignoreCase) {}

void RowIndex::build(const std::vector<std::vector<Variant>>& rows) {
    reserve(rows.size());
    for (std::size_t r = 0; r < rows.size(); ++r) insertHash(hashKey(rows[r]), r);
}

void RowIndex::build(const CompactPacket& rows) {
    reserve(rows.rowCount());
    for (std::size_t r = 0; r < rows.rowCount(); ++r) insertHash(hashKey(rows, r), r);
}

void RowIndex::insert(const std::vector<Variant>& values, std::size_t row) { insertHash(hashKey(values), row); }

void RowIndex::insert(const CompactPacket& rows, std::size_t row) { insertHash(hashKey(rows, row), row); }

void RowIndex::update(const std::vector<Variant>& before, const std::vector<Variant>& after, std::size_t row) {
    const std::uint32_t from = hashKey(before);
    const std::uint32_t to = hashKey(after);
    if (from == to) return;
    eraseHash(from, row);
    insertHash(to, row);
}

void RowIndex::update(const CompactPacket& rows, std::size_t row, const std::vector<Variant>& after) {
    const std::uint32_t from = hashKey(rows, row);
    const std::uint32_t to = hashKey(after);
    if (from == to) return;
    eraseHash(from, row);
    insertHash(to, row);
}

std::uint32_t RowIndex::hashKey(const std::vector<Variant>& row) const {
    std::uint64_t h = 0;
    for (int c : m_columns) h = hashMix(h, hashValue(viewOf(row[std::size_t(c)]), m_ignoreCase));
    return fold(h);
}

std::uint32_t RowIndex::hashKey(const CompactPacket& rows, std::size_t row) const {
    std::uint64_t h = 0;
    for (int c : m_columns) h = hashMix(h, hashValue(rows.view(row, std::size_t(c)), m_ignoreCase));
    return fold(h);
}

std::uint32_t RowIndex::hashWanted(const std::vector<Variant>& values) const {
    std::uint64_t h = 0;
    for (const Variant& v : values) h = hashMix(h, hashValue(viewOf(v), m_ignoreCase));
    return fold(h);
}

void RowIndex::reserve(std::size_t n) {
    std::size_t cap = 16;
    while (cap < n * 2) cap *= 2;
    if (cap > m_slots.size()) rehash(cap);
}

void RowIndex::insertHash(std::uint32_t hash, std::size_t row) {
    if (row >= kErased) throw EHostError("Índice de busca: linhas demais.");
    if ((m_used + 1) * 2 > m_slots.size()) rehash(std::max<std::size_t>(16, grownCapacity()));
    std::size_t i = home(hash);
    while (m_slots[i].row != kEmpty && m_slots[i].row != kErased) i = (i + 1) & m_mask;
    if (m_slots[i].row == kEmpty) ++m_used;
    m_slots[i] = Slot{hash, std::uint32_t(row)};
    ++m_live;
}

void RowIndex::eraseHash(std::uint32_t hash, std::size_t row) {
    if (m_slots.empty()) return;
    for (std::size_t i = home(hash); m_slots[i].row != kEmpty; i = (i + 1) & m_mask) {
        if (m_slots[i].row == row && m_slots[i].hash == hash) {
            m_slots[i].row = kErased;
            --m_live;
            return;
        }
    }
}

std::size_t RowIndex::grownCapacity() const {
    std::size_t cap = 16;
    while (cap < (m_live + 1) * 4) cap *= 2;
    return cap;
}

void RowIndex::rehash(std::size_t capacity) {
    std::vector<Slot> old;
    old.swap(m_slots);
    m_slots.assign(capacity, Slot{});
    m_mask = capacity - 1;
    m_used = m_live = 0;
    for (const Slot& s : old)
        if (s.row != kEmpty && s.row != kErased) insertHash(s.hash, s.row);
}

}  // namespace pla013::host::internal
