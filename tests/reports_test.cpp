#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "commands/report_commands.h"
#include "test_support.h"

namespace arbora::reports_test {
namespace {

using testing::fileLines;

// One run of a report command: its screen lines, its file lines, and for each screen
// line how many file lines had been written before it.
struct ReportRun {
    std::vector<std::string> screen;
    std::vector<std::string> file;
    std::vector<std::size_t> fileLinesAtScreen;
};

using testing::reportShapes;

class Reports : public testing::InTempDir {
  protected:
    ReportRun run(std::string_view command, const StandSettings& settings) {
        const std::string fileName = testing::reportFileOf(command);
        ReportRun result;
        ReportChannel channel([&](std::string_view line) {
            result.screen.emplace_back(line);
            const bool open = std::filesystem::exists(fileName);
            result.fileLinesAtScreen.push_back(open ? fileLines(fileName).size() : 0);
        });
        for (const auto& c : reportCommands()) {
            if (c.name == command) c.run(settings, channel);
        }
        result.file = fileLines(fileName);
        return result;
    }

    static StandSettings ofSpecies(std::int32_t species) {
        StandSettings settings;
        settings.species = species;
        return settings;
    }
};

TEST_F(Reports, EveryCommandIsInTheCatalogueWithItsMenuEntry) {
    ASSERT_EQ(reportCommands().size(), std::size(reportShapes));
    for (std::size_t i = 0; i < std::size(reportShapes); ++i) {
        EXPECT_EQ(reportCommands()[i].name, reportShapes[i].command);
        EXPECT_EQ(reportCommands()[i].menuLabel.front(), '&');
    }
}

TEST_F(Reports, ScreenAndFileGetTheSameCharactersButForScreenOnlyLines) {
    for (const auto& shape : reportShapes) {
        for (const std::int32_t species : {1, 2, 3, 4, 0}) {
            const ReportRun r = run(shape.command, ofSpecies(species));
            std::vector<std::string> screen = r.screen;
            if (shape.command == "growth-and-yield" || shape.command == "biomass-and-carbon") {
                screen.erase(screen.begin(), screen.begin() + 4);  // the banner
            } else if (shape.command == "normal-yield-table") {
                screen.erase(screen.begin() + 1);  // the rule line
            }
            EXPECT_EQ(screen, r.file) << shape.command << " species " << species;
        }
    }
}

TEST_F(Reports, WriteEachRowToTheScreenThenTheFile) {
    // Rows of the tables alternate screen, file; the yield table's file has no rule.
    const ReportRun yield = run("normal-yield-table", ofSpecies(1));
    for (std::size_t row = 0; row < 13; ++row) {
        EXPECT_EQ(yield.fileLinesAtScreen[2 + row], 1 + row) << "row " << row;
    }
    // The simulations write a whole block to the screen before the file.
    const ReportRun sim = run("biomass-and-carbon", ofSpecies(1));
    const std::vector<std::size_t> expected = {0, 0, 0, 0,            // banner
                                               0, 0,                  // species heading, one write
                                               2, 2, 2, 2, 2, 2, 2,   // age and biomass
                                               9, 9, 9, 9, 9, 9, 9};  // carbon
    EXPECT_EQ(sim.fileLinesAtScreen, expected);
    // Quercus aliena's assortment tables go to the screen whole, then to the file.
    const ReportRun merchantable = run("merchantable-volume-table", ofSpecies(4));
    EXPECT_EQ(merchantable.fileLinesAtScreen[3], 3u);
    EXPECT_EQ(merchantable.fileLinesAtScreen[13], 13u);
    EXPECT_EQ(merchantable.fileLinesAtScreen[19], 19u);
}

TEST_F(Reports, AnUnknownSpeciesKeepsTheRowsOrGetsOneMessageLine) {
    const std::string unknown =
        "  Unknown tree species 7: choose 1 to 4 in Settings, Tree species.";
    struct Case {
        std::string_view command;
        std::size_t fileLines;
        std::string lastLine;  // the message, or the last row: its age, blank fields
    };
    const Case cases[] = {
        {"normal-yield-table", 14, "   80" + std::string(43, ' ')},
        {"biomass-table", 15, "   80" + std::string(61, ' ')},
        {"merchantable-volume-table", 3, " " + std::string(61, '-')},
        {"site-index-table", 3, unknown},
        {"standard-volume-table", 3, unknown},
        {"growth-and-yield", 1, unknown},
        {"biomass-and-carbon", 1, unknown},
    };
    for (const auto& c : cases) {
        // A valid run first: nothing of it may show in the next run.
        run(c.command, ofSpecies(1));
        const ReportRun r = run(c.command, ofSpecies(7));
        ASSERT_EQ(r.file.size(), c.fileLines) << c.command;
        EXPECT_EQ(r.file.back(), c.lastLine) << c.command;
        EXPECT_EQ(r.screen.back(), c.lastLine) << c.command;
    }
    const ReportRun huge = run("site-index-table", ofSpecies(-2147483647 - 1));
    EXPECT_EQ(huge.file.back(),
              "  Unknown tree species -2147483648: choose 1 to 4 in Settings, Tree species.");
}

TEST_F(Reports, SimulationsIgnoreSiteClassAndBiomassIgnoresStandVolume) {
    StandSettings changed;
    changed.siteClass = 3;
    changed.standVolume = 999;
    const StandSettings defaults;
    EXPECT_EQ(run("biomass-and-carbon", changed).file, run("biomass-and-carbon", defaults).file);
    changed.standVolume = defaults.standVolume;
    EXPECT_EQ(run("growth-and-yield", changed).file, run("growth-and-yield", defaults).file);
}

}  // namespace
}  // namespace arbora::reports_test
