#pragma once

#include <string>

#include "host/Variant.h"
#include "platform/reports/ReportDefinition.h"

namespace pla013::reports {

// A parameter of a run with the value it ended up with.
struct ReportParam {
    std::string name;
    ParamType type = ParamType::String;
    host::Variant value;  // unassigned/null when unbound
};

}  // namespace pla013::reports
