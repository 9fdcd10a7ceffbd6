#include "platform/net/VariantCodec.h"

#include <cmath>
#include <limits>

#include "host/DataPacket.h"
#include "platform/net/PacketCodec.h"
#include "platform/net/ProtocolError.h"
#include "platform/net/internal/CodecParts.h"
#include "platform/net/internal/JsonText.h"
#include "platform/net/internal/StreamDecoder.h"

namespace pla013::net {

using nlohmann::json;

namespace {

[[noreturn]] void fail(const std::string& path, const std::string& message) {
    throw ProtocolError(errc::BadRequest, "Valor " + path + ": " + message);
}

json number(double d, const std::string& path) {
    if (!std::isfinite(d)) fail(path, "um número não finito não pode ser enviado.");
    return json(d);
}

json toJson(const host::Variant& v, const std::string& path, int depth) {
    if (depth > internal::kMaxVariantDepth) fail(path, "aninhado demais.");
    using K = host::Variant::Kind;
    switch (v.kind()) {
        case K::Unassigned:
        case K::Null: return json{{"kind", "null"}};
        case K::Integer: return json{{"kind", "integer"}, {"value", v.toInt()}};
        case K::Float: return json{{"kind", "float"}, {"value", number(v.toDouble(), path)}};
        case K::Text: return json{{"kind", "text"}, {"value", v.toString()}};
        case K::Date: return json{{"kind", "date"}, {"value", number(v.toDate(), path)}};
        case K::Array: {
            json items = json::array();
            const auto& elements = v.array();
            for (std::size_t i = 0; i < elements.size(); ++i)
                items.push_back(toJson(elements[i], path + "[" + std::to_string(i) + "]", depth + 1));
            return json{{"kind", "array"}, {"value", std::move(items)}};
        }
        case K::Packet: {
            const auto packet = v.packet();
            if (!packet) fail(path, "referência de pacote vazia.");
            return json{{"kind", "packet"}, {"value", packetToJson(*packet)}};
        }
    }
    fail(path, "de tipo desconhecido.");
}

}  // namespace

namespace internal {

void failTooDeep(const std::string& path) { fail(path, "aninhado demais."); }

json variantToJson(const host::Variant& value, const std::string& path, int depth) {
    return toJson(value, path, depth);
}

host::Variant variantFromJson(const json& j, const std::string& path, int depth) {
    if (depth > kMaxVariantDepth) failTooDeep(path);
    if (!j.is_object()) fail(path, std::string("esperava um objeto, veio ") + internal::jsonTypeName(j) + ".");
    const auto kindIt = j.find("kind");
    if (kindIt == j.end() || !kindIt->is_string()) fail(path, "sem \"kind\".");
    const std::string& kind = kindIt->get_ref<const std::string&>();
    if (kind == "null") return host::Variant::null();

    const auto valueIt = j.find("value");
    if (valueIt == j.end()) fail(path, "do tipo " + kind + " sem \"value\".");
    const json& value = *valueIt;
    if (kind == "integer") {
        if (value.is_number_unsigned() &&
            value.get<std::uint64_t>() > std::uint64_t(std::numeric_limits<std::int64_t>::max()))
            fail(path, "inteiro fora do intervalo.");
        if (value.is_number_integer()) return host::Variant(value.get<std::int64_t>());
    } else if (kind == "float") {
        if (value.is_number()) return host::Variant(value.get<double>());
    } else if (kind == "text") {
        if (value.is_string()) return host::Variant(value.get<std::string>());
    } else if (kind == "date") {
        if (value.is_number()) return host::Variant::date(value.get<double>());
    } else if (kind == "array") {
        if (value.is_array()) {
            std::vector<host::Variant> items;
            items.reserve(value.size());
            for (std::size_t i = 0; i < value.size(); ++i)
                items.push_back(variantFromJson(value[i], path + "[" + std::to_string(i) + "]", depth + 1));
            return host::Variant(std::move(items));
        }
    } else if (kind == "packet") {
        return host::Variant(
            std::shared_ptr<const host::DataPacket>(std::make_shared<host::DataPacket>(packetFromJson(value))));
    } else {
        fail(path, "tipo desconhecido \"" + kind + "\".");
    }
    fail(path, "do tipo " + kind + " contém " + internal::jsonTypeName(value) + ".");
}

}  // namespace internal

json variantToJson(const host::Variant& value) { return toJson(value, "resultado", 0); }

host::Variant variantFromJson(const json& value) { return internal::variantFromJson(value, "resultado", 0); }

std::string encodeVariant(const host::Variant& value) { return internal::dumpStrict(variantToJson(value), "o valor"); }

host::Variant decodeVariant(std::string_view text) { return internal::readVariant(text, "O valor"); }

}  // namespace pla013::net
