#pragma once

#include <optional>
#include <string>
#include <vector>

#include "estate/estate_report.h"
#include "inventory/summary.h"

namespace arbora {

struct InventoryOptions;
struct InventoryRun;

// The estate report of a finished run. Throws OutputFileError when the charting
// library cannot be read.
std::string estateReport(const InventoryOptions& options, const InventoryRun& run,
                         const InventorySummary& summary, std::vector<SummaryRow> rows,
                         std::vector<ComparisonRow> comparison, std::optional<EstateMap> map);

}  // namespace arbora
