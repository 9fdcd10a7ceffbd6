// A report definition read from its JSON text. EHostError (naming the file and
// the place) is the documented refusal of a bad definition; anything else is a
// fault, since definitions may come from files the user was handed.

#include <cstddef>
#include <cstdint>
#include <string>

#include "host/Errors.h"
#include "platform/reports/ReportDefinition.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    try {
        pla013::reports::ReportDefinition::parse(text, "PLA01399.QR2");
    } catch (const pla013::host::EHostError&) {}
    return 0;
}
