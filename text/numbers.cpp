#include "text/numbers.h"

#include <locale.h>

#include <charconv>
#include <cmath>
#include <cstdlib>

#include "text/words.h"

namespace arbora {

namespace {

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

}  // namespace

std::optional<double> nearestBinary64(std::string_view number) {
    double magnitude = 0;
    const auto [end, error] =
        std::from_chars(number.data(), number.data() + number.size(), magnitude);
    if (error == std::errc::result_out_of_range) {
        // from_chars gives no value below the smallest binary64 nor beyond the largest;
        // the C library's conversion, in the "C" locale, gives zero or infinity there.
        static const locale_t cLocale = ::newlocale(LC_ALL_MASK, "C", locale_t{});
        magnitude = ::strtod_l(std::string(number).c_str(), nullptr, cLocale);
    } else if (error != std::errc() || end != number.data() + number.size()) {
        return std::nullopt;
    }
    if (std::isinf(magnitude)) return std::nullopt;
    return magnitude;
}

NumberReading readInventoryNumber(std::string_view text) {
    const std::string_view v = trimBlanks(text);
    const auto notANumber = [&] {
        return NumberReading{std::nullopt, quotedValue(v) + " is not a number"};
    };
    std::size_t i = (!v.empty() && (v[0] == '+' || v[0] == '-')) ? 1 : 0;
    const std::size_t start = i;
    std::size_t digits = 0;
    while (i < v.size() && isDigit(v[i]))
        ++i, ++digits;
    if (i < v.size() && v[i] == '.') {
        ++i;
        while (i < v.size() && isDigit(v[i]))
            ++i, ++digits;
    }
    if (digits == 0) return notANumber();
    if (i < v.size() && (v[i] == 'e' || v[i] == 'E')) {
        ++i;
        if (i < v.size() && (v[i] == '+' || v[i] == '-')) ++i;
        const std::size_t exponentStart = i;
        while (i < v.size() && isDigit(v[i]))
            ++i;
        if (i == exponentStart) return notANumber();
    }
    if (i != v.size()) return notANumber();

    // from_chars takes no "+" and no "E" exponent sign before digits other than its own.
    std::string number(v.substr(start));
    if (const auto magnitude = nearestBinary64(number)) {
        const double value = (v[0] == '-' ? -*magnitude : *magnitude) + 0.0;  // no -0
        return {value, {}};
    }
    return {std::nullopt, quotedValue(v) + " is beyond the largest number"};
}

WholeNumberReading readInventoryWholeNumber(std::string_view text) {
    const std::string_view v = trimBlanks(text);
    std::size_t i = (!v.empty() && (v[0] == '+' || v[0] == '-')) ? 1 : 0;
    const std::size_t start = i;
    while (i < v.size() && isDigit(v[i]))
        ++i;
    if (i == start || i != v.size()) {
        const bool real = readInventoryNumber(v).value.has_value();
        return {std::nullopt, quotedValue(v) + " is not a " + (real ? "whole number" : "number")};
    }
    std::int64_t magnitude = 0;
    const auto [end, error] = std::from_chars(v.data() + start, v.data() + v.size(), magnitude);
    if (error != std::errc() || end != v.data() + v.size()) {
        return {std::nullopt, quotedValue(v) + " is beyond the largest whole number"};
    }
    return {v[0] == '-' ? -magnitude : magnitude, {}};
}

}  // namespace arbora
