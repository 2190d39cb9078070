#pragma once

#include <CLI/CLI.hpp>
#include <string>

namespace arbora {

// The options of a command as the list of a man page: a .TP entry for each option (not
// the positionals) with its names in bold, its value name (italic, or its choices in
// bold) and its help text. Written from the same CLI11 definitions as --help, so that
// the man page and --help list the same options.
std::string optionsAsRoff(const CLI::App& app);

}  // namespace arbora
