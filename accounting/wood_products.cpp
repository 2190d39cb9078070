#include "accounting/wood_products.h"

#include <cmath>
#include <optional>

#include "inventory/number_text.h"
#include "inventory/stand_columns.h"

namespace arbora {
namespace {

constexpr std::size_t indexOf(ProductPool pool) {
    return static_cast<std::size_t>(pool);
}

std::optional<ProductPool> poolOfName(std::string_view name) {
    for (std::size_t p = 0; p < productPoolCount; ++p) {
        if (equalsIgnoringCase(name, productPools[p].name)) return static_cast<ProductPool>(p);
    }
    return std::nullopt;
}

std::optional<std::size_t> assortmentOfName(std::string_view name) {
    for (std::size_t a = 0; a < assortmentCount; ++a) {
        if (equalsIgnoringCase(name, assortmentDefinitions[a].name)) return a;
    }
    return std::nullopt;
}

// What one row of a products file changes; `where` names the setting, so that a second
// row for it is caught.
struct ProductsChange {
    std::size_t where = 0;  // an assortment, or assortmentCount + a pool
    ProductPool pool = ProductPool::emitted;
    double halfLife = 0;
};

// Why a row is refused, and whether its value (rather than its item) is at fault.
struct ProductsRefusal {
    bool inValue = false;
    std::string reason;
};

std::variant<ProductsChange, ProductsRefusal> readProductsRow(const ItemRow& row) {
    if (row.item.empty()) return ProductsRefusal{false, "is empty"};
    if (row.value.empty()) return ProductsRefusal{true, "is empty"};
    if (const auto assortment = assortmentOfName(row.item)) {
        const auto pool = poolOfName(row.value);
        if (!pool) {
            return ProductsRefusal{
                true,
                quotedValue(row.value) + " is not a pool: use sawnwood, panels, paper or emitted"};
        }
        return ProductsChange{.where = *assortment, .pool = *pool};
    }
    const auto pool = poolOfName(row.item);
    if (!pool) {
        return ProductsRefusal{false,
                               quotedValue(row.item) +
                                   " is neither an assortment (rough_timber, timber_machining, "
                                   "fuel_wood, waste_wood, unsorted) nor a pool (sawnwood, "
                                   "panels, paper)"};
    }
    if (*pool == ProductPool::emitted) {
        return ProductsRefusal{false, "emitted has no half-life: its carbon leaves at once"};
    }
    const NumberReading halfLife = readInventoryNumber(row.value);
    if (!halfLife.value) return ProductsRefusal{true, halfLife.problem};
    if (!(*halfLife.value > 0))
        return ProductsRefusal{true, quotedValue(row.value) + " is not above 0"};
    return ProductsChange{.where = assortmentCount + indexOf(*pool), .halfLife = *halfLife.value};
}

}  // namespace

std::string_view poolName(ProductPool pool) {
    return productPools[indexOf(pool)].name;
}

ProductsSettings defaultProductsSettings() {
    ProductsSettings settings{};
    for (std::size_t a = 0; a < assortmentCount; ++a)
        settings.routing[a] = assortmentDefinitions[a].defaultPool;
    for (std::size_t p = 0; p < productPoolCount; ++p)
        settings.halfLife[p] = productPools[p].halfLife;
    return settings;
}

std::variant<ProductsSettings, std::vector<Problem>> readProductsFile(const std::string& fileName,
                                                                      InputEncoding encoding) {
    return readProductsItems(readItemFile(fileName, encoding, SpeciesColumn::refused), fileName);
}

std::variant<ProductsSettings, std::vector<Problem>> readProductsItems(
    const std::variant<ItemFile, Problem>& read, const std::string& fileName) {
    if (const auto* problem = std::get_if<Problem>(&read)) {
        return std::vector<Problem>{*problem};
    }
    const ItemFile& file = std::get<ItemFile>(read);
    ProductsSettings settings = defaultProductsSettings();
    std::array<std::int64_t, assortmentCount + productPoolCount> givenOn{};  // line, 0: not yet
    std::vector<Problem> problems;
    for (const ItemRow& row : file.rows) {
        const auto change = readProductsRow(row);
        if (const auto* refusal = std::get_if<ProductsRefusal>(&change)) {
            problems.push_back({.message = refusal->reason,
                                .file = fileName,
                                .line = row.line,
                                .column = refusal->inValue ? file.valueColumn : file.itemColumn});
            continue;
        }
        const ProductsChange& set = std::get<ProductsChange>(change);
        if (givenOn[set.where] != 0) {
            problems.push_back({.message = quotedValue(row.item) +
                                           " is given twice (first on line " +
                                           std::to_string(givenOn[set.where]) + ")",
                                .file = fileName,
                                .line = row.line,
                                .column = file.itemColumn});
            continue;
        }
        givenOn[set.where] = row.line;
        if (set.where < assortmentCount) {
            settings.routing[set.where] = set.pool;
        } else {
            settings.halfLife[set.where - assortmentCount] = set.halfLife;
        }
    }
    if (!problems.empty()) return problems;
    return settings;
}

PoolCarbon routeRemoval(const Removal& removal, const ProductsSettings& settings) {
    PoolCarbon pools{};
    double sorted = 0;
    for (const AssortmentDefinition& assortment : assortmentDefinitions)
        sorted += removal.assortments.*assortment.volume;
    auto& emitted = pools[indexOf(ProductPool::emitted)];
    if (sorted > 0) {
        for (std::size_t a = 0; a < assortmentCount; ++a) {
            const double share = removal.assortments.*assortmentDefinitions[a].volume / sorted;
            pools[indexOf(settings.routing[a])] += removal.carbon.stem * share;
        }
    } else {
        emitted += removal.carbon.stem;
    }
    const BiomassComponents& carbon = removal.carbon;
    emitted += carbon.bark + carbon.branch + carbon.foliage + carbon.root;
    return pools;
}

DecayYear decayYear(double halfLife, double stockBefore, double inflow) {
    if (!(halfLife > 0)) return {0, stockBefore + inflow};
    const double k = std::log(2.0) / halfLife;
    const double stockAfter = std::exp(-k) * stockBefore + (-std::expm1(-k) / k) * inflow;
    return {stockAfter, stockBefore + inflow - stockAfter};
}

ProductsLedger::ProductsLedger(ProductsSettings settings, std::int32_t lastYear)
    : settings_(settings), lastYear_(lastYear < 0 ? 0 : lastYear) {}

ProductsLedger::Scenario& ProductsLedger::scenario(const std::string& name) {
    for (Scenario& known : scenarios_) {
        if (known.name == name) return known;
    }
    scenarios_.push_back({name, std::vector<PoolCarbon>(static_cast<std::size_t>(lastYear_) + 1)});
    return scenarios_.back();
}

void ProductsLedger::addScenario(const std::string& name) {
    scenario(name);
}

void ProductsLedger::addRemoval(const Removal& removal, double area) {
    Scenario& into = scenario(removal.scenario);
    if (removal.year < 0 || removal.year > lastYear_) return;
    const PoolCarbon pools = routeRemoval(removal, settings_);
    PoolCarbon& year = into.inflow[static_cast<std::size_t>(removal.year)];
    for (std::size_t p = 0; p < productPoolCount; ++p)
        year[p] += pools[p] * area;
}

std::vector<ProductsRow> ProductsLedger::rows() const {
    std::vector<ProductsRow> rows;
    rows.reserve(scenarios_.size() * (static_cast<std::size_t>(lastYear_) + 1) * productPoolCount);
    for (const Scenario& scenario : scenarios_) {
        PoolCarbon stock{};
        for (std::int32_t year = 0; year <= lastYear_; ++year) {
            const PoolCarbon& inflow = scenario.inflow[static_cast<std::size_t>(year)];
            for (std::size_t p = 0; p < productPoolCount; ++p) {
                const DecayYear decay = decayYear(settings_.halfLife[p], stock[p], inflow[p]);
                stock[p] = decay.stockAfter;
                rows.push_back({scenario.name, year, static_cast<ProductPool>(p), inflow[p],
                                decay.stockAfter, decay.emission});
            }
        }
    }
    return rows;
}

double productsCarbon(const std::vector<ProductsRow>& rows, std::string_view scenario,
                      std::int32_t year) {
    // The rows hold each scenario's years 0 to the last, each year's pools in order: one
    // block a scenario, found by its first row, then the year's rows by their place.
    if (rows.empty()) return 0;
    const std::int32_t lastYear = rows.back().year;
    if (year < 0 || year > lastYear) return 0;
    const std::size_t block = (static_cast<std::size_t>(lastYear) + 1) * productPoolCount;
    for (std::size_t start = 0; start < rows.size(); start += block) {
        if (rows[start].scenario != scenario) continue;
        double carbon = 0;
        const std::size_t at = start + static_cast<std::size_t>(year) * productPoolCount;
        for (std::size_t p = 0; p < productPoolCount; ++p)
            carbon += rows[at + p].stock;
        return carbon;
    }
    return 0;
}

std::vector<RunParameter> productsRunParameters(const ProductsSettings& settings) {
    std::vector<RunParameter> parameters;
    for (std::size_t p = 0; p < productPoolCount; ++p) {
        if (static_cast<ProductPool>(p) == ProductPool::emitted) continue;
        parameters.push_back({"products.half_life." + std::string(productPools[p].name),
                              shortestText(settings.halfLife[p])});
    }
    for (std::size_t a = 0; a < assortmentCount; ++a) {
        parameters.push_back({"products.route." + std::string(assortmentDefinitions[a].name),
                              std::string(poolName(settings.routing[a]))});
    }
    parameters.push_back({"products.route.bark_branches_foliage_roots", "emitted"});
    return parameters;
}

}  // namespace arbora
