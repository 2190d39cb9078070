// The plan on the screen: the periods against the baseline, the binding constraints
// in words, the stands per regime and the frontier.

#include <fmt/format.h>

#include <map>
#include <ostream>
#include <string>

#include "planning/plan_tables.h"
#include "run/plan_stages.h"

namespace arbora::plan_stages {

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

}  // namespace arbora::plan_stages
