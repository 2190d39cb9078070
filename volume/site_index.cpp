#include "volume/site_index.h"

#include <array>
#include <cmath>

#include "report/report_lines.h"
#include "settings/species.h"

namespace arbora {
namespace {

// Slope b of the site index curve.
double siteCurveSlope(std::int32_t species) {
    switch (species) {
        case pinusTabulaeformis:
            return 15.986f;
        case pinusArmandii:
            return 14.039f;
        case larixPrincipisRuprechtii:
            return 8.72f;
        default:
            return 14.002f;  // Quercus aliena
    }
}

}  // namespace

double siteIndexHeight(std::int32_t species, double siteIndex, std::int32_t age) {
    double x = double{1.0f} / static_cast<double>(age);
    x = double{0.05f} - x;  // 0.05 is 1 / reference age 20
    x = x * siteCurveSlope(species);
    const double y = std::exp(x);
    return y * siteIndex;
}

void writeSiteIndexTable(const StandSettings& settings, ReportChannel& channel) {
    const std::int32_t species = settings.species;

    channel.openReport("site index table.txt");
    channel.writeLine(Sink::both, R"(6X, "SI", 4X, "8", 6X, "9", 5X, "10", 5X, "11", 5X, "12",)"
                                  R"( 5X, "13", 5X, "14", 5X, "15")");
    channel.writeLine(Sink::both,
                      R"(2X, "Age----------------------------------------------------------")");

    if (!isKnownSpecies(species)) {
        writeUnknownSpecies(channel, species);
    } else {
        std::int32_t age = 20;
        for (int row = 0; row < 21; ++row) {
            std::array<double, 8> h;
            for (std::size_t k = 0; k < h.size(); ++k) {
                h[k] = siteIndexHeight(species, static_cast<double>(8 + k), age);
            }
            channel.writeLine(Sink::both,
                              R"(2X, I3, 4X, F5.2, 2X, F5.2, 2X, F5.2, 2X, F5.2, 2X, F5.2,)"
                              R"( 2X, F5.2, 2X, F5.2, 2X, F5.2)",
                              {age, h[0], h[1], h[2], h[3], h[4], h[5], h[6], h[7]});
            age += 2;
        }
    }
    channel.closeReport();
}

}  // namespace arbora
