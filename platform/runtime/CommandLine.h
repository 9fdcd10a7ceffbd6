#pragma once
#include <istream>
#include <ostream>
#include <string>
#include <vector>

namespace pla013::runtime {

// The command-line host: `pla013 [context options] SUBCOMMAND ...`.
// Returns the exit status: 0 success, 1 a refusal or failure of the job,
// 2 a usage error or a script step that could not run.
int runCommandLine(std::vector<std::string> args, std::istream& in, std::ostream& out, std::ostream& err);

}  // namespace pla013::runtime
