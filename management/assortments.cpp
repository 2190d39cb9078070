#include "management/assortments.h"

#include <cmath>
#include <span>

#include "volume/merchantable_volume.h"

namespace arbora {
namespace {

// The row of the table for the diameter class of d; null below the smallest class.
const AssortmentRow* rowFor(std::span<const AssortmentRow> rows, double diameter) {
    if (rows.empty() || !(diameter >= 0)) return nullptr;
    const double diameterClass = 2 * std::floor((diameter + 1) / 2);
    if (diameterClass < rows.front().diameterClass) return nullptr;
    if (diameterClass >= rows.back().diameterClass) return &rows.back();
    for (const AssortmentRow& row : rows) {
        if (row.diameterClass == diameterClass) return &row;
    }
    return &rows.back();  // the tables hold every even class between their ends
}

}  // namespace

AssortmentVolumes sortIntoAssortments(std::int32_t species, std::int32_t outputClass,
                                      double diameter, double volume) {
    AssortmentVolumes sorted;
    const auto tables = assortmentTables(species);
    if (tables.empty()) {
        sorted.unsorted = volume;
        return sorted;
    }
    const std::size_t table = tables.size() > 1 && outputClass >= 1 &&
                                      static_cast<std::size_t>(outputClass) <= tables.size()
                                  ? static_cast<std::size_t>(outputClass - 1)
                                  : 0;
    const AssortmentRow* row = rowFor(tables[table].rows, diameter);
    if (row == nullptr) {
        sorted.unsorted = volume;
        return sorted;
    }
    const double sum = static_cast<double>(row->roughTimber) + row->timberMachining +
                       row->fuelWood + row->wasteWood;
    sorted.roughTimber = volume * (row->roughTimber / sum);
    sorted.timberMachining = volume * (row->timberMachining / sum);
    sorted.fuelWood = volume * (row->fuelWood / sum);
    sorted.wasteWood = volume * (row->wasteWood / sum);
    return sorted;
}

}  // namespace arbora
