#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "inventory/inventory_stand.h"
#include "inventory/projection.h"
#include "io/problem.h"
#include "management/removal.h"
#include "management/treatments.h"

// One stand projected under one scenario: the untreated projection until the first
// treatment, then from the state each treatment leaves, with the removals.
namespace arbora {

struct ScenarioProjection {
    std::vector<ProjectionRow> rows;  // one per year of the list, after that year's treatments
    std::vector<Removal> removals;    // every treatment carried out, in the order carried out
    // Rows by age carried out at year 1 because the stand was at least that old at year 0.
    std::int32_t overdue = 0;
    // Thinnings not carried out because they would take no whole tree (no removal, no
    // cost).
    std::int32_t emptyThinnings = 0;
};

// Why a stand cannot be projected under a scenario is a Problem: its column is the stand
// column concerned (its English name, e.g. "stand_age"), or empty when a treatment cannot
// be carried out; its message a sentence.

// Projects the stand over the offsets (sorted, distinct) under the treatments (file
// order), on the models of the two simulations. The rows may hold values that are not
// finite numbers (the caller rejects them with the input column that gives them); a
// removal that is not finite is a problem.
//
// The state of a stand is its mean diameter D, height H, whole tree count N and volume V.
// A thinning takes n trees (remove_trees x: trunc(N * x / 100); remove_basal_area y:
// trunc(N * ((y / 100) / (q * q))); residual density R: N - R) and leaves, with p = n / N
// and b = p * q * q, D' = D * sqrt((1 - b) / (1 - p)), H' = H, N' = N - n,
// V' = V * (1 - b); there is no growth response after a thinning. A thinning with n = 0
// is not carried out (counted in emptyThinnings); one that would leave more of a biomass
// component than stood is a problem. A clear-felling takes everything; a planted cohort
// enters at age 20 as the normal stand of its species times the stocking (a problem if
// that is not one whole tree), and holds nothing before. Later years are projected from the state a
// treatment leaves by the growth and yield simulation's projection.
//
// The projection goes into `into`, emptied first; its memory is kept, so that a run
// reusing one for every stand allocates nothing per stand. Returns why the stand
// cannot be projected (`into` then holds the years up to the problem), or nothing.
std::optional<Problem> projectScenario(InventoryProjector& projector, const InventoryStand& stand,
                                       const std::vector<const Treatment*>& treatments,
                                       const std::vector<std::int32_t>& offsets,
                                       const std::string& scenario, ScenarioProjection& into);
// The same projection in a value of its own.
std::variant<ScenarioProjection, Problem> projectScenario(
    InventoryProjector& projector, const InventoryStand& stand,
    const std::vector<const Treatment*>& treatments, const std::vector<std::int32_t>& offsets,
    const std::string& scenario);

}  // namespace arbora
