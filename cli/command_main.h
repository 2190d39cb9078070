#pragma once

#include <functional>
#include <string>

namespace CLI {
class App;
}

namespace arbora {

// A command's main: `app` holds the command's options, bound to its options struct;
// the arguments are parsed into them and `run` runs the command. --help prints the
// reference on standard output; an option CLI11 refuses is a usage error, told by
// `usageError` (which returns the status). One definition for every command, so that
// CLI11's parser is compiled once.
int parseAndRun(int argc, char** argv, CLI::App& app, const std::function<int()>& run,
                int (*usageError)(const std::string&));

}  // namespace arbora
