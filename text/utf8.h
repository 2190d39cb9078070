#pragma once

#include <cstddef>
#include <string_view>

namespace arbora {

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
