// The shortest round-trip writer against the routine it replaced (kept in
// number_text_reference.h), byte for byte, one value at a time and a row at a time.
// 100,000 values of each kind by default; ARBORA_LONG_CHECKS=1 runs tens of millions.

#include "inventory/number_text.h"

#include <gtest/gtest.h>

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "inventory/projection.h"
#include "number_text_reference.h"

namespace arbora::number_text_test {
namespace {

std::size_t valuesPerKind() {
    const char* longChecks = std::getenv("ARBORA_LONG_CHECKS");
    return longChecks && std::string_view(longChecks) == "1" ? 20'000'000 : 100'000;
}

std::string referenceText(double value) {
    char text[32];
    return {text, reference::writeShortest(text, value)};
}

// Checks each value alone (and that nothing past the writer's room is touched), then
// the values as rows of 1 to 70 values, crossing the writer's batches.
void expectSameText(const std::vector<double>& values) {
    constexpr char untouched = '\x7f';
    for (const double value : values) {
        char text[shortestTextSize + 8];
        std::memset(text, untouched, sizeof text);
        const std::string expected = referenceText(value);
        ASSERT_EQ(std::string(text, writeShortest(text, value)), expected)
            << std::bit_cast<std::uint64_t>(value);
        ASSERT_EQ(std::string(text + shortestTextSize, 8), std::string(8, untouched));
    }
    std::vector<char> row;
    for (std::size_t first = 0, length = 1; first < values.size(); first += length) {
        length = std::min(1 + first % 70, values.size() - first);
        std::string expected;
        for (std::size_t i = first; i < first + length; ++i)
            expected += (i > first ? ";" : "") + referenceText(values[i]);
        row.assign(length * shortestTextSize, untouched);
        char* end = writeShortestRow(row.data(), {values.data() + first, length}, ';');
        ASSERT_EQ(std::string(row.data(), end), expected) << "row from value " << first;
    }
}

// The significant digits of the shortest text that reads back to value.
std::string significantDigits(std::string_view text) {
    std::string digits;
    for (const char c : text.substr(0, text.find('e')))
        if (c >= '0' && c <= '9') digits += c;
    digits.erase(0, std::min(digits.find_first_not_of('0'), digits.size()));
    digits.erase(digits.find_last_not_of('0') + 1);
    return digits;
}

// The writer takes its digits from fmt's internal Dragonbox; the C++ library's public
// std::to_chars finds the same shortest digits, so a change in fmt shows here.
TEST(ShortestTextAgainstPublicDigits, RandomBitPatterns) {
    std::mt19937_64 random(9);
    for (std::size_t i = 0; i < 100'000; ++i) {
        const double value = std::bit_cast<double>(random());
        if (!std::isfinite(value) || value == 0) continue;
        char library[64];
        const auto end =
            std::to_chars(library, library + sizeof library, value, std::chars_format::scientific)
                .ptr;
        const std::string ours = shortestText(value);
        ASSERT_EQ(significantDigits(ours), significantDigits({library, end})) << ours;
        double back = 0;
        std::from_chars(ours.data(), ours.data() + ours.size(), back);
        ASSERT_EQ(std::bit_cast<std::uint64_t>(back), std::bit_cast<std::uint64_t>(value));
    }
}

TEST(ShortestTextAgainstReference, EdgeCases) {
    constexpr double max = std::numeric_limits<double>::max();
    constexpr double tiny = std::numeric_limits<double>::denorm_min();
    constexpr double smallestNormal = std::numeric_limits<double>::min();
    std::vector<double> edges = {0.0,
                                 -0.0,
                                 tiny,
                                 -tiny,
                                 std::nextafter(smallestNormal, 0.0),
                                 smallestNormal,
                                 max,
                                 -max,
                                 std::numeric_limits<double>::infinity(),
                                 -std::numeric_limits<double>::infinity(),
                                 std::numeric_limits<double>::quiet_NaN(),
                                 -std::numeric_limits<double>::quiet_NaN(),
                                 0.1 + 0.2,
                                 9007199254740992.0,
                                 9007199254740994.0,
                                 123456789012345680.0,
                                 1.5e-7,
                                 9.99999e-7,
                                 1.000001e-6,
                                 9.9999999999999987e20,
                                 1.0000000000000001e21,
                                 99999999999999999999.0};
    // Each power of ten the binary64 range holds, its neighbours, and nearby shapes of
    // digits: one digit, seventeen digits, a whole part of every length.
    for (int e = -324; e <= 308; ++e) {
        for (const char* digits : {"1", "9.999999999999999", "1.2345678901234567", "5"}) {
            const std::string text = std::string(digits) + "e" + std::to_string(e);
            double power = 0;
            std::from_chars(text.data(), text.data() + text.size(), power);
            for (const double v : {power, std::nextafter(power, 0.0), std::nextafter(power, max)})
                edges.insert(edges.end(), {v, -v});
        }
    }
    for (int whole = 0; whole <= 1000; ++whole)
        edges.push_back(whole);
    expectSameText(edges);
}

TEST(ShortestTextAgainstReference, RandomBitPatterns) {
    std::mt19937_64 random(20261208);
    std::vector<double> values(valuesPerKind());
    for (double& v : values)
        v = std::bit_cast<double>(random());
    expectSameText(values);
}

// Numbers of 1 to 17 significant digits with exponents over every way of writing them.
TEST(ShortestTextAgainstReference, RandomDecimals) {
    std::mt19937_64 random(17);
    std::vector<double> values(valuesPerKind());
    for (double& v : values) {
        const int digits = 1 + static_cast<int>(random() % 17);
        std::string text = std::to_string(random() % 100000000000000000ULL).substr(0, digits);
        text += "e" + std::to_string(static_cast<int>(random() % 60) - 30);
        std::from_chars(text.data(), text.data() + text.size(), v);
    }
    expectSameText(values);
}

TEST(ShortestTextAgainstReference, ProjectionValues) {
    std::mt19937 random(3);
    std::uniform_real_distribution<double> unit(0.5, 1.5);
    const std::vector<std::int32_t> years = {0, 10, 20, 30, 40, 50};
    InventoryProjector projector;
    std::vector<double> values;
    while (values.size() < valuesPerKind()) {
        InventoryStand stand;
        stand.species = 1 + static_cast<std::int32_t>(random() % 4);
        stand.standAge = 10 + static_cast<std::int32_t>(random() % 60);
        stand.averageDiameter = 15 * unit(random);
        stand.averageHeight = 11 * unit(random);
        stand.standDensity = static_cast<std::int32_t>(1500 * unit(random));
        stand.standVolume = 150 * unit(random);
        const auto rows = projector.project(stand, years);
        if (rows.index() != 0) continue;
        for (const ProjectionRow& r : std::get<0>(rows)) {
            values.insert(values.end(),
                          {r.averageDiameter, r.averageHeight, r.standVolume, r.biomass.stem,
                           r.biomass.bark, r.biomass.branch, r.biomass.foliage, r.biomass.root,
                           r.biomass.stand, r.carbon.stem, r.carbon.bark, r.carbon.branch,
                           r.carbon.foliage, r.carbon.root, r.carbon.stand, r.co2e});
        }
    }
    expectSameText(values);
}

}  // namespace
}  // namespace arbora::number_text_test
