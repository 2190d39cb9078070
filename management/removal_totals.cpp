#include "management/removal_totals.h"

#include <algorithm>

namespace arbora {

RemovalTotals::RemovalTotals(std::vector<std::int32_t> years, std::vector<std::string> scenarios)
    : years_(std::move(years)) {
    for (const std::string& scenario : scenarios) {
        for (const std::int32_t year : years_)
            periods_.push_back({scenario, year, {}});
    }
}

void RemovalTotals::add(std::size_t scenario, const Removal& removal, double area) {
    const auto at = std::lower_bound(years_.begin(), years_.end(), removal.year);
    if (at == years_.end()) return;
    AssortmentVolumes& total =
        periods_[scenario * years_.size() + static_cast<std::size_t>(at - years_.begin())].volume;
    const AssortmentVolumes& v = removal.assortments;
    total.roughTimber += v.roughTimber * area;
    total.timberMachining += v.timberMachining * area;
    total.fuelWood += v.fuelWood * area;
    total.wasteWood += v.wasteWood * area;
    total.unsorted += v.unsorted * area;
}

}  // namespace arbora
