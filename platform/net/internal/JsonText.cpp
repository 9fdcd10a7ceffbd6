#include "platform/net/internal/JsonText.h"

#include "platform/net/ProtocolError.h"

namespace pla013::net::internal {

std::string dumpStrict(const nlohmann::json& value, const std::string& what) {
    try {
        return value.dump();
    } catch (const nlohmann::json::exception& e) {
        throw ProtocolError(errc::EncodingError, "Não foi possível codificar " + what + ": " + e.what());
    }
}

std::string dumpLenient(const nlohmann::json& value) {
    return value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

nlohmann::json parseStrict(std::string_view text, const std::string& what) {
    try {
        return nlohmann::json::parse(text.begin(), text.end());
    } catch (const nlohmann::json::parse_error& e) {
        throw ProtocolError(errc::BadJson, what + " não é JSON válido (byte " + std::to_string(e.byte) + ").");
    } catch (const nlohmann::json::exception& e) {
        throw ProtocolError(errc::BadJson, what + " não é JSON válido: " + e.what());
    }
}

const char* jsonTypeName(const nlohmann::json& value) {
    switch (value.type()) {
        case nlohmann::json::value_t::null: return "um valor nulo";
        case nlohmann::json::value_t::object: return "um objeto";
        case nlohmann::json::value_t::array: return "uma lista";
        case nlohmann::json::value_t::string: return "um texto";
        case nlohmann::json::value_t::boolean: return "um valor lógico";
        case nlohmann::json::value_t::number_integer:
        case nlohmann::json::value_t::number_unsigned: return "um número inteiro";
        case nlohmann::json::value_t::number_float: return "um número com decimais";
        case nlohmann::json::value_t::binary: return "dados binários";
        case nlohmann::json::value_t::discarded: return "um valor descartado";
    }
    return "um valor desconhecido";
}

}  // namespace pla013::net::internal
