// A module file that reaches past the framework.
#include <string>
#include <httplib.h>
#include <nlohmann/json.hpp>
#include "host/Ports.h"
#include "platform/net/Protocol.h"
#include "form/Other.h"
