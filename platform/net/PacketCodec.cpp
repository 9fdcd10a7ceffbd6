#include "platform/net/PacketCodec.h"

#include <cmath>
#include <limits>

#include "platform/net/ProtocolError.h"
#include "platform/net/internal/CodecParts.h"
#include "platform/net/internal/JsonText.h"
#include "platform/net/internal/StreamDecoder.h"

namespace pla013::net {

using nlohmann::json;

namespace {

[[noreturn]] void fail(const std::string& message) {
    throw ProtocolError(errc::BadRequest, "Pacote de dados: " + message);
}

std::string where(std::size_t row, const host::FieldDef& field) {
    return "linha " + std::to_string(row + 1) + ", campo " + field.name;
}

const char* kindName(host::Variant::Kind k) {
    switch (k) {
        case host::Variant::Kind::Unassigned: return "unassigned";
        case host::Variant::Kind::Null: return "null";
        case host::Variant::Kind::Integer: return "integer";
        case host::Variant::Kind::Float: return "float";
        case host::Variant::Kind::Text: return "text";
        case host::Variant::Kind::Date: return "date";
        case host::Variant::Kind::Array: return "array";
        case host::Variant::Kind::Packet: return "packet";
    }
    return "unknown";
}

json finiteNumber(double d, std::size_t row, const host::FieldDef& field) {
    if (!std::isfinite(d)) fail(where(row, field) + " contém um número não finito.");
    return json(d);
}

json valueToJson(const host::Variant& v, std::size_t row, const host::FieldDef& field) {
    using K = host::Variant::Kind;
    const K k = v.kind();
    if (k == K::Null || k == K::Unassigned) return json(nullptr);
    switch (field.type) {
        case host::FieldType::String:
            if (k == K::Text) return json(v.toString());
            break;
        case host::FieldType::Integer:
            if (k == K::Integer) return json(v.toInt());
            break;
        case host::FieldType::Float:
            if (k == K::Float || k == K::Integer) return finiteNumber(v.toDouble(), row, field);
            break;
        case host::FieldType::Date:
            if (k == K::Date) return finiteNumber(v.toDate(), row, field);
            if (k == K::Float) return finiteNumber(v.toDouble(), row, field);
            break;
    }
    fail(where(row, field) + " (" + host::FieldTypeName(field.type) + ") contém um valor do tipo " + kindName(k) + ".");
}

host::Variant valueFromJson(json& j, std::size_t row, const host::FieldDef& field) {
    if (j.is_null()) return host::Variant::null();
    switch (field.type) {
        case host::FieldType::String:
            if (j.is_string()) return host::Variant(std::move(j.get_ref<std::string&>()));
            break;
        case host::FieldType::Integer:
            if (j.is_number_integer() && !j.is_number_unsigned()) return host::Variant(j.get<std::int64_t>());
            if (j.is_number_unsigned()) {
                const auto u = j.get<std::uint64_t>();
                if (u <= std::uint64_t(std::numeric_limits<std::int64_t>::max())) return host::Variant(std::int64_t(u));
                fail(where(row, field) + " contém um inteiro fora do intervalo.");
            }
            break;
        case host::FieldType::Float:
            if (j.is_number()) return host::Variant(j.get<double>());
            break;
        case host::FieldType::Date:
            if (j.is_number()) return host::Variant::date(j.get<double>());
            break;
    }
    fail(where(row, field) + " (" + host::FieldTypeName(field.type) + ") contém " + internal::jsonTypeName(j) + ".");
}

}  // namespace

json packetToJson(const host::DataPacket& packet) {
    json fields = internal::fieldDefsToJson(packet.fields);
    json rows = json::array();
    for (std::size_t r = 0; r < packet.rows.size(); ++r) {
        const auto& row = packet.rows[r];
        if (row.size() != packet.fields.size()) internal::failRowWidth(r, row.size(), packet.fields.size());
        json out = json::array();
        for (std::size_t c = 0; c < row.size(); ++c) out.push_back(valueToJson(row[c], r, packet.fields[c]));
        rows.push_back(std::move(out));
    }
    return json{{"fields", std::move(fields)}, {"rows", std::move(rows)}};
}

host::DataPacket packetFromJson(const json& value) {
    if (!value.is_object()) fail(std::string("esperava um objeto, veio ") + internal::jsonTypeName(value) + ".");
    const auto fields = value.find("fields");
    const auto rows = value.find("rows");
    if (fields == value.end() || !fields->is_array()) fail("\"fields\" deve ser uma lista.");
    if (rows == value.end() || !rows->is_array()) fail("\"rows\" deve ser uma lista.");

    host::DataPacket packet;
    packet.fields = internal::fieldDefsFromJson(*fields);
    packet.rows.reserve(rows->size());
    json row;
    for (std::size_t r = 0; r < rows->size(); ++r) {
        row = (*rows)[r];
        if (!row.is_array() || row.size() != packet.fields.size()) internal::failRowShape(r, packet.fields.size());
        std::vector<host::Variant> values;
        values.reserve(row.size());
        for (std::size_t c = 0; c < row.size(); ++c)
            values.push_back(internal::fieldValueFromJson(row[c], r, packet.fields[c]));
        packet.rows.push_back(std::move(values));
    }
    return packet;
}

namespace internal {

std::vector<host::FieldDef> fieldDefsFromJson(const json& fields) {
    std::vector<host::FieldDef> defs;
    defs.reserve(fields.size());
    for (std::size_t i = 0; i < fields.size(); ++i) {
        const json& f = fields[i];
        const std::string at = "campo " + std::to_string(i + 1);
        if (!f.is_object()) fail(at + " deve ser um objeto.");
        const auto name = f.find("name");
        const auto type = f.find("type");
        if (name == f.end() || !name->is_string() || name->get_ref<const std::string&>().empty())
            fail(at + " não tem nome.");
        host::FieldDef def;
        def.name = name->get<std::string>();
        if (type == f.end() || !type->is_string() || !host::ParseFieldType(type->get<std::string>(), def.type))
            fail("o campo " + def.name + " não tem um tipo conhecido (string, integer, float, date).");
        if (const auto size = f.find("size"); size != f.end()) {
            if (!size->is_number_integer() || size->get<std::int64_t>() < 0 || size->get<std::int64_t>() > 1 << 30)
                fail("o campo " + def.name + " tem tamanho inválido.");
            def.size = size->get<int>();
        }
        if (const auto req = f.find("required"); req != f.end()) {
            if (!req->is_boolean()) fail("campo " + def.name + ": \"required\" deve ser true ou false.");
            def.required = req->get<bool>();
        }
        defs.push_back(std::move(def));
    }
    return defs;
}

host::Variant fieldValueFromJson(json& j, std::size_t row, const host::FieldDef& field) {
    return valueFromJson(j, row, field);
}

json fieldValueToJson(const host::Variant& value, std::size_t row, const host::FieldDef& field) {
    return valueToJson(value, row, field);
}

json fieldDefsToJson(const std::vector<host::FieldDef>& fields) {
    json out = json::array();
    for (const auto& f : fields) {
        json def = {{"name", f.name}, {"type", host::FieldTypeName(f.type)}, {"size", f.size}};
        if (f.required) def["required"] = true;
        out.push_back(std::move(def));
    }
    return out;
}

void failRowWidth(std::size_t row, std::size_t values, std::size_t fieldCount) {
    fail("a linha " + std::to_string(row + 1) + " tem " + std::to_string(values) + " valores para " +
         std::to_string(fieldCount) + " campos.");
}

void failRowShape(std::size_t row, std::size_t fieldCount) {
    fail("a linha " + std::to_string(row + 1) + " deve ser uma lista de " + std::to_string(fieldCount) + " valores.");
}

}  // namespace internal

std::string encodePacket(const host::DataPacket& packet) {
    return internal::dumpStrict(packetToJson(packet), "o pacote de dados");
}

host::DataPacket decodePacket(std::string_view text) { return internal::readPacket(text, "O pacote de dados"); }

}  // namespace pla013::net
