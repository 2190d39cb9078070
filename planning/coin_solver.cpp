#include "planning/coin_solver.h"

#include <CbcConfig.h>
#include <ClpConfig.h>

#include <CbcModel.hpp>
#include <ClpSimplex.hpp>
#include <ClpSolve.hpp>
#include <CoinFinite.hpp>
#include <OsiClpSolverInterface.hpp>
#include <algorithm>
#include <chrono>
#include <cmath>

namespace arbora {
namespace {

// The solvers take COIN_DBL_MAX for a side without bound.
std::vector<double> solverBounds(const std::vector<double>& bounds) {
    std::vector<double> out(bounds);
    for (double& b : out) {
        if (std::isinf(b)) b = b > 0 ? COIN_DBL_MAX : -COIN_DBL_MAX;
    }
    return out;
}

// The matrix in the solvers' index types.
struct SolverMatrix {
    std::vector<CoinBigIndex> start;
    std::vector<int> index;

    explicit SolverMatrix(const LinearProgram& p)
        : start(p.columnStart.begin(), p.columnStart.end()),
          index(p.rowIndex.begin(), p.rowIndex.end()) {}
};

// Each row's value at the columns' values, summed in column order.
std::vector<double> rowActivity(const LinearProgram& p, const std::vector<double>& x) {
    std::vector<double> activity(p.rows(), 0.0);
    for (std::size_t c = 0; c < p.columns(); ++c) {
        for (auto k = p.columnStart[c]; k < p.columnStart[c + 1]; ++k)
            activity[static_cast<std::size_t>(p.rowIndex[k])] += p.element[k] * x[c];
    }
    return activity;
}

double objectiveAt(const LinearProgram& p, const std::vector<double>& x) {
    double sum = 0;
    for (std::size_t c = 0; c < p.columns(); ++c)
        sum += p.objective[c] * x[c];
    return sum;
}

// Columns above this count are solved by the interior-point method.
constexpr std::size_t largeProgramme = 20000;

// A value within the solver's tolerance of its bound is put at the bound: a share of
// 1e-12 of a stand is none (a crossover leaves such values on degenerate vertices).
void snapToBounds(const LinearProgram& p, std::vector<double>& x) {
    constexpr double tolerance = 1e-9;
    for (std::size_t c = 0; c < x.size(); ++c) {
        if (std::abs(x[c] - p.columnLower[c]) < tolerance) x[c] = p.columnLower[c];
        if (std::abs(x[c] - p.columnUpper[c]) < tolerance) x[c] = p.columnUpper[c];
    }
}

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

LpSolution solveLinear(const LinearProgram& p) {
    const auto started = std::chrono::steady_clock::now();
    const SolverMatrix matrix(p);
    ClpSimplex model;
    model.setLogLevel(0);
    model.loadProblem(static_cast<int>(p.columns()), static_cast<int>(p.rows()),
                      matrix.start.data(), matrix.index.data(), p.element.data(),
                      solverBounds(p.columnLower).data(), solverBounds(p.columnUpper).data(),
                      p.objective.data(), solverBounds(p.rowLower).data(),
                      solverBounds(p.rowUpper).data());
    model.setOptimizationDirection(p.maximise ? -1 : 1);
    // A large programme by the interior-point method, then a crossover to a vertex (whose
    // duals are the shadow prices): on a Model I of 10,000 stands and 80,000 columns
    // eight times faster than the dual simplex, whose many small pivots the stands' own
    // rows make slow. A small one by the dual simplex, which is quick there.
    ClpSolve how;
    if (p.columns() > largeProgramme) how.setSolveType(ClpSolve::useBarrier);
    model.initialSolve(how);
    LpSolution s;
    s.iterations = model.numberIterations();
    s.seconds = secondsSince(started);
    switch (model.status()) {
        case 0:
            s.status = SolveStatus::optimal;
            break;
        case 1:
            s.status = SolveStatus::infeasible;
            return s;
        case 2:
            s.status = SolveStatus::unbounded;
            return s;
        default:
            s.status = SolveStatus::failed;
            return s;
    }
    s.primal.assign(model.primalColumnSolution(), model.primalColumnSolution() + p.columns());
    snapToBounds(p, s.primal);
    s.rowActivity = rowActivity(p, s.primal);
    s.objective = objectiveAt(p, s.primal);
    // Clp gives the duals in the programme's own direction (a maximisation's are what
    // its objective gains), +0 where a row is not binding.
    s.rowDual.assign(model.dualRowSolution(), model.dualRowSolution() + p.rows());
    for (double& d : s.rowDual)
        d = d == 0 ? 0.0 : d;
    return s;
}

LpSolution solveWhole(const LinearProgram& p, const SolveOptions& options) {
    const auto started = std::chrono::steady_clock::now();
    const SolverMatrix matrix(p);
    OsiClpSolverInterface solver;
    solver.messageHandler()->setLogLevel(0);
    solver.loadProblem(static_cast<int>(p.columns()), static_cast<int>(p.rows()),
                       matrix.start.data(), matrix.index.data(), p.element.data(),
                       solverBounds(p.columnLower).data(), solverBounds(p.columnUpper).data(),
                       p.objective.data(), solverBounds(p.rowLower).data(),
                       solverBounds(p.rowUpper).data());
    solver.setObjSense(p.maximise ? -1 : 1);
    for (std::size_t c = 0; c < p.columns(); ++c) {
        if (p.wholeNumber[c]) solver.setInteger(static_cast<int>(c));
    }
    CbcModel model(solver);
    model.setLogLevel(0);
    model.messageHandler()->setLogLevel(0);
    // The limit is on the clock, not on the processor time, as a user waiting counts it.
    model.setUseElapsedTime(true);
    model.setMaximumSeconds(options.timeLimit);
    // A plan known to meet the rows (checked, and dropped if it does not) to start from,
    // so that even a search stopped early has a plan.
    if (options.start.size() == p.columns())
        model.setBestSolution(options.start.data(), static_cast<int>(p.columns()), COIN_DBL_MAX,
                              true);
    model.branchAndBound();
    LpSolution s;
    s.iterations = model.getNodeCount();
    s.seconds = secondsSince(started);
    const double* best = model.bestSolution();
    if (best == nullptr) {
        s.status = model.isProvenInfeasible() ? SolveStatus::infeasible : SolveStatus::failed;
        return s;
    }
    s.status = model.isProvenOptimal() ? SolveStatus::optimal : SolveStatus::stopped;
    s.primal.assign(best, best + p.columns());
    for (std::size_t c = 0; c < p.columns(); ++c) {
        if (p.wholeNumber[c]) s.primal[c] = std::round(s.primal[c]);
    }
    s.rowActivity = rowActivity(p, s.primal);
    s.objective = objectiveAt(p, s.primal);
    s.rowDual.assign(p.rows(), 0.0);
    const double bestBound = model.getBestPossibleObjValue();  // in the programme's direction
    if (s.status == SolveStatus::stopped && std::isfinite(bestBound)) {
        s.gap = std::abs(bestBound - s.objective) / std::max(1e-10, std::abs(s.objective));
    }
    return s;
}

}  // namespace

LpSolution CoinSolver::solve(const LinearProgram& program, const SolveOptions& options) {
    const bool mip = std::any_of(program.wholeNumber.begin(), program.wholeNumber.end(),
                                 [](bool whole) { return whole; });
    return mip ? solveWhole(program, options) : solveLinear(program);
}

std::string CoinSolver::name(bool mip) {
    return mip ? std::string("COIN-OR Cbc ") + CBC_VERSION
               : std::string("COIN-OR Clp ") + CLP_VERSION;
}

}  // namespace arbora
