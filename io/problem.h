#pragma once

#include <cstdint>
#include <string>
#include <variant>

namespace arbora {

// Why a run cannot use an input, an output or a stand, and where the fault lies: in the
// command line (usage), in the system (unreadable: the system's reason), or in the data
// (unusable). The one problem type of the runner's layers: opening a stands file or GIS
// layer, the products and prices files, a stand's scenario or accounts. Its kind decides
// the exit status (run/exit_status); the message says where and why.
struct Problem {
    enum class Kind { usage, unreadable, unusable };
    Kind kind = Kind::unusable;
    std::string message{};   // a sentence; names the file when `file` is empty
    std::string file{};      // the file the problem is in; empty for a stand's accounts
    std::int64_t line = 0;   // where the row starts; 0 for the file as a whole
    std::string column{};    // as the input spells it; empty for the whole row or file
    std::string standId{};   // for a stand's accounts
    std::string scenario{};  // for a stand's accounts
};

// A value, or why there is none.
template <typename T>
using Result = std::variant<T, Problem>;

}  // namespace arbora
