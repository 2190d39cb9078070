#pragma once

#include <CLI/CLI.hpp>
#include <algorithm>
#include <string>
#include <thread>

#include "cli/input_options.h"
#include "inventory/projection.h"

// "arbora-report inventory STANDS [options]": argv[0] is "inventory". Returns the exit
// status.
int inventoryMain(int argc, char** argv);

namespace arbora::inventory_command {

// The command's options as given on the command line, before they are checked and
// converted for the run. Empty text means "not given" where the option has no default.
struct Options {
    std::string stands;
    std::string years{defaultYearsList};
    std::string output;
    std::string treatments;
    std::string products;
    std::string prices;
    // Checked as text: "0x10" or "1e3" is refused, not read as a count.
    std::string jobs = std::to_string(std::max(1u, std::thread::hardware_concurrency()));
    bool bom = false;
    bool skipBadRows = false;
    InputOptionTexts input;  // how to read the stands
    std::string report;
    std::string language = "en";
};

// Names app, gives it the help text and binds every option to options, which must live
// as long as app. Builds the command's reference (--help, the man page) without running it.
void setup(CLI::App& app, Options& options);

// Checks the options that CLI11 does not (years, output names, --bom, --jobs, columns),
// runs the inventory and returns the exit status; a usage error is told on stderr.
int run(const Options& options);

}  // namespace arbora::inventory_command
