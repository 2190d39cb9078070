#include "management/treatments.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <string_view>

#include "inventory/stand_columns.h"
#include "settings/species.h"

namespace arbora {
namespace {

enum class TreatmentColumn {
    scenario,
    standId,
    species,
    year,
    age,
    untilAge,
    action,
    removeTrees,
    removeBasalArea,
    residualDensity,
    method,
    quotient,
    regenerate,
    regenerationStocking,
};

struct TreatmentColumnName {
    std::string_view name;
    bool required;
};

constexpr std::array<TreatmentColumnName, 14> columnNames = {{
    {"scenario", true},
    {"stand_id", false},
    {"species", false},
    {"year", false},
    {"age", false},
    {"until_age", false},
    {"action", true},
    {"remove_trees", false},
    {"remove_basal_area", false},
    {"residual_density", false},
    {"method", false},
    {"quotient", false},
    {"regenerate", false},
    {"regeneration_stocking", false},
}};

// Where each treatment column stands in the file; -1 when absent.
struct TreatmentColumnMap {
    std::array<int, columnNames.size()> position{};
    std::array<std::string, columnNames.size()> header;
};

// A treatments file names its scenarios in the column `scenario`; a regimes file (the
// planning command's) names its regimes in `regime` and has no stand_id.
struct ScheduleFileKind {
    std::string_view nameColumn;
    bool standIds;
};
constexpr ScheduleFileKind treatmentsFile{"scenario", true};
constexpr ScheduleFileKind regimesFile{"regime", false};

TreatmentColumnMap mapColumns(const std::vector<std::string>& header, const std::string& file,
                              const ScheduleFileKind& kind) {
    TreatmentColumnMap map;
    map.position.fill(-1);
    for (std::size_t i = 0; i < header.size(); ++i) {
        const std::string_view name = trimBlanks(header[i]);
        if (!kind.standIds && equalsIgnoringCase(name, "stand_id")) {
            throw InventoryInputError(InventoryInputError::unusable,
                                      file +
                                          ": has a column stand_id: a regime is offered to "
                                          "every stand (narrow its rows by species)");
        }
        for (std::size_t c = 0; c < columnNames.size(); ++c) {
            const std::string_view wanted =
                c == std::size_t(TreatmentColumn::scenario) ? kind.nameColumn : columnNames[c].name;
            if (!equalsIgnoringCase(name, wanted)) continue;
            if (map.position[c] >= 0) {
                throw InventoryInputError(
                    InventoryInputError::unusable,
                    file + ": has the column " + std::string(columnNames[c].name) + " twice");
            }
            map.position[c] = static_cast<int>(i);
            map.header[c] = std::string(name);
        }
    }
    for (std::size_t c = 0; c < columnNames.size(); ++c) {
        if (columnNames[c].required && map.position[c] < 0) {
            const std::string_view wanted =
                c == std::size_t(TreatmentColumn::scenario) ? kind.nameColumn : columnNames[c].name;
            throw InventoryInputError(InventoryInputError::unusable,
                                      file + ": has no column " + std::string(wanted));
        }
    }
    return map;
}

// One row's values by treatment column, and the first problem found.
class TreatmentRow {
  public:
    TreatmentRow(const TreatmentColumnMap& map, const RawRow& row) : map_(map), row_(row) {}

    // The value of a column; null when the file lacks the column or the cell is empty.
    const RawValue* value(TreatmentColumn column) const {
        const int position = map_.position[static_cast<std::size_t>(column)];
        if (position < 0 || static_cast<std::size_t>(position) >= row_.values.size()) {
            return nullptr;
        }
        const RawValue& raw = row_.values[static_cast<std::size_t>(position)];
        return isEmptyValue(raw) ? nullptr : &raw;
    }
    std::string text(TreatmentColumn column) const {
        const RawValue* raw = value(column);
        if (raw == nullptr) return {};
        if (raw->kind == RawValue::Kind::text) return std::string(trimBlanks(raw->text));
        return quotedValue(*raw);
    }
    void reject(TreatmentColumn column, std::string reason) {
        if (!problem_) problem_ = FirstProblem{column, std::move(reason)};
    }
    bool rejected() const { return problem_.has_value(); }
    Rejection rejection(const std::string& file, const std::string& standId) const {
        const auto column = static_cast<std::size_t>(problem_->column);
        const std::string name = map_.header[column].empty() ? std::string(columnNames[column].name)
                                                             : map_.header[column];
        return rowRejection(row_.line, standId, name, problem_->reason, file);
    }

  private:
    struct FirstProblem {  // of the row: the first column found wrong
        TreatmentColumn column;
        std::string reason;
    };
    const TreatmentColumnMap& map_;
    const RawRow& row_;
    std::optional<FirstProblem> problem_;
};

// A whole number of at least 1, or why not.
std::optional<std::int32_t> wholeFromOne(TreatmentRow& row, TreatmentColumn column) {
    const RawValue* raw = row.value(column);
    if (raw == nullptr) return std::nullopt;
    const auto whole = readWholeValue(*raw);
    if (!whole.problem.empty()) {
        row.reject(column, whole.problem);
    } else if (whole.value < 1 || whole.value > 2147483647) {
        row.reject(column, quotedValue(*raw) + " is not a whole number from 1 to 2147483647");
    } else {
        return static_cast<std::int32_t>(whole.value);
    }
    return std::nullopt;
}

// A number above `low` (and at most `high`), or why not.
std::optional<double> numberWithin(TreatmentRow& row, TreatmentColumn column, double low,
                                   double high, const char* rule) {
    const RawValue* raw = row.value(column);
    if (raw == nullptr) return std::nullopt;
    const auto real = readRealValue(*raw);
    if (!real.problem.empty()) {
        row.reject(column, real.problem);
    } else if (!(real.value > low && real.value <= high)) {
        row.reject(column, quotedValue(*raw) + " is not " + rule);
    } else {
        return real.value;
    }
    return std::nullopt;
}

void readWhen(TreatmentRow& row, Treatment& t) {
    t.year = wholeFromOne(row, TreatmentColumn::year);
    t.age = wholeFromOne(row, TreatmentColumn::age);
    if (row.rejected()) return;
    if (t.year && t.age) row.reject(TreatmentColumn::age, "give either year or age, not both");
    if (!t.year && !t.age) row.reject(TreatmentColumn::year, "is empty: give either year or age");
    if (row.rejected() || row.value(TreatmentColumn::untilAge) == nullptr) return;
    if (!t.age) {
        row.reject(TreatmentColumn::untilAge, "applies only to a row by age");
        return;
    }
    t.untilAge = wholeFromOne(row, TreatmentColumn::untilAge);
    if (t.untilAge && *t.untilAge < *t.age) {
        row.reject(TreatmentColumn::untilAge, "\"" + std::to_string(*t.untilAge) +
                                                  "\" is below the age " + std::to_string(*t.age));
    }
}

void readThinning(TreatmentRow& row, Treatment& t, const ThinningQuotients& quotients) {
    const std::optional<double> trees =
        numberWithin(row, TreatmentColumn::removeTrees, 0, 100, "above 0 and at most 100 percent");
    const std::optional<double> basalArea = numberWithin(row, TreatmentColumn::removeBasalArea, 0,
                                                         100, "above 0 and below 100 percent");
    std::optional<double> residual;
    if (const RawValue* raw = row.value(TreatmentColumn::residualDensity)) {
        const auto whole = readWholeValue(*raw);
        if (!whole.problem.empty()) {
            row.reject(TreatmentColumn::residualDensity, whole.problem);
        } else if (whole.value < 0 || whole.value > 2147483647) {
            row.reject(TreatmentColumn::residualDensity,
                       quotedValue(*raw) + " is not a whole number of trees from 0");
        } else {
            residual = static_cast<double>(whole.value);
        }
    }
    if (trees && *trees >= 100) {
        row.reject(TreatmentColumn::removeTrees,
                   "100 percent of the trees is a clear-felling: use the action clearcut");
    }
    if (basalArea && *basalArea >= 100) {
        row.reject(TreatmentColumn::removeBasalArea,
                   "100 percent of the basal area is a clear-felling: use the action clearcut");
    }
    const int given =
        int{trees.has_value()} + int{basalArea.has_value()} + int{residual.has_value()};
    if (given != 1 && !row.rejected()) {
        row.reject(given == 0 ? TreatmentColumn::removeTrees : TreatmentColumn::residualDensity,
                   "a thinning takes exactly one of remove_trees, remove_basal_area and "
                   "residual_density");
    }
    if (trees) t.intensity = ThinningIntensity::removeTrees, t.amount = *trees;
    if (basalArea) t.intensity = ThinningIntensity::removeBasalArea, t.amount = *basalArea;
    if (residual) t.intensity = ThinningIntensity::residualDensity, t.amount = *residual;

    ThinningMethod method = ThinningMethod::below;
    const std::string methodText = row.text(TreatmentColumn::method);
    if (equalsIgnoringCase(methodText, "above")) {
        method = ThinningMethod::above;
    } else if (equalsIgnoringCase(methodText, "systematic")) {
        method = ThinningMethod::systematic;
    } else if (!methodText.empty() && !equalsIgnoringCase(methodText, "below")) {
        row.reject(TreatmentColumn::method,
                   quotedValue(methodText) + " is not a method: use below, above or systematic");
    }
    t.quotient = method == ThinningMethod::below   ? quotients.below
                 : method == ThinningMethod::above ? quotients.above
                                                   : quotients.systematic;
    if (const auto q = numberWithin(row, TreatmentColumn::quotient, 0, 1e300, "above 0")) {
        t.quotient = *q;
    }
    for (const TreatmentColumn column :
         {TreatmentColumn::regenerate, TreatmentColumn::regenerationStocking}) {
        if (row.value(column) != nullptr) {
            row.reject(column, "applies to a clear-felling only");
        }
    }
}

void readClearFelling(TreatmentRow& row, Treatment& t) {
    for (const TreatmentColumn column :
         {TreatmentColumn::removeTrees, TreatmentColumn::removeBasalArea,
          TreatmentColumn::residualDensity, TreatmentColumn::method, TreatmentColumn::quotient}) {
        if (row.value(column) != nullptr) {
            row.reject(column, "applies to a thinning only: a clear-felling removes every tree");
        }
    }
    const std::string planted = row.text(TreatmentColumn::regenerate);
    if (equalsIgnoringCase(planted, "same")) {
        t.regenerateSame = true;
    } else if (const RawValue* raw = row.value(TreatmentColumn::regenerate)) {
        const auto species = readSpeciesValue(*raw);
        if (!species.problem.empty()) {
            row.reject(TreatmentColumn::regenerate, quotedValue(*raw) +
                                                        " is not a species: use 1 to 4, a name "
                                                        "or same, or leave it empty");
        } else {
            t.regenerate = species.value;
        }
    }
    const bool regenerates = t.regenerate || t.regenerateSame;
    if (const auto stocking = numberWithin(row, TreatmentColumn::regenerationStocking, 0, 100,
                                           "above 0 and at most 100 percent")) {
        if (!regenerates) {
            row.reject(TreatmentColumn::regenerationStocking,
                       "applies only when the clear-felling is regenerated");
        }
        t.stocking = *stocking;
    }
}

// The treatment of one row, or its rejection in schedule.rejections.
void readRow(TreatmentSchedule& schedule, const TreatmentColumnMap& map, const RawRow& raw,
             const ThinningQuotients& quotients) {
    TreatmentRow row(map, raw);
    Treatment t;
    t.line = raw.line;
    const std::string scenario = row.text(TreatmentColumn::scenario);
    t.standId = row.text(TreatmentColumn::standId);
    // The scenario and the stand id reach the outputs: checked as a stand's id is.
    for (const TreatmentColumn column : {TreatmentColumn::scenario, TreatmentColumn::standId}) {
        const RawValue* raw = row.value(column);
        if (raw == nullptr) continue;
        if (std::string problem = writableTextProblem(*raw, row.text(column)); !problem.empty()) {
            row.reject(column, std::move(problem));
            if (column == TreatmentColumn::standId) t.standId.clear();
        }
    }
    if (scenario.empty()) {
        row.reject(TreatmentColumn::scenario, "is empty");
    } else if (equalsIgnoringCase(scenario, baselineScenario)) {
        row.reject(TreatmentColumn::scenario,
                   quotedValue(scenario) + " is reserved for the untreated baseline");
    }
    if (const RawValue* raw = row.value(TreatmentColumn::species)) {
        const auto species = readSpeciesValue(*raw);
        if (!species.problem.empty()) {
            row.reject(TreatmentColumn::species, species.problem);
        } else if (!t.standId.empty()) {
            row.reject(TreatmentColumn::species,
                       "narrows only a treatment of every stand (an empty stand_id)");
        } else {
            t.species = species.value;
        }
    }
    readWhen(row, t);
    const std::string action = row.text(TreatmentColumn::action);
    if (equalsIgnoringCase(action, "thin")) {
        t.action = TreatmentAction::thin;
        readThinning(row, t, quotients);
    } else if (equalsIgnoringCase(action, "clearcut")) {
        t.action = TreatmentAction::clearcut;
        readClearFelling(row, t);
    } else {
        row.reject(TreatmentColumn::action,
                   action.empty() ? "is empty" : quotedValue(action) + " is not thin or clearcut");
    }
    if (row.rejected()) {
        schedule.rejections.push_back(row.rejection(schedule.fileName, t.standId));
        return;
    }
    const auto known = std::find(schedule.scenarios.begin(), schedule.scenarios.end(), scenario);
    t.scenario = static_cast<std::size_t>(known - schedule.scenarios.begin());
    if (known == schedule.scenarios.end()) schedule.scenarios.push_back(scenario);
    const std::size_t index = schedule.treatments.size();
    if (t.standId.empty()) {
        schedule.everyStand.push_back(index);
    } else {
        schedule.byStand[t.standId].push_back(index);
    }
    schedule.treatments.push_back(std::move(t));
}

}  // namespace

TreatmentSchedule baselineOnly() {
    TreatmentSchedule schedule;
    schedule.scenarios.emplace_back(baselineScenario);
    return schedule;
}

namespace {

TreatmentSchedule readSchedule(const std::string& fileName, InputEncoding encoding,
                               const ThinningQuotients& quotients, const ScheduleFileKind& kind,
                               const char* table) {
    TreatmentSchedule schedule = baselineOnly();
    schedule.fileName = fileName;
    const auto source = openStandSource(fileName, encoding, SourceTuning{.table = table});
    const TreatmentColumnMap map = mapColumns(source->header(), fileName, kind);
    RawRow row;
    while (source->next(row))
        readRow(schedule, map, row, quotients);
    return schedule;
}

}  // namespace

TreatmentSchedule readTreatments(const std::string& fileName, InputEncoding encoding,
                                 const ThinningQuotients& quotients) {
    return readSchedule(fileName, encoding, quotients, treatmentsFile, "treatments");
}

TreatmentSchedule readRegimes(const std::string& fileName, InputEncoding encoding,
                              const ThinningQuotients& quotients) {
    return readSchedule(fileName, encoding, quotients, regimesFile, "regimes");
}

std::vector<const Treatment*> treatmentsOf(const TreatmentSchedule& schedule, std::size_t scenario,
                                           const std::string& standId) {
    std::vector<const Treatment*> found;
    const auto add = [&](std::size_t index) {
        if (schedule.treatments[index].scenario == scenario) {
            found.push_back(&schedule.treatments[index]);
        }
    };
    for (const std::size_t index : schedule.everyStand)
        add(index);
    if (const auto named = schedule.byStand.find(standId); named != schedule.byStand.end()) {
        for (const std::size_t index : named->second)
            add(index);
    }
    std::stable_sort(found.begin(), found.end(),
                     [](const Treatment* a, const Treatment* b) { return a->line < b->line; });
    return found;
}

}  // namespace arbora
