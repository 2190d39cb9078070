#pragma once

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

#include "accounting/finance.h"
#include "accounting/wood_products.h"
#include "inventory/inventory_stand.h"
#include "inventory/projection.h"
#include "management/scenario_projection.h"
#include "management/treatments.h"
#include "planning/plan_model.h"

// The regimes a stand is offered, their treatments on that stand, and what the stand
// yields under each.
namespace arbora {

// A regime with the year its treatments are held back to: "REGIME@s", or the regime's
// own name for s = 0. The baseline `none` is offered once.
struct RegimeOffer {
    std::size_t regime = 0;  // the schedule's scenario; 0 is `none`
    std::int32_t start = 0;  // years after the stands' measured ages
    std::string name;
};

// `none`, then each regime of the schedule at each start, in the order given.
std::vector<RegimeOffer> regimeOffers(const TreatmentSchedule& regimes,
                                      const std::vector<std::int32_t>& starts);

// Whether at least one of the regime's rows applies to the species (`none` suits all).
bool regimeSuits(const TreatmentSchedule& regimes, std::size_t regime, std::int32_t species);

// The treatments the regime carries out on the stand from a start s up to `lastYear`, as
// year-based treatments of the stand (file order within a year), the form a treatments
// file gives them in. Nothing is done up to year s. A row of a year is carried out at
// that year plus s. A row of an age is carried out when the cohort standing reaches it
// after year s (a planted cohort's ages count from its planting); of the ages the
// measured cohort has reached by year s, already past, the treatments of the greatest
// are carried out at year s + 1 (a stand past its rotation is felled then; a thinning
// it has outgrown is not made up). A row for another species is skipped when it would
// fall due.
std::vector<Treatment> standSchedule(const TreatmentSchedule& regimes, const RegimeOffer& offer,
                                     const InventoryStand& stand, std::int32_t lastYear);

// What the yield of a regime is worked out with.
struct YieldSettings {
    std::vector<std::int32_t> years;  // the listed years, from 0
    ProductsSettings products = defaultProductsSettings();
    std::optional<Prices> prices{};  // without prices there is no money
};

// What the stand yields under the treatments (per hectare times its area), and the
// projection it comes from; or why the stand cannot be projected under them.
struct RegimeRun {
    PlanYield yield;
    ScenarioProjection projection;
};
std::variant<RegimeRun, Problem> regimeYield(InventoryProjector& projector,
                                             const InventoryStand& stand,
                                             const std::vector<Treatment>& treatments,
                                             const std::string& regime,
                                             const YieldSettings& settings);

}  // namespace arbora
