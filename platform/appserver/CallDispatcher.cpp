#include "platform/appserver/CallDispatcher.h"

#include <cctype>

#include "host/DataPacket.h"
#include "host/Errors.h"
#include "platform/net/Protocol.h"
#include "platform/net/ProtocolError.h"

namespace pla013::appserver {

namespace errc = net::errc;

namespace {

bool sameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

std::size_t countRows(const host::Variant& v) {
    switch (v.kind()) {
        case host::Variant::Kind::Packet: return v.packet() ? v.packet()->rows.size() : 0;
        case host::Variant::Kind::Array: {
            std::size_t n = 0;
            for (const auto& item : v.array()) n += countRows(item);
            return n;
        }
        default: return 0;
    }
}

std::string kindList(const std::vector<host::CallArg::Kind>& kinds) {
    std::string out;
    for (auto k : kinds) out += (out.empty() ? "" : ", ") + std::string(net::argKindName(k));
    return out;
}

CallOutcome failure(CallOutcome outcome, const std::string& code, const std::string& message) {
    outcome.status = CallDispatcher::statusOf(code);
    outcome.errorCode = code;
    outcome.errorMessage = message;
    outcome.body = net::encodeError(code, message);
    return outcome;
}

}  // namespace

CallDispatcher::CallDispatcher(SessionPool& sessions) : m_sessions(sessions) {}

CallDispatcher::~CallDispatcher() = default;

void CallDispatcher::addModule(std::unique_ptr<RemoteModule> module) { m_modules.push_back(std::move(module)); }

int CallDispatcher::statusOf(const std::string& code) {
    if (code == errc::UnknownModule || code == errc::UnknownMethod || code == errc::NotFound) return 404;
    if (code == errc::PayloadTooLarge) return 413;
    if (code == errc::DatabaseError || code == errc::ServerError || code == errc::EncodingError) return 500;
    return 400;  // bad_json, bad_request, unsupported_version, bad_arguments
}

nlohmann::json CallDispatcher::describe() const {
    nlohmann::json modules = nlohmann::json::object();
    for (const auto& m : m_modules) {
        nlohmann::json methods = nlohmann::json::array();
        for (const auto& method : m->methods()) methods.push_back(method.name);
        modules[m->name()] = std::move(methods);
    }
    return modules;
}

CallOutcome CallDispatcher::dispatch(std::string_view body) {
    CallOutcome outcome;
    net::CallRequest request;
    try {
        request = net::decodeCallRequest(body);
    } catch (const net::ProtocolError& e) {
        return failure(std::move(outcome), e.code(), e.what());
    }
    outcome.call = request.server + "." + request.method;

    const RemoteModule* module = nullptr;
    for (const auto& m : m_modules)
        if (sameName(m->name(), request.server)) module = m.get();
    if (!module) {
        std::string known;
        for (const auto& m : m_modules) known += (known.empty() ? "" : ", ") + m->name();
        return failure(std::move(outcome), errc::UnknownModule,
                       "O módulo remoto \"" + request.server + "\" não existe neste servidor (há: " + known + ").");
    }
    const RemoteMethod* method = nullptr;
    for (const auto& m : module->methods())
        if (sameName(m.name, request.method)) method = &m;
    if (!method)
        return failure(std::move(outcome), errc::UnknownMethod,
                       "O módulo remoto " + module->name() + " não tem o método \"" + request.method + "\".");
    outcome.call = module->name() + "." + method->name;

    if (request.args.size() != method->argKinds.size())
        return failure(std::move(outcome), errc::BadArguments,
                       method->name + " espera " + std::to_string(method->argKinds.size()) + " argumentos (" +
                           kindList(method->argKinds) + "), recebeu " + std::to_string(request.args.size()) + ".");
    for (std::size_t i = 0; i < request.args.size(); ++i)
        if (request.args[i].kind != method->argKinds[i])
            return failure(std::move(outcome), errc::BadArguments,
                           "O argumento " + std::to_string(i + 1) + " de " + method->name + " deve ser do tipo " +
                               net::argKindName(method->argKinds[i]) + ", veio " +
                               net::argKindName(request.args[i].kind) + ".");

    host::Variant result;
    try {
        SessionPool::Lease lease = m_sessions.acquire();
        MethodCall call{lease.database(), request.args};
        try {
            result = method->run(call);
        } catch (const net::ProtocolError&) {
            throw;
        } catch (const host::EHostError&) {
            lease.discard();
            throw;
        }
        if (call.sessionFailed) lease.discard();
    } catch (const net::ProtocolError& e) {
        return failure(std::move(outcome), e.code(), e.what());
    } catch (const host::EHostError& e) {
        return failure(std::move(outcome), errc::DatabaseError, method->name + ": " + e.what());
    } catch (const std::exception& e) {
        return failure(std::move(outcome), errc::ServerError, method->name + ": " + e.what());
    }

    try {
        outcome.body = net::encodeCallResult(result);
    } catch (const net::ProtocolError& e) {
        return failure(std::move(outcome), errc::EncodingError, method->name + ": " + e.what());
    }
    outcome.rows = countRows(result);
    return outcome;
}

}  // namespace pla013::appserver
