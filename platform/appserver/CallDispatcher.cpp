#include "platform/appserver/CallDispatcher.h"

#include <cctype>
#include <optional>

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
    if (code == errc::Unauthenticated || code == errc::BadCredentials) return 401;
    if (code == errc::ForbiddenBranch || code == errc::AccountLocked || code == errc::PasswordExpired) return 403;
    if (code == errc::Locked || code == errc::TooManyAttempts) return 429;
    if (code == errc::PayloadTooLarge) return 413;
    if (code == errc::TooManyConnections || code == errc::TooManyCalls) return 503;
    if (code == errc::CallTimeout) return 504;
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

// Checks the branch arguments of a call against the caller's scope, and
// turns a list that means "all branches" into the caller's own. The message
// when a branch is outside the scope; nothing when the call may run.
std::optional<std::string> boundToScope(const RemoteMethod& method, std::vector<host::CallArg>& args,
                                        const Caller& caller, std::string& named) {
    for (const BranchArg& b : method.branchArgs) {
        host::CallArg& arg = args.at(b.index);
        std::string text = arg.value.toString();
        const auto first = text.find_first_not_of(" \t");
        text =
            first == std::string::npos ? std::string() : text.substr(first, text.find_last_not_of(" \t") - first + 1);
        std::vector<std::string> codes;
        if (b.form == BranchArg::Form::Code) {
            codes.push_back(text);
        } else {
            const BranchList list(text);
            if (list.all) {
                if (!caller.scope.all) arg.value = host::Variant(caller.scope.asList());
                named += (named.empty() ? "" : ";") + std::string(caller.scope.all ? "T" : caller.scope.asList());
                continue;
            }
            codes.assign(list.codes.begin(), list.codes.end());
        }
        for (const auto& code : codes) {
            if (!caller.scope.permits(code))
                return "O operador " + caller.operatorCode + " não tem acesso à filial " + code + ".";
        }
        std::string joined;
        for (const auto& code : codes) joined += (joined.empty() ? "" : ",") + code;
        if (!joined.empty() && named.find(joined) == std::string::npos) named += (named.empty() ? "" : ";") + joined;
    }
    return std::nullopt;
}

CallOutcome CallDispatcher::dispatch(std::string_view body, const Caller* caller, std::stop_token stop) {
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

    if (caller) {
        if (auto refusal = boundToScope(*method, request.args, *caller, outcome.branches))
            return failure(std::move(outcome), errc::ForbiddenBranch, *refusal);
    } else {
        for (const BranchArg& b : method->branchArgs) {
            const std::string text = request.args.at(b.index).value.toString();
            if (!text.empty()) outcome.branches += (outcome.branches.empty() ? "" : ";") + text;
        }
    }

    host::Variant result;
    try {
        SessionPool::Lease lease = m_sessions.acquire();
        db::SociDatabase& db = lease.database();
        MethodCall call{db, request.args};
        try {
            db.RunStoppable(
                [&] {
                    if (caller && db.engine() == db::DbEngine::PostgreSQL) {
                        // set_config(..., true) lasts until the transaction
                        // ends: never past this call on a pooled session.
                        db.transaction([&] {
                            db.query("SELECT set_config('pla013.operador', :P_OPERADOR, true) AS OPERADOR",
                                     {{"P_OPERADOR", host::Variant(caller->operatorCode)}}, "operador da chamada");
                            result = method->run(call);
                        });
                    } else {
                        result = method->run(call);
                    }
                },
                stop);
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

    outcome.rows = countRows(result);
    outcome.result = std::move(result);
    return outcome;
}

}  // namespace pla013::appserver
