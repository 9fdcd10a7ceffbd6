#pragma once
#include <ostream>
#include <string>
#include <vector>

#include "platform/runtime/HostOptions.h"

namespace pla013::runtime {

// `pla013 report`: fills the form's filters from named options exactly as a
// person would (the same handlers, checks and messages) and presses preview,
// print or save. Returns 0 when the report ran, 1 when the form refused
// (the message goes to err), 2 on a usage error.
int runReportCommand(const HostOptions& options, const std::vector<std::string>& args, std::ostream& out,
                     std::ostream& err);

std::string reportUsage(const HostOptions& options);

}  // namespace pla013::runtime
