#pragma once
// The content of a data packet held compactly: what client data sets store
// and what the client decodes a call answer's packets into.
//
// Each cell is 8 bytes, typed by its field: a Float or Date field holds the
// double itself (null is a NaN pattern no value is stored as), an Integer
// field holds values of up to 56 bits inline and larger ones in a side list,
// a String field holds up to 7 bytes of text inline and longer texts as the
// number of a text in the packet's own arena. Long texts are stored once per
// packet: a product's name on each of its lines costs its bytes once. Rows
// live in blocks of 1024, so that growing never copies what is stored.
//
// Values are kept in their field's kind: a value of another kind is converted
// on the way in (an integer in a Float field, a number in a String field),
// and one that does not convert is refused (EVariantError). Unassigned is
// stored as Null. A NaN is kept as a NaN (its payload is not).
//
// Texts replaced by an edit stay in the arena until clear(); bytesHeld()
// counts them, so that what the packet reports is what it holds.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "host/DataPacket.h"
#include "host/Variant.h"

namespace pla013::host {

// A stored value seen in place, without a copy: for comparing, hashing and
// filtering rows. A text view is valid until the packet it came from changes.
struct ValueView {
    enum class Kind : std::uint8_t { Null, Text, Integer, Float, Date };
    Kind kind = Kind::Null;
    std::string_view text;
    std::int64_t integer = 0;
    double number = 0;  // Float and Date; also an Integer's value as a double

    bool isNull() const { return kind == Kind::Null; }
    bool isNumber() const { return kind == Kind::Integer || kind == Kind::Float || kind == Kind::Date; }
};

// A variant seen the same way (Unassigned as Null). Arrays and packets have
// no view: they come out as Null, and callers that may meet them check first.
ValueView viewOf(const Variant& v);
// The variant of a view (a copy of its text).
Variant variantOf(const ValueView& v);

class CompactPacket {
public:
    CompactPacket();
    explicit CompactPacket(std::vector<FieldDef> fields);
    ~CompactPacket();
    CompactPacket(const CompactPacket& other);
    CompactPacket& operator=(const CompactPacket& other);
    CompactPacket(CompactPacket&& other) noexcept;
    CompactPacket& operator=(CompactPacket&& other) noexcept;

    // Every row of a packet, converted to the fields' kinds; EVariantError
    // naming the row and field of a value that does not convert.
    static CompactPacket fromPacket(const DataPacket& packet);
    // The same, freeing the packet's rows as they are taken.
    static CompactPacket fromPacket(DataPacket&& packet);
    DataPacket toPacket() const;

    const std::vector<FieldDef>& fields() const { return m_fields; }
    std::size_t width() const { return m_fields.size(); }
    std::size_t rowCount() const { return m_rows; }
    bool empty() const { return m_rows == 0; }
    int fieldIndex(const std::string& name) const;  // case-insensitive; -1 when absent

    // Reading: row < rowCount(), column < width().
    ValueView view(std::size_t row, std::size_t column) const;
    Variant value(std::size_t row, std::size_t column) const;
    bool isNull(std::size_t row, std::size_t column) const;
    void readRow(std::size_t row, std::vector<Variant>& out) const;  // out resized to width()

    // Writing. addRow adds a row of nulls and returns its number.
    std::size_t addRow();
    void reserve(std::size_t rows);
    // The value converted to the field's kind (EVariantError when it does not
    // convert; the cell is then unchanged).
    void setValue(std::size_t row, std::size_t column, const Variant& v);
    void setView(std::size_t row, std::size_t column, const ValueView& v);
    void setNull(std::size_t row, std::size_t column);
    void setText(std::size_t row, std::size_t column, std::string_view text);  // String fields
    void setInteger(std::size_t row, std::size_t column, std::int64_t v);      // Integer fields
    void setNumber(std::size_t row, std::size_t column, double v);             // Float and Date fields
    // A cell of another packet whose field has the same kind as this one's
    // (otherwise as setView); long texts are added to this packet's arena.
    void copyCell(std::size_t row, std::size_t column, const CompactPacket& from, std::size_t fromRow,
                  std::size_t fromColumn);
    // One value per field; an Unassigned value leaves its cell as it is.
    void writeRow(std::size_t row, const std::vector<Variant>& values);
    void removeRow(std::size_t row);
    // Every row and text freed; the fields stay.
    void clear();

    // What the packet holds on the heap: cells, texts and their lookup.
    std::size_t bytesHeld() const;

private:
    using Cell = std::uint64_t;
    struct Text {
        const char* data;
        std::uint32_t size;
        std::uint32_t hash;
    };
    static constexpr std::size_t kBlockShift = 10;
    static constexpr std::size_t kBlockRows = std::size_t(1) << kBlockShift;

    Cell& cell(std::size_t row, std::size_t column) {
        return m_blocks[row >> kBlockShift][(row & (kBlockRows - 1)) * m_fields.size() + column];
    }
    const Cell& cell(std::size_t row, std::size_t column) const {
        return m_blocks[row >> kBlockShift][(row & (kBlockRows - 1)) * m_fields.size() + column];
    }
    Cell nullCell(std::size_t column) const;
    Cell textCell(std::string_view text, std::uint32_t hash);
    std::uint32_t internText(std::string_view text, std::uint32_t hash);
    void growTextSlots();
    std::string_view textOf(Cell c) const;
    void checkCell(std::size_t row, std::size_t column) const;

    std::vector<FieldDef> m_fields;
    std::vector<std::unique_ptr<Cell[]>> m_blocks;
    std::size_t m_rows = 0;
    std::size_t m_firstBlockRows = 0;  // capacity of block 0 while it is the only one
    std::vector<std::int64_t> m_bigIntegers;
    std::vector<Text> m_texts;
    std::vector<std::uint32_t> m_textSlots;  // open addressing: text number + 1, 0 when free
    std::vector<std::unique_ptr<char[]>> m_chunks;
    std::size_t m_chunkBytes = 0;  // bytes of all chunks
    char* m_free = nullptr;        // unused tail of the last chunk
    std::size_t m_freeLeft = 0;
};

}  // namespace pla013::host
