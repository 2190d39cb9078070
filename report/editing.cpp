#include "report/editing.h"

#include <array>
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

    // std::to_chars with a precision converts the exact binary value, rounding ties
    // to even, like the C library's "%.*f".
    std::array<char, 400> buffer;
    const auto [end, error] = std::to_chars(buffer.data(), buffer.data() + buffer.size(),
                                            std::fabs(value), std::chars_format::fixed, decimals);
    if (error != std::errc()) return std::string(static_cast<std::size_t>(width), '*');
    std::string magnitude(buffer.data(), end);
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
