// The integer and real field readers against values found here from the field reading
// rules, converted by the C library (strtoll, strtod in the "C" locale).
#include <algorithm>
#include <bit>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "fuzz/fuzz_check.h"
#include "settings/field_reading.h"

namespace {

using arbora::FieldReading;

// The bytes of the first 20 characters, each a UTF-8 sequence; npos when the text is
// not made of whole sequences (no dialog gives such a text).
std::size_t firstTwentyCharacters(const std::string& text) {
    std::size_t cut = std::string::npos, at = 0;
    for (int characters = 0; at < text.size(); ++characters) {
        if (characters == 20) cut = at;
        const int ones = std::countl_one(static_cast<unsigned char>(text[at]));
        const std::size_t length = ones == 0 ? 1 : ones >= 2 && ones <= 4 ? ones : 0;
        if (length == 0 || at + length > text.size()) return std::string::npos;
        for (std::size_t k = 1; k < length; ++k) {
            if (std::countl_one(static_cast<unsigned char>(text[at + k])) != 1)
                return std::string::npos;
        }
        at += length;
    }
    return std::min(cut, text.size());
}

// The index after the digits from i on, or npos when there are none.
std::size_t afterDigits(const std::string& v, std::size_t i) {
    const std::size_t start = i;
    while (i < v.size() && v[i] >= '0' && v[i] <= '9')
        ++i;
    return i > start ? i : std::string::npos;
}

std::size_t afterSign(const std::string& v, std::size_t i) {
    return i < v.size() && (v[i] == '+' || v[i] == '-') ? i + 1 : i;
}

// An optional sign, digits with at most one point among or around them, then an
// optional exponent: E, e, D or d, an optional sign, digits.
bool isRealText(const std::string& v) {
    std::size_t i = afterSign(v, 0);
    int digits = 0, points = 0;
    for (; i < v.size() && (std::isdigit(static_cast<unsigned char>(v[i])) || v[i] == '.'); ++i)
        ++(v[i] == '.' ? points : digits);
    if (digits == 0 || points > 1) return false;
    if (i == v.size()) return true;
    if (std::strchr("EeDd", v[i]) == nullptr || v[i] == '\0') return false;
    return afterDigits(v, afterSign(v, i + 1)) == v.size();
}

std::string show(const std::string& text) {
    std::string shown = "text \"";
    for (const unsigned char c : text) {
        char escaped[8];
        std::snprintf(escaped, sizeof escaped, c >= 0x20 && c < 0x7F ? "%c" : "\\x%02X", c);
        shown += escaped;
    }
    return shown + "\"";
}

// Reads the text with readField and compares with the outcome, value and end expected.
template <typename T>
void compare(const std::string& text, FieldReading::Outcome outcome, T expected, std::size_t end) {
    const T kept = T(-7777);
    T value = kept;
    const FieldReading r = arbora::readField(text, value);
    if (outcome != FieldReading::read) expected = kept;
    FUZZ_CHECK(r.outcome == outcome, show(text));
    FUZZ_CHECK(r.problem.empty() == (outcome != FieldReading::failed), show(text));
    FUZZ_CHECK(std::memcmp(&value, &expected, sizeof value) == 0,  // -0.0 is not 0.0
               show(text) + " gives " + std::to_string(value));
    FUZZ_CHECK(outcome != FieldReading::read || r.end == end, show(text));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::size_t length = firstTwentyCharacters(text);
    if (length == std::string::npos) {  // only the sanitizers watch
        std::int32_t whole = 0;
        double real = 0;
        arbora::readField(text, whole);
        arbora::readField(text, real);
        return 0;
    }

    // Blanks skipped; "," or "/" first keeps the value; it ends at a blank, "," or "/".
    const std::size_t start = std::min(text.find_first_not_of(" \t"), length);
    const auto outcome = start == length                            ? FieldReading::failed
                         : text[start] == ',' || text[start] == '/' ? FieldReading::unchanged
                                                                    : FieldReading::read;
    const std::size_t end = std::min(text.find_first_of(" \t,/", start), length);
    const std::string v = outcome == FieldReading::read ? text.substr(start, end - start) : "";

    // Integer: an optional sign, then digits, within the 32-bit range.
    errno = 0;
    const long long whole = std::strtoll(v.c_str(), nullptr, 10);
    const bool isWhole = afterDigits(v, afterSign(v, 0)) == v.size() && errno != ERANGE &&
                         whole >= INT32_MIN && whole <= INT32_MAX;
    compare<std::int32_t>(text,
                          isWhole || outcome != FieldReading::read ? outcome : FieldReading::failed,
                          static_cast<std::int32_t>(isWhole ? whole : 0), end);

    // Real: the nearest binary64; refused beyond the largest, zero below the smallest.
    std::string number = v;
    std::replace_if(
        number.begin(), number.end(), [](char c) { return c == 'D' || c == 'd'; }, 'E');
    const double real = std::strtod(number.c_str(), nullptr);  // never calls setlocale: "C"
    const bool isReal = isRealText(v) && !std::isinf(real);
    compare<double>(text, isReal || outcome != FieldReading::read ? outcome : FieldReading::failed,
                    real, end);
    return 0;
}
