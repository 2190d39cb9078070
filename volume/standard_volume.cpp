#include "volume/standard_volume.h"

#include <array>
#include <cmath>

#include "report/report_lines.h"
#include "settings/species.h"

namespace arbora {
namespace {

// V = a * D^b * H^c, either as a form factor times the tree's basal area (form F:
// V = 3.14 / 40000 * D^2 * H * f with f = a * D^b * H^c) or directly (form P, whose
// a already carries the units).
struct VolumeEquation {
    bool formFactor;
    double a;
    double b;  // exponent of the diameter
    double c;  // exponent of the height
};

VolumeEquation volumeEquation(std::int32_t species) {
    switch (species) {
        case pinusTabulaeformis:
            return {true, 0.719f, -0.09214f, -0.03059f};
        case pinusArmandii:
            return {true, 0.686f, -0.186f, 0.105f};
        case larixPrincipisRuprechtii:
            return {false, 5.445e-05f, 1.4950558f, 1.4555372f};
        default:
            return {true, 0.7277f, -0.16639f, 0.01493f};  // Quercus aliena
    }
}

}  // namespace

double standardVolume(std::int32_t species, double diameter, double height) {
    const VolumeEquation eq = volumeEquation(species);
    const double t = std::pow(diameter, eq.b) * eq.a;
    double v = std::pow(height, eq.c) * t;
    if (!eq.formFactor) return v;
    v = v * height;
    v = v * double{3.14f};  // pi as the foresters' tables take it
    v = v * diameter;
    v = v * diameter;
    return v / double{40000.0f};  // cm2 to m2
}

void writeStandardVolumeTable(const StandSettings& settings, ReportChannel& channel) {
    const std::int32_t species = settings.species;
    const double baseHeight = 6.0f;
    constexpr std::array<float, 8> heightSteps = {0, 2, 4, 6, 8, 10, 12, 14};

    channel.openReport("standard volume table.txt");
    channel.writeLine(
        Sink::both,
        R"(6X, "Height", 1X, F5.1, 3X, F5.1, 3X, F5.1, 3X, F5.1, 3X, F5.1, 3X, F5.1,)"
        R"( 3X, F5.1, 3X, F5.1)",
        {baseHeight + heightSteps[0], baseHeight + heightSteps[1], baseHeight + heightSteps[2],
         baseHeight + heightSteps[3], baseHeight + heightSteps[4], baseHeight + heightSteps[5],
         baseHeight + heightSteps[6], baseHeight + heightSteps[7]});
    channel.writeLine(
        Sink::both,
        R"(2X, "Diameter----------------------------------------------------------------")");

    if (!isKnownSpecies(species)) {
        writeUnknownSpecies(channel, species);
    } else {
        double diameter = 6.0f;
        for (int row = 0; row < 13; ++row) {
            std::array<double, 8> v;
            for (std::size_t k = 0; k < v.size(); ++k) {
                v[k] = standardVolume(species, diameter, baseHeight + heightSteps[k]);
            }
            channel.writeLine(Sink::both,
                              R"(3X, F5.1, 4X, F6.4, 2X, F6.4, 2X, F6.4, 2X, F6.4, 2X, F6.4,)"
                              R"( 2X, F6.4, 2X, F6.4, 2X, F6.4)",
                              {diameter, v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7]});
            diameter = diameter + 2.0f;
        }
    }
    channel.closeReport();
}

}  // namespace arbora
