#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "inventory/inventory_stand.h"
#include "inventory/projection.h"
#include "settings/species.h"

// Totals of an inventory projection: per year of the list, for all species together
// and for each species, the per-hectare values times each stand's area, summed over
// the stands in input order.
namespace arbora {

struct SummaryRow {
    std::int32_t year = 0;
    std::optional<std::int32_t> species;  // empty for all species together
    std::int64_t stands = 0;
    double area = 0;     // ha
    double volume = 0;   // m3
    double biomass = 0;  // t
    double carbon = 0;   // t
    double co2e = 0;     // t
};

class InventorySummary {
  public:
    explicit InventorySummary(std::vector<std::int32_t> years);

    // An accepted stand and its rows, one per year of the list in list order.
    void add(const InventoryStand& stand, const std::vector<ProjectionRow>& rows);

    // Per year: all species first, then each species that has stands, by number.
    std::vector<SummaryRow> rows() const;
    const std::vector<std::int32_t>& years() const { return years_; }
    std::int64_t stands() const { return stands_; }
    double area() const { return area_; }
    // Area (ha) at year 0 by species and age class: class k holds the ages
    // 10k + 1 to 10k + 10.
    const std::map<std::pair<std::int32_t, std::int32_t>, double>& areaByAgeClass() const {
        return areaByAgeClass_;
    }

  private:
    std::vector<std::int32_t> years_;
    std::vector<SummaryRow> all_;                                  // by year
    std::vector<std::array<SummaryRow, speciesCount>> bySpecies_;  // by year, then species - 1
    std::int64_t stands_ = 0;
    double area_ = 0;
    std::map<std::pair<std::int32_t, std::int32_t>, double> areaByAgeClass_;
};

// The fixed-width summary the runner prints: a title naming the input, the counts, and
// per year and species the stands, area, volume, biomass, carbon, carbon dioxide
// equivalent and the yearly carbon change since the previous year of the list.
std::vector<std::string> summaryReportLines(const std::string& inputName,
                                            const InventorySummary& summary, std::int64_t rejected);

}  // namespace arbora
