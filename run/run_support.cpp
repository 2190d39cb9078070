#include "run/run_support.h"

#include <sys/stat.h>

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

bool sameFile(const std::string& a, const std::string& b) {
    struct stat sa, sb;
    return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

std::string programVersion() {
    return ARBORA_VERSION;
}

}  // namespace arbora
