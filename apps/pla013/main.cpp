// pla013: the command-line host of the dish report module.

#include <iostream>
#include <string>
#include <vector>

#include "platform/runtime/CommandLine.h"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    return pla013::runtime::runCommandLine(args, std::cin, std::cout, std::cerr);
}
