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

inline bool isKnownSpecies(std::int32_t species) {
    return species >= 1 && species <= 4;
}

// The botanical name of a known species; empty for any other number.
std::string_view speciesName(std::int32_t species);

}  // namespace arbora
