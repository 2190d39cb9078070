#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "management/removal.h"
#include "planning/linear_program.h"

// The harvest plan as a "Model I" linear programme (Johnson and Scheurman 1977): each
// stand is offered regimes, each stand-regime is a column whose value x is the share of
// the stand's area managed by that regime, the shares of a stand add up to 1, and the
// plan's harvest, stock and carbon are sums of the columns' yields times their shares.
namespace arbora {

enum class PlanObjective {
    npv,     // NPV plus the liquidation value of the wood standing at the last year
    carbon,  // forest plus product carbon at the last listed year
    volume,  // total removed volume
};

// The constraints of a plan; each is on only when given.
struct PlanTargets {
    PlanObjective objective = PlanObjective::npv;
    std::optional<double> evenFlow{};  // percent a period's harvest may differ from the one before
    std::optional<double> harvestMax{};    // m3 a year, every period (the allowable cut)
    std::optional<double> harvestMin{};    // m3 a year, every period
    std::optional<double> endingVolume{};  // percent of the standing volume at year 0
    std::optional<double> carbonFloor{};   // percent of the baseline's carbon at each listed year
    // t C of forest plus product carbon the last year holds at least (the frontier's steps).
    std::optional<double> lastYearCarbon{};
};

// What one stand yields under one regime, or a plan in all: per-hectare values times
// the stand's area, in m3, t C and the money of the prices file.
struct PlanYield {
    double npv = 0;               // discounted to year 0
    double liquidation = 0;       // the wood standing at the last year felled then, discounted
    std::vector<double> removed;  // m3 by period
    std::vector<AssortmentVolumes> assortments;  // m3 by period
    std::vector<double> revenue;                 // by period, undiscounted
    std::vector<double> costs;                   // by period, undiscounted
    std::vector<double> standing;                // m3 at each listed year
    std::vector<double> forestCarbon;            // t C at each listed year
    std::vector<double> productCarbon;           // t C at each listed year (wood products)

    // An empty yield over the periods of the years.
    static PlanYield zero(std::size_t years);
    // Adds `share` times another yield.
    void add(const PlanYield& other, double share);
    double carbonAt(std::size_t year) const { return forestCarbon[year] + productCarbon[year]; }
};

struct PlanColumn {
    std::size_t stand = 0;  // the stand's index among the plan's stands
    std::string regime;
    PlanYield yield;
};

// The stands' regimes as the programme sees them.
struct PlanData {
    std::vector<std::int32_t> years;  // the listed years; period p runs from years[p-1] to years[p]
    std::size_t stands = 0;
    std::vector<PlanColumn> columns;  // by stand in order; a stand's first is `none`
    PlanYield baseline;               // every stand under `none`

    std::size_t periods() const { return years.size() - 1; }
    double periodLength(std::size_t period) const {  // years; period from 1
        return static_cast<double>(years[period] - years[period - 1]);
    }
};

// Sums the stands' `none` columns into the baseline.
void setBaseline(PlanData& data);

enum class RowSense { atLeast, atMost };

// A named row of the programme besides the stands' own: e.g. even_flow_3_4_min,
// harvest_max_2, ending_volume, carbon_floor_25.
struct ConstraintRow {
    std::string name;
    std::int32_t row = 0;
    RowSense sense = RowSense::atLeast;
    std::int32_t period = 0;  // the period (the later one of an even flow); 0 for none
    std::int32_t year = 0;    // the listed year of a carbon floor or the ending volume
    double bound = 0;         // the row's bound, in its unit
    std::string unit;         // "m3/yr", "m3" or "t C"
    // An even flow's band: its row is flow(p) - factor * flow(p - 1) against 0.
    double factor = 0;
};

// The programme's columns are the stand-regimes in the order of PlanData::columns, then,
// with a flow constraint, one column per period holding its harvest in m3 a year.
struct PlanModel {
    LinearProgram program;
    std::vector<ConstraintRow> constraints;
};

PlanModel buildPlanModel(const PlanData& data, const PlanTargets& targets, bool wholeStands);

// The plan's yield: each column's times its share, added in column order.
PlanYield planYield(const PlanData& data, const std::vector<double>& shares);

// A constraint as the plan meets it: its value, its bound and the slack (how far the
// value is inside the bound, 0 when binding), in the row's unit, and its shadow price:
// what the objective gains for each unit the bound is raised.
struct ConstraintOutcome {
    const ConstraintRow* row = nullptr;
    double value = 0;
    double bound = 0;
    double slack = 0;
    double shadowPrice = 0;
};
// An even flow's value is the later period's removed volume a year and its bound the
// band's edge, the earlier period's times (1 -+ PCT/100), from the plan's yield.
std::vector<ConstraintOutcome> constraintOutcomes(const PlanModel& model, const LpSolution& s,
                                                  const PlanData& data, const PlanYield& plan);

// The constraints that cannot all be met, each with its shortfall in words ("even flow
// between periods 3 and 4 falls short by 1,240 m3/yr"), from an elastic solve: every
// constraint eased by a slack and the slacks' sum made as small as it can be. Empty when
// the slacks all come out 0 (the infeasibility lies elsewhere).
std::vector<std::string> shortfalls(const PlanModel& model);

// The shadow price of a binding constraint in words, e.g. "one m3/yr more of allowable
// cut in period 2 would raise the NPV by 38.2".
std::string shadowPriceText(const ConstraintOutcome& c, PlanObjective objective);

// A number for a sentence: thousands grouped with commas, whole above 100, else to one
// decimal (1,240; 38.2).
std::string groupedNumber(double value);

}  // namespace arbora
