#pragma once

#include <cstdint>
#include <string_view>

namespace arbora {

// Species numbers as the forester picks them in the Tree species dialog.
enum Species : std::int32_t {
    pinusTabulaeformis = 1,
    pinusArmandii = 2,
    larixPrincipisRuprechtii = 3,
    quercusAliena = 4,
};

// How many species the models know: they are numbered 1 to speciesCount.
constexpr std::int32_t speciesCount = 4;

inline bool isKnownSpecies(std::int32_t species) {
    return species >= 1 && species <= speciesCount;
}

// The botanical name of a known species; empty for any other number.
std::string_view speciesName(std::int32_t species);

// The name Chinese inventories use for a known species, e.g. "油松"; empty for any
// other number.
std::string_view speciesChineseName(std::int32_t species);

}  // namespace arbora
