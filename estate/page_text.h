#pragma once

#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>

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
// Fills each {{name}} slot of the skeleton once, in the skeleton's order.
std::string fillSlots(std::string_view skeleton,
                      std::initializer_list<std::pair<std::string_view, std::string_view>> slots);

}  // namespace arbora::page
