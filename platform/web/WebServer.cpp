#include "platform/web/WebServer.h"

#include <unistd.h>
#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <map>
#include <mutex>
#include <regex>

#include <sodium.h>
#include <nlohmann/json.hpp>

#include "platform/appserver/AccessControl.h"
#include "platform/appserver/AppServer.h"
#include "platform/appserver/AuditLog.h"
#include "platform/appserver/SessionPool.h"
#include "platform/db/DatabaseInitializer.h"
#include "platform/db/SociDatabase.h"
#include "platform/net/HostPort.h"
#include "platform/web/FilterStore.h"
#include "platform/web/FormRegistry.h"
#include "platform/web/PageAssets.h"
#include "platform/web/ReportFiles.h"
#include "platform/web/RequestSecurity.h"
#include "platform/web/internal/HttpListener.h"

namespace fs = std::filesystem;

namespace pla013::web {

using internal::HttpRequest;
using internal::HttpResponse;
using Json = nlohmann::ordered_json;
using Reply = internal::HttpListener::Reply;

namespace {

// How long a user action's answer waits for the form to settle before it
// goes with what has come (the page then reads the rest as it comes).
constexpr auto kActionWait = std::chrono::milliseconds(1500);
// The longest a page's read of events is held open.
constexpr auto kLongestPoll = std::chrono::milliseconds(25000);
constexpr std::size_t kMostSteps = 32;
constexpr std::size_t kLongestText = 256;

HttpResponse jsonAnswer(int status, const Json& body) {
    HttpResponse r;
    r.status = status;
    r.body = body.dump(-1, ' ', false, Json::error_handler_t::replace);
    return r;
}

HttpResponse errorAnswer(int status, const std::string& code, const std::string& message) {
    return jsonAnswer(status, Json{{"error", {{"code", code}, {"message", message}}}});
}

// A step's argument as the driver reads it: in double quotes, a quote
// doubled.
std::string stepArgument(const std::string& text) {
    std::string out = "\"";
    for (char c : text) out += c == '"' ? std::string("\"\"") : std::string(1, c);
    return out + "\"";
}

// Text the user typed, as one line: control characters go.
std::string oneLine(const std::string& text) {
    std::string out;
    for (char c : text)
        if (static_cast<unsigned char>(c) >= 0x20 && c != 0x7f) out += c;
    return out;
}

bool controlName(const std::string& s) {
    static const std::regex name("[A-Za-z][A-Za-z0-9_]{0,63}");
    return std::regex_match(s, name);
}

bool smallNumber(const std::string& s) {
    return !s.empty() && s.size() <= 4 && s.find_first_not_of("0123456789") == std::string::npos;
}

std::string text(const Json& j) { return j.is_string() ? j.get<std::string>() : std::string(); }

// The steps a page may send, and how many arguments each takes.
struct StepShape {
    const char* verb;
    std::size_t args;
};
constexpr StepShape kPageSteps[] = {{"type", 2},   {"tab", 0},    {"focus", 1},   {"click", 1},
                                    {"select", 2}, {"report", 1}, {"activate", 0}};

// One step of the page as a driver line; empty (and why) when the page may
// not send it.
std::string stepLine(const Json& step, std::string& why) {
    if (!step.is_array() || step.empty() || !step[0].is_string()) {
        why = "um passo é uma lista: verbo e argumentos";
        return {};
    }
    const std::string verb = step[0].get<std::string>();
    const StepShape* shape = nullptr;
    for (const auto& s : kPageSteps)
        if (verb == s.verb) shape = &s;
    if (!shape || step.size() != shape->args + 1) {
        why = "passo não aceito: " + verb.substr(0, 20);
        return {};
    }
    std::string line = verb;
    for (std::size_t i = 1; i < step.size(); ++i) {
        if (!step[i].is_string()) {
            why = "os argumentos de um passo são textos";
            return {};
        }
        const std::string arg = step[i].get<std::string>();
        const bool isName = i == 1 && verb != "report";
        const bool isNumber = (verb == "select" && i == 2) || verb == "report";
        if ((isName && !controlName(arg)) || (isNumber && !smallNumber(arg)) || arg.size() > kLongestText) {
            why = "argumento inválido em " + verb;
            return {};
        }
        line += " " + stepArgument(oneLine(arg));
    }
    return line;
}

}  // namespace

// What the filter of a form's events needs to know of it.
struct FormContext {
    std::string owner;
    std::string operatorCode;
    // "Limpar filtros": the filters the form sends as it closes are
    // forgotten instead of kept.
    std::atomic<bool> forgetting{false};
};

struct WebServer::Impl {
    WebOptions options;
    std::string dbTarget;
    std::unique_ptr<appserver::SessionPool> pool;
    appserver::AccessControl access;
    std::unique_ptr<appserver::AuditLog> audit;
    std::unique_ptr<appserver::AppServer> embedded;
    std::string servers;
    std::string driver;
    std::string filesFolder;
    bool ownFilesFolder = false;
    std::unique_ptr<ReportFiles> files;
    std::unique_ptr<FilterStore> filters;
    std::unique_ptr<internal::HttpListener> listener;
    std::unique_ptr<FormRegistry> registry;
    // What each open form's event filter knows, by form id.
    std::mutex contextMutex;
    std::map<std::string, std::weak_ptr<FormContext>> contexts;
    int port = 0;
    bool started = false;
    bool stopped = false;
    std::mutex logMutex;

    explicit Impl(WebOptions o) : options(std::move(o)) {}

    void log(const std::string& line) {
        if (options.context.logLevel == "quiet") return;
        std::lock_guard<std::mutex> lock(logMutex);
        std::cerr << line << std::endl;
    }

    void withDatabase(const std::function<void(db::SociDatabase&)>& work) {
        appserver::SessionPool::Lease lease = pool->acquire();
        try {
            work(lease.database());
        } catch (...) {
            lease.discard();
            throw;
        }
    }

    std::string clientAddress(const HttpRequest& req) const {
        if (!options.proxy.empty() && req.peerAddress == options.proxy) {
            std::string forwarded = req.header("x-forwarded-for");
            const auto comma = forwarded.rfind(',');
            if (comma != std::string::npos) forwarded = forwarded.substr(comma + 1);
            const auto b = forwarded.find_first_not_of(' ');
            if (b != std::string::npos) return forwarded.substr(b).substr(0, 64);
        }
        return req.peerAddress;
    }

    void record(const std::string& event, const std::string& operatorCode, const HttpRequest& req, std::string detail) {
        if (audit) audit->record({access.now(), event, operatorCode, clientAddress(req), std::move(detail)});
    }

    void start();
    void stop();
    void handle(HttpRequest&& req, Reply reply);
    HttpResponse route(HttpRequest& req, Reply& reply, bool& answered);
    HttpResponse staticAsset(const HttpRequest& req);
    std::optional<appserver::Caller> authenticate(const std::string& token, bool* expired = nullptr);
    Json sessionState(const appserver::Caller& caller, const std::string& token);
    HttpResponse getSession(const HttpRequest& req);
    HttpResponse signIn(const HttpRequest& req);
    HttpResponse signOut(const HttpRequest& req, const std::string& token);
    HttpResponse openForm(const HttpRequest& req, const std::string& token, const appserver::Caller& caller);
    HttpResponse formAction(const HttpRequest& req, const std::string& id, const std::string& token, Reply& reply,
                            bool& answered);
    HttpResponse formEvents(const HttpRequest& req, const std::string& id, const std::string& token, Reply& reply,
                            bool& answered);
    HttpResponse listFiles(const std::string& token);
    HttpResponse serveFile(const HttpRequest& req, const std::string& id, const std::string& token);
    FormProcess::EventFilter eventFilter(std::shared_ptr<FormContext> context);
};

void WebServer::Impl::start() {
    if (sodium_init() < 0) throw std::runtime_error("a biblioteca de criptografia não pôde ser iniciada");
    {
        auto first = db::openDatabase(options.context.db);
        dbTarget = first->target();
        const std::string target = dbTarget;
        pool = std::make_unique<appserver::SessionPool>([target] { return db::openDatabase(target); }, 4);
        // The first session stays in the pool: a database that cannot be
        // reached fails here, not at the first sign-in.
        appserver::SessionPool::Lease probe = pool->acquire();
    }
    audit = std::make_unique<appserver::AuditLog>(
        [this](const std::function<void(db::SociDatabase&)>& work) { withDatabase(work); },
        [this](const std::string& line) { log("audit: " + line); });
    if (options.context.server.empty()) {
        // The embedded application server: on loopback, sign-in required,
        // for this host's forms only.
        appserver::AppServerOptions serverOptions;
        serverOptions.host = "127.0.0.1";
        serverOptions.port = 0;
        serverOptions.auth = appserver::AuthMode::Required;
        serverOptions.logLevel = options.context.logLevel == "debug"  ? appserver::LogLevel::Debug
                                 : options.context.logLevel == "info" ? appserver::LogLevel::Info
                                                                      : appserver::LogLevel::Quiet;
        serverOptions.logSink = [this](const std::string& line) { log("server: " + line); };
        const std::string target = dbTarget;
        embedded = std::make_unique<appserver::AppServer>([target] { return db::openDatabase(target); }, serverOptions);
        embedded->start();
        servers = net::formatHostPort(embedded->host(), embedded->port());
    } else {
        servers = options.context.server;
    }
    driver = options.driver.empty() ? runtime::executableDir() + "/pla013" : options.driver;
    if (::access(driver.c_str(), X_OK) != 0)
        throw std::runtime_error("o programa dos formulários " + driver + " não existe ou não pode ser executado");

    if (options.files.empty()) {
        std::string pattern = (fs::temp_directory_path() / "pla013-web-XXXXXX").string();
        if (!::mkdtemp(pattern.data()))
            throw std::runtime_error("a pasta temporária dos relatórios não pôde ser criada");
        filesFolder = pattern;
        ownFilesFolder = true;
    } else {
        filesFolder = options.files;
    }
    files = std::make_unique<ReportFiles>(filesFolder, options.fileLifetime);
    filters = std::make_unique<FilterStore>(
        [this](const std::function<void(db::SociDatabase&)>& work) { withDatabase(work); });

    listener = std::make_unique<internal::HttpListener>(
        internal::HttpLimits{}, [this](HttpRequest&& req, Reply reply) { handle(std::move(req), std::move(reply)); });
    port = listener->bind(options.listenHost, options.listenPort, options.tls);
    registry = std::make_unique<FormRegistry>(options.forms, [this] { files->expire(); });
    listener->start();
    started = true;
}

void WebServer::Impl::stop() {
    if (stopped) return;
    stopped = true;
    // No new request; then the forms end (their filters are kept) and their
    // pages' waits are answered into connections that are closed.
    if (listener) listener->stop();
    registry.reset();
    if (embedded) embedded->stop();
    audit.reset();
    if (ownFilesFolder) {
        std::error_code ec;
        fs::remove_all(filesFolder, ec);
    }
}

void WebServer::Impl::handle(HttpRequest&& req, Reply reply) {
    bool answered = false;
    HttpResponse res;
    try {
        res = route(req, reply, answered);
    } catch (const std::exception& e) {
        log(std::string("request ") + req.method + " " + req.path() + " failed: " + e.what());
        res = errorAnswer(500, "server_error", "Erro interno do servidor; os detalhes estão no registro do servidor.");
    }
    if (answered) return;
    RequestSecurity::addStandardHeaders(res, options.tls.has_value());
    reply(std::move(res));
}

HttpResponse WebServer::Impl::staticAsset(const HttpRequest& req) {
    const PageAsset* asset = PageAssets::find(req.path());
    if (!asset) return errorAnswer(404, "not_found", "Esta página não existe.");
    HttpResponse r;
    r.headers.emplace_back("ETag", asset->etag);
    r.headers.emplace_back("Cache-Control", "no-cache");
    if (req.header("if-none-match") == asset->etag) {
        r.status = 304;
        r.contentType = asset->contentType;
        return r;
    }
    r.contentType = asset->contentType;
    r.body = std::string(asset->body);
    return r;
}

std::optional<appserver::Caller> WebServer::Impl::authenticate(const std::string& token, bool* expired) {
    if (token.empty()) return std::nullopt;
    std::optional<appserver::Caller> caller;
    appserver::TokenRefusal why = appserver::TokenRefusal::Unknown;
    withDatabase([&](db::SociDatabase& db) { caller = access.authenticate(db, token, &why); });
    if (!caller && expired) *expired = why == appserver::TokenRefusal::Expired;
    return caller;
}

Json WebServer::Impl::sessionState(const appserver::Caller& caller, const std::string& token) {
    Json branches = Json::array();
    if (!caller.scope.all) {
        host::DataPacket rows;
        withDatabase([&](db::SociDatabase& db) {
            rows = db.query("SELECT CDFILIAL, NMFILIAL FROM FILIAL ORDER BY CDFILIAL", {}, "filiais");
        });
        for (const auto& row : rows.rows) {
            const std::string code = row[0].isNullOrUnassigned() ? std::string() : row[0].toString();
            if (caller.scope.branches.count(code))
                branches.push_back(
                    {{"code", code}, {"name", row[1].isNullOrUnassigned() ? std::string() : row[1].toString()}});
        }
    }
    return Json{{"signedIn", true},
                {"operator", caller.operatorCode},
                {"name", caller.operatorName},
                {"all", caller.scope.all},
                {"branches", std::move(branches)},
                {"officeBranch", options.context.branch},
                {"csrf", RequestSecurity::csrfToken(token)},
                {"idle", appserver::AccessControl::waitText(options.forms.idleTimeout.count())}};
}

HttpResponse WebServer::Impl::getSession(const HttpRequest& req) {
    const std::string token = RequestSecurity::sessionToken(req);
    bool expired = false;
    const auto caller = authenticate(token, &expired);
    if (!caller) {
        Json state{{"signedIn", false}};
        if (!token.empty())
            state["message"] = expired ? "A sessão expirou; entre de novo." : "A sessão foi encerrada; entre de novo.";
        HttpResponse r = jsonAnswer(200, state);
        if (!token.empty()) r.headers.emplace_back("Set-Cookie", RequestSecurity::endedCookie(options.secureCookies()));
        return r;
    }
    return jsonAnswer(200, sessionState(*caller, token));
}

HttpResponse WebServer::Impl::signIn(const HttpRequest& req) {
    Json body;
    try {
        body = Json::parse(req.body);
    } catch (const Json::exception&) {
        return errorAnswer(400, "bad_request", "Informe o operador e a senha.");
    }
    const std::string operatorCode = oneLine(text(body.value("operator", Json())));
    const std::string password = text(body.value("password", Json()));
    if (operatorCode.empty() || password.empty() || operatorCode.size() > 10 || password.size() > 1024)
        return errorAnswer(400, "bad_request", "Informe o operador e a senha.");
    appserver::SignInOutcome out;
    withDatabase([&](db::SociDatabase& db) { out = access.signIn(db, operatorCode, password, clientAddress(req)); });
    using R = appserver::SignInOutcome::Result;
    const appserver::SignInVerdict verdict = appserver::verdictOf(out.result);
    const int status = verdict.status;
    const std::string& code = verdict.code;
    const std::string& event = verdict.event;
    record(event, out.operatorCode, req, code.empty() ? std::string("web") : "web " + code);
    log("sign-in operator=" + out.operatorCode + " peer=" + clientAddress(req) +
        (code.empty() ? " status=200" : " error=" + code));
    if (out.result != R::SignedIn) {
        HttpResponse r = errorAnswer(status, code, out.message);
        if (out.retryAfter > 0) r.headers.emplace_back("Retry-After", std::to_string(out.retryAfter));
        return r;
    }
    std::optional<appserver::Caller> caller;
    withDatabase([&](db::SociDatabase& db) { caller = appserver::AccessControl::callerOf(db, out.operatorCode); });
    if (!caller) return errorAnswer(401, "bad_credentials", "Operador ou senha incorretos.");
    HttpResponse r = jsonAnswer(200, sessionState(*caller, out.token));
    r.headers.emplace_back("Set-Cookie", RequestSecurity::sessionCookie(out.token, options.secureCookies(),
                                                                        access.policy().absoluteExpiry.count()));
    return r;
}

HttpResponse WebServer::Impl::signOut(const HttpRequest& req, const std::string& token) {
    const std::string owner = appserver::tokenHash(token);
    registry->endOwner(owner, "saida");
    files->removeOwner(owner);
    std::optional<appserver::Caller> caller;
    withDatabase([&](db::SociDatabase& db) {
        caller = access.authenticate(db, token);
        access.signOut(db, token);
    });
    if (caller) record("saida", caller->operatorCode, req, "web");
    HttpResponse r = jsonAnswer(200, Json{{"signedIn", false}});
    r.headers.emplace_back("Set-Cookie", RequestSecurity::endedCookie(options.secureCookies()));
    return r;
}

FormProcess::EventFilter WebServer::Impl::eventFilter(std::shared_ptr<FormContext> context) {
    return [this, context](Json& event) {
        const std::string kind = event.value("t", std::string());
        if (kind == "report") {
            const std::string path = event.value("file", std::string());
            const std::string target = event.value("target", std::string());
            const auto file = files->add(context->owner, path, event.value("report", std::string()),
                                         event.value("pages", std::size_t(0)), target != "file");
            event.erase("file");
            event["url"] = file ? Json("/files/" + file->id) : Json();
            event["name"] = file ? Json(file->downloadName) : Json();
            return true;
        }
        if (kind == "filters") {
            const bool forget = context->forgetting.exchange(false);
            const std::string report = event.value("report", std::string());
            if (report.empty()) return false;
            const Json saved{{"report", report}, {"filters", event.value("filters", Json::array())}};
            try {
                if (forget)
                    filters->forget(context->operatorCode, report);
                else if (!filters->save(context->operatorCode, report, saved.dump()))
                    log("filters of " + context->operatorCode + " not kept: too long");
            } catch (const std::exception& e) {
                log("filters of " + context->operatorCode + " not kept: " + e.what());
            }
            return false;
        }
        return true;
    };
}

HttpResponse WebServer::Impl::openForm(const HttpRequest& req, const std::string& token,
                                       const appserver::Caller& caller) {
    Json body;
    try {
        body = req.body.empty() ? Json::object() : Json::parse(req.body);
    } catch (const Json::exception&) {
        return errorAnswer(400, "bad_request", "Pedido inválido.");
    }
    std::string branch = text(body.value("branch", Json()));
    bool single = false;
    if (caller.scope.all) {
        branch = options.context.branch;
    } else {
        if (caller.scope.branches.empty())
            return errorAnswer(403, "forbidden_branch",
                               "O operador " + caller.operatorCode + " não tem acesso a nenhuma filial.");
        if (branch.empty() && caller.scope.branches.size() == 1) branch = *caller.scope.branches.begin();
        if (branch.empty()) return errorAnswer(400, "branch_needed", "Escolha a filial.");
        if (!caller.scope.branches.count(branch))
            return errorAnswer(
                403, "forbidden_branch",
                "O operador " + caller.operatorCode + " não tem acesso à filial " + oneLine(branch) + ".");
        single = true;
    }
    FormLaunch launch;
    launch.driver = driver;
    launch.sessionToken = token;
    launch.args = {"--db",        dbTarget,
                   "--server",    servers,
                   "--operator",  caller.operatorCode,
                   "--branch",    branch,
                   "--module",    std::string(1, options.context.module),
                   "--log-level", options.context.logLevel};
    if (single) launch.args.push_back("--single-branch");
    if (!options.context.date.empty()) launch.args.insert(launch.args.end(), {"--date", options.context.date});
    if (!options.context.reports.empty()) launch.args.insert(launch.args.end(), {"--reports", options.context.reports});
    launch.args.push_back("drive");

    auto context = std::make_shared<FormContext>();
    context->owner = appserver::tokenHash(token);
    context->operatorCode = caller.operatorCode;
    std::string refusal;
    auto form = registry->open(context->owner, launch, eventFilter(context), refusal);
    if (!form) return errorAnswer(503, "too_many_forms", refusal);
    std::vector<std::string> lines{"launch"};
    std::optional<std::string> saved;
    try {
        saved = filters->last(caller.operatorCode);
    } catch (const std::exception& e) {
        log("filters of " + caller.operatorCode + " not read: " + e.what());
    }
    if (saved) lines.push_back("restore " + stepArgument(*saved));
    {
        std::lock_guard<std::mutex> lock(contextMutex);
        for (auto it = contexts.begin(); it != contexts.end();)
            it = it->second.expired() ? contexts.erase(it) : std::next(it);
        contexts[form->id()] = context;
    }
    form->send(lines);
    log("form " + form->id() + " opened operator=" + caller.operatorCode + " branch=" + branch);
    return jsonAnswer(200, Json{{"id", form->id()}, {"branch", branch}, {"single", single}});
}

HttpResponse WebServer::Impl::formAction(const HttpRequest& req, const std::string& id, const std::string& token,
                                         Reply& reply, bool& answered) {
    const std::string owner = appserver::tokenHash(token);
    auto form = registry->find(owner, id);
    if (!form) return errorAnswer(404, "form_gone", "O formulário não está mais aberto.");
    Json body;
    try {
        body = Json::parse(req.body);
    } catch (const Json::exception&) {
        return errorAnswer(400, "bad_request", "Pedido inválido.");
    }
    const std::string action = text(body.value("do", Json()));
    const std::uint64_t after = body.value("after", std::uint64_t(0));
    bool accepted = true;
    if (action == "steps") {
        const Json steps = body.value("steps", Json::array());
        if (!steps.is_array() || steps.empty() || steps.size() > kMostSteps)
            return errorAnswer(400, "bad_request", "Pedido inválido.");
        std::vector<std::string> lines;
        for (const auto& step : steps) {
            std::string why;
            std::string line = stepLine(step, why);
            if (line.empty()) return errorAnswer(400, "bad_step", why);
            lines.push_back(std::move(line));
        }
        accepted = form->send(lines);
    } else if (action == "answer") {
        const std::string kind = text(body.value("kind", Json()));
        if (kind != "search" && kind != "list") return errorAnswer(400, "bad_request", "Pedido inválido.");
        std::string value = "cancel";
        const Json given = body.value("value", Json());
        if (given.is_string()) {
            value = oneLine(given.get<std::string>());
            if (value.size() > kLongestText || value == "cancel" || (kind == "list" && value.empty()))
                return errorAnswer(400, "bad_request", "Pedido inválido.");
        } else if (given.is_array()) {
            value.clear();
            for (const auto& key : given) {
                const std::string k = oneLine(text(key));
                if (k.empty() || k.find(',') != std::string::npos || k.size() > 64)
                    return errorAnswer(400, "bad_request", "Pedido inválido.");
                value += (value.empty() ? "" : ",") + k;
            }
            // No key chosen: the list confirmed empty.
            if (value.empty()) value = ",";
        }
        accepted = form->answer("answer " + kind + " " + stepArgument(value));
    } else if (action == "report") {
        const std::string format = text(body.value("format", Json()));
        std::string verb = "save", extension = format;
        if (format == "preview" || format == "print") {
            verb = format;
            extension = "html";
        } else if (format != "pdf" && format != "xlsx" && format != "csv" && format != "html") {
            return errorAnswer(400, "bad_request", "Formato desconhecido.");
        }
        const std::string path = files->reserve(owner, extension);
        accepted = form->send({verb + " " + stepArgument(path)});
    } else if (action == "cancel") {
        form->cancel();
    } else if (action == "clear") {
        // The form closes as the user would close it, its filters are the
        // ones forgotten, and it opens again as designed.
        std::shared_ptr<FormContext> context;
        {
            std::lock_guard<std::mutex> lock(contextMutex);
            if (auto it = contexts.find(id); it != contexts.end()) context = it->second.lock();
        }
        if (!context) return errorAnswer(404, "form_gone", "O formulário não está mais aberto.");
        context->forgetting = true;
        accepted = form->send({"close", "launch"});
    } else if (action == "close") {
        form->end("fechado", true);
    } else {
        return errorAnswer(400, "bad_request", "Ação desconhecida.");
    }
    if (!accepted) return jsonAnswer(409, form->eventsAfter(after));
    form->wait(after, FormProcess::Until::Settled, std::chrono::steady_clock::now() + kActionWait,
               [this, reply](Json answer) {
                   HttpResponse r = jsonAnswer(200, answer);
                   RequestSecurity::addStandardHeaders(r, options.tls.has_value());
                   reply(std::move(r));
               });
    answered = true;
    return {};
}

HttpResponse WebServer::Impl::formEvents(const HttpRequest& req, const std::string& id, const std::string& token,
                                         Reply& reply, bool& answered) {
    // A page reads its form's events often: the session is checked by the
    // form's owner alone, without the database (an action checks it there).
    auto form = registry->find(appserver::tokenHash(token), id);
    if (!form) return errorAnswer(404, "form_gone", "O formulário não está mais aberto.");
    if (req.query("snapshot") == "1") return jsonAnswer(200, form->snapshot());
    std::uint64_t after = 0;
    std::chrono::milliseconds wait{0};
    try {
        const std::string a = req.query("after"), w = req.query("wait");
        if (!a.empty()) after = std::stoull(a);
        if (!w.empty()) wait = std::min(kLongestPoll, std::chrono::milliseconds(std::stoll(w)));
    } catch (const std::exception&) {
        return errorAnswer(400, "bad_request", "Pedido inválido.");
    }
    if (wait.count() <= 0) return jsonAnswer(200, form->eventsAfter(after));
    form->wait(after, FormProcess::Until::NewEvents, std::chrono::steady_clock::now() + wait,
               [this, reply](Json answer) {
                   HttpResponse r = jsonAnswer(200, answer);
                   RequestSecurity::addStandardHeaders(r, options.tls.has_value());
                   reply(std::move(r));
               });
    answered = true;
    return {};
}

HttpResponse WebServer::Impl::listFiles(const std::string& token) {
    Json out = Json::array();
    for (const auto& f : files->list(appserver::tokenHash(token))) {
        if (f.preview) continue;
        out.push_back(
            {{"url", "/files/" + f.id},
             {"name", f.downloadName},
             {"report", f.report},
             {"pages", f.pages},
             {"created", std::chrono::duration_cast<std::chrono::seconds>(f.created.time_since_epoch()).count()}});
    }
    return jsonAnswer(200, Json{{"files", std::move(out)}});
}

HttpResponse WebServer::Impl::serveFile(const HttpRequest& req, const std::string& id, const std::string& token) {
    const std::string owner = appserver::tokenHash(token);
    const auto file = files->find(owner, id);
    // Another session's file is as absent as one that never was.
    if (!file) return errorAnswer(404, "not_found", "O arquivo não existe ou não é desta sessão.");
    HttpResponse r;
    if (file->preview) {
        // The report's own HTML, framed by the page: no script, no outside
        // resource, whatever the data holds.
        r.contentType = "text/html; charset=utf-8";
        r.headers.emplace_back("Content-Security-Policy",
                               "default-src 'none'; style-src 'unsafe-inline'; img-src data:; frame-ancestors 'self'");
        r.headers.emplace_back("X-Frame-Options", "SAMEORIGIN");
        const std::string page = req.query("page");
        if (page.empty()) {
            r.file = file->path;
            return r;
        }
        const std::size_t n = page.size() <= 7 && page.find_first_not_of("0123456789") == std::string::npos
                                  ? std::size_t(std::stoul(page))
                                  : 0;
        auto body = files->previewPage(owner, id, n);
        if (!body) return errorAnswer(404, "not_found", "A página não existe.");
        r.body = std::move(*body);
        return r;
    }
    r.contentType = file->contentType;
    r.file = file->path;
    r.headers.emplace_back("Content-Disposition", "attachment; filename=\"" + file->downloadName + "\"");
    return r;
}

HttpResponse WebServer::Impl::route(HttpRequest& req, Reply& reply, bool& answered) {
    const std::string path = req.path();
    const bool changes = req.method != "GET" && req.method != "HEAD";
    if (!path.starts_with("/api/") && !path.starts_with("/files/")) {
        if (req.method != "GET" && req.method != "HEAD")
            return errorAnswer(405, "not_allowed", "Método não aceito aqui.");
        return staticAsset(req);
    }
    // Every request that changes something comes from a page of this host.
    if (changes && !RequestSecurity::originAllowed(req, options.origins)) {
        log("refused " + req.method + " " + path + ": origin '" + req.header("origin") +
            "' peer=" + clientAddress(req));
        return errorAnswer(403, "forbidden_origin", "Pedido de outra origem recusado.");
    }
    if (path == "/api/session") {
        if (req.method == "GET") return getSession(req);
        if (req.method == "POST") return signIn(req);
    }
    const std::string token = RequestSecurity::sessionToken(req);
    if (token.empty()) return errorAnswer(401, "unauthenticated", "Entre com operador e senha.");
    if (req.method == "GET" && path.starts_with("/api/forms/"))
        return formEvents(req, path.substr(11), token, reply, answered);

    bool expired = false;
    const auto caller = authenticate(token, &expired);
    if (!caller)
        return errorAnswer(401, "unauthenticated",
                           expired ? "A sessão expirou; entre de novo." : "A sessão foi encerrada; entre de novo.");
    if (changes && !RequestSecurity::csrfMatches(req, token))
        return errorAnswer(403, "bad_csrf", "Pedido sem a marca da sessão; recarregue a página.");

    if (path == "/api/session" && req.method == "DELETE") return signOut(req, token);
    if (path == "/api/forms" && req.method == "POST") return openForm(req, token, *caller);
    if (path.starts_with("/api/forms/") && req.method == "POST")
        return formAction(req, path.substr(11), token, reply, answered);
    if (path == "/api/files" && req.method == "GET") return listFiles(token);
    if (path.starts_with("/files/") && req.method == "GET") return serveFile(req, path.substr(7), token);
    return errorAnswer(404, "not_found", "Este endereço não existe.");
}

WebServer::WebServer(WebOptions options) : m_impl(std::make_unique<Impl>(std::move(options))) {}

WebServer::~WebServer() { stop(); }

void WebServer::start() {
    if (!m_impl->started) m_impl->start();
}

void WebServer::stop() { m_impl->stop(); }

int WebServer::port() const { return m_impl->port; }

std::string WebServer::url() const {
    return std::string(m_impl->options.tls ? "https://" : "http://") +
           net::formatHostPort(m_impl->options.listenHost, m_impl->port);
}

std::string WebServer::databaseTarget() const { return m_impl->dbTarget; }

std::string WebServer::servers() const { return m_impl->servers; }

}  // namespace pla013::web
