#include "host/Variant.h"

#include <charconv>
#include <cmath>
#include <ctime>
#include <limits>

#include "host/CompactPacket.h"
#include "host/DataPacket.h"
#include "host/Errors.h"

namespace pla013::host {

namespace {

const char* kindName(Variant::Kind k) {
    switch (k) {
        case Variant::Kind::Unassigned: return "não atribuído";
        case Variant::Kind::Null: return "nulo";
        case Variant::Kind::Integer: return "inteiro";
        case Variant::Kind::Float: return "real";
        case Variant::Kind::Text: return "texto";
        case Variant::Kind::Date: return "data";
        case Variant::Kind::Array: return "lista";
        case Variant::Kind::Packet: return "pacote de dados";
    }
    return "?";
}

[[noreturn]] void cannotConvert(Variant::Kind from, const char* to) {
    throw EVariantError(std::string("Não é possível converter um valor do tipo ") + kindName(from) + " para o tipo " +
                        to + ".");
}

std::string trimBlanks(const std::string& s) {
    std::size_t b = 0, e = s.size();
    while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t')) --e;
    return s.substr(b, e - b);
}

// Shortest text that reads back as the same double; plain decimal notation
// for the magnitudes people read, exponent notation only at the extremes.
std::string formatDouble(double v) {
    if (std::isnan(v)) return "NAN";
    if (std::isinf(v)) return v > 0 ? "INF" : "-INF";
    if (v == 0) return "0";
    char buf[512];
    const double a = std::fabs(v);
    std::to_chars_result r;
    if (a >= 1e-6 && a < 1e17)
        r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed);
    else
        r = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, r.ptr);
}

bool parseInt(const std::string& text, std::int64_t& out) {
    const std::string t = trimBlanks(text);
    if (t.empty()) return false;
    const char* b = t.data();
    const char* e = b + t.size();
    if (*b == '+') ++b;
    auto r = std::from_chars(b, e, out);
    return r.ec == std::errc() && r.ptr == e;
}

// Accepts '.' or ',' as the decimal separator (texts typed on a Portuguese
// keyboard carry a comma), but not both and no thousands separators.
bool parseDouble(const std::string& text, double& out) {
    std::string t = trimBlanks(text);
    if (t.empty()) return false;
    const bool dot = t.find('.') != std::string::npos;
    const std::size_t comma = t.find(',');
    if (comma != std::string::npos) {
        if (dot || t.find(',', comma + 1) != std::string::npos) return false;
        t[comma] = '.';
    }
    const char* b = t.data();
    const char* e = b + t.size();
    if (*b == '+') ++b;
    auto r = std::from_chars(b, e, out, std::chars_format::fixed | std::chars_format::scientific);
    return r.ec == std::errc() && r.ptr == e;
}

// Days from 1970-01-01 to a proleptic Gregorian date (H. Hinnant's algorithm).
std::int64_t daysFromCivil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = unsigned(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + std::int64_t(doe) - 719468;
}

void civilFromDays(std::int64_t z, int& y, int& m, int& d) {
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = unsigned(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t yy = std::int64_t(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = int(doy - (153 * mp + 2) / 5 + 1);
    m = int(mp < 10 ? mp + 3 : mp - 9);
    y = int(yy + (m <= 2));
}

// 1899-12-30, day 0 of TDateTime, counted from 1970-01-01.
const std::int64_t kEpochOffset = daysFromCivil(1899, 12, 30);

bool isLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int daysInMonth(int y, int m) {
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && isLeap(y) ? 29 : days[m - 1];
}

bool validDate(int y, int m, int d) {
    return y >= 1 && y <= 9999 && m >= 1 && m <= 12 && d >= 1 && d <= daysInMonth(y, m);
}

std::int64_t dayNumber(TDateTime d) {
    if (!std::isfinite(d) || std::fabs(d) > 3e6) throw EVariantError("Valor de data inválido.");
    return std::int64_t(std::floor(d));
}

bool allDigits(const std::string& s) {
    if (s.empty()) return false;
    for (char c : s)
        if (c < '0' || c > '9') return false;
    return true;
}

std::string pad(int v, int width) {
    std::string s = std::to_string(v);
    if (int(s.size()) < width) s.insert(0, std::size_t(width) - s.size(), '0');
    return s;
}

const char* const kShortDays[] = {"dom", "seg", "ter", "qua", "qui", "sex", "sáb"};
const char* const kLongDays[] = {"domingo",      "segunda-feira", "terça-feira", "quarta-feira",
                                 "quinta-feira", "sexta-feira",   "sábado"};

bool packetsEqual(const DataPacket& a, const DataPacket& b) {
    if (a.fields.size() != b.fields.size() || a.rows != b.rows) return false;
    for (std::size_t i = 0; i < a.fields.size(); ++i) {
        const FieldDef& x = a.fields[i];
        const FieldDef& y = b.fields[i];
        if (x.name != y.name || x.type != y.type || x.size != y.size || x.required != y.required) return false;
    }
    return true;
}

}  // namespace

Variant Variant::null() {
    Variant v;
    v.m_value = NullTag{};
    return v;
}

Variant Variant::date(TDateTime d) {
    Variant v;
    v.m_value = DateTag{d};
    return v;
}

// Unassigned converts like Null: a parameter or context value that was never
// set reads as empty text or zero, as the automation rules of the host do.
std::string Variant::toString() const {
    switch (kind()) {
        case Kind::Unassigned:
        case Kind::Null: return {};
        case Kind::Integer: return std::to_string(std::get<std::int64_t>(m_value));
        case Kind::Float: return formatDouble(std::get<double>(m_value));
        case Kind::Text: return std::get<std::string>(m_value);
        case Kind::Date: return FormatDateTime("dd/mm/yyyy", std::get<DateTag>(m_value).value);
        default: cannotConvert(kind(), "texto");
    }
}

std::int64_t Variant::toInt() const {
    switch (kind()) {
        case Kind::Unassigned:
        case Kind::Null: return 0;
        case Kind::Integer: return std::get<std::int64_t>(m_value);
        case Kind::Float:
        case Kind::Date: {
            const double d = kind() == Kind::Float ? std::get<double>(m_value) : std::get<DateTag>(m_value).value;
            // Automation rounding: to nearest, halves to even.
            const double r = std::nearbyint(d);
            if (!std::isfinite(r) || r < -9.2e18 || r > 9.2e18) cannotConvert(kind(), "inteiro");
            return std::int64_t(r);
        }
        case Kind::Text: {
            std::int64_t v = 0;
            if (parseInt(std::get<std::string>(m_value), v)) return v;
            throw EVariantError("'" + std::get<std::string>(m_value) + "' não é um número inteiro válido.");
        }
        default: cannotConvert(kind(), "inteiro");
    }
}

double Variant::toDouble() const {
    switch (kind()) {
        case Kind::Unassigned:
        case Kind::Null: return 0.0;
        case Kind::Integer: return double(std::get<std::int64_t>(m_value));
        case Kind::Float: return std::get<double>(m_value);
        case Kind::Date: return std::get<DateTag>(m_value).value;
        case Kind::Text: {
            double v = 0;
            if (parseDouble(std::get<std::string>(m_value), v)) return v;
            throw EVariantError("'" + std::get<std::string>(m_value) + "' não é um número válido.");
        }
        default: cannotConvert(kind(), "real");
    }
}

TDateTime Variant::toDate() const {
    switch (kind()) {
        case Kind::Integer: return double(std::get<std::int64_t>(m_value));
        case Kind::Float: return std::get<double>(m_value);
        case Kind::Date: return std::get<DateTag>(m_value).value;
        case Kind::Text: {
            TDateTime d = 0;
            const std::string& t = std::get<std::string>(m_value);
            if (TryStrToDate(t, d) || TryIsoToDate(trimBlanks(t), d)) return d;
            throw EVariantError("'" + t + "' não é uma data válida.");
        }
        default: cannotConvert(kind(), "data");
    }
}

const std::vector<Variant>& Variant::array() const {
    if (kind() != Kind::Array) cannotConvert(kind(), "lista");
    return *std::get<std::shared_ptr<std::vector<Variant>>>(m_value);
}

const Variant& Variant::at(std::size_t index) const {
    const auto& a = array();
    if (index >= a.size())
        throw EVariantError("Índice " + std::to_string(index) + " fora dos limites da lista (" +
                            std::to_string(a.size()) + " elementos).");
    return a[index];
}

std::shared_ptr<const DataPacket> Variant::packet() const {
    if (kind() != Kind::Packet) cannotConvert(kind(), "pacote de dados");
    if (auto c = std::get_if<std::shared_ptr<const CompactPacket>>(&m_value)) {
        if (!*c) throw EVariantError("Pacote de dados vazio.");
        // Kept in place of the compact form, so that what callers hold
        // through the returned pointer lives as long as this variant, as it
        // always did (`for (auto& row : v.packet()->rows)`).
        std::shared_ptr<const DataPacket> rows = std::make_shared<DataPacket>((*c)->toPacket());
        m_value = rows;
        return rows;
    }
    auto p = std::get<std::shared_ptr<const DataPacket>>(m_value);
    if (!p) throw EVariantError("Pacote de dados vazio.");
    return p;
}

std::shared_ptr<const CompactPacket> Variant::compactPacket() const {
    if (kind() != Kind::Packet) cannotConvert(kind(), "pacote de dados");
    if (auto c = std::get_if<std::shared_ptr<const CompactPacket>>(&m_value)) {
        if (!*c) throw EVariantError("Pacote de dados vazio.");
        return *c;
    }
    return std::make_shared<CompactPacket>(CompactPacket::fromPacket(*packet()));
}

const std::vector<FieldDef>& Variant::packetFields() const {
    if (kind() != Kind::Packet) cannotConvert(kind(), "pacote de dados");
    if (auto c = std::get_if<std::shared_ptr<const CompactPacket>>(&m_value)) {
        if (!*c) throw EVariantError("Pacote de dados vazio.");
        return (*c)->fields();
    }
    const auto& p = std::get<std::shared_ptr<const DataPacket>>(m_value);
    if (!p) throw EVariantError("Pacote de dados vazio.");
    return p->fields;
}

std::vector<Variant> Variant::takeArray() {
    if (kind() != Kind::Array) cannotConvert(kind(), "lista");
    auto a = std::get<std::shared_ptr<std::vector<Variant>>>(std::move(m_value));
    m_value = std::monostate{};
    if (a.use_count() == 1) return std::move(*a);
    return *a;
}

Variant Variant::takeAt(std::size_t index) {
    const Variant& element = at(index);
    if (std::get<std::shared_ptr<std::vector<Variant>>>(m_value).use_count() != 1) return element;
    Variant& mine = const_cast<Variant&>(element);  // this variant alone holds the array
    Variant out = std::move(mine);
    mine = Variant();
    return out;
}

DataPacket Variant::takePacket() {
    if (std::holds_alternative<std::shared_ptr<const CompactPacket>>(m_value)) {
        DataPacket out = *packet();
        m_value = std::monostate{};
        return out;
    }
    const std::shared_ptr<const DataPacket> p = packet();
    m_value = std::monostate{};
    // Sole holder: the packet is a mutable object behind a const view (see
    // the constructor), and nobody else can see it change.
    if (p.use_count() == 1) return std::move(const_cast<DataPacket&>(*p));
    return *p;
}

CompactPacket Variant::takeCompactPacket() {
    if (auto held = std::get_if<std::shared_ptr<const DataPacket>>(&m_value)) {
        if (!*held) throw EVariantError("Pacote de dados vazio.");
        CompactPacket out =
            held->use_count() == 1 ? CompactPacket::fromPacket(takePacket()) : CompactPacket::fromPacket(**held);
        m_value = std::monostate{};
        return out;
    }
    const std::shared_ptr<const CompactPacket> p = compactPacket();
    m_value = std::monostate{};
    // Sole holder: as in takePacket.
    if (p.use_count() == 1) return std::move(const_cast<CompactPacket&>(*p));
    return *p;
}

// Kinds must match, except that integers and floats compare by value; arrays
// and packets compare by content.
bool Variant::operator==(const Variant& other) const {
    const Kind a = kind(), b = other.kind();
    if (a != b) {
        const bool na = a == Kind::Integer || a == Kind::Float;
        const bool nb = b == Kind::Integer || b == Kind::Float;
        return na && nb && toDouble() == other.toDouble();
    }
    switch (a) {
        case Kind::Array: return array() == other.array();
        case Kind::Packet: {
            if (m_value.index() == other.m_value.index()) {
                if (auto c = std::get_if<std::shared_ptr<const CompactPacket>>(&m_value)) {
                    if (*c == std::get<std::shared_ptr<const CompactPacket>>(other.m_value)) return true;
                } else if (std::get<std::shared_ptr<const DataPacket>>(m_value) ==
                           std::get<std::shared_ptr<const DataPacket>>(other.m_value)) {
                    return true;
                }
            }
            try {
                return packetsEqual(*packet(), *other.packet());
            } catch (const EVariantError&) {
                return false;  // a packet that is not there equals nothing
            }
        }
        default: return m_value == other.m_value;
    }
}

bool Variant::numberIf(double& out) const noexcept {
    switch (m_value.index()) {
        case 2: out = double(std::get<std::int64_t>(m_value)); return true;
        case 3: out = std::get<double>(m_value); return true;
        case 5: out = std::get<DateTag>(m_value).value; return true;
        default: return false;
    }
}

TDateTime EncodeDate(int year, int month, int day) {
    if (!validDate(year, month, day))
        throw EVariantError("Data inválida: ano " + std::to_string(year) + ", mês " + std::to_string(month) + ", dia " +
                            std::to_string(day) + ".");
    return double(daysFromCivil(year, unsigned(month), unsigned(day)) - kEpochOffset);
}

void DecodeDate(TDateTime d, int& year, int& month, int& day) {
    civilFromDays(dayNumber(d) + kEpochOffset, year, month, day);
}

int DayOfWeek(TDateTime d) {
    // Day 0 (1899-12-30) was a Saturday.
    const std::int64_t r = ((dayNumber(d) % 7) + 7) % 7;
    return r == 0 ? 7 : int(r);
}

TDateTime Today() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return EncodeDate(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday);
}

std::string FormatDateTime(const std::string& format, TDateTime d) {
    int y = 0, m = 0, dd = 0;
    DecodeDate(d, y, m, dd);
    const int dow = DayOfWeek(d);
    std::string out;
    std::size_t i = 0;
    auto at = [&](const char* token) { return format.compare(i, std::char_traits<char>::length(token), token) == 0; };
    while (i < format.size()) {
        if (at("dddd")) {
            out += kLongDays[dow - 1];
            i += 4;
        } else if (at("ddd")) {
            out += kShortDays[dow - 1];
            i += 3;
        } else if (at("dd")) {
            out += pad(dd, 2);
            i += 2;
        } else if (at("mm")) {
            out += pad(m, 2);
            i += 2;
        } else if (at("yyyy")) {
            out += pad(y, 4);
            i += 4;
        } else
            out += format[i++];
    }
    return out;
}

// The year must have four digits: a two-digit year would need a century
// window, and a date edit always shows four.
bool TryStrToDate(const std::string& text, TDateTime& out) {
    std::string parts[3];
    std::size_t start = 0;
    for (int p = 0; p < 3; ++p) {
        const std::size_t slash = p < 2 ? text.find('/', start) : std::string::npos;
        if (p < 2 && slash == std::string::npos) return false;
        parts[p] = trimBlanks(text.substr(start, p < 2 ? slash - start : std::string::npos));
        start = slash + 1;
    }
    if (!allDigits(parts[0]) || !allDigits(parts[1]) || !allDigits(parts[2])) return false;
    if (parts[0].size() > 2 || parts[1].size() > 2 || parts[2].size() != 4) return false;
    const int d = std::stoi(parts[0]), m = std::stoi(parts[1]), y = std::stoi(parts[2]);
    if (!validDate(y, m, d)) return false;
    out = EncodeDate(y, m, d);
    return true;
}

bool TryIsoToDate(const std::string& text, TDateTime& out) {
    if (text.size() != 10 || text[4] != '-' || text[7] != '-') return false;
    const std::string ys = text.substr(0, 4), ms = text.substr(5, 2), ds = text.substr(8, 2);
    if (!allDigits(ys) || !allDigits(ms) || !allDigits(ds)) return false;
    const int y = std::stoi(ys), m = std::stoi(ms), d = std::stoi(ds);
    if (!validDate(y, m, d)) return false;
    out = EncodeDate(y, m, d);
    return true;
}

std::string DateToIso(TDateTime d) { return FormatDateTime("yyyy-mm-dd", d); }

}  // namespace pla013::host
