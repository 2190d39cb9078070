#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "accounting/finance.h"
#include "accounting/item_files.h"

// The fixed-width finance table of the screen, and the lists of rejected rows on the
// error stream.
namespace arbora {

struct InventoryRun;

// The inventory's finance per scenario, as the runner prints it after the totals.
std::vector<std::string> financeReportLines(const std::vector<FinanceRow>& finance,
                                            const std::optional<Prices>& prices);

// Each file's first rejections, then a count of the others.
void listRejections(const InventoryRun& run, std::ostream& err);

// The products and prices files' problems, the first 20 of each file and a count of the
// others.
void listProblems(const std::vector<Problem>& problems, std::ostream& err);

// "stands.csv: 3 rows rejected, treatments.csv: 1 row rejected".
std::string rejectedRowsText(const InventoryRun& run);

}  // namespace arbora
