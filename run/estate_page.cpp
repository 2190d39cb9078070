#include "run/estate_page.h"

#include "run/inventory_run.h"

namespace arbora {

std::string estateReport(const InventoryOptions& options, const InventoryRun& run,
                         const InventorySummary& summary, std::vector<SummaryRow> rows,
                         std::vector<ComparisonRow> comparison, std::optional<EstateMap> map) {
    EstateReportData data;
    data.input = options.standsFile;
    data.startedUtc = run.startedUtc;
    data.version = run.version;
    data.years = options.years;
    data.accepted = summary.stands();
    data.rejected = run.rejectedRows;
    data.area = summary.area();
    data.scenarios = summary.scenarios();
    data.summary = std::move(rows);
    data.comparison = std::move(comparison);
    data.removals = run.removals;
    data.products = run.products;
    data.finance = run.finance;
    data.areaByAgeClass = summary.areaByAgeClass();
    data.map = std::move(map);
    data.firstRejections = run.firstRejections;
    data.areaAssumed = run.areaAssumed;
    data.extrapolatedStands = run.extrapolatedStands;
    data.parameters = run.parameters;
    return estateReportHtml(data, options.reportLanguage, chartLibrary());
}

}  // namespace arbora
