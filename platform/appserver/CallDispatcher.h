#pragma once
// Turns one request body into one outcome: reads the call, finds the module
// and method (names compared without regard to case, as late binding does),
// checks the arguments against the method's kinds and runs it on a leased
// database session. A success carries the result, for the server to encode
// as it sends it; every failure becomes an error answer with its HTTP
// status; nothing escapes.

#include <memory>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "host/Variant.h"
#include "platform/appserver/BranchScope.h"
#include "platform/appserver/RemoteModule.h"
#include "platform/appserver/SessionPool.h"

namespace pla013::appserver {

struct CallOutcome {
    int status = 200;
    host::Variant result;   // on success
    std::string body;       // the error answer on failure
    std::string call;       // "module.method" as asked, for the log
    std::size_t rows = 0;   // rows of every packet in the result
    std::string errorCode;  // empty on success
    std::string errorMessage;
    std::string branches;  // the branches the call named, for the record: "0002", "0002,0003"
};

class CallDispatcher {
public:
    explicit CallDispatcher(SessionPool& sessions);
    ~CallDispatcher();

    void addModule(std::unique_ptr<RemoteModule> module);
    // caller: the signed-in operator, whose branches bound every branch
    // argument (a list that means all of them becomes the caller's own);
    // null for a server without sign-in, where nothing is bounded. On
    // PostgreSQL the call then runs in a transaction that names the
    // operator to the database (pla013.operador), for its row policies.
    // A stop asked meanwhile interrupts the database statement running: the
    // call then fails (database_error), and the caller, who asked, words it.
    CallOutcome dispatch(std::string_view body, const Caller* caller = nullptr, std::stop_token stop = {});

    // {"module": ["method", ...], ...} for the health answer.
    nlohmann::json describe() const;

    // The HTTP status of an error code of docs/protocol.md.
    static int statusOf(const std::string& errorCode);

private:
    SessionPool& m_sessions;
    std::vector<std::unique_ptr<RemoteModule>> m_modules;
};

}  // namespace pla013::appserver
