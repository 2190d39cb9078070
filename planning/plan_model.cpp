#include "planning/plan_model.h"

#include <cmath>
#include <limits>

#include "planning/coin_solver.h"

namespace arbora {
namespace {

constexpr double infinity = std::numeric_limits<double>::infinity();
// A slack below this (in the row's unit) counts as met: the solver's own tolerance.
constexpr double slackTolerance = 1e-6;

double objectiveOf(const PlanYield& y, PlanObjective objective) {
    switch (objective) {
        case PlanObjective::npv:
            return y.npv + y.liquidation;
        case PlanObjective::carbon:
            return y.carbonAt(y.standing.size() - 1);
        case PlanObjective::volume: {
            double sum = 0;
            for (const double v : y.removed)
                sum += v;
            return sum;
        }
    }
    return 0;
}

// The rows of the constraints asked for, each with how a column enters it.
class ConstraintBuilder {
  public:
    ConstraintBuilder(const PlanData& data, const PlanTargets& targets, PlanModel& model)
        : data_(data), targets_(targets), model_(model) {}

    void addRows() {
        const std::size_t periods = data_.periods();
        const std::size_t last = data_.years.size() - 1;
        // The harvest of each period is a column of its own, defined by a row that every
        // stand-regime enters once, so that the flow constraints hold one or two entries
        // each instead of one for every stand-regime: a sparser programme, which the
        // interior-point method solves much faster.
        if (targets_.evenFlow || targets_.harvestMax || targets_.harvestMin) {
            for (std::size_t p = 1; p <= periods; ++p) {
                harvestRows_.push_back(model_.program.addRow("harvest_" + std::to_string(p), 0, 0));
            }
        }
        for (std::size_t p = 1; p <= periods; ++p) {
            if (targets_.evenFlow && p > 1) {
                const std::string pair = std::to_string(p - 1) + "_" + std::to_string(p);
                const double band = *targets_.evenFlow / 100;
                add({"even_flow_" + pair + "_min", 0, RowSense::atLeast, int(p), 0, 0, "m3/yr",
                     1 - band});
                add({"even_flow_" + pair + "_max", 0, RowSense::atMost, int(p), 0, 0, "m3/yr",
                     1 + band});
            }
            if (targets_.harvestMax) {
                add({"harvest_max_" + std::to_string(p), 0, RowSense::atMost, int(p), 0,
                     *targets_.harvestMax, "m3/yr"});
            }
            if (targets_.harvestMin) {
                add({"harvest_min_" + std::to_string(p), 0, RowSense::atLeast, int(p), 0,
                     *targets_.harvestMin, "m3/yr"});
            }
        }
        if (targets_.endingVolume) {
            add({"ending_volume", 0, RowSense::atLeast, 0, data_.years[last],
                 *targets_.endingVolume / 100 * data_.baseline.standing[0], "m3"});
        }
        if (targets_.carbonFloor) {
            // Year 0 is the inventory as measured, the same under every regime.
            for (std::size_t y = 1; y <= last; ++y) {
                add({"carbon_floor_" + std::to_string(data_.years[y]), 0, RowSense::atLeast, 0,
                     data_.years[y], *targets_.carbonFloor / 100 * data_.baseline.carbonAt(y),
                     "t C"});
            }
        }
        if (targets_.lastYearCarbon) {
            add({"carbon_last_year", 0, RowSense::atLeast, 0, data_.years[last],
                 *targets_.lastYearCarbon, "t C"});
        }
    }

    // A stand-regime's entries in the harvest rows and the constraint rows, appended to
    // `entries`.
    void entries(const PlanYield& y, std::vector<ColumnEntry>& entries) const {
        for (std::size_t p = 1; p <= harvestRows_.size(); ++p) {
            if (const double value = flow(y, p); value != 0)
                entries.emplace_back(harvestRows_[p - 1], value);
        }
        for (const ConstraintRow& c : model_.constraints) {
            const double value = coefficient(c, y);
            if (value != 0) entries.emplace_back(c.row, value);
        }
    }

    // The columns of the periods' harvests (m3 a year), after the stand-regimes'.
    void addHarvestColumns() {
        std::vector<ColumnEntry> entries;
        for (std::size_t p = 1; p <= harvestRows_.size(); ++p) {
            entries.assign(1, {harvestRows_[p - 1], -1.0});
            for (const ConstraintRow& c : model_.constraints) {
                const auto period = static_cast<std::size_t>(c.period);
                if (c.factor != 0 && period == p + 1) entries.emplace_back(c.row, -c.factor);
                if (c.period != 0 && period == p) entries.emplace_back(c.row, 1.0);
            }
            model_.program.addColumn(0, 0, infinity, entries);
        }
    }

  private:
    void add(ConstraintRow row) {
        const bool atLeast = row.sense == RowSense::atLeast;
        row.row = model_.program.addRow(row.name, atLeast ? row.bound : -infinity,
                                        atLeast ? infinity : row.bound);
        model_.constraints.push_back(std::move(row));
    }

    // Removed volume a year in a period.
    double flow(const PlanYield& y, std::size_t p) const {
        return y.removed[p - 1] / data_.periodLength(p);
    }

    double coefficient(const ConstraintRow& c, const PlanYield& y) const {
        const std::size_t last = data_.years.size() - 1;
        if (c.period != 0) return 0;  // a flow constraint, on the harvest columns
        if (c.name == "ending_volume") return y.standing[last];
        for (std::size_t i = 1; i <= last; ++i) {
            if (data_.years[i] == c.year) return y.carbonAt(i);
        }
        return 0;
    }

    const PlanData& data_;
    const PlanTargets& targets_;
    PlanModel& model_;
    std::vector<std::int32_t> harvestRows_;  // by period from 1; empty without flow rows
};

// The numbers of the periods of an even-flow row's name, "3 and 4".
std::string periodPair(const ConstraintRow& c) {
    return std::to_string(c.period - 1) + " and " + std::to_string(c.period);
}

std::string shortfallText(const ConstraintRow& c, double amount) {
    const std::string by = groupedNumber(amount) + " " + c.unit;
    if (c.name.starts_with("even_flow_")) {
        return "even flow between periods " + periodPair(c) +
               (c.sense == RowSense::atLeast ? " falls short by " : " is exceeded by ") + by;
    }
    if (c.name.starts_with("harvest_max_")) {
        return "the allowable cut in period " + std::to_string(c.period) + " is exceeded by " + by;
    }
    if (c.name.starts_with("harvest_min_")) {
        return "the minimum harvest in period " + std::to_string(c.period) + " falls short by " +
               by;
    }
    if (c.name == "ending_volume") return "the ending volume falls short by " + by;
    return "the carbon floor at year " + std::to_string(c.year) + " falls short by " + by;
}

}  // namespace

PlanYield PlanYield::zero(std::size_t years) {
    PlanYield y;
    const std::size_t periods = years - 1;
    y.removed.assign(periods, 0.0);
    y.assortments.assign(periods, AssortmentVolumes{});
    y.revenue.assign(periods, 0.0);
    y.costs.assign(periods, 0.0);
    y.standing.assign(years, 0.0);
    y.forestCarbon.assign(years, 0.0);
    y.productCarbon.assign(years, 0.0);
    return y;
}

void PlanYield::add(const PlanYield& o, double share) {
    npv += share * o.npv;
    liquidation += share * o.liquidation;
    for (std::size_t p = 0; p < removed.size(); ++p) {
        removed[p] += share * o.removed[p];
        AssortmentVolumes& a = assortments[p];
        const AssortmentVolumes& b = o.assortments[p];
        a.roughTimber += share * b.roughTimber;
        a.timberMachining += share * b.timberMachining;
        a.fuelWood += share * b.fuelWood;
        a.wasteWood += share * b.wasteWood;
        a.unsorted += share * b.unsorted;
        revenue[p] += share * o.revenue[p];
        costs[p] += share * o.costs[p];
    }
    for (std::size_t y = 0; y < standing.size(); ++y) {
        standing[y] += share * o.standing[y];
        forestCarbon[y] += share * o.forestCarbon[y];
        productCarbon[y] += share * o.productCarbon[y];
    }
}

void setBaseline(PlanData& data) {
    data.baseline = PlanYield::zero(data.years.size());
    for (const PlanColumn& c : data.columns) {
        if (c.regime == baselineScenario) data.baseline.add(c.yield, 1);
    }
}

PlanModel buildPlanModel(const PlanData& data, const PlanTargets& targets, bool wholeStands) {
    PlanModel model;
    for (std::size_t s = 0; s < data.stands; ++s)
        model.program.addRow("stand_" + std::to_string(s + 1), 1, 1);
    ConstraintBuilder constraints(data, targets, model);
    constraints.addRows();
    std::vector<ColumnEntry> entries;
    for (const PlanColumn& c : data.columns) {
        entries.clear();
        entries.emplace_back(static_cast<std::int32_t>(c.stand), 1.0);
        constraints.entries(c.yield, entries);
        model.program.addColumn(objectiveOf(c.yield, targets.objective), 0, 1, entries,
                                wholeStands);
    }
    constraints.addHarvestColumns();
    return model;
}

PlanYield planYield(const PlanData& data, const std::vector<double>& shares) {
    PlanYield y = PlanYield::zero(data.years.size());
    for (std::size_t i = 0; i < data.columns.size(); ++i) {
        if (shares[i] != 0) y.add(data.columns[i].yield, shares[i]);
    }
    return y;
}

std::vector<ConstraintOutcome> constraintOutcomes(const PlanModel& model, const LpSolution& s,
                                                  const PlanData& data, const PlanYield& plan) {
    std::vector<ConstraintOutcome> out;
    for (const ConstraintRow& c : model.constraints) {
        ConstraintOutcome o{&c, s.rowActivity[static_cast<std::size_t>(c.row)], c.bound};
        if (c.factor != 0) {
            const auto p = static_cast<std::size_t>(c.period);
            o.value = plan.removed[p - 1] / data.periodLength(p);
            o.bound = c.factor * plan.removed[p - 2] / data.periodLength(p - 1);
        }
        o.slack = c.sense == RowSense::atLeast ? o.value - o.bound : o.bound - o.value;
        if (std::abs(o.slack) < slackTolerance) o.slack = 0;
        o.shadowPrice = s.rowDual[static_cast<std::size_t>(c.row)];
        out.push_back(o);
    }
    return out;
}

std::vector<std::string> shortfalls(const PlanModel& model) {
    // The same rows and columns with nothing to gain; then a slack for each constraint,
    // which eases it at a cost of 1 a unit.
    LinearProgram elastic = model.program;
    elastic.maximise = false;
    std::fill(elastic.objective.begin(), elastic.objective.end(), 0.0);
    std::fill(elastic.wholeNumber.begin(), elastic.wholeNumber.end(), false);
    for (const ConstraintRow& c : model.constraints) {
        const ColumnEntry entry{c.row, c.sense == RowSense::atLeast ? 1.0 : -1.0};
        elastic.addColumn(1, 0, infinity, {&entry, 1});
    }
    const LpSolution s = CoinSolver::solve(elastic);
    std::vector<std::string> found;
    if (s.status != SolveStatus::optimal) return found;
    for (std::size_t i = 0; i < model.constraints.size(); ++i) {
        const double slack = s.primal[model.program.columns() + i];
        if (slack > slackTolerance) found.push_back(shortfallText(model.constraints[i], slack));
    }
    return found;
}

std::string shadowPriceText(const ConstraintOutcome& c, PlanObjective objective) {
    const ConstraintRow& r = *c.row;
    const std::string gain = objective == PlanObjective::npv      ? "the NPV"
                             : objective == PlanObjective::carbon ? "the carbon (t C)"
                                                                  : "the removed volume (m3)";
    const double price = std::abs(c.shadowPrice);
    const std::string worth = " would raise " + gain + " by " + groupedNumber(price);
    if (r.name.starts_with("even_flow_")) {
        return std::string("a band one m3/yr wider between periods ") + periodPair(r) + worth;
    }
    if (r.name.starts_with("harvest_max_")) {
        return "one m3/yr more of allowable cut in period " + std::to_string(r.period) + worth;
    }
    if (r.name.starts_with("harvest_min_")) {
        return "a minimum harvest one m3/yr lower in period " + std::to_string(r.period) + worth;
    }
    if (r.name == "ending_volume") return "one m3 less of ending volume" + worth;
    return "a carbon floor one t C lower at year " + std::to_string(r.year) + worth;
}

std::string groupedNumber(double value) {
    const bool whole = std::abs(value) >= 100;
    const double rounded = whole ? std::round(value) : std::round(value * 10) / 10;
    std::string text = std::to_string(static_cast<long long>(std::trunc(std::abs(rounded))));
    for (auto at = static_cast<std::ptrdiff_t>(text.size()) - 3; at > 0; at -= 3)
        text.insert(static_cast<std::size_t>(at), ",");
    if (!whole) {
        const auto tenth = static_cast<int>(std::llround(std::abs(rounded) * 10) % 10);
        text += "." + std::to_string(tenth);
    }
    return (rounded < 0 ? "-" : "") + text;
}

}  // namespace arbora
