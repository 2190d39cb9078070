#include "run/non_finite.h"

#include <cmath>

#include "inventory/number_text.h"
#include "run/inventory_run.h"

namespace arbora {

namespace {

// The input column that gives a projected value that is not finite: each of diameter,
// height and volume its own; for the biomass, which grows with diameter squared times
// height, and the carbon that follows from it, the larger of the two factors.
StandColumn columnGiving(std::string_view value, const ProjectionRow& row) {
    if (value == "average_height") return StandColumn::averageHeight;
    if (value == "stand_volume") return StandColumn::standVolume;
    if (value == "average_diameter") return StandColumn::averageDiameter;
    return row.averageDiameter * row.averageDiameter < row.averageHeight
               ? StandColumn::averageHeight
               : StandColumn::averageDiameter;
}

double inputValue(const InventoryStand& stand, StandColumn column) {
    switch (column) {
        case StandColumn::averageDiameter:
            return stand.averageDiameter;
        case StandColumn::averageHeight:
            return stand.averageHeight;
        case StandColumn::standVolume:
            return stand.standVolume;
        default:
            return stand.area;
    }
}

}  // namespace

std::optional<Rejection> nonFiniteRejection(const StandColumnMap& map, const InventoryStand& stand,
                                            const std::vector<ProjectionRow>& rows) {
    for (const ProjectionRow& row : rows) {
        StandColumn column = StandColumn::area;
        std::string_view value = "total for its area";
        if (const auto field = firstNonFinite(row)) {
            value = *field;
            column = columnGiving(value, row);
        } else if (std::isfinite(row.standVolume * stand.area) &&
                   std::isfinite(row.biomass.stand * stand.area) &&
                   std::isfinite(row.co2e * stand.area)) {
            continue;
        }
        const auto c = static_cast<std::size_t>(column);
        return rowRejection(
            stand.line, stand.standId,
            map.header[c].empty() ? std::string(standColumnNames()[c].name) : map.header[c],
            shortestText(inputValue(stand, column)) + " gives a " + std::string(value) +
                " at year " + std::to_string(row.year) + " that is not a finite number");
    }
    return std::nullopt;
}

std::optional<std::string> nonFiniteTotal(const std::vector<SummaryRow>& totals,
                                          const InventoryRun& run) {
    for (const SummaryRow& total : totals) {
        const std::pair<const char*, double> values[] = {
            {"area", total.area},
            {"volume", total.volume},
            {"biomass", total.biomass},
            {"carbon", total.carbon},
            {"CO2e", total.co2e},
            {"removed volume", total.removedVolume},
            {"removed carbon", total.removedCarbon},
            {"removed CO2e", total.removedCo2e},
            {"products carbon", total.productsCarbon.value_or(0)}};
        for (const auto& [name, value] : values) {
            if (!std::isfinite(value))
                return name + std::string(" of year ") + std::to_string(total.year);
        }
    }
    for (const ProductsRow& row : run.products) {
        if (!std::isfinite(row.inflow) || !std::isfinite(row.stock) ||
            !std::isfinite(row.emission)) {
            return "products carbon of year " + std::to_string(row.year);
        }
    }
    for (const FinanceRow& row : run.finance) {
        for (const double value :
             {row.revenue, row.costs, row.netCashFlow, row.npv, row.liquidationValue,
              row.npvDifference.value_or(0), row.npvWithLiquidation,
              row.npvWithLiquidationDifference.value_or(0)}) {
            if (!std::isfinite(value)) return "finance of scenario " + row.scenario;
        }
    }
    return std::nullopt;
}

}  // namespace arbora
