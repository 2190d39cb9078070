#include "command_main.h"

#include <CLI/CLI.hpp>
#include <iostream>

#include "run/exit_status.h"

namespace arbora {

int parseAndRun(int argc, char** argv, CLI::App& app, const std::function<int()>& run,
                int (*usageError)(const std::string&)) {
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        std::cout << app.help() << std::flush;
        return std::cout ? exitSuccess : exitFileFailure;
    } catch (const CLI::ParseError& error) {
        return usageError(error.what());
    }
    return run();
}

}  // namespace arbora
