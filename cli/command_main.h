#pragma once

#include <CLI/CLI.hpp>
#include <iostream>
#include <string>

#include "run/exit_status.h"

namespace arbora {

// A command's main: its options bound to CLI11 by `setup`, parsed, and the command run.
// --help prints the reference on standard output; an option CLI11 refuses is a usage
// error, told by `usageError` (which returns the status).
template <typename Options>
int parseAndRun(int argc, char** argv, void (*setup)(CLI::App&, Options&),
                int (*run)(const Options&), int (*usageError)(const std::string&)) {
    CLI::App app;
    Options options;
    setup(app, options);
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        std::cout << app.help() << std::flush;
        return std::cout ? exitSuccess : exitFileFailure;
    } catch (const CLI::ParseError& error) {
        return usageError(error.what());
    }
    return run(options);
}

}  // namespace arbora
