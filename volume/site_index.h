#pragma once

#include <cstdint>

#include "report/report_channel.h"
#include "settings/stand_settings.h"

namespace arbora {

// Stand height (m) at an age (years) of a stand of the given site index (its height
// at the reference age of 20 years), for a known species (1 to 4):
// H = SI * exp(b * (0.05 - 1/A)).
double siteIndexHeight(std::int32_t species, double siteIndex, std::int32_t age);

// The site index table of the current species: heights at the ages 20 to 60 for the
// site indexes 8 to 15. Writes "site index table.txt".
void writeSiteIndexTable(const StandSettings& settings, ReportChannel& channel);

}  // namespace arbora
