// The duplicate-id table: first lines kept, ids told apart by every byte and by length,
// and nothing lost as the table grows.

#include "inventory/stand_ids.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace arbora::stand_ids_test {
namespace {

TEST(StandIds, KeepTheFirstLineOfEachId) {
    struct Step {
        std::string id;
        std::int64_t line;
        std::optional<std::int64_t> first;  // what add returns
    };
    const std::string high = "\x80\xff\x01\x7f";
    const Step steps[] = {
        {"a", 2, {}},
        {"a", 3, 2},
        {"ab", 4, {}},  // a longer id with the same
                        // start
        {"A", 5, {}},
        {"", 6, {}},  // the empty id is an id like any other
        {"", 7, 6},
        {"12345678", 8, {}},  // a whole word, then a word and one byte more
        {"123456789", 9, {}},
        {"12345679", 10, {}},
        {high, 11, {}},
        {high + "x", 12, {}},
        {high, 13, 11},
        {"a b", -1, {}},
        {"a b", 14, -1},
        {"12345678", 15, 8},
    };
    StandIds ids;
    for (const Step& step : steps)
        EXPECT_EQ(ids.add(step.id, step.line), step.first) << '"' << step.id << '"';
    EXPECT_EQ(ids.size(), 10u);
    for (const char* absent : {"b", "a ", "1234567", "1234567890", "\x80"})
        EXPECT_FALSE(ids.contains(absent)) << absent;
    EXPECT_TRUE(ids.contains(high + "x"));
}

// Past many doublings of the table, every id keeps its line and no other id is found.
TEST(StandIds, GrowWithoutLosingAnId) {
    const auto idOf = [](int i) {
        std::string id = "stand " + std::to_string(i);
        id.append(static_cast<std::size_t>(i % 23), static_cast<char>(1 + i % 255));
        return id;
    };
    constexpr int count = 100000;  // the table doubles about 13 times
    StandIds ids;
    for (int i = 0; i < count; ++i)
        ASSERT_EQ(ids.add(idOf(i), i), std::nullopt) << i;
    EXPECT_EQ(ids.size(), std::size_t{count});
    for (int i = 0; i < count; ++i) {
        ASSERT_TRUE(ids.contains(idOf(i))) << i;
        ASSERT_FALSE(ids.contains(idOf(i) + "?")) << i;
        ASSERT_EQ(ids.add(idOf(i), count + i), i) << i;
    }
    EXPECT_EQ(ids.size(), std::size_t{count});
}

}  // namespace
}  // namespace arbora::stand_ids_test
