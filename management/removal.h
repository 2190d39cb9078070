#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "biomass/biomass.h"

// What a treatment takes out of a stand, per hectare.
namespace arbora {

// The untreated baseline. Every stand is projected under it, and every other scenario
// is compared with it; a treatments file cannot name it.
constexpr std::string_view baselineScenario = "none";

enum class TreatmentAction { thin, clearcut };

// Volume by assortment of the merchantable volume tables, m3/ha. Wood that no table
// sorts (Larix principis-ruprechtii, trees below a table's smallest diameter class) is
// `unsorted`. The five add up to the volume they were sorted from, to rounding.
struct AssortmentVolumes {
    double roughTimber = 0;
    double timberMachining = 0;
    double fuelWood = 0;
    double wasteWood = 0;
    double unsorted = 0;
};

// One treatment carried out on one stand in one scenario.
struct Removal {
    std::string scenario;
    std::string standId;
    std::int32_t year = 0;     // years after the stand's measured age
    std::int32_t age = 0;      // the cohort's age when it is treated
    std::int32_t species = 0;  // the cohort's species, 1 to 4
    TreatmentAction action = TreatmentAction::thin;
    bool regenerated = false;  // a clear-felling followed by planting
    std::int32_t trees = 0;    // trees/ha removed
    double volume = 0;         // m3/ha removed
    AssortmentVolumes assortments;
    BiomassComponents biomass;  // t/ha removed, before minus after by component
    BiomassComponents carbon;   // t/ha removed
    double co2e = 0;            // t/ha, of carbon.stand
};

}  // namespace arbora
