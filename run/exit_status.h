#pragma once

#include "io/problem.h"

// How a run of the runner ends, as its exit status: the one place where a kind of
// problem becomes a number.
namespace arbora {

// Exit statuses of the runner.
enum ExitStatus : int {
    exitSuccess = 0,
    exitFileFailure = 1,  // a file could not be read or written
    exitUsage = 2,
    exitUnusableData = 3,    // the input has rows or columns that cannot be used
    exitPlanInfeasible = 4,  // the plan's constraints cannot all be met
};

// The exit status of a problem of a GIS input or output.
int exitStatusOf(Problem::Kind kind);

}  // namespace arbora
