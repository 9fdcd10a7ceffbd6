// pla013: the command-line host of the dish report module.

#include <iostream>
#include <string>
#include <vector>

#include "platform/runtime/CommandLine.h"
#ifdef PLA013_WITH_PDF
#include "platform/reports/qt/GuiProcess.h"
#endif

int main(int argc, char** argv) {
#ifdef PLA013_WITH_PDF
    // Before any thread starts: the embedded server's run from the first
    // command on, and the PDF renderer needs what this sets up.
    pla013::reports::GuiProcess pages("pla013");
#endif
    std::vector<std::string> args(argv + 1, argv + argc);
    return pla013::runtime::runCommandLine(args, std::cin, std::cout, std::cerr);
}
