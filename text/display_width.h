#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Text in fixed-width columns of a terminal: Chinese, Japanese and Korean characters and
// the full-width forms take two columns, combining marks none, everything else one.
namespace arbora {

// The columns the UTF-8 text takes on a terminal. A byte that does not belong to a
// UTF-8 character counts one column (it shows as one replacement character).
std::size_t displayWidth(std::string_view text);

// The text cut after whole characters so that it takes at most `columns` columns, then
// padded with spaces to exactly `columns` (a wide character that would stand half
// outside leaves a space instead). Bytes that are not UTF-8 become "?": the result is
// always valid UTF-8.
std::string fitToColumns(std::string_view text, std::size_t columns);

}  // namespace arbora
