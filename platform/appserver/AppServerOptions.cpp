#include "platform/appserver/AppServerOptions.h"

namespace pla013::appserver {

std::optional<LogLevel> parseLogLevel(std::string_view text) {
    if (text == "quiet") return LogLevel::Quiet;
    if (text == "info") return LogLevel::Info;
    if (text == "debug") return LogLevel::Debug;
    return std::nullopt;
}

const char* logLevelName(LogLevel level) {
    switch (level) {
        case LogLevel::Quiet: return "quiet";
        case LogLevel::Info: return "info";
        case LogLevel::Debug: return "debug";
    }
    return "info";
}

}  // namespace pla013::appserver
