#include "management/scenario_projection.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>
#include <utility>

#include "growth/growth_and_yield.h"
#include "inventory/number_text.h"
#include "management/assortments.h"

namespace arbora {
namespace {

constexpr std::int64_t never = std::numeric_limits<std::int64_t>::max();

// What stands on a hectare.
struct StandState {
    bool standing = false;  // false: nothing modelled stands (felled, or planted and young)
    double diameter = 0;    // cm
    double height = 0;      // m
    std::int32_t trees = 0;
    double volume = 0;  // m3/ha
};

// The trees growing on the stand: the measured ones, or those planted after a felling.
struct Cohort {
    std::int32_t species = 0;
    std::int64_t birthYear = 0;   // the cohort's age at year y is y - birthYear
    std::int64_t anchorYear = 0;  // the year of `anchor`; nothing stands before it
    std::int64_t entryYear = 0;   // the first year the models hold it (planted: at age 20)
    std::int32_t generation = 0;  // 0 for the stand as measured, then one more each felling
    StandState anchor;            // as measured, as a treatment left it, or as planted
    // The normal stand at the anchor's age, once looked up; forgotten when the anchor
    // changes. Empty outside the growth curves.
    bool anchorNormalKnown = false;
    std::optional<NormalStand> anchorNormal;
};

std::string yearText(std::int64_t year) {
    return "year " + std::to_string(year);
}

// The cohort's state at year y (not before its anchor year), or the age outside the
// growth curves that stops it.
std::variant<StandState, std::int64_t> stateAt(InventoryProjector& projector, Cohort& c,
                                               std::int64_t year) {
    if (year < c.anchorYear || !c.anchor.standing) return StandState{};
    if (year == c.anchorYear) return c.anchor;
    const std::int64_t anchorAge = c.anchorYear - c.birthYear;
    const std::int64_t age = year - c.birthYear;
    const auto fits = [](std::int64_t a) { return a <= std::numeric_limits<std::int32_t>::max(); };
    if (!fits(anchorAge)) return anchorAge;
    if (!c.anchorNormalKnown) {
        c.anchorNormal = projector.normalStand(c.species, static_cast<std::int32_t>(anchorAge));
        c.anchorNormalKnown = true;
    }
    const std::optional<NormalStand>& atAnchor = c.anchorNormal;
    if (!atAnchor) return anchorAge;
    if (!fits(age)) return age;
    const std::optional<NormalStand>& atAge =
        projector.normalStand(c.species, static_cast<std::int32_t>(age));
    if (!atAge) return age;
    StandSettings settings;
    settings.species = c.species;
    settings.standAge = static_cast<std::int32_t>(anchorAge);
    settings.simulatingAge = static_cast<std::int32_t>(age);
    settings.averageDiameter = c.anchor.diameter;
    settings.averageHeight = c.anchor.height;
    settings.standDensity = c.anchor.trees;
    settings.standVolume = c.anchor.volume;
    const ProjectedStand projected = projectStandFrom(settings, *atAnchor, *atAge);
    return StandState{true, projected.diameter, projected.height, projected.treesPerHectare,
                      projected.volume};
}

BiomassComponents biomassOf(std::int32_t species, const StandState& state) {
    if (!state.standing) return {};
    return componentBiomass(species, state.diameter, state.height,
                            static_cast<double>(state.trees));
}

BiomassComponents difference(const BiomassComponents& before, const BiomassComponents& after) {
    return {before.stem - after.stem,       before.bark - after.bark, before.branch - after.branch,
            before.foliage - after.foliage, before.root - after.root, before.stand - after.stand};
}

// The first component of which `after` holds more than `before` (a thinning leaves a
// larger mean tree, and the biomass equations grow faster than its basal area, so a
// heavy thinning could seem to make biomass); null when none does.
const char* componentGrown(const BiomassComponents& before, const BiomassComponents& after) {
    const std::pair<const char*, double BiomassComponents::*> components[] = {
        {"stem", &BiomassComponents::stem},     {"bark", &BiomassComponents::bark},
        {"branch", &BiomassComponents::branch}, {"foliage", &BiomassComponents::foliage},
        {"root", &BiomassComponents::root},     {"total", &BiomassComponents::stand}};
    for (const auto& [name, part] : components) {
        if (after.*part > before.*part) return name;
    }
    return nullptr;
}

bool allFinite(const BiomassComponents& b) {
    return std::isfinite(b.stem) && std::isfinite(b.bark) && std::isfinite(b.branch) &&
           std::isfinite(b.foliage) && std::isfinite(b.root) && std::isfinite(b.stand);
}

std::int32_t clampedAge(std::int64_t age) {
    return static_cast<std::int32_t>(
        std::min<std::int64_t>(age, std::numeric_limits<std::int32_t>::max()));
}

// The projection of one stand under one scenario, year by year of the list.
class ScenarioRun {
  public:
    ScenarioRun(InventoryProjector& projector, const InventoryStand& stand,
                const std::vector<const Treatment*>& treatments, const std::string& scenario)
        : projector_(projector),
          stand_(stand),
          treatments_(treatments),
          scenario_(scenario),
          treatedIn_(treatments.size(), -1) {
        cohort_.species = stand.species;
        cohort_.birthYear = -std::int64_t{stand.standAge};
        cohort_.anchor = {true, stand.averageDiameter, stand.averageHeight, stand.standDensity,
                          stand.standVolume};
    }

    std::optional<Problem> project(const std::vector<std::int32_t>& offsets,
                                   ScenarioProjection& projection) {
        projection.rows.clear();
        projection.removals.clear();
        projection.overdue = 0;
        projection.emptyThinnings = 0;
        for (const std::int32_t offset : offsets) {
            if (!treatUpTo(offset, projection)) return problem_;
            const auto state = stateAt(projector_, cohort_, offset);
            if (const auto* age = std::get_if<std::int64_t>(&state)) return ageOutside(*age);
            projection.rows.push_back(row(offset, std::get<StandState>(state)));
        }
        return std::nullopt;
    }

  private:
    Problem ageOutside(std::int64_t age) const {
        return Problem{.message = "age " + std::to_string(age) +
                                  " is outside the growth curves of this species",
                       .column = "stand_age"};
    }

    bool applies(const Treatment& t) const { return !t.species || *t.species == cohort_.species; }

    // The year the treatment (index i) comes due for the cohort standing now; `never`
    // if it does not. A row by age falls due once per cohort, at the first year from 1
    // at which the cohort is at least that old and held by the models.
    std::int64_t dueYear(std::size_t i) const {
        const Treatment& t = *treatments_[i];
        if (!applies(t)) return never;
        if (t.year) return *t.year;
        if (felled_ || treatedIn_[i] == cohort_.generation) return never;
        const std::int64_t due =
            std::max({cohort_.birthYear + *t.age, cohort_.entryYear, std::int64_t{1}});
        if (t.untilAge && due - cohort_.birthYear > *t.untilAge) return never;
        return due;
    }

    // The first year after `after` in which a treatment comes due; `never` if none.
    std::int64_t nextDue(std::int64_t after) const {
        std::int64_t next = never;
        for (std::size_t i = 0; i < treatments_.size(); ++i) {
            const std::int64_t year = dueYear(i);
            if (year > after && year < next) next = year;
        }
        return next;
    }

    // Carries out the treatments due after the last year done, up to `year`.
    bool treatUpTo(std::int64_t year, ScenarioProjection& projection) {
        for (std::int64_t due = nextDue(done_); due <= year; due = nextDue(done_)) {
            for (std::size_t i = 0; i < treatments_.size(); ++i) {
                if (dueYear(i) != due) continue;
                const Treatment& t = *treatments_[i];
                if (t.age) {
                    treatedIn_[i] = cohort_.generation;
                    if (cohort_.generation == 0 && cohort_.birthYear + *t.age <= 0)
                        ++projection.overdue;
                }
                if (!carryOut(t, due, projection)) return false;
            }
            done_ = due;
        }
        done_ = std::max(done_, year);
        return true;
    }

    bool carryOut(const Treatment& t, std::int64_t year, ScenarioProjection& projection) {
        const auto state = stateAt(projector_, cohort_, year);
        if (const auto* age = std::get_if<std::int64_t>(&state)) {
            problem_ = ageOutside(*age);
            return false;
        }
        const StandState before = std::get<StandState>(state);
        if (!felled_ && year < cohort_.entryYear) {
            return fail(t, year,
                        "the trees planted at year " + std::to_string(cohort_.birthYear) +
                            " count as nothing until the models take them up at age " +
                            std::to_string(regenerationAge) + ": give the row by age");
        }
        if (!before.standing || before.trees == 0) {
            return fail(t, year,
                        "nothing stands to " +
                            std::string(t.action == TreatmentAction::thin ? "thin" : "fell"));
        }
        Removal removal;
        removal.scenario = scenario_;
        removal.standId = stand_.standId;
        removal.year = static_cast<std::int32_t>(year);
        removal.age = clampedAge(year - cohort_.birthYear);
        removal.species = cohort_.species;
        removal.action = t.action;
        StandState after;
        double sortedDiameter = before.diameter;
        if (t.action == TreatmentAction::thin) {
            const auto thinned = thin(t, before);
            if (const auto* reason = std::get_if<std::string>(&thinned)) {
                return fail(t, year, *reason);
            }
            after = std::get<StandState>(thinned);
            if (after.trees == before.trees) {  // not one whole tree: nothing to do or pay
                ++projection.emptyThinnings;
                return true;
            }
            sortedDiameter = t.quotient * before.diameter;
        } else if (!plant(t, year)) {
            return false;
        } else {
            removal.regenerated = t.regenerate || t.regenerateSame;
        }
        removal.trees = before.trees - after.trees;
        removal.volume = before.volume - after.volume;
        removal.assortments =
            sortIntoAssortments(removal.species, stand_.outputClass.value_or(defaultOutputClass),
                                sortedDiameter, removal.volume);
        const BiomassComponents biomassBefore = biomassOf(removal.species, before);
        const BiomassComponents biomassAfter = biomassOf(removal.species, after);
        if (const char* grown = componentGrown(biomassBefore, biomassAfter)) {
            return fail(t, year,
                        "the stand left would hold more " + std::string(grown) +
                            " biomass than the stand before; the mean-tree model does not hold "
                            "at this intensity: remove less, or fell");
        }
        removal.biomass = difference(biomassBefore, biomassAfter);
        removal.carbon = difference(carbonStock(biomassBefore), carbonStock(biomassAfter));
        removal.co2e = carbonDioxideEquivalent(removal.carbon.stand);
        if (!allFinite(removal.biomass) || !allFinite(removal.carbon) ||
            !std::isfinite(removal.volume)) {
            return fail(t, year, "a removed value is not a finite number");
        }
        if (t.action == TreatmentAction::thin) {
            cohort_.anchorYear = year;
            cohort_.anchor = after;
            cohort_.anchorNormalKnown = false;
        }
        projection.removals.push_back(std::move(removal));
        return true;
    }

    // The stand a thinning leaves, or why it cannot be carried out.
    static std::variant<StandState, std::string> thin(const Treatment& t, const StandState& s) {
        const double trees = static_cast<double>(s.trees);
        const double q = t.quotient;
        double removed = 0;  // trees, before the fraction is dropped
        switch (t.intensity) {
            case ThinningIntensity::removeTrees:
                removed = trees * t.amount / 100;
                break;
            case ThinningIntensity::removeBasalArea:
                removed = trees * ((t.amount / 100) / (q * q));
                break;
            case ThinningIntensity::residualDensity:
                if (!(t.amount < trees)) {
                    return "the residual density " + std::to_string(std::int64_t(t.amount)) +
                           " is not below the " + countText(s.trees, "tree") + " standing";
                }
                removed = trees - t.amount;
                break;
        }
        if (!(removed < trees)) return std::string("it would remove every tree");
        const auto n = static_cast<std::int32_t>(std::trunc(removed));
        const double p = static_cast<double>(n) / trees;
        const double b = p * q * q;
        if (!(b < 1)) return std::string("it would remove all the basal area");
        StandState after = s;
        after.diameter = s.diameter * std::sqrt((1 - b) / (1 - p));
        after.trees = s.trees - n;
        after.volume = s.volume * (1 - b);
        return after;
    }

    // The cohort after a clear-felling in `year`: planted, or nothing.
    bool plant(const Treatment& t, std::int64_t year) {
        const std::int32_t species = t.regenerateSame ? cohort_.species : t.regenerate.value_or(0);
        cohort_.birthYear = year;
        cohort_.entryYear = year + regenerationAge;
        ++cohort_.generation;
        cohort_.anchorNormalKnown = false;
        if (species == 0) {
            felled_ = true;
            cohort_.anchorYear = year;
            cohort_.anchor = StandState{};
            return true;
        }
        const std::optional<NormalStand>& normal = projector_.normalStand(species, regenerationAge);
        if (!normal) {
            problem_ = ageOutside(regenerationAge);
            return false;
        }
        const auto trees = static_cast<std::int32_t>(
            std::trunc(static_cast<double>(normal->treesPerHectare) * t.stocking / 100));
        if (trees < 1) {
            return fail(t, year,
                        "its regeneration at " + shortestText(t.stocking) +
                            " percent stocking plants no whole tree (the normal stand holds " +
                            std::to_string(normal->treesPerHectare) + " trees per hectare at age " +
                            std::to_string(regenerationAge) + ")");
        }
        felled_ = false;
        cohort_.species = species;
        cohort_.anchorYear = year + regenerationAge;
        cohort_.anchor = {true, normal->diameter, normal->height, trees,
                          normal->volume * t.stocking / 100};
        return true;
    }

    bool fail(const Treatment& t, std::int64_t year, const std::string& reason) {
        problem_ = Problem{.message = std::string(t.action == TreatmentAction::thin
                                                      ? "the thinning"
                                                      : "the clear-felling") +
                                      " of treatments line " + std::to_string(t.line) + " at " +
                                      yearText(year) + " cannot be carried out: " + reason};
        return false;
    }

    ProjectionRow row(std::int32_t offset, const StandState& state) const {
        ProjectionRow r;
        r.year = offset;
        r.age = clampedAge(offset - cohort_.birthYear);
        r.species = cohort_.species;
        r.averageDiameter = state.diameter;
        r.averageHeight = state.height;
        r.standDensity = state.trees;
        r.standVolume = state.volume;
        r.biomass = biomassOf(cohort_.species, state);
        r.carbon = carbonStock(r.biomass);
        r.co2e = carbonDioxideEquivalent(r.carbon.stand);
        return r;
    }

    InventoryProjector& projector_;
    const InventoryStand& stand_;
    const std::vector<const Treatment*>& treatments_;
    const std::string& scenario_;
    Cohort cohort_;
    bool felled_ = false;    // clear-felled and not planted
    std::int64_t done_ = 0;  // treatments are carried out up to this year
    std::optional<Problem> problem_;
    std::vector<std::int32_t> treatedIn_;  // by treatment: the cohort generation it treated
};

}  // namespace

std::optional<Problem> projectScenario(InventoryProjector& projector, const InventoryStand& stand,
                                       const std::vector<const Treatment*>& treatments,
                                       const std::vector<std::int32_t>& offsets,
                                       const std::string& scenario, ScenarioProjection& into) {
    ScenarioRun run(projector, stand, treatments, scenario);
    return run.project(offsets, into);
}

std::variant<ScenarioProjection, Problem> projectScenario(
    InventoryProjector& projector, const InventoryStand& stand,
    const std::vector<const Treatment*>& treatments, const std::vector<std::int32_t>& offsets,
    const std::string& scenario) {
    ScenarioProjection projection;
    if (auto problem = projectScenario(projector, stand, treatments, offsets, scenario, projection))
        return std::move(*problem);
    return projection;
}

}  // namespace arbora
