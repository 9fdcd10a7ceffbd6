#pragma once
// The administrator's commands of sign-in and audit:
//
//   pla013 operator add CODE [--password-stdin]
//   pla013 operator passwd CODE [--password-stdin] [--expire]
//   pla013 operator lock CODE | unlock CODE | list
//   pla013 audit [--since YYYY-MM-DD] [--operator CODE] [--prune-before YYYY-MM-DD]
//
// A password comes from the terminal without echo (asked twice), or with
// --password-stdin as the first line of standard input.

#include <functional>
#include <iosfwd>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/runtime/HostOptions.h"

namespace pla013::runtime {

int operatorCommand(const HostOptions& options, const std::vector<std::string>& args, std::istream& in,
                    std::ostream& out, std::ostream& err);
int auditCommand(const HostOptions& options, const std::vector<std::string>& args, std::ostream& out,
                 std::ostream& err);

// The command line's way of asking for a password when the server requires
// sign-in: the operator of --operator, the password asked on the terminal
// (three tries), refusals written to err.
std::function<std::optional<std::pair<std::string, std::string>>(const std::string&, const std::string&)>
terminalCredentials(std::ostream& err);

// Reads a secret from the controlling terminal with the echo off, after
// showing prompt there; nothing when the process has no terminal.
std::optional<std::string> readSecretFromTerminal(const std::string& prompt);

}  // namespace pla013::runtime
