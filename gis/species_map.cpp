#include "gis/species_map.h"

#include "inventory/number_text.h"

namespace arbora {
namespace {

bool isNamed(std::string_view name, std::string_view wanted) {
    name = trimBlanks(name);
    if (name.size() != wanted.size()) return false;
    for (std::size_t i = 0; i < name.size(); ++i) {
        const char c =
            name[i] >= 'A' && name[i] <= 'Z' ? static_cast<char>(name[i] - 'A' + 'a') : name[i];
        if (c != wanted[i]) return false;
    }
    return true;
}

int positionOf(const std::vector<std::string>& header, std::string_view wanted) {
    for (std::size_t i = 0; i < header.size(); ++i) {
        if (isNamed(header[i], wanted)) return static_cast<int>(i);
    }
    return -1;
}

std::string_view textAt(const RawRow& row, int position) {
    const auto index = static_cast<std::size_t>(position);
    return index < row.values.size() ? trimBlanks(row.values[index].text) : std::string_view{};
}

std::variant<SpeciesMap, Problem> readRows(StandSource& source, const std::string& fileName) {
    const auto unusable = [&](std::int64_t line, const std::string& reason) {
        return Problem{Problem::Kind::unusable,
                       fileName + ":" + std::to_string(line) + ": " + reason};
    };
    const int code = positionOf(source.header(), "code");
    const int species = positionOf(source.header(), "species");
    if (code < 0 || species < 0) return unusable(1, "the header is not code,species");
    SpeciesMap map{fileName, {}};
    std::unordered_map<std::string, std::int64_t> lineOf;
    RawRow row;
    while (source.next(row)) {
        const std::string key(textAt(row, code));
        if (key.empty()) return unusable(row.line, "code: is empty");
        if (const auto index = static_cast<std::size_t>(code); index < row.values.size()) {
            if (std::string problem = writableTextProblem(row.values[index], key); !problem.empty())
                return unusable(row.line, "code: " + problem);
        }
        const std::optional<std::int32_t> number = speciesOfText(textAt(row, species));
        if (!number) {
            return unusable(row.line, "species: " + quotedValue(textAt(row, species)) +
                                          " is not a species: use 1 to 4, the Latin name "
                                          "or the Chinese name");
        }
        if (const auto [first, isNew] = lineOf.try_emplace(key, row.line); !isNew) {
            return unusable(row.line, "code: " + quotedValue(key) + " is given on line " +
                                          std::to_string(first->second) + " too");
        }
        map.speciesOfCode.emplace(key, *number);
    }
    return map;
}

}  // namespace

std::variant<SpeciesMap, Problem> readSpeciesMap(const std::string& fileName,
                                                 InputEncoding encoding) {
    try {
        // Read as the stands are: a pipe works, and a stop request ends a wait for it.
        const auto source = openStandSource(fileName, encoding, SourceTuning{.databases = false});
        return readRows(*source, fileName);
    } catch (const InventoryInputError& e) {
        return Problem{e.kind() == InventoryInputError::unreadable ? Problem::Kind::unreadable
                                                                   : Problem::Kind::unusable,
                       e.what()};
    }
}

std::optional<std::string> speciesCodeOf(const RawValue& value) {
    switch (value.kind) {
        case RawValue::Kind::text:
            if (trimBlanks(value.text).empty()) return std::nullopt;
            return std::string(trimBlanks(value.text));
        case RawValue::Kind::integer:
            return std::to_string(value.integer);
        case RawValue::Kind::real:
            return shortestText(value.real);
        default:
            return std::nullopt;
    }
}

}  // namespace arbora
