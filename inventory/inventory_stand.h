#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "io/problem.h"

namespace arbora {

// One stand (compartment) of a forest inventory, as read from its row.
struct InventoryStand {
    std::string standId;
    std::int32_t species = 0;                 // 1 to 4
    std::optional<std::int32_t> siteClass;    // kept, not used by the models
    std::int32_t standAge = 0;                // years, at least 1
    double averageDiameter = 0;               // cm, above 0
    double averageHeight = 0;                 // m, above 0
    std::int32_t standDensity = 0;            // trees/ha, at least 0
    double standVolume = 0;                   // m3/ha, at least 0
    double area = 1;                          // ha, above 0
    std::optional<std::int32_t> outputClass;  // 1 to 3, the assortment table of Quercus aliena
    std::int64_t line = 0;                    // where the row starts in the input
    // A GIS layer's feature by its place in reading order, from 1 (0 for a table's row):
    // what the stand is found by when the layer is read again, as FIDs may repeat.
    std::int64_t feature = 0;
};

// An inventory row that cannot be used, as the problem type of the run says it: its
// line, its stand id (empty when the row has none that could be read), the column as the
// input spells it, the reason in `message`, and the file the line is in (empty while it
// is the inventory's).
using Rejection = Problem;

// The rejection of the row at `line` for the column `column`.
inline Rejection rowRejection(std::int64_t line, std::string standId, std::string column,
                              std::string reason, std::string file = {}) {
    return Problem{.kind = Problem::Kind::unusable,
                   .message = std::move(reason),
                   .file = std::move(file),
                   .line = line,
                   .column = std::move(column),
                   .standId = std::move(standId)};
}

// A rejection as standard error lists it, "file:line: column: reason"; `file` names the
// file when the rejection has none.
inline std::string rejectionLine(const Rejection& r, std::string_view file = {}) {
    return (r.file.empty() ? std::string(file) : r.file) + ":" + std::to_string(r.line) + ": " +
           r.column + ": " + r.message;
}

}  // namespace arbora
