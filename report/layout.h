#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

// Report lines are written as layouts: an item list such as
//   2X, I3, 4X, F5.2, "text", A40, /
// applied left to right from column 1. nX moves n columns right over blanks, a quoted
// literal is written as it stands, Iw, Fw.d and Aw each take the next value, "/" ends
// the line and starts another. A plain "A" writes the whole text. A data item given
// blankField is left blank.
namespace arbora {

// A value that leaves its field blank: as many blanks as the field is wide, whatever
// the item's kind.
struct BlankField {};
inline constexpr BlankField blankField;

using LayoutValue = std::variant<std::int32_t, double, std::string_view, BlankField>;

// The lines a layout makes from its values. A layout that does not parse, or values
// that do not match its data items in number and kind, are faults of the caller and
// throw std::logic_error.
std::vector<std::string> formatLayout(std::string_view layout,
                                      std::initializer_list<LayoutValue> values);

}  // namespace arbora
