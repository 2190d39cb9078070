#include "growth/growth_and_yield.h"

#include <cmath>
#include <string>

#include "growth/normal_stand.h"
#include "report/report_lines.h"
#include "settings/species.h"

namespace arbora {
namespace {

// A tree count from a product that may lie beyond what a count can hold.
std::int32_t wholeTrees(double trees) {
    if (trees >= 2147483647.0) return 2147483647;
    if (trees <= -2147483648.0) return -2147483647 - 1;
    return static_cast<std::int32_t>(trees);  // truncation
}

}  // namespace

std::variant<ProjectedStand, AgeOutsideCurves> projectStand(const StandSettings& settings) {
    const auto normal1 = normalStandAt(settings.species, settings.standAge);
    if (!normal1) return AgeOutsideCurves{settings.standAge};
    const auto normal2 = normalStandAt(settings.species, settings.simulatingAge);
    if (!normal2) return AgeOutsideCurves{settings.simulatingAge};
    return projectStandFrom(settings, *normal1, *normal2);
}

ProjectedStand projectStandFrom(const StandSettings& settings, const NormalStand& normal1,
                                const NormalStand& normal2) {
    const double rD = settings.averageDiameter / normal1.diameter;
    const double rH = settings.averageHeight / normal1.height;
    const double rN =
        static_cast<double>(settings.standDensity) / static_cast<double>(normal1.treesPerHectare);
    const double rV = settings.standVolume / normal1.volume;

    ProjectedStand stand;
    stand.age = settings.simulatingAge;
    stand.diameter = normal2.diameter * rD;
    stand.height = normal2.height * rH;
    stand.treesPerHectare = wholeTrees(static_cast<double>(normal2.treesPerHectare) * rN);
    stand.volume = normal2.volume * rV;
    return stand;
}

std::optional<ProjectedStand> startSimulation(const StandSettings& settings, ReportChannel& channel,
                                              std::string_view bannerLayout, std::string_view title,
                                              const std::string& fileName) {
    constexpr std::string_view stars = "***************************************";
    channel.writeLine(Sink::screen, bannerLayout, {stars, title, stars});

    channel.openReport(fileName);
    if (!isKnownSpecies(settings.species)) {
        writeUnknownSpecies(channel, settings.species);
        return std::nullopt;
    }
    writeSpeciesHeading(channel, settings.species);

    const auto projection = projectStand(settings);
    if (const auto* outside = std::get_if<AgeOutsideCurves>(&projection)) {
        const std::string text = "Age " + std::to_string(outside->age) +
                                 " is outside the growth curves of this species.";
        channel.writeLine(Sink::both, R"(2X, A)", {text});
        return std::nullopt;
    }
    return std::get<ProjectedStand>(projection);
}

void runGrowthAndYield(const StandSettings& settings, ReportChannel& channel) {
    const auto projected = startSimulation(settings, channel, R"(/, A40, /, A31, /, A40)",
                                           " Simulation -- Growth and yield", "Sim1.txt");
    if (projected) {
        for (const Sink sink : {Sink::screen, Sink::file}) {
            channel.writeLine(sink, R"(2X, "At", 2X, I3, 2X, "years")", {projected->age});
            channel.writeLine(sink, R"(2X, "Stand average diameter = ", F5.1, 2X, "cm")",
                              {projected->diameter});
            channel.writeLine(sink, R"(2X, "Stand average height = ", F5.1, 2X, "m")",
                              {projected->height});
            channel.writeLine(sink, R"(2X, "Stand density = ", I6, 2X, "trees/ha")",
                              {projected->treesPerHectare});
            channel.writeLine(sink, R"(2X, "Stand volume = ", F7.1, 2X, "m3/ha")",
                              {projected->volume});
        }
    }
    channel.closeReport();
}

}  // namespace arbora
