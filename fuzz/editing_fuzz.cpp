// The editing rules Iw, Fw.d and Aw, and layouts built of them, against fields made
// here from the rules: digits of Fw.d from the C library's exact "%.*f" (glibc rounds
// the exact binary value, ties to even).
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdio>
#include <deque>
#include <string>
#include <utility>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "report/editing.h"
#include "report/layout.h"

namespace {

using arbora::LayoutValue;

std::string rightAligned(const std::string& text, int width) {
    if (text.size() > static_cast<std::size_t>(width)) return std::string(width, '*');
    return std::string(width - text.size(), ' ') + text;
}

std::string expectedFixed(double value, int width, int decimals) {
    std::vector<char> buffer(330 + decimals);
    std::snprintf(buffer.data(), buffer.size(), "%.*f", decimals, std::fabs(value));
    std::string digits = buffer.data();
    const std::size_t point = digits.find('.');
    std::string whole = digits.substr(0, point);
    const std::string fraction = point == std::string::npos ? "" : digits.substr(point + 1);
    const bool zero = digits.find_first_not_of("0.") == std::string::npos;
    const std::string sign = value < 0 && !zero ? "-" : "";
    if (whole == "0") {  // below one: the "0" only when the field has room for it
        whole = sign.size() + 1 + fraction.size() < static_cast<std::size_t>(width) ? "0" : "";
    }
    return rightAligned(sign + whole + "." + fraction, width);
}

// Not a finite number: one of the implementer's texts, right-aligned, or asterisks.
bool isNonFiniteField(const std::string& field, double value, int width) {
    if (std::isnan(value)) return field == rightAligned("NaN", width);
    const std::string sign = value < 0 ? "-" : "";
    return field == rightAligned(sign + "Inf", width) ||
           field == rightAligned(sign + "Infinity", width);
}

double fuzzedDouble(FuzzedDataProvider& in) {
    switch (in.ConsumeIntegralInRange(0, 2)) {
        case 0:  // any bit pattern
            return std::bit_cast<double>(in.ConsumeIntegral<std::uint64_t>());
        case 1:  // a short binary fraction: exact ties
            return std::ldexp(in.ConsumeIntegral<std::int32_t>(),
                              in.ConsumeIntegralInRange(-40, 20));
        default:  // a short decimal fraction: near ties
            return in.ConsumeIntegral<std::int32_t>() /
                   std::pow(10.0, in.ConsumeIntegralInRange(0, 9));
    }
}

// formatLayout takes its values as a braced list: one call per count of values.
constexpr std::size_t maxValues = 12;
using Formatter = std::vector<std::string> (*)(std::string_view, const LayoutValue*);
template <std::size_t... I>
std::vector<std::string> formatWith(std::string_view layout, const LayoutValue* v,
                                    std::index_sequence<I...>) {
    return arbora::formatLayout(layout, {v[I]...});
}
template <std::size_t... N>
constexpr auto formatters(std::index_sequence<N...>) {
    return std::array<Formatter, sizeof...(N)>{[](std::string_view layout, const LayoutValue* v) {
        return formatWith(layout, v, std::make_index_sequence<N>{});
    }...};
}

}  // namespace

// Builds a layout item by item with its values and the expected lines, checking each
// field's editing rule on the way, then the layout as a whole.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    std::string layout;
    std::vector<LayoutValue> values;
    std::deque<std::string> texts;  // the text values, kept where they are
    std::vector<std::string> lines(1);
    while (in.remaining_bytes() > 0 && values.size() < maxValues) {
        if (!layout.empty()) layout += std::string(in.ConsumeIntegralInRange(0, 2), ' ') + ",";
        layout += std::string(in.ConsumeIntegralInRange(0, 2), ' ');
        const int kind = in.ConsumeIntegralInRange(0, 6);
        const bool wide = in.ConsumeIntegralInRange(0, 7) == 0;
        int width = in.ConsumeIntegralInRange(1, wide ? 600 : 24);
        std::string item, field, expected, shown;
        LayoutValue value;
        if (kind == 0) {
            item = std::to_string(width - 1) + "X";
            field.assign(width - 1, ' ');
        } else if (kind == 1) {
            field = in.ConsumeRandomLengthString(30);
            std::erase(field, '"');
            item = "\"" + field + "\"";
        } else if (kind == 2) {
            const auto v = in.ConsumeIntegral<std::int32_t>();
            item = "I" + std::to_string(width);
            value = v;
            field = arbora::editInteger(v, width);
            expected = rightAligned(shown = std::to_string(v), width);
        } else if (kind == 3) {
            const int decimals = in.ConsumeIntegralInRange(0, wide ? 1100 : 12);
            width = std::max(1, decimals + in.ConsumeIntegralInRange(-3, wide ? 600 : 12));
            const double v = fuzzedDouble(in);
            item = "F" + std::to_string(width) + "." + std::to_string(decimals);
            value = v;
            field = arbora::editFixed(v, width, decimals);
            expected = std::isfinite(v)                    ? expectedFixed(v, width, decimals)
                       : isNonFiniteField(field, v, width) ? field
                                                           : "(NaN or infinity)";
            char hex[40];
            std::snprintf(hex, sizeof hex, "%a", v);
            shown = hex;
        } else if (kind == 4 || kind == 5) {  // Aw, or a plain A for the whole text
            const std::string& v = texts.emplace_back(in.ConsumeRandomLengthString(40));
            shown = "\"" + v + "\"";
            item = kind == 4 ? "A" + std::to_string(width) : "A";
            value = std::string_view(v);
            field = kind == 5 ? v : arbora::editText(v, width);
            expected = kind == 5                       ? v
                       : v.size() < std::size_t(width) ? rightAligned(v, width)
                                                       : v.substr(0, width);
        } else {
            item = "/";
            lines.emplace_back();
        }
        if (kind >= 2 && kind <= 5) {
            if (kind != 5 && in.ConsumeIntegralInRange(0, 5) == 0) {  // left blank
                value = arbora::blankField;
                field.assign(width, ' ');
            } else {
                FUZZ_CHECK(field == expected, shown + " in " + item + " gives \"" + field + "\"");
            }
            values.push_back(value);
        }
        layout += item;
        lines.back() += field;
    }

    static constexpr auto format = formatters(std::make_index_sequence<maxValues + 1>{});
    FUZZ_CHECK(format[values.size()](layout, values.data()) == lines, "layout " + layout);
    return 0;
}
