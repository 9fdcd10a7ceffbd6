#pragma once
// Automation-style variant used across the host boundary: context values,
// field values of data sets, parameters and application-server arguments.

#include <cstdint>
#include <memory>
#include <string>
#include <variant>
#include <vector>

namespace pla013::host {

struct DataPacket;
struct FieldDef;
class CompactPacket;

// Days since 30 December 1899, time as the fraction (automation date).
using TDateTime = double;

class Variant {
public:
    enum class Kind { Unassigned, Null, Integer, Float, Text, Date, Array, Packet };

    Variant() = default;  // unassigned
    Variant(int v) : m_value(std::int64_t(v)) {}
    Variant(std::int64_t v) : m_value(v) {}
    Variant(double v) : m_value(v) {}
    Variant(const char* v) : m_value(std::string(v)) {}
    Variant(std::string v) : m_value(std::move(v)) {}
    Variant(std::vector<Variant> v) : m_value(std::make_shared<std::vector<Variant>>(std::move(v))) {}
    // p must not point to an object defined const: takePacket may move from it.
    Variant(std::shared_ptr<const DataPacket> p) : m_value(std::move(p)) {}
    // A packet held compactly (as the client decodes answers); its kind is
    // Packet too. Same condition as above.
    Variant(std::shared_ptr<const CompactPacket> p) : m_value(std::move(p)) {}

    static Variant null();
    static Variant date(TDateTime d);

    // The alternatives of m_value are listed in the order of Kind, the
    // compact packet last.
    Kind kind() const noexcept {
        return m_value.index() > std::size_t(Kind::Packet) ? Kind::Packet : static_cast<Kind>(m_value.index());
    }
    bool isNull() const { return kind() == Kind::Null; }
    bool isUnassigned() const { return kind() == Kind::Unassigned; }
    bool isNullOrUnassigned() const { return isNull() || isUnassigned(); }
    bool isArray() const { return kind() == Kind::Array; }

    // Conversions; each throws EVariantError when the kind does not convert.
    // Null converts to empty text, 0 and 0.0; a number to its decimal text; a
    // date to text as dd/mm/yyyy.
    std::string toString() const;
    std::int64_t toInt() const;
    double toDouble() const;
    TDateTime toDate() const;
    const std::vector<Variant>& array() const;
    const Variant& at(std::size_t index) const;  // array element, EVariantError when absent
    // A packet held compactly is turned into rows of variants here, about
    // five times its size, which the variant then holds instead (so that the
    // packet lives as long as the variant, as for any packet): large packets
    // are better read through packetFields and compactPacket.
    std::shared_ptr<const DataPacket> packet() const;
    // The packet as it is held compactly (a conversion when it is not).
    std::shared_ptr<const CompactPacket> compactPacket() const;
    // The packet's fields, without a copy whichever way it is held.
    const std::vector<FieldDef>& packetFields() const;
    // The array's elements or the packet, moved out when no other variant
    // shares them and copied otherwise, so that no other holder sees a
    // change; this variant is left unassigned. For handing a large answer on
    // to its data sets without a copy. EVariantError as array() and packet().
    std::vector<Variant> takeArray();
    DataPacket takePacket();
    CompactPacket takeCompactPacket();
    // Element index, taken the same way (left unassigned in the array when
    // moved out). EVariantError as at().
    Variant takeAt(std::size_t index);

    bool operator==(const Variant& other) const;

    // Direct access for hot paths (sorting, hashing): the held text, or the
    // number of an integer, float or date; nullptr / false for other kinds.
    const std::string* textIf() const noexcept { return std::get_if<std::string>(&m_value); }
    bool numberIf(double& out) const noexcept;

private:
    struct NullTag {
        bool operator==(const NullTag&) const { return true; }
    };
    struct DateTag {
        TDateTime value;
        bool operator==(const DateTag& o) const { return value == o.value; }
    };
    std::variant<std::monostate, NullTag, std::int64_t, double, std::string, DateTag,
                 std::shared_ptr<std::vector<Variant>>, std::shared_ptr<const DataPacket>,
                 std::shared_ptr<const CompactPacket>> mutable m_value;  // mutable for packet() only
};

// Calendar helpers for TDateTime.
TDateTime EncodeDate(int year, int month, int day);
void DecodeDate(TDateTime d, int& year, int& month, int& day);
int DayOfWeek(TDateTime d);  // 1 = Sunday ... 7 = Saturday
TDateTime Today();
// Formats with the tokens dd, mm, yyyy, ddd (Portuguese short weekday name),
// dddd (long weekday name); other characters are copied.
std::string FormatDateTime(const std::string& format, TDateTime d);
// Parses dd/mm/yyyy (blanks around the parts allowed); false when not a valid date.
bool TryStrToDate(const std::string& text, TDateTime& out);
// Parses YYYY-MM-DD.
bool TryIsoToDate(const std::string& text, TDateTime& out);
std::string DateToIso(TDateTime d);

}  // namespace pla013::host
