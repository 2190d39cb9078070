#include "run/plan_run.h"

#include <fmt/format.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <map>
#include <memory>
#include <ostream>
#include <thread>

#include "inventory/number_text.h"
#include "inventory/projection.h"
#include "inventory/projection_output.h"
#include "inventory/stand_ids.h"
#include "management/treatments.h"
#include "planning/coin_solver.h"
#include "planning/plan_tables.h"
#include "planning/regimes.h"
#include "run/inventory_run.h"
#include "run/output_clashes.h"
#include "run/stop_signals.h"

namespace arbora {
namespace {

// A regime as offered to one stand: its column, or why it is not offered.
struct StandOption {
    std::string regime;
    std::optional<std::string> refused;  // why the stand cannot be projected under it
    std::size_t column = 0;              // into StandPlan::columns, when offered
};

// One stand read, and its regimes projected.
struct StandPlan {
    InventoryStand stand;
    std::optional<Rejection> rejection;
    std::vector<StandOption> options{};          // in the order the regimes are offered
    std::vector<PlanColumn> columns{};           // the regimes offered
    std::vector<std::vector<Treatment>> done{};  // each column's treatments, year by year
};

// A problem that ends the run with an exit status.
struct RunEnd {
    int status;
    std::string message;
};

// The plan as solved: the programme, its solution and what it means.
struct SolvedPlan {
    PlanModel model;
    LpSolution solution{};
    PlanYield yield{};
};

struct FrontierStep {
    double floor = 0;  // t C at the last year
    std::optional<double> npv;
    double carbon = 0;
    std::optional<double> costPerTonne;  // NPV given up per t CO2e more than the step before
};

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

OwnedOutputValue optionalValue(const std::optional<double>& value) {
    return value ? OwnedOutputValue{*value} : OwnedOutputValue{};
}

OwnedOutputValue optionalText(const std::optional<std::string>& value) {
    return value ? OwnedOutputValue{*value} : OwnedOutputValue{};
}

// The treatments file's columns, as --treatments-out writes them.
constexpr std::string_view treatmentsHeader =
    "scenario,stand_id,year,action,remove_trees,remove_basal_area,residual_density,quotient,"
    "regenerate,regeneration_stocking\n";

// A text as a CSV field: quoted when it holds a comma, a quote or a line end.
std::string csvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string quoted = "\"";
    for (const char c : text) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    return quoted + "\"";
}

std::string treatmentLine(const Treatment& t) {
    std::string line = "plan," + csvField(t.standId) + "," + std::to_string(*t.year) + ",";
    if (t.action == TreatmentAction::thin) {
        const std::string amount = shortestText(t.amount);
        line += "thin,";
        line += t.intensity == ThinningIntensity::removeTrees       ? amount + ",,"
                : t.intensity == ThinningIntensity::removeBasalArea ? "," + amount + ","
                                                                    : ",," + amount;
        line += "," + shortestText(t.quotient) + ",,\n";
        return line;
    }
    line += "clearcut,,,,,";
    if (t.regenerateSame || t.regenerate) {
        line += t.regenerateSame ? std::string("same") : std::to_string(*t.regenerate);
        line += "," + shortestText(t.stocking);
    } else {
        line += ",";
    }
    return line + "\n";
}

class PlanRun {
  public:
    PlanRun(const PlanOptions& options, std::ostream& out, std::ostream& err)
        : options_(options), out_(out), err_(err) {
        settings_.years = options.years;
    }

    // The stages in order; a problem that ends the run is thrown as a RunEnd.
    void run() {
        started_ = utcNow();
        checkOptions();
        readSetup();
        openOutputs();
        readStands();
        projectStands();
        keepStands();
        solvePlan();
        if (options_.frontier > 0) traceFrontier();
        throwIfStopRequested();
        writeOutputs();
    }

  private:
    void checkOptions() const {
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
        if (const auto clash = outputClash(inputs, outputs)) throw RunEnd{exitUsage, *clash};
        if (options_.years.size() < 2 || options_.years.front() != 0) {
            throw RunEnd{exitUsage,
                         "--years: a plan's years start at 0 (the inventory) and hold at least "
                         "one more (one period)"};
        }
        if (options_.years.back() > lastScenarioYear) {
            throw RunEnd{exitUsage, "--years: the years end at " +
                                        std::to_string(lastScenarioYear) + " at most"};
        }
        const bool money = options_.pricesFile.has_value();
        if (!money && (options_.targets.objective == PlanObjective::npv || options_.frontier > 0)) {
            throw RunEnd{exitUsage,
                         "--objective npv (the default) and --frontier need --prices FILE; "
                         "without prices use --objective carbon or volume"};
        }
    }

    void readSetup() {
        AccountingSetup accounting =
            readAccounting(options_.productsFile, options_.pricesFile, options_.encoding);
        if (!accounting.problems.empty()) {
            for (const AccountingProblem& problem : accounting.problems)
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
                err_ << r.file << ":" << r.line << ": " << r.column << ": " << r.reason << "\n";
            throw RunEnd{exitUnusableData,
                         std::to_string(regimes_.rejections.size()) +
                             " rows of the regimes file rejected, nothing written"};
        }
        offers_ = regimeOffers(regimes_, options_.starts);
    }

    void readStands() {
        auto opened = openStandInput(options_.standsFile, options_.encoding, options_.input);
        if (const auto* problem = std::get_if<GisProblem>(&opened))
            throw RunEnd{exitStatusOf(problem->kind), problem->message};
        StandInput input = std::get<StandInput>(std::move(opened));
        StandIds ids;
        RawRow row;
        while (input.source().next(row)) {
            StandReading reading = input.read(row);
            StandPlan plan{std::move(reading.stand), std::move(reading.rejection)};
            const InventoryStand& s = plan.stand;
            if (!plan.rejection && !s.standId.empty()) {
                if (const auto first = ids.add(s.standId, s.line)) {
                    plan.rejection =
                        Rejection{s.line, s.standId,
                                  input.columns().header[std::size_t(StandColumn::standId)],
                                  "duplicate of line " + std::to_string(*first)};
                }
            }
            stands_.push_back(std::move(plan));
        }
        if (stands_.empty())
            throw RunEnd{exitUnusableData,
                         options_.standsFile + ": has a header but no stand rows"};
        standAgeHeader_ = input.columns().header[std::size_t(StandColumn::standAge)];
    }

    // Every stand under every regime it is offered, on `jobs` threads; stand i on thread
    // i mod jobs, each result in its stand's place, so that the threads change nothing.
    void projectStands() {
        const auto started = std::chrono::steady_clock::now();
        projectOnThreads();
        projectionSeconds_ =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    }

    // A stop request ends every thread at its next stand, and the run once they are done.
    void projectOnThreads() {
        const std::size_t jobs = std::max<std::size_t>(1, options_.jobs);
        const auto work = [this, jobs](std::size_t worker) {
            InventoryProjector projector;
            for (std::size_t i = worker; i < stands_.size() && stopRequest() == 0; i += jobs)
                projectStand(stands_[i], projector);
        };
        {
            std::vector<std::jthread> threads;
            for (std::size_t w = 1; w < jobs; ++w) {
                threads.emplace_back([&work, w] {
                    holdStopSignalsOnThisThread();
                    work(w);
                });
            }
            work(0);
        }
        throwIfStopRequested();
    }

    void projectStand(StandPlan& plan, InventoryProjector& projector) const {
        if (plan.rejection) return;
        const InventoryStand& stand = plan.stand;
        std::optional<ScenarioProblem> firstProblem;
        for (const RegimeOffer& offer : offers_) {
            if (!regimeSuits(regimes_, offer.regime, stand.species)) continue;
            std::vector<Treatment> done =
                standSchedule(regimes_, offer, stand, options_.years.back());
            auto result = regimeYield(projector, stand, done, offer.name, settings_);
            if (auto* problem = std::get_if<ScenarioProblem>(&result)) {
                plan.options.push_back({offer.name, problem->reason});
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
            plan.rejection = Rejection{stand.line, stand.standId, column,
                                       "no regime can be projected: " + firstProblem->reason};
        }
    }

    void keepStands() {
        std::int64_t rejected = 0;
        for (const StandPlan& plan : stands_) {
            if (!plan.rejection) continue;
            if (rejected++ < std::int64_t(rejectionsListed)) {
                const Rejection& r = *plan.rejection;
                err_ << (r.file.empty() ? options_.standsFile : r.file) << ":" << r.line << ": "
                     << r.column << ": " << r.reason << "\n";
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
                columnPlace_.push_back(
                    {&plan, static_cast<std::size_t>(&column - &plan.columns[0])});
                data_.columns.push_back(std::move(column));
            }
            kept_.push_back(&plan);
            ++data_.stands;
        }
        if (data_.stands == 0)
            throw RunEnd{exitUnusableData, options_.standsFile + ": all rows rejected"};
        setBaseline(data_);
    }

    SolvedPlan solve(const PlanTargets& targets, bool whole) const {
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

    void solvePlan() {
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
    void traceFrontier() {
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

    std::vector<std::pair<std::string, OwnedOutputValue>> runParameters() const {
        const PlanTargets& t = options_.targets;
        const LpSolution& s = plan_.solution;
        std::vector<std::pair<std::string, OwnedOutputValue>> p;
        p.emplace_back("regimes", options_.regimesFile);
        p.emplace_back("starts", yearsText(options_.starts));
        p.emplace_back("objective", objectiveName(t.objective));
        p.emplace_back("even_flow", optionalValue(t.evenFlow));
        p.emplace_back("harvest_max", optionalValue(t.harvestMax));
        p.emplace_back("harvest_min", optionalValue(t.harvestMin));
        p.emplace_back("ending_volume", optionalValue(t.endingVolume));
        p.emplace_back("carbon_floor", optionalValue(t.carbonFloor));
        p.emplace_back("whole_stands", std::int64_t{options_.wholeStands});
        p.emplace_back("time_limit", options_.timeLimit);
        p.emplace_back("frontier", std::int64_t(options_.frontier));
        p.emplace_back("treatments_out", optionalText(options_.treatmentsOut));
        p.emplace_back("quotient_below", defaultQuotients.below);
        p.emplace_back("quotient_above", defaultQuotients.above);
        p.emplace_back("quotient_systematic", defaultQuotients.systematic);
        p.emplace_back("regeneration_age", std::int64_t{regenerationAge});
        p.emplace_back("products", optionalText(options_.productsFile));
        for (const RunParameter& r : productsRunParameters(accounting_.products))
            p.emplace_back(columnName(r.name), r.value);
        p.emplace_back("prices", optionalText(options_.pricesFile));
        if (accounting_.prices) {
            for (const RunParameter& r : financeRunParameters(*accounting_.prices))
                p.emplace_back(columnName(r.name), r.value);
        }
        p.emplace_back("projection_seconds", projectionSeconds_);
        p.emplace_back("solver", CoinSolver::name(options_.wholeStands));
        p.emplace_back("solver_status", statusName(s.status));
        p.emplace_back("objective_value", s.objective);
        p.emplace_back("iterations", s.iterations);
        p.emplace_back("solver_seconds", s.seconds);
        p.emplace_back("gap", s.gap);
        p.emplace_back("lp_rows", std::int64_t(plan_.model.program.rows()));
        p.emplace_back("lp_columns", std::int64_t(plan_.model.program.columns()));
        p.emplace_back("split_stands", std::int64_t(splitStands().size()));
        return p;
    }

    // The kept stands managed by more than one regime.
    std::vector<std::size_t> splitStands() const {
        std::vector<int> regimes(data_.stands, 0);
        for (std::size_t c = 0; c < data_.columns.size(); ++c) {
            if (plan_.solution.primal[c] > 0) ++regimes[data_.columns[c].stand];
        }
        std::vector<std::size_t> split;
        for (std::size_t s = 0; s < regimes.size(); ++s) {
            if (regimes[s] > 1) split.push_back(s);
        }
        return split;
    }

    // The column of each kept stand with the largest share (the first of equal ones).
    std::vector<std::size_t> largestShares() const {
        std::vector<std::size_t> best(data_.stands, data_.columns.size());
        const std::vector<double>& x = plan_.solution.primal;
        for (std::size_t c = 0; c < data_.columns.size(); ++c) {
            std::size_t& b = best[data_.columns[c].stand];
            if (b == data_.columns.size() || x[c] > x[b]) b = c;
        }
        return best;
    }

    void addRegimeOptions(ProjectionOutput& output) const {
        const std::size_t last = data_.years.size() - 1;
        std::size_t base = 0;
        for (const StandPlan* plan : kept_) {
            for (const StandOption& option : plan->options) {
                std::vector<OutputValue> row = {std::string_view(plan->stand.standId),
                                                std::string_view(option.regime),
                                                std::int64_t{!option.refused}};
                if (option.refused) {
                    row.insert(row.end(), {std::string_view(*option.refused), {}, {}, {}, {}});
                } else {
                    const PlanYield& y = data_.columns[base + option.column].yield;
                    double removed = 0;
                    for (const double v : y.removed)
                        removed += v;
                    row.insert(row.end(),
                               {std::monostate{}, y.npv, y.liquidation, removed, y.carbonAt(last)});
                    if (!settings_.prices) row[4] = row[5] = std::monostate{};
                }
                output.addTableRow(regimeOptionsTable, row);
            }
            base += plan->columns.size();
        }
    }

    void addPlanRows(ProjectionOutput& output) const {
        for (std::size_t c = 0; c < data_.columns.size(); ++c) {
            const double share = plan_.solution.primal[c];
            if (share <= 0) continue;
            const OutputValue row[] = {
                std::string_view(kept_[data_.columns[c].stand]->stand.standId),
                std::string_view(data_.columns[c].regime), share};
            output.addTableRow(planTable, row);
        }
    }

    void addPeriods(ProjectionOutput& output) const {
        const PlanYield& y = plan_.yield;
        const PlanYield& b = data_.baseline;
        const bool money = settings_.prices.has_value();
        const auto moneyValue = [&](double v) { return money ? OutputValue{v} : OutputValue{}; };
        for (std::size_t p = 1; p < data_.years.size(); ++p) {
            const AssortmentVolumes& a = y.assortments[p - 1];
            const OutputValue row[] = {std::int64_t(p),
                                       std::int64_t{data_.years[p - 1]},
                                       std::int64_t{data_.years[p]},
                                       y.removed[p - 1] / data_.periodLength(p),
                                       y.removed[p - 1],
                                       a.roughTimber,
                                       a.timberMachining,
                                       a.fuelWood,
                                       a.wasteWood,
                                       a.unsorted,
                                       y.standing[p],
                                       y.forestCarbon[p],
                                       y.productCarbon[p],
                                       moneyValue(y.revenue[p - 1]),
                                       moneyValue(y.costs[p - 1]),
                                       b.removed[p - 1],
                                       b.standing[p],
                                       b.forestCarbon[p],
                                       b.productCarbon[p],
                                       moneyValue(b.revenue[p - 1]),
                                       moneyValue(b.costs[p - 1])};
            output.addTableRow(planPeriodsTable, row);
        }
    }

    void addConstraints(ProjectionOutput& output) const {
        for (const ConstraintOutcome& c :
             constraintOutcomes(plan_.model, plan_.solution, data_, plan_.yield)) {
            const OutputValue row[] = {
                std::string_view(c.row->name),
                c.row->period ? OutputValue{std::int64_t{c.row->period}} : OutputValue{},
                c.row->year ? OutputValue{std::int64_t{c.row->year}} : OutputValue{},
                c.value,
                c.bound,
                c.slack,
                c.shadowPrice,
                std::string_view(c.row->unit)};
            output.addTableRow(planConstraintsTable, row);
        }
    }

    void addFrontier(ProjectionOutput& output) const {
        for (std::size_t i = 0; i < frontier_.size(); ++i) {
            const FrontierStep& f = frontier_[i];
            const OutputValue row[] = {
                std::int64_t(i + 1), f.floor, f.npv ? OutputValue{*f.npv} : OutputValue{},
                f.npv ? OutputValue{f.carbon} : OutputValue{},
                f.costPerTonne ? OutputValue{*f.costPerTonne} : OutputValue{}};
            output.addTableRow(frontierTable, row);
        }
    }

    // The plan as a treatments file: each stand's treatments under its largest share's
    // regime, year by year.
    std::string treatmentsText() const {
        std::string text(treatmentsHeader);
        for (const std::size_t c : largestShares()) {
            const auto& [plan, column] = columnPlace_[c];
            for (const Treatment& t : plan->done[column])
                text += treatmentLine(t);
        }
        return text;
    }

    // Every file to write is started before the work, so that one that cannot be written
    // is found at once.
    void openOutputs() {
        if (options_.outputFile) {
            const OutputTable* further[] = {&regimeOptionsTable, &planTable, &planPeriodsTable,
                                            &planConstraintsTable, &frontierTable};
            output_ = openProjectionOutput(*options_.outputFile, further);
        }
        if (options_.treatmentsOut)
            treatments_ = std::make_unique<AtomicFile>(*options_.treatmentsOut);
    }

    // Every file is completed and made durable, and the screen's text written; then all
    // files are put in place together, or none is.
    void writeOutputs() {
        OutputSet outputs;
        if (output_) {
            for (const StandPlan* plan : kept_)
                output_->addStand(plan->stand);
            addRegimeOptions(*output_);
            addPlanRows(*output_);
            addPeriods(*output_);
            addConstraints(*output_);
            addFrontier(*output_);
            output_->complete({}, {},
                              {programVersion(), started_, options_.standsFile,
                               yearsText(options_.years), runParameters()});
            if (AtomicFile* file = output_->file()) outputs.add(*file);
        }
        if (treatments_) {
            treatments_->write(treatmentsText());
            treatments_->sync();
            outputs.add(*treatments_);
        }
        printPlan();
        outputs.commit(&out_);
        if (output_ && !output_->file()) output_->commit();
    }

    void printPlan() const;
    void printPeriods() const;
    void printBinding() const;
    void printRegimes() const;
    void printFrontier() const;

    const PlanOptions& options_;
    std::ostream& out_;
    std::ostream& err_;
    std::string started_;
    AccountingSetup accounting_;
    YieldSettings settings_;
    TreatmentSchedule regimes_;
    std::vector<RegimeOffer> offers_;
    std::vector<StandPlan> stands_;
    std::string standAgeHeader_;
    std::vector<const StandPlan*> kept_;  // by the stand's index in the programme
    PlanData data_;
    // Each column's stand and its index among the stand's own columns.
    std::vector<std::pair<const StandPlan*, std::size_t>> columnPlace_;
    SolvedPlan plan_;
    std::vector<FrontierStep> frontier_;
    double projectionSeconds_ = 0;  // projecting every stand under its regimes
    std::unique_ptr<ProjectionOutput> output_;
    std::unique_ptr<AtomicFile> treatments_;
};

std::string number(double value) {
    return fmt::format("{:.1f}", value);
}

void PlanRun::printPlan() const {
    const LpSolution& s = plan_.solution;
    out_ << "Harvest plan of " << options_.standsFile << ": " << data_.stands << " stands, "
         << data_.columns.size() << " stand-regimes offered, objective "
         << objectiveName(options_.targets.objective) << " (maximised)\n";
    out_ << CoinSolver::name(options_.wholeStands) << ": " << statusName(s.status) << ", objective "
         << number(s.objective) << ", " << s.iterations
         << (options_.wholeStands ? " nodes" : " iterations");
    if (s.status == SolveStatus::stopped)
        out_ << ", gap " << fmt::format("{:.2f}", s.gap * 100) << " %";
    out_ << "\n\n";
    printPeriods();
    printBinding();
    printRegimes();
    printFrontier();
}

void PlanRun::printPeriods() const {
    out_ << fmt::format("{:>6} {:>11} {:>14} {:>14} {:>14} {:>14} {:>14} {:>14}\n", "Period",
                        "Years", "Removed m3/yr", "baseline", "Standing m3", "baseline",
                        "Carbon t C", "baseline");
    for (std::size_t p = 1; p < data_.years.size(); ++p) {
        const double length = data_.periodLength(p);
        out_ << fmt::format("{:>6} {:>11} {:>14} {:>14} {:>14} {:>14} {:>14} {:>14}\n", p,
                            fmt::format("{}-{}", data_.years[p - 1], data_.years[p]),
                            number(plan_.yield.removed[p - 1] / length),
                            number(data_.baseline.removed[p - 1] / length),
                            number(plan_.yield.standing[p]), number(data_.baseline.standing[p]),
                            number(plan_.yield.carbonAt(p)), number(data_.baseline.carbonAt(p)));
    }
    out_ << "(carbon: forest and wood products, t C at the end of each period)\n";
}

// The binding constraints with their shadow prices in words.
void PlanRun::printBinding() const {
    bool heading = false;
    for (const ConstraintOutcome& c :
         constraintOutcomes(plan_.model, plan_.solution, data_, plan_.yield)) {
        if (c.slack != 0 || c.shadowPrice == 0) continue;
        if (!heading) out_ << "\nBinding constraints:\n";
        heading = true;
        out_ << "  " << c.row->name << ": " << shadowPriceText(c, options_.targets.objective)
             << "\n";
    }
}

// The stands per regime, and the stands split between regimes with their shares.
void PlanRun::printRegimes() const {
    std::map<std::string, std::size_t> perRegime;
    for (const std::size_t c : largestShares())
        ++perRegime[data_.columns[c].regime];
    out_ << "\nStands per regime (by the largest share):\n";
    for (const auto& [regime, count] : perRegime)
        out_ << fmt::format("  {:<24} {:>8}\n", regime, count);
    const std::vector<std::size_t> split = splitStands();
    const std::vector<double>& x = plan_.solution.primal;
    out_ << "\nSplit stands: " << split.size() << "\n";
    for (const std::size_t stand : split) {
        out_ << "  " << kept_[stand]->stand.standId << ":";
        for (std::size_t c = 0; c < data_.columns.size(); ++c) {
            if (data_.columns[c].stand == stand && x[c] > 0)
                out_ << " " << data_.columns[c].regime << " " << fmt::format("{:.3f}", x[c]);
        }
        out_ << "\n";
    }
    if (options_.treatmentsOut && !split.empty()) {
        out_ << "The treatments file " << *options_.treatmentsOut
             << " gives each split stand its largest share's regime.\n";
    }
}

void PlanRun::printFrontier() const {
    for (std::size_t i = 0; i < frontier_.size(); ++i) {
        if (i == 0) out_ << "\nFrontier (NPV against carbon at the last year):\n";
        const FrontierStep& f = frontier_[i];
        out_ << fmt::format("  {:>3}  carbon {:>14}  NPV {:>16}  cost per t CO2e {:>10}\n", i + 1,
                            number(f.carbon), f.npv ? number(*f.npv) : "-",
                            f.costPerTonne ? number(*f.costPerTonne) : "-");
    }
}

}  // namespace

int runPlan(const PlanOptions& options, std::ostream& out, std::ostream& err,
            int* stoppedBySignal) {
    const auto error = [&](const std::string& message, int status) {
        err << "arbora-report plan: " << message << "\n";
        return status;
    };
    InterruptionGuard interruption;
    try {
        PlanRun(options, out, err).run();
        return exitSuccess;
    } catch (const RunEnd& end) {
        return error(end.message, end.status);
    } catch (const InventoryInputError& e) {
        return error(e.what(), e.kind() == InventoryInputError::unreadable ? exitFileFailure
                                                                           : exitUnusableData);
    } catch (const OutputFileError& e) {
        return error(e.what(), exitFileFailure);
    } catch (const RunStopped& e) {
        if (stoppedBySignal) *stoppedBySignal = e.signal();
        return error(std::string(e.what()) + ", no file changed", exitFileFailure);
    }
}

}  // namespace arbora
