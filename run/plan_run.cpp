#include "run/plan_run.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <memory>
#include <ostream>

#include "inventory/stand_ids.h"
#include "planning/plan_tables.h"
#include "run/ordered_work.h"
#include "run/output_clashes.h"
#include "run/plan_stages.h"
#include "run/run_parameters.h"
#include "run/stop_signals.h"

namespace arbora {
namespace plan_stages {

std::string objectiveName(PlanObjective objective) {
    switch (objective) {
        case PlanObjective::npv:
            return "npv";
        case PlanObjective::carbon:
            return "carbon";
        case PlanObjective::volume:
            return "volume";
    }
    return "";
}

std::string statusName(SolveStatus status) {
    switch (status) {
        case SolveStatus::optimal:
            return "optimal";
        case SolveStatus::stopped:
            return "stopped at the time limit";
        case SolveStatus::infeasible:
            return "infeasible";
        case SolveStatus::unbounded:
            return "unbounded";
        case SolveStatus::failed:
            return "failed";
    }
    return "";
}

// The stages in order; a problem that ends the run is thrown as a RunEnd.
void PlanRun::run() {
    started_ = utcNow();
    checkOptions();
    stage_ = "reading the regimes, products and prices";
    readSetup();
    stage_ = "reading the stands";
    readStands();
    stage_ = "projecting the stands";
    projectStands();
    keepStands();
    stage_ = "solving the plan";
    solvePlan();
    if (options_.frontier > 0) traceFrontier();
    throwIfStopRequested();
    stage_ = "writing the outputs";
    writeOutputs();
}

void PlanRun::checkOptions() const {
    std::vector<NamedFile> inputs{{"the inventory", options_.standsFile},
                                  {"the regimes file", options_.regimesFile}};
    std::vector<NamedFile> outputs;
    const auto add = [](std::vector<NamedFile>& files, const char* role,
                        const std::optional<std::string>& path) {
        if (path) files.push_back({role, *path});
    };
    add(inputs, "the products file", options_.productsFile);
    add(inputs, "the prices file", options_.pricesFile);
    add(inputs, "the species map", options_.input.speciesMap);
    add(outputs, "the output", options_.outputFile);
    add(outputs, "the treatments file written", options_.treatmentsOut);
    add(outputs, "the report", options_.reportFile);
    if (const auto clash = outputClash(inputs, outputs)) throw RunEnd{exitUsage, *clash};
    if (options_.years.size() < 2 || options_.years.front() != 0) {
        throw RunEnd{exitUsage,
                     "--years: a plan's years start at 0 (the inventory) and hold at least "
                     "one more (one period)"};
    }
    if (options_.years.back() > lastScenarioYear) {
        throw RunEnd{exitUsage,
                     "--years: the years end at " + std::to_string(lastScenarioYear) + " at most"};
    }
    const bool money = options_.pricesFile.has_value();
    if (!money && (options_.targets.objective == PlanObjective::npv || options_.frontier > 0)) {
        throw RunEnd{exitUsage,
                     "--objective npv (the default) and --frontier need --prices FILE; "
                     "without prices use --objective carbon or volume"};
    }
}

void PlanRun::readSetup() {
    AccountingSetup accounting =
        readAccounting(options_.productsFile, options_.pricesFile, options_.encoding);
    if (!accounting.problems.empty()) {
        for (const Problem& problem : accounting.problems)
            err_ << problemText(problem) << "\n";
        throw RunEnd{exitUnusableData,
                     std::to_string(accounting.problems.size()) +
                         " rows of the products or prices file rejected, nothing written"};
    }
    settings_.products = accounting.products;
    settings_.prices = accounting.prices;
    accounting_ = std::move(accounting);
    regimes_ = readRegimes(options_.regimesFile, options_.encoding);
    if (!regimes_.rejections.empty()) {
        for (const Rejection& r : regimes_.rejections)
            err_ << rejectionLine(r) << "\n";
        throw RunEnd{exitUnusableData, std::to_string(regimes_.rejections.size()) +
                                           " rows of the regimes file rejected, nothing written"};
    }
    offers_ = regimeOffers(regimes_, options_.starts);
}

void PlanRun::readStands() {
    auto opened = openStandInput(options_.standsFile, options_.encoding, options_.input);
    if (const auto* problem = std::get_if<Problem>(&opened))
        throw RunEnd{exitStatusOf(problem->kind), problem->message};
    StandInput input = std::get<StandInput>(std::move(opened));
    for (const std::string& note : input.notes())
        err_ << options_.standsFile << ": " << note << "\n";
    inputParameters_ = inputRunParameters(input, options_.input, options_.encoding);
    inputParameters_.emplace_back("area_source", areaSource(input));
    openOutputs(input);
    layer_ = input.geometryLayer();
    StandIds ids;
    RawRow row;
    while (input.source().next(row)) {
        StandReading reading = input.read(row);
        StandPlan plan{std::move(reading.stand), std::move(reading.rejection)};
        const InventoryStand& s = plan.stand;
        if (!plan.rejection && !s.standId.empty()) {
            if (const auto first = ids.add(s.standId, s.line)) {
                plan.rejection = rowRejection(
                    s.line, s.standId, input.columns().header[std::size_t(StandColumn::standId)],
                    "duplicate of line " + std::to_string(*first));
            }
        }
        stands_.push_back(std::move(plan));
    }
    if (stands_.empty())
        throw RunEnd{exitUnusableData, options_.standsFile + ": has a header but no stand rows"};
    // The stands' areas weigh every total of the plan: read and checked as the inventory
    // reads them.
    if (const auto problem = input.areaUnitProblem())
        throw RunEnd{exitUnusableData, options_.standsFile + ": " + *problem};
    if (input.areaAssumed()) {
        err_ << "arbora-report plan: " << options_.standsFile << ": " << noAreaColumnNote << "\n";
    }
    listAreaChecks(input.areaChecks(), options_.standsFile,
                   input.columns().header[std::size_t(StandColumn::area)], err_);
    standAgeHeader_ = input.columns().header[std::size_t(StandColumn::standAge)];
}

// Every stand under every regime it is offered, on `jobs` threads, each result in its
// stand's place, so that the threads change nothing.
void PlanRun::projectStands() {
    const auto started = std::chrono::steady_clock::now();
    projectOnThreads();
    projectionSeconds_ =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
}

// The stands go to the workers in batches of consecutive stands, two batches a worker in
// flight; a failure on a worker (memory running out) comes back here with its batch. A
// stop request ends every worker at its next stand, and the run once they are done.
void PlanRun::projectOnThreads() {
    struct Batch {
        std::size_t first = 0, end = 0;
    };
    constexpr std::size_t batchStands = 16;
    const std::size_t jobs = std::max<std::size_t>(1, options_.jobs);
    std::vector<InventoryProjector> projectors(jobs);
    OrderedWork<Batch> workers(
        jobs > 1 ? jobs : 0, [this, &projectors](Batch& batch, std::size_t worker) {
            for (std::size_t i = batch.first; i < batch.end && stopRequest() == 0; ++i)
                projectStand(stands_[i], projectors[worker]);
        });
    for (std::size_t first = 0; first < stands_.size(); first += batchStands) {
        if (workers.outstanding() >= 2 * jobs) workers.next();
        workers.submit(
            std::make_unique<Batch>(Batch{first, std::min(stands_.size(), first + batchStands)}));
    }
    while (workers.next()) {
    }
    throwIfStopRequested();
}

void PlanRun::projectStand(StandPlan& plan, InventoryProjector& projector) const {
    if (plan.rejection) return;
    const InventoryStand& stand = plan.stand;
    std::optional<Problem> firstProblem;
    for (const RegimeOffer& offer : offers_) {
        if (!regimeSuits(regimes_, offer.regime, stand.species)) continue;
        std::vector<Treatment> done = standSchedule(regimes_, offer, stand, options_.years.back());
        auto result = regimeYield(projector, stand, done, offer.name, settings_);
        if (auto* problem = std::get_if<Problem>(&result)) {
            plan.options.push_back({offer.name, problem->message});
            if (!firstProblem) firstProblem = *problem;
            continue;
        }
        plan.options.push_back({offer.name, std::nullopt, plan.columns.size()});
        plan.columns.push_back({0, offer.name, std::move(std::get<RegimeRun>(result).yield)});
        plan.done.push_back(std::move(done));
    }
    if (plan.columns.empty()) {
        const std::string column =
            firstProblem->column == "stand_age" ? standAgeHeader_ : std::string("regimes");
        plan.rejection = rowRejection(stand.line, stand.standId, column,
                                      "no regime can be projected: " + firstProblem->message);
    }
}

void PlanRun::keepStands() {
    std::int64_t rejected = 0;
    for (const StandPlan& plan : stands_) {
        if (!plan.rejection) continue;
        if (rejected++ < std::int64_t(rejectionsListed)) {
            err_ << rejectionLine(*plan.rejection, options_.standsFile) << "\n";
        }
    }
    if (rejected > std::int64_t(rejectionsListed)) {
        err_ << options_.standsFile << ": " << rejected - std::int64_t(rejectionsListed)
             << " more rejected rows\n";
    }
    if (rejected > 0 && !options_.skipBadRows) {
        throw RunEnd{exitUnusableData,
                     options_.standsFile + ": " + std::to_string(rejected) +
                         " rows rejected, nothing written (--skip-bad-rows plans the others)"};
    }
    data_.years = options_.years;
    for (StandPlan& plan : stands_) {
        if (plan.rejection) continue;
        for (PlanColumn& column : plan.columns) {
            column.stand = data_.stands;
            columnPlace_.push_back({&plan, static_cast<std::size_t>(&column - &plan.columns[0])});
            data_.columns.push_back(std::move(column));
        }
        kept_.push_back(&plan);
        ++data_.stands;
        // Under no treatment, which every stand is offered, at least.
        if (beyondYieldTables(plan.stand, options_.years.back())) ++extrapolated_;
    }
    if (data_.stands == 0)
        throw RunEnd{exitUnusableData, options_.standsFile + ": all rows rejected"};
    if (extrapolated_ > 0) {
        err_ << "arbora-report plan: " << options_.standsFile << ": "
             << beyondYieldTablesText(extrapolated_) << " (untreated at least): extrapolated\n";
    }
    setBaseline(data_);
}

SolvedPlan PlanRun::solve(const PlanTargets& targets, bool whole) const {
    SolvedPlan plan{buildPlanModel(data_, targets, whole)};
    SolveOptions solve{.timeLimit = options_.timeLimit};
    // Whole stands start from every stand left untreated, where that meets the rows.
    if (whole) {
        solve.start.assign(data_.columns.size(), 0.0);
        for (std::size_t c = 0; c < data_.columns.size(); ++c) {
            if (data_.columns[c].regime == baselineScenario) solve.start[c] = 1;
        }
        solve.start.resize(plan.model.program.columns(), 0.0);  // no harvest
    }
    plan.solution = CoinSolver::solve(plan.model.program, solve);
    if (!plan.solution.primal.empty()) plan.yield = planYield(data_, plan.solution.primal);
    return plan;
}

void PlanRun::solvePlan() {
    plan_ = solve(options_.targets, options_.wholeStands);
    const SolveStatus status = plan_.solution.status;
    if (status == SolveStatus::optimal || status == SolveStatus::stopped) return;
    std::string message = "the plan's constraints cannot all be met, nothing written";
    if (status == SolveStatus::infeasible) {
        const std::vector<std::string> found = shortfalls(plan_.model);
        for (const std::string& line : found)
            message += "\n  " + line;
        if (found.empty() && options_.wholeStands)
            message += "\n  no choice of one regime a stand meets them (the shares could)";
    } else {
        message = "the solver found no plan (" + statusName(status) +
                  (options_.wholeStands ? ", within --time-limit" : "") + "), nothing written";
    }
    throw RunEnd{exitPlanInfeasible, message};
}

// Steps of the carbon at the last year from the best NPV plan's to the most carbon a
// plan can hold, each with the best NPV.
void PlanRun::traceFrontier() {
    const std::size_t last = data_.years.size() - 1;
    PlanTargets targets = options_.targets;
    targets.objective = PlanObjective::npv;
    const SolvedPlan best = solve(targets, false);
    targets.objective = PlanObjective::carbon;
    const SolvedPlan most = solve(targets, false);
    if (best.solution.primal.empty() || most.solution.primal.empty()) return;
    const double low = best.yield.carbonAt(last);
    const double high = most.yield.carbonAt(last);
    targets.objective = PlanObjective::npv;
    const std::size_t n = options_.frontier;
    for (std::size_t i = 0; i < n; ++i) {
        FrontierStep step;
        step.floor = n == 1 ? low : low + (high - low) * double(i) / double(n - 1);
        // The top step a hair below the most carbon, which the solver's tolerances
        // may not reach exactly.
        if (i + 1 == n && n > 1) step.floor = high - 1e-9 * std::abs(high);
        targets.lastYearCarbon = step.floor;
        const SolvedPlan solved = solve(targets, false);
        if (solved.solution.status == SolveStatus::optimal) {
            step.npv = solved.solution.objective;
            step.carbon = solved.yield.carbonAt(last);
            // What the step's extra carbon costs against the step before it.
            if (!frontier_.empty() && frontier_.back().npv) {
                const FrontierStep& before = frontier_.back();
                const double tonnes = carbonDioxideEquivalent(step.carbon - before.carbon);
                if (tonnes > 0) step.costPerTonne = (*before.npv - *step.npv) / tonnes;
            }
        }
        frontier_.push_back(step);
    }
}

}  // namespace plan_stages

int runPlan(const PlanOptions& options, std::ostream& out, std::ostream& err,
            int* stoppedBySignal) {
    const auto error = [&](const std::string& message, int status) {
        err << "arbora-report plan: " << message << "\n";
        return status;
    };
    InterruptionGuard interruption;
    const char* stage = "starting";
    try {
        plan_stages::PlanRun(options, out, err, stage).run();
        return exitSuccess;
    } catch (...) {
        int signal = 0;
        const RunEnd end = endOf(std::current_exception(), stage, signal);
        if (stoppedBySignal) *stoppedBySignal = signal;
        return error(end.message, end.status);
    }
}

}  // namespace arbora
