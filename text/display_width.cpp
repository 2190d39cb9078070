#include "text/display_width.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <iterator>
#include <utility>

namespace arbora {

namespace {

// The East Asian Wide and Fullwidth blocks of Unicode (UAX #11), and the emoji shown
// two columns wide, as terminals draw them.
constexpr std::array<std::pair<char32_t, char32_t>, 18> wideRanges{{
    {0x1100, 0x115F},    // Hangul Jamo initials
    {0x2E80, 0x303E},    // CJK radicals, Kangxi radicals, CJK symbols and punctuation
    {0x3041, 0x33FF},    // kana, bopomofo, Hangul compatibility, CJK compatibility
    {0x3400, 0x4DBF},    // CJK unified ideographs extension A
    {0x4E00, 0x9FFF},    // CJK unified ideographs
    {0xA000, 0xA4CF},    // Yi
    {0xA960, 0xA97F},    // Hangul Jamo extended A
    {0xAC00, 0xD7A3},    // Hangul syllables
    {0xF900, 0xFAFF},    // CJK compatibility ideographs
    {0xFE10, 0xFE19},    // vertical forms
    {0xFE30, 0xFE6F},    // CJK compatibility forms, small form variants
    {0xFF00, 0xFF60},    // full-width forms
    {0xFFE0, 0xFFE6},    // full-width signs
    {0x1F300, 0x1F64F},  // pictographs, emoticons
    {0x1F900, 0x1F9FF},  // supplemental pictographs
    {0x20000, 0x2FFFD},  // CJK extensions B to F, compatibility supplement
    {0x30000, 0x3FFFD},  // CJK extension G and later
    {0x1F680, 0x1F6FF},  // transport and map symbols
}};

int columnsOf(char32_t c) {
    if ((c >= 0x0300 && c <= 0x036F) || c == 0x200B || (c >= 0xFE00 && c <= 0xFE0F))
        return 0;  // combining marks, zero-width space, variation selectors
    for (const auto& [first, last] : wideRanges)
        if (c >= first && c <= last) return 2;
    return 1;
}

// The character at the start of text and its length in bytes; a length of 0 when the
// first byte does not begin a well-formed UTF-8 character (RFC 3629).
std::pair<char32_t, std::size_t> firstCharacter(std::string_view text) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(0);
    if (lead < 0x80) return {lead, 1};
    std::size_t length = 0;
    char32_t c = 0;
    unsigned char lower = 0x80, upper = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, c = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, c = lead & 0x0F;
        if (lead == 0xE0) lower = 0xA0;
        if (lead == 0xED) upper = 0x9F;  // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, c = lead & 0x07;
        if (lead == 0xF0) lower = 0x90;
        if (lead == 0xF4) upper = 0x8F;  // nothing above U+10FFFF
    } else {
        return {0, 0};
    }
    if (text.size() < length) return {0, 0};
    for (std::size_t i = 1; i < length; ++i) {
        const unsigned char next = byte(i);
        if (next < (i == 1 ? lower : 0x80) || next > (i == 1 ? upper : 0xBF)) return {0, 0};
        c = (c << 6) | (next & 0x3F);
    }
    return {c, length};
}

}  // namespace

std::size_t displayWidth(std::string_view text) {
    std::size_t columns = 0;
    while (!text.empty()) {
        const auto [c, length] = firstCharacter(text);
        columns += length == 0 ? 1 : static_cast<std::size_t>(columnsOf(c));
        text.remove_prefix(std::max<std::size_t>(length, 1));
    }
    return columns;
}

std::string fitToColumns(std::string_view text, std::size_t columns) {
    std::string fitted;
    std::size_t used = 0;
    while (!text.empty()) {
        const auto [c, length] = firstCharacter(text);
        const std::size_t width = length == 0 ? 1 : static_cast<std::size_t>(columnsOf(c));
        if (used + width > columns) break;
        if (length == 0) {
            fitted += '?';
        } else {
            fitted.append(text.substr(0, length));
        }
        used += width;
        text.remove_prefix(std::max<std::size_t>(length, 1));
    }
    fitted.append(columns - used, ' ');
    return fitted;
}

}  // namespace arbora
