#pragma once

#include <cstdint>

namespace arbora {

// The one record of what the forester entered: the current tree species and the
// initial stand that the two simulations project. Every start begins from these
// defaults; nothing is stored on disk.
struct StandSettings {
    double standVolume = 150.0;        // m3/ha, standing volume of the initial stand
    double averageHeight = 12.0;       // m
    double averageDiameter = 12.0;     // cm, at breast height
    std::int32_t standDensity = 2000;  // trees/ha
    std::int32_t simulatingAge = 50;   // years, the age the simulations project to
    std::int32_t standAge = 20;        // years
    std::int32_t siteClass = 1;        // shown and kept; no report depends on it
    std::int32_t species = 1;          // 1 to 4, see species.h; any value may be stored
};

}  // namespace arbora
