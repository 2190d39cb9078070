#include "inventory/stand_columns.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

#include "inventory/number_text.h"
#include "settings/field_reading.h"
#include "settings/species.h"

namespace arbora {
namespace {

// The value as a message quotes it.
std::string shown(const RawValue& value) {
    switch (value.kind) {
        case RawValue::Kind::text:
            return quotedValue(trimBlanks(value.text));
        case RawValue::Kind::integer:
            return std::to_string(value.integer);
        case RawValue::Kind::real:
            return shortestText(value.real);
        case RawValue::Kind::tooLarge:
            return "a whole number beyond 64 bits";
        default:
            return "the value";
    }
}

constexpr const char* tooLargeProblem = "is a whole number beyond 64 bits, which cannot be read";

bool isEmpty(const RawValue& value) {
    return value.kind == RawValue::Kind::missing ||
           (value.kind == RawValue::Kind::text && trimBlanks(value.text).empty());
}

ColumnValue<std::int64_t> wholeValue(const RawValue& raw) {
    switch (raw.kind) {
        case RawValue::Kind::text: {
            const WholeNumberReading reading = readInventoryWholeNumber(raw.text);
            if (!reading.value) return {0, reading.problem};
            return {*reading.value, {}};
        }
        case RawValue::Kind::integer:
            return {raw.integer, {}};
        case RawValue::Kind::real:
            // A whole number stored as REAL is still a whole number.
            if (std::isfinite(raw.real) && std::trunc(raw.real) == raw.real &&
                std::fabs(raw.real) < 9.2e18) {
                return {static_cast<std::int64_t>(raw.real), {}};
            }
            return {0, shown(raw) + " is not a whole number"};
        case RawValue::Kind::tooLarge:
            return {0, tooLargeProblem};
        default:
            return {0, "is not a number"};
    }
}

ColumnValue<double> realValue(const RawValue& raw) {
    switch (raw.kind) {
        case RawValue::Kind::text: {
            const NumberReading reading = readInventoryNumber(raw.text);
            if (!reading.value) return {0, reading.problem};
            return {*reading.value, {}};
        }
        case RawValue::Kind::integer:
            return {static_cast<double>(raw.integer), {}};
        case RawValue::Kind::real:
            if (!std::isfinite(raw.real)) return {0, shown(raw) + " is not a finite number"};
            return {raw.real + 0.0, {}};  // no negative zero
        case RawValue::Kind::tooLarge:
            return {0, tooLargeProblem};
        default:
            return {0, "is not a number"};
    }
}

// A whole number of a column whose values are at least `least`.
ColumnValue<std::int32_t> wholeAtLeast(const RawValue& raw, std::int64_t least) {
    const auto whole = wholeValue(raw);
    if (!whole.problem.empty()) return {0, whole.problem};
    if (whole.value < least) {
        return {0, shown(raw) + " is below " + std::to_string(least)};
    }
    if (whole.value > std::numeric_limits<std::int32_t>::max()) {
        return {0, shown(raw) + " is above 2147483647"};
    }
    return {static_cast<std::int32_t>(whole.value), {}};
}

enum class Bound { aboveZero, atLeastZero };

ColumnValue<double> realWithin(const RawValue& raw, Bound bound) {
    const auto real = realValue(raw);
    if (!real.problem.empty()) return real;
    if (bound == Bound::aboveZero && !(real.value > 0)) {
        return {0, shown(raw) + " is not above 0"};
    }
    if (bound == Bound::atLeastZero && real.value < 0) return {0, shown(raw) + " is below 0"};
    return real;
}

// "use 1 Pinus tabulaeformis (油松), 2 ...": the names a species value may be.
std::string acceptedSpeciesNames() {
    std::string names = "use";
    for (std::int32_t species = 1; species <= speciesCount; ++species) {
        names += (species == 1 ? " " : ", ") + std::to_string(species) + " " +
                 std::string(speciesName(species)) + " (" +
                 std::string(speciesChineseName(species)) + ")";
    }
    return names + ", by number, Latin or Chinese name";
}

ColumnValue<std::int32_t> speciesValue(const RawValue& raw) {
    if (raw.kind == RawValue::Kind::text) {
        if (const auto species = speciesOfText(raw.text)) return {*species, {}};
    } else if (raw.kind == RawValue::Kind::integer || raw.kind == RawValue::Kind::real) {
        const auto whole = wholeValue(raw);
        if (whole.problem.empty() && isKnownSpecies(static_cast<std::int32_t>(whole.value)) &&
            whole.value == static_cast<std::int32_t>(whole.value)) {
            return {static_cast<std::int32_t>(whole.value), {}};
        }
    }
    return {0, shown(raw) + " is not a species: " + acceptedSpeciesNames()};
}

// The stand id of a row, or why there is none that can be written: an id must be text
// that every SQLite client and spreadsheet can read back.
std::string standIdProblem(const RawValue& raw, std::string_view id) {
    if (raw.kind == RawValue::Kind::other) return "is a BLOB, not text";
    if (raw.kind == RawValue::Kind::tooLarge) return tooLargeProblem;
    if (id.empty()) return "is empty";
    return writableTextProblem(raw, id);
}

std::string standIdText(const RawValue& raw) {
    switch (raw.kind) {
        case RawValue::Kind::text:
            return std::string(trimBlanks(raw.text));
        case RawValue::Kind::integer:
        case RawValue::Kind::real:
            return shown(raw);
        default:
            return {};
    }
}

}  // namespace

const std::array<StandColumnName, standColumnCount>& standColumnNames() {
    static const std::array<StandColumnName, standColumnCount> names = {{
        {"stand_id", "小班号", true, {"XIAO_BAN", "XBH"}},
        {"species", "树种", true, {"YOU_SHI_SZ"}},
        {"site_class", "地位级", false},
        {"stand_age", "林龄", true, {"PINGJUN_NL"}},
        {"average_diameter", "平均胸径", true, {"PINGJUN_XJ"}},
        {"average_height", "平均树高", true, {"PINGJUN_SG"}},
        {"stand_density", "每公顷株数", true, {"MEI_GQ_ZS"}},
        {"stand_volume", "每公顷蓄积", true, {"MEI_GQ_XJ"}},
        {"area", "面积", false, {"MIAN_JI", "XBMJ"}},
        {"output_class", "出材等级", false},
    }};
    return names;
}

namespace {

// The ASCII lower case of a text; other bytes as they are.
std::string lowerAscii(std::string_view text) {
    std::string lower(text);
    for (char& c : lower)
        c = asciiLower(c);
    return lower;
}

// Headers that hold an area of some kind without being the stand column area: the
// geometry's own field of a GIS export, in the units of its coordinate system.
bool isGeometryField(std::string_view name) {
    return equalsIgnoringCase(name, "Shape_Area") || equalsIgnoringCase(name, "SHAPE_Leng");
}

// Whether a header no stand column took reads like an area ("Area in mu", "小班面积",
// "MJ"): taking every stand as 1 ha beside it would be a silent mistake.
bool looksLikeArea(std::string_view name) {
    const std::string lower = lowerAscii(name);
    if (isGeometryField(name)) return false;
    for (const std::string_view word : {"area", "mj", "面积", "亩"}) {
        if (lower.find(word) != std::string::npos) return true;
    }
    return false;
}

// The units each stand column may give in its header, in ASCII lower case; none for
// the columns without a unit, whose bracketed text is not checked.
struct ColumnUnits {
    StandColumn column;
    std::string_view unit;         // as messages name it
    std::string_view accepted[9];  // the rest empty
};
const ColumnUnits columnUnits[] = {
    {StandColumn::standAge, "years", {"a", "yr", "yrs", "year", "years", "年", "岁"}},
    {StandColumn::averageDiameter, "cm", {"cm", "厘米", "公分"}},
    {StandColumn::averageHeight, "m", {"m", "米"}},
    {StandColumn::standDensity,
     "trees/ha",
     {"trees/ha", "stems/ha", "n/ha", "/ha", "株/ha", "株/公顷", "株/hm2", "株/hm²", "株"}},
    {StandColumn::standVolume,
     "m3/ha",
     {"m3/ha", "m³/ha", "m3/hm2", "m³/hm²", "立方米/公顷", "立方米/ha", "方/公顷"}},
};
constexpr std::string_view hectareUnits[] = {"ha", "hm2", "hm²", "公顷"};
constexpr std::string_view muUnits[] = {"mu", "亩"};

template <typename Units>
bool isOneOf(std::string_view unit, const Units& units) {
    return std::find(std::begin(units), std::end(units), unit) != std::end(units);
}

}  // namespace

HeaderName splitHeaderName(std::string_view header) {
    header = trimBlanks(header);
    static constexpr std::string_view closings[] = {")", "）", "]", "］", "】"};
    static constexpr std::string_view openings[] = {"(", "（", "[", "［", "【"};
    for (const std::string_view closing : closings) {
        if (!header.ends_with(closing)) continue;
        const std::string_view inside = header.substr(0, header.size() - closing.size());
        std::size_t open = std::string_view::npos, openSize = 0;
        for (const std::string_view opening : openings) {
            const std::size_t at = inside.rfind(opening);
            if (at != std::string_view::npos && (open == std::string_view::npos || at > open))
                open = at, openSize = opening.size();
        }
        if (open == std::string_view::npos || open == 0) return {header, {}};
        return {trimBlanks(inside.substr(0, open)), trimBlanks(inside.substr(open + openSize))};
    }
    return {header, {}};
}

std::optional<std::string> columnUnitProblem(const StandColumnMap& columns, bool areaInMu) {
    const auto headerOf = [&](StandColumn column) -> const std::string& {
        return columns.header[static_cast<std::size_t>(column)];
    };
    const auto unitOf = [&](StandColumn column) {
        return lowerAscii(splitHeaderName(headerOf(column)).unit);
    };
    const auto contradicts = [&](StandColumn column, std::string_view unit) {
        return "the column " + quotedValue(headerOf(column)) + " gives its unit as \"" +
               std::string(splitHeaderName(headerOf(column)).unit) + "\", but " +
               std::string(standColumnNames()[static_cast<std::size_t>(column)].name) +
               " is read in " + std::string(unit) + ": convert the values";
    };
    for (const ColumnUnits& units : columnUnits) {
        const std::string unit = unitOf(units.column);
        if (headerOf(units.column).empty() || unit.empty()) continue;
        if (!isOneOf(unit, units.accepted)) return contradicts(units.column, units.unit);
    }
    const std::string area = unitOf(StandColumn::area);
    if (headerOf(StandColumn::area).empty() || area.empty()) return std::nullopt;
    if (isOneOf(area, muUnits) && !areaInMu) {
        return "the column " + quotedValue(headerOf(StandColumn::area)) +
               " is in mu: give --area-unit mu (1 mu = 1/15 ha)";
    }
    if (isOneOf(area, hectareUnits) && areaInMu) {
        return "the column " + quotedValue(headerOf(StandColumn::area)) +
               " is in ha, but --area-unit mu is given";
    }
    if (!isOneOf(area, muUnits) && !isOneOf(area, hectareUnits))
        return contradicts(StandColumn::area, areaInMu ? "mu" : "ha");
    return std::nullopt;
}

namespace {

bool isNameOf(std::string_view header, const StandColumnName& column) {
    const std::string_view name = splitHeaderName(header).name;
    if (equalsIgnoringCase(name, column.name) || name == column.chinese) return true;
    for (const std::string_view pinyin : column.pinyin) {
        if (!pinyin.empty() && equalsIgnoringCase(name, pinyin)) return true;
    }
    return false;
}

// The position of the header name the user gave: the same spelling, else the only one
// in another letter case; or why there is none.
std::variant<std::size_t, std::string> findOverride(const std::vector<std::string>& header,
                                                    std::string_view wanted,
                                                    std::string_view column) {
    std::optional<std::size_t> found;
    for (std::size_t i = 0; i < header.size(); ++i) {
        if (trimBlanks(header[i]) == wanted) return i;
    }
    for (std::size_t i = 0; i < header.size(); ++i) {
        if (!equalsIgnoringCase(trimBlanks(header[i]), wanted)) continue;
        if (found) {
            return "has both \"" + std::string(trimBlanks(header[*found])) + "\" and \"" +
                   std::string(trimBlanks(header[i])) + "\" for " + std::string(column);
        }
        found = i;
    }
    if (!found) {
        return "has no column \"" + std::string(wanted) + "\" (named for " + std::string(column) +
               ")";
    }
    return *found;
}

}  // namespace

std::variant<StandColumnOverrides, std::string> parseStandColumnOverrides(std::string_view text) {
    const auto& names = standColumnNames();
    StandColumnOverrides overrides;
    while (!text.empty()) {
        const std::size_t comma = std::min(text.find(','), text.size());
        const std::string_view item = trimBlanks(text.substr(0, comma));
        text.remove_prefix(std::min(comma + 1, text.size()));
        const std::size_t equals = item.find('=');
        const std::string_view column = trimBlanks(item.substr(0, equals));
        const std::string_view field =
            equals == std::string_view::npos ? "" : trimBlanks(item.substr(equals + 1));
        std::size_t c = 0;
        while (c < standColumnCount && !equalsIgnoringCase(column, names[c].name))
            ++c;
        if (c == standColumnCount) {
            std::string known;
            for (const StandColumnName& name : names)
                known += (known.empty() ? "" : ", ") + std::string(name.name);
            return "\"" + std::string(column) + "\" is not a stand column (" + known + ")";
        }
        if (field.empty()) return "gives no name for " + std::string(column) + " (COLUMN=NAME)";
        if (!overrides[c].empty()) return "names " + std::string(column) + " twice";
        overrides[c] = std::string(field);
    }
    return overrides;
}

std::variant<StandColumnMap, std::string> mapStandColumns(const std::vector<std::string>& header,
                                                          const StandColumnOverrides& overrides) {
    const auto& names = standColumnNames();
    StandColumnMap map;
    map.position.fill(-1);
    map.inputColumns = header.size();
    std::vector<bool> overridden(header.size());
    for (std::size_t c = 0; c < standColumnCount; ++c) {
        if (overrides[c].empty()) continue;
        const auto found = findOverride(header, overrides[c], names[c].name);
        if (const auto* problem = std::get_if<std::string>(&found)) return *problem;
        const std::size_t i = std::get<std::size_t>(found);
        if (overridden[i]) {
            return "has the column \"" + std::string(trimBlanks(header[i])) +
                   "\" named for two stand columns";
        }
        overridden[i] = true;
        map.position[c] = static_cast<int>(i);
        map.header[c] = std::string(trimBlanks(header[i]));
    }
    for (std::size_t i = 0; i < header.size(); ++i) {
        if (overridden[i]) continue;
        const std::string_view name = trimBlanks(header[i]);
        for (std::size_t c = 0; c < standColumnCount; ++c) {
            if (!overrides[c].empty() || !isNameOf(name, names[c])) continue;
            if (map.position[c] >= 0) {
                return "has the column " + std::string(names[c].name) + " twice (" +
                       quotedValue(map.header[c]) + " and " + quotedValue(name) + ")";
            }
            map.position[c] = static_cast<int>(i);
            map.header[c] = std::string(name);
        }
    }
    std::string missing, firstMissing;
    for (std::size_t c = 0; c < standColumnCount; ++c) {
        if (!names[c].required || map.position[c] >= 0) continue;
        if (firstMissing.empty()) firstMissing = names[c].name;
        missing += (missing.empty() ? "" : ", ") + std::string(names[c].name) + " (" +
                   std::string(names[c].chinese) + ")";
    }
    if (!missing.empty()) {
        std::string read;
        for (const std::string& name : header)
            read += (read.empty() ? "" : ", ") + quotedValue(trimBlanks(name));
        return "has no column " + missing + "; the header holds " + read +
               "; name the input's column with --columns " + firstMissing + "=NAME";
    }
    const auto area = static_cast<std::size_t>(StandColumn::area);
    for (std::size_t i = 0; i < header.size() && map.position[area] < 0; ++i) {
        const bool taken = std::find(map.position.begin(), map.position.end(),
                                     static_cast<int>(i)) != map.position.end();
        if (!taken && looksLikeArea(trimBlanks(header[i]))) {
            return "has the column " + quotedValue(trimBlanks(header[i])) +
                   ", which reads like an area but is not one of its names: give it with "
                   "--columns area=" +
                   std::string(trimBlanks(header[i])) + ", or rename it";
        }
    }
    return map;
}

StandReading readStand(const StandColumnMap& columns, const RawRow& row) {
    StandReading reading;
    InventoryStand& stand = reading.stand;
    stand.line = row.line;
    stand.feature = row.feature;

    const auto rawOf = [&](StandColumn column) -> const RawValue* {
        const int position = columns.position[static_cast<std::size_t>(column)];
        if (position < 0) return nullptr;
        static const RawValue absent;
        const auto index = static_cast<std::size_t>(position);
        return index < row.values.size() ? &row.values[index] : &absent;
    };
    // The first column that cannot be read, in column order, names the rejection.
    const auto reject = [&](StandColumn column, std::string reason) {
        if (reading.rejection) return;
        reading.rejection =
            rowRejection(row.line, stand.standId, columns.header[static_cast<std::size_t>(column)],
                         std::move(reason));
    };
    // Reads a required column, or an optional one that the input has.
    const auto read = [&](StandColumn column, auto readValue, auto& field) {
        const RawValue* raw = rawOf(column);
        if (raw == nullptr) return;
        if (isEmpty(*raw)) return reject(column, "is empty");
        auto value = readValue(*raw);
        if (!value.problem.empty()) return reject(column, std::move(value.problem));
        field = value.value;
    };

    const RawValue& id = *rawOf(StandColumn::standId);
    stand.standId = standIdText(id);
    if (std::string problem = standIdProblem(id, stand.standId); !problem.empty()) {
        stand.standId.clear();
        reject(StandColumn::standId, std::move(problem));
    }
    // A name none of the four has is never guessed at: the survey's own codes and
    // names are given a species by the user.
    read(
        StandColumn::species,
        [](const RawValue& raw) {
            auto species = speciesValue(raw);
            if (!species.problem.empty())
                species.problem += "; map other codes or names with --species-map FILE";
            return species;
        },
        stand.species);
    // An empty site class is no site class.
    if (const RawValue* siteClass = rawOf(StandColumn::siteClass);
        siteClass != nullptr && !isEmpty(*siteClass)) {
        std::int32_t value = 0;
        read(
            StandColumn::siteClass,
            [](const RawValue& raw) { return wholeAtLeast(raw, -2147483648LL); }, value);
        stand.siteClass = value;
    }
    read(
        StandColumn::standAge, [](const RawValue& raw) { return wholeAtLeast(raw, 1); },
        stand.standAge);
    read(
        StandColumn::averageDiameter,
        [](const RawValue& raw) { return realWithin(raw, Bound::aboveZero); },
        stand.averageDiameter);
    read(
        StandColumn::averageHeight,
        [](const RawValue& raw) { return realWithin(raw, Bound::aboveZero); }, stand.averageHeight);
    read(
        StandColumn::standDensity, [](const RawValue& raw) { return wholeAtLeast(raw, 0); },
        stand.standDensity);
    read(
        StandColumn::standVolume,
        [](const RawValue& raw) { return realWithin(raw, Bound::atLeastZero); }, stand.standVolume);
    // Trees hold the volume: a stand without them cannot have one, and would grow volume
    // while its biomass and carbon stay nothing. (Trees without a measured volume are a
    // young stand, and are taken.)
    if (!reading.rejection && stand.standDensity == 0 && stand.standVolume > 0) {
        reject(StandColumn::standDensity,
               "is 0 with " + columns.header[static_cast<std::size_t>(StandColumn::standVolume)] +
                   " " + shortestText(stand.standVolume) + ": a stand without trees has no volume");
    }
    read(
        StandColumn::area, [](const RawValue& raw) { return realWithin(raw, Bound::aboveZero); },
        stand.area);
    // An empty output class is none: the first table of Quercus aliena is used.
    if (const RawValue* outputClass = rawOf(StandColumn::outputClass);
        outputClass != nullptr && !isEmpty(*outputClass)) {
        std::int32_t value = 0;
        read(
            StandColumn::outputClass,
            [](const RawValue& raw) {
                auto whole = wholeAtLeast(raw, 1);
                if (whole.problem.empty() && whole.value > 3) {
                    return ColumnValue<std::int32_t>{0,
                                                     shown(raw) + " is not an output class 1 to 3"};
                }
                return whole;
            },
            value);
        stand.outputClass = value;
    }
    return reading;
}

std::optional<std::int32_t> speciesOfText(std::string_view text) {
    text = trimBlanks(text);
    const WholeNumberReading number = readInventoryWholeNumber(text);
    if (number.value) {
        if (*number.value >= 1 && *number.value <= speciesCount)
            return static_cast<std::int32_t>(*number.value);
        return std::nullopt;
    }
    for (std::int32_t species = 1; species <= speciesCount; ++species) {
        if (equalsIgnoringCase(text, speciesName(species)) || text == speciesChineseName(species)) {
            return species;
        }
    }
    return std::nullopt;
}

std::string quotedValue(const RawValue& value) {
    return shown(value);
}

bool isEmptyValue(const RawValue& value) {
    return isEmpty(value);
}

ColumnValue<std::int64_t> readWholeValue(const RawValue& value) {
    return wholeValue(value);
}

ColumnValue<double> readRealValue(const RawValue& value) {
    return realValue(value);
}

ColumnValue<std::int32_t> readSpeciesValue(const RawValue& value) {
    return speciesValue(value);
}

std::string writableTextProblem(const RawValue& raw, std::string_view text) {
    if (raw.kind == RawValue::Kind::other) return "is a BLOB, not text";
    if (text.find('\0') != std::string_view::npos) return "holds a NUL byte";
    if (!isUtf8Text(text)) return "is not UTF-8 text";
    return {};
}

}  // namespace arbora
