#include "settings/species.h"

namespace arbora {

std::string_view speciesName(std::int32_t species) {
    switch (species) {
        case pinusTabulaeformis:
            return "Pinus tabulaeformis";
        case pinusArmandii:
            return "Pinus armandii";
        case larixPrincipisRuprechtii:
            return "Larix principis-ruprechtii";
        case quercusAliena:
            return "Quercus aliena";
        default:
            return {};
    }
}

}  // namespace arbora
