#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "biomass/biomass.h"
#include "growth/growth_and_yield.h"
#include "growth/normal_stand.h"
#include "inventory/inventory_stand.h"
#include "settings/species.h"

// An inventory stand at each year of a list, on the models of the two simulations.
namespace arbora {

// Year offsets from each stand's own age, from a list such as "0,5,10:50:10": numbers
// and start:stop:step ranges, whole numbers of at least 0; merged and sorted. Empty
// with a sentence saying what is wrong.
struct YearsList {
    std::vector<std::int32_t> offsets;
    std::string problem;
};
YearsList parseYearsList(std::string_view text);
constexpr std::string_view defaultYearsList = "0:50:10";
// The most years a list holds: every year from 0 to 10,000.
constexpr std::size_t mostYears = 10001;

// The offsets as a comma-separated list, e.g. "0,10,20".
std::string yearsText(const std::vector<std::int32_t>& offsets);

// One stand at one year of the list, per hectare.
struct ProjectionRow {
    std::int32_t year = 0;  // offset from the stand's age
    std::int32_t age = 0;
    std::int32_t species = 0;       // of the cohort standing
    double averageDiameter = 0;     // cm
    double averageHeight = 0;       // m
    std::int32_t standDensity = 0;  // trees/ha
    double standVolume = 0;         // m3/ha
    BiomassComponents biomass;      // t/ha
    BiomassComponents carbon;       // t/ha
    double co2e = 0;                // t/ha, carbon dioxide of the stand's carbon
};

// The first value of the row that is not a finite number, by its name in the output
// ("average_diameter", "biomass_stem", ..., "co2e"); empty when every value is finite.
// A stand far outside what the models were fitted on (a diameter of 1e308, say) can
// give such values, and none may reach an output or a total.
std::optional<std::string_view> firstNonFinite(const ProjectionRow& row);

// Carbon dioxide equivalent of a carbon stock: carbon * 44 / 12, in that order.
double carbonDioxideEquivalent(double carbon);

// Projects stands as the simulations do. Year 0 is the stand as measured; year k is the
// stand projected to its age + k by the growth and yield simulation's projection, with
// the biomass and carbon the biomass and carbon simulation computes for that age. The
// normal stands of each species and age are worked out once and kept.
class InventoryProjector {
  public:
    // The rows of the stand for each offset, in the order given, into `rows` (emptied
    // first, its memory kept for the next stand); or the first age at which the growth
    // curves of the species do not hold.
    std::optional<AgeOutsideCurves> project(const InventoryStand& stand,
                                      const std::vector<std::int32_t>& offsets,
                                      std::vector<ProjectionRow>& rows);
    // The same rows in a vector of their own.
    std::variant<std::vector<ProjectionRow>, AgeOutsideCurves> project(
        const InventoryStand& stand, const std::vector<std::int32_t>& offsets);

    // The normal stand of a known species at an age, kept for later calls; empty outside
    // the growth curves. The reference is valid until the next call.
    const std::optional<NormalStand>& normalStand(std::int32_t species, std::int32_t age);

  private:
    // A normal stand once worked out: `stand` is empty outside the growth curves.
    struct Kept {
        bool known = false;
        std::optional<NormalStand> stand;
    };
    static constexpr std::int32_t keptAges = 2000;
    std::array<std::vector<Kept>, speciesCount> kept_;
    std::optional<NormalStand> unkept_;
};

}  // namespace arbora
