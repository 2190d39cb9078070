#pragma once

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "accounting/finance.h"
#include "accounting/wood_products.h"
#include "estate/estate_report.h"
#include "gis/stand_input.h"
#include "inventory/inventory_stand.h"
#include "inventory/projection_output.h"
#include "inventory/stand_sources.h"
#include "inventory/summary.h"
#include "run/exit_status.h"
#include "run/run_parameters.h"
#include "run/run_support.h"

// The inventory command: every stand of an inventory projected over a list of years,
// with biomass, carbon and totals, into SQLite or CSV.
namespace arbora {

struct InventoryOptions {
    std::string standsFile{};
    std::vector<std::int32_t> years{};  // offsets, sorted and distinct; at least one
    std::optional<std::string> outputFile{};
    std::optional<std::string> treatmentsFile{};  // CSV, or SQLite with a table "treatments"
    std::optional<std::string> productsFile{};    // routing and half-lives of wood products
    std::optional<std::string> pricesFile{};      // prices, costs and the discount rate
    bool skipBadRows = false;
    bool byteOrderMark = false;  // a CSV output starts with the UTF-8 byte-order mark
    InputEncoding encoding = InputEncoding::utf8;
    std::optional<std::string> reportFile{};  // the estate report, HTML
    ReportLanguage reportLanguage = ReportLanguage::english;
    bool showProgress = false;  // a progress line on the error stream
    InputChoices input{};       // the layer, column names, species codes and area unit
    // Threads that project the stands, at most the machine's cores; the output is the
    // same to the byte with any number.
    std::size_t jobs = 1;
    // Bytes the stands' rows read and projected but not yet written may take at once:
    // the stands go to the threads in batches small enough for this, whatever the
    // scenarios, years and jobs (a single stand larger than it is still projected).
    std::size_t rowsInFlightBytes = std::size_t{64} << 20;
};

// What a run found, for the summary and the estate report.
struct InventoryRun {
    std::string startedUtc;
    std::string version;
    std::int64_t rejectedRows = 0;
    std::vector<Rejection> firstRejections;  // the first 20 of each file, in order
    std::int64_t rejectedTreatmentRows = 0;  // of rejectedRows, the treatments file's
    // The rows rejected of each file, in the order of their first rejection.
    std::vector<std::pair<std::string, std::int64_t>> rejectedByFile;
    std::optional<InventorySummary> summary;  // when the run got as far as the totals
    std::vector<ProductsRow> products;        // the wood products, when there are scenarios
    std::vector<FinanceRow> finance;          // the inventory's rows, with prices
    std::vector<RemovalPeriod> removals;      // by scenario and period, with scenarios
    // Every assumption of the run, as the run table records it.
    std::vector<std::pair<std::string, OwnedOutputValue>> parameters;
    int stoppedBySignal = 0;   // the signal that stopped the run, 0 when none
    bool areaAssumed = false;  // no area column nor polygons: every stand counted as 1 ha
    // Stands older than the yield tables' last age at the last year of the list, their
    // values extrapolated (under the baseline).
    std::int64_t extrapolatedStands = 0;
    // Rows by age carried out at year 1, over the stands and scenarios kept, because the
    // stand was already that old at year 0.
    std::int64_t overdueTreatments = 0;
    // Thinnings not carried out, over the stands and scenarios kept: no whole tree to take.
    std::int64_t emptyThinnings = 0;
};

// With scenarios, removals and wood products are followed year by year up to this year.
constexpr std::int32_t lastScenarioYear = 10000;

// The rejections of each file listed, on the error stream and in the estate report.
constexpr std::size_t rejectionsListed = 20;

// Runs the command: the fixed-width summary to out; errors, rejected rows
// ("FILE:LINE: COLUMN: REASON", the first 20 and a count) and the progress line to err.
// Returns the exit status. SIGINT, SIGTERM and SIGHUP (unless ignored) stop the run,
// with status 1 and run.stoppedBySignal set; no file is changed then.
int runInventory(const InventoryOptions& options, std::ostream& out, std::ostream& err,
                 InventoryRun& run);

}  // namespace arbora
