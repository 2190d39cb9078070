#pragma once

#include <string>

// What every run of the runner records about itself.
namespace arbora {

// The program's version, e.g. "1.0".
std::string programVersion();

// The time now, as the run table records it: "2026-12-08T15:44:50Z".
std::string utcNow();

}  // namespace arbora
