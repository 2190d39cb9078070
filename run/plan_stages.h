#pragma once

// The plan command's run, in stages: reading and projecting (plan_run.cpp), the tables
// and the treatments file (plan_output.cpp), the screen's text (plan_screen.cpp). Used
// by those files only.

#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "accounting/finance.h"
#include "accounting/wood_products.h"
#include "estate/plan_report.h"
#include "gis/layer_ref.h"
#include "inventory/projection.h"
#include "inventory/projection_output.h"
#include "management/treatments.h"
#include "planning/coin_solver.h"
#include "planning/plan_model.h"
#include "planning/regimes.h"
#include "run/inventory_run.h"
#include "run/plan_run.h"

namespace arbora::plan_stages {

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

std::string objectiveName(PlanObjective objective);
std::string statusName(SolveStatus status);
// A number on the screen, to one decimal.
std::string number(double value);

class PlanRun {
  public:
    // `stage` is kept saying what the run does, for a message when memory runs out.
    PlanRun(const PlanOptions& options, std::ostream& out, std::ostream& err, const char*& stage)
        : options_(options), out_(out), err_(err), stage_(stage) {
        settings_.years = options.years;
    }

    // The stages in order; a problem that ends the run is thrown as a RunEnd.
    void run();

  private:
    void checkOptions() const;
    void readSetup();
    void readStands();

    // Every stand under every regime it is offered, on `jobs` threads, each result in its
    // stand's place, so that the threads change nothing.
    void projectStands();

    // A stop request ends every thread at its next stand, and the run once they are done.
    void projectOnThreads();

    void projectStand(StandPlan& plan, InventoryProjector& projector) const;
    void keepStands();
    SolvedPlan solve(const PlanTargets& targets, bool whole) const;
    void solvePlan();

    // Steps of the carbon at the last year from the best NPV plan's to the most carbon a
    // plan can hold, each with the best NPV.
    void traceFrontier();

    std::vector<std::pair<std::string, OwnedOutputValue>> runParameters() const;

    // The kept stands managed by more than one regime.
    std::vector<std::size_t> splitStands() const;

    // The column of each kept stand with the largest share (the first of equal ones).
    std::vector<std::size_t> largestShares() const;
    void addRegimeOptions(ProjectionOutput& output) const;
    void addPlanRows(ProjectionOutput& output) const;
    void addPeriods(ProjectionOutput& output) const;
    void addConstraints(ProjectionOutput& output) const;
    void addFrontier(ProjectionOutput& output) const;

    // The plan as a treatments file: each stand's treatments under its largest share's
    // regime, year by year.
    std::string treatmentsText() const;

    // Every file to write is started before the work, so that one that cannot be written
    // is found at once.
    void openOutputs(const StandInput& input);

    // Every file is completed and made durable, and the screen's text written; then all
    // files are put in place together, or none is.
    void writeOutputs();
    // The plan's estate page (plan_page.cpp).
    std::string reportText() const;
    void addMap(PlanReportData& data, const std::vector<std::size_t>& largest) const;

    void printPlan() const;
    void printPeriods() const;
    void printBinding() const;
    void printRegimes() const;
    void printFrontier() const;

    const PlanOptions& options_;
    std::ostream& out_;
    std::ostream& err_;
    const char*& stage_;
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
    std::unique_ptr<AtomicFile> report_;
    std::optional<LayerRef> layer_;  // the stands' polygons, for the page's map
    // How the stands were read (layer, area unit and source, columns, encoding), for run.
    std::vector<std::pair<std::string, OwnedOutputValue>> inputParameters_;
    std::int64_t extrapolated_ = 0;  // stands beyond the yield tables' last age
};

}  // namespace arbora::plan_stages
