#pragma once

#include <array>

#include "inventory/projection_output.h"
#include "management/removal.h"

// The table "removals" of the SQLite output: one row per treatment carried out.
namespace arbora {

extern const OutputTable removalsTable;

// The row of a removal, in the table's column order. The texts point into `removal`.
std::array<OutputValue, 25> removalValues(const Removal& removal);

}  // namespace arbora
