#pragma once
// Turns one request body into one answer: reads the call, finds the module
// and method (names compared without regard to case, as late binding does),
// checks the arguments against the method's kinds, runs it on a leased
// database session and encodes the result. Every failure becomes an error
// answer with its HTTP status; nothing escapes.

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/appserver/BranchScope.h"
#include "platform/appserver/RemoteModule.h"
#include "platform/appserver/SessionPool.h"

namespace pla013::appserver {

struct CallOutcome {
    int status = 200;
    std::string body;
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
    CallOutcome dispatch(std::string_view body, const Caller* caller = nullptr);

    // {"module": ["method", ...], ...} for the health answer.
    nlohmann::json describe() const;

    // The HTTP status of an error code of docs/protocol.md.
    static int statusOf(const std::string& errorCode);

private:
    SessionPool& m_sessions;
    std::vector<std::unique_ptr<RemoteModule>> m_modules;
};

}  // namespace pla013::appserver
