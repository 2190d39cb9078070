#include "run/stand_runner.h"

#include <algorithm>
#include <thread>

#include "accounting/accounting_tables.h"
#include "gis/geopackage_output.h"
#include "gis/map_outlines.h"
#include "growth/normal_stand.h"
#include "io/stop_request.h"
#include "management/removals_table.h"
#include "run/inventory_run.h"
#include "run/non_finite.h"

namespace arbora {

InventoryRunner::InventoryRunner(const InventoryOptions& options, std::ostream& err,
                                 InventoryRun& run, const ProductsSettings& products,
                                 std::optional<Prices> prices)
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

std::optional<Problem> InventoryRunner::open() {
    schedule_ = options_.treatmentsFile
                    ? readTreatments(*options_.treatmentsFile, options_.encoding)
                    : baselineOnly();
    auto opened = openStandInput(options_.standsFile, options_.encoding, options_.input);
    if (auto* problem = std::get_if<Problem>(&opened)) return std::move(*problem);
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
            auto made = openStandOutput(*options_.outputFile, *stands_, options_.years, further);
            if (auto* problem = std::get_if<Problem>(&made)) return std::move(*problem);
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

void InventoryRunner::projectAll() {
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
        if (!discardText_.load(std::memory_order_relaxed)) output_->addFormatted(batch.text.text());
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

void InventoryRunner::account(std::vector<SummaryRow>& summaryRows,
                              std::vector<ComparisonRow>& comparison) {
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
    addProductsCarbon(summaryRows, comparison, [&](std::string_view scenario, std::int32_t year) {
        return productsCarbon(run_.products, scenario, year);
    });
    // The scenarios compared on money as the finance table compares them.
    for (ComparisonRow& c : comparison) {
        for (const FinanceRow& f : run_.finance) {
            if (f.scenario != c.scenario) continue;
            c.npvWithLiquidation = f.npvWithLiquidation;
            c.npvWithLiquidationDifference = f.npvWithLiquidationDifference;
        }
    }
}

void InventoryRunner::listAreaChecks() const {
    arbora::listAreaChecks(stands_->areaChecks(), options_.standsFile, header(StandColumn::area),
                           err_);
}

std::optional<EstateMap> InventoryRunner::map() {
    if (!mapping_) return std::nullopt;
    auto read = readMapOutlines(*stands_->geometryLayer(), [&](std::int64_t feature) {
        const auto found = mapIndex_.find(feature);
        return found == mapIndex_.end() ? nullptr : &mapStands_[found->second].path;
    });
    if (const auto* problem = std::get_if<Problem>(&read)) throw OutputFileError(problem->message);
    const OutlineFrame& frame = std::get<OutlineFrame>(read);
    if (frame.width == 0) return std::nullopt;
    std::erase_if(mapStands_, [](const MapStand& stand) { return stand.path.empty(); });
    mapIndex_.clear();
    return EstateMap{frame.width, frame.height, frame.metresPerUnit, frame.northUp,
                     std::move(mapStands_)};
}

BatchFlow InventoryRunner::flowOfStands(bool texts) const {
    const std::size_t rows = schedule_.scenarios.size() * options_.years.size();
    const std::size_t perStand = sizeof(StandWork) +
                                 schedule_.scenarios.size() * sizeof(ScenarioProjection) +
                                 rows * (sizeof(ProjectionRow) + (texts ? rowTextBytes : 0)) +
                                 (prices_ ? schedule_.scenarios.size() * sizeof(FinanceRow) : 0);
    return batchFlow(perStand, jobs_, options_.rowsInFlightBytes, largestBatch);
}

void InventoryRunner::reject(Rejection rejection) {
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

const std::string& InventoryRunner::header(StandColumn column) const {
    return map_.header[static_cast<std::size_t>(column)];
}

void InventoryRunner::read(RawRow& row, StandWork& work) {
    StandReading reading = stands_->read(row);
    work.stand = std::move(reading.stand);
    work.rejection = std::move(reading.rejection);
}

void InventoryRunner::checkIds(StandBatch& batch) {
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
                rowRejection(work.stand.line, work.stand.standId, header(StandColumn::standId),
                             "duplicate of line " + std::to_string(*first));
        }
    }
}

void InventoryRunner::project(StandWork& work, InventoryProjector& projector,
                              TextBuffer& formatted) const {
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
            if (s > 0) nonFinite->message = "scenario \"" + scenario + "\": " + nonFinite->message;
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

std::optional<Rejection> InventoryRunner::priceAll(StandWork& work) const {
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
        if (const auto* problem = std::get_if<Problem>(&priced))
            return rowRejection(stand.line, stand.standId, "scenario", problemText(*problem));
        work.finance.push_back(std::move(std::get<FinanceRow>(priced)));
    }
    setNpvDifferences(work.finance);
    return std::nullopt;
}

Rejection InventoryRunner::scenarioRejection(const InventoryStand& stand, std::size_t scenario,
                                             const Problem& problem) const {
    std::string column =
        problem.column == "stand_age" ? header(StandColumn::standAge) : std::string("scenario");
    std::string reason = problem.message;
    if (scenario > 0) {
        reason = "scenario \"" + schedule_.scenarios[scenario] + "\": " + reason;
    }
    return rowRejection(stand.line, stand.standId, std::move(column), std::move(reason));
}

void InventoryRunner::keepBatch(std::unique_ptr<StandBatch> batch) {
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

std::unique_ptr<StandBatch> InventoryRunner::spareBatch() {
    if (spare_.empty()) return std::make_unique<StandBatch>();
    std::unique_ptr<StandBatch> batch = std::move(spare_.back());
    spare_.pop_back();
    return batch;
}

void InventoryRunner::keep(const StandWork& work) {
    const InventoryStand& stand = work.stand;
    if (beyondYieldTables(stand, options_.years.back())) ++extrapolated_;
    if (output_) output_->addStand(stand);
    if (mapping_) {
        const ProjectionRow& last = work.projections.front().rows.back();  // the baseline's
        mapIndex_.emplace(stand.feature, mapStands_.size());
        mapStands_.push_back({stand.standId, {}, last.carbon.stand, last.standVolume, stand.area});
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

void InventoryRunner::rejectTreatmentsOfUnknownStands() {
    std::vector<const Treatment*> unknown;
    for (const auto& [standId, treatments] : schedule_.byStand) {
        if (standIds_.contains(standId)) continue;
        for (const std::size_t index : treatments)
            unknown.push_back(&schedule_.treatments[index]);
    }
    std::sort(unknown.begin(), unknown.end(),
              [](const Treatment* a, const Treatment* b) { return a->line < b->line; });
    for (const Treatment* t : unknown) {
        reject(rowRejection(t->line, t->standId, "stand_id", "names no stand of the inventory",
                            schedule_.fileName));
    }
}

}  // namespace arbora
