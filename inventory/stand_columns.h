#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "inventory/inventory_stand.h"

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
    enum class Kind { missing, text, integer, real, other };
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

// Where each stand column stands in the input, found from the header names: in any
// order, in any letter case, blanks around them ignored, under the English, the
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
std::variant<StandColumnMap, std::string> mapStandColumns(
    const std::vector<std::string>& header, const StandColumnOverrides& overrides = {});

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

// Numbers in inventory texts are read strictly: blanks around the value, then one
// number (sign, digits, optional point and fraction, optional exponent with e or E).
// A whole number has neither point nor exponent. Each gives the value, or why not.
struct NumberReading {
    std::optional<double> value;
    std::string problem;
};
NumberReading readInventoryNumber(std::string_view text);
struct WholeNumberReading {
    std::optional<std::int64_t> value;
    std::string problem;
};
WholeNumberReading readInventoryWholeNumber(std::string_view text);

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

// Whether two names are the same in any letter case (ASCII letters only).
bool equalsIgnoringCase(std::string_view a, std::string_view b);

// The text with blanks (spaces and tabs) around it removed.
std::string_view trimBlanks(std::string_view text);

// A text of the input as a message shows it: cut after `shownCharacters` UTF-8
// characters, with "..." after the cut, so that one huge field cannot flood the
// messages, the rejected table or the estate report. Bytes of a text that is not UTF-8
// are shown as "?".
constexpr std::size_t shownCharacters = 80;
std::string shortenedText(std::string_view text);
// The same in double quotes, as a rejection quotes a value.
std::string quotedValue(std::string_view text);

// Checks UTF-8 text (RFC 3629: no overlong forms, no surrogates, nothing above
// U+10FFFF) piece by piece; a character may be cut between two pieces.
class Utf8Checker {
  public:
    // The offset in the piece of the first byte that cannot continue UTF-8 text, or
    // std::string_view::npos.
    std::size_t check(std::string_view piece);
    // True when the text so far ends on a whole character.
    bool complete() const { return remaining_ == 0; }

  private:
    int remaining_ = 0;                          // continuation bytes still expected
    unsigned char lower_ = 0x80, upper_ = 0xBF;  // the range of the next one
};
bool isUtf8Text(std::string_view text);

}  // namespace arbora
