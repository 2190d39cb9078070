#include "report/editing.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>

namespace arbora {
namespace {

// Right-aligns text in width columns, or gives width asterisks when it does not fit.
std::string padField(std::string_view text, int width) {
    const auto w = static_cast<std::size_t>(width < 0 ? 0 : width);
    if (text.size() > w) return std::string(w, '*');
    std::string field(w - text.size(), ' ');
    field += text;
    return field;
}

std::string_view nonFiniteText(double value, int width) {
    if (std::isnan(value)) return "NaN";
    if (value > 0) return width >= 8 ? "Infinity" : "Inf";
    return width >= 9 ? "-Infinity" : "-Inf";
}

}  // namespace

std::string editInteger(std::int32_t value, int width) {
    const std::int64_t wide = value;
    const std::string digits = std::to_string(wide < 0 ? -wide : wide);
    return padField(wide < 0 ? "-" + digits : digits, width);
}

std::string editFixed(double value, int width, int decimals) {
    if (!std::isfinite(value)) return padField(nonFiniteText(value, width), width);
    decimals = std::max(decimals, 0);
    // The text has at least the point and the decimals: when they alone do not fit,
    // the field is asterisks whatever the digits.
    if (static_cast<long long>(decimals) + 1 > static_cast<long long>(width)) {
        return std::string(static_cast<std::size_t>(std::max(width, 0)), '*');
    }

    // A binary64 value has at most 1074 binary places, so no decimal beyond the 1074th
    // is ever a non-zero digit: the exact text is converted up to there and zeros
    // added after. std::to_chars converts the exact binary value, rounding ties to
    // even, like the C library's "%.*f".
    constexpr int exactDecimals = 1074;
    const int converted = std::min(decimals, exactDecimals);
    std::string magnitude(310 + static_cast<std::size_t>(converted) + 2, '\0');
    const auto result = std::to_chars(magnitude.data(), magnitude.data() + magnitude.size(),
                                      std::fabs(value), std::chars_format::fixed, converted);
    magnitude.resize(static_cast<std::size_t>(result.ptr - magnitude.data()));
    magnitude.append(static_cast<std::size_t>(decimals - converted), '0');
    if (decimals == 0) magnitude += '.';

    const bool roundsToZero = magnitude.find_first_not_of("0.") == std::string::npos;
    const bool belowOne = magnitude.front() == '0';
    if (belowOne) magnitude.erase(0, 1);  // "0.5000" -> ".5000"

    std::string text = (value < 0 && !roundsToZero) ? "-" + magnitude : magnitude;
    if (belowOne && text.size() < static_cast<std::size_t>(width)) {
        text.insert(text.find('.'), "0");
    }
    return padField(text, width);
}

std::string editText(std::string_view text, int width) {
    const auto w = static_cast<std::size_t>(width < 0 ? 0 : width);
    if (text.size() >= w) return std::string(text.substr(0, w));
    return std::string(w - text.size(), ' ') + std::string(text);
}

}  // namespace arbora
