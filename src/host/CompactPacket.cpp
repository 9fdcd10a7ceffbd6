#include "host/CompactPacket.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <utility>

#include "host/Errors.h"

namespace pla013::host {

namespace {

// Cell tags (the low byte) of String and Integer fields; a cell of zero is null.
constexpr std::uint64_t kLongText = 0x01;
constexpr std::uint64_t kSmallInteger = 0x02;
constexpr std::uint64_t kBigInteger = 0x03;
constexpr std::uint64_t kInlineText = 0x80;  // | length (0..7), the bytes follow
constexpr std::size_t kInlineMax = 7;
// Null of Float and Date fields: a NaN that no stored value has (a NaN is
// stored as the canonical quiet NaN).
constexpr std::uint64_t kNullNumber = 0x7ff4000000000001ULL;
constexpr std::uint64_t kQuietNan = 0x7ff8000000000000ULL;
constexpr std::int64_t kSmallMin = -(std::int64_t(1) << 55);
constexpr std::int64_t kSmallMax = (std::int64_t(1) << 55) - 1;
constexpr std::size_t kFirstChunk = 4096;
constexpr std::size_t kLargestChunk = std::size_t(1) << 20;

std::uint32_t hashText(std::string_view t) {
    const std::uint64_t h = std::hash<std::string_view>{}(t);
    return std::uint32_t(h ^ (h >> 32));
}

std::uint64_t bitsOf(double d) {
    if (std::isnan(d)) return kQuietNan;
    std::uint64_t b = 0;
    std::memcpy(&b, &d, sizeof b);
    return b;
}

double doubleOf(std::uint64_t b) {
    double d = 0;
    std::memcpy(&d, &b, sizeof d);
    return d;
}

[[noreturn]] void tooLarge(const char* what) {
    throw EVariantError(std::string("Pacote de dados: ") + what + " além do limite de um pacote.");
}

}  // namespace

ValueView viewOf(const Variant& v) {
    ValueView out;
    switch (v.kind()) {
        case Variant::Kind::Text:
            out.kind = ValueView::Kind::Text;
            out.text = *v.textIf();
            break;
        case Variant::Kind::Integer:
            out.kind = ValueView::Kind::Integer;
            out.integer = v.toInt();
            out.number = double(out.integer);
            break;
        case Variant::Kind::Float:
            out.kind = ValueView::Kind::Float;
            v.numberIf(out.number);
            break;
        case Variant::Kind::Date:
            out.kind = ValueView::Kind::Date;
            v.numberIf(out.number);
            break;
        default: break;
    }
    return out;
}

Variant variantOf(const ValueView& v) {
    switch (v.kind) {
        case ValueView::Kind::Null: return Variant::null();
        case ValueView::Kind::Text: return Variant(std::string(v.text));
        case ValueView::Kind::Integer: return Variant(v.integer);
        case ValueView::Kind::Float: return Variant(v.number);
        case ValueView::Kind::Date: return Variant::date(v.number);
    }
    return Variant::null();
}

CompactPacket::CompactPacket() = default;

CompactPacket::CompactPacket(std::vector<FieldDef> fields) : m_fields(std::move(fields)) {}

CompactPacket::~CompactPacket() = default;

CompactPacket::CompactPacket(CompactPacket&& other) noexcept { *this = std::move(other); }

CompactPacket& CompactPacket::operator=(CompactPacket&& other) noexcept {
    if (this == &other) return *this;
    m_fields = std::move(other.m_fields);
    m_blocks = std::move(other.m_blocks);
    m_rows = std::exchange(other.m_rows, 0);
    m_firstBlockRows = std::exchange(other.m_firstBlockRows, 0);
    m_bigIntegers = std::move(other.m_bigIntegers);
    m_texts = std::move(other.m_texts);
    m_textSlots = std::move(other.m_textSlots);
    m_chunks = std::move(other.m_chunks);
    m_chunkBytes = std::exchange(other.m_chunkBytes, 0);
    m_free = std::exchange(other.m_free, nullptr);
    m_freeLeft = std::exchange(other.m_freeLeft, 0);
    other.m_fields.clear();
    other.m_blocks.clear();
    other.m_bigIntegers.clear();
    other.m_texts.clear();
    other.m_textSlots.clear();
    other.m_chunks.clear();
    return *this;
}

// Cells are copied as they are; the texts go into one chunk of the copy, in
// the same order, so that their numbers (and the lookup) stay valid.
CompactPacket::CompactPacket(const CompactPacket& other)
    : m_fields(other.m_fields),
      m_rows(other.m_rows),
      m_firstBlockRows(other.m_firstBlockRows),
      m_bigIntegers(other.m_bigIntegers),
      m_texts(other.m_texts),
      m_textSlots(other.m_textSlots) {
    const std::size_t width = m_fields.size();
    m_blocks.reserve(other.m_blocks.size());
    for (std::size_t b = 0; b < other.m_blocks.size(); ++b) {
        const std::size_t rows = other.m_blocks.size() == 1 ? m_firstBlockRows : kBlockRows;
        auto block = std::make_unique<Cell[]>(rows * width);
        std::memcpy(block.get(), other.m_blocks[b].get(), rows * width * sizeof(Cell));
        m_blocks.push_back(std::move(block));
    }
    std::size_t bytes = 0;
    for (const Text& t : m_texts) bytes += t.size;
    if (bytes > 0) {
        auto chunk = std::make_unique<char[]>(bytes);
        char* at = chunk.get();
        for (Text& t : m_texts) {
            std::memcpy(at, t.data, t.size);
            t.data = at;
            at += t.size;
        }
        m_chunks.push_back(std::move(chunk));
        m_chunkBytes = bytes;
    }
}

CompactPacket& CompactPacket::operator=(const CompactPacket& other) {
    if (this != &other) *this = CompactPacket(other);
    return *this;
}

namespace {

// The rows of packet appended to out; with release, each row's values are
// freed once converted, so that both forms are never held whole at once.
void appendRows(CompactPacket& out, const DataPacket& packet, std::vector<std::vector<Variant>>* release) {
    const std::size_t width = packet.fields.size();
    out.reserve(packet.rows.size());
    for (std::size_t r = 0; r < packet.rows.size(); ++r) {
        const auto& row = packet.rows[r];
        if (row.size() != width)
            throw EVariantError("a linha " + std::to_string(r + 1) + " tem " + std::to_string(row.size()) +
                                " valores para " + std::to_string(width) + " campos.");
        const std::size_t at = out.addRow();
        for (std::size_t c = 0; c < width; ++c) {
            try {
                out.setValue(at, c, row[c]);
            } catch (const EVariantError& e) {
                throw EVariantError("linha " + std::to_string(r + 1) + ", campo '" + packet.fields[c].name +
                                    "': " + e.what());
            }
        }
        if (release) std::vector<Variant>().swap((*release)[r]);
    }
}

}  // namespace

CompactPacket CompactPacket::fromPacket(const DataPacket& packet) {
    CompactPacket out(packet.fields);
    appendRows(out, packet, nullptr);
    return out;
}

// A refused row leaves the rows before it freed: the packet is being taken
// apart, and its holder loses it either way.
CompactPacket CompactPacket::fromPacket(DataPacket&& packet) {
    CompactPacket out(packet.fields);
    appendRows(out, packet, &packet.rows);
    std::vector<std::vector<Variant>>().swap(packet.rows);
    return out;
}

DataPacket CompactPacket::toPacket() const {
    DataPacket p;
    p.fields = m_fields;
    p.rows.resize(m_rows);
    for (std::size_t r = 0; r < m_rows; ++r) readRow(r, p.rows[r]);
    return p;
}

int CompactPacket::fieldIndex(const std::string& name) const {
    for (std::size_t i = 0; i < m_fields.size(); ++i) {
        const std::string& f = m_fields[i].name;
        if (f.size() != name.size()) continue;
        bool same = true;
        for (std::size_t k = 0; k < f.size() && same; ++k) {
            const auto lower = [](char ch) { return ch >= 'A' && ch <= 'Z' ? char(ch - 'A' + 'a') : ch; };
            same = lower(f[k]) == lower(name[k]);
        }
        if (same) return int(i);
    }
    return -1;
}

CompactPacket::Cell CompactPacket::nullCell(std::size_t column) const {
    const FieldType t = m_fields[column].type;
    return t == FieldType::Float || t == FieldType::Date ? kNullNumber : 0;
}

std::string_view CompactPacket::textOf(Cell c) const {
    const auto tag = c & 0xff;
    if (tag == kLongText) {
        const Text& t = m_texts[std::size_t(c >> 32)];
        return {t.data, t.size};
    }
    return {};
}

ValueView CompactPacket::view(std::size_t row, std::size_t column) const {
    const Cell& c = cell(row, column);
    ValueView v;
    switch (m_fields[column].type) {
        case FieldType::String:
            if (c == 0) break;
            v.kind = ValueView::Kind::Text;
            if (c & kInlineText)
                v.text = std::string_view(reinterpret_cast<const char*>(&c) + 1, std::size_t(c & 0x7f));
            else
                v.text = textOf(c);
            break;
        case FieldType::Integer:
            if (c == 0) break;
            v.kind = ValueView::Kind::Integer;
            v.integer = (c & 0xff) == kSmallInteger ? std::int64_t(c) >> 8 : m_bigIntegers[std::size_t(c >> 32)];
            v.number = double(v.integer);
            break;
        case FieldType::Float:
        case FieldType::Date:
            if (c == kNullNumber) break;
            v.kind = m_fields[column].type == FieldType::Float ? ValueView::Kind::Float : ValueView::Kind::Date;
            v.number = doubleOf(c);
            break;
    }
    return v;
}

Variant CompactPacket::value(std::size_t row, std::size_t column) const { return variantOf(view(row, column)); }

bool CompactPacket::isNull(std::size_t row, std::size_t column) const { return cell(row, column) == nullCell(column); }

void CompactPacket::readRow(std::size_t row, std::vector<Variant>& out) const {
    out.resize(m_fields.size());
    for (std::size_t c = 0; c < m_fields.size(); ++c) out[c] = value(row, c);
}

void CompactPacket::reserve(std::size_t rows) {
    if (m_blocks.empty() && rows > 0 && rows <= kBlockRows) {
        m_blocks.push_back(std::make_unique<Cell[]>(rows * m_fields.size()));
        m_firstBlockRows = rows;
    }
    m_blocks.reserve((rows + kBlockRows - 1) >> kBlockShift);
}

// Block 0 grows by doubling up to a whole block, so that a packet of a few
// rows stays small; every later block is whole from the start.
std::size_t CompactPacket::addRow() {
    const std::size_t width = m_fields.size();
    const std::size_t row = m_rows;
    const std::size_t capacity = m_blocks.size() == 1 ? m_firstBlockRows : m_blocks.size() * kBlockRows;
    if (row == capacity) {
        if (m_blocks.empty()) {
            m_firstBlockRows = 16;
            m_blocks.push_back(std::make_unique<Cell[]>(m_firstBlockRows * width));
        } else if (m_blocks.size() == 1 && m_firstBlockRows < kBlockRows) {
            const std::size_t grown = std::min(kBlockRows, m_firstBlockRows * 2);
            auto block = std::make_unique<Cell[]>(grown * width);
            std::memcpy(block.get(), m_blocks[0].get(), row * width * sizeof(Cell));
            m_blocks[0] = std::move(block);
            m_firstBlockRows = grown;
        } else {
            m_blocks.push_back(std::make_unique<Cell[]>(kBlockRows * width));
        }
    }
    ++m_rows;
    for (std::size_t c = 0; c < width; ++c) cell(row, c) = nullCell(c);
    return row;
}

void CompactPacket::checkCell(std::size_t row, std::size_t column) const {
    if (row >= m_rows || column >= m_fields.size())
        throw EVariantError("Pacote de dados: célula (" + std::to_string(row + 1) + ", " + std::to_string(column + 1) +
                            ") fora do pacote.");
}

void CompactPacket::setNull(std::size_t row, std::size_t column) { cell(row, column) = nullCell(column); }

std::uint32_t CompactPacket::internText(std::string_view text, std::uint32_t hash) {
    if (m_textSlots.empty()) m_textSlots.assign(64, 0);
    const std::size_t mask = m_textSlots.size() - 1;
    std::size_t i = hash & mask;
    for (; m_textSlots[i] != 0; i = (i + 1) & mask) {
        const Text& t = m_texts[m_textSlots[i] - 1];
        if (t.hash == hash && t.size == text.size() && std::memcmp(t.data, text.data(), text.size()) == 0)
            return m_textSlots[i] - 1;
    }
    if (text.size() > std::numeric_limits<std::uint32_t>::max()) tooLarge("um texto");
    if (m_texts.size() >= std::numeric_limits<std::uint32_t>::max() - 1) tooLarge("textos");
    if (text.size() > m_freeLeft) {
        const std::size_t grown = m_chunks.empty() ? kFirstChunk : std::min(kLargestChunk, m_chunkBytes);
        const std::size_t size = std::max(grown, text.size());
        m_chunks.push_back(std::make_unique<char[]>(size));
        m_chunkBytes += size;
        m_free = m_chunks.back().get();
        m_freeLeft = size;
    }
    std::memcpy(m_free, text.data(), text.size());
    m_texts.push_back(Text{m_free, std::uint32_t(text.size()), hash});
    m_free += text.size();
    m_freeLeft -= text.size();
    const std::uint32_t number = std::uint32_t(m_texts.size() - 1);
    m_textSlots[i] = number + 1;
    if (m_texts.size() * 2 > m_textSlots.size()) growTextSlots();
    return number;
}

void CompactPacket::growTextSlots() {
    std::vector<std::uint32_t> slots(m_textSlots.size() * 2, 0);
    const std::size_t mask = slots.size() - 1;
    for (std::size_t n = 0; n < m_texts.size(); ++n) {
        std::size_t i = m_texts[n].hash & mask;
        while (slots[i] != 0) i = (i + 1) & mask;
        slots[i] = std::uint32_t(n + 1);
    }
    m_textSlots.swap(slots);
}

CompactPacket::Cell CompactPacket::textCell(std::string_view text, std::uint32_t hash) {
    if (text.size() <= kInlineMax) {
        Cell c = kInlineText | text.size();
        std::memcpy(reinterpret_cast<char*>(&c) + 1, text.data(), text.size());
        return c;
    }
    return kLongText | (Cell(internText(text, hash)) << 32);
}

void CompactPacket::setText(std::size_t row, std::size_t column, std::string_view text) {
    checkCell(row, column);
    if (m_fields[column].type != FieldType::String) {
        setValue(row, column, Variant(std::string(text)));
        return;
    }
    cell(row, column) = textCell(text, text.size() <= kInlineMax ? 0 : hashText(text));
}

void CompactPacket::setInteger(std::size_t row, std::size_t column, std::int64_t v) {
    checkCell(row, column);
    if (m_fields[column].type != FieldType::Integer) {
        setValue(row, column, Variant(v));
        return;
    }
    if (v >= kSmallMin && v <= kSmallMax) {
        cell(row, column) = (std::uint64_t(v) << 8) | kSmallInteger;
        return;
    }
    if (m_bigIntegers.size() >= std::numeric_limits<std::uint32_t>::max()) tooLarge("inteiros grandes");
    m_bigIntegers.push_back(v);
    cell(row, column) = kBigInteger | (Cell(m_bigIntegers.size() - 1) << 32);
}

void CompactPacket::setNumber(std::size_t row, std::size_t column, double v) {
    checkCell(row, column);
    const FieldType t = m_fields[column].type;
    if (t != FieldType::Float && t != FieldType::Date) {
        setValue(row, column, Variant(v));
        return;
    }
    cell(row, column) = bitsOf(v);
}

// The conversions of a value to a field's kind, as the data sets make them.
void CompactPacket::setValue(std::size_t row, std::size_t column, const Variant& v) {
    checkCell(row, column);
    if (v.isNullOrUnassigned()) {
        setNull(row, column);
        return;
    }
    switch (m_fields[column].type) {
        case FieldType::String:
            if (const std::string* t = v.textIf())
                setText(row, column, *t);
            else
                setText(row, column, v.toString());
            return;
        case FieldType::Integer: setInteger(row, column, v.toInt()); return;
        case FieldType::Float: setNumber(row, column, v.toDouble()); return;
        case FieldType::Date: setNumber(row, column, v.toDate()); return;
    }
}

void CompactPacket::setView(std::size_t row, std::size_t column, const ValueView& v) {
    checkCell(row, column);
    const FieldType t = m_fields[column].type;
    switch (v.kind) {
        case ValueView::Kind::Null: setNull(row, column); return;
        case ValueView::Kind::Text:
            if (t == FieldType::String) {
                setText(row, column, v.text);
                return;
            }
            break;
        case ValueView::Kind::Integer:
            if (t == FieldType::Integer) {
                setInteger(row, column, v.integer);
                return;
            }
            break;
        case ValueView::Kind::Float:
            if (t == FieldType::Float) {
                setNumber(row, column, v.number);
                return;
            }
            break;
        case ValueView::Kind::Date:
            if (t == FieldType::Date) {
                setNumber(row, column, v.number);
                return;
            }
            break;
    }
    setValue(row, column, variantOf(v));
}

void CompactPacket::copyCell(std::size_t row, std::size_t column, const CompactPacket& from, std::size_t fromRow,
                             std::size_t fromColumn) {
    checkCell(row, column);
    from.checkCell(fromRow, fromColumn);
    const FieldType t = m_fields[column].type;
    if (t != from.m_fields[fromColumn].type) {
        setView(row, column, from.view(fromRow, fromColumn));
        return;
    }
    const Cell c = from.cell(fromRow, fromColumn);
    const auto tag = c & 0xff;
    if (t == FieldType::String && tag == kLongText) {
        const Text& text = from.m_texts[std::size_t(c >> 32)];
        cell(row, column) = kLongText | (Cell(internText({text.data, text.size}, text.hash)) << 32);
    } else if (t == FieldType::Integer && tag == kBigInteger) {
        setInteger(row, column, from.m_bigIntegers[std::size_t(c >> 32)]);
    } else {
        cell(row, column) = c;
    }
}

void CompactPacket::writeRow(std::size_t row, const std::vector<Variant>& values) {
    if (row >= m_rows) checkCell(row, 0);
    if (values.size() != m_fields.size())
        throw EVariantError("a linha " + std::to_string(row + 1) + " tem " + std::to_string(values.size()) +
                            " valores para " + std::to_string(m_fields.size()) + " campos.");
    // Every value is checked before anything changes, so that a refused one
    // leaves the row as it was.
    for (std::size_t c = 0; c < values.size(); ++c) {
        const Variant& v = values[c];
        if (v.isNullOrUnassigned()) continue;
        switch (m_fields[c].type) {
            case FieldType::String:
                if (!v.textIf()) (void)v.toString();
                break;
            case FieldType::Integer: (void)v.toInt(); break;
            case FieldType::Float: (void)v.toDouble(); break;
            case FieldType::Date: (void)v.toDate(); break;
        }
    }
    // Values of the field's kind are written straight into their cells; a
    // long text equal to the one the cell has stays as it is.
    for (std::size_t c = 0; c < values.size(); ++c) {
        const Variant& v = values[c];
        Cell& slot = cell(row, c);
        double d = 0;
        switch (m_fields[c].type) {
            case FieldType::String:
                if (const std::string* t = v.textIf()) {
                    if (t->size() > kInlineMax && (slot & 0xff) == kLongText && textOf(slot) == *t) continue;
                    slot = textCell(*t, t->size() <= kInlineMax ? 0 : hashText(*t));
                    continue;
                }
                break;
            case FieldType::Float:
                if (v.kind() != Variant::Kind::Float) break;
                v.numberIf(d);
                slot = bitsOf(d);
                continue;
            case FieldType::Date:
                if (v.kind() != Variant::Kind::Date) break;
                v.numberIf(d);
                slot = bitsOf(d);
                continue;
            case FieldType::Integer: break;
        }
        if (v.isUnassigned()) continue;
        if (v.isNull())
            slot = nullCell(c);
        else
            setValue(row, c, v);
    }
}

void CompactPacket::removeRow(std::size_t row) {
    if (row >= m_rows) checkCell(row, 0);
    const std::size_t width = m_fields.size();
    for (std::size_t r = row; r + 1 < m_rows; ++r) std::memcpy(&cell(r, 0), &cell(r + 1, 0), width * sizeof(Cell));
    --m_rows;
}

void CompactPacket::clear() {
    std::vector<std::unique_ptr<Cell[]>>().swap(m_blocks);
    m_rows = 0;
    m_firstBlockRows = 0;
    std::vector<std::int64_t>().swap(m_bigIntegers);
    std::vector<Text>().swap(m_texts);
    std::vector<std::uint32_t>().swap(m_textSlots);
    std::vector<std::unique_ptr<char[]>>().swap(m_chunks);
    m_chunkBytes = 0;
    m_free = nullptr;
    m_freeLeft = 0;
}

std::size_t CompactPacket::bytesHeld() const {
    const std::size_t rowBytes = m_fields.size() * sizeof(Cell);
    std::size_t cells = 0;
    if (m_blocks.size() == 1)
        cells = m_firstBlockRows * rowBytes;
    else
        cells = m_blocks.size() * kBlockRows * rowBytes;
    return cells + m_blocks.capacity() * sizeof(void*) + m_bigIntegers.capacity() * sizeof(std::int64_t) +
           m_texts.capacity() * sizeof(Text) + m_textSlots.capacity() * sizeof(std::uint32_t) +
           m_chunks.capacity() * sizeof(void*) + m_chunkBytes;
}

}  // namespace pla013::host
