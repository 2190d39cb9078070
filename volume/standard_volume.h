#pragma once

#include <cstdint>

#include "report/report_channel.h"
#include "settings/stand_settings.h"

namespace arbora {

// Stem volume of one tree (m3) from its diameter at breast height (cm) and its
// height (m), by the standard volume equation of a known species (1 to 4).
double standardVolume(std::int32_t species, double diameter, double height);

// The standard volume table of the current species: one tree's volume for the
// diameters 6 to 30 cm and the heights 6 to 20 m. Writes "standard volume table.txt".
void writeStandardVolumeTable(const StandSettings& settings, ReportChannel& channel);

}  // namespace arbora
