#include "accounting/accounting_tables.h"

namespace arbora {
namespace {

constexpr OutputColumn productsColumns[] = {
    {"scenario", OutputType::text, true}, {"year", OutputType::integer, true},
    {"pool", OutputType::text, true},     {"inflow", OutputType::real},
    {"stock", OutputType::real},          {"emission", OutputType::real},
};

constexpr OutputColumn financeColumns[] = {
    {"scenario", OutputType::text, true},
    {"stand_id", OutputType::text},
    {"area", OutputType::real},
    {"revenue", OutputType::real},
    {"costs", OutputType::real},
    {"net_cash_flow", OutputType::real},
    {"npv", OutputType::real},
    {"liquidation_value", OutputType::real},
    {"npv_difference", OutputType::real},
    {"npv_with_liquidation", OutputType::real},
    {"npv_with_liquidation_difference", OutputType::real},
    {"lev", OutputType::real},
};

OutputValue optional(const std::optional<double>& value) {
    if (!value) return std::monostate{};
    return *value;
}

}  // namespace

const OutputTable productsTable{"products", productsColumns, "scenario, year, pool"};
const OutputTable financeTable{"finance", financeColumns};

std::array<OutputValue, 6> productsValues(const ProductsRow& r) {
    return {std::string_view(r.scenario),
            std::int64_t{r.year},
            poolName(r.pool),
            r.inflow,
            r.stock,
            r.emission};
}

std::array<OutputValue, 12> financeValues(const FinanceRow& r) {
    return {std::string_view(r.scenario),
            r.standId ? OutputValue{std::string_view(*r.standId)} : OutputValue{},
            r.area,
            r.revenue,
            r.costs,
            r.netCashFlow,
            r.npv,
            r.liquidationValue,
            optional(r.npvDifference),
            r.npvWithLiquidation,
            optional(r.npvWithLiquidationDifference),
            optional(r.lev)};
}

}  // namespace arbora
