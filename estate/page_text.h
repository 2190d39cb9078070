#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// Text of the estate pages: HTML and JSON escaping, numbers for reading, and the page
// skeleton's slots.
namespace arbora::page {

// Text for HTML text and attribute values.
std::string html(std::string_view text);
// A JSON string, safe inside a <script> element: "<" is written as \u003c.
std::string json(std::string_view text);
// A JSON number: the shortest text that reads back to the same double; null for a
// value that is not finite, which JSON cannot hold.
void appendJsonNumber(std::string& out, double value);
// A number for reading: rounded to the given decimals, thousands grouped.
std::string shown(double value, int decimals);
// Script text inlined in the page must not end its element early.
std::string inlineScript(std::string_view script);
// The pattern with each "{}" replaced by the next value (appended to `out`, or returned).
void appendFilled(std::string& out, std::string_view pattern,
                  std::initializer_list<std::string_view> values);
std::string filled(std::string_view pattern, std::initializer_list<std::string_view> values);
// Fills each {{name}} slot of the skeleton once, in the skeleton's order.
std::string fillSlots(std::string_view skeleton,
                      std::initializer_list<std::pair<std::string_view, std::string_view>> slots);

// The places of the empty words of a language's table of words, which holds
// string_views only and so can be viewed as an array of them: a test's check that a
// language is complete.
template <typename Words>
std::vector<std::size_t> emptyWords(const Words& words) {
    constexpr std::size_t count = sizeof(Words) / sizeof(std::string_view);
    static_assert(sizeof(Words) % sizeof(std::string_view) == 0);
    const auto all = std::bit_cast<std::array<std::string_view, count>>(words);
    std::vector<std::size_t> missing;
    for (std::size_t i = 0; i < count; ++i) {
        if (all[i].empty()) missing.push_back(i);
    }
    return missing;
}

}  // namespace arbora::page
