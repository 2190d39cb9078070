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

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// The lead bytes of UTF-8 characters of more than one byte (RFC 3629, table 3-7 of
// the Unicode standard): the range of the byte after the lead byte excludes overlong
// forms, surrogates and code points above U+10FFFF.
struct Utf8Lead {
    unsigned char first, last;
    int continuation;            // bytes after the lead byte
    unsigned char lower, upper;  // the range of the first of them
};
constexpr Utf8Lead utf8Leads[] = {
    {0xC2, 0xDF, 1, 0x80, 0xBF}, {0xE0, 0xE0, 2, 0xA0, 0xBF}, {0xE1, 0xEC, 2, 0x80, 0xBF},
    {0xED, 0xED, 2, 0x80, 0x9F}, {0xEE, 0xEF, 2, 0x80, 0xBF}, {0xF0, 0xF0, 3, 0x90, 0xBF},
    {0xF1, 0xF3, 3, 0x80, 0xBF}, {0xF4, 0xF4, 3, 0x80, 0x8F},
};

// The value as a message quotes it.
std::string shown(const RawValue& value) {
    switch (value.kind) {
        case RawValue::Kind::text:
            return quotedValue(trimBlanks(value.text));
        case RawValue::Kind::integer:
            return std::to_string(value.integer);
        case RawValue::Kind::real:
            return shortestText(value.real);
        default:
            return "the value";
    }
}

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
    return {0, shown(raw) + " is not a species: use 1 to 4, the Latin name or the Chinese name"};
}

// The stand id of a row, or why there is none that can be written: an id must be text
// that every SQLite client and spreadsheet can read back.
std::string standIdProblem(const RawValue& raw, std::string_view id) {
    if (raw.kind == RawValue::Kind::other) return "is a BLOB, not text";
    if (id.empty()) return "is empty";
    if (id.find('\0') != std::string_view::npos) return "holds a NUL byte";
    if (!isUtf8Text(id)) return "is not UTF-8 text";
    return {};
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

char asciiLower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

}  // namespace

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (asciiLower(a[i]) != asciiLower(b[i])) return false;
    }
    return true;
}

std::string_view trimBlanks(std::string_view text) {
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (!text.empty() && blank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && blank(text.back()))
        text.remove_suffix(1);
    return text;
}

namespace {

bool isNameOf(std::string_view name, const StandColumnName& column) {
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
    std::string missing;
    for (std::size_t c = 0; c < standColumnCount; ++c) {
        if (!names[c].required || map.position[c] >= 0) continue;
        missing += (missing.empty() ? "" : ", ") + std::string(names[c].name) + " (" +
                   std::string(names[c].chinese) + ")";
    }
    if (!missing.empty()) return "has no column " + missing;
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
            Rejection{row.line, stand.standId, columns.header[static_cast<std::size_t>(column)],
                      std::move(reason)};
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
    read(StandColumn::species, speciesValue, stand.species);
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

NumberReading readInventoryNumber(std::string_view text) {
    const std::string_view v = trimBlanks(text);
    const auto notANumber = [&] {
        return NumberReading{std::nullopt, quotedValue(v) + " is not a number"};
    };
    std::size_t i = (!v.empty() && (v[0] == '+' || v[0] == '-')) ? 1 : 0;
    const std::size_t start = i;
    std::size_t digits = 0;
    while (i < v.size() && isDigit(v[i]))
        ++i, ++digits;
    if (i < v.size() && v[i] == '.') {
        ++i;
        while (i < v.size() && isDigit(v[i]))
            ++i, ++digits;
    }
    if (digits == 0) return notANumber();
    if (i < v.size() && (v[i] == 'e' || v[i] == 'E')) {
        ++i;
        if (i < v.size() && (v[i] == '+' || v[i] == '-')) ++i;
        const std::size_t exponentStart = i;
        while (i < v.size() && isDigit(v[i]))
            ++i;
        if (i == exponentStart) return notANumber();
    }
    if (i != v.size()) return notANumber();

    // from_chars takes no "+" and no "E" exponent sign before digits other than its own.
    std::string number(v.substr(start));
    if (const auto magnitude = nearestBinary64(number)) {
        const double value = (v[0] == '-' ? -*magnitude : *magnitude) + 0.0;  // no -0
        return {value, {}};
    }
    return {std::nullopt, quotedValue(v) + " is beyond the largest number"};
}

WholeNumberReading readInventoryWholeNumber(std::string_view text) {
    const std::string_view v = trimBlanks(text);
    std::size_t i = (!v.empty() && (v[0] == '+' || v[0] == '-')) ? 1 : 0;
    const std::size_t start = i;
    while (i < v.size() && isDigit(v[i]))
        ++i;
    if (i == start || i != v.size()) {
        const bool real = readInventoryNumber(v).value.has_value();
        return {std::nullopt, quotedValue(v) + " is not a " + (real ? "whole number" : "number")};
    }
    std::int64_t magnitude = 0;
    const auto [end, error] = std::from_chars(v.data() + start, v.data() + v.size(), magnitude);
    if (error != std::errc() || end != v.data() + v.size()) {
        return {std::nullopt, quotedValue(v) + " is beyond the largest whole number"};
    }
    return {v[0] == '-' ? -magnitude : magnitude, {}};
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

std::string shortenedText(std::string_view text) {
    // Cut before the first byte of the character after the last one kept.
    std::size_t characters = 0;
    std::size_t cut = 0;
    for (; cut < text.size(); ++cut) {
        const bool starts = (static_cast<unsigned char>(text[cut]) & 0xC0) != 0x80;
        if (starts && characters++ == shownCharacters) break;
    }
    std::string shown(text.substr(0, cut));
    // Text from a database is not checked as a whole: what is not UTF-8 is not passed on.
    if (!isUtf8Text(shown)) {
        for (char& c : shown) {
            if (static_cast<unsigned char>(c) >= 0x80) c = '?';
        }
    }
    return cut < text.size() ? shown + "..." : shown;
}

std::string quotedValue(std::string_view text) {
    return "\"" + shortenedText(text) + "\"";
}

std::size_t Utf8Checker::check(std::string_view piece) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(piece.data());
    const std::size_t size = piece.size();
    std::size_t i = 0;
    while (i < size) {
        if (remaining_ == 0) {
            // Most inventory text is ASCII: eight bytes at a time while it is.
            while (i + 8 <= size) {
                std::uint64_t eight;
                std::memcpy(&eight, bytes + i, 8);
                if ((eight & 0x8080808080808080ULL) != 0) break;
                i += 8;
            }
            if (i == size) break;
            const unsigned char lead = bytes[i];
            if (lead < 0x80) {
                ++i;
                continue;
            }
            const Utf8Lead* found = nullptr;
            for (const Utf8Lead& l : utf8Leads) {
                if (lead >= l.first && lead <= l.last) found = &l;
            }
            if (found == nullptr) return i;
            remaining_ = found->continuation;
            lower_ = found->lower;
            upper_ = found->upper;
            ++i;
            continue;
        }
        if (bytes[i] < lower_ || bytes[i] > upper_) return i;
        --remaining_;
        lower_ = 0x80;
        upper_ = 0xBF;
        ++i;
    }
    return std::string_view::npos;
}

bool isUtf8Text(std::string_view text) {
    Utf8Checker checker;
    return checker.check(text) == std::string_view::npos && checker.complete();
}

}  // namespace arbora
