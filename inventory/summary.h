#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "inventory/inventory_stand.h"
#include "inventory/projection.h"
#include "settings/species.h"

// Totals of an inventory projection: per scenario and year of the list, for all species
// together and for each species, the per-hectare values times each stand's area, summed
// over the stands in input order.
namespace arbora {

struct SummaryRow {
    std::string scenario;
    std::int32_t year = 0;
    std::optional<std::int32_t> species;  // empty for all species together
    std::int64_t stands = 0;
    double area = 0;     // ha
    double volume = 0;   // m3
    double biomass = 0;  // t
    double carbon = 0;   // t
    double co2e = 0;     // t
    // Removed in the years after the previous year of the list up to this one (from year
    // 1 for the first year of the list), by the species of the cohort removed.
    double removedVolume = 0;  // m3
    double removedCarbon = 0;  // t
    double removedCo2e = 0;    // t
    // Carbon stored in wood products at this year, t; for all species only.
    std::optional<double> productsCarbon;
};

// A scenario against the untreated baseline at one year of the list, for all species.
struct ComparisonRow {
    std::string scenario;
    std::int32_t year = 0;
    double carbon = 0;                   // t standing
    double co2e = 0;                     // t standing
    double cumulativeRemovedCarbon = 0;  // t removed in years 1 to this one
    double carbonDifference = 0;         // scenario minus baseline
    double co2eDifference = 0;
    double cumulativeRemovedCarbonDifference = 0;
    double productsCarbon = 0;                // t in wood products
    double carbonWithProductsDifference = 0;  // standing plus products, minus the baseline's
    // With prices: the scenario's NPV including the discounted liquidation value at the
    // last year, and its difference from the baseline's, in the prices file's money. They
    // are the run's, over the whole horizon: the same on each year's row.
    std::optional<double> npvWithLiquidation{};
    std::optional<double> npvWithLiquidationDifference{};
};

class InventorySummary {
  public:
    // The scenarios in output order, the baseline first.
    InventorySummary(std::vector<std::int32_t> years, std::vector<std::string> scenarios);

    // An accepted stand and its rows under a scenario, one per year of the list in list
    // order; each row counts under the species of the cohort standing.
    void add(std::size_t scenario, const InventoryStand& stand,
             const std::vector<ProjectionRow>& rows);
    // A removal of a stand under a scenario in `year` (after the stand's age), per hectare.
    void addRemoval(std::size_t scenario, const InventoryStand& stand, std::int32_t year,
                    std::int32_t species, double volume, double carbon, double co2e);

    // Per scenario and year: all species first, then each species that has stands.
    std::vector<SummaryRow> rows() const;
    // Per scenario other than the baseline and year.
    std::vector<ComparisonRow> comparison() const;
    const std::vector<std::int32_t>& years() const { return years_; }
    const std::vector<std::string>& scenarios() const { return scenarios_; }
    std::int64_t stands() const { return stands_; }
    double area() const { return area_; }
    // Area (ha) at year 0 by species and age class: class k holds the ages
    // 10k + 1 to 10k + 10.
    const std::map<std::pair<std::int32_t, std::int32_t>, double>& areaByAgeClass() const {
        return areaByAgeClass_;
    }

  private:
    struct YearTotals {
        SummaryRow all;
        std::array<SummaryRow, speciesCount> bySpecies;
    };
    std::vector<std::int32_t> years_;
    std::vector<std::string> scenarios_;
    std::vector<std::vector<YearTotals>> totals_;  // by scenario, then year
    std::int64_t stands_ = 0;
    double area_ = 0;
    std::map<std::pair<std::int32_t, std::int32_t>, double> areaByAgeClass_;
};

// Sets the carbon in wood products (t) of the all-species rows and of the comparison
// from `productsCarbonAt(scenario, year)`, and with it the comparison's difference in
// standing plus products carbon from the baseline.
void addProductsCarbon(
    std::vector<SummaryRow>& rows, std::vector<ComparisonRow>& comparison,
    const std::function<double(std::string_view, std::int32_t)>& productsCarbonAt);

// The fixed-width summary the runner prints: a title naming the input, the counts, and
// per year and species the stands, area, volume, biomass, carbon, carbon dioxide
// equivalent and the yearly carbon change since the previous year of the list; with
// scenarios, one such table per scenario with the removals, then the comparison.
// `comparison` is the summary's, with the products carbon. `rejected` counts stands;
// rows of a treatments file rejected are counted apart, when there are any.
std::vector<std::string> summaryReportLines(const std::string& inputName,
                                            const InventorySummary& summary, std::int64_t rejected,
                                            const std::vector<ComparisonRow>& comparison,
                                            std::int64_t rejectedTreatmentRows = 0);

}  // namespace arbora
