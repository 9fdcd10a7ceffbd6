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

struct RemoteMethod {
    std::string name;
    std::vector<host::CallArg::Kind> argKinds;
    std::function<host::Variant(MethodCall&)> run;
};

class RemoteModule {
public:
    virtual ~RemoteModule();
    // As clients name it, e.g. "PLA01303.rdmEmissaoReceitas".
    virtual const std::string& name() const = 0;
    virtual const std::vector<RemoteMethod>& methods() const = 0;
};

}  // namespace pla013::appserver
