#include "accounting/finance.h"

#include <cmath>

#include "inventory/number_text.h"
#include "inventory/stand_columns.h"

namespace arbora {
namespace {

constexpr std::size_t indexOf(PriceItem item) {
    return static_cast<std::size_t>(item);
}

std::optional<PriceItem> itemOfName(std::string_view name) {
    for (std::size_t i = 0; i < priceItemCount; ++i) {
        if (equalsIgnoringCase(name, priceItems[i].name)) return static_cast<PriceItem>(i);
    }
    return std::nullopt;
}

// One row of a prices file read: the item, the species (0 for all) and the value.
struct PriceSetting {
    PriceItem item = PriceItem::roughTimber;
    std::int32_t species = 0;
    double value = 0;
    std::optional<std::string> currency{};  // the row `currency`, instead of an item
};

constexpr std::string_view currencyItem = "currency";

struct PriceRefusal {
    enum class Column { item, value, species } column;
    std::string reason;
};

std::variant<PriceSetting, PriceRefusal> readPriceRow(const ItemRow& row) {
    using Column = PriceRefusal::Column;
    if (row.item.empty()) return PriceRefusal{Column::item, "is empty"};
    if (equalsIgnoringCase(row.item, currencyItem)) {
        if (!row.species.empty()) {
            return PriceRefusal{Column::species,
                                "currency is one value for all species: leave species empty"};
        }
        if (row.value.empty()) return PriceRefusal{Column::value, "is empty"};
        return PriceSetting{.currency = row.value};
    }
    const auto item = itemOfName(row.item);
    if (!item) {
        return PriceRefusal{
            Column::item,
            quotedValue(row.item) +
                " is not a price item: use rough_timber, timber_machining, fuel_wood, "
                "waste_wood, unsorted, harvesting_cost, thinning_cost, clearcut_cost, "
                "regeneration_cost, management_cost, discount_rate or currency"};
    }
    PriceSetting setting{.item = *item};
    if (!row.species.empty()) {
        if (!priceItems[indexOf(*item)].bySpecies) {
            return PriceRefusal{Column::species, std::string(priceItems[indexOf(*item)].name) +
                                                     " is one value for all species: leave species "
                                                     "empty"};
        }
        const auto species = speciesOfText(row.species);
        if (!species) {
            return PriceRefusal{
                Column::species,
                quotedValue(row.species) +
                    " is not a species: use 1 to 4, the Latin name or the Chinese name"};
        }
        setting.species = *species;
    }
    if (row.value.empty()) return PriceRefusal{Column::value, "is empty"};
    const NumberReading value = readInventoryNumber(row.value);
    if (!value.value) return PriceRefusal{Column::value, value.problem};
    if (*item == PriceItem::discountRate) {
        if (!(*value.value > -100))
            return PriceRefusal{Column::value, quotedValue(row.value) + " is not above -100"};
    } else if (*value.value < 0) {
        return PriceRefusal{Column::value, quotedValue(row.value) + " is below 0"};
    }
    setting.value = *value.value;
    return setting;
}

// Discount factors (1 + r)^-k for a rate in percent.
struct Discount {
    double base;  // 1 + r
    double factor(std::int32_t year) const { return std::pow(base, -static_cast<double>(year)); }
};

Discount discountOf(const Prices& prices) {
    return {1 + prices.general[indexOf(PriceItem::discountRate)] / 100};
}

double rateOf(const Prices& prices) {
    return prices.general[indexOf(PriceItem::discountRate)] / 100;
}

// The assortments of a volume times the prices of the species.
double saleValue(const AssortmentVolumes& volumes, std::int32_t species, const Prices& prices) {
    double value = 0;
    for (std::size_t a = 0; a < assortmentCount; ++a) {
        value += volumes.*assortmentDefinitions[a].volume *
                 priceOf(prices, species, static_cast<PriceItem>(a));
    }
    return value;
}

// Harvesting and the treatment's own cost, without planting.
double fellingCost(const Removal& removal, const Prices& prices) {
    const PriceItem treatment =
        removal.action == TreatmentAction::thin ? PriceItem::thinningCost : PriceItem::clearcutCost;
    return priceOf(prices, removal.species, PriceItem::harvestingCost) * removal.volume +
           priceOf(prices, removal.species, treatment);
}

double plantingCost(const Removal& removal, const Prices& prices) {
    return removal.action == TreatmentAction::clearcut && removal.regenerated
               ? prices.general[indexOf(PriceItem::regenerationCost)]
               : 0.0;
}

// Sum of (1 + r)^-j for the years 1 to n: what a yearly payment of 1 is worth today.
double yearlyPaymentsFactor(const Discount& discount, std::int32_t years) {
    double sum = 0;
    for (std::int32_t year = 1; year <= years; ++year)
        sum += discount.factor(year);
    return sum;
}

double liquidationValue(const StandingWood& standing, std::int32_t horizon, const Prices& prices) {
    if (!(standing.volume > 0)) return 0;
    const AssortmentVolumes sorted = sortIntoAssortments(standing.species, standing.outputClass,
                                                         standing.diameter, standing.volume);
    const double value =
        saleValue(sorted, standing.species, prices) -
        priceOf(prices, standing.species, PriceItem::harvestingCost) * standing.volume -
        priceOf(prices, standing.species, PriceItem::clearcutCost);
    if (!(value > 0)) return 0;  // a sale at a loss: the owner keeps the trees
    return value * discountOf(prices).factor(horizon);
}

bool inAccounts(const Removal& removal, std::int32_t horizon) {
    return removal.year >= 0 && removal.year <= horizon;
}

// The price items that enter one money value of a stand, those not 0 for the species
// concerned, e.g. "rough_timber, harvesting_cost, discount_rate".
class ItemsUsed {
  public:
    ItemsUsed(const StandAccounts& stand, const Prices& prices) : stand_(stand), prices_(prices) {}

    // Which items a value takes: from the removals, the yearly management, the standing
    // wood, and the discounting.
    std::string names(bool removals, bool management, bool standing, bool discounted) const {
        std::array<bool, priceItemCount> used{};
        const auto use = [&](PriceItem item, std::int32_t species) {
            if (priceOf(prices_, species, item) != 0) used[indexOf(item)] = true;
        };
        for (const Removal& removal : stand_.removals) {
            if (!removals || !inAccounts(removal, stand_.horizon)) continue;
            for (std::size_t a = 0; a < assortmentCount; ++a)
                use(static_cast<PriceItem>(a), removal.species);
            use(PriceItem::harvestingCost, removal.species);
            use(removal.action == TreatmentAction::thin ? PriceItem::thinningCost
                                                        : PriceItem::clearcutCost,
                removal.species);
            if (removal.regenerated) use(PriceItem::regenerationCost, 0);
        }
        if (management) use(PriceItem::managementCost, 0);
        if (standing && stand_.standing.volume > 0) {
            const std::int32_t species = stand_.standing.species;
            for (std::size_t a = 0; a < assortmentCount; ++a)
                use(static_cast<PriceItem>(a), species);
            use(PriceItem::harvestingCost, species);
            use(PriceItem::clearcutCost, species);
        }
        if (discounted) use(PriceItem::discountRate, 0);
        std::string text;
        for (std::size_t i = 0; i < priceItemCount; ++i) {
            if (used[i]) text += (text.empty() ? "" : ", ") + std::string(priceItems[i].name);
        }
        return text;
    }

  private:
    const StandAccounts& stand_;
    const Prices& prices_;
};

// Why a row's money is not all finite numbers: the first value that is not, and the
// price items it comes from; nothing when all are.
std::optional<std::string> nonFiniteMoney(const FinanceRow& row, const StandAccounts& stand,
                                          const Prices& prices) {
    struct Value {
        const char* name;
        bool finite, removals, management, standing, discounted;
    };
    const Value values[] = {
        {"revenue", std::isfinite(row.revenue), true, false, false, false},
        {"costs", std::isfinite(row.costs), true, true, false, false},
        {"net cash flow", std::isfinite(row.netCashFlow), true, true, false, false},
        {"net present value", std::isfinite(row.npv), true, true, false, true},
        {"liquidation value", std::isfinite(row.liquidationValue), false, false, true, true},
        {"net present value with the liquidation value", std::isfinite(row.npvWithLiquidation),
         true, true, true, true},
        {"land expectation value", !row.lev || std::isfinite(*row.lev), true, true, false, true},
    };
    for (const Value& v : values) {
        if (v.finite) continue;
        std::string reason =
            "the " + std::string(v.name) + " exceeds the largest number: see the price items " +
            ItemsUsed(stand, prices).names(v.removals, v.management, v.standing, v.discounted);
        if (v.discounted && rateOf(prices) < 0) {
            reason += " (a discount rate below 0 makes each year's money grow over the " +
                      std::to_string(stand.horizon) + " years)";
        }
        return reason;
    }
    return std::nullopt;
}

}  // namespace

double priceOf(const Prices& prices, std::int32_t species, PriceItem item) {
    if (isKnownSpecies(species)) {
        if (const auto& own =
                prices.bySpecies[static_cast<std::size_t>(species - 1)][indexOf(item)])
            return *own;
    }
    return prices.general[indexOf(item)];
}

std::variant<Prices, std::vector<Problem>> readPricesFile(const std::string& fileName,
                                                          InputEncoding encoding) {
    return readPricesItems(readItemFile(fileName, encoding, SpeciesColumn::allowed), fileName);
}

std::variant<Prices, std::vector<Problem>> readPricesItems(
    const std::variant<ItemFile, Problem>& read, const std::string& fileName) {
    if (const auto* problem = std::get_if<Problem>(&read)) {
        return std::vector<Problem>{*problem};
    }
    const ItemFile& file = std::get<ItemFile>(read);
    Prices prices;
    // The line each item was given on, for all species (0) and for each: 0 when not yet.
    std::array<std::array<std::int64_t, priceItemCount>, speciesCount + 1> givenOn{};
    std::int64_t currencyLine = 0;
    std::vector<Problem> problems;
    const auto refuse = [&](const ItemRow& row, const PriceRefusal& refusal) {
        const std::string& column = refusal.column == PriceRefusal::Column::item ? file.itemColumn
                                    : refusal.column == PriceRefusal::Column::value
                                        ? file.valueColumn
                                        : file.speciesColumn;
        problems.push_back(
            {.message = refusal.reason, .file = fileName, .line = row.line, .column = column});
    };
    for (const ItemRow& row : file.rows) {
        const auto read = readPriceRow(row);
        if (const auto* refusal = std::get_if<PriceRefusal>(&read)) {
            refuse(row, *refusal);
            continue;
        }
        const PriceSetting& setting = std::get<PriceSetting>(read);
        if (setting.currency) {
            if (currencyLine != 0) {
                refuse(row, {PriceRefusal::Column::item, "currency is given twice (first on line " +
                                                             std::to_string(currencyLine) + ")"});
                continue;
            }
            currencyLine = row.line;
            prices.currency = *setting.currency;
            continue;
        }
        std::int64_t& given =
            givenOn[static_cast<std::size_t>(setting.species)][indexOf(setting.item)];
        if (given != 0) {
            const std::string forWhom =
                setting.species == 0 ? "" : " for " + std::string(speciesName(setting.species));
            refuse(row, {PriceRefusal::Column::item,
                         std::string(priceItems[indexOf(setting.item)].name) + forWhom +
                             " is given twice (first on line " + std::to_string(given) + ")"});
            continue;
        }
        given = row.line;
        if (setting.species == 0) {
            prices.general[indexOf(setting.item)] = setting.value;
        } else {
            prices.bySpecies[static_cast<std::size_t>(setting.species - 1)][indexOf(setting.item)] =
                setting.value;
        }
    }
    if (!problems.empty()) return problems;
    return prices;
}

std::variant<FinanceRow, Problem> standFinance(const StandAccounts& stand, const Prices& prices) {
    const Discount discount = discountOf(prices);
    FinanceRow row{.scenario = stand.scenario, .standId = stand.standId, .area = stand.area};
    double treatmentsCosts = 0;
    double treatmentsNpv = 0;
    for (const Removal& removal : stand.removals) {
        if (!inAccounts(removal, stand.horizon)) continue;
        const double revenue = saleValue(removal.assortments, removal.species, prices);
        const double cost = fellingCost(removal, prices) + plantingCost(removal, prices);
        row.revenue += revenue;
        treatmentsCosts += cost;
        treatmentsNpv += (revenue - cost) * discount.factor(removal.year);
    }
    const double management = prices.general[indexOf(PriceItem::managementCost)];
    const std::int32_t years = stand.horizon > 0 ? stand.horizon : 0;
    row.costs = treatmentsCosts + management * years;
    row.netCashFlow = row.revenue - row.costs;
    row.npv = treatmentsNpv - management * yearlyPaymentsFactor(discount, years);
    row.liquidationValue = liquidationValue(stand.standing, stand.horizon, prices);
    row.npvWithLiquidation = row.npv + row.liquidationValue;
    row.lev = landExpectation(stand.removals, stand.horizon, prices);
    if (auto reason = nonFiniteMoney(row, stand, prices)) {
        return Problem{
            .message = std::move(*reason), .standId = stand.standId, .scenario = stand.scenario};
    }
    return row;
}

std::optional<double> landExpectation(std::span<const Removal> removals, std::int32_t horizon,
                                      const Prices& prices) {
    const double rate = rateOf(prices);
    if (!(rate > 0)) return std::nullopt;
    std::size_t first = 0;
    while (first < removals.size() &&
           !(removals[first].action == TreatmentAction::clearcut && removals[first].regenerated &&
             inAccounts(removals[first], horizon)))
        ++first;
    if (first == removals.size()) return std::nullopt;
    const Discount discount = discountOf(prices);
    const std::int32_t planted = removals[first].year;
    double value = -plantingCost(removals[first], prices);
    for (std::size_t i = first + 1; i < removals.size(); ++i) {
        const Removal& removal = removals[i];
        if (!inAccounts(removal, horizon)) return std::nullopt;
        const double net =
            saleValue(removal.assortments, removal.species, prices) - fellingCost(removal, prices);
        value += net * discount.factor(removal.year - planted);
        if (removal.action != TreatmentAction::clearcut) continue;
        // The rotation ends here; it repeats only if this felling is planted again.
        const std::int32_t rotation = removal.year - planted;
        if (!removal.regenerated || rotation < 1) return std::nullopt;
        const double management = prices.general[indexOf(PriceItem::managementCost)];
        value -= management * yearlyPaymentsFactor(discount, rotation);
        const double growth = std::pow(discount.base, static_cast<double>(rotation));
        if (!(growth > 1)) return std::nullopt;  // a rate too small to tell from 0
        return value * growth / (growth - 1);
    }
    return std::nullopt;
}

void setNpvDifferences(std::span<FinanceRow> rows) {
    const FinanceRow* baseline = nullptr;
    for (const FinanceRow& row : rows) {
        if (row.scenario == baselineScenario) baseline = &row;
    }
    for (FinanceRow& row : rows) {
        row.npvDifference =
            baseline ? std::optional<double>(row.npv - baseline->npv) : std::nullopt;
        row.npvWithLiquidationDifference =
            baseline ? std::optional<double>(row.npvWithLiquidation - baseline->npvWithLiquidation)
                     : std::nullopt;
    }
}

void FinanceTotals::add(const FinanceRow& stand) {
    FinanceRow* total = nullptr;
    for (FinanceRow& known : totals_) {
        if (known.scenario == stand.scenario) total = &known;
    }
    if (total == nullptr) total = &totals_.emplace_back(FinanceRow{.scenario = stand.scenario});
    total->area += stand.area;
    total->revenue += stand.revenue * stand.area;
    total->costs += stand.costs * stand.area;
    total->netCashFlow += stand.netCashFlow * stand.area;
    total->npv += stand.npv * stand.area;
    total->liquidationValue += stand.liquidationValue * stand.area;
    total->npvWithLiquidation += stand.npvWithLiquidation * stand.area;
}

std::vector<FinanceRow> FinanceTotals::rows() const {
    std::vector<FinanceRow> rows = totals_;
    setNpvDifferences(rows);
    return rows;
}

std::vector<RunParameter> financeRunParameters(const Prices& prices) {
    std::vector<RunParameter> parameters;
    for (std::size_t i = 0; i < priceItemCount; ++i) {
        const std::string name = "prices." + std::string(priceItems[i].name);
        parameters.push_back({name, shortestText(prices.general[i])});
        for (std::int32_t species = 1; species <= speciesCount; ++species) {
            if (const auto& own = prices.bySpecies[static_cast<std::size_t>(species - 1)][i]) {
                parameters.push_back(
                    {name + " (" + std::string(speciesName(species)) + ")", shortestText(*own)});
            }
        }
    }
    if (!prices.currency.empty()) parameters.push_back({"prices.currency", prices.currency});
    return parameters;
}

}  // namespace arbora
