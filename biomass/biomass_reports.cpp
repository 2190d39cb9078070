#include <string_view>

#include "biomass/biomass.h"
#include "growth/growth_and_yield.h"
#include "growth/normal_stand.h"
#include "settings/species.h"

namespace arbora {

void writeBiomassTable(const StandSettings& settings, ReportChannel& channel) {
    const std::int32_t species = settings.species;

    channel.openReport("biomass table.txt");
    for (const Sink sink : {Sink::screen, Sink::file}) {
        channel.writeLine(sink, R"(2X, "Age", 4X, "DBH", 3X, "Height", 3X, "Stem", 3X, "Bark",)"
                                R"( 2X, "Branch", 2X, "Foliage", 2X, "Root", 3X, "Stand")");
        channel.writeListLine(
            sink, "--------------------------------------------------------------------");
    }

    // A species number that names none of the four still gets every row, with its age
    // and blank fields.
    for (std::int32_t age = 20; age <= 80; age += 5) {
        constexpr std::string_view row =
            R"(2X, I3, 2X, F5.1, 3X, F5.1, 3X, F5.1, 2X, F5.1, 2X, F5.1, 3X, F5.1, 3X, F5.1, 2X, F6.1)";
        if (!isKnownSpecies(species)) {
            channel.writeLine(Sink::both, row,
                              {age, blankField, blankField, blankField, blankField, blankField,
                               blankField, blankField, blankField});
            continue;
        }
        const NormalStand stand = normalStandAt(species, age).value();
        // The table keeps the fraction of the tree count: G / g, not the whole count.
        const double trees = stand.basalArea / treeBasalArea(stand.diameter);
        const BiomassComponents b = componentBiomass(species, stand.diameter, stand.height, trees);
        channel.writeLine(Sink::both, row,
                          {age, stand.diameter, stand.height, b.stem, b.bark, b.branch, b.foliage,
                           b.root, b.stand});
    }
    channel.closeReport();
}

void runBiomassAndCarbon(const StandSettings& settings, ReportChannel& channel) {
    const auto projected = startSimulation(settings, channel, R"(/, A40, /, A36, /, A40)",
                                           "Simulation -- Biomass and carbon", "Sim2.txt");
    if (!projected) {
        channel.closeReport();
        return;
    }
    const BiomassComponents biomass =
        componentBiomass(settings.species, projected->diameter, projected->height,
                         static_cast<double>(projected->treesPerHectare));
    const BiomassComponents carbon = carbonStock(biomass);

    for (const Sink sink : {Sink::screen, Sink::file}) {
        channel.writeLine(sink, R"(2X, "At", 2X, I3, 2X, "years")", {projected->age});
        channel.writeLine(sink, R"(2X, "Biomass of stem:", 2X, F6.1, 2X, "t/ha")", {biomass.stem});
        channel.writeLine(sink, R"(2X, "Biomass of bark:", 2X, F6.1, 2X, "t/ha")", {biomass.bark});
        channel.writeLine(sink, R"(2X, "Biomass of branch:", F6.1, 2X, "t/ha")", {biomass.branch});
        channel.writeLine(sink, R"(2X, "Biomass of foliage:", F5.1, 2X, "t/ha")",
                          {biomass.foliage});
        channel.writeLine(sink, R"(2X, "Biomass of root:", 2X, F6.1, 2X, "t/ha")", {biomass.root});
        channel.writeLine(sink, R"(2X, "Biomass of stand:", F7.1, 2X, "t/ha")", {biomass.stand});
    }
    for (const Sink sink : {Sink::screen, Sink::file}) {
        channel.writeLine(sink, R"(/, 2X, "Carbon of stem:", 2X, F6.1, 2X, "t/ha")", {carbon.stem});
        channel.writeLine(sink, R"(2X, "Carbon of bark:", 2X, F6.1, 2X, "t/ha")", {carbon.bark});
        channel.writeLine(sink, R"(2X, "Carbon of branch:", F6.1, 2X, "t/ha")", {carbon.branch});
        channel.writeLine(sink, R"(2X, "Carbon of foliage:", F5.1, 2X, "t/ha")", {carbon.foliage});
        channel.writeLine(sink, R"(2X, "Carbon of root:", 2X, F6.1, 2X, "t/ha")", {carbon.root});
        channel.writeLine(sink, R"(2X, "Carbon of stand:", F7.1, 2X, "t/ha")", {carbon.stand});
    }
    channel.closeReport();
}

}  // namespace arbora
