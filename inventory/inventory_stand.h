#pragma once

#include <cstdint>
#include <optional>
#include <string>

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

// An inventory row that cannot be used: where it is, which column, and why.
struct Rejection {
    std::int64_t line = 0;
    std::string standId;  // empty when the row has none that could be read
    std::string column;   // the column's name as the input spells it
    std::string reason;
    std::string file = {};  // the file the line is in, when it is not the inventory's
};

}  // namespace arbora
