#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "growth/normal_stand.h"
#include "report/report_channel.h"
#include "settings/stand_settings.h"

namespace arbora {

// The forester's stand projected to the simulating age.
struct ProjectedStand {
    std::int32_t age = 0;              // years, the simulating age
    double diameter = 0;               // cm
    double height = 0;                 // m
    std::int32_t treesPerHectare = 0;  // whole trees
    double volume = 0;                 // m3/ha
};

// The age at which the normal stand of the species lies outside its growth curves,
// so that the stand cannot be projected from or to it: the one type of this fact for the
// simulation, the inventory and the scenarios. 64 bits: an inventory's stand age plus
// its offset may pass the 32-bit range, and is outside the curves then too.
struct AgeOutsideCurves {
    std::int64_t age;
};

// Projects the stand of the settings (a known species) from its stand age to the
// simulating age in one step: each of diameter, height, tree count and volume keeps the
// ratio to the normal stand that it has at the stand age. The tree count ratio is formed
// first and the projected count truncated after; a count beyond the 32-bit range is
// held at the nearest end of it.
std::variant<ProjectedStand, AgeOutsideCurves> projectStand(const StandSettings& settings);

// The same projection from the normal stands of the species at the stand age (normal1)
// and at the simulating age (normal2), for callers that have them at hand.
ProjectedStand projectStandFrom(const StandSettings& settings, const NormalStand& normal1,
                                const NormalStand& normal2);

// The growth and yield simulation: the stand's diameter, height, density and volume at
// the simulating age. Writes "Sim1.txt"; the banner goes to the screen only.
void runGrowthAndYield(const StandSettings& settings, ReportChannel& channel);

// The start both simulations share: the banner of the layout and title to the screen
// only, the report file opened, the species heading and the stand projected. Empty when
// there is nothing to project, after writing why in place of the results: the unknown
// species number, or "  Age 5 is outside the growth curves of this species.".
std::optional<ProjectedStand> startSimulation(const StandSettings& settings, ReportChannel& channel,
                                              std::string_view bannerLayout, std::string_view title,
                                              const std::string& fileName);

}  // namespace arbora
