#include "gis/species_map.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>

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

std::variant<SpeciesMap, GisProblem> readRows(StandSource& source, const std::string& fileName) {
    const auto unusable = [&](std::int64_t line, const std::string& reason) {
        return GisProblem{GisProblem::Kind::unusable,
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
        const std::optional<std::int32_t> number = speciesOfText(textAt(row, species));
        if (!number) {
            return unusable(row.line, "species: \"" + std::string(textAt(row, species)) +
                                          "\" is not a species: use 1 to 4, the Latin name "
                                          "or the Chinese name");
        }
        if (const auto [first, isNew] = lineOf.try_emplace(key, row.line); !isNew) {
            return unusable(row.line, "code: \"" + key + "\" is given on line " +
                                          std::to_string(first->second) + " too");
        }
        map.speciesOfCode.emplace(key, *number);
    }
    return map;
}

}  // namespace

std::variant<SpeciesMap, GisProblem> readSpeciesMap(const std::string& fileName,
                                                    InputEncoding encoding) {
    const auto unreadable = [&] {
        return GisProblem{GisProblem::Kind::unreadable,
                          "cannot read \"" + fileName + "\": " + std::strerror(errno)};
    };
    // A folder opens as a stream whose first read throws.
    struct stat info;
    if (::stat(fileName.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
        errno = EISDIR;
        return unreadable();
    }
    std::ifstream in(fileName, std::ios::binary);
    if (!in) return unreadable();
    std::string bytes;
    try {
        bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    } catch (const std::ios_base::failure&) {
        return unreadable();
    }
    if (in.bad()) return unreadable();
    try {
        const auto source = csvStandSource(std::move(bytes), fileName, encoding);
        return readRows(*source, fileName);
    } catch (const InventoryInputError& e) {
        return GisProblem{e.kind() == InventoryInputError::unreadable ? GisProblem::Kind::unreadable
                                                                      : GisProblem::Kind::unusable,
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
