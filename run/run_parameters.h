#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "accounting/finance.h"
#include "accounting/item_files.h"
#include "accounting/wood_products.h"
#include "gis/stand_input.h"
#include "inventory/projection_output.h"
#include "management/treatments.h"

// The assumptions of a run, read from its products and prices files and its options,
// as the run table records them.
namespace arbora {

struct InventoryOptions;

// The products settings and the prices of a run, or the problems of their files.
struct AccountingSetup {
    ProductsSettings products = defaultProductsSettings();
    std::optional<Prices> prices;
    std::vector<Problem> problems;
};
// Reads the products and prices files given (the defaults and no prices without them).
// Throws InventoryInputError as readItemFile does.
AccountingSetup readAccounting(const std::optional<std::string>& productsFile,
                               const std::optional<std::string>& pricesFile,
                               InputEncoding encoding);

// A parameter name as a column of the run table: "prices.rough_timber (Pinus
// armandii)" becomes prices_rough_timber_pinus_armandii.
std::string columnName(std::string_view name);

// Every assumption of the inventory run that a user can change, for the run table.
std::vector<std::pair<std::string, OwnedOutputValue>> runParameters(
    const InventoryOptions& options, const AccountingSetup& accounting);

// The stocking of each regeneration as the treatments file gives it (or its default),
// e.g. regeneration_stocking_treatments_line_5_scenario_rotation = 90.
void addStockingParameters(const TreatmentSchedule& schedule,
                           std::vector<std::pair<std::string, OwnedOutputValue>>& parameters);

// Where the stands' areas come from, for the run table.
std::string areaSource(const StandInput& input);

// What a run says after the stands' file name when they have no area column.
constexpr std::string_view noAreaColumnNote =
    "no area column: every stand counts as 1 ha (--columns area=NAME names one)";

// Whether the stand, untreated, is projected beyond the yield tables' last age by the
// last listed year; and the words for that many stands ("10 stands projected beyond age
// 80, the yield tables' last age").
bool beyondYieldTables(const InventoryStand& stand, std::int32_t lastYear);
std::string beyondYieldTablesText(std::int64_t stands);

}  // namespace arbora
