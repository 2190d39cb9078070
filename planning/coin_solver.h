#pragma once

#include <string>

#include "planning/linear_program.h"

// The solver: COIN-OR Clp for a linear programme, Cbc when a column takes whole values.
// This is the one place that includes the solvers' headers.
namespace arbora {

class CoinSolver {
  public:
    // Solves the programme; a solve that fails comes back as a status, never thrown.
    static LpSolution solve(const LinearProgram& program, const SolveOptions& options = {});
    // E.g. "COIN-OR Clp 1.17.6" or "COIN-OR Cbc 2.10.8".
    static std::string name(bool mip);
};

}  // namespace arbora
