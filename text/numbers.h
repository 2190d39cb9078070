#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// Numbers in input texts.
namespace arbora {

// The binary64 value nearest to an unsigned decimal number written as digits with an
// optional point and an optional "e" exponent, the form std::from_chars takes: zero
// below the smallest binary64, empty beyond the largest (or for any other text).
std::optional<double> nearestBinary64(std::string_view number);

// Numbers in inventory texts are read strictly: blanks around the value, then one
// number (sign, digits, optional point and fraction, optional exponent with e or E).
// A whole number has neither point nor exponent. Each gives the value, or why not.
struct NumberReading {
    std::optional<double> value;
    std::string problem;
};
NumberReading readInventoryNumber(std::string_view text);
struct WholeNumberReading {
    std::optional<std::int64_t> value;
    std::string problem;
};
WholeNumberReading readInventoryWholeNumber(std::string_view text);

}  // namespace arbora
