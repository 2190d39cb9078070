#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "accounting/item_files.h"
#include "accounting/wood_products.h"
#include "management/assortments.h"
#include "management/removal.h"
#include "settings/species.h"

// What the removals of a scenario earn and cost, and what a stand is worth.
//
// Money is in one unit throughout: the currency of the prices file, whatever it is (the
// example file is in yuan, CNY). It is carried as binary64 and never rounded here; a
// writer shows it at full precision. For a stand, money is per hectare; for the whole
// inventory it is each stand's per-hectare value times its area, summed in input order.
// Prices are real (constant in the money of today) and the discount rate is real;
// there are no taxes and no subsidies.
namespace arbora {

enum class PriceItem : std::uint8_t {
    roughTimber,  // the five assortments first, in Assortment order
    timberMachining,
    fuelWood,
    wasteWood,
    unsorted,
    harvestingCost,
    thinningCost,
    clearcutCost,
    regenerationCost,
    managementCost,
    discountRate,
};
constexpr std::size_t priceItemCount = 11;

struct PriceItemDefinition {
    std::string_view name;  // in the prices file
    std::string_view unit;  // what the value is counted in
    bool bySpecies;         // a row may name a species: the species of the trees felled
};

// By PriceItem. Costs per hectare of the whole stand (planting, yearly management) and
// the discount rate are one value for all species.
constexpr std::array<PriceItemDefinition, priceItemCount> priceItems = {{
    {"rough_timber", "per m3", true},
    {"timber_machining", "per m3", true},
    {"fuel_wood", "per m3", true},
    {"waste_wood", "per m3", true},
    {"unsorted", "per m3", true},
    {"harvesting_cost", "per m3 removed", true},
    {"thinning_cost", "per ha thinned", true},
    {"clearcut_cost", "per ha clear-felled", true},
    {"regeneration_cost", "per ha planted", false},
    {"management_cost", "per ha and year", false},
    {"discount_rate", "percent a year, real", false},
}};

// The prices of a run: an item the file does not give is 0.
struct Prices {
    std::array<double, priceItemCount> general{};  // by PriceItem
    // By species - 1 and PriceItem: a species' own value, where the file gives one.
    std::array<std::array<std::optional<double>, priceItemCount>, speciesCount> bySpecies{};
    // The currency the file states (the row `currency`, a text such as CNY); empty when
    // it states none. Nothing is converted: it names the money of every amount.
    std::string currency{};
};

// The value of an item for wood of a species: the species' own, else the general one.
double priceOf(const Prices& prices, std::int32_t species, PriceItem item);

// A prices file: a CSV file with the columns `item` and `value` and, optionally,
// `species` (1 to 4, the Latin or the Chinese name; empty for every species). A row
// with a species sets that species' value of the item; the general row of the item
// still holds for the other species. Every row that cannot be used is a problem with its
// line and column: an unknown item, a value that is not a number (but for the row
// `currency`, whose value is a text such as CNY), a negative price or
// cost, a discount rate of -100 or less, a species on an item that has one value for
// all species, an item (for one species) given twice. Throws InventoryInputError as
// readItemFile does.
std::variant<Prices, std::vector<Problem>> readPricesFile(
    const std::string& fileName, InputEncoding encoding = InputEncoding::utf8);
std::variant<Prices, std::vector<Problem>> readPricesItems(
    const std::variant<ItemFile, Problem>& file, const std::string& fileName);

// What stands at the last listed year, to be priced as a clear-felling then.
struct StandingWood {
    std::int32_t species = 0;  // the cohort's species, 1 to 4
    std::int32_t outputClass = defaultOutputClass;
    double diameter = 0;  // cm
    double volume = 0;    // m3/ha
};

// One stand in one scenario over the years 0 to `horizon` after its measured age.
struct StandAccounts {
    std::string scenario{};
    std::string standId{};
    double area = 1;           // ha
    std::int32_t horizon = 0;  // the last listed year
    // The treatments carried out, in order; those after the horizon are left out.
    std::span<const Removal> removals{};
    StandingWood standing{};  // at the horizon
};

// One row of the finance table: a stand per hectare, or (standId empty) the inventory.
struct FinanceRow {
    std::string scenario{};
    std::optional<std::string> standId{};  // none: the whole inventory
    double area = 0;                       // ha
    // The removed assortments times their prices, undiscounted.
    double revenue = 0;
    // Harvesting per m3 removed, thinning and clear-felling per treatment, planting after
    // a clear-felling that regenerates, and management for every year 1 to the horizon;
    // undiscounted.
    double costs = 0;
    double netCashFlow = 0;  // revenue - costs
    // Each year's net cash flow at the end of that year, discounted to the measured
    // age: year k by (1 + r)^-k.
    double npv = 0;
    // The wood standing at the horizon felled then: its assortments times their prices,
    // less harvesting and the clear-felling cost, discounted by (1 + r)^-horizon; 0 when
    // nothing stands, and never below 0: an owner keeps trees that would sell at a loss.
    // Not part of the npv.
    double liquidationValue = 0;
    // npv + liquidationValue: what the scenario is worth with the wood still standing at
    // the horizon, on which scenarios are compared (one that fells more would otherwise
    // seem worth more than it is).
    double npvWithLiquidation = 0;
    // npv less the npv of the baseline `none` (of the same stand, or of the inventory).
    std::optional<double> npvDifference{};
    // npvWithLiquidation less that of the baseline.
    std::optional<double> npvWithLiquidationDifference{};
    // Faustmann's land expectation value of the stand's rotation (see landExpectation).
    std::optional<double> lev{};
};

// The finance of one stand in one scenario, per hectare, without the npv difference;
// or a problem with the stand and scenario when a value exceeds the largest number
// (prices near it, or a negative discount rate over very many years), naming the value
// and the price items it comes from.
std::variant<FinanceRow, Problem> standFinance(const StandAccounts& stand, const Prices& prices);

// The land expectation value of bare land that is planted and grown in the same
// rotation for ever (Faustmann): LEV = V * (1 + r)^R / ((1 + r)^R - 1), with R the
// rotation and V the value of one rotation at its start: planting at year 0, then
// the treatments of the cohort planted, up to and including the next clear-felling, and
// management for years 1 to R, each discounted to the planting. The rotation is the
// first one that begins with a clear-felling that regenerates and ends, within the
// horizon, with another such clear-felling. None without such a rotation or when the
// rate is not above 0.
std::optional<double> landExpectation(std::span<const Removal> removals, std::int32_t horizon,
                                      const Prices& prices);

// Sets the npv differences (without and with the liquidation value) of each row from the
// row of the baseline among them (the rows of one stand, or the inventory's rows);
// leaves them empty when there is no baseline.
void setNpvDifferences(std::span<FinanceRow> rows);

// The inventory's rows: each stand's per-hectare values times its area, summed per
// scenario in the order the stands are added.
class FinanceTotals {
  public:
    void add(const FinanceRow& stand);
    // Per scenario in order of first mention, with their npv differences.
    std::vector<FinanceRow> rows() const;

  private:
    std::vector<FinanceRow> totals_;
};

// Every price, cost and the rate used, e.g. {"prices.rough_timber", "1150"},
// {"prices.rough_timber (Pinus armandii)", "1250"}, {"prices.discount_rate", "3"}, and
// {"prices.currency", "CNY"} when the file states one.
std::vector<RunParameter> financeRunParameters(const Prices& prices);

}  // namespace arbora
