#include "estate/page_text.h"

#include <cmath>

#include "inventory/number_text.h"
#include "report/editing.h"

namespace arbora::page {

// Text for HTML text and attribute values.
std::string html(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\'':
                out += "&#39;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

// A JSON string, safe inside a <script> element: "<" is written as \u003c.
std::string json(std::string_view text) {
    std::string out = "\"";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (byte < 0x20 || c == '<') {
            constexpr char hex[] = "0123456789abcdef";
            out += "\\u00";
            out += hex[byte >> 4];
            out += hex[byte & 15];
        } else {
            out += c;
        }
    }
    return out + "\"";
}

// A JSON number: the shortest text that reads back to the same double; null for a
// value that is not finite, which JSON cannot hold.
void appendJsonNumber(std::string& out, double value) {
    if (!std::isfinite(value)) {
        out += "null";
        return;
    }
    appendShortest(out, value);
}

// A number for reading: rounded to the given decimals, thousands grouped.
std::string shown(double value, int decimals) {
    if (!std::isfinite(value)) return "–";
    const std::string field = editFixed(value, 40, decimals);
    std::string text = field.substr(field.find_first_not_of(' '));
    if (decimals == 0) text.pop_back();  // the point of "Fw.0"
    const std::size_t digitsStart = text.front() == '-' ? 1 : 0;
    std::size_t point = text.find('.');
    if (point == std::string::npos) point = text.size();
    for (std::size_t i = point; i > digitsStart + 3; i -= 3) {
        text.insert(i - 3, ",");
    }
    return text;
}

// Script text inlined in the page must not end its element early.
std::string inlineScript(std::string_view script) {
    std::string out(script);
    for (std::size_t at = out.find("</"); at != std::string::npos; at = out.find("</", at + 3)) {
        out.replace(at, 2, "<\\/");
    }
    return out;
}

// Fills each {{name}} slot of the skeleton once, in the skeleton's order.
std::string fillSlots(std::string_view skeleton,
                      std::initializer_list<std::pair<std::string_view, std::string_view>> slots) {
    std::string page;
    for (const auto& [name, value] : slots) {
        const std::string slot = "{{" + std::string(name) + "}}";
        const auto at = skeleton.find(slot);
        if (at == std::string_view::npos) continue;
        page += skeleton.substr(0, at);
        page += value;
        skeleton.remove_prefix(at + slot.size());
    }
    return page + std::string(skeleton);
}

void appendFilled(std::string& out, std::string_view pattern,
                  std::initializer_list<std::string_view> values) {
    for (const std::string_view value : values) {
        const auto at = pattern.find("{}");
        if (at == std::string_view::npos) break;
        out += pattern.substr(0, at);
        out += value;
        pattern.remove_prefix(at + 2);
    }
    out += pattern;
}

std::string filled(std::string_view pattern, std::initializer_list<std::string_view> values) {
    std::string out;
    appendFilled(out, pattern, values);
    return out;
}

}  // namespace arbora::page
