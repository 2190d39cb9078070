// Harvest planning: the solver on programmes small enough to solve by hand, the model's
// rows, the regimes and the plan command's outputs.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "planning/coin_solver.h"

namespace arbora {
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

}  // namespace
}  // namespace arbora
