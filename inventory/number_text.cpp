#include "inventory/number_text.h"

#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>

namespace arbora {

char* writeShortest(char* end, double value) {
    if (std::signbit(value) && !std::isnan(value)) *end++ = '-';
    value = std::fabs(value);
    if (!std::isfinite(value)) {
        return std::copy_n(std::isnan(value) ? "nan" : "inf", 3, end);
    }
    if (value == 0) {
        *end++ = '0';
        return end;
    }
    // The shortest digits that round-trip, and the power of ten of the last one, from
    // fmt's Dragonbox.
    const auto decimal = fmt::detail::dragonbox::to_decimal(value);
    static constexpr auto pairs = [] {  // "00", "01", ..., "99"
        std::array<char, 200> table{};
        for (int i = 0; i < 100; ++i) {
            table[static_cast<std::size_t>(2 * i)] = static_cast<char>('0' + i / 10);
            table[static_cast<std::size_t>(2 * i + 1)] = static_cast<char>('0' + i % 10);
        }
        return table;
    }();
    char digits[20];
    char* first = digits + sizeof digits;
    auto significand = decimal.significand;
    while (significand >= 100) {  // two digits at a time
        const auto pair = static_cast<std::size_t>(significand % 100) * 2;
        significand /= 100;
        *--first = pairs[pair + 1];
        *--first = pairs[pair];
    }
    if (significand >= 10) {
        const auto pair = static_cast<std::size_t>(significand) * 2;
        *--first = pairs[pair + 1];
        *--first = pairs[pair];
    } else {
        *--first = static_cast<char>('0' + significand);
    }
    const int count = static_cast<int>(digits + sizeof digits - first);
    const int point = count + decimal.exponent;  // digits before the point
    if (point > 0 && point <= 21) {
        if (point >= count) {
            end = std::copy(first, first + count, end);
            end = std::fill_n(end, point - count, '0');
        } else {
            end = std::copy(first, first + point, end);
            *end++ = '.';
            end = std::copy(first + point, first + count, end);
        }
    } else if (point <= 0 && point > -6) {
        *end++ = '0';
        *end++ = '.';
        end = std::fill_n(end, -point, '0');
        end = std::copy(first, first + count, end);
    } else {
        *end++ = *first;
        if (count > 1) {
            *end++ = '.';
            end = std::copy(first + 1, first + count, end);
        }
        const int exponent = point - 1;
        *end++ = 'e';
        *end++ = exponent < 0 ? '-' : '+';
        end = std::to_chars(end, end + 4, exponent < 0 ? -exponent : exponent).ptr;
    }
    return end;
}

void appendShortest(std::string& out, double value) {
    char text[shortestTextSize];
    out.append(text, writeShortest(text, value));
}

std::string shortestText(double value) {
    std::string text;
    appendShortest(text, value);
    return text;
}

}  // namespace arbora
