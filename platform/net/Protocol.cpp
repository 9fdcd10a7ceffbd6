#include "platform/net/Protocol.h"

#include <cmath>
#include <limits>

#include <nlohmann/json.hpp>

#include "host/Errors.h"
#include "platform/net/ProtocolError.h"
#include "platform/net/VariantCodec.h"
#include "platform/net/internal/JsonText.h"
#include "platform/net/internal/StreamDecoder.h"

namespace pla013::net {

using nlohmann::json;
using Kind = host::CallArg::Kind;

const char* argKindName(Kind kind) {
    switch (kind) {
        case Kind::TextByValue: return "text";
        case Kind::TextByRef: return "textref";
        case Kind::Int32: return "int32";
        case Kind::Date: return "date";
    }
    return "unknown";
}

std::optional<Kind> parseArgKind(std::string_view name) {
    if (name == "text") return Kind::TextByValue;
    if (name == "textref") return Kind::TextByRef;
    if (name == "int32") return Kind::Int32;
    if (name == "date") return Kind::Date;
    return std::nullopt;
}

namespace {

std::string argName(std::size_t index) { return "o argumento " + std::to_string(index + 1); }

json argToJson(const host::CallArg& arg, std::size_t index) {
    const std::string kindName = argKindName(arg.kind);
    try {
        switch (arg.kind) {
            case Kind::TextByValue:
            case Kind::TextByRef: return json{{"kind", kindName}, {"value", arg.value.toString()}};
            case Kind::Int32: {
                const std::int64_t v = arg.value.toInt();
                if (v < std::numeric_limits<std::int32_t>::min() || v > std::numeric_limits<std::int32_t>::max())
                    throw ProtocolError(errc::BadArguments, argName(index) + " não cabe em 32 bits.");
                return json{{"kind", kindName}, {"value", v}};
            }
            case Kind::Date: {
                const double d = arg.value.toDate();
                if (!std::isfinite(d)) throw ProtocolError(errc::BadArguments, argName(index) + " não é uma data.");
                return json{{"kind", kindName}, {"value", d}};
            }
        }
    } catch (const ProtocolError&) {
        throw;
    } catch (const host::EHostError& e) {
        throw ProtocolError(errc::BadArguments, argName(index) + " (" + kindName + "): " + e.what());
    }
    throw ProtocolError(errc::BadArguments, argName(index) + " tem tipo desconhecido.");
}

host::CallArg argFromJson(const json& j, std::size_t index) {
    if (!j.is_object()) throw ProtocolError(errc::BadRequest, argName(index) + " deve ser um objeto {kind, value}.");
    const auto kindIt = j.find("kind");
    const auto valueIt = j.find("value");
    if (kindIt == j.end() || !kindIt->is_string())
        throw ProtocolError(errc::BadRequest, argName(index) + " não tem \"kind\".");
    const auto kind = parseArgKind(kindIt->get_ref<const std::string&>());
    if (!kind)
        throw ProtocolError(errc::BadArguments, argName(index) + " tem o tipo desconhecido \"" +
                                                    kindIt->get<std::string>() + "\" (text, textref, int32, date).");
    if (valueIt == j.end()) throw ProtocolError(errc::BadArguments, argName(index) + " não tem \"value\".");
    const json& v = *valueIt;
    const std::string kindName = argKindName(*kind);
    switch (*kind) {
        case Kind::TextByValue:
        case Kind::TextByRef:
            if (v.is_string()) return {*kind, host::Variant(v.get<std::string>())};
            break;
        case Kind::Int32:
            if (v.is_number_integer()) {
                const bool fits =
                    v.is_number_unsigned()
                        ? v.get<std::uint64_t>() <= std::uint64_t(std::numeric_limits<std::int32_t>::max())
                        : (v.get<std::int64_t>() >= std::numeric_limits<std::int32_t>::min() &&
                           v.get<std::int64_t>() <= std::numeric_limits<std::int32_t>::max());
                if (!fits) throw ProtocolError(errc::BadArguments, argName(index) + " (int32) não cabe em 32 bits.");
                return {*kind, host::Variant(v.get<std::int64_t>())};
            }
            break;
        case Kind::Date:
            if (v.is_number()) return {*kind, host::Variant::date(v.get<double>())};
            break;
    }
    throw ProtocolError(errc::BadArguments,
                        argName(index) + " (" + kindName + ") contém " + internal::jsonTypeName(v) + ".");
}

const json& member(const json& object, const char* name, bool (json::*test)() const noexcept, const char* what) {
    const auto it = object.find(name);
    if (it == object.end() || !((*it).*test)())
        throw ProtocolError(errc::BadRequest, std::string("A chamada precisa de \"") + name + "\" (" + what + ").");
    return *it;
}

}  // namespace

std::string encodeCallRequest(const std::string& server, const std::string& method,
                              const std::vector<host::CallArg>& args) {
    json list = json::array();
    for (std::size_t i = 0; i < args.size(); ++i) list.push_back(argToJson(args[i], i));
    const json body = {
        {"version", kProtocolVersion}, {"server", server}, {"method", method}, {"args", std::move(list)}};
    return internal::dumpStrict(body, "a chamada de " + server + "." + method);
}

CallRequest decodeCallRequest(std::string_view body) {
    const json j = internal::parseStrict(body, "O corpo da chamada");
    if (!j.is_object()) throw ProtocolError(errc::BadRequest, "O corpo da chamada deve ser um objeto JSON.");
    const json& version = member(j, "version", &json::is_number_integer, "um inteiro");
    if (version.get<std::int64_t>() != kProtocolVersion)
        throw ProtocolError(errc::UnsupportedVersion, "A versão de protocolo " + version.dump() +
                                                          " não é suportada; este servidor fala a versão " +
                                                          std::to_string(kProtocolVersion) + ".");
    CallRequest request;
    request.server = member(j, "server", &json::is_string, "um texto").get<std::string>();
    request.method = member(j, "method", &json::is_string, "um texto").get<std::string>();
    const json& args = member(j, "args", &json::is_array, "uma lista");
    request.args.reserve(args.size());
    for (std::size_t i = 0; i < args.size(); ++i) request.args.push_back(argFromJson(args[i], i));
    return request;
}

std::string encodeCallResult(const host::Variant& result) {
    const json body = {{"version", kProtocolVersion}, {"result", variantToJson(result)}};
    return internal::dumpStrict(body, "o resultado");
}

std::string encodeError(const std::string& code, const std::string& message) {
    const json body = {{"version", kProtocolVersion}, {"error", {{"code", code}, {"message", message}}}};
    return internal::dumpLenient(body);
}

namespace {

std::optional<RemoteError> remoteError(const json& error) {
    if (!error.is_object()) return std::nullopt;
    const auto code = error.find("code");
    const auto message = error.find("message");
    if (code == error.end() || !code->is_string() || message == error.end() || !message->is_string())
        return std::nullopt;
    return RemoteError{code->get<std::string>(), message->get<std::string>()};
}

}  // namespace

std::optional<RemoteError> decodeError(std::string_view body) {
    internal::AnswerParts answer;
    try {
        answer = internal::readAnswer(body, false, "A resposta");
    } catch (const ProtocolError&) {
        return std::nullopt;
    }
    if (!answer.object) return std::nullopt;
    return remoteError(answer.error);
}

// One pass: the result is decoded while the error and the version are looked
// for, and the protocol's precedence is applied once the pass is over.
host::Variant decodeCallResponse(std::string_view body) {
    return internal::resultOfAnswer(internal::readAnswer(body, true, "A resposta"));
}

host::Variant internal::resultOfAnswer(AnswerParts answer) {
    if (!answer.object) throw ProtocolError(errc::BadJson, "A resposta não é um objeto JSON.");
    if (const auto error = remoteError(answer.error)) throw ProtocolError(error->code, error->message);
    const json& version = answer.version;
    if (!version.is_number_integer() || version.get<std::int64_t>() != kProtocolVersion)
        throw ProtocolError(errc::UnsupportedVersion,
                            "A resposta não é da versão de protocolo " + std::to_string(kProtocolVersion) + ".");
    if (!answer.hasResult) throw ProtocolError(errc::BadJson, "A resposta não traz \"result\".");
    if (answer.resultFailure) std::rethrow_exception(answer.resultFailure);
    return std::move(answer.result);
}

HealthInfo decodeHealth(std::string_view body) {
    const json j = internal::parseStrict(body, "A resposta da verificação");
    HealthInfo info;
    if (!j.is_object()) throw ProtocolError(errc::BadJson, "A resposta da verificação não é um objeto JSON.");
    if (const auto v = j.find("version"); v != j.end() && v->is_number_integer()) info.version = v->get<int>();
    if (const auto s = j.find("status"); s != j.end() && s->is_string()) info.status = s->get<std::string>();
    if (const auto s = j.find("signin"); s != j.end() && s->is_string()) info.signInRequired = *s == "required";
    return info;
}

std::string encodeSignIn(const SignInRequest& request) {
    const json j = {{"version", kProtocolVersion}, {"operator", request.operatorCode}, {"password", request.password}};
    return j.dump(-1, ' ', false, json::error_handler_t::replace);
}

SignInRequest decodeSignIn(std::string_view body) {
    const json j = internal::parseStrict(body, "O pedido de entrada");
    if (!j.is_object()) throw ProtocolError(errc::BadRequest, "O pedido de entrada não é um objeto JSON.");
    const auto v = j.find("version");
    if (v == j.end() || !v->is_number_integer())
        throw ProtocolError(errc::BadRequest, "O pedido de entrada não traz \"version\".");
    if (*v != kProtocolVersion)
        throw ProtocolError(errc::UnsupportedVersion, "Versão " + v->dump() + " do protocolo não suportada (use 1).");
    SignInRequest r;
    for (auto [name, target] : {std::pair{"operator", &r.operatorCode}, std::pair{"password", &r.password}}) {
        const auto m = j.find(name);
        if (m == j.end() || !m->is_string())
            throw ProtocolError(errc::BadRequest,
                                std::string("O pedido de entrada não traz \"") + name + "\" como texto.");
        *target = m->get<std::string>();
    }
    return r;
}

std::string encodeSignInAnswer(const SignInAnswer& answer) {
    return json{{"version", kProtocolVersion}, {"token", answer.token}, {"expires", answer.expires}}.dump();
}

SignInAnswer decodeSignInAnswer(std::string_view body) {
    const json j = internal::parseStrict(body, "A resposta da entrada");
    const auto v = j.is_object() ? j.find("version") : j.end();
    if (!j.is_object() || v == j.end() || *v != kProtocolVersion || !j.contains("token") || !j["token"].is_string() ||
        !j.contains("expires") || !j["expires"].is_number_integer())
        throw ProtocolError(errc::BadJson, "A resposta da entrada não é deste protocolo.");
    return {j["token"].get<std::string>(), j["expires"].get<long long>()};
}

}  // namespace pla013::net
