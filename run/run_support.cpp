#include "run/run_support.h"

#include <ctime>

#ifndef ARBORA_VERSION
#define ARBORA_VERSION "unknown"
#endif

namespace arbora {

std::string utcNow() {
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    ::gmtime_r(&now, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text;
}

std::string programVersion() {
    return ARBORA_VERSION;
}

}  // namespace arbora
