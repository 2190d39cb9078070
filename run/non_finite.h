#pragma once

#include <optional>
#include <string>
#include <vector>

#include "inventory/inventory_stand.h"
#include "inventory/projection.h"
#include "inventory/stand_columns.h"
#include "inventory/summary.h"

// Numbers that are not finite never reach an output: the stand that gives one is
// rejected with the input column it comes from, and a total that is not ends the run.
namespace arbora {

struct InventoryRun;

// The rejection of a stand with a projected value that is not a finite number, or a
// value times its area that is not (then named by the area).
std::optional<Rejection> nonFiniteRejection(const StandColumnMap& map, const InventoryStand& stand,
                                            const std::vector<ProjectionRow>& rows);

// The first total that is not a finite number, e.g. "volume of year 10" or "removed
// carbon of year 10", "products stock of year 12", "net present value of scenario x".
std::optional<std::string> nonFiniteTotal(const std::vector<SummaryRow>& totals,
                                          const InventoryRun& run);

}  // namespace arbora
