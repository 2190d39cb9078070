#include "settings/field_reading.h"

#include <locale.h>

#include <cctype>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>

#include "text/numbers.h"

namespace arbora {
namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}
bool isSeparator(char c) {
    return isBlank(c) || c == ',' || c == '/';
}
bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

struct Token {
    FieldReading reading;
    std::string_view value;  // the characters of the value, sign included
};

// The first fieldTextLength characters of the text. A character outside ASCII is one
// UTF-8 sequence, so a text typed in the window is never cut inside a character.
std::string_view firstCharacters(std::string_view text) {
    std::size_t characters = 0;
    std::size_t i = 0;
    while (i < text.size() && characters < fieldTextLength) {
        ++i;
        while (i < text.size() && (static_cast<unsigned char>(text[i]) & 0xC0) == 0x80)
            ++i;  // continuation bytes of the same character
        ++characters;
    }
    return text.substr(0, i);
}

// Finds the value in the (cut) text, or tells why there is none.
Token findValue(std::string_view& text) {
    text = firstCharacters(text);
    std::size_t start = 0;
    while (start < text.size() && isBlank(text[start]))
        ++start;
    Token token;
    if (start == text.size()) {
        token.reading.problem = "holds no value";
        return token;
    }
    if (text[start] == ',' || text[start] == '/') {
        token.reading.outcome = FieldReading::unchanged;
        return token;
    }
    std::size_t end = start;
    while (end < text.size() && !isSeparator(text[end]))
        ++end;
    token.value = text.substr(start, end - start);
    token.reading.outcome = FieldReading::read;
    token.reading.end = end;
    return token;
}

FieldReading fail(std::string_view value, std::string_view why) {
    FieldReading reading;
    reading.problem = "\"" + std::string(value) + "\" " + std::string(why);
    return reading;
}

}  // namespace

FieldReading readField(std::string_view text, std::int32_t& value) {
    Token token = findValue(text);
    if (token.reading.outcome != FieldReading::read) return token.reading;
    const std::string_view v = token.value;

    std::size_t digits = (v.front() == '+' || v.front() == '-') ? 1 : 0;
    if (digits == v.size()) return fail(v, "has a sign but no digits");
    for (std::size_t i = digits; i < v.size(); ++i) {
        if (v[i] == '.') return fail(v, "is not a whole number: it has a decimal point");
        if (v[i] == 'E' || v[i] == 'e' || v[i] == 'D' || v[i] == 'd') {
            if (i > digits) return fail(v, "is not a whole number: it has an exponent");
        }
        if (!isDigit(v[i])) return fail(v, "is not a whole number");
    }
    std::int64_t magnitude = 0;
    for (std::size_t i = digits; i < v.size(); ++i) {
        magnitude = magnitude * 10 + (v[i] - '0');
        if (magnitude > std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1) break;
    }
    const std::int64_t signedValue = v.front() == '-' ? -magnitude : magnitude;
    if (signedValue < std::numeric_limits<std::int32_t>::min() ||
        signedValue > std::numeric_limits<std::int32_t>::max()) {
        return fail(v, "is outside the whole numbers from -2147483648 to 2147483647");
    }
    value = static_cast<std::int32_t>(signedValue);
    return token.reading;
}

FieldReading readField(std::string_view text, double& value) {
    Token token = findValue(text);
    if (token.reading.outcome != FieldReading::read) return token.reading;
    const std::string_view v = token.value;

    // sign, digits with at most one point, then an optional E or D exponent with
    // an optional sign and at least one digit
    std::size_t i = (v.front() == '+' || v.front() == '-') ? 1 : 0;
    std::string number;  // the unsigned number in the form from_chars takes
    std::size_t mantissaDigits = 0;
    bool point = false;
    for (; i < v.size(); ++i) {
        const char c = v[i];
        if (isDigit(c)) {
            ++mantissaDigits;
        } else if (c == '.' && !point) {
            point = true;
        } else {
            break;
        }
        number += c;
    }
    if (mantissaDigits == 0) return fail(v, "is not a number");
    if (i < v.size()) {
        const char marker = static_cast<char>(std::toupper(static_cast<unsigned char>(v[i])));
        if (marker != 'E' && marker != 'D') return fail(v, "is not a number");
        number += 'e';
        ++i;
        if (i < v.size() && (v[i] == '+' || v[i] == '-')) number += v[i++];
        const std::size_t exponentStart = i;
        while (i < v.size() && isDigit(v[i]))
            number += v[i++];
        if (i == exponentStart) return fail(v, "has an exponent without digits");
        if (i < v.size()) return fail(v, "is not a number");
    }

    // Beyond the largest binary64 there is no finite value, and an infinite
    // measurement means nothing.
    const auto magnitude = nearestBinary64(number);
    if (!magnitude) return fail(v, "is outside the range of numbers this program can hold");
    value = v.front() == '-' ? -*magnitude : *magnitude;
    return token.reading;
}

}  // namespace arbora
