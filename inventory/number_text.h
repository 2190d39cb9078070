#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace arbora {

// Appends the shortest decimal text that reads back to the same binary64 value: plain
// digits with a point where one is needed ("150", "0.125", "12.345678901234567") for
// magnitudes from 1e-6 to below 1e21, otherwise digits and an exponent ("1.5e-7").
// Infinities and not-a-number are written "inf", "-inf" and "nan".
void appendShortest(std::string& out, double value);
std::string shortestText(double value);

// The same text written at `to`; returns the end of the text. The text is at most 25
// characters, but the writer stores whole words and may scribble on the
// shortestTextSize characters from `to`, so that much room must be there.
constexpr std::size_t shortestTextSize = 48;
char* writeShortest(char* to, double value);

// The texts of the values with the separator between them (none before the first or
// after the last), as writeShortest writes each; returns the end. Needs room for
// values.size() * shortestTextSize characters. Faster than one writeShortest after
// another: the decimal digits of all the values are found before any is written.
char* writeShortestRow(char* to, std::span<const double> values, char separator);

// A count with its noun in the singular for 1 and the plural otherwise: "1 stand",
// "0 stands", "20 stands" (the plural is the singular with "s" unless given).
std::string countText(std::int64_t count, std::string_view singular, std::string_view plural = {});

}  // namespace arbora
