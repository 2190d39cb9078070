#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "management/removal.h"

// The volume removed from the whole inventory by assortment, per scenario and period of
// the years list, for the estate report's removals chart.
namespace arbora {

struct RemovalPeriod {
    std::string scenario;
    std::int32_t year = 0;     // the listed year that ends the period
    AssortmentVolumes volume;  // m3: per-hectare volumes times the stand's area, summed
};

class RemovalTotals {
  public:
    RemovalTotals(std::vector<std::int32_t> years, std::vector<std::string> scenarios);
    // A removal of a stand of `area` ha under the scenario; it counts in the period of the
    // first listed year not before it, and not at all after the last.
    void add(std::size_t scenario, const Removal& removal, double area);
    // Per scenario, then listed year.
    const std::vector<RemovalPeriod>& periods() const { return periods_; }

  private:
    std::vector<std::int32_t> years_;
    std::vector<RemovalPeriod> periods_;
};

}  // namespace arbora
