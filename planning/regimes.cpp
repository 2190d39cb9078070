#include "planning/regimes.h"

#include <algorithm>
#include <optional>

namespace arbora {
namespace {

bool appliesTo(const Treatment& t, std::int32_t species) {
    return !t.species || *t.species == species;
}

// The regime's rows in file order.
std::vector<const Treatment*> rowsOf(const TreatmentSchedule& regimes, std::size_t regime) {
    std::vector<const Treatment*> rows;
    for (const Treatment& t : regimes.treatments) {
        if (t.scenario == regime) rows.push_back(&t);
    }
    return rows;
}

// Follows the cohorts of a stand through a regime's rows year by year.
class ScheduleWalk {
  public:
    ScheduleWalk(const InventoryStand& stand, std::int32_t start)
        : species_(stand.species), birth_(-std::int64_t{stand.standAge}), start_(start) {}

    std::vector<Treatment> walk(const std::vector<const Treatment*>& rows, std::int32_t lastYear) {
        // The greatest age the measured cohort is already past at the start.
        std::optional<std::int32_t> pastAge;
        for (const Treatment* t : rows) {
            if (t->age && appliesTo(*t, species_) && birth_ + *t->age <= start_)
                pastAge = std::max(pastAge.value_or(0), *t->age);
        }
        std::vector<Treatment> done;
        for (std::int64_t year = std::int64_t{start_} + 1; year <= lastYear; ++year) {
            for (const Treatment* t : rows) {
                if (!dueAt(*t, year, pastAge) || !appliesTo(*t, species_)) continue;
                done.push_back(asYearRow(*t, year));
                if (t->action == TreatmentAction::clearcut) fell(*t, year);
            }
        }
        return done;
    }

  private:
    bool dueAt(const Treatment& t, std::int64_t year,
               const std::optional<std::int32_t>& pastAge) const {
        if (t.year) return std::int64_t{*t.year} + start_ == year;
        if (felled_) return false;
        if (birth_ + *t.age == year) return true;
        // Caught up at the first year after the start, while the measured cohort stands.
        return year == start_ + 1 && !replanted_ && pastAge && *t.age == *pastAge;
    }

    static Treatment asYearRow(const Treatment& t, std::int64_t year) {
        Treatment row = t;
        row.year = static_cast<std::int32_t>(year);
        row.age.reset();
        row.species.reset();
        return row;
    }

    void fell(const Treatment& t, std::int64_t year) {
        if (!t.regenerate && !t.regenerateSame) {
            felled_ = true;
            return;
        }
        if (t.regenerate) species_ = *t.regenerate;
        birth_ = year;
        replanted_ = true;
    }

    std::int32_t species_;
    std::int64_t birth_;  // the cohort's age at year y is y - birth_
    std::int32_t start_;
    bool felled_ = false;     // clear-felled and not planted
    bool replanted_ = false;  // the measured cohort is gone
};

// The period of a removal's year: the first listed year not before it (from 1); 0 when
// it lies outside the periods.
std::size_t periodOf(const std::vector<std::int32_t>& years, std::int32_t year) {
    if (year <= years.front() || year > years.back()) return 0;
    return static_cast<std::size_t>(std::lower_bound(years.begin(), years.end(), year) -
                                    years.begin());
}

void addAssortments(AssortmentVolumes& to, const AssortmentVolumes& from, double area) {
    to.roughTimber += from.roughTimber * area;
    to.timberMachining += from.timberMachining * area;
    to.fuelWood += from.fuelWood * area;
    to.wasteWood += from.wasteWood * area;
    to.unsorted += from.unsorted * area;
}

// The wood products' carbon at each listed year, t C over the stand's area.
void addProductCarbon(PlanYield& y, const ScenarioProjection& projection,
                      const InventoryStand& stand, const std::string& regime,
                      const YieldSettings& settings) {
    if (projection.removals.empty()) return;
    ProductsLedger ledger(settings.products, settings.years.back());
    ledger.addScenario(regime);
    for (const Removal& removal : projection.removals)
        ledger.addRemoval(removal, stand.area);
    const std::vector<ProductsRow> rows = ledger.rows();
    for (std::size_t i = 0; i < settings.years.size(); ++i)
        y.productCarbon[i] = productsCarbon(rows, regime, settings.years[i]);
}

// NPV, liquidation value and each period's revenue and costs, from the finance model.
std::optional<Problem> addMoney(PlanYield& y, const ScenarioProjection& projection,
                                const InventoryStand& stand, const std::string& regime,
                                const YieldSettings& settings) {
    const Prices& prices = *settings.prices;
    const std::vector<std::int32_t>& years = settings.years;
    const ProjectionRow& last = projection.rows.back();
    StandAccounts accounts{
        .scenario = regime,
        .standId = stand.standId,
        .area = stand.area,
        .horizon = years.back(),
        .removals = projection.removals,
        .standing = {last.species, stand.outputClass.value_or(defaultOutputClass),
                     last.averageDiameter, last.standVolume}};
    const auto whole = standFinance(accounts, prices);
    if (const auto* problem = std::get_if<Problem>(&whole))
        return Problem{.message = problem->message};
    y.npv = std::get<FinanceRow>(whole).npv * stand.area;
    y.liquidation = std::get<FinanceRow>(whole).liquidationValue * stand.area;
    // A period's money: its removals' revenue and costs, and management for its years
    // (the costs up to its end less the management of the years before it).
    const double management = prices.general[static_cast<std::size_t>(PriceItem::managementCost)];
    const auto& removals = projection.removals;
    auto from = removals.begin();
    for (std::size_t p = 1; p < years.size(); ++p) {
        auto to =
            std::find_if(from, removals.end(), [&](const Removal& r) { return r.year > years[p]; });
        accounts.removals = std::span<const Removal>(from, to);
        accounts.horizon = years[p];
        accounts.standing = {};
        const auto period = standFinance(accounts, prices);
        if (const auto* problem = std::get_if<Problem>(&period))
            return Problem{.message = problem->message};
        const FinanceRow& row = std::get<FinanceRow>(period);
        y.revenue[p - 1] = row.revenue * stand.area;
        y.costs[p - 1] = (row.costs - management * years[p - 1]) * stand.area;
        from = to;
    }
    return std::nullopt;
}

}  // namespace

std::vector<RegimeOffer> regimeOffers(const TreatmentSchedule& regimes,
                                      const std::vector<std::int32_t>& starts) {
    std::vector<RegimeOffer> offers{{0, 0, std::string(baselineScenario)}};
    for (std::size_t r = 1; r < regimes.scenarios.size(); ++r) {
        for (const std::int32_t s : starts) {
            offers.push_back(
                {r, s,
                 s == 0 ? regimes.scenarios[r] : regimes.scenarios[r] + "@" + std::to_string(s)});
        }
    }
    return offers;
}

bool regimeSuits(const TreatmentSchedule& regimes, std::size_t regime, std::int32_t species) {
    if (regime == 0) return true;
    return std::any_of(
        regimes.treatments.begin(), regimes.treatments.end(),
        [&](const Treatment& t) { return t.scenario == regime && appliesTo(t, species); });
}

std::vector<Treatment> standSchedule(const TreatmentSchedule& regimes, const RegimeOffer& offer,
                                     const InventoryStand& stand, std::int32_t lastYear) {
    if (offer.regime == 0) return {};
    std::vector<Treatment> rows =
        ScheduleWalk(stand, offer.start).walk(rowsOf(regimes, offer.regime), lastYear);
    for (Treatment& t : rows)
        t.standId = stand.standId;
    return rows;
}

std::variant<RegimeRun, Problem> regimeYield(InventoryProjector& projector,
                                             const InventoryStand& stand,
                                             const std::vector<Treatment>& treatments,
                                             const std::string& regime,
                                             const YieldSettings& settings) {
    std::vector<const Treatment*> list;
    for (const Treatment& t : treatments)
        list.push_back(&t);
    RegimeRun run;
    if (auto problem =
            projectScenario(projector, stand, list, settings.years, regime, run.projection))
        return std::move(*problem);
    for (const ProjectionRow& row : run.projection.rows) {
        if (const auto name = firstNonFinite(row))
            return Problem{.message = "its " + std::string(*name) + " is not a finite number"};
    }
    PlanYield& y = run.yield;
    y = PlanYield::zero(settings.years.size());
    for (std::size_t i = 0; i < settings.years.size(); ++i) {
        y.standing[i] = run.projection.rows[i].standVolume * stand.area;
        y.forestCarbon[i] = run.projection.rows[i].carbon.stand * stand.area;
    }
    for (const Removal& removal : run.projection.removals) {
        const std::size_t p = periodOf(settings.years, removal.year);
        if (p == 0) continue;
        y.removed[p - 1] += removal.volume * stand.area;
        addAssortments(y.assortments[p - 1], removal.assortments, stand.area);
    }
    addProductCarbon(y, run.projection, stand, regime, settings);
    if (settings.prices) {
        if (auto problem = addMoney(y, run.projection, stand, regime, settings))
            return std::move(*problem);
    }
    return run;
}

}  // namespace arbora
