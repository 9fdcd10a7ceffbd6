// pla013: the command-line host of the dish report module.

#include <fstream>
#include <iostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/db/DatabaseInitializer.h"
#include "host/Errors.h"
#include "host/ModuleAbi.h"
#include "platform/runtime/CommandLine.h"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    return pla013::runtime::runCommandLine(args, std::cin, std::cout, std::cerr);
}
