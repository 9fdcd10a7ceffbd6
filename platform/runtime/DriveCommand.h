#pragma once
#include <istream>
#include <ostream>
#include <string>
#include <vector>

#include "platform/runtime/HostOptions.h"

namespace pla013::runtime {

// `pla013 [context options] drive`: the interactive driver. Reads one step a
// line from in as the lines come and writes JSON events to out (docs/script.md,
// *The interactive driver*); the application server is called with the
// session of PLA013_SESSION_TOKEN when it is set (a session signed in by the
// web host), never ended here. Exit status 0 when the input ended, 1 when
// the host could not start (the reason as a "fatal" event and on err).
int driveCommand(const HostOptions& options, const std::vector<std::string>& args, std::istream& in, std::ostream& out,
                 std::ostream& err);

}  // namespace pla013::runtime
