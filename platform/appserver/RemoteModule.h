#pragma once
// A remote data module: a named set of methods that clients call late-bound,
// by module and method name, with positional arguments of fixed kinds.

#include <functional>
#include <string>
#include <vector>

#include "host/Ports.h"
#include "host/Variant.h"

namespace pla013::appserver {

// What a method gets for one call. The arguments have been checked against
// the method's kinds: their number and kinds are right, texts are Text,
// int32 values Integer, dates Date.
struct MethodCall {
    host::IDatabase& db;
    const std::vector<host::CallArg>& args;
    // Set by a method that caught a database error itself: its session is
    // then closed rather than reused.
    bool sessionFailed = false;
};

// An argument that names branches, checked against the caller's scope
// before the method runs (docs/protocol.md, *Sign-in*).
struct BranchArg {
    enum class Form {
        Code,  // one branch code; empty names none
        List,  // a branch list (BranchList): "T" becomes the caller's own branches
    };
    std::size_t index;
    Form form;
};

struct RemoteMethod {
    std::string name;
    std::vector<host::CallArg::Kind> argKinds;
    std::function<host::Variant(MethodCall&)> run;
    // Every argument that names a branch: a method that reads a branch's
    // rows must list it here, or a signed-in caller could read any branch.
    std::vector<BranchArg> branchArgs = {};
};

class RemoteModule {
public:
    virtual ~RemoteModule();
    // As clients name it, e.g. "PLA01303.rdmEmissaoReceitas".
    virtual const std::string& name() const = 0;
    virtual const std::vector<RemoteMethod>& methods() const = 0;
};

}  // namespace pla013::appserver
