#pragma once

#include <cstdint>

#include "report/report_channel.h"
#include "settings/stand_settings.h"

namespace arbora {

// Biomass, or carbon, of a stand per hectare by tree component, in t/ha.
struct BiomassComponents {
    double stem = 0;
    double bark = 0;
    double branch = 0;
    double foliage = 0;
    double root = 0;
    double stand = 0;  // stem + bark + branch + foliage + root, added in that order
};

// Biomass of a stand of a known species (1 to 4) from its mean diameter (cm), mean
// height (m) and trees per hectare. Each component's mean tree weighs
// w = exp(b * ln(X) - a) kg, with X = D * D * H for stem and bark and X = D for branch,
// foliage and root; the stand holds w * N / 1000 tonnes of it.
BiomassComponents componentBiomass(std::int32_t species, double diameter, double height,
                                   double treesPerHectare);

// Carbon held in each component: its biomass times the component's carbon fraction;
// the stand's carbon is the sum of the component carbons.
BiomassComponents carbonStock(const BiomassComponents& biomass);

// The biomass table of the current species for the normal stand at ages 20 to 80.
// Writes "biomass table.txt".
void writeBiomassTable(const StandSettings& settings, ReportChannel& channel);

// The biomass and carbon simulation: biomass and carbon of the stand projected to the
// simulating age. Writes "Sim2.txt"; the banner goes to the screen only.
void runBiomassAndCarbon(const StandSettings& settings, ReportChannel& channel);

}  // namespace arbora
