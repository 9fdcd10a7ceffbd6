#include "platform/appserver/internal/PacketBuilder.h"

#include "host/Errors.h"

namespace pla013::appserver::internal {

ResultColumns::ResultColumns(const host::DataPacket& result, const std::vector<std::string>& names,
                             const std::string& query) {
    m_index.reserve(names.size());
    for (const auto& name : names) {
        const int i = result.fieldIndex(name);
        if (i < 0) throw host::EHostError(query + ": a consulta não devolveu a coluna " + name + ".");
        m_index.push_back(i);
    }
}

host::Variant asText(const host::Variant& value) {
    if (value.isNullOrUnassigned()) return host::Variant::null();
    if (value.kind() == host::Variant::Kind::Text) return value;
    return host::Variant(value.toString());
}

host::Variant asInteger(const host::Variant& value, const std::string& what) {
    if (value.isNullOrUnassigned()) return host::Variant::null();
    try {
        return host::Variant(value.toInt());
    } catch (const host::EHostError& e) {
        throw host::EHostError(what + ": " + e.what());
    }
}

host::Variant asFloat(const host::Variant& value, const std::string& what) {
    if (value.isNullOrUnassigned()) return host::Variant::null();
    try {
        return host::Variant(value.toDouble());
    } catch (const host::EHostError& e) {
        throw host::EHostError(what + ": " + e.what());
    }
}

}  // namespace pla013::appserver::internal
