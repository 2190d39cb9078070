#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "inventory/inventory_stand.h"
#include "text/numbers.h"
#include "text/utf8.h"
#include "text/words.h"

// The columns of an inventory's stand table, found by their header names, and the
// rules by which one row's values become an InventoryStand.
namespace arbora {

enum class StandColumn {
    standId,
    species,
    siteClass,
    standAge,
    averageDiameter,
    averageHeight,
    standDensity,
    standVolume,
    area,
    outputClass,
};
constexpr std::size_t standColumnCount = 10;

struct StandColumnName {
    std::string_view name;     // e.g. "stand_age"
    std::string_view chinese;  // the usual name in Chinese inventories, e.g. "林龄"
    bool required;
    // The field names of sub-compartment survey layers, in pinyin, e.g. "PINGJUN_NL";
    // empty when unused.
    std::array<std::string_view, 2> pinyin{};
};

// In the order of StandColumn.
const std::array<StandColumnName, standColumnCount>& standColumnNames();

// One value of a row as the input holds it: a text (every CSV value), or a number or
// NULL as a database stores it.
struct RawValue {
    // tooLarge: a whole number a GIS library could not hold in 64 bits (it would have
    // clamped it), refused wherever it stands rather than read as another number.
    enum class Kind { missing, text, integer, real, other, tooLarge };
    Kind kind = Kind::missing;
    std::string_view text;  // for text
    std::int64_t integer = 0;
    double real = 0;
};

// The values of one input row, by the input's column position.
struct RawRow {
    std::int64_t line = 0;
    std::int64_t feature = 0;  // a GIS layer's feature by its place in reading order, from 1
    std::vector<RawValue> values;
};

// A header split into its name and a trailing unit in brackets, ASCII or full-width:
// "平均胸径(cm)", "面积（公顷）", "stand_volume [m3/ha]"; blanks around each removed, the
// unit empty when there is none.
struct HeaderName {
    std::string_view name;
    std::string_view unit;
};
HeaderName splitHeaderName(std::string_view header);

// Where each stand column stands in the input, found from the header names: in any
// order, in any letter case, blanks and a trailing unit in brackets ignored, under the English, the
// Chinese or a survey's pinyin name, or under the name the user gives for it. Other
// columns are ignored.
struct StandColumnMap {
    std::array<int, standColumnCount> position{};      // -1 when the input lacks it
    std::array<std::string, standColumnCount> header;  // as the input spells it
    std::size_t inputColumns = 0;
};

// The input's names the user gives for stand columns, by StandColumn; empty where the
// column is found by its own names.
using StandColumnOverrides = std::array<std::string, standColumnCount>;

// Overrides from a list such as "stand_id=XBH,species=YOU_SHI_SZ": stand columns by
// their English names, each at most once; or a sentence saying what is wrong.
std::variant<StandColumnOverrides, std::string> parseStandColumnOverrides(std::string_view text);

// The map, or a sentence saying what the header lacks ("has no column stand_age
// (林龄)") or holds twice. An overridden column takes the input column of that name
// (the same spelling first, else the only one in another letter case), which no other
// stand column then takes.
// A missing column's sentence lists the header read and the --columns hint. Without
// an area column, a header no column took that reads like an area ("Area in mu",
// "小班面积", "MJ") is refused too, with the --columns hint, rather than every stand
// counting as 1 ha beside it.
std::variant<StandColumnMap, std::string> mapStandColumns(
    const std::vector<std::string>& header, const StandColumnOverrides& overrides = {});

// Why the units the headers give in brackets cannot be the units a column is read in
// (diameter cm, height m, density trees/ha, volume m3/ha, age years, area ha, or mu
// with `areaInMu`), e.g. "胸径(mm)" or "面积(亩)" without --area-unit mu; none when they
// agree or no unit is given. The columns without a unit take any bracketed text.
std::optional<std::string> columnUnitProblem(const StandColumnMap& columns, bool areaInMu);

// The stand of one row, or why it cannot be used. The stand's id is filled whenever it
// could be read, even when another column rejects the row.
struct StandReading {
    InventoryStand stand;
    std::optional<Rejection> rejection;
};
StandReading readStand(const StandColumnMap& columns, const RawRow& row);

// The species number of a text: 1 to 4, the Latin name in any letter case, or the
// Chinese name.
std::optional<std::int32_t> speciesOfText(std::string_view text);

// One value of a row read by the rules of the stand columns, for other tables read by
// the same rules (the treatments). `problem` is empty when the value was read.
template <typename T>
struct ColumnValue {
    T value{};
    std::string problem;
};
// The value as a message quotes it: a text in quotes, a number as stored.
std::string quotedValue(const RawValue& value);
// No value, or a text of blanks only.
bool isEmptyValue(const RawValue& value);
// A whole number (a text without point or exponent, an INTEGER, or a whole REAL).
ColumnValue<std::int64_t> readWholeValue(const RawValue& value);
// A finite number.
ColumnValue<double> readRealValue(const RawValue& value);
// A species: 1 to 4, the Latin name in any letter case, or the Chinese name.
ColumnValue<std::int32_t> readSpeciesValue(const RawValue& value);

// Why a value's text cannot be written to an output, as the stand id's is checked: a
// BLOB, a NUL byte, bytes that are not UTF-8 text; empty when it can. Every text of an
// input that reaches an output (a scenario name, a code) is checked so.
std::string writableTextProblem(const RawValue& raw, std::string_view text);

}  // namespace arbora
