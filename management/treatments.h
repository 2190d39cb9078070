#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <variant>
#include <vector>

#include "inventory/inventory_stand.h"
#include "inventory/stand_sources.h"
#include "management/removal.h"

// Treatments: thinnings and clear-fellings scheduled per stand and scenario, read from a
// CSV file or a table "treatments" of a SQLite database.
namespace arbora {

enum class ThinningMethod { below, above, systematic };

// q, the mean diameter of the removed trees over the stand's mean diameter, when a
// thinning gives none: smaller trees go in a thinning from below, larger ones from above.
struct ThinningQuotients {
    double below = 0.8;
    double above = 1.2;
    double systematic = 1.0;
};
constexpr ThinningQuotients defaultQuotients;

// A regenerated cohort enters the models at this age, the first of the normal stand
// yield table (its curves are fitted from there); before it its stock counts as zero.
constexpr std::int32_t regenerationAge = 20;
// Percent of the normal stand's tree count and volume a regenerated cohort starts with.
constexpr double defaultRegenerationStocking = 100;

// How hard a thinning is: exactly one of these is given.
enum class ThinningIntensity {
    removeTrees,      // percent of the trees removed
    removeBasalArea,  // percent of the basal area removed
    residualDensity,  // trees per hectare left
};

struct Treatment {
    std::size_t scenario = 0;             // index into TreatmentSchedule::scenarios
    std::string standId;                  // empty: every stand
    std::optional<std::int32_t> species;  // narrows an empty stand id to one species
    std::optional<std::int32_t> year;     // years after the stand's measured age
    // The cohort's age: due at the first year the cohort is at least this old (year 1
    // for a stand already that old at year 0; age 20 for a younger planted cohort,
    // which the models take up then), once per cohort.
    std::optional<std::int32_t> age;
    std::optional<std::int32_t> untilAge;  // with age: no treatment of a cohort older when due
    TreatmentAction action = TreatmentAction::thin;
    ThinningIntensity intensity = ThinningIntensity::removeTrees;
    double amount = 0;                       // percent, or trees/ha for a residual density
    double quotient = 0;                     // q of a thinning, the method's default when not given
    std::optional<std::int32_t> regenerate;  // species planted after a clear-felling
    bool regenerateSame = false;             // plant the species felled
    double stocking = defaultRegenerationStocking;  // percent
    std::int64_t line = 0;                          // in the treatments file
};

// Every treatment of a file, by scenario and stand, in file order.
struct TreatmentSchedule {
    std::string fileName;
    std::vector<std::string> scenarios;  // the baseline first, then in order of appearance
    std::vector<Treatment> treatments;   // in file order
    std::vector<Rejection> rejections;   // rows that break a rule
    // The treatments that name a stand, by its id; indices into `treatments`.
    std::unordered_map<std::string, std::vector<std::size_t>> byStand;
    // The treatments of every stand (an empty stand id), in file order.
    std::vector<std::size_t> everyStand;
};

// A schedule holding the baseline alone.
TreatmentSchedule baselineOnly();

// Reads a treatments file (CSV with the stands file's reading rules, or a SQLite
// database with a table "treatments"). Rows that break a rule are collected in
// `rejections` with file, line, column and reason. Throws InventoryInputError when the
// file cannot be read or lacks a required column.
TreatmentSchedule readTreatments(const std::string& fileName, InputEncoding encoding,
                                 const ThinningQuotients& quotients = defaultQuotients);

// Reads a regimes file: the treatments file's format with a column `regime` in place of
// `scenario` and no stand_id (its rows may still be narrowed by species); the regimes
// are the schedule's scenarios after the baseline. A SQLite database holds a table
// "regimes".
TreatmentSchedule readRegimes(const std::string& fileName, InputEncoding encoding,
                              const ThinningQuotients& quotients = defaultQuotients);

// The treatments of one stand in one scenario, in file order: those naming the stand and
// those of every stand. The species filter is applied when a treatment comes due.
std::vector<const Treatment*> treatmentsOf(const TreatmentSchedule& schedule, std::size_t scenario,
                                           const std::string& standId);

}  // namespace arbora
