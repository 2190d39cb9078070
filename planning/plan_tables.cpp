#include "planning/plan_tables.h"

namespace arbora {
namespace {

constexpr OutputColumn regimeOptionsColumns[] = {
    {"stand_id", OutputType::text, true},
    {"regime", OutputType::text, true},
    {"offered", OutputType::integer, true},
    {"reason", OutputType::text},
    {"npv", OutputType::real},
    {"liquidation_value", OutputType::real},
    {"removed_volume", OutputType::real},
    {"carbon_last_year", OutputType::real},
};

constexpr OutputColumn planColumns[] = {
    {"stand_id", OutputType::text, true},
    {"regime", OutputType::text, true},
    {"share", OutputType::real, true},
};

constexpr OutputColumn planPeriodsColumns[] = {
    {"period", OutputType::integer, true},
    {"start_year", OutputType::integer, true},
    {"end_year", OutputType::integer, true},
    {"removed_per_year", OutputType::real},
    {"removed_volume", OutputType::real},
    {"rough_timber", OutputType::real},
    {"timber_machining", OutputType::real},
    {"fuel_wood", OutputType::real},
    {"waste_wood", OutputType::real},
    {"unsorted", OutputType::real},
    {"standing_volume", OutputType::real},
    {"forest_carbon", OutputType::real},
    {"product_carbon", OutputType::real},
    {"revenue", OutputType::real},
    {"costs", OutputType::real},
    {"baseline_removed_volume", OutputType::real},
    {"baseline_standing_volume", OutputType::real},
    {"baseline_forest_carbon", OutputType::real},
    {"baseline_product_carbon", OutputType::real},
    {"baseline_revenue", OutputType::real},
    {"baseline_costs", OutputType::real},
};

constexpr OutputColumn planConstraintsColumns[] = {
    {"name", OutputType::text, true},   {"period", OutputType::integer},
    {"year", OutputType::integer},      {"value", OutputType::real},
    {"bound", OutputType::real},        {"slack", OutputType::real},
    {"shadow_price", OutputType::real}, {"unit", OutputType::text},
};

constexpr OutputColumn frontierColumns[] = {
    {"step", OutputType::integer, true},
    {"carbon_floor", OutputType::real},
    {"npv", OutputType::real},
    {"carbon", OutputType::real},
    {"cost_per_t_co2e", OutputType::real},
};

}  // namespace

const OutputTable regimeOptionsTable{"regime_options", regimeOptionsColumns};
const OutputTable planTable{"plan", planColumns};
const OutputTable planPeriodsTable{"plan_periods", planPeriodsColumns, "period"};
const OutputTable planConstraintsTable{"plan_constraints", planConstraintsColumns, "name"};
const OutputTable frontierTable{"frontier", frontierColumns, "step"};

}  // namespace arbora
