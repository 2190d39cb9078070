#pragma once

#include "inventory/projection_output.h"

// The tables of the plan command's SQLite output, besides the stands and the run.
namespace arbora {

// stand_id, regime, offered (1 or 0), reason (why not offered), npv, liquidation_value,
// removed_volume (m3 over the stand's area, all periods), carbon_last_year (t C, forest
// and products).
extern const OutputTable regimeOptionsTable;
// stand_id, regime, share: the stand's area share under the regime, for shares above 0.
extern const OutputTable planTable;
// period, start_year, end_year; removed volume (m3/yr and m3) and by assortment (m3),
// standing volume, forest and product carbon at the end year, revenue and costs; then
// the baseline's removed, standing, forest carbon, product carbon, revenue and costs.
extern const OutputTable planPeriodsTable;
// name, period, year, value, bound, slack, shadow_price, unit.
extern const OutputTable planConstraintsTable;
// step, carbon_floor (t C), npv, carbon (t C at the last year), cost_per_t_co2e (the
// NPV given up per t CO2e more than the step before; NULL for the first step).
extern const OutputTable frontierTable;

}  // namespace arbora
