#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <utility>
#include <vector>

// A linear programme held as columns, the way a planning model is built: each column
// its objective coefficient, its bounds and its entries in the rows; each row its
// bounds and its name. Solved by CoinSolver; nothing here depends on the solver.
namespace arbora {

// An entry of a column: the row index and the coefficient.
using ColumnEntry = std::pair<std::int32_t, double>;

struct LinearProgram {
    bool maximise = true;
    // Columns, in order.
    std::vector<double> objective;
    std::vector<double> columnLower;
    std::vector<double> columnUpper;
    std::vector<bool> wholeNumber;             // the column takes whole values (a MIP)
    std::vector<std::int64_t> columnStart{0};  // into rowIndex and element; one more than columns
    std::vector<std::int32_t> rowIndex;
    std::vector<double> element;
    // Rows, in order. An equality has lower == upper; a side without bound is +-infinity.
    std::vector<double> rowLower;
    std::vector<double> rowUpper;
    std::vector<std::string> rowNames;

    std::size_t columns() const { return objective.size(); }
    std::size_t rows() const { return rowLower.size(); }
    // Adds a row and returns its index.
    std::int32_t addRow(std::string name, double lower, double upper);
    // Adds a column; its entries name rows already added. Returns its index.
    std::size_t addColumn(double objectiveCoefficient, double lower, double upper,
                          std::span<const ColumnEntry> entries, bool whole = false);
};

enum class SolveStatus {
    optimal,     // proven optimal (a MIP: within the solver's tolerance)
    stopped,     // a MIP stopped at the time limit with a solution: see the gap
    infeasible,  // the rows cannot all be met
    unbounded,
    failed,  // stopped without a solution, or a numerical failure
};

// What a solve gives. For an optimal or stopped solve: the objective, each column's
// value, each row's value (activity) and each row's dual value, as the change of the
// objective (in its own direction: what a maximised objective gains) per unit of the
// row's bound. A MIP gives no duals (all 0).
struct LpSolution {
    SolveStatus status = SolveStatus::failed;
    double objective = 0;
    std::vector<double> primal;
    std::vector<double> rowActivity;
    std::vector<double> rowDual;
    std::int64_t iterations = 0;  // simplex iterations; branch-and-bound nodes for a MIP
    // A MIP's relative gap between its solution and the best bound, 0 when proven optimal.
    double gap = 0;
    double seconds = 0;  // the solver's own time
};

struct SolveOptions {
    double timeLimit = 60;  // seconds of the clock, for a MIP
    // A MIP's starting solution, a value per column, used when it meets every row.
    std::vector<double> start{};
};

}  // namespace arbora
