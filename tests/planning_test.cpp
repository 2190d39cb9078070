// Harvest planning: the solver on programmes small enough to solve by hand, the model's
// rows, the regimes and the plan command's outputs.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <sstream>

#include "estate/plan_report.h"
#include "planning/coin_solver.h"
#include "planning/plan_model.h"
#include "planning/regimes.h"
#include "run/inventory_run.h"
#include "run/plan_run.h"
#include "test_support.h"

namespace arbora::planning_test {
namespace {

constexpr double inf = std::numeric_limits<double>::infinity();

// Two stands of two regimes each: stand A earns 10 or 6, stand B 3 or 8; A's first
// regime and B's second each remove 100 m3. Rows 0 and 1 hold each stand's shares.
LinearProgram twoStands(double harvestCap, bool whole = false) {
    LinearProgram p;
    p.addRow("stand_A", 1, 1);
    p.addRow("stand_B", 1, 1);
    const std::int32_t cap = p.addRow("harvest_max_1", -inf, harvestCap);
    const double npv[] = {10, 6, 3, 8};
    const double removed[] = {100, 0, 0, 100};
    for (int c = 0; c < 4; ++c) {
        const ColumnEntry entries[] = {{c / 2, 1.0}, {cap, removed[c]}};
        p.addColumn(npv[c], 0, whole ? 1 : inf, entries, whole);
    }
    return p;
}

TEST(PlanningSolver, SolvesSmallProgrammesAsByHand) {
    struct Case {
        const char* what;
        double cap;
        SolveStatus status;
        double objective;
        std::vector<double> shares;
        double capDual;  // NPV gained per m3 more of the cap
    };
    const Case cases[] = {
        {"cap not binding", 500, SolveStatus::optimal, 18, {1, 0, 0, 1}, 0},
        // B's second regime gains 5 per 100 m3, A's first only 4: A is split.
        {"cap binding", 150, SolveStatus::optimal, 16, {0.5, 0.5, 0, 1}, 0.04},
        {"cap at zero", 0, SolveStatus::optimal, 9, {0, 1, 1, 0}, 0.05},
        {"cap below zero", -1, SolveStatus::infeasible, 0, {}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const LpSolution s = CoinSolver::solve(twoStands(c.cap));
        ASSERT_EQ(s.status, c.status);
        if (s.status != SolveStatus::optimal) continue;
        EXPECT_NEAR(s.objective, c.objective, 1e-9);
        for (std::size_t i = 0; i < c.shares.size(); ++i)
            EXPECT_NEAR(s.primal[i], c.shares[i], 1e-9) << i;
        EXPECT_NEAR(s.rowDual[2], c.capDual, 1e-9);
        EXPECT_NEAR(s.rowActivity[0], 1, 1e-12);
    }
}

TEST(PlanningSolver, WholeStandsNeverBeatTheLinearProgramme) {
    for (const double cap : {500.0, 150.0, 50.0}) {
        const LpSolution linear = CoinSolver::solve(twoStands(cap));
        const LpSolution whole = CoinSolver::solve(twoStands(cap, true));
        ASSERT_EQ(whole.status, SolveStatus::optimal) << cap;
        EXPECT_LE(whole.objective, linear.objective + 1e-9) << cap;
        for (const double x : whole.primal)
            EXPECT_TRUE(x == 0 || x == 1) << cap;
    }
    EXPECT_EQ(CoinSolver::solve(twoStands(150, true)).objective, 14);  // A's second, B's second
}

PlanYield yieldOf(std::vector<double> removed, std::vector<double> standing,
                  std::vector<double> forest, std::vector<double> products, double npv,
                  double liquidation) {
    PlanYield y = PlanYield::zero(standing.size());
    y.removed = std::move(removed);
    y.standing = std::move(standing);
    y.forestCarbon = std::move(forest);
    y.productCarbon = std::move(products);
    y.npv = npv;
    y.liquidation = liquidation;
    return y;
}

// Years 0, 5, 10. Felling A removes 100 m3/yr in period 1 and gains 400 over leaving it;
// felling B removes 200 m3/yr in period 2 and gains 500.
PlanData twoStandPlan() {
    PlanData d;
    d.years = {0, 5, 10};
    d.stands = 2;
    d.columns = {
        {0, "none", yieldOf({0, 0}, {100, 120, 140}, {50, 60, 70}, {0, 0, 0}, 0, 500)},
        {0, "fell", yieldOf({500, 0}, {100, 0, 20}, {50, 0, 10}, {0, 20, 15}, 800, 100)},
        {1, "none", yieldOf({0, 0}, {200, 220, 240}, {100, 110, 120}, {0, 0, 0}, 0, 1000)},
        {1, "fell", yieldOf({0, 1000}, {200, 220, 0}, {100, 110, 0}, {0, 0, 40}, 1500, 0)},
    };
    setBaseline(d);
    return d;
}

TEST(PlanningModel, BindingConstraintsAsByHand) {
    struct Case {
        const char* what;
        PlanTargets targets;
        double objective;
        double fellA, fellB;  // shares
        const char* binding;
        double shadowPrice;
    };
    const Case cases[] = {
        {"unconstrained", {}, 2400, 1, 1, "", 0},
        // 200 y <= 1.1 * 100 x: B is felled on 55 percent of its area.
        {"even flow", {.evenFlow = 10}, 2175, 1, 0.55, "even_flow_1_2_max", 2.5},
        {"allowable cut", {.harvestMax = 150}, 2275, 1, 0.75, "harvest_max_2", 2.5},
        // 80 percent of the baseline's 190 t C at year 10: 45 x + 80 y <= 38.
        {"carbon floor",
         {.carbonFloor = 80},
         1500 + 400 * 38.0 / 45,
         38.0 / 45,
         0,
         "carbon_floor_10",
         -400.0 / 45},
        // The 300 m3 of year 0 still standing at year 10: 120 x + 240 y <= 80.
        {"ending volume",
         {.endingVolume = 100},
         1500 + 400 * 80.0 / 120,
         80.0 / 120,
         0,
         "ending_volume",
         -400.0 / 120},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const PlanData data = twoStandPlan();
        const PlanModel model = buildPlanModel(data, c.targets, false);
        const LpSolution s = CoinSolver::solve(model.program);
        ASSERT_EQ(s.status, SolveStatus::optimal);
        EXPECT_NEAR(s.objective, c.objective, 1e-9);
        EXPECT_NEAR(s.primal[1], c.fellA, 1e-9);
        EXPECT_NEAR(s.primal[3], c.fellB, 1e-9);
        for (const ConstraintOutcome& o :
             constraintOutcomes(model, s, data, planYield(data, s.primal))) {
            EXPECT_GE(o.slack, 0) << o.row->name;
            if (o.row->name != c.binding) continue;
            EXPECT_EQ(o.slack, 0);
            EXPECT_NEAR(o.shadowPrice, c.shadowPrice, 1e-9);
        }
    }
}

TEST(PlanningModel, InfeasiblePlansNameTheConstraintAndTheShortfall) {
    const PlanData data = twoStandPlan();
    const auto found = [&](PlanTargets targets) {
        const PlanModel model = buildPlanModel(data, targets, false);
        EXPECT_EQ(CoinSolver::solve(model.program).status, SolveStatus::infeasible);
        return shortfalls(model);
    };
    EXPECT_EQ(
        found({.harvestMin = 300}),
        (std::vector<std::string>{"the minimum harvest in period 1 falls short by 200 m3/yr",
                                  "the minimum harvest in period 2 falls short by 100 m3/yr"}));
    // 1,800 m3 asked for at year 10, where the stands hold 380 at most.
    EXPECT_EQ(found({.endingVolume = 600}),
              (std::vector<std::string>{"the ending volume falls short by 1,420 m3"}));
}

TEST(PlanningModel, GroupedNumbers) {
    const std::pair<double, const char*> cases[] = {
        {1240, "1,240"},          {38.24, "38.2"}, {0.05, "0.1"}, {99.96, "100.0"},
        {1234567.5, "1,234,568"}, {-2.5, "-2.5"},  {100, "100"}};
    for (const auto& [value, text] : cases)
        EXPECT_EQ(groupedNumber(value), text) << value;
}

Treatment row(std::size_t regime, std::optional<std::int32_t> year, std::optional<std::int32_t> age,
              TreatmentAction action, std::optional<std::int32_t> species = {},
              bool replant = true) {
    Treatment t;
    t.scenario = regime;
    t.year = year;
    t.age = age;
    t.action = action;
    t.species = species;
    t.regenerateSame = replant && action == TreatmentAction::clearcut;
    t.amount = 30;
    return t;
}

TEST(PlanningRegimes, StartsHoldTreatmentsBackAndCatchUpAPassedAge) {
    using enum TreatmentAction;
    TreatmentSchedule regimes = baselineOnly();
    regimes.scenarios = {"none", "rotation", "fell", "larch"};
    regimes.treatments = {
        row(1, {}, 35, thin), row(1, {}, 45, clearcut),
        row(1, 3, {}, thin),  row(2, {}, 40, clearcut, {}, false),
        row(2, {}, 20, thin), row(3, {}, 35, thin, 3),
    };
    const InventoryStand stand{"S", 1, {}, 30, 20.0, 12.0, 1000, 200.0, 2.0, {}};
    struct Case {
        std::size_t regime;
        std::int32_t start;
        std::vector<std::pair<std::int32_t, TreatmentAction>> expected;
    };
    const Case cases[] = {
        // The planted cohort is thinned again at its age 35.
        {1, 0, {{3, thin}, {5, thin}, {15, clearcut}, {50, thin}}},
        {1, 10, {{11, thin}, {13, thin}, {15, clearcut}, {50, thin}}},
        // Past both ages at year 20: felled at 21, the outgrown thinning not made up.
        {1, 20, {{21, clearcut}, {23, thin}}},
        // The thinning at 20, passed, is caught up at year 1.
        {2, 0, {{1, thin}, {10, clearcut}}},
        {2, 45, {{46, clearcut}}},
        {3, 0, {}},  // for another species
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "regime " << c.regime << " start " << c.start);
        const auto done = standSchedule(regimes, {c.regime, c.start, ""}, stand, 50);
        std::vector<std::pair<std::int32_t, TreatmentAction>> got;
        for (const Treatment& t : done) {
            EXPECT_FALSE(t.age || t.species);
            EXPECT_EQ(t.standId, "S");
            got.emplace_back(*t.year, t.action);
        }
        EXPECT_EQ(got, c.expected);
    }
    EXPECT_FALSE(regimeSuits(regimes, 3, 1));
    EXPECT_TRUE(regimeSuits(regimes, 3, 3));
}

// The plan command on the example inventory, regimes and prices.
class PlanningRun : public testing::InTempDir {
  protected:
    static PlanOptions exampleOptions() {
        const std::string examples = std::string(ARBORA_SOURCE_DIR) + "/examples/";
        PlanOptions o;
        o.standsFile = examples + "stands.csv";
        o.regimesFile = examples + "regimes.csv";
        o.pricesFile = examples + "prices.csv";
        o.starts = {0, 10, 20};
        o.outputFile = "plan.sqlite";
        return o;
    }
    struct Outcome {
        int status;
        std::string out, err;
    };
    static Outcome plan(const PlanOptions& o) {
        std::ostringstream out, err;
        const int status = runPlan(o, out, err);
        return {status, out.str(), err.str()};
    }
    static double value(const std::string& sql) {
        const auto rows = testing::query("plan.sqlite", sql);
        return rows.size() == 1 ? std::stod(rows[0]) : std::nan("");
    }
};

TEST_F(PlanningRun, RegimesFileIsTheTreatmentsFormatWithoutStands) {
    struct Case {
        const char* bytes;
        const char* problem;  // the error or the first rejection; empty when read
    };
    const Case cases[] = {
        {"regime,species,age,action\nrotation,1,40,clearcut\n", ""},
        {"scenario,age,action\nrotation,40,clearcut\n", "regimes.csv: has no column regime"},
        {"regime,stand_id,age,action\nrotation,A,40,clearcut\n",
         "regimes.csv: has a column stand_id: a regime is offered to every stand (narrow its "
         "rows by species)"},
        {"regime,age,action\nNone,40,clearcut\n",
         "\"None\" is reserved for the untreated baseline"},
    };
    for (const Case& c : cases) {
        testing::writeFile("regimes.csv", c.bytes);
        std::string problem;
        try {
            const TreatmentSchedule read = readRegimes("regimes.csv", InputEncoding::utf8);
            if (!read.rejections.empty()) problem = read.rejections[0].message;
            if (problem.empty()) {
                EXPECT_EQ(read.scenarios, (std::vector<std::string>{"none", "rotation"}));
            }
        } catch (const InventoryInputError& e) {
            problem = e.what();
        }
        EXPECT_EQ(problem, c.problem) << c.bytes;
    }
}

TEST_F(PlanningRun, EveryConstraintHoldsInThePeriodsAndSharesAddUpToOne) {
    PlanOptions o = exampleOptions();
    o.targets = {.evenFlow = 15, .harvestMax = 3000, .endingVolume = 90, .carbonFloor = 60};
    o.frontier = 4;
    const Outcome run = plan(o);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(value("SELECT count(*) FROM (SELECT stand_id FROM plan GROUP BY stand_id "
                    "HAVING abs(sum(share) - 1) < 1e-9)"),
              20);
    const auto periods = testing::query(
        "plan.sqlite",
        "SELECT removed_per_year, standing_volume, forest_carbon + product_carbon, "
        "baseline_forest_carbon + baseline_product_carbon FROM plan_periods ORDER BY period");
    ASSERT_EQ(periods.size(), 10u);
    const double tolerance = 1e-6;
    double previous = -1, standing = 0;
    for (const std::string& row : periods) {
        double flow, carbon, baseline;
        ASSERT_EQ(std::sscanf(row.c_str(), "%lf|%lf|%lf|%lf", &flow, &standing, &carbon, &baseline),
                  4);
        EXPECT_LE(flow, 3000 + tolerance) << row;
        EXPECT_GE(carbon, 0.6 * baseline - tolerance) << row;
        if (previous >= 0) {
            EXPECT_GE(flow, 0.85 * previous - tolerance) << row;
            EXPECT_LE(flow, 1.15 * previous + tolerance) << row;
        }
        previous = flow;
    }
    EXPECT_GE(standing, 0.9 * value("SELECT sum(stand_volume * area) FROM stands") - tolerance);
    EXPECT_EQ(value("SELECT count(*) FROM plan_constraints WHERE slack < 0"), 0);
    // The frontier: more carbon never comes with more NPV.
    const auto steps =
        testing::query("plan.sqlite", "SELECT carbon, npv FROM frontier ORDER BY carbon");
    ASSERT_EQ(steps.size(), 4u);
    for (std::size_t i = 1; i < steps.size(); ++i) {
        EXPECT_LE(std::stod(steps[i].substr(steps[i].find('|') + 1)),
                  std::stod(steps[i - 1].substr(steps[i - 1].find('|') + 1)) + tolerance);
    }
}

TEST_F(PlanningRun, WholeStandsPlanIsReproducedByTheInventoryFromItsTreatments) {
    PlanOptions o = exampleOptions();
    o.targets = {.harvestMax = 3000};
    o.timeLimit = 1;  // a plan stopped early is still one regime a stand
    const Outcome linear = plan(o);
    ASSERT_EQ(linear.status, 0) << linear.err;
    const double linearObjective = value("SELECT objective_value FROM run");
    o.wholeStands = true;
    o.treatmentsOut = "plan.csv";
    const Outcome whole = plan(o);
    ASSERT_EQ(whole.status, 0) << whole.err;
    EXPECT_LE(value("SELECT objective_value FROM run"), linearObjective + 1e-6);
    EXPECT_EQ(value("SELECT count(*) FROM plan"), 20);  // no stand split

    const auto outcome = testing::runInventoryHere({.standsFile = o.standsFile,
                                                    .years = o.years,
                                                    .outputFile = "inventory.sqlite",
                                                    .treatmentsFile = "plan.csv"});
    ASSERT_EQ(outcome.status, 0) << outcome.err;
    const auto planned = testing::rowsOf(
        "plan.sqlite",
        "SELECT end_year, standing_volume, forest_carbon FROM plan_periods ORDER BY period");
    const auto projected =
        testing::rowsOf("inventory.sqlite",
                        "SELECT year, volume, carbon FROM summary WHERE scenario = 'plan' "
                        "AND species IS NULL AND year > 0 ORDER BY year");
    EXPECT_EQ(planned, projected);
    const auto removed =
        testing::query("plan.sqlite", "SELECT removed_volume FROM plan_periods ORDER BY period");
    const auto inventoryRemoved = testing::query(
        "inventory.sqlite",
        "SELECT coalesce((SELECT sum(r.volume * s.area) FROM removals r JOIN stands s USING "
        "(stand_id) WHERE r.scenario = 'plan' AND r.year > y.year - 5 AND r.year <= y.year), 0) "
        "FROM summary y WHERE y.scenario = 'plan' AND y.species IS NULL AND y.year > 0 "
        "ORDER BY y.year");
    ASSERT_EQ(removed.size(), inventoryRemoved.size());
    for (std::size_t i = 0; i < removed.size(); ++i)
        EXPECT_NEAR(std::stod(removed[i]), std::stod(inventoryRemoved[i]), 1e-6) << i;
}

TEST_F(PlanningRun, SameTablesAtOneAndTwoJobs) {
    std::vector<std::vector<std::string>> dumps;
    for (const std::size_t jobs : {1, 2}) {
        PlanOptions o = exampleOptions();
        o.targets = {.harvestMax = 2500, .carbonFloor = 70};
        o.jobs = jobs;
        ASSERT_EQ(plan(o).status, 0);
        std::vector<std::string> dump;
        for (const char* table :
             {"regime_options", "plan", "plan_periods", "plan_constraints", "stands"}) {
            const auto rows = testing::rowsOf("plan.sqlite", std::string("SELECT * FROM ") + table);
            dump.insert(dump.end(), rows.begin(), rows.end());
        }
        dumps.push_back(std::move(dump));
    }
    EXPECT_GT(dumps[0].size(), 200u);
    EXPECT_EQ(dumps[0], dumps[1]);
}

// The map of the plan: each stand's feature with the regime of its largest share.
TEST_F(PlanningRun, GeoPackageLayerGivesEachStandItsLargestShare) {
    PlanOptions o = exampleOptions();
    o.standsFile = std::string(ARBORA_SOURCE_DIR) + "/examples/xiaoban.shp";
    o.input.areaUnit = AreaUnit::mu;
    o.targets = {.evenFlow = 10, .harvestMax = 2500};  // a plan with split stands
    o.outputFile = "plan.gpkg";
    o.reportFile = "plan.html";
    const Outcome run = plan(o);
    ASSERT_EQ(run.status, 0) << run.err;
    // The page's map has the scale bar and north arrow of the inventory's page.
    std::ostringstream out, err;
    InventoryRun inventoryRun;
    ASSERT_EQ(runInventory({.standsFile = o.standsFile,
                            .years = {0, 50},
                            .reportFile = "estate.html",
                            .input = o.input},
                           out, err, inventoryRun),
              0)
        << err.str();
    const auto furniture = [](const std::string& page) {
        const auto from = page.find("<g class=\"scale-bar\">");
        const auto to = page.find("</svg>", from);
        return from == std::string::npos ? std::string() : page.substr(from, to - from);
    };
    const std::string bar = furniture(testing::readBytes("estate.html"));
    ASSERT_NE(bar.find("<g class=\"north-arrow\">"), std::string::npos) << bar;
    EXPECT_EQ(furniture(testing::readBytes("plan.html")), bar);
    const auto matched = testing::query(
        "plan.gpkg",
        "SELECT count(*), sum(r.regime_share < 1) FROM stand_results r JOIN plan p ON "
        "p.stand_id = r.XIAO_BAN AND p.regime = r.regime AND p.share = r.regime_share WHERE "
        "p.share = (SELECT max(share) FROM plan q WHERE q.stand_id = p.stand_id)");
    ASSERT_EQ(matched.size(), 1u);
    EXPECT_EQ(matched[0].substr(0, 3), "20|");
    EXPECT_NE(matched[0], "20|0");  // some stand is split

    o.standsFile = exampleOptions().standsFile;  // a table: no polygons
    const Outcome table = plan(o);
    EXPECT_EQ(table.status, 2);
    EXPECT_NE(table.err.find("has none; write .sqlite or .db\n"), std::string::npos) << table.err;
}

// Areas are read as the inventory reads them: an area column in the wrong unit stops the
// plan, a missing one is said, and so are stands off their polygons' areas.
TEST_F(PlanningRun, AreasAreCheckedAsTheInventoryChecksThem) {
    const std::string examples = std::string(ARBORA_SOURCE_DIR) + "/examples/";
    std::string noArea;
    for (std::string line; const char c : testing::readBytes(examples + "stands.csv")) {
        if (c != '\n') {
            line += c;
            continue;
        }
        noArea += line.substr(0, line.rfind(',')) + "\n";  // the area is the last column
        line.clear();
    }
    testing::writeFile("no-area.csv", noArea);
    struct Case {
        std::string stands;
        AreaUnit unit;
        int status;
        const char* told;
    };
    const Case cases[] = {
        {examples + "xiaoban.shp", AreaUnit::hectare, 3,
         "the polygons measure 241 ha, 15 times less: is the column in mu? Give --area-unit mu"},
        {examples + "xiaoban.shp", AreaUnit::mu, 0, ""},
        {"no-area.csv", AreaUnit::hectare, 0, "no area column: every stand counts as 1 ha"},
    };
    for (const Case& c : cases) {
        PlanOptions o = exampleOptions();
        o.standsFile = c.stands;
        o.input.areaUnit = c.unit;
        const Outcome run = plan(o);
        EXPECT_EQ(run.status, c.status) << c.stands << ": " << run.err;
        EXPECT_NE(run.err.find(c.told), std::string::npos) << c.stands << ": " << run.err;
    }
}

// Stands the plan projects past the yield tables' last age (under no treatment at
// least) are counted and said, as the inventory says them.
TEST_F(PlanningRun, StandsPastTheYieldTablesAreSaid) {
    const struct {
        std::vector<std::int32_t> years;
        std::int64_t beyond;
    } cases[] = {{{0, 25, 50}, 10}, {{0, 5, 10}, 0}};
    for (const auto& c : cases) {
        PlanOptions o = exampleOptions();
        o.years = c.years;
        std::filesystem::remove("plan.sqlite");
        const Outcome run = plan(o);
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.err.find("projected beyond age 80") != std::string::npos, c.beyond > 0)
            << run.err;
        EXPECT_EQ(value("SELECT stands_beyond_yield_tables FROM run"), c.beyond);
    }
}

// Every output against every input (a shapefile's companions too) and the other
// outputs, before any work.
TEST_F(PlanningRun, OutputsThatAreInputsAreRefusedAndLeftAlone) {
    testing::writeFile("regimes.csv", testing::readBytes(exampleOptions().regimesFile));
    testing::writeFile("prices.csv", testing::readBytes(*exampleOptions().pricesFile));
    testing::writeFile("forest.shp", "shape");
    testing::writeFile("forest.dbf", "table");
    struct Case {
        const char* stands;
        const char* output;
        const char* treatmentsOut;
        const char* message;
    };
    const Case cases[] = {
        {"", nullptr, "regimes.csv",
         "the treatments file written \"regimes.csv\" is the regimes file itself"},
        {"", "prices.csv", nullptr, "the output \"prices.csv\" is the prices file itself"},
        {"forest.shp", nullptr, "forest.dbf", "is a file of the inventory (forest.dbf)"},
        {"", "new.sqlite", "./new.sqlite", "is the file of the output too"},
    };
    for (const Case& c : cases) {
        PlanOptions o = exampleOptions();
        o.regimesFile = "regimes.csv";
        o.pricesFile = "prices.csv";
        if (*c.stands) o.standsFile = c.stands;
        o.outputFile = c.output ? std::optional<std::string>(c.output) : std::nullopt;
        if (c.treatmentsOut) o.treatmentsOut = c.treatmentsOut;
        const Outcome run = plan(o);
        EXPECT_EQ(run.status, 2) << c.message;
        EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
        EXPECT_EQ(testing::readBytes("forest.dbf"), "table");
        EXPECT_EQ(testing::readBytes("regimes.csv"),
                  testing::readBytes(exampleOptions().regimesFile));
        EXPECT_FALSE(std::filesystem::exists("new.sqlite"));
    }
}

TEST_F(PlanningRun, InfeasiblePlanExitsWithFourNamingTheShortfallAndWritesNothing) {
    PlanOptions o = exampleOptions();
    o.targets = {.harvestMin = 1e6};
    o.treatmentsOut = "plan.csv";
    o.reportFile = "plan.html";
    const Outcome run = plan(o);
    EXPECT_EQ(run.status, 4);
    EXPECT_NE(run.err.find("the minimum harvest in period 1 falls short by "), std::string::npos)
        << run.err;
    EXPECT_FALSE(std::filesystem::exists("plan.sqlite"));
    EXPECT_FALSE(std::filesystem::exists("plan.csv"));
    EXPECT_FALSE(std::filesystem::exists("plan.html"));
}

TEST(PlanningReport, EveryWordInBothLanguages) {
    for (const ReportLanguage language : {ReportLanguage::english, ReportLanguage::chinese})
        EXPECT_EQ(missingPlanWords(language), std::vector<std::size_t>{});
}

}  // namespace
}  // namespace arbora::planning_test
