// The plan's tables and its treatments file, put in place together.

#include <memory>
#include <string>
#include <string_view>

#include "gis/geopackage_output.h"
#include "inventory/number_text.h"
#include "planning/plan_tables.h"
#include "run/plan_stages.h"

namespace arbora::plan_stages {
namespace {

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

}  // namespace

std::vector<std::pair<std::string, OwnedOutputValue>> PlanRun::runParameters() const {
    const PlanTargets& t = options_.targets;
    const LpSolution& s = plan_.solution;
    std::vector<std::pair<std::string, OwnedOutputValue>> p = inputParameters_;
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
    p.emplace_back("stands_beyond_yield_tables", extrapolated_);
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
std::vector<std::size_t> PlanRun::splitStands() const {
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
std::vector<std::size_t> PlanRun::largestShares() const {
    std::vector<std::size_t> best(data_.stands, data_.columns.size());
    const std::vector<double>& x = plan_.solution.primal;
    for (std::size_t c = 0; c < data_.columns.size(); ++c) {
        std::size_t& b = best[data_.columns[c].stand];
        if (b == data_.columns.size() || x[c] > x[b]) b = c;
    }
    return best;
}

void PlanRun::addRegimeOptions(ProjectionOutput& output) const {
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

void PlanRun::addPlanRows(ProjectionOutput& output) const {
    for (std::size_t c = 0; c < data_.columns.size(); ++c) {
        const double share = plan_.solution.primal[c];
        if (share <= 0) continue;
        const OutputValue row[] = {std::string_view(kept_[data_.columns[c].stand]->stand.standId),
                                   std::string_view(data_.columns[c].regime), share};
        output.addTableRow(planTable, row);
    }
}

void PlanRun::addPeriods(ProjectionOutput& output) const {
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

void PlanRun::addConstraints(ProjectionOutput& output) const {
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

void PlanRun::addFrontier(ProjectionOutput& output) const {
    for (std::size_t i = 0; i < frontier_.size(); ++i) {
        const FrontierStep& f = frontier_[i];
        const OutputValue row[] = {std::int64_t(i + 1), f.floor,
                                   f.npv ? OutputValue{*f.npv} : OutputValue{},
                                   f.npv ? OutputValue{f.carbon} : OutputValue{},
                                   f.costPerTonne ? OutputValue{*f.costPerTonne} : OutputValue{}};
        output.addTableRow(frontierTable, row);
    }
}

// The plan as a treatments file: each stand's treatments under its largest share's
// regime, year by year.
std::string PlanRun::treatmentsText() const {
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
// A GeoPackage (for a .gpkg name and stands with polygons) holds the tables and the
// layer stand_results with each stand's regime.
void PlanRun::openOutputs(const StandInput& input) {
    if (options_.outputFile) {
        const OutputTable* further[] = {&regimeOptionsTable, &planTable, &planPeriodsTable,
                                        &planConstraintsTable, &frontierTable};
        if (isGeoPackageName(*options_.outputFile) && !input.geometryLayer()) {
            throw RunEnd{exitUsage, "--output \"" + *options_.outputFile +
                                        "\": a GeoPackage needs stands with geometries (a GIS "
                                        "layer), and the inventory has none; write .sqlite or .db"};
        }
        auto opened = openStandOutput(*options_.outputFile, input, {}, further);
        if (const auto* problem = std::get_if<Problem>(&opened))
            throw RunEnd{exitStatusOf(problem->kind), problem->message};
        output_ = std::get<std::unique_ptr<ProjectionOutput>>(std::move(opened));
    }
    if (options_.treatmentsOut) treatments_ = std::make_unique<AtomicFile>(*options_.treatmentsOut);
    if (options_.reportFile) report_ = std::make_unique<AtomicFile>(*options_.reportFile);
}

// Every file is completed and made durable, and the screen's text written; then all
// files are put in place together, or none is.
void PlanRun::writeOutputs() {
    OutputSet outputs;
    if (output_) {
        // On the map, each stand's regime of the largest share, and the share.
        const std::vector<std::size_t> largest = largestShares();
        for (std::size_t k = 0; k < kept_.size(); ++k) {
            output_->addStand(kept_[k]->stand);
            const std::pair<std::string, OwnedOutputValue> fields[] = {
                {"regime", data_.columns[largest[k]].regime},
                {"regime_share", plan_.solution.primal[largest[k]]}};
            output_->addStandFields(fields);
        }
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
    if (report_) {
        report_->write(reportText());
        report_->sync();
        outputs.add(*report_);
    }
    printPlan();
    outputs.commit(&out_);
    if (output_ && !output_->file()) output_->commit();
}

}  // namespace arbora::plan_stages
