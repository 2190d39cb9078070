#include <gtest/gtest.h>

#include <string>

#include "text/display_width.h"

namespace arbora::text_test {
namespace {

TEST(TextColumns, FitCutsWholeCharactersAndPadsToTheColumns) {
    struct Case {
        std::string text;
        std::size_t columns;
        std::string fitted;
    } cases[] = {
        {"none", 6, "none  "},
        {"abcdef", 3, "abc"},
        {"油松间伐", 6, "油松间"},
        {"油松间伐", 5, "油松 "},  // the third character would stand half outside
        {"a油", 2, "a "},
        {"Ａ１", 4, "Ａ１"},                      // full-width forms take two columns
        {"e\u0301t\u00e9", 3, "e\u0301t\u00e9"},  // a combining accent takes none
        {"ab\xff\xfe", 4, "ab??"},                // bytes that are not UTF-8 show as one "?" each
        {"a\xe6\xb2", 3, "a??"},                  // a character cut short
        {"\xed\xa0\x80", 3, "???"},               // a surrogate is not UTF-8
        {"", 2, "  "},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(fitToColumns(c.text, c.columns), c.fitted) << c.text << " in " << c.columns;
        EXPECT_EQ(displayWidth(c.fitted), c.columns) << c.text;
    }
}

}  // namespace
}  // namespace arbora::text_test
