#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "inventory/stand_sources.h"
#include "io/problem.h"

// The small CSV files that set up the accounting (the products file and the prices
// file): a header row, then one row per item with its value. They are read by the
// inventory's CSV reader, so the same rules hold: RFC 4180, UTF-8 with or without a
// byte-order mark or GBK, blank lines skipped, each row numbered by the line it starts
// on.
namespace arbora {

// "FILE:LINE: COLUMN: REASON", "FILE: REASON" for the file as a whole, or
// "stand ID, scenario NAME: REASON".
std::string problemText(const Problem& problem);

// One row of an item file, its texts with the blanks around them removed.
struct ItemRow {
    std::int64_t line = 0;
    std::string item;
    std::string value;
    std::string species;  // empty when the file has no species column
};

// The rows in file order and the header's spelling of each column, for rejections.
struct ItemFile {
    std::vector<ItemRow> rows;
    std::string itemColumn;
    std::string valueColumn;
    std::string speciesColumn;  // empty when the file has none
};

enum class SpeciesColumn { refused, allowed };

// Reads the columns `item` and `value` (and `species` where allowed), found by name in
// any letter case; other columns are ignored. A file without them, or with one twice,
// is a problem of the whole file. Throws InventoryInputError: unreadable when the file
// cannot be read, unusable when it is empty, a SQLite database, or not well-formed CSV.
std::variant<ItemFile, Problem> readItemFile(const std::string& fileName, InputEncoding encoding,
                                             SpeciesColumn speciesColumn);

// The same over bytes already in memory, for tests.
std::variant<ItemFile, Problem> readItemBytes(std::string bytes, const std::string& fileName,
                                              InputEncoding encoding, SpeciesColumn speciesColumn);

}  // namespace arbora
