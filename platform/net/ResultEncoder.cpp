#include "platform/net/ResultEncoder.h"

#include "host/DataPacket.h"
#include "platform/net/Protocol.h"
#include "platform/net/ProtocolError.h"
#include "platform/net/internal/CodecParts.h"
#include "platform/net/internal/JsonText.h"

namespace pla013::net {

using nlohmann::json;

ResultEncoder::ResultEncoder(host::Variant result) : m_result(std::move(result)) {}

ResultEncoder::~ResultEncoder() = default;

std::string ResultEncoder::path() const {
    std::string out = "resultado";
    for (std::size_t i = 0; i + 1 < m_stack.size(); ++i) out += "[" + std::to_string(m_stack[i].index - 1) + "]";
    return out;
}

bool ResultEncoder::next(std::string& out, std::size_t bytes) {
    const std::size_t target = out.size() + bytes;
    if (!m_started) {
        m_started = true;
        out += "{\"result\":";
        m_stack.push_back({&m_result, 0});
    }
    while (!m_done && out.size() < target) step(out);
    return !m_done;
}

// Writes one scalar, one opening, one element's separator, one row or one
// closing: the pieces stay small whatever the value holds.
void ResultEncoder::step(std::string& out) {
    if (m_stack.empty()) {
        out += ",\"version\":" + std::to_string(kProtocolVersion) + "}";
        m_done = true;
        return;
    }
    Frame& f = m_stack.back();
    const host::Variant& v = *f.value;
    using K = host::Variant::Kind;
    if (v.kind() == K::Array) {
        if (!f.opened) {
            if (f.depth > internal::kMaxVariantDepth) internal::failTooDeep(path());
            f.opened = true;
            out += "{\"kind\":\"array\",\"value\":[";
            return;
        }
        const auto& items = v.array();
        if (f.index < items.size()) {
            if (f.index > 0) out += ',';
            const int depth = f.depth + 1;
            const host::Variant* item = &items[f.index++];
            m_stack.push_back({item, depth});
            return;
        }
        out += "]}";
        m_stack.pop_back();
        return;
    }
    if (v.kind() == K::Packet) {
        const auto packet = v.packet();
        if (!f.opened) {
            // The checks and words of variantToJson for this level.
            if (f.depth > internal::kMaxVariantDepth || !packet) internal::variantToJson(v, path(), f.depth);
            f.opened = true;
            out += "{\"kind\":\"packet\",\"value\":{\"fields\":";
            out += internal::dumpStrict(internal::fieldDefsToJson(packet->fields), "o resultado");
            out += ",\"rows\":[";
            return;
        }
        if (f.index < packet->rows.size()) {
            const std::size_t r = f.index++;
            const auto& row = packet->rows[r];
            if (row.size() != packet->fields.size()) internal::failRowWidth(r, row.size(), packet->fields.size());
            json values = json::array();
            for (std::size_t c = 0; c < row.size(); ++c)
                values.push_back(internal::fieldValueToJson(row[c], r, packet->fields[c]));
            if (r > 0) out += ',';
            out += internal::dumpStrict(values, "o resultado");
            return;
        }
        out += "]}}";
        m_stack.pop_back();
        return;
    }
    out += internal::dumpStrict(internal::variantToJson(v, path(), f.depth), "o resultado");
    m_stack.pop_back();
}

void ResultEncoder::check(const host::Variant& result) {
    ResultEncoder encoder(result);
    std::string scratch;
    for (bool more = true; more;) {
        scratch.clear();
        more = encoder.next(scratch, std::size_t(1) << 20);
    }
}

}  // namespace pla013::net
