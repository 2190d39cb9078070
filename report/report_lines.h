#pragma once

#include <cstdint>

#include "report/report_channel.h"

// Lines that several reports share.
namespace arbora {

// "  Unknown tree species 7: choose 1 to 4 in Settings, Tree species." to the screen
// and the report file, written in place of the rows of the standard volume and site
// index tables and of the results of the simulations when the species number names
// none of the four species.
void writeUnknownSpecies(ReportChannel& channel, std::int32_t species);

// An empty line, then "  <species name>:", to the screen and the report file.
void writeSpeciesHeading(ReportChannel& channel, std::int32_t species);

}  // namespace arbora
