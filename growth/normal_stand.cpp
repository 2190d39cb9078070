#include "growth/normal_stand.h"

#include <cmath>

#include "settings/species.h"
#include "volume/standard_volume.h"

namespace arbora {
namespace {

struct Curves {
    double diameter;  // cm
    double height;    // m
};

// Mean diameter and height over age A (years), per species.
Curves growthCurves(std::int32_t species, double A) {
    switch (species) {
        case pinusTabulaeformis:
            return {16.467f * std::log(A) - double{37.916f}, 2.511f * std::pow(A, double{0.422f})};
        case pinusArmandii:
            return {1.138f * std::pow(A, double{0.777f}), 4.891f * std::log(A) - double{6.148f}};
        case larixPrincipisRuprechtii:
            return {30.386f * std::exp(-17.691f / A), 34.309f * std::exp(-25.282f / A)};
        default:  // Quercus aliena
            return {0.56f * std::pow(A, double{0.952f}), 2.711f * std::pow(A, double{0.379f})};
    }
}

// Basal area (m2/ha) of the normal stand over its mean height H (m):
// G = k / (1 + m * exp(-r * H)).
double basalAreaCurve(std::int32_t species, double H) {
    double k = 45.144f, m = 3.967f, r = 0.185f;  // both pines
    if (species == larixPrincipisRuprechtii) {
        k = 60.598f, m = 7.76f, r = 0.216f;
    } else if (species == quercusAliena) {
        k = 38.203f, m = 3.674f, r = 0.197f;
    }
    return k / (1.0f + m * std::exp(-r * H));
}

bool positiveFinite(double x) {
    return std::isfinite(x) && x > 0;
}

}  // namespace

double treeBasalArea(double diameter) {
    return diameter * diameter * 3.14f / 40000.0f;
}

std::optional<NormalStand> normalStandAt(std::int32_t species, std::int32_t age) {
    if (age < 1) return std::nullopt;
    NormalStand stand;
    stand.age = age;
    const Curves curves = growthCurves(species, static_cast<double>(age));
    stand.diameter = curves.diameter;
    stand.height = curves.height;
    stand.basalArea = basalAreaCurve(species, stand.height);
    if (!positiveFinite(stand.diameter) || !positiveFinite(stand.height)) return std::nullopt;

    const double trees = stand.basalArea / treeBasalArea(stand.diameter);
    if (!(trees >= 1.0 && trees < 2147483648.0)) return std::nullopt;
    stand.treesPerHectare = static_cast<std::int32_t>(trees);  // truncation
    stand.volume = standardVolume(species, stand.diameter, stand.height) *
                   static_cast<double>(stand.treesPerHectare);
    return stand;
}

std::int32_t firstCurveAge(std::int32_t species) {
    std::int32_t age = 1;
    while (age < yieldTableLastAge && !normalStandAt(species, age))
        ++age;
    return age;
}

void writeNormalYieldTable(const StandSettings& settings, ReportChannel& channel) {
    const std::int32_t species = settings.species;
    constexpr std::string_view header =
        R"(2X, "Age", 4X, "DBH", 2X, "Height", 3X, "BasalA", 4X, "#tree", 4X, "Volume")";

    channel.openReport("normal stand yield table.txt");
    channel.writeLine(Sink::screen, header);
    channel.writeListLine(Sink::screen, "------------------------------------------------------");
    channel.writeLine(Sink::file, header);

    // A species number that names none of the four still gets every row, with its age
    // and blank fields: the table keeps its shape and nothing of an earlier run shows.
    for (std::int32_t age = yieldTableFirstAge; age <= yieldTableLastAge; age += 5) {
        constexpr std::string_view row =
            R"(2X, I3, 2X, F5.1, 3X, F5.1, 3X, F6.2, 3X, I6, 4X, F6.2)";
        if (!isKnownSpecies(species)) {
            channel.writeLine(Sink::both, row,
                              {age, blankField, blankField, blankField, blankField, blankField});
            continue;
        }
        const NormalStand stand = normalStandAt(species, age).value();
        channel.writeLine(Sink::both, row,
                          {age, stand.diameter, stand.height, stand.basalArea,
                           stand.treesPerHectare, stand.volume});
    }
    channel.closeReport();
}

}  // namespace arbora
