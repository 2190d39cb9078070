#include "inventory/number_text.h"

// Dragonbox from fmt's headers rather than its shared library, with the full table of
// powers of ten (10 KB) rather than the compressed one, which recomputes an entry by
// multiplications on every call; the digits are the same.
#define FMT_HEADER_ONLY
#define FMT_USE_FULL_CACHE_DRAGONBOX 1
#include <fmt/format.h>

// fmt::detail::dragonbox is fmt's internal Dragonbox, not its public interface; this is
// the only file that uses it. Its to_decimal was checked on fmt 9 and 10. Before the
// bound moves, tests/number_text_test.cpp's check against the C++ library's shortest
// digits (std::to_chars) has to pass with the new fmt.
static_assert(FMT_VERSION >= 90000 && FMT_VERSION < 110000,
              "check fmt::detail::dragonbox::to_decimal against this fmt version");

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace arbora {

namespace {

// A double as the writer needs it: the sign, and the shortest decimal digits that read
// back to it (significand * 10^exponent), or what it is when it has none.
// No default member values: a row's array of them is filled before it is read, and
// clearing it first would cost as much as a number's digits.
struct Decimal {
    enum Kind : std::uint8_t { finite, zero, infinite, notANumber };
    std::uint64_t significand;  // at most 17 digits; 0 unless finite
    std::int32_t exponent;
    Kind kind;
    bool negative;  // a minus sign is written (never for not-a-number)
};

Decimal decimalOf(double value) {
    Decimal d{.significand = 0, .exponent = 0, .kind = Decimal::zero, .negative = false};
    const bool notANumber = std::isnan(value);
    d.negative = std::signbit(value) && !notANumber;
    value = std::fabs(value);
    if (notANumber) {
        d.kind = Decimal::notANumber;
    } else if (value == 0) {
        d.kind = Decimal::zero;
    } else if (std::isinf(value)) {
        d.kind = Decimal::infinite;
    } else {
        // fmt's Dragonbox: the shortest digits that round-trip, trailing zeros removed.
        const auto decimal = fmt::detail::dragonbox::to_decimal(value);
        d.kind = Decimal::finite;
        d.significand = decimal.significand;
        d.exponent = decimal.exponent;
    }
    return d;
}

constexpr auto digitPairs = [] {  // "00", "01", ..., "99"
    std::array<char, 200> table{};
    for (int i = 0; i < 100; ++i) {
        table[static_cast<std::size_t>(2 * i)] = static_cast<char>('0' + i / 10);
        table[static_cast<std::size_t>(2 * i + 1)] = static_cast<char>('0' + i % 10);
    }
    return table;
}();

// The eight decimal digits of a value below 10^8, leading zeros included, as the
// bytes of a word in memory order, computed in parallel lanes of the word (no
// division): the two four-digit halves in 32-bit lanes, each split into two-digit
// parts in 16-bit lanes, each of those into single digits in 8-bit lanes. Every lane
// is divided by multiplying with a reciprocal that is exact over the lane's range
// (x * 10486 >> 20 is x / 100 below 10^4, x * 103 >> 10 is x / 10 below 100).
std::uint64_t eightDigits(std::uint32_t value) {
    // The first digits go to the lowest address, so into the lowest lane.
    const std::uint64_t halves = (value / 10000) | (std::uint64_t{value % 10000} << 32);
    const std::uint64_t hundreds = ((halves * 10486) >> 20) & 0x0000007F0000007FULL;
    const std::uint64_t pairs = ((halves - 100 * hundreds) << 16) | hundreds;
    const std::uint64_t tens = ((pairs * 103) >> 10) & 0x000F000F000F000FULL;
    std::uint64_t digits = (((pairs - 10 * tens) << 8) | tens) | 0x3030303030303030ULL;
    if constexpr (std::endian::native == std::endian::big) digits = __builtin_bswap64(digits);
    return digits;
}

// The number of decimal digits of a value below 10^19.
int digitCount(std::uint64_t value) {
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

// Where the digits of a significand are put before they are copied into the text:
// right-aligned to end at digitsEnd, followed by '0's. The text is then made of a few
// fixed-size copies out of it, whatever the number of digits: the digits with the
// zeros a whole number needs after them, or the digits after the point.
class DigitStage {
  public:
    static constexpr int digitsEnd = 24;

    DigitStage() { std::memset(bytes_, '0', sizeof bytes_); }

    // Stages the digits of a significand below 10^17; returns the first.
    const char* stage(std::uint64_t significand, int count) {
        const std::uint64_t high = significand / 100000000;
        const auto low = static_cast<std::uint32_t>(significand % 100000000);
        bytes_[digitsEnd - 17] = static_cast<char>('0' + high / 100000000);
        store(digitsEnd - 16, eightDigits(static_cast<std::uint32_t>(high % 100000000)));
        store(digitsEnd - 8, eightDigits(low));
        return bytes_ + digitsEnd - count;
    }

  private:
    void store(int at, std::uint64_t word) { std::memcpy(bytes_ + at, &word, sizeof word); }
    char bytes_[2 * digitsEnd];
};

// Writes the exponent of the exponent form: "e+21", "e-7", "e-324".
char* writeExponent(char* to, int exponent) {
    *to++ = 'e';
    *to++ = exponent < 0 ? '-' : '+';
    const auto e = static_cast<unsigned>(exponent < 0 ? -exponent : exponent);  // below 400
    if (e >= 100) {
        *to++ = static_cast<char>('0' + e / 100);
        std::memcpy(to, &digitPairs[(e % 100) * 2], 2);
        return to + 2;
    }
    if (e >= 10) {
        std::memcpy(to, &digitPairs[e * 2], 2);
        return to + 2;
    }
    *to = static_cast<char>('0' + e);
    return to + 1;
}

// Writes the text of one value. Every copy below is of a fixed size, so that it
// compiles to a few word stores; the longest reaches 34 characters past `to`.
char* writeDecimal(char* to, const Decimal& d, DigitStage& stage) {
    if (d.negative) *to++ = '-';
    if (d.kind != Decimal::finite) {
        static constexpr char texts[][4] = {"", "0", "inf", "nan"};
        std::memcpy(to, texts[d.kind], 4);
        return to + (d.kind == Decimal::zero ? 1 : 3);
    }
    const int count = digitCount(d.significand);
    const char* digits = stage.stage(d.significand, count);
    const int point = count + d.exponent;  // digits before the point
    if (point > 0 && point <= 21) {
        if (point >= count) {  // a whole number: the digits and point - count zeros
            std::memcpy(to, digits, 24);
            return to + point;
        }
        std::memcpy(to, digits, 16);  // point < count <= 17
        to[point] = '.';
        std::memcpy(to + point + 1, digits + point, 16);
        return to + count + 1;
    }
    if (point <= 0 && point > -6) {  // "0.", -point zeros, the digits
        std::memcpy(to, "0.000000", 8);
        std::memcpy(to + 2 - point, digits, 24);
        return to + 2 - point + count;
    }
    to[0] = digits[0];
    to[1] = '.';
    std::memcpy(to + 2, digits + 1, 16);
    return writeExponent(count > 1 ? to + count + 1 : to + 1, point - 1);
}

}  // namespace

char* writeShortest(char* to, double value) {
    DigitStage stage;
    return writeDecimal(to, decimalOf(value), stage);
}

char* writeShortestRow(char* to, std::span<const double> values, char separator) {
    // The decimals of a batch of values first: they do not depend on each other, so the
    // processor works on several at once; the text, whose place depends on the length
    // of the text before it, comes after.
    constexpr std::size_t batch = 32;
    std::array<Decimal, batch> decimals;
    DigitStage stage;
    for (std::size_t first = 0; first < values.size(); first += batch) {
        const std::size_t count = std::min(batch, values.size() - first);
        for (std::size_t i = 0; i < count; ++i)
            decimals[i] = decimalOf(values[first + i]);
        for (std::size_t i = 0; i < count; ++i) {
            if (first + i > 0) *to++ = separator;
            to = writeDecimal(to, decimals[i], stage);
        }
    }
    return to;
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

std::string countText(std::int64_t count, std::string_view singular, std::string_view plural) {
    std::string text = std::to_string(count) + " ";
    if (count == 1) return text.append(singular);
    if (plural.empty()) return text.append(singular).append("s");
    return text.append(plural);
}

}  // namespace arbora
