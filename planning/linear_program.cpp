#include "planning/linear_program.h"

namespace arbora {

std::int32_t LinearProgram::addRow(std::string name, double lower, double upper) {
    rowLower.push_back(lower);
    rowUpper.push_back(upper);
    rowNames.push_back(std::move(name));
    return static_cast<std::int32_t>(rowLower.size() - 1);
}

std::size_t LinearProgram::addColumn(double objectiveCoefficient, double lower, double upper,
                                     std::span<const ColumnEntry> entries, bool whole) {
    objective.push_back(objectiveCoefficient);
    columnLower.push_back(lower);
    columnUpper.push_back(upper);
    wholeNumber.push_back(whole);
    for (const auto& [row, value] : entries) {
        rowIndex.push_back(row);
        element.push_back(value);
    }
    columnStart.push_back(static_cast<std::int64_t>(rowIndex.size()));
    return objective.size() - 1;
}

}  // namespace arbora
