#pragma once

#include <string>

namespace arbora {

// Appends the shortest decimal text that reads back to the same binary64 value: plain
// digits with a point where one is needed ("150", "0.125", "12.345678901234567") for
// magnitudes from 1e-6 to below 1e21, otherwise digits and an exponent ("1.5e-7").
// Infinities and not-a-number are written "inf", "-inf" and "nan".
void appendShortest(std::string& out, double value);
std::string shortestText(double value);

// The same text written at `to`, which has room for shortestTextSize characters;
// returns the end of the text.
constexpr std::size_t shortestTextSize = 32;
char* writeShortest(char* to, double value);

}  // namespace arbora
