#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <unordered_map>
#include <vector>

#include "accounting/finance.h"
#include "accounting/wood_products.h"
#include "estate/estate_report.h"
#include "gis/stand_input.h"
#include "inventory/projection.h"
#include "inventory/projection_output.h"
#include "inventory/stand_ids.h"
#include "inventory/summary.h"
#include "management/removal_totals.h"
#include "management/scenario_projection.h"
#include "management/treatments.h"
#include "run/ordered_work.h"
#include "run/progress_line.h"

namespace arbora {

struct InventoryOptions;
struct InventoryRun;

// One stand read and checked, and what the work on it gives.
struct StandWork {
    std::optional<Rejection> rejection;  // why it cannot be used, read or projected
    InventoryStand stand;
    std::vector<ScenarioProjection> projections;  // by scenario
    std::vector<FinanceRow> finance;              // by scenario, with prices
};

// Stands in input order, projected together on one worker. Kept and reused, with the
// memory of their stands.
struct StandBatch {
    std::vector<StandWork> items;
    std::size_t size = 0;  // items in use
    TextBuffer text;       // the rows' text, for an output that takes it
};
constexpr std::size_t largestBatch = 256;
// The room a projection row takes in a batch: the row, and its text in the CSV output
// (at most some 600 characters; a row's text is made in room for the longest).
constexpr std::size_t rowTextBytes = 600;

// One run of the inventory command, step by step: open the inputs and the output,
// project each stand under every scenario, then check, total and write.
class InventoryRunner {
  public:
    InventoryRunner(const InventoryOptions& options, std::ostream& err, InventoryRun& run,
                    const ProductsSettings& products, std::optional<Prices> prices);

    // Opens the inputs and the output; a problem of the stands or of the output they
    // allow (a GIS layer's, a GeoPackage's) comes back, other failures are thrown.
    std::optional<Problem> open();

    // Reads and checks every stand in input order on this thread, projects them in
    // batches on the workers, and keeps them, in input order again, on this thread.
    void projectAll();

    std::int64_t rows() const { return rows_; }
    const StandInput& input() const { return *stands_; }
    std::int64_t extrapolated() const { return extrapolated_; }
    const TreatmentSchedule& schedule() const { return schedule_; }
    std::int64_t rejectedStands() const { return rejectedStands_; }
    ProjectionOutput* output() const { return output_.get(); }

    // The wood products and the inventory's finance, into the output and the run; the
    // totals with the products carbon.
    void account(std::vector<SummaryRow>& summaryRows, std::vector<ComparisonRow>& comparison);
    InventorySummary& summary() { return *summary_; }
    const InventorySummary& summary() const { return *summary_; }

    // The stands whose area column is far from their polygon's, on the error stream.
    void listAreaChecks() const;

    // The estate report's map of the stands kept, their outlines read from the layer
    // again; none without a layer of polygons. Throws OutputFileError.
    std::optional<EstateMap> map();

  private:
    // Batches of stands small enough that the rows in flight fit in the budget, however
    // many scenarios, years and jobs there are.
    BatchFlow flowOfStands(bool texts) const;

    void reject(Rejection rejection);

    const std::string& header(StandColumn column) const;

    // Reads one row into `work`: the stand, or why it cannot be used.
    void read(RawRow& row, StandWork& work);

    // The duplicate-id check of a batch's stands, in input order: a duplicate is
    // rejected as such, whatever else is wrong with it.
    void checkIds(StandBatch& batch);

    // Projects a stand that was read under every scenario, with its finance and, for a
    // CSV output, its rows' text (appended to `formatted`); or finds why it cannot be.
    // Runs on any worker: it reads the runner's settings and changes nothing but `work`,
    // `formatted` and the projector.
    void project(StandWork& work, InventoryProjector& projector, TextBuffer& formatted) const;

    // The finance of the stand under every scenario, or why it cannot be had.
    std::optional<Rejection> priceAll(StandWork& work) const;

    // A stand that cannot be projected under one scenario is left out of every scenario,
    // so that the scenarios are compared over the same stands.
    Rejection scenarioRejection(const InventoryStand& stand, std::size_t scenario,
                                const Problem& problem) const;

    // The stands of a batch whose work is done, in input order.
    void keepBatch(std::unique_ptr<StandBatch> batch);

    std::unique_ptr<StandBatch> spareBatch();

    void keep(const StandWork& work);

    void rejectTreatmentsOfUnknownStands();

    const InventoryOptions& options_;
    std::ostream& err_;
    InventoryRun& run_;
    ProgressLine progress_;
    TreatmentSchedule schedule_;
    std::optional<StandInput> stands_;
    StandSource* source_ = nullptr;  // the stands'
    StandColumnMap map_;
    std::unique_ptr<ProjectionOutput> output_;
    std::optional<InventorySummary> summary_;
    StandIds standIds_;                         // with the line each was first seen on
    std::vector<std::string_view> idsToCheck_;  // a batch's, kept for their memory
    std::vector<std::int64_t> linesToCheck_;
    std::vector<std::optional<std::int64_t>> firstLines_;
    std::optional<Prices> prices_;
    std::size_t jobs_;                            // threads projecting, at most the cores
    std::vector<InventoryProjector> projectors_;  // one per thread: each keeps its normal stands
    std::atomic<bool> discardText_ = false;       // the output will be abandoned
    std::int64_t rejectedStands_ = 0;             // stand rows rejected
    std::vector<std::unique_ptr<StandBatch>> spare_;  // batches kept, done with
    std::optional<ProductsLedger> ledger_;            // with scenarios
    std::optional<RemovalTotals> removalTotals_;
    FinanceTotals financeTotals_;
    std::int64_t rows_ = 0;
    std::int64_t extrapolated_ = 0;    // stands beyond the yield tables' last age
    bool mapping_ = false;             // a report of a layer
    std::vector<MapStand> mapStands_;  // kept, without outlines yet
    std::unordered_map<std::int64_t, std::size_t> mapIndex_;  // by feature
};

}  // namespace arbora
