#pragma once
#include <istream>
#include <ostream>
#include <string>
#include <vector>

namespace pla013::runtime {

// The command-line host: `pla013 [context options] SUBCOMMAND ...`.
// Returns the exit status: 0 success, 1 a refusal or failure of the job,
// 2 a usage error or a script step that could not run. Everything written to
// out and err passes through PrintableStream: no control character of a
// server's or a file's text reaches the terminal raw.
int runCommandLine(std::vector<std::string> args, std::istream& in, std::ostream& out, std::ostream& err);

}  // namespace pla013::runtime
