#include "run/estate_page.h"

#include <algorithm>
#include <fstream>
#include <iterator>

#include "inventory/number_text.h"
#include "inventory/projection_output.h"
#include "run/inventory_run.h"

namespace arbora {

std::string estateReport(const InventoryOptions& options, const InventoryRun& run,
                         const InventorySummary& summary, std::vector<SummaryRow> rows,
                         std::vector<ComparisonRow> comparison, std::optional<EstateMap> map) {
    std::ifstream in{std::string(chartJsFile), std::ios::binary};
    const std::string chartJs{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (chartJs.empty()) {
        throw OutputFileError("cannot read the charting library \"" + std::string(chartJsFile) +
                              "\" for the estate report (Debian package libjs-chart.js)");
    }
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
    for (const ProductsRow& row : run.products) {
        if (std::binary_search(options.years.begin(), options.years.end(), row.year)) {
            data.products.push_back(row);
        }
    }
    data.finance = run.finance;
    data.areaByAgeClass = summary.areaByAgeClass();
    data.map = std::move(map);
    data.firstRejections = run.firstRejections;
    data.areaAssumed = run.areaAssumed;
    data.extrapolatedStands = run.extrapolatedStands;
    // The page's table names no file: a row of another file says which in its column.
    for (Rejection& r : data.firstRejections) {
        if (r.file != options.standsFile) r.column = r.file + ": " + r.column;
    }
    for (const auto& [name, value] : run.parameters) {
        std::string text;
        if (const auto* whole = std::get_if<std::int64_t>(&value)) text = std::to_string(*whole);
        if (const auto* real = std::get_if<double>(&value)) text = shortestText(*real);
        if (const auto* words = std::get_if<std::string>(&value)) text = *words;
        data.parameters.emplace_back(name, text);
    }
    return estateReportHtml(data, options.reportLanguage, chartJs);
}

}  // namespace arbora
