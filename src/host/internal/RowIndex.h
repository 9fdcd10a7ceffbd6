#pragma once
// Hash of the key values of some columns -> storage rows of a data set, for
// Locate and equality filters.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "host/CompactPacket.h"
#include "host/Variant.h"

namespace pla013::host::internal {

// Multimap from key hashes to storage rows, open addressing with linear
// probing: 8 bytes a slot (32 bits of the hash, the row) and no allocation
// per entry, which matters at millions of rows. Candidates are checked against the real key by callers.
// Texts compare ignoring ASCII case when asked; numbers by value (integer 2
// and float 2.0, -0.0 and 0.0 are one key); nulls are one key.
class RowIndex {
public:
    RowIndex(std::vector<int> columns, bool ignoreCase);

    const std::vector<int>& columns() const { return m_columns; }
    std::size_t bytesHeld() const { return m_slots.capacity() * sizeof(Slot); }
    bool ignoreCase() const { return m_ignoreCase; }

    // Adds every row of a storage, row i under storage position i.
    void build(const std::vector<std::vector<Variant>>& rows);
    void build(const CompactPacket& rows);
    // A row added at storage position `row` (values by column).
    void insert(const std::vector<Variant>& values, std::size_t row);
    void insert(const CompactPacket& rows, std::size_t row);
    // The row at storage position `row` changes from `before` to `after`.
    void update(const std::vector<Variant>& before, const std::vector<Variant>& after, std::size_t row);
    // The stored row `row` is about to change to `after`.
    void update(const CompactPacket& rows, std::size_t row, const std::vector<Variant>& after);
    // Calls f(row) for every row whose key hashes as `key` (one value per
    // key column, in order): a superset of the rows with that key.
    template <class F>
    void forEachCandidate(const std::vector<Variant>& key, F&& f) const {
        forEach(hashWanted(key), f);
    }

private:
    static constexpr std::uint32_t kEmpty = std::uint32_t(-1);
    static constexpr std::uint32_t kErased = std::uint32_t(-2);
    struct Slot {
        std::uint32_t hash = 0;
        std::uint32_t row = kEmpty;
    };

    std::uint32_t hashKey(const std::vector<Variant>& row) const;
    std::uint32_t hashKey(const CompactPacket& rows, std::size_t row) const;
    std::uint32_t hashWanted(const std::vector<Variant>& values) const;

    void reserve(std::size_t n);
    void insertHash(std::uint32_t hash, std::size_t row);
    void eraseHash(std::uint32_t hash, std::size_t row);

    template <class F>
    void forEach(std::uint32_t hash, F&& f) const {
        if (m_slots.empty()) return;
        for (std::size_t i = home(hash); m_slots[i].row != kEmpty; i = (i + 1) & m_mask)
            if (m_slots[i].row != kErased && m_slots[i].hash == hash) f(std::size_t(m_slots[i].row));
    }

    std::size_t home(std::uint32_t hash) const {
        return std::size_t((std::uint64_t(hash) * 0x9e3779b97f4a7c15ULL) >> 20) & m_mask;
    }
    std::size_t grownCapacity() const;
    void rehash(std::size_t capacity);

    std::vector<int> m_columns;
    bool m_ignoreCase = false;
    std::vector<Slot> m_slots;
    std::size_t m_mask = 0, m_used = 0, m_live = 0;
};

}  // namespace pla013::host::internal
