#pragma once

#include <cstdint>
#include <optional>

#include "report/report_channel.h"
#include "settings/stand_settings.h"

namespace arbora {

// A fully stocked (normal) stand of one species at one age.
struct NormalStand {
    std::int32_t age = 0;              // years
    double diameter = 0;               // cm, mean diameter at breast height
    double height = 0;                 // m, mean height
    double basalArea = 0;              // m2/ha
    std::int32_t treesPerHectare = 0;  // whole trees, the fraction dropped
    double volume = 0;                 // m3/ha
};

// Basal area (m2) of a tree of the given diameter (cm), with pi taken as 3.14.
double treeBasalArea(double diameter);

// The normal stand of a known species (1 to 4) at an age, from the species' diameter,
// height and basal-area curves. The tree count is basal area over mean-tree basal area
// with the fraction dropped; the volume is the mean tree's standard volume times that
// whole count.
//
// Empty when the age lies outside the curves: an age below 1, a diameter or height
// that is not a positive finite number, or a stand of less than one or more than
// 2147483647 trees per hectare.
std::optional<NormalStand> normalStandAt(std::int32_t species, std::int32_t age);

// The ages the normal stand yield table covers. Projections beyond the last are
// extrapolated: the curves go on, but were fitted to stands no older.
constexpr std::int32_t yieldTableFirstAge = 20, yieldTableLastAge = 80;

// The first age at which the curves of a known species give a normal stand (11, 4, 3
// and 1 for species 1 to 4): a stand younger than that cannot be projected.
std::int32_t firstCurveAge(std::int32_t species);

// The normal stand yield table of the current species, ages 20 to 80 in steps of 5.
// Writes "normal stand yield table.txt".
void writeNormalYieldTable(const StandSettings& settings, ReportChannel& channel);

}  // namespace arbora
