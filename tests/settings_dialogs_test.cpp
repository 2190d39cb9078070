#include "commands/settings_dialogs.h"

#include <gtest/gtest.h>

#include <map>

namespace arbora::settings_dialogs_test {
namespace {

using Texts = std::map<int, std::string>;

Texts shown(const std::vector<FieldText>& fields) {
    Texts texts;
    for (const auto& f : fields)
        texts[f.id] = f.text;
    return texts;
}

FieldTextSource from(const Texts& texts) {
    return [&texts](int id) { return texts.at(id); };
}

TEST(SettingsDialogs, StoreAnyWholeNumberAsSpeciesAndReadTheFirstValueOnly) {
    DialogCopies copies;
    StandSettings settings;
    struct Case {
        const char* text;
        std::int32_t species;
        const char* shownNext;
    };
    const Case cases[] = {
        {"7", 7, "    7"}, {"2 3", 2, "    2"}, {",", 2, "    2"}, {"-123456", -123456, "*****"}};
    for (const auto& c : cases) {
        const Texts texts = {{treeSpeciesField, c.text}};
        EXPECT_FALSE(acceptTreeSpecies(from(texts), copies, settings)) << c.text;
        EXPECT_EQ(settings.species, c.species) << c.text;
        EXPECT_EQ(treeSpeciesFields(copies).at(0).text, c.shownNext) << c.text;
    }
    // A field left with the asterisks it was shown keeps the value too wide to show.
    const Texts asterisks = {{treeSpeciesField, "*****"}};
    EXPECT_FALSE(acceptTreeSpecies(from(asterisks), copies, settings));
    EXPECT_EQ(settings.species, -123456);
}

TEST(SettingsDialogs, StoreNothingWhileAnyFieldCannotBeRead) {
    DialogCopies copies;
    StandSettings settings;
    Texts texts = shown(standConditionFields(copies));
    texts[siteClassField] = "3";
    texts[standAgeField] = "-5";
    texts[standDensityField] = "0";
    texts[standVolumeField] = "lots";  // read last
    const auto rejection = acceptStandCondition(from(texts), copies, settings);
    ASSERT_TRUE(rejection);
    EXPECT_EQ(rejection->id, standVolumeField);
    EXPECT_EQ(rejection->label, "Stand volume");
    EXPECT_NE(rejection->message().find("Stand volume"), std::string::npos);
    EXPECT_NE(rejection->message().find("\"lots\""), std::string::npos);
    EXPECT_EQ(settings.siteClass, 1);
    EXPECT_EQ(copies.siteClass, 1);
    EXPECT_EQ(standConditionFields(copies).at(1).text, "   20");

    texts[standVolumeField] = "150";
    EXPECT_FALSE(acceptStandCondition(from(texts), copies, settings));
    EXPECT_EQ(settings.siteClass, 3);
    EXPECT_EQ(settings.standAge, -5);
    EXPECT_EQ(settings.standDensity, 0);
}

}  // namespace
}  // namespace arbora::settings_dialogs_test
