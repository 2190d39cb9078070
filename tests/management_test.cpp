// Scenarios: the thinning rule to the bit, clear-felling and regeneration, the baseline
// against the untreated projection, the treatments file's rules, and the run's outputs.

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <fstream>
#include <random>
#include <sstream>

#include "accounting/wood_products.h"
#include "growth/growth_and_yield.h"
#include "management/assortments.h"
#include "management/scenario_projection.h"
#include "management/treatments.h"
#include "run/inventory_run.h"
#include "test_support.h"

namespace arbora::management_test {
namespace {

using testing::query;

const InventoryStand pine{"P", 1, {}, 30, 20.0, 12.0, 1000, 200.0, 2.5, 2};

ScenarioProjection projected(const InventoryStand& stand, const std::vector<Treatment>& list,
                             const std::vector<std::int32_t>& years) {
    InventoryProjector projector;
    std::vector<const Treatment*> treatments;
    for (const Treatment& t : list)
        treatments.push_back(&t);
    auto result = projectScenario(projector, stand, treatments, years, "s");
    if (const auto* problem = std::get_if<Problem>(&result)) {
        ADD_FAILURE() << problem->message;
        return {};
    }
    return std::get<ScenarioProjection>(result);
}

Treatment thinning(std::int32_t year, ThinningIntensity intensity, double amount, double q) {
    Treatment t;
    t.year = year, t.intensity = intensity, t.amount = amount, t.quotient = q;
    return t;
}

Treatment clearFelling(std::optional<std::int32_t> year, std::optional<std::int32_t> age,
                       std::optional<std::int32_t> planted, double stocking = 100) {
    Treatment t;
    t.action = TreatmentAction::clearcut;
    t.year = year, t.age = age, t.regenerate = planted, t.stocking = stocking;
    return t;
}

void expectNear(const BiomassComponents& a, const BiomassComponents& b, const char* what) {
    for (const auto& [x, y] : {std::pair{a.stem, b.stem},
                               {a.bark, b.bark},
                               {a.branch, b.branch},
                               {a.foliage, b.foliage},
                               {a.root, b.root},
                               {a.stand, b.stand}}) {
        EXPECT_NEAR(x, y, 1e-12 * std::fabs(y)) << what;
    }
}

// The thinned stand of year 5, worked out by hand from the untreated stand of that year:
// n trees removed, p = n / N, b = p q q, D' = D sqrt((1 - b) / (1 - p)), V' = V (1 - b).
TEST(Thinning, LeavesTheStandOfTheStandLevelRuleToTheBit) {
    const ProjectionRow before = projected(pine, {}, {5}).rows[0];
    const double N = before.standDensity;
    struct Case {
        Treatment treatment;
        std::int32_t removed;  // trees
    };
    const Case cases[] = {
        {thinning(5, ThinningIntensity::removeTrees, 25, 0.8),
         static_cast<std::int32_t>(std::trunc(N * 25 / 100))},
        {thinning(5, ThinningIntensity::removeBasalArea, 30, 1.2),
         static_cast<std::int32_t>(std::trunc(N * ((30.0 / 100) / (1.2 * 1.2))))},
        {thinning(5, ThinningIntensity::residualDensity, 600, 1.0), before.standDensity - 600},
    };
    for (const Case& c : cases) {
        const double q = c.treatment.quotient;
        const ScenarioProjection s = projected(pine, {c.treatment}, {5, 10});
        ASSERT_EQ(s.removals.size(), 1u);
        const double p = c.removed / N;
        const double b = p * q * q;
        const ProjectionRow& after = s.rows[0];
        EXPECT_EQ(after.standDensity, before.standDensity - c.removed) << q;
        EXPECT_EQ(after.averageDiameter, before.averageDiameter * std::sqrt((1 - b) / (1 - p)));
        EXPECT_EQ(after.averageHeight, before.averageHeight);
        EXPECT_EQ(after.standVolume, before.standVolume * (1 - b));

        // Standing before = standing after + removed; the assortments hold the volume.
        const Removal& r = s.removals[0];
        EXPECT_EQ(r.trees, c.removed);
        EXPECT_EQ(r.volume, before.standVolume - after.standVolume);
        const auto& a = r.assortments;
        EXPECT_NEAR(a.roughTimber + a.timberMachining + a.fuelWood + a.wasteWood + a.unsorted,
                    r.volume, 1e-12 * r.volume);
        BiomassComponents sum = after.biomass;
        for (auto [x, y] : {std::pair{&sum.stem, r.biomass.stem},
                            {&sum.bark, r.biomass.bark},
                            {&sum.branch, r.biomass.branch},
                            {&sum.foliage, r.biomass.foliage},
                            {&sum.root, r.biomass.root},
                            {&sum.stand, r.biomass.stand}}) {
            *x += y;
        }
        expectNear(sum, before.biomass, "biomass");
        EXPECT_EQ(r.co2e, carbonDioxideEquivalent(r.carbon.stand));

        // Year 10 grows on from the thinned stand by the simulation's own projection.
        StandSettings from;
        from.species = 1, from.standAge = 35, from.simulatingAge = 40;
        from.averageDiameter = after.averageDiameter, from.averageHeight = after.averageHeight;
        from.standDensity = after.standDensity, from.standVolume = after.standVolume;
        const auto grown = std::get<ProjectedStand>(projectStand(from));
        EXPECT_EQ(s.rows[1].averageDiameter, grown.diameter);
        EXPECT_EQ(s.rows[1].standDensity, grown.treesPerHectare);
        EXPECT_EQ(s.rows[1].standVolume, grown.volume);
    }
}

TEST(ClearFelling, LeavesNothingAndThePlantedCohortEntersAtAge20) {
    const std::vector<std::int32_t> years = {4, 5, 24, 25, 30};
    const ScenarioProjection s = projected(pine, {clearFelling(5, {}, 3, 80)}, years);
    const NormalStand larch = *normalStandAt(3, 20);
    ASSERT_EQ(s.removals.size(), 1u);
    EXPECT_EQ(s.removals[0].volume, projected(pine, {}, {5}).rows[0].standVolume);
    EXPECT_TRUE(s.removals[0].regenerated);
    for (const std::size_t y : {1u, 2u}) {
        EXPECT_EQ(s.rows[y].standVolume, 0);
        EXPECT_EQ(s.rows[y].carbon.stand, 0);
        EXPECT_EQ(s.rows[y].species, 3);
        EXPECT_EQ(s.rows[y].age, years[y] - 5);  // years since the felling
    }
    EXPECT_EQ(s.rows[3].age, 20);
    EXPECT_EQ(s.rows[3].averageDiameter, larch.diameter);
    EXPECT_EQ(s.rows[3].standDensity,
              static_cast<std::int32_t>(std::trunc(larch.treesPerHectare * 80.0 / 100)));
    EXPECT_EQ(s.rows[3].standVolume, larch.volume * 80 / 100);
    EXPECT_GT(s.rows[4].standVolume, s.rows[3].standVolume);
}

// A felling at an age repeats with every cohort that reaches it; without planting the
// stand stays empty and a later thinning cannot be carried out.
TEST(ClearFelling, RepeatsEachRotationAndCannotBeFollowedByNothing) {
    const ScenarioProjection s = projected(pine, {clearFelling({}, 40, 1)}, {100});
    std::vector<std::int32_t> felled;
    for (const Removal& r : s.removals) {
        felled.push_back(r.year);
        EXPECT_EQ(r.age, 40);
    }
    EXPECT_EQ(felled, (std::vector<std::int32_t>{10, 50, 90}));

    InventoryProjector projector;
    const Treatment fell = clearFelling(3, {}, {});
    const Treatment thin = thinning(8, ThinningIntensity::removeTrees, 10, 0.8);
    const auto problem =
        std::get<Problem>(projectScenario(projector, pine, {&fell, &thin}, {10}, "s"));
    EXPECT_NE(problem.message.find("at year 8 cannot be carried out: nothing stands to thin"),
              std::string::npos)
        << problem.message;
}

Treatment byAge(TreatmentAction action, std::int32_t age, std::optional<std::int32_t> until = {}) {
    Treatment t;
    t.action = action, t.age = age, t.untilAge = until;
    t.amount = 30, t.quotient = 0.8, t.regenerateSame = action == TreatmentAction::clearcut;
    return t;
}

// A row by age falls due at the first year the cohort is at least that old, once per
// cohort: a stand past the age at year 0 is treated at year 1, one planted and younger
// than 20 when the models take it up at 20; until_age closes the window.
TEST(TreatmentsByAge, FallDueOnceACohortIsThatOldAndNotTreatedYet) {
    using A = TreatmentAction;
    struct Case {
        std::int32_t standAge;
        std::vector<Treatment> treatments;
        std::vector<std::pair<std::int32_t, std::int32_t>> done;  // year, age
        std::int32_t overdue;
    };
    const Case cases[] = {
        {59, {byAge(A::clearcut, 60)}, {{1, 60}, {61, 60}}, 0},
        {60, {byAge(A::clearcut, 60)}, {{1, 61}, {61, 60}}, 1},
        {61, {byAge(A::clearcut, 60)}, {{1, 62}, {61, 60}}, 1},
        {30, {byAge(A::thin, 20)}, {{1, 31}}, 1},  // once per cohort
        {30, {byAge(A::thin, 15, 25)}, {}, 0},     // past the window
        {24, {byAge(A::thin, 15, 25)}, {{1, 25}}, 1},
        // Planted at year 10: the thinning at 15 is carried out at 20, each rotation.
        {50,
         {byAge(A::clearcut, 60), byAge(A::thin, 15, 25)},
         {{10, 60}, {30, 20}, {70, 60}, {90, 20}},
         0},
    };
    for (const Case& c : cases) {
        InventoryStand stand = pine;
        stand.standAge = c.standAge;
        const ScenarioProjection s = projected(stand, c.treatments, {0, 100});
        std::vector<std::pair<std::int32_t, std::int32_t>> done;
        for (const Removal& r : s.removals)
            done.emplace_back(r.year, r.age);
        EXPECT_EQ(done, c.done) << c.standAge;
        EXPECT_EQ(s.overdue, c.overdue) << c.standAge;
    }
}

// A thinning that takes no whole tree is not carried out, and counted; a regeneration
// that plants no whole tree is refused.
TEST(Thinning, OfNoWholeTreeIsNotCarriedOut) {
    const ScenarioProjection s =
        projected(pine, {thinning(5, ThinningIntensity::removeTrees, 0.001, 0.8)}, {5, 10});
    EXPECT_TRUE(s.removals.empty());
    EXPECT_EQ(s.emptyThinnings, 1);
    const ScenarioProjection untreated = projected(pine, {}, {5, 10});
    EXPECT_EQ(s.rows[1].standVolume, untreated.rows[1].standVolume);

    InventoryProjector projector;
    const Treatment fell = clearFelling(3, {}, 1, 0.01);
    const auto problem = std::get<Problem>(projectScenario(projector, pine, {&fell}, {30}, "s"));
    EXPECT_NE(problem.message.find("plants no whole tree"), std::string::npos) << problem.message;
}

TEST(Thinning, ThatCannotBeCarriedOutNamesItsReason) {
    struct Case {
        Treatment treatment;
        const char* reason;
    };
    const Case cases[] = {
        {thinning(2, ThinningIntensity::removeBasalArea, 70, 0.8), "remove every tree"},
        {thinning(2, ThinningIntensity::residualDensity, 5000, 0.8), "is not below"},
        {thinning(2, ThinningIntensity::removeTrees, 99, 1.2), "all the basal area"},
    };
    for (const Case& c : cases) {
        InventoryProjector projector;
        const auto result = projectScenario(projector, pine, {&c.treatment}, {5}, "s");
        ASSERT_TRUE(std::holds_alternative<Problem>(result)) << c.reason;
        EXPECT_NE(std::get<Problem>(result).message.find(c.reason), std::string::npos)
            << std::get<Problem>(result).message;
    }
}

// Every component of a biomass or carbon value, in order.
std::array<double, 6> componentsOf(const BiomassComponents& b) {
    return {b.stem, b.bark, b.branch, b.foliage, b.root, b.stand};
}

// Over the four species, ages across the curves, the three methods and intensities from
// 5 to 95 percent by each measure: a thinning carried out removes nothing negative and
// leaves no component above what stood; one refused says why in a forester's words.
TEST(Thinning, NeverLeavesMoreThanStoodOrRemovesANegativeAmount) {
    const std::string refusedForBiomassReason =
        "the mean-tree model does not hold at this intensity: remove less, or fell";
    const std::string reasons[] = {"remove every tree", "all the basal area", "is not below",
                                   refusedForBiomassReason};
    int refusedForBiomass = 0;
    for (std::int32_t species = 1; species <= 4; ++species) {
        for (std::int32_t age = 20; age <= 140; age += 15) {
            const auto normal = normalStandAt(species, age);
            if (!normal) continue;
            const InventoryStand stand{"S",
                                       species,
                                       {},
                                       age,
                                       normal->diameter,
                                       normal->height,
                                       normal->treesPerHectare,
                                       normal->volume,
                                       1,
                                       {}};
            InventoryProjector projector;
            const auto untreated = projector.project(stand, {1});
            if (untreated.index() != 0) continue;
            const ProjectionRow before = std::get<0>(untreated)[0];
            for (const double q : {0.8, 1.0, 1.2}) {
                for (int percent = 5; percent <= 95; percent += 5) {
                    for (const auto intensity :
                         {ThinningIntensity::removeTrees, ThinningIntensity::removeBasalArea,
                          ThinningIntensity::residualDensity}) {
                        const double amount =
                            intensity == ThinningIntensity::residualDensity
                                ? std::trunc(before.standDensity * (100.0 - percent) / 100)
                                : percent;
                        const Treatment t = thinning(1, intensity, amount, q);
                        const auto result = projectScenario(projector, stand, {&t}, {1}, "s");
                        const std::string where = std::to_string(species) + " age " +
                                                  std::to_string(age) + " q " + std::to_string(q) +
                                                  " " + std::to_string(percent) + "%";
                        if (const auto* refused = std::get_if<Problem>(&result)) {
                            const bool named = std::any_of(
                                std::begin(reasons), std::end(reasons), [&](const std::string& r) {
                                    return refused->message.find(r) != std::string::npos;
                                });
                            EXPECT_TRUE(named) << where << ": " << refused->message;
                            refusedForBiomass +=
                                refused->message.find("mean-tree") != std::string::npos;
                            continue;
                        }
                        const auto& s = std::get<ScenarioProjection>(result);
                        const ProjectionRow& after = s.rows[0];
                        EXPECT_LE(after.standVolume, before.standVolume) << where;
                        for (const Removal& r : s.removals) {
                            EXPECT_GE(r.trees, 0) << where;
                            EXPECT_GE(r.volume, 0) << where;
                            EXPECT_GE(r.co2e, 0) << where;
                            for (const double v : componentsOf(r.biomass))
                                EXPECT_GE(v, 0) << where;
                            for (const double v : componentsOf(r.carbon))
                                EXPECT_GE(v, 0) << where;
                            for (const double v : routeRemoval(r, defaultProductsSettings()))
                                EXPECT_GE(v, 0) << where;
                        }
                        const auto a = componentsOf(after.biomass),
                                   b = componentsOf(before.biomass);
                        for (std::size_t c = 0; c < a.size(); ++c)
                            EXPECT_LE(a[c], b[c]) << where;
                    }
                }
            }
        }
    }
    EXPECT_GT(refusedForBiomass, 0);  // the heavy thinnings from below of the oak
}

// Every field of a row, doubles by their bits.
std::vector<std::uint64_t> bitsOf(const ProjectionRow& r) {
    std::vector<std::uint64_t> bits = {std::uint64_t(r.year), std::uint64_t(r.age),
                                       std::uint64_t(r.species), std::uint64_t(r.standDensity)};
    for (const double v : {r.averageDiameter, r.averageHeight, r.standVolume, r.biomass.stem,
                           r.biomass.bark, r.biomass.branch, r.biomass.foliage, r.biomass.root,
                           r.biomass.stand, r.carbon.stem, r.carbon.bark, r.carbon.branch,
                           r.carbon.foliage, r.carbon.root, r.carbon.stand, r.co2e}) {
        bits.push_back(std::bit_cast<std::uint64_t>(v));
    }
    return bits;
}

// Without treatments a scenario is the untreated projection, bit for bit.
TEST(Scenarios, BaselineIsTheUntreatedProjectionBitForBit) {
    std::mt19937 random(7);
    std::uniform_real_distribution<double> unit(0.5, 1.5);
    const std::vector<std::int32_t> years = {0, 1, 7, 10, 50, 120};
    for (int i = 0; i < 400; ++i) {
        InventoryStand stand;
        stand.standId = "s";
        stand.species = 1 + i % 4;
        stand.standAge = 12 + i % 70;
        stand.averageDiameter = 15 * unit(random);
        stand.averageHeight = 11 * unit(random);
        stand.standDensity = static_cast<std::int32_t>(1500 * unit(random));
        stand.standVolume = 150 * unit(random);
        InventoryProjector a, b;
        const auto untreated = a.project(stand, years);
        const auto scenario = projectScenario(b, stand, {}, years, "none");
        ASSERT_EQ(untreated.index(), scenario.index()) << i;
        if (untreated.index() != 0) continue;
        const auto& x = std::get<0>(untreated);
        const auto& y = std::get<ScenarioProjection>(scenario).rows;
        ASSERT_EQ(x.size(), y.size());
        for (std::size_t k = 0; k < x.size(); ++k)
            ASSERT_EQ(bitsOf(x[k]), bitsOf(y[k])) << i << " year " << years[k];
    }
}

TEST(Assortments, SortTheRemovedVolumeByTheRowOfItsDiameterClass) {
    struct Case {
        std::int32_t species, outputClass;
        double diameter;
        AssortmentVolumes expected;  // of 100 m3
    };
    const Case cases[] = {
        {1, 1, 22.9, {40, 39, 9, 12, 0}},  // class 22
        {1, 1, 23.0, {37, 43, 7, 13, 0}},  // class 24
        {1, 1, 80.0, {13, 71, 2, 14, 0}},  // above the largest class
        {1, 1, 20.9, {0, 0, 0, 0, 100}},   // below the smallest class
        {3, 1, 25.0, {0, 0, 0, 0, 100}},   // no table for the larch
        {4, 3, 18.0, {15, 5, 61, 19, 0}},  // output class III
        {2, 1, 24.0, {3700 / 90.0, 2100 / 90.0, 2200 / 90.0, 1000 / 90.0, 0}},  // sums to 90
    };
    for (const Case& c : cases) {
        const AssortmentVolumes v = sortIntoAssortments(c.species, c.outputClass, c.diameter, 100);
        EXPECT_NEAR(v.roughTimber, c.expected.roughTimber, 1e-12) << c.diameter;
        EXPECT_NEAR(v.timberMachining, c.expected.timberMachining, 1e-12) << c.diameter;
        EXPECT_NEAR(v.fuelWood, c.expected.fuelWood, 1e-12) << c.diameter;
        EXPECT_NEAR(v.wasteWood, c.expected.wasteWood, 1e-12) << c.diameter;
        EXPECT_EQ(v.unsorted, c.expected.unsorted) << c.diameter;
    }
}

class Treatments : public testing::InTempDir {};

constexpr std::string_view treatmentsHeader =
    "scenario,stand_id,species,year,age,action,remove_trees,remove_basal_area,"
    "residual_density,method,quotient,regenerate,regeneration_stocking\n";

TEST_F(Treatments, RejectEveryRowThatBreaksARule) {
    struct Case {
        const char* row;
        const char* column;
        const char* reason;
    };
    const Case cases[] = {
        {",,,5,,thin,10,,,,,,", "scenario", "is empty"},
        {"None,,,5,,thin,10,,,,,,", "scenario", "\"None\" is reserved for the untreated baseline"},
        {"a,P,1,5,,thin,10,,,,,,", "species",
         "narrows only a treatment of every stand (an empty stand_id)"},
        {"a,,9,5,,thin,10,,,,,,", "species",
         "\"9\" is not a species: use 1 Pinus tabulaeformis (油松), 2 Pinus armandii (华山松), 3 "
         "Larix principis-ruprechtii (华北落叶松), 4 Quercus aliena (槲栎), by number, Latin or "
         "Chinese name"},
        {"a,,,,,thin,10,,,,,,", "year", "is empty: give either year or age"},
        {"a,,,5,60,thin,10,,,,,,", "age", "give either year or age, not both"},
        {"a,,,0,,thin,10,,,,,,", "year", "\"0\" is not a whole number from 1 to 2147483647"},
        {"a,,,5,,prune,,,,,,,", "action", "\"prune\" is not thin or clearcut"},
        {"a,,,5,,thin,,,,,,,", "remove_trees",
         "a thinning takes exactly one of remove_trees, remove_basal_area and residual_density"},
        {"a,,,5,,thin,10,20,,,,,", "residual_density",
         "a thinning takes exactly one of remove_trees, remove_basal_area and residual_density"},
        {"a,,,5,,thin,100,,,,,,", "remove_trees",
         "100 percent of the trees is a clear-felling: use the action clearcut"},
        {"a,,,5,,thin,,0,,,,,", "remove_basal_area", "\"0\" is not above 0 and below 100 percent"},
        {"a,,,5,,thin,,,2.5,,,,", "residual_density", "\"2.5\" is not a whole number"},
        {"a,,,5,,thin,10,,,middle,,,", "method",
         "\"middle\" is not a method: use below, above or systematic"},
        {"a,,,5,,thin,10,,,,-1,,", "quotient", "\"-1\" is not above 0"},
        {"a,,,5,,thin,10,,,,,1,", "regenerate", "applies to a clear-felling only"},
        {"a,,,5,,clearcut,10,,,,,,", "remove_trees",
         "applies to a thinning only: a clear-felling removes every tree"},
        {"a,,,5,,clearcut,,,,,,oak,", "regenerate",
         "\"oak\" is not a species: use 1 to 4, a name or same, or leave it empty"},
        {"a,,,5,,clearcut,,,,,,,50", "regeneration_stocking",
         "applies only when the clear-felling is regenerated"},
        {"a,,,5,,clearcut,,,,,,same,120", "regeneration_stocking",
         "\"120\" is not above 0 and at most 100 percent"},
    };
    std::string file(treatmentsHeader);
    for (const Case& c : cases)
        file += std::string(c.row) + "\n";
    file += "a,,,5,,thin,10,,,,,,\nb,P,,,60,clearcut,,,,,,same,\n";
    std::ofstream("t.csv") << file;
    const TreatmentSchedule schedule = readTreatments("t.csv", InputEncoding::utf8);
    ASSERT_EQ(schedule.rejections.size(), std::size(cases));
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const Rejection& r = schedule.rejections[i];
        EXPECT_EQ(r.line, static_cast<std::int64_t>(i + 2));
        EXPECT_EQ(r.file, "t.csv");
        EXPECT_EQ(r.column, cases[i].column) << cases[i].row;
        EXPECT_EQ(r.message, cases[i].reason) << cases[i].row;
    }
    EXPECT_EQ(schedule.scenarios, (std::vector<std::string>{"none", "a", "b"}));
    EXPECT_EQ(schedule.treatments.size(), 2u);
    EXPECT_EQ(schedule.treatments[0].quotient, defaultQuotients.below);
    EXPECT_TRUE(schedule.treatments[1].regenerateSame);
}

TEST_F(Treatments, UntilAgeClosesTheWindowOfARowByAge) {
    const char* rows[] = {"a,,,,20,thin,10,,,,,,,25", "a,,,,20,thin,10,,,,,,,19",
                          "a,,,5,,thin,10,,,,,,,25", "a,,,,20,thin,10,,,,,,,2.5",
                          "a,,,,20,clearcut,,,,,,,,20"};
    std::string file(treatmentsHeader.substr(0, treatmentsHeader.size() - 1));
    file += ",until_age\n";
    for (const char* row : rows)
        file += std::string(row) + "\n";
    std::ofstream("t.csv") << file;
    const TreatmentSchedule schedule = readTreatments("t.csv", InputEncoding::utf8);
    ASSERT_EQ(schedule.treatments.size(), 2u);
    EXPECT_EQ(schedule.treatments[0].untilAge, 25);
    EXPECT_EQ(schedule.treatments[1].untilAge, 20);
    const char* reasons[] = {"\"19\" is below the age 20", "applies only to a row by age",
                             "\"2.5\" is not a whole number"};
    ASSERT_EQ(schedule.rejections.size(), std::size(reasons));
    for (std::size_t i = 0; i < std::size(reasons); ++i) {
        EXPECT_EQ(schedule.rejections[i].column, "until_age");
        EXPECT_NE(schedule.rejections[i].message.find(reasons[i]), std::string::npos)
            << schedule.rejections[i].message;
    }
}

using RunResult = testing::InventoryOutcome;

RunResult runWith(const std::string& treatments, bool skipBadRows, std::string output) {
    InventoryOptions options;
    options.standsFile = "stands.csv";
    options.treatmentsFile = treatments;
    options.years = {0, 10, 20};
    options.outputFile = output;
    options.skipBadRows = skipBadRows;
    return testing::runInventoryHere(options);
}

// A stand whose treatment cannot be carried out is left out of every scenario; without
// --skip-bad-rows nothing is written and the status is 3.
TEST_F(Treatments, RunWritesAllOrNothingAndComparesTheSameStands) {
    std::ofstream("stands.csv") << "stand_id,species,stand_age,average_diameter,average_height,"
                                   "stand_density,stand_volume,area\n"
                                   "A,1,30,20,12,1000,200,2\nB,3,25,15,14,2000,300,3\n";
    std::ofstream("t.csv") << treatmentsHeader
                           << "thin,,,5,,thin,,30,,,,,\nthin,B,,6,,thin,,,5000,,,,\n"
                              "thin,Z,,6,,clearcut,,,,,,,\n";
    const RunResult strict = runWith("t.csv", false, "out.sqlite");
    EXPECT_EQ(strict.status, exitUnusableData);
    EXPECT_FALSE(std::filesystem::exists("out.sqlite"));
    EXPECT_NE(strict.err.find("stands.csv:3: scenario: scenario \"thin\": the thinning of "
                              "treatments line 3 at year 6 cannot be carried out"),
              std::string::npos)
        << strict.err;
    EXPECT_NE(strict.err.find("t.csv:4: stand_id: names no stand of the inventory"),
              std::string::npos)
        << strict.err;
    EXPECT_NE(strict.err.find("stands.csv: 1 row rejected, t.csv: 1 row rejected, nothing "
                              "written"),
              std::string::npos)
        << strict.err;

    ASSERT_EQ(runWith("t.csv", true, "out.sqlite").status, exitSuccess);
    EXPECT_EQ(query("out.sqlite", "SELECT DISTINCT scenario, stand_id FROM projection"),
              (std::vector<std::string>{"none|A", "thin|A"}));
    EXPECT_EQ(query("out.sqlite", "SELECT scenario, stand_id, year, action FROM removals"),
              (std::vector<std::string>{"thin|A|5|thin"}));
    EXPECT_EQ(query("out.sqlite", "SELECT count(*) FROM comparison"),
              (std::vector<std::string>{"3"}));
    EXPECT_EQ(query("out.sqlite",
                    "SELECT s.removed_volume = 2 * r.volume FROM summary s, removals r "
                    "WHERE s.scenario = 'thin' AND s.year = 10 AND s.species IS NULL"),
              (std::vector<std::string>{"1"}));

    // The treatments may be a table of the stands database itself.
    sqlite3* db = nullptr;
    sqlite3_open("both.sqlite", &db);
    sqlite3_exec(db,
                 "CREATE TABLE stands (stand_id, species, stand_age, average_diameter, "
                 "average_height, stand_density, stand_volume);"
                 "INSERT INTO stands VALUES ('A', 1, 30, 20, 12, 1000, 200);"
                 "CREATE TABLE treatments (scenario, stand_id, year, action, remove_trees);"
                 "INSERT INTO treatments VALUES ('light', 'A', 5, 'thin', 10);",
                 nullptr, nullptr, nullptr);
    sqlite3_close(db);
    InventoryOptions options;
    options.standsFile = "both.sqlite";
    options.treatmentsFile = "both.sqlite";
    options.years = {0, 10};
    options.outputFile = "both-out.sqlite";
    std::ostringstream out, err;
    InventoryRun run;
    ASSERT_EQ(runInventory(options, out, err, run), exitSuccess) << err.str();
    EXPECT_EQ(query("both-out.sqlite", "SELECT scenario, trees FROM removals"),
              (std::vector<std::string>{
                  "light|" + std::to_string(projected(pine, {}, {5}).rows[0].standDensity / 10)}));
}

}  // namespace
}  // namespace arbora::management_test

namespace arbora::management_test {
namespace {

// The accounts of the example inventory: products carbon conserved per scenario and
// pool, in the totals, and finance rows for each stand and the inventory; a bad prices
// row stops the run before anything is written.
TEST_F(Treatments, RunAccountsForProductsAndFinance) {
    const std::string examples = ARBORA_SOURCE_DIR "/examples/";
    InventoryOptions options;
    options.standsFile = examples + "stands.csv";
    options.treatmentsFile = examples + "treatments.csv";
    options.pricesFile = examples + "prices.csv";
    options.years = {0, 30, 60};
    options.outputFile = "accounts.sqlite";
    std::ostringstream out, err;
    InventoryRun run;
    ASSERT_EQ(runInventory(options, out, err, run), exitSuccess) << err.str();
    for (const std::string& row :
         query("accounts.sqlite",
               "SELECT scenario, pool, sum(inflow), "
               "sum(emission) + (SELECT stock FROM products q WHERE q.scenario = p.scenario "
               "AND q.pool = p.pool AND q.year = 60) FROM products p GROUP BY scenario, pool")) {
        std::istringstream fields(row);
        std::string scenario, pool, in, outOrKept;
        std::getline(fields, scenario, '|'), std::getline(fields, pool, '|');
        std::getline(fields, in, '|'), std::getline(fields, outOrKept, '|');
        EXPECT_NEAR(std::stod(in), std::stod(outOrKept), 1e-9 * std::stod(in) + 1e-12) << row;
    }
    EXPECT_EQ(query("accounts.sqlite",
                    "SELECT count(*) FROM summary s WHERE species IS NULL AND abs(products_carbon "
                    "- (SELECT sum(stock) FROM products p WHERE p.scenario = s.scenario AND "
                    "p.year = s.year)) > 1e-9"),
              (std::vector<std::string>{"0"}));
    EXPECT_EQ(query("accounts.sqlite",
                    "SELECT scenario, count(*), count(stand_id) FROM finance "
                    "GROUP BY scenario ORDER BY min(rowid)"),
              (std::vector<std::string>{"none|21|20", "thinning|21|20", "rotation|21|20"}));
    // C03-05, a larch of 44, is felled at year 1 by the rotation at 40; C01-01, a pine of
    // 18, gets its early thinning at 15 then.
    EXPECT_EQ(query("accounts.sqlite", "SELECT overdue_treatments FROM run"),
              (std::vector<std::string>{"2"}));
    EXPECT_NE(out.str().find("2 treatments by age were overdue at year 0"), std::string::npos);
    // Each regeneration's stocking as given, beside the default.
    EXPECT_EQ(query("accounts.sqlite",
                    "SELECT regeneration_stocking, "
                    "regeneration_stocking_treatments_line_5_scenario_rotation, "
                    "regeneration_stocking_treatments_line_6_scenario_rotation, "
                    "regeneration_stocking_treatments_line_8_scenario_rotation FROM run"),
              (std::vector<std::string>{"100.0|90.0|100.0|80.0"}));

    // Money beyond the largest number names the stand, the scenario and the prices.
    std::ofstream("prices.csv") << "item,value\nrough_timber,1e308\n";
    options.pricesFile = "prices.csv";
    const RunResult huge = testing::runInventoryHere(options);
    EXPECT_EQ(huge.status, exitUnusableData);
    EXPECT_NE(huge.err.find("stands.csv:2: scenario: stand C01-01, scenario none: the "
                            "liquidation value exceeds the largest number: see the price items "
                            "rough_timber"),
              std::string::npos)
        << huge.err;

    // A file without its value column is one error of the file.
    std::ofstream("prices.csv") << "item,price\nrough_timber,5\n";
    const RunResult noValue = testing::runInventoryHere(options);
    EXPECT_EQ(noValue.status, exitUnusableData);
    EXPECT_EQ(noValue.err, "arbora-report: prices.csv: has no column value, nothing written\n");

    std::ofstream("prices.csv") << "item,value\nrough_timber,-5\n";
    options.pricesFile = "prices.csv";
    options.outputFile = "refused.sqlite";
    std::ostringstream refusedErr;
    EXPECT_EQ(runInventory(options, out, refusedErr, run), exitUnusableData);
    EXPECT_NE(refusedErr.str().find("prices.csv:2: value:"), std::string::npos) << refusedErr.str();
    EXPECT_FALSE(std::filesystem::exists("refused.sqlite"));
}

}  // namespace
}  // namespace arbora::management_test

namespace arbora::management_test {
namespace {

// Every output is the same to the byte whatever the number of threads: the same
// inventory, with rejected rows, quoted ids with line breaks and more stands than one
// batch, at 1, 2 and 7 threads.
TEST_F(Treatments, ThreadsChangeNoByteOfTheOutput) {
    std::string stands =
        "stand_id,species,stand_age,average_diameter,average_height,"
        "stand_density,stand_volume,area\n";
    for (int i = 0; i < 700; ++i) {
        const std::string id =
            i % 97 == 0 ? "\"line\nbreak " + std::to_string(i) + "\"" : "s" + std::to_string(i);
        if (i % 211 == 5) {
            stands += id + ",9,20,10,8,1000,100,1\n";  // no species
        } else if (i % 307 == 7) {
            stands += "s" + std::to_string(i - 1) + ",1,20,10,8,1000,100,1\n";  // a duplicate
        } else {
            stands += id + "," + std::to_string(1 + i % 4) + "," + std::to_string(15 + i % 50) +
                      "," + std::to_string(8 + i % 23) + "," + std::to_string(6 + i % 13) + "," +
                      std::to_string(400 + 7 * i) + "," + std::to_string(50 + i % 300) + ",2.5\n";
        }
    }
    std::ofstream("stands.csv") << stands;
    const std::string examples = ARBORA_SOURCE_DIR "/examples/";
    std::vector<std::string> first;
    // The last: more threads than the rows in flight allow, one stand a batch.
    const std::pair<std::size_t, std::size_t> flows[] = {{1, InventoryOptions{}.rowsInFlightBytes},
                                                         {2, InventoryOptions{}.rowsInFlightBytes},
                                                         {7, InventoryOptions{}.rowsInFlightBytes},
                                                         {64, 1}};
    for (const auto& [jobs, rowsInFlight] : flows) {
        std::vector<std::string> outputs;
        for (const char* name : {"out.csv", "out.sqlite"}) {
            InventoryOptions options;
            options.standsFile = "stands.csv";
            options.treatmentsFile = examples + "treatments.csv";
            options.pricesFile = examples + "prices.csv";
            options.years = {0, 10, 25, 60};
            options.outputFile = name;
            options.skipBadRows = true;
            options.jobs = jobs;
            options.rowsInFlightBytes = rowsInFlight;
            std::ostringstream out, err;
            InventoryRun run;
            ASSERT_EQ(runInventory(options, out, err, run), exitSuccess) << err.str();
            outputs.push_back(out.str() + err.str());
        }
        outputs.push_back(testing::readBytes("out.csv"));
        for (const char* table : {"stands", "projection", "summary", "comparison", "removals",
                                  "products", "finance", "rejected"}) {
            for (const std::string& row : testing::rowsOf(
                     "out.sqlite", std::string("SELECT * FROM ") + table + " ORDER BY rowid"))
                outputs.push_back(row);
        }
        if (first.empty()) {
            first = outputs;
            EXPECT_GT(first.size(), 3000u);
        } else {
            EXPECT_TRUE(outputs == first) << jobs << " threads";
        }
    }
}

}  // namespace
}  // namespace arbora::management_test
