#include "run/inventory_run.h"

#include <sqlite3.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <csignal>
#include <ctime>
#include <fstream>
#include <iterator>
#include <new>
#include <ostream>
#include <system_error>
#include <thread>

#include "accounting/accounting_tables.h"
#include "gis/geopackage_output.h"
#include "gis/gis_module.h"
#include "gis/map_outlines.h"
#include "growth/normal_stand.h"
#include "inventory/number_text.h"
#include "inventory/projection.h"
#include "inventory/projection_output.h"
#include "inventory/stand_ids.h"
#include "inventory/stop_request.h"
#include "management/assortments.h"
#include "management/removal_totals.h"
#include "management/removals_table.h"
#include "management/scenario_projection.h"
#include "management/treatments.h"
#include "report/layout.h"
#include "run/ordered_work.h"
#include "run/output_clashes.h"
#include "run/stop_signals.h"
#include "text/display_width.h"

#ifndef ARBORA_VERSION
#define ARBORA_VERSION "unknown"
#endif

namespace arbora {
namespace {

// The input column that gives a projected value that is not finite: each of diameter,
// height and volume its own; for the biomass, which grows with diameter squared times
// height, and the carbon that follows from it, the larger of the two factors.
StandColumn columnGiving(std::string_view value, const ProjectionRow& row) {
    if (value == "average_height") return StandColumn::averageHeight;
    if (value == "stand_volume") return StandColumn::standVolume;
    if (value == "average_diameter") return StandColumn::averageDiameter;
    return row.averageDiameter * row.averageDiameter < row.averageHeight
               ? StandColumn::averageHeight
               : StandColumn::averageDiameter;
}

double inputValue(const InventoryStand& stand, StandColumn column) {
    switch (column) {
        case StandColumn::averageDiameter:
            return stand.averageDiameter;
        case StandColumn::averageHeight:
            return stand.averageHeight;
        case StandColumn::standVolume:
            return stand.standVolume;
        default:
            return stand.area;
    }
}

// The rejection of a stand with a projected value that is not a finite number, or a
// value times its area that is not (then named by the area).
std::optional<Rejection> nonFiniteRejection(const StandColumnMap& map, const InventoryStand& stand,
                                            const std::vector<ProjectionRow>& rows) {
    for (const ProjectionRow& row : rows) {
        StandColumn column = StandColumn::area;
        std::string_view value = "total for its area";
        if (const auto field = firstNonFinite(row)) {
            value = *field;
            column = columnGiving(value, row);
        } else if (std::isfinite(row.standVolume * stand.area) &&
                   std::isfinite(row.biomass.stand * stand.area) &&
                   std::isfinite(row.co2e * stand.area)) {
            continue;
        }
        const auto c = static_cast<std::size_t>(column);
        return Rejection{
            stand.line, stand.standId,
            map.header[c].empty() ? std::string(standColumnNames()[c].name) : map.header[c],
            shortestText(inputValue(stand, column)) + " gives a " + std::string(value) +
                " at year " + std::to_string(row.year) + " that is not a finite number"};
    }
    return std::nullopt;
}

// The first total that is not a finite number, e.g. "volume of year 10" or "removed
// carbon of year 10", "products stock of year 12", "net present value of scenario x".
std::optional<std::string> nonFiniteTotal(const std::vector<SummaryRow>& totals,
                                          const InventoryRun& run) {
    for (const SummaryRow& total : totals) {
        const std::pair<const char*, double> values[] = {
            {"area", total.area},
            {"volume", total.volume},
            {"biomass", total.biomass},
            {"carbon", total.carbon},
            {"CO2e", total.co2e},
            {"removed volume", total.removedVolume},
            {"removed carbon", total.removedCarbon},
            {"removed CO2e", total.removedCo2e},
            {"products carbon", total.productsCarbon.value_or(0)}};
        for (const auto& [name, value] : values) {
            if (!std::isfinite(value))
                return name + std::string(" of year ") + std::to_string(total.year);
        }
    }
    for (const ProductsRow& row : run.products) {
        if (!std::isfinite(row.inflow) || !std::isfinite(row.stock) ||
            !std::isfinite(row.emission)) {
            return "products carbon of year " + std::to_string(row.year);
        }
    }
    for (const FinanceRow& row : run.finance) {
        for (const double value :
             {row.revenue, row.costs, row.netCashFlow, row.npv, row.liquidationValue,
              row.npvDifference.value_or(0), row.npvWithLiquidation,
              row.npvWithLiquidationDifference.value_or(0)}) {
            if (!std::isfinite(value)) return "finance of scenario " + row.scenario;
        }
    }
    return std::nullopt;
}

// Every file the run reads, and every file it writes, named as the messages name them.
std::vector<NamedFile> inputFilesOf(const InventoryOptions& options) {
    std::vector<NamedFile> files{{"the inventory", options.standsFile}};
    const auto add = [&](const char* role, const std::optional<std::string>& path) {
        if (path) files.push_back({role, *path});
    };
    add("the treatments file", options.treatmentsFile);
    add("the products file", options.productsFile);
    add("the prices file", options.pricesFile);
    add("the species map", options.input.speciesMap);
    return files;
}

std::vector<NamedFile> outputFilesOf(const InventoryOptions& options) {
    std::vector<NamedFile> files;
    if (options.outputFile) files.push_back({"the output", *options.outputFile});
    if (options.reportFile) files.push_back({"the report", *options.reportFile});
    return files;
}

// "12,345 rows, 6,789 rows/s, 0:42 left" on one terminal line, rewritten in place,
// once the run has taken a second.
class ProgressLine {
  public:
    ProgressLine(std::ostream& err, bool shown) : err_(err), shown_(shown) {}
    ~ProgressLine() { clear(); }

    void update(std::int64_t rows, double fraction) {
        if (!shown_ || (rows & 1023) != 0) return;
        const auto now = std::chrono::steady_clock::now();
        const double elapsed = std::chrono::duration<double>(now - start_).count();
        if (elapsed < 1.0 || now - last_ < std::chrono::milliseconds(250)) return;
        last_ = now;
        const double perSecond = static_cast<double>(rows) / elapsed;
        std::string line = "\r" + std::to_string(rows) + " rows, " +
                           std::to_string(static_cast<long long>(perSecond)) + " rows/s";
        if (fraction > 0 && fraction < 1) {
            const auto left = static_cast<long long>(elapsed * (1 - fraction) / fraction);
            line += ", " + std::to_string(left / 60) + ":" + (left % 60 < 10 ? "0" : "") +
                    std::to_string(left % 60) + " left";
        }
        line += "    ";
        err_ << line << std::flush;
        written_ = true;
    }
    void clear() {
        if (written_) err_ << "\r" << std::string(60, ' ') << "\r" << std::flush;
        written_ = false;
    }

  private:
    std::ostream& err_;
    bool shown_;
    bool written_ = false;
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
    std::chrono::steady_clock::time_point last_ = start_;
};

// The estate report of a finished run. Throws OutputFileError when the charting
// library cannot be read.
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

}  // namespace

std::string utcNow() {
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    ::gmtime_r(&now, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text;
}

bool sameFile(const std::string& a, const std::string& b) {
    struct stat sa, sb;
    return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

std::string programVersion() {
    return ARBORA_VERSION;
}

namespace {

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
                    const ProductsSettings& products, std::optional<Prices> prices)
        : options_(options),
          err_(err),
          run_(run),
          progress_(err, options.showProgress),
          prices_(std::move(prices)),
          // More threads than cores would only wait on each other (and hold more rows).
          jobs_(std::clamp<std::size_t>(options.jobs, 1,
                                        std::max(1u, std::thread::hardware_concurrency()))),
          projectors_(jobs_) {
        if (options.treatmentsFile) ledger_.emplace(products, options.years.back());
    }

    // Opens the inputs and the output; a problem of the stands or of the output they
    // allow (a GIS layer's, a GeoPackage's) comes back, other failures are thrown.
    std::optional<GisProblem> open() {
        schedule_ = options_.treatmentsFile
                        ? readTreatments(*options_.treatmentsFile, options_.encoding)
                        : baselineOnly();
        auto opened = openStandInput(options_.standsFile, options_.encoding, options_.input);
        if (auto* problem = std::get_if<GisProblem>(&opened)) return std::move(*problem);
        stands_.emplace(std::get<StandInput>(std::move(opened)));
        for (auto& parameter : inputRunParameters(*stands_, options_.input, options_.encoding))
            run_.parameters.push_back(std::move(parameter));
        for (const std::string& note : stands_->notes())
            err_ << options_.standsFile << ": " << note << "\n";
        source_ = &stands_->source();
        map_ = stands_->columns();
        if (options_.outputFile) {
            std::vector<const OutputTable*> further{&removalsTable, &productsTable, &financeTable};
            if (stands_->checksAreas()) further.push_back(&areaChecksTable);
            if (options_.byteOrderMark) {  // a CSV file, for spreadsheets on Windows
                output_ = openProjectionOutput(*options_.outputFile, further, true);
            } else {
                auto made =
                    openStandOutput(*options_.outputFile, *stands_, options_.years, further);
                if (auto* problem = std::get_if<GisProblem>(&made)) return std::move(*problem);
                output_ = std::get<std::unique_ptr<ProjectionOutput>>(std::move(made));
            }
        }
        // Told once the output is open, so that `rejected` holds them too.
        for (Rejection& rejection : schedule_.rejections)
            reject(std::move(rejection));
        mapping_ = options_.reportFile && stands_->geometryLayer();
        summary_.emplace(options_.years, schedule_.scenarios);
        removalTotals_.emplace(options_.years, schedule_.scenarios);
        if (ledger_) {
            for (const std::string& scenario : schedule_.scenarios)
                ledger_->addScenario(scenario);
        }
        return std::nullopt;
    }

    // Reads and checks every stand in input order on this thread, projects them in
    // batches on the workers, and keeps them, in input order again, on this thread.
    void projectAll() {
        // A batch's rows' text, for an output that takes it, is made by its worker and
        // added there, in input order: written from the cache it was made in.
        const auto projectBatch = [this](StandBatch& batch, std::size_t worker) {
            batch.text.clear();
            for (std::size_t i = 0; i < batch.size; ++i)
                project(batch.items[i], projectors_[worker], batch.text);
        };
        const auto addText = [this](StandBatch& batch, std::size_t) {
            // After a rejection (without --skip-bad-rows) the output is abandoned: what it
            // is given then does not matter, and is left out once that is seen.
            if (!discardText_.load(std::memory_order_relaxed))
                output_->addFormatted(batch.text.text());
        };
        const bool texts = output_ && output_->formatsRows();
        const BatchFlow flow = flowOfStands(texts);
        OrderedWork<StandBatch> work(
            flow.threads > 1 ? flow.threads : 0, projectBatch,
            texts ? OrderedWork<StandBatch>::Work(addText) : OrderedWork<StandBatch>::Work());
        std::unique_ptr<StandBatch> batch = spareBatch();
        RawRow row;
        while (source_->next(row)) {
            throwIfStopRequested();
            progress_.update(++rows_, source_->fractionDone());
            if (batch->items.size() == batch->size) batch->items.emplace_back();
            read(row, batch->items[batch->size++]);
            if (batch->size < flow.batchSize) continue;
            checkIds(*batch);
            work.submit(std::move(batch));
            while (work.outstanding() >= flow.batchesInFlight)
                keepBatch(work.next());
            batch = spareBatch();
        }
        checkIds(*batch);
        work.submit(std::move(batch));
        while (auto done = work.next())
            keepBatch(std::move(done));
        progress_.clear();
        rejectTreatmentsOfUnknownStands();
    }

    std::int64_t rows() const { return rows_; }
    const StandInput& input() const { return *stands_; }
    std::int64_t extrapolated() const { return extrapolated_; }
    const TreatmentSchedule& schedule() const { return schedule_; }
    std::int64_t rejectedStands() const { return rejectedStands_; }
    ProjectionOutput* output() const { return output_.get(); }

    // The wood products and the inventory's finance, into the output and the run; the
    // totals with the products carbon.
    void account(std::vector<SummaryRow>& summaryRows, std::vector<ComparisonRow>& comparison) {
        if (ledger_) run_.products = ledger_->rows();
        run_.removals = removalTotals_->periods();
        if (prices_) run_.finance = financeTotals_.rows();
        if (output_) {
            for (const AreaCheck& check : stands_->areaChecks())
                output_->addTableRow(areaChecksTable, areaCheckValues(check));
            for (const ProductsRow& row : run_.products)
                output_->addTableRow(productsTable, productsValues(row));
            for (const FinanceRow& row : run_.finance)
                output_->addTableRow(financeTable, financeValues(row));
        }
        summaryRows = summary_->rows();
        comparison = summary_->comparison();
        addProductsCarbon(summaryRows, comparison,
                          [&](std::string_view scenario, std::int32_t year) {
                              return productsCarbon(run_.products, scenario, year);
                          });
    }
    InventorySummary& summary() { return *summary_; }

    // The stands whose area column is far from their polygon's, on the error stream.
    void listAreaChecks() const {
        arbora::listAreaChecks(stands_->areaChecks(), options_.standsFile,
                               header(StandColumn::area), err_);
    }

    // The estate report's map of the stands kept, their outlines read from the layer
    // again; none without a layer of polygons. Throws OutputFileError.
    std::optional<EstateMap> map() {
        if (!mapping_) return std::nullopt;
        auto read = readMapOutlines(*stands_->geometryLayer(), [&](std::int64_t feature) {
            const auto found = mapIndex_.find(feature);
            return found == mapIndex_.end() ? nullptr : &mapStands_[found->second].path;
        });
        if (const auto* problem = std::get_if<GisProblem>(&read))
            throw OutputFileError(problem->message);
        const OutlineFrame& frame = std::get<OutlineFrame>(read);
        if (frame.width == 0) return std::nullopt;
        std::erase_if(mapStands_, [](const MapStand& stand) { return stand.path.empty(); });
        mapIndex_.clear();
        return EstateMap{frame.width, frame.height, frame.metresPerUnit, frame.northUp,
                         std::move(mapStands_)};
    }

  private:
    // Batches of stands small enough that the rows in flight fit in the budget, however
    // many scenarios, years and jobs there are.
    BatchFlow flowOfStands(bool texts) const {
        const std::size_t rows = schedule_.scenarios.size() * options_.years.size();
        const std::size_t perStand =
            sizeof(StandWork) + schedule_.scenarios.size() * sizeof(ScenarioProjection) +
            rows * (sizeof(ProjectionRow) + (texts ? rowTextBytes : 0)) +
            (prices_ ? schedule_.scenarios.size() * sizeof(FinanceRow) : 0);
        return batchFlow(perStand, jobs_, options_.rowsInFlightBytes, largestBatch);
    }

    void reject(Rejection rejection) {
        if (rejection.file.empty()) rejection.file = options_.standsFile;
        auto& byFile = run_.rejectedByFile;
        auto file = std::find_if(byFile.begin(), byFile.end(),
                                 [&](const auto& f) { return f.first == rejection.file; });
        if (file == byFile.end()) file = byFile.insert(file, {rejection.file, 0});
        if (file->second++ < static_cast<std::int64_t>(rejectionsListed)) {
            run_.firstRejections.push_back(rejection);
            run_.firstRejections.back().standId = shortenedText(rejection.standId);
        }
        ++run_.rejectedRows;
        if (options_.treatmentsFile && rejection.file == schedule_.fileName)
            ++run_.rejectedTreatmentRows;
        if (!options_.skipBadRows) discardText_.store(true, std::memory_order_relaxed);
        if (output_ && options_.skipBadRows) output_->addRejection(rejection);
    }

    const std::string& header(StandColumn column) const {
        return map_.header[static_cast<std::size_t>(column)];
    }

    // Reads one row into `work`: the stand, or why it cannot be used.
    void read(RawRow& row, StandWork& work) {
        StandReading reading = stands_->read(row);
        work.stand = std::move(reading.stand);
        work.rejection = std::move(reading.rejection);
    }

    // The duplicate-id check of a batch's stands, in input order: a duplicate is
    // rejected as such, whatever else is wrong with it.
    void checkIds(StandBatch& batch) {
        std::vector<std::string_view>& ids = idsToCheck_;
        std::vector<std::int64_t>& lines = linesToCheck_;
        ids.clear();
        lines.clear();
        for (std::size_t i = 0; i < batch.size; ++i) {
            const InventoryStand& stand = batch.items[i].stand;
            if (stand.standId.empty()) continue;
            ids.push_back(stand.standId);
            lines.push_back(stand.line);
        }
        firstLines_.resize(ids.size());
        standIds_.add(ids, lines, firstLines_);
        std::size_t at = 0;
        for (std::size_t i = 0; i < batch.size; ++i) {
            StandWork& work = batch.items[i];
            if (work.stand.standId.empty()) continue;
            if (const auto first = firstLines_[at++]) {
                work.rejection =
                    Rejection{work.stand.line, work.stand.standId, header(StandColumn::standId),
                              "duplicate of line " + std::to_string(*first)};
            }
        }
    }

    // Projects a stand that was read under every scenario, with its finance and, for a
    // CSV output, its rows' text (appended to `formatted`); or finds why it cannot be.
    // Runs on any worker: it reads the runner's settings and changes nothing but `work`,
    // `formatted` and the projector.
    void project(StandWork& work, InventoryProjector& projector, TextBuffer& formatted) const {
        if (work.rejection) return;
        const InventoryStand& stand = work.stand;
        work.projections.resize(schedule_.scenarios.size());
        for (std::size_t s = 0; s < schedule_.scenarios.size(); ++s) {
            const std::string& scenario = schedule_.scenarios[s];
            ScenarioProjection& projection = work.projections[s];
            if (const auto problem =
                    projectScenario(projector, stand, treatmentsOf(schedule_, s, stand.standId),
                                    options_.years, scenario, projection)) {
                work.rejection = scenarioRejection(stand, s, *problem);
                return;
            }
            if (auto nonFinite = nonFiniteRejection(map_, stand, projection.rows)) {
                if (s > 0)
                    nonFinite->reason = "scenario \"" + scenario + "\": " + nonFinite->reason;
                work.rejection = std::move(nonFinite);
                return;
            }
        }
        if (prices_ && (work.rejection = priceAll(work))) return;
        if (output_ && output_->formatsRows()) {
            for (std::size_t s = 0; s < work.projections.size(); ++s) {
                output_->formatRows(formatted, schedule_.scenarios[s], stand.standId,
                                    work.projections[s].rows);
            }
        }
    }

    // The finance of the stand under every scenario, or why it cannot be had.
    std::optional<Rejection> priceAll(StandWork& work) const {
        const InventoryStand& stand = work.stand;
        work.finance.clear();
        for (std::size_t s = 0; s < work.projections.size(); ++s) {
            const ScenarioProjection& projection = work.projections[s];
            const ProjectionRow& last = projection.rows.back();
            StandAccounts accounts{
                .scenario = schedule_.scenarios[s],
                .standId = stand.standId,
                .area = stand.area,
                .horizon = options_.years.back(),
                .removals = projection.removals,
                .standing = {last.species, stand.outputClass.value_or(defaultOutputClass),
                             last.averageDiameter, last.standVolume}};
            auto priced = standFinance(accounts, *prices_);
            if (const auto* problem = std::get_if<AccountingProblem>(&priced))
                return Rejection{stand.line, stand.standId, "scenario", problemText(*problem)};
            work.finance.push_back(std::move(std::get<FinanceRow>(priced)));
        }
        setNpvDifferences(work.finance);
        return std::nullopt;
    }

    // A stand that cannot be projected under one scenario is left out of every scenario,
    // so that the scenarios are compared over the same stands.
    Rejection scenarioRejection(const InventoryStand& stand, std::size_t scenario,
                                const ScenarioProblem& problem) const {
        std::string column =
            problem.column == "stand_age" ? header(StandColumn::standAge) : std::string("scenario");
        std::string reason = problem.reason;
        if (scenario > 0) {
            reason = "scenario \"" + schedule_.scenarios[scenario] + "\": " + reason;
        }
        return {stand.line, stand.standId, std::move(column), std::move(reason)};
    }

    // The stands of a batch whose work is done, in input order.
    void keepBatch(std::unique_ptr<StandBatch> batch) {
        for (std::size_t i = 0; i < batch->size; ++i) {
            StandWork& work = batch->items[i];
            if (work.rejection) {
                reject(std::move(*work.rejection));
                ++rejectedStands_;
                continue;
            }
            // After a rejection nothing is written unless bad rows are skipped; the rows
            // are still read, so that every rejection is found.
            if (run_.rejectedRows > 0 && !options_.skipBadRows) continue;
            keep(work);
        }
        batch->size = 0;
        spare_.push_back(std::move(batch));
    }

    std::unique_ptr<StandBatch> spareBatch() {
        if (spare_.empty()) return std::make_unique<StandBatch>();
        std::unique_ptr<StandBatch> batch = std::move(spare_.back());
        spare_.pop_back();
        return batch;
    }

    void keep(const StandWork& work) {
        const InventoryStand& stand = work.stand;
        if (std::int64_t{stand.standAge} + options_.years.back() > yieldTableLastAge)
            ++extrapolated_;
        if (output_) output_->addStand(stand);
        if (mapping_) {
            const ProjectionRow& last = work.projections.front().rows.back();  // the baseline's
            mapIndex_.emplace(stand.feature, mapStands_.size());
            mapStands_.push_back(
                {stand.standId, {}, last.carbon.stand, last.standVolume, stand.area});
        }
        for (std::size_t s = 0; s < work.projections.size(); ++s) {
            const ScenarioProjection& projection = work.projections[s];
            summary_->add(s, stand, projection.rows);
            run_.overdueTreatments += projection.overdue;
            run_.emptyThinnings += projection.emptyThinnings;
            for (const Removal& removal : projection.removals) {
                summary_->addRemoval(s, stand, removal.year, removal.species, removal.volume,
                                     removal.carbon.stand, removal.co2e);
                removalTotals_->add(s, removal, stand.area);
                if (ledger_) ledger_->addRemoval(removal, stand.area);
            }
            if (prices_) financeTotals_.add(work.finance[s]);
            if (!output_) continue;
            if (!output_->formatsRows()) {
                for (const ProjectionRow& row : projection.rows)
                    output_->addRow(schedule_.scenarios[s], stand.standId, row);
            }
            for (const Removal& removal : projection.removals)
                output_->addTableRow(removalsTable, removalValues(removal));
            if (prices_) output_->addTableRow(financeTable, financeValues(work.finance[s]));
        }
    }

    void rejectTreatmentsOfUnknownStands() {
        std::vector<const Treatment*> unknown;
        for (const auto& [standId, treatments] : schedule_.byStand) {
            if (standIds_.contains(standId)) continue;
            for (const std::size_t index : treatments)
                unknown.push_back(&schedule_.treatments[index]);
        }
        std::sort(unknown.begin(), unknown.end(),
                  [](const Treatment* a, const Treatment* b) { return a->line < b->line; });
        for (const Treatment* t : unknown) {
            reject({t->line, t->standId, "stand_id", "names no stand of the inventory",
                    schedule_.fileName});
        }
    }

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

}  // namespace

std::string columnName(std::string_view name) {
    std::string column;
    for (const char c : name) {
        const bool letter = (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
        if (c >= 'A' && c <= 'Z') {
            column += static_cast<char>(c - 'A' + 'a');
        } else if (letter) {
            column += c;
        } else if (!column.empty() && column.back() != '_') {
            column += '_';
        }
    }
    while (!column.empty() && column.back() == '_')
        column.pop_back();
    return column;
}

AccountingSetup readAccounting(const std::optional<std::string>& productsFile,
                               const std::optional<std::string>& pricesFile,
                               InputEncoding encoding) {
    AccountingSetup setup;
    if (productsFile) {
        auto read = readProductsFile(*productsFile, encoding);
        if (auto* problems = std::get_if<std::vector<AccountingProblem>>(&read)) {
            setup.problems = std::move(*problems);
        } else {
            setup.products = std::get<ProductsSettings>(read);
        }
    }
    if (pricesFile) {
        auto read = readPricesFile(*pricesFile, encoding);
        if (auto* problems = std::get_if<std::vector<AccountingProblem>>(&read)) {
            setup.problems.insert(setup.problems.end(), problems->begin(), problems->end());
        } else {
            setup.prices = std::get<Prices>(read);
        }
    }
    return setup;
}

namespace {

// Every assumption of the run that a user can change, for the run table.
std::vector<std::pair<std::string, OwnedOutputValue>> runParameters(
    const InventoryOptions& options, const AccountingSetup& accounting) {
    std::vector<std::pair<std::string, OwnedOutputValue>> parameters;
    parameters.emplace_back("treatments", options.treatmentsFile
                                              ? OwnedOutputValue{*options.treatmentsFile}
                                              : OwnedOutputValue{});
    parameters.emplace_back("quotient_below", defaultQuotients.below);
    parameters.emplace_back("quotient_above", defaultQuotients.above);
    parameters.emplace_back("quotient_systematic", defaultQuotients.systematic);
    parameters.emplace_back("regeneration_age", std::int64_t{regenerationAge});
    parameters.emplace_back("regeneration_stocking", defaultRegenerationStocking);
    parameters.emplace_back("products", options.productsFile
                                            ? OwnedOutputValue{*options.productsFile}
                                            : OwnedOutputValue{});
    for (const RunParameter& p : productsRunParameters(accounting.products))
        parameters.emplace_back(columnName(p.name), p.value);
    parameters.emplace_back(
        "prices", options.pricesFile ? OwnedOutputValue{*options.pricesFile} : OwnedOutputValue{});
    if (accounting.prices) {
        for (const RunParameter& p : financeRunParameters(*accounting.prices))
            parameters.emplace_back(columnName(p.name), p.value);
    }
    return parameters;
}

// The stocking of each regeneration as the treatments file gives it (or its default),
// e.g. regeneration_stocking_treatments_line_5_scenario_rotation = 90.
void addStockingParameters(const TreatmentSchedule& schedule,
                           std::vector<std::pair<std::string, OwnedOutputValue>>& parameters) {
    for (const Treatment& t : schedule.treatments) {
        if (!t.regenerate && !t.regenerateSame) continue;
        parameters.emplace_back(
            columnName("regeneration_stocking (treatments line " + std::to_string(t.line) +
                       ", scenario " + schedule.scenarios[t.scenario] + ")"),
            t.stocking);
    }
}

// The inventory's finance per scenario, as the runner prints it after the totals.
std::vector<std::string> financeReportLines(const std::vector<FinanceRow>& finance,
                                            const std::optional<Prices>& prices) {
    std::vector<std::string> lines;
    if (finance.empty()) return lines;
    const auto add = [&](std::string_view layout, std::initializer_list<LayoutValue> values) {
        for (std::string& line : formatLayout(layout, values))
            lines.push_back(std::move(line));
    };
    const std::string currency = prices && !prices->currency.empty()
                                     ? prices->currency
                                     : std::string("money units of the prices file");
    const double rate =
        prices ? prices->general[static_cast<std::size_t>(PriceItem::discountRate)] : 0;
    lines.push_back("");
    lines.push_back("  Finance of the inventory (" + currency + "; NPV at the discount rate of " +
                    shortestText(rate) + " percent a year)");
    add(R"(/, 2X, "Scenario", 25X, "Revenue", 9X, "Costs", 6X, "Net cash", 11X, "NPV", 3X,)"
        R"( "Liquidation", 4X, "NPV + liq.", 4X, "Difference")",
        {});
    lines.push_back(" " + std::string(125, '-'));
    for (const FinanceRow& r : finance) {
        const std::string name = fitToColumns(r.scenario, 26);
        add(R"(2X, A, F14.2, F14.2, F14.2, F14.2, F14.2, F14.2, F14.2)",
            {name, r.revenue, r.costs, r.netCashFlow, r.npv, r.liquidationValue,
             r.npvWithLiquidation, r.npvWithLiquidationDifference.value_or(0)});
    }
    lines.push_back("");
    lines.push_back(
        "  Scenarios are compared on NPV + liquidation, the difference from none: the "
        "wood still standing at");
    lines.push_back(
        "  the last year is worth money too, so a scenario that fells more would "
        "otherwise seem worth more.");
    lines.push_back(
        "  The liquidation value is never below 0: an owner keeps trees that would "
        "sell at a loss.");
    return lines;
}

// Where the stands' areas come from, for the run table.
std::string areaSource(const StandInput& input) {
    if (input.areaAssumed()) return "none: every stand counts as 1 ha";
    const std::string& column = input.columns().header[static_cast<std::size_t>(StandColumn::area)];
    if (column == LayerSource::polygonAreaColumn) return "polygons";
    return "column " + column;
}

// Each file's first rejections, then a count of the others.
void listRejections(const InventoryRun& run, std::ostream& err) {
    for (const auto& [file, count] : run.rejectedByFile) {
        for (const Rejection& r : run.firstRejections) {
            if (r.file == file)
                err << r.file << ":" << r.line << ": " << r.column << ": " << r.reason << "\n";
        }
        if (count > static_cast<std::int64_t>(rejectionsListed))
            err << file << ": "
                << countText(count - static_cast<std::int64_t>(rejectionsListed),
                             "more rejected row")
                << "\n";
    }
}

// The products and prices files' problems, the first 20 of each file and a count of the
// others.
void listProblems(const std::vector<AccountingProblem>& problems, std::ostream& err) {
    std::vector<std::pair<std::string, std::int64_t>> byFile;
    for (const AccountingProblem& problem : problems) {
        if (byFile.empty() || byFile.back().first != problem.file)
            byFile.emplace_back(problem.file, 0);
        if (byFile.back().second++ < static_cast<std::int64_t>(rejectionsListed))
            err << problemText(problem) << "\n";
    }
    for (const auto& [file, count] : byFile) {
        if (count > static_cast<std::int64_t>(rejectionsListed))
            err << file << ": "
                << countText(count - static_cast<std::int64_t>(rejectionsListed),
                             "more rejected row")
                << "\n";
    }
}

// "stands.csv: 3 rows rejected, treatments.csv: 1 row rejected".
std::string rejectedRowsText(const InventoryRun& run) {
    std::string text;
    for (const auto& [file, count] : run.rejectedByFile) {
        text += (text.empty() ? "" : ", ") + file + ": " + countText(count, "row") + " rejected";
    }
    return text;
}

}  // namespace

int runInventory(const InventoryOptions& options, std::ostream& out, std::ostream& err,
                 InventoryRun& run) {
    // SQLite keeps no memory statistics, which nothing here reads: they cost a lock and an
    // unlock around each of its allocations. Only possible before SQLite's first use in
    // the process; later it is left as it is.
    static const int noStatistics = sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0);
    (void)noStatistics;
    run = InventoryRun{};
    run.startedUtc = utcNow();
    run.version = programVersion();
    const std::string& input = options.standsFile;
    const auto error = [&](const std::string& message, int status) {
        err << "arbora-report: " << message << "\n";
        return status;
    };
    if (const auto clash = outputClash(inputFilesOf(options), outputFilesOf(options))) {
        return error(*clash, exitUsage);
    }

    if (options.treatmentsFile && !options.years.empty() &&
        options.years.back() > lastScenarioYear) {
        return error("--years: with --treatments the years end at " +
                         std::to_string(lastScenarioYear) +
                         " at most: removals and wood products are followed year by year",
                     exitUsage);
    }

    InterruptionGuard interruption;
    // What the run does, for a message when memory runs out.
    const char* stage = "reading the products and prices files";
    try {
        AccountingSetup accounting =
            readAccounting(options.productsFile, options.pricesFile, options.encoding);
        if (!accounting.problems.empty()) {
            // Rows are listed, the first 20 of each file, and counted; a problem of a whole
            // file (a column missing) is said once, in the closing message.
            std::string message;
            std::vector<AccountingProblem> rows;
            for (AccountingProblem& problem : accounting.problems) {
                if (problem.line > 0) {
                    rows.push_back(std::move(problem));
                } else {
                    message += (message.empty() ? "" : "; ") + problemText(problem);
                }
            }
            listProblems(rows, err);
            if (!rows.empty()) {
                message += (message.empty() ? "" : "; ") +
                           countText(static_cast<std::int64_t>(rows.size()), "row") +
                           " of the products or prices file rejected";
            }
            return error(message + ", nothing written", exitUnusableData);
        }
        run.parameters = runParameters(options, accounting);
        stage = "reading the treatments and opening the stands and the outputs";
        InventoryRunner runner(options, err, run, accounting.products, accounting.prices);
        if (const auto problem = runner.open()) {
            return error(problem->message, exitStatusOf(problem->kind));
        }
        run.areaAssumed = runner.input().areaAssumed();
        if (run.areaAssumed) {
            err << "arbora-report: " << input
                << ": no area column: every stand counts as 1 ha (--columns area=NAME names "
                   "one)\n";
        }
        run.parameters.emplace_back("area_source", areaSource(runner.input()));
        // Every file to write is started before the work, so that one that cannot be
        // written is found at once.
        std::unique_ptr<AtomicFile> report;
        if (options.reportFile) report = std::make_unique<AtomicFile>(*options.reportFile);
        stage = "projecting the stands";
        runner.projectAll();
        if (options.treatmentsFile) {
            run.parameters.emplace_back("overdue_treatments", run.overdueTreatments);
            addStockingParameters(runner.schedule(), run.parameters);
        }
        stage = "writing the outputs";
        ProjectionOutput* output = runner.output();
        listRejections(run, err);
        runner.listAreaChecks();
        const auto fail = [&](const std::string& message) {
            if (output) output->abandon();
            return error(message, exitUnusableData);
        };
        if (runner.rows() == 0) return fail(input + ": has a header but no stand rows");
        if (const auto problem = runner.input().areaUnitProblem())
            return fail(input + ": " + *problem);
        if (const std::int64_t rows = runner.rows(); runner.rejectedStands() == rows) {
            // No row to write: --skip-bad-rows would not help.
            return fail(
                input + ": " +
                (rows == 1 ? std::string("the only row") : "all " + countText(rows, "row")) +
                " rejected, nothing written");
        }
        if (run.rejectedRows > 0 && !options.skipBadRows) {
            return fail(rejectedRowsText(run) +
                        ", nothing written (--skip-bad-rows writes the other rows)");
        }
        if (runner.summary().stands() == 0) {
            std::int64_t standRows = 0;
            for (const auto& [file, count] : run.rejectedByFile)
                standRows += file == input ? count : 0;
            return fail(input + ": " +
                        (standRows == 1 ? std::string("the only row")
                                        : "all " + countText(standRows, "row")) +
                        " rejected, nothing written");
        }
        std::vector<SummaryRow> summaryRows;
        std::vector<ComparisonRow> comparison;
        runner.account(summaryRows, comparison);
        if (const auto total = nonFiniteTotal(summaryRows, run)) {
            return fail(input + ": the " + *total +
                        " is beyond the largest number, nothing written");
        }
        InventorySummary& summary = runner.summary();
        run.extrapolatedStands = runner.extrapolated();
        run.parameters.emplace_back("stands_beyond_yield_tables", run.extrapolatedStands);
        if (run.extrapolatedStands > 0) {
            err << "arbora-report: " << input << ": " << countText(run.extrapolatedStands, "stand")
                << " projected beyond age " << yieldTableLastAge
                << ", the yield tables' last age: extrapolated\n";
        }
        // Every file is completed and made durable first, and the screen's text written;
        // then all files are put in place together.
        OutputSet outputs;
        if (report) {
            report->write(
                estateReport(options, run, summary, summaryRows, comparison, runner.map()));
            report->sync();
            outputs.add(*report);
        }
        if (output) {
            output->complete(
                summaryRows, comparison,
                {run.version, run.startedUtc, input, yearsText(options.years), run.parameters});
            if (AtomicFile* file = output->file()) outputs.add(*file);
        }
        for (const std::string& line :
             summaryReportLines(input, summary, run.rejectedRows - run.rejectedTreatmentRows,
                                comparison, run.rejectedTreatmentRows))
            out << line << "\n";
        if (const std::int64_t n = run.overdueTreatments; n > 0) {
            const char* were = n == 1 ? "was" : "were";
            out << "\n  " << countText(n, "treatment") << " by age " << were
                << " overdue at year 0 (the stand already that old) and " << were
                << " carried out at year 1\n";
        }
        if (const std::int64_t n = run.emptyThinnings; n > 0) {
            out << "\n  " << countText(n, "thinning") << (n == 1 ? " was" : " were")
                << " not carried out: " << (n == 1 ? "it" : "they")
                << " would take no whole tree\n";
        }
        for (const std::string& line : financeReportLines(run.finance, accounting.prices))
            out << line << "\n";
        outputs.commit(&out);
        if (output && !output->file()) output->commit();
        run.summary = std::move(summary);
        return exitSuccess;
    } catch (const InventoryInputError& e) {
        return error(e.what(), e.kind() == InventoryInputError::unreadable ? exitFileFailure
                                                                           : exitUnusableData);
    } catch (const OutputFileError& e) {
        return error(e.what(), exitFileFailure);
    } catch (const RunStopped& e) {
        run.stoppedBySignal = e.signal();
        return error(std::string(e.what()) + ", no file changed", exitFileFailure);
    } catch (const std::bad_alloc&) {
        // Everything the run held is freed by now, the temporary files removed.
        return error(std::string("out of memory while ") + stage + ", no file changed",
                     exitFileFailure);
    } catch (const std::system_error& e) {
        return error(
            std::string("out of memory while ") + stage + " (" + e.what() + "), no file changed",
            exitFileFailure);
    }
}

}  // namespace arbora
