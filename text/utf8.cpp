#include "text/utf8.h"

#include <cstdint>
#include <cstring>

namespace arbora {

namespace {

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

}  // namespace

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
