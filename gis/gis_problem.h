#pragma once

#include <string>

namespace arbora {

// Why a GIS input or output cannot be used, and where the fault lies: in the command
// line (usage), in the system (unreadable: the system's reason), or in the data.
struct GisProblem {
    enum class Kind { usage, unreadable, unusable };
    Kind kind;
    std::string message;  // names the file, e.g. "stands.gpkg: has no layer \"x\" ..."
};

}  // namespace arbora
