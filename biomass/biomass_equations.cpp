#include <array>
#include <cmath>

#include "biomass/biomass.h"
#include "settings/species.h"

namespace arbora {
namespace {

enum class Predictor { diameterSquaredHeight, diameter };

struct BiomassEquation {
    Predictor predictor;
    double exponent;     // b
    double logConstant;  // a, subtracted from b * ln(X)
};

// Stem and bark take D^2 H (cm2 m); branch, foliage and root take D (cm).
using SpeciesEquations = std::array<BiomassEquation, 5>;

constexpr Predictor D2H = Predictor::diameterSquaredHeight;
constexpr Predictor D = Predictor::diameter;

SpeciesEquations biomassEquations(std::int32_t species) {
    switch (species) {
        case pinusTabulaeformis:
            return {{{D2H, 1.04086f, 4.63143f},
                     {D2H, 0.77396f, 4.69348f},
                     {D, 2.57733f, 4.08026f},
                     {D, 2.57495f, 5.11712f},
                     {D, 2.28692f, 4.14198f}}};
        case pinusArmandii:
            // The root equation takes the diameter alone, with a small exponent.
            return {{{D2H, 1.02363f, 4.4997f},
                     {D2H, 0.88417f, 5.38472f},
                     {D, 2.57551f, 4.08452f},
                     {D, 2.75687f, 5.75891f},
                     {D, 0.9712f, 5.26301f}}};
        case larixPrincipisRuprechtii:
            return {{{D2H, 0.99794f, 4.29251f},
                     {D2H, 0.80398f, 4.53535f},
                     {D, 2.04597f, 2.55078f},
                     {D, 1.90488f, 3.44704f},
                     {D, 2.18625f, 3.46236f}}};
        default:  // Quercus aliena
            return {{{D2H, 0.99253f, 3.78818f},
                     {D2H, 0.75632f, 3.9245f},
                     {D, 3.49934f, 6.50726f},
                     {D, 2.29344f, 4.88581f},
                     {D, 2.76435f, 4.20817f}}};
    }
}

// t/ha of one component, from the natural logarithm of its predictor X.
double componentTonnes(const BiomassEquation& eq, double lnX, double trees) {
    const double treeKilograms = std::exp(eq.exponent * lnX - eq.logConstant);
    return treeKilograms * trees / 1000.0f;
}

double sumOfComponents(const BiomassComponents& c) {
    return c.stem + c.bark + c.branch + c.foliage + c.root;
}

}  // namespace

BiomassComponents componentBiomass(std::int32_t species, double diameter, double height,
                                   double treesPerHectare) {
    const SpeciesEquations eq = biomassEquations(species);
    // Each predictor's logarithm is taken once; the components that share it get the
    // same value they would get from taking it again.
    const double lnD2H = std::log((diameter * diameter) * height);
    const double lnD = std::log(diameter);
    const auto tonnes = [&](const BiomassEquation& e) {
        return componentTonnes(e, e.predictor == Predictor::diameterSquaredHeight ? lnD2H : lnD,
                               treesPerHectare);
    };
    BiomassComponents biomass;
    biomass.stem = tonnes(eq[0]);
    biomass.bark = tonnes(eq[1]);
    biomass.branch = tonnes(eq[2]);
    biomass.foliage = tonnes(eq[3]);
    biomass.root = tonnes(eq[4]);
    biomass.stand = sumOfComponents(biomass);
    return biomass;
}

BiomassComponents carbonStock(const BiomassComponents& biomass) {
    BiomassComponents carbon;
    carbon.stem = biomass.stem * 0.4995f;
    carbon.bark = biomass.bark * 0.4925f;
    carbon.branch = biomass.branch * 0.508f;
    carbon.foliage = biomass.foliage * 0.5145f;
    carbon.root = biomass.root * 0.4425f;
    carbon.stand = sumOfComponents(carbon);
    return carbon;
}

}  // namespace arbora
