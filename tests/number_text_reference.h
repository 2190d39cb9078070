#pragma once

// The shortest round-trip writer as it was before the row writer, kept word for word
// as the reference the new one must match byte for byte (tests/number_text_test.cpp).
// Test-only: the program never uses it.

#include <fmt/format.h>

#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace arbora::reference {

namespace {

constexpr auto digitPairs = [] {  // "00", "01", ..., "99"
    std::array<char, 200> table{};
    for (int i = 0; i < 100; ++i) {
        table[static_cast<std::size_t>(2 * i)] = static_cast<char>('0' + i / 10);
        table[static_cast<std::size_t>(2 * i + 1)] = static_cast<char>('0' + i % 10);
    }
    return table;
}();

// Writes the `count` decimal digits of value backwards from `end`, two at a time.
inline void writeDigits(char* end, std::uint32_t value, int count) {
    for (; count >= 2; count -= 2) {
        std::memcpy(end -= 2, &digitPairs[(value % 100) * 2], 2);
        value /= 100;
    }
    if (count == 1) *--end = static_cast<char>('0' + value);
}

// Writes exactly eight digits of a value below 10^8 at `to`, leading zeros included.
inline void writeEightDigits(char* to, std::uint32_t value) {
    const std::uint32_t high = value / 10000, low = value % 10000;
    std::memcpy(to, &digitPairs[(high / 100) * 2], 2);
    std::memcpy(to + 2, &digitPairs[(high % 100) * 2], 2);
    std::memcpy(to + 4, &digitPairs[(low / 100) * 2], 2);
    std::memcpy(to + 6, &digitPairs[(low % 100) * 2], 2);
}

// The number of decimal digits of a value below 10^19.
inline int digitCount(std::uint64_t value) {
    static constexpr std::uint64_t powers[] = {1ULL,
                                               10ULL,
                                               100ULL,
                                               1000ULL,
                                               10000ULL,
                                               100000ULL,
                                               1000000ULL,
                                               10000000ULL,
                                               100000000ULL,
                                               1000000000ULL,
                                               10000000000ULL,
                                               100000000000ULL,
                                               1000000000000ULL,
                                               10000000000000ULL,
                                               100000000000000ULL,
                                               1000000000000000ULL,
                                               10000000000000000ULL,
                                               100000000000000000ULL,
                                               1000000000000000000ULL};
    const int guess = (std::bit_width(value) * 1233) >> 12;  // log10 from log2
    return guess + (value >= powers[guess] ? 1 : 0);
}

}  // namespace

inline char* writeShortest(char* to, double value) {
    if (std::signbit(value) && !std::isnan(value)) *to++ = '-';
    value = std::fabs(value);
    if (!std::isfinite(value)) {
        std::memcpy(to, std::isnan(value) ? "nan" : "inf", 3);
        return to + 3;
    }
    if (value == 0) {
        *to = '0';
        return to + 1;
    }
    // The shortest digits that round-trip, and the power of ten of the last one, from
    // fmt's Dragonbox; at most 17 digits.
    const auto decimal = fmt::detail::dragonbox::to_decimal(value);
    const std::uint64_t significand = decimal.significand;
    const int count = digitCount(significand);
    // The digits, written as eight low ones and the high ones before them.
    const auto digitsAt = [&](char* first) {
        if (count > 8) {
            writeEightDigits(first + count - 8,
                             static_cast<std::uint32_t>(significand % 100000000));
            writeDigits(first + count - 8, static_cast<std::uint32_t>(significand / 100000000),
                        count - 8);
        } else {
            writeDigits(first + count, static_cast<std::uint32_t>(significand), count);
        }
    };
    const int point = count + decimal.exponent;  // digits before the point
    if (point > 0 && point <= 21) {
        if (point >= count) {
            digitsAt(to);
            std::memset(to + count, '0', static_cast<std::size_t>(point - count));
            return to + point;
        }
        // Written one place to the right, then the whole part moved back for the point.
        digitsAt(to + 1);
        std::memmove(to, to + 1, static_cast<std::size_t>(point));
        to[point] = '.';
        return to + count + 1;
    }
    if (point <= 0 && point > -6) {
        to[0] = '0';
        to[1] = '.';
        std::memset(to + 2, '0', static_cast<std::size_t>(-point));
        digitsAt(to + 2 - point);
        return to + 2 - point + count;
    }
    digitsAt(to + 1);
    to[0] = to[1];
    char* end = to + 1;
    if (count > 1) {
        to[1] = '.';
        end = to + count + 1;
    }
    const int exponent = point - 1;
    *end++ = 'e';
    *end++ = exponent < 0 ? '-' : '+';
    return std::to_chars(end, end + 4, exponent < 0 ? -exponent : exponent).ptr;
}

}  // namespace arbora::reference
