#pragma once
// The system's printers through CUPS.

#include <optional>
#include <string>

namespace pla013::reports {

class CupsPrinter {
public:
    // The default destination (lpoptions, environment or server default);
    // nothing when no printer is configured or no server answers.
    static std::optional<std::string> defaultPrinter();
    // Queues a file; returns the job number. host::EHostError with the
    // printing system's reason on failure.
    static int printFile(const std::string& printer, const std::string& path, const std::string& title,
                         const std::string& mimeType);
};

}  // namespace pla013::reports
