#pragma once

#include <CLI/CLI.hpp>
#include <algorithm>
#include <string>
#include <thread>

#include "cli/input_options.h"
#include "run/plan_run.h"

// "arbora-report plan STANDS --regimes FILE [options]": argv[0] is "plan". Returns the
// exit status.
int planMain(int argc, char** argv);

namespace arbora::plan_command {

// The command's options as given on the command line: those the run takes as they are
// go straight into plan; the others are checked and converted by run(). Empty text means
// "not given".
struct Options {
    PlanOptions plan;
    std::string years = "0:50:5";
    std::string starts = "0";
    std::string objective = "npv";
    std::string output;
    std::string treatmentsOut;
    std::string report;
    std::string language = "en";
    std::string products;
    std::string prices;
    unsigned jobs = std::max(1u, std::thread::hardware_concurrency());
    InputOptionTexts input;  // how to read the stands
};

// Names app, gives it the help text and binds every option to options, which must live
// as long as app. Builds the command's reference (--help, the man page) without running it.
void setup(CLI::App& app, Options& options);

// Checks the options that CLI11 does not (years, starts, the output's name, columns),
// runs the plan and returns the exit status; a usage error is told on stderr.
int run(const Options& options);

}  // namespace arbora::plan_command
