#include "platform/reports/CupsPrinter.h"

#include <cups/cups.h>

#include "host/Errors.h"

namespace pla013::reports {

std::optional<std::string> CupsPrinter::defaultPrinter() {
    cups_dest_t* dest = cupsGetNamedDest(CUPS_HTTP_DEFAULT, nullptr, nullptr);
    if (!dest) return std::nullopt;
    std::string name = dest->name ? dest->name : "";
    cupsFreeDests(1, dest);
    if (name.empty()) return std::nullopt;
    return name;
}

int CupsPrinter::printFile(const std::string& printer, const std::string& path, const std::string& title,
                           const std::string& mimeType) {
    cups_option_t* options = nullptr;
    int count = 0;
    if (!mimeType.empty()) count = cupsAddOption("document-format", mimeType.c_str(), count, &options);
    int job = cupsPrintFile(printer.c_str(), path.c_str(), title.c_str(), count, options);
    cupsFreeOptions(count, options);
    if (job == 0) {
        const char* why = cupsLastErrorString();
        throw host::EHostError("A impressão em '" + printer + "' falhou: " + (why ? why : "erro desconhecido") + ".");
    }
    return job;
}

}  // namespace pla013::reports
