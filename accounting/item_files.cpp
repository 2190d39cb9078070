#include "accounting/item_files.h"

#include <array>

#include "inventory/stand_columns.h"

namespace arbora {
namespace {

struct WantedColumn {
    std::string_view name;
    std::string* spelling;
    int position = -1;
};

std::string textAt(const RawRow& row, int position) {
    if (position < 0 || static_cast<std::size_t>(position) >= row.values.size()) return {};
    const RawValue& value = row.values[static_cast<std::size_t>(position)];
    return value.kind == RawValue::Kind::text ? std::string(trimBlanks(value.text)) : std::string();
}

std::variant<ItemFile, Problem> readItems(StandSource& source, const std::string& fileName,
                                          SpeciesColumn speciesColumn) {
    ItemFile file;
    std::array<WantedColumn, 3> wanted{{{"item", &file.itemColumn},
                                        {"value", &file.valueColumn},
                                        {"species", &file.speciesColumn}}};
    const auto fileProblem = [&](std::string reason) {
        return Problem{.message = std::move(reason), .file = fileName};
    };
    const std::vector<std::string>& header = source.header();
    for (std::size_t i = 0; i < header.size(); ++i) {
        const std::string_view name = trimBlanks(header[i]);
        for (WantedColumn& column : wanted) {
            if (!equalsIgnoringCase(name, column.name)) continue;
            if (column.position >= 0) {
                return fileProblem("has the column " + std::string(column.name) + " twice");
            }
            column.position = static_cast<int>(i);
            *column.spelling = std::string(name);
        }
    }
    for (const WantedColumn& column : {wanted[0], wanted[1]}) {
        if (column.position < 0) return fileProblem("has no column " + std::string(column.name));
    }
    if (wanted[2].position >= 0 && speciesColumn == SpeciesColumn::refused) {
        return fileProblem("has a column species, which this file does not take");
    }
    RawRow raw;
    while (source.next(raw)) {
        file.rows.push_back(ItemRow{.line = raw.line,
                                    .item = textAt(raw, wanted[0].position),
                                    .value = textAt(raw, wanted[1].position),
                                    .species = textAt(raw, wanted[2].position)});
    }
    return file;
}

}  // namespace

std::string problemText(const Problem& problem) {
    if (problem.file.empty()) {
        return "stand " + problem.standId + ", scenario " + problem.scenario + ": " +
               problem.message;
    }
    std::string text = problem.file;
    if (problem.line > 0) text += ":" + std::to_string(problem.line);
    if (!problem.column.empty()) text += ": " + problem.column;
    return text + ": " + problem.message;
}

std::variant<ItemFile, Problem> readItemFile(const std::string& fileName, InputEncoding encoding,
                                             SpeciesColumn speciesColumn) {
    // Opened once, so that a pipe works too: a database is told by the first bytes read.
    const auto source = openStandSource(fileName, encoding, SourceTuning{.databases = false});
    return readItems(*source, fileName, speciesColumn);
}

std::variant<ItemFile, Problem> readItemBytes(std::string bytes, const std::string& fileName,
                                              InputEncoding encoding, SpeciesColumn speciesColumn) {
    const auto source = csvStandSource(std::move(bytes), fileName, encoding);
    return readItems(*source, fileName, speciesColumn);
}

}  // namespace arbora
