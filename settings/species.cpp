#include "settings/species.h"

namespace arbora {

namespace {

struct SpeciesNames {
    std::string_view latin;
    std::string_view chinese;
};

// By species number - 1.
constexpr SpeciesNames names[speciesCount] = {
    {"Pinus tabulaeformis", "油松"},
    {"Pinus armandii", "华山松"},
    {"Larix principis-ruprechtii", "华北落叶松"},
    {"Quercus aliena", "槲栎"},
};

}  // namespace

std::string_view speciesName(std::int32_t species) {
    return isKnownSpecies(species) ? names[species - 1].latin : std::string_view{};
}

std::string_view speciesChineseName(std::int32_t species) {
    return isKnownSpecies(species) ? names[species - 1].chinese : std::string_view{};
}

}  // namespace arbora
