#include "report/editing.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <stdexcept>

#include "report/layout.h"

namespace arbora::editing_test {
namespace {

struct IntegerCase {
    std::int32_t value;
    int width;
    const char* field;
};

TEST(EditInteger, RightAlignsSignsAndOverflows) {
    const IntegerCase cases[] = {
        {25, 3, " 25"},
        {0, 3, "  0"},
        {-3, 3, " -3"},
        {12345, 4, "****"},
        {-100, 3, "***"},
        {-99, 3, "-99"},
        {1, 5, "    1"},
        {2000, 5, " 2000"},
        {99999, 5, "99999"},
        {100000, 5, "*****"},
        {-2147483647 - 1, 11, "-2147483648"},
        {-2147483647 - 1, 10, "**********"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(editInteger(c.value, c.width), c.field) << c.value << " in I" << c.width;
    }
}

struct FixedCase {
    double value;
    int width;
    int decimals;
    const char* field;
};

TEST(EditFixed, RoundsTheExactBinaryValueAndPlacesTheZero) {
    const double inf = std::numeric_limits<double>::infinity();
    const FixedCase cases[] = {
        // exact ties go to the even digit; other values round from their binary value
        {0.25, 4, 1, " 0.2"},
        {0.75, 4, 1, " 0.8"},
        {0.05, 5, 1, "  0.1"},   // the binary value lies just above 0.05
        {2.675, 5, 2, " 2.67"},  // the binary value lies just below 2.675
        {0.125, 6, 2, "  0.12"},
        {0.375, 6, 2, "  0.38"},
        // the leading zero is dropped only when the field has no room for it
        {0.5, 6, 4, "0.5000"},
        {-0.5, 6, 4, "-.5000"},
        {0.5, 5, 4, ".5000"},
        {-0.5, 5, 4, "*****"},
        {0.0, 5, 1, "  0.0"},
        {0.96, 5, 1, "  1.0"},
        // plain values, negatives, overflow
        {12.0, 6, 1, "  12.0"},
        {-12.3, 5, 1, "-12.3"},
        {9999.94, 6, 1, "9999.9"},
        {9999.95, 6, 1, "******"},  // rounds to ten thousand: seven columns
        {1e300, 8, 1, "********"},
        {150.0, 6, 1, " 150.0"},
        // a negative value that rounds to zero carries no sign
        {-0.01, 5, 1, "  0.0"},
        {-0.0, 5, 1, "  0.0"},
        {-0.04, 3, 1, "0.0"},
        // not a finite number
        {std::nan(""), 5, 1, "  NaN"},
        {std::nan(""), 2, 1, "**"},
        {inf, 8, 1, "Infinity"},
        {inf, 7, 1, "    Inf"},
        {-inf, 9, 1, "-Infinity"},
        {-inf, 8, 1, "    -Inf"},
        {-inf, 3, 1, "***"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(editFixed(c.value, c.width, c.decimals), c.field)
            << c.value << " in F" << c.width << "." << c.decimals;
    }
}

TEST(EditFixed, HoldsAnyWidthAndNumberOfDecimals) {
    // The exact value of the smallest binary64 has 1074 decimals; beyond them zeros.
    const std::string tiny = editFixed(4.9406564584124654e-324, 1200, 1100);
    EXPECT_EQ(tiny.substr(0, 98), std::string(98, ' '));
    EXPECT_EQ(tiny.substr(98, 327), "0." + std::string(323, '0') + "49");
    EXPECT_EQ(tiny.substr(1200 - 29), "625" + std::string(26, '0'));
    EXPECT_EQ(editFixed(1.5, 600, 3), std::string(595, ' ') + "1.500");
    EXPECT_EQ(editFixed(1.5, 3, 3), "***");
    EXPECT_EQ(editFixed(1.5, -4, 1), "");
}

TEST(EditText, RightAlignsShortTextAndCutsLongText) {
    EXPECT_EQ(editText(std::string(39, '*'), 40), " " + std::string(39, '*'));
    EXPECT_EQ(editText("abc", 3), "abc");
    EXPECT_EQ(editText("abcdef", 3), "abc");
    EXPECT_EQ(editText("", 2), "  ");
}

struct LayoutCase {
    const char* layout;
    std::initializer_list<LayoutValue> values;
    std::vector<std::string> lines;
};

TEST(FormatLayout, AppliesItemsLeftToRight) {
    const LayoutCase cases[] = {
        {R"(2X, I3)", {25}, {"   25"}},  // no trailing blank after the last item
        {R"(/, 2X, "Quercus aliena:")", {}, {"", "  Quercus aliena:"}},
        {R"(/, A40, /, A31)",
         {"***", " Simulation"},
         {"", std::string(37, ' ') + "***", std::string(20, ' ') + " Simulation"}},
        {R"(2X, "a, b", 1X, F5.2)", {1.5}, {"  a, b  1.50"}},  // a comma inside a literal
        {R"(2X, A, "!")", {"whole text"}, {"  whole text!"}},
        {R"("x", /, /)", {}, {"x", "", ""}},
        {R"(3X,I2,F4.1)", {7, 2.25}, {"    7 2.2"}},
        // a blank field keeps the width of its item, trailing blanks included
        {R"(2X, I3, 2X, F5.1, A3)", {20, blankField, blankField}, {"   20" + std::string(10, ' ')}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(formatLayout(c.layout, c.values), c.lines) << c.layout;
    }
}

TEST(FormatLayout, RejectsLayoutsThatDoNotMatchTheirValues) {
    const LayoutCase faults[] = {
        {R"(I3)", {}, {}},      // too few values
        {R"(I3)", {1, 2}, {}},  // too many values
        {R"(I3)", {1.0}, {}},   // wrong kind
        {R"(F5)", {1.0}, {}},   // no decimals
        {R"(2X "a")", {}, {}},  // missing comma
        {R"("open)", {}, {}},   // unclosed literal
        {R"(Q3)", {}, {}},      // unknown item
    };
    for (const auto& c : faults) {
        EXPECT_THROW(formatLayout(c.layout, c.values), std::logic_error) << c.layout;
    }
}

}  // namespace
}  // namespace arbora::editing_test
