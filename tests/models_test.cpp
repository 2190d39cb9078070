#include <gtest/gtest.h>

#include <cmath>

#include "biomass/biomass.h"
#include "growth/growth_and_yield.h"
#include "growth/normal_stand.h"
#include "volume/site_index.h"
#include "volume/standard_volume.h"

namespace arbora {
namespace {

constexpr std::int32_t allSpecies[] = {1, 2, 3, 4};

TEST(StandardVolume, GrowsWithDiameterAndHeightOverTheTableGrid) {
    for (const auto species : allSpecies) {
        for (double d = 6; d <= 30; d += 2) {
            for (double h = 6; h <= 20; h += 2) {
                const double v = standardVolume(species, d, h);
                EXPECT_GT(v, 0.0);
                EXPECT_LT(v, 1.0);
                EXPECT_LT(v, standardVolume(species, d + 2, h)) << species << " " << d << " " << h;
                EXPECT_LT(v, standardVolume(species, d, h + 2)) << species << " " << d << " " << h;
            }
        }
    }
}

TEST(StandardVolume, TakesPiAsTheBinary32Value314InTheFormFactorEquations) {
    // Form F with the steps in their order: D^b a, H^c, H, 3.14, D, D, / 40000.
    const double D = 20, H = 15;
    double v = std::pow(D, double{-0.09214f}) * double{0.719f};
    v = std::pow(H, double{-0.03059f}) * v;
    v = v * H * double{3.14f} * D * D / 40000.0;
    EXPECT_EQ(standardVolume(1, D, H), v);
    const double withPi = v / double{3.14f} * M_PI;
    EXPECT_GT(std::fabs(standardVolume(1, D, H) - withPi), 1e-5);
    // Larix principis-ruprechtii: a power equation whose a carries the units.
    EXPECT_EQ(standardVolume(3, D, H), std::pow(H, double{1.4555372f}) *
                                           (std::pow(D, double{1.4950558f}) * double{5.445e-05f}));
}

TEST(SiteIndexHeight, IsTheSiteIndexAtAge20AndRisesWithAgeAndIndex) {
    for (const auto species : allSpecies) {
        for (int si = 8; si <= 15; ++si) {
            EXPECT_NEAR(siteIndexHeight(species, si, 20), si, 1e-6) << species;
            for (int age = 20; age < 60; age += 2) {
                EXPECT_LT(siteIndexHeight(species, si, age), siteIndexHeight(species, si, age + 2));
                EXPECT_LT(siteIndexHeight(species, si, age), siteIndexHeight(species, si + 1, age));
            }
            EXPECT_LT(siteIndexHeight(species, si, 60), 100.0);
        }
    }
}

TEST(NormalStand, TruncatesTheTreeCountAndBuildsTheVolumeOnIt) {
    for (const auto species : allSpecies) {
        for (int age = 20; age <= 80; age += 5) {
            const NormalStand s = normalStandAt(species, age).value();
            const double quotient = s.basalArea / treeBasalArea(s.diameter);
            EXPECT_EQ(s.treesPerHectare, static_cast<std::int32_t>(std::floor(quotient)));
            EXPECT_EQ(s.volume, standardVolume(species, s.diameter, s.height) * s.treesPerHectare);
        }
    }
    // Quercus aliena at 60: the quotient lies just below a whole number.
    const NormalStand q = normalStandAt(4, 60).value();
    const double quotient = q.basalArea / treeBasalArea(q.diameter);
    EXPECT_LT(std::ceil(quotient) - quotient, 0.01);
    EXPECT_EQ(q.treesPerHectare, static_cast<std::int32_t>(std::ceil(quotient)) - 1);
}

TEST(NormalStand, PinesShareTheirBasalAreaCurve) {
    // Species 1 and 2 give the same basal area at equal heights; compare via the
    // curve at each one's own height.
    const NormalStand p1 = normalStandAt(1, 40).value();
    const double h = p1.height;
    const double expected = 45.144f / (1.0 + double{3.967f} * std::exp(-double{0.185f} * h));
    EXPECT_EQ(p1.basalArea, expected);
    const NormalStand p2 = normalStandAt(2, 40).value();
    EXPECT_EQ(p2.basalArea,
              45.144f / (1.0 + double{3.967f} * std::exp(-double{0.185f} * p2.height)));
}

TEST(NormalStand, LarixApproachesItsAsymptotesSlowly) {
    const NormalStand l = normalStandAt(3, 80).value();
    EXPECT_LT(l.diameter, 30.386 * 0.9);
    EXPECT_LT(l.height, 34.309 * 0.8);
}

struct OutsideCase {
    std::int32_t species;
    std::int32_t age;
};

TEST(NormalStand, IsEmptyOutsideTheGrowthCurves) {
    const OutsideCase outside[] = {
        {1, 0}, {1, -5}, {1, 9}, {1, 10}, {2, 3},
        {2, 1}, {3, 1},  {3, 2}, {4, 0},  {4, -2147483647 - 1},
    };
    for (const auto& c : outside) {
        EXPECT_FALSE(normalStandAt(c.species, c.age).has_value()) << c.species << " " << c.age;
    }
    const OutsideCase inside[] = {{1, 11}, {2, 4}, {3, 3}, {4, 1}, {4, 1000}, {1, 2147483647}};
    for (const auto& c : inside) {
        EXPECT_TRUE(normalStandAt(c.species, c.age).has_value()) << c.species << " " << c.age;
    }
}

TEST(ProjectStand, KeepsTheRatiosToTheNormalStand) {
    StandSettings settings;
    settings.simulatingAge = settings.standAge;
    for (const auto species : allSpecies) {
        settings.species = species;
        const auto p = std::get<ProjectedStand>(projectStand(settings));
        EXPECT_DOUBLE_EQ(p.diameter, settings.averageDiameter);
        EXPECT_DOUBLE_EQ(p.height, settings.averageHeight);
        EXPECT_DOUBLE_EQ(p.volume, settings.standVolume);
        // the ratio is formed first, so the count may come back one tree short
        EXPECT_GE(p.treesPerHectare, settings.standDensity - 1);
        EXPECT_LE(p.treesPerHectare, settings.standDensity);
    }
    settings.species = 1;
    EXPECT_EQ(std::get<ProjectedStand>(projectStand(settings)).treesPerHectare, 1999);
}

TEST(ProjectStand, NamesTheFirstAgeOutsideTheCurves) {
    StandSettings settings;
    settings.standAge = 5;
    settings.simulatingAge = 0;
    EXPECT_EQ(std::get<AgeOutsideCurves>(projectStand(settings)).age, 5);
    settings.standAge = 30;
    EXPECT_EQ(std::get<AgeOutsideCurves>(projectStand(settings)).age, 0);
}

TEST(ProjectStand, HoldsAnOverlargeTreeCountAtTheEndOfTheRange) {
    StandSettings settings;
    settings.species = 4;
    settings.standAge = 80;
    settings.simulatingAge = 1;  // far more trees per hectare than at 80
    settings.standDensity = 2147483647;
    EXPECT_EQ(std::get<ProjectedStand>(projectStand(settings)).treesPerHectare, 2147483647);
    settings.standDensity = -2147483647 - 1;
    EXPECT_EQ(std::get<ProjectedStand>(projectStand(settings)).treesPerHectare, -2147483647 - 1);
}

TEST(ComponentBiomass, ScalesWithTheTreeCount) {
    for (const auto species : allSpecies) {
        const BiomassComponents none = componentBiomass(species, 20, 15, 0);
        EXPECT_EQ(none.stand, 0.0);
        EXPECT_EQ(carbonStock(none).stand, 0.0);
        const BiomassComponents one = componentBiomass(species, 20, 15, 1000);
        const BiomassComponents two = componentBiomass(species, 20, 15, 2000);
        EXPECT_EQ(two.stem, 2 * one.stem);
        EXPECT_EQ(two.root, 2 * one.root);
        EXPECT_EQ(one.stand, one.stem + one.bark + one.branch + one.foliage + one.root);
    }
}

TEST(ComponentBiomass, PinusArmandiiRootsAreTwoOrdersOfMagnitudeBelow) {
    const BiomassComponents armandii = componentBiomass(2, 20, 15, 1000);
    for (const double other : {armandii.stem, armandii.branch, armandii.foliage}) {
        EXPECT_LT(armandii.root * 10, other);
    }
    for (const auto species : {1, 3, 4}) {
        EXPECT_LT(armandii.root * 10, componentBiomass(species, 20, 15, 1000).root);
    }
}

TEST(CarbonStock, SumsTheComponentCarbons) {
    const BiomassComponents b = componentBiomass(1, 20, 15, 1000);
    const BiomassComponents c = carbonStock(b);
    EXPECT_EQ(c.stem, b.stem * double{0.4995f});
    EXPECT_EQ(c.root, b.root * double{0.4425f});
    EXPECT_EQ(c.stand, c.stem + c.bark + c.branch + c.foliage + c.root);
}

}  // namespace
}  // namespace arbora
