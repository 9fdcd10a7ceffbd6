#pragma once
// Helpers of the recipe tests: packets made by hand in the shapes the server
// sends, a plain reference merge that follows the composition dish by dish
// and line by line, rows as comparable texts, and a transport that records
// the calls it passes on to the real one.

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "host/Data.h"
#include "host/DataPacket.h"
#include "host/Ports.h"
#include "host/Variant.h"

namespace recipetest {

using pla013::host::DataPacket;
using pla013::host::FieldDef;
using pla013::host::Variant;

// One recipe line: its dish, the product and the product's data derived
// from the product code, so that a row shows which line it carries.
struct Line {
    std::string dish;
    std::string owner;
    std::string product;
    double quantity = 1;
};

struct Dish {
    std::string code;
    std::string name;
    std::string owner;
};

inline Variant text(const std::string& s) { return Variant(s); }

// A packet with the fields of a data set (in its order) and rows given by
// field name.
inline DataPacket packetFor(const std::vector<FieldDef>& fields) {
    DataPacket p;
    p.fields = fields;
    return p;
}

inline void addRow(DataPacket& p, const std::vector<std::pair<std::string, Variant>>& values) {
    std::vector<Variant> row(p.fields.size(), Variant::null());
    for (const auto& [name, v] : values) {
        const int i = p.fieldIndex(name);
        if (i < 0) throw std::logic_error("no field " + name);
        row[std::size_t(i)] = v;
    }
    p.rows.push_back(std::move(row));
}

inline DataPacket dishPacket(const std::vector<FieldDef>& fields, const std::vector<Dish>& dishes) {
    DataPacket p = packetFor(fields);
    for (const auto& d : dishes)
        addRow(p, {{"CDPRATO", text(d.code)}, {"NMPRATO", text(d.name)}, {"CDFILAUXPRAT", text(d.owner)}});
    return p;
}

// Lines of one side; suffix is the side's last letter (P, L or S).
inline DataPacket linePacket(const std::vector<FieldDef>& fields, char suffix, const std::vector<Line>& lines) {
    DataPacket p = packetFor(fields);
    const std::string s(1, suffix);
    for (const auto& l : lines)
        addRow(p, {{"CDPRATO" + s, text(l.dish)},
                   {"CDFILAUXPRAT" + s, text(l.owner)},
                   {"CDPRODUTO" + s, text(l.product)},
                   {"NMPRODUTO" + s, text("Produto " + l.product)},
                   {"SGUNIDPROD" + s, text("KG")},
                   {"QTBRUTPROD" + s, Variant(l.quantity)},
                   {"VRCUSTPROD" + s, Variant(l.quantity * 2.5)},
                   {"CDARV" + s, text("arv." + l.product)}});
    return p;
}

// The composition as the report reads it, plainly: for each dish in the
// list's order, its standard lines (selected by code and owner equal byte
// for byte) inserted as rows 1..n; then each of its other lines k either
// completes the first row of the dish numbered k or, when there is none,
// becomes a row of its own. Rows then ordered by dish code, owner and line
// number (ties kept in insertion order).
inline DataPacket referenceMerge(const DataPacket& dishes, const DataPacket& standard, const DataPacket& other,
                                 char otherSuffix, const std::vector<FieldDef>& fields) {
    auto col = [](const DataPacket& p, const std::string& n) { return std::size_t(p.fieldIndex(n)); };
    auto str = [](const Variant& v) { return v.isNullOrUnassigned() ? std::string() : v.toString(); };
    DataPacket out = packetFor(fields);
    const std::size_t oCode = col(out, "CDPRATO"), oName = col(out, "NMPRATO"), oOwner = col(out, "CDFILAUXPRAT"),
                      oSeq = col(out, "NRSEQUPRATO");
    const char* bases[] = {"CDPRODUTO", "CDARV", "NMPRODUTO", "SGUNIDPROD", "QTBRUTPROD", "VRCUSTPROD"};

    auto sideCopy = [&](std::vector<Variant>& row, const DataPacket& lines, std::size_t r, char suffix) {
        for (const char* b : bases) {
            const std::string name = b + std::string(1, suffix);
            row[col(out, name)] = lines.rows[r][col(lines, name)];
        }
    };
    for (const auto& d : dishes.rows) {
        const std::string code = str(d[col(dishes, "CDPRATO")]);
        const std::string owner = str(d[col(dishes, "CDFILAUXPRAT")]);
        auto newRow = [&](std::int64_t seq) {
            std::vector<Variant> row(fields.size(), Variant::null());
            row[oCode] = d[col(dishes, "CDPRATO")];
            row[oName] = d[col(dishes, "NMPRATO")];
            row[oOwner] = d[col(dishes, "CDFILAUXPRAT")];
            row[oSeq] = Variant(seq);
            return row;
        };
        std::int64_t n = 0;
        for (std::size_t r = 0; r < standard.rows.size(); ++r) {
            if (str(standard.rows[r][col(standard, "CDPRATOP")]) != code ||
                str(standard.rows[r][col(standard, "CDFILAUXPRATP")]) != owner)
                continue;
            auto row = newRow(++n);
            sideCopy(row, standard, r, 'P');
            out.rows.push_back(std::move(row));
        }
        const std::string s(1, otherSuffix);
        std::int64_t k = 0;
        for (std::size_t r = 0; r < other.rows.size(); ++r) {
            if (str(other.rows[r][col(other, "CDPRATO" + s)]) != code ||
                str(other.rows[r][col(other, "CDFILAUXPRAT" + s)]) != owner)
                continue;
            ++k;
            auto found = std::find_if(out.rows.begin(), out.rows.end(), [&](const std::vector<Variant>& row) {
                return str(row[oCode]) == code && str(row[oOwner]) == owner && row[oSeq].toInt() == k;
            });
            if (found != out.rows.end()) {
                sideCopy(*found, other, r, otherSuffix);
            } else {
                auto row = newRow(k);
                sideCopy(row, other, r, otherSuffix);
                out.rows.push_back(std::move(row));
            }
        }
    }
    std::stable_sort(out.rows.begin(), out.rows.end(), [&](const auto& a, const auto& b) {
        if (str(a[oCode]) != str(b[oCode])) return str(a[oCode]) < str(b[oCode]);
        if (str(a[oOwner]) != str(b[oOwner])) return str(a[oOwner]) < str(b[oOwner]);
        return a[oSeq].toInt() < b[oSeq].toInt();
    });
    return out;
}

// Each row as "v1|v2|...", null as "~".
inline std::vector<std::string> rowTexts(const DataPacket& p, const std::vector<std::string>& fields = {}) {
    std::vector<std::size_t> cols;
    if (fields.empty())
        for (std::size_t i = 0; i < p.fields.size(); ++i) cols.push_back(i);
    else
        for (const auto& f : fields) cols.push_back(std::size_t(p.fieldIndex(f)));
    std::vector<std::string> out;
    for (const auto& row : p.rows) {
        std::string t;
        for (std::size_t i = 0; i < cols.size(); ++i) {
            if (i) t += '|';
            const Variant& v = row[cols[i]];
            t += v.isNullOrUnassigned() ? "~" : v.toString();
        }
        out.push_back(t);
    }
    return out;
}

// Passes every call on to the real transport and keeps what was asked.
class RecordingTransport : public pla013::host::INetTransport {
public:
    struct RecordedCall {
        std::string host;
        int port = 0;
        std::string serverName;
        std::string method;
        std::vector<pla013::host::CallArg> args;
    };
    explicit RecordingTransport(pla013::host::INetTransport& inner) : m_inner(inner) {}
    void Connect(const std::string& host, int port) override {
        connects.emplace_back(host, port);
        m_inner.Connect(host, port);
    }
    Variant Call(const std::string& host, int port, const std::string& serverName, const std::string& method,
                 const std::vector<pla013::host::CallArg>& args) override {
        calls.push_back({host, port, serverName, method, args});
        return m_inner.Call(host, port, serverName, method, args);
    }
    std::vector<std::pair<std::string, int>> connects;
    std::vector<RecordedCall> calls;

private:
    pla013::host::INetTransport& m_inner;
};

// Installs other ports for its lifetime and puts the previous ones back.
class PortsGuard {
public:
    explicit PortsGuard(const pla013::host::Ports& ports) : m_saved(pla013::host::InstalledPorts()) {
        pla013::host::Install(ports);
    }
    ~PortsGuard() { pla013::host::Install(m_saved); }
    PortsGuard(const PortsGuard&) = delete;
    PortsGuard& operator=(const PortsGuard&) = delete;

private:
    pla013::host::Ports m_saved;
};

}  // namespace recipetest
