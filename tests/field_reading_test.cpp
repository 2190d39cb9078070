#include "settings/field_reading.h"

#include <gtest/gtest.h>

namespace arbora::field_reading_test {
namespace {

constexpr std::int32_t untouched = 424242;

struct IntegerCase {
    const char* text;
    FieldReading::Outcome outcome;
    std::int32_t value;  // the value afterwards
};

TEST(ReadIntegerField, FollowsTheFieldReadingRules) {
    const IntegerCase cases[] = {
        {"20", FieldReading::read, 20},
        {"+20", FieldReading::read, 20},
        {"-3", FieldReading::read, -3},
        {"    1", FieldReading::read, 1},
        {"7", FieldReading::read, 7},
        {"-5", FieldReading::read, -5},
        {"0", FieldReading::read, 0},
        {"2 3", FieldReading::read, 2},  // text after the first value is ignored
        {"12,5", FieldReading::read, 12},
        {"12/5", FieldReading::read, 12},
        {"2147483647", FieldReading::read, 2147483647},
        {"-2147483648", FieldReading::read, -2147483647 - 1},
        {"0000000000000000042", FieldReading::read, 42},
        // only the first 20 characters count
        {"                   9", FieldReading::read, 9},
        {"                    9", FieldReading::failed, untouched},
        {"                 123456", FieldReading::read, 123},
        {"1234567890123456789012345", FieldReading::failed, untouched},
        // an empty value keeps what was there
        {",", FieldReading::unchanged, untouched},
        {"   , 5", FieldReading::unchanged, untouched},
        {"/", FieldReading::unchanged, untouched},
        // unreadable
        {"", FieldReading::failed, untouched},
        {"     ", FieldReading::failed, untouched},
        {"x", FieldReading::failed, untouched},
        {"2.5", FieldReading::failed, untouched},
        {"2E1", FieldReading::failed, untouched},
        {"+", FieldReading::failed, untouched},
        {"--1", FieldReading::failed, untouched},
        {"12a", FieldReading::failed, untouched},
        {"2147483648", FieldReading::failed, untouched},
        {"-2147483649", FieldReading::failed, untouched},
        {"99999999999999999999", FieldReading::failed, untouched},
    };
    for (const auto& c : cases) {
        std::int32_t value = untouched;
        const FieldReading reading = readField(c.text, value);
        EXPECT_EQ(reading.outcome, c.outcome) << '"' << c.text << '"';
        EXPECT_EQ(value, c.value) << '"' << c.text << '"';
        EXPECT_EQ(reading.problem.empty(), c.outcome != FieldReading::failed) << c.text;
    }
}

struct RealCase {
    const char* text;
    FieldReading::Outcome outcome;
    double value;
};

TEST(ReadRealField, FollowsTheFieldReadingRules) {
    const double kept = -777.0;
    const RealCase cases[] = {
        {"150", FieldReading::read, 150.0},
        {"150.", FieldReading::read, 150.0},
        {"1.5E2", FieldReading::read, 150.0},
        {"1.5e2", FieldReading::read, 150.0},
        {"1.5D2", FieldReading::read, 150.0},
        {"15D+1", FieldReading::read, 150.0},
        {".5", FieldReading::read, 0.5},
        {"-.5", FieldReading::read, -0.5},
        {"+7.26", FieldReading::read, 7.26},
        {"  12.0", FieldReading::read, 12.0},
        {"7.26 cm", FieldReading::read, 7.26},
        {"0.1", FieldReading::read, 0.1},  // the nearest binary64 value
        {"1E-2", FieldReading::read, 0.01},
        {",", FieldReading::unchanged, kept},
        {"/", FieldReading::unchanged, kept},
        {"", FieldReading::failed, kept},
        {"abc", FieldReading::failed, kept},
        {".", FieldReading::failed, kept},
        {"E2", FieldReading::failed, kept},
        {"1.5E", FieldReading::failed, kept},
        {"1.5E+", FieldReading::failed, kept},
        {"1.2.3", FieldReading::failed, kept},
        {"1e999", FieldReading::failed, kept},
        {"-1D400", FieldReading::failed, kept},
        // below the smallest binary64 the nearest value is zero
        {"1e-400", FieldReading::read, 0.0},
        {"-2D-359", FieldReading::read, -0.0},
        {"4.9E-324", FieldReading::read, 4.9406564584124654e-324},
        {"12x", FieldReading::failed, kept},
    };
    for (const auto& c : cases) {
        double value = kept;
        const FieldReading reading = readField(c.text, value);
        EXPECT_EQ(reading.outcome, c.outcome) << '"' << c.text << '"';
        EXPECT_EQ(value, c.value) << '"' << c.text << '"';
    }
}

TEST(ReadField, ProblemNamesWhatIsWrong) {
    std::int32_t whole = 0;
    EXPECT_NE(readField("2.5", whole).problem.find("decimal point"), std::string::npos);
    EXPECT_NE(readField("2E5", whole).problem.find("exponent"), std::string::npos);
    EXPECT_NE(readField("   ", whole).problem.find("no value"), std::string::npos);
    EXPECT_NE(readField("3000000000", whole).problem.find("outside"), std::string::npos);
    double real = 0;
    EXPECT_NE(readField("x1", real).problem.find("\"x1\""), std::string::npos);
    // Text typed in the window is quoted as typed; a character outside ASCII counts
    // as one of the 20.
    EXPECT_NE(readField("\uFF13", whole).problem.find("\"\uFF13\""), std::string::npos);
    std::string twenty;
    for (int i = 0; i < 20; ++i)
        twenty += "\u20AC";
    EXPECT_NE(readField(twenty + "9", real).problem.find("\"" + twenty + "\""), std::string::npos);
}

}  // namespace
}  // namespace arbora::field_reading_test
