#pragma once

#include <exception>
#include <string>

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

// The exit status of a problem.
int exitStatusOf(Problem::Kind kind);

// A run that ends early: its status and the sentence the error stream gets. The plan's
// stages throw it; the inventory's return it.
struct RunEnd {
    int status;
    std::string message;
};

// How a failure ended a run: the one place where the runs' exceptions become exit
// statuses. `stage` says what the run was doing, for a message when memory runs out; a
// stop signal is put in `stoppedBySignal`. Everything the run held is freed by the time
// the failure is caught, its temporary files removed.
RunEnd endOf(std::exception_ptr failure, const char* stage, int& stoppedBySignal);

}  // namespace arbora
