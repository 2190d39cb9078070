#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// The editing rules that turn one value into the characters of a fixed-width field.
// Every report line and every dialog field text is built from these.
namespace arbora {

// Iw: the integer right-aligned in w columns, "-" before a negative value, w asterisks
// when the digits and sign need more than w columns.
std::string editInteger(std::int32_t value, int width);

// Fw.d: the exact binary value rounded to d decimals (ties to even), right-aligned in
// w columns. The "0" before the point is dropped when the field has no room for it;
// a value that rounds to zero carries no sign. Not-a-number and the infinities are
// written as "NaN", "Infinity"/"Inf" and "-Infinity"/"-Inf". w asterisks on overflow.
std::string editFixed(double value, int width, int decimals);

// Aw: a shorter text right-aligned in w columns, a longer one cut to its first w.
std::string editText(std::string_view text, int width);

}  // namespace arbora
