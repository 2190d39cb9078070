#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <variant>

#include "inventory/stand_columns.h"
#include "inventory/stand_sources.h"
#include "io/problem.h"

// A survey's own species codes or names, and the species (1 to 4) each stands for.
namespace arbora {

struct SpeciesMap {
    std::string fileName;
    std::unordered_map<std::string, std::int32_t> speciesOfCode;  // codes trimmed
};

// Reads a CSV file (as stand files are read, in the encoding given) with the columns
// code and species, in any order and letter case: one row per code, each code once,
// the species as 1 to 4, the Latin or the Chinese name. The problem names the line.
std::variant<SpeciesMap, Problem> readSpeciesMap(const std::string& fileName,
                                                 InputEncoding encoding);

// The code a stand's value gives: a text trimmed, a number in its shortest text (so
// that a whole number stored as 110.0 is "110"); none for a value that is empty or no
// text or number.
std::optional<std::string> speciesCodeOf(const RawValue& value);

}  // namespace arbora
