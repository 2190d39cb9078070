#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "accounting/item_files.h"
#include "management/removal.h"

// Harvested wood products: where the carbon of the removals goes, and how long it
// stays there. Carbon in t C, per hectare for one removal, area-weighted (per hectare
// times the stand's area, summed) in the ledger.
namespace arbora {

enum class ProductPool : std::uint8_t { sawnwood, panels, paper, emitted };
constexpr std::size_t productPoolCount = 4;

struct ProductPoolDefinition {
    std::string_view name;     // in the products table and the products file
    std::string_view chinese;  // on the Chinese estate report
    double halfLife;           // years; 0 for `emitted`, whose carbon leaves at once
};

// By ProductPool. The half-lives are the IPCC defaults for sawnwood, wood-based panels
// and paper and paperboard (2019 Refinement to the 2006 IPCC Guidelines, Vol. 4, Ch. 12).
constexpr std::array<ProductPoolDefinition, productPoolCount> productPools = {{
    {"sawnwood", "锯材", 35.0f},
    {"panels", "人造板", 25.0f},
    {"paper", "纸和纸板", 2.0f},
    {"emitted", "即时排放", 0.0f},
}};

enum class Assortment : std::uint8_t {
    roughTimber,
    timberMachining,
    fuelWood,
    wasteWood,
    unsorted,
};
constexpr std::size_t assortmentCount = 5;

struct AssortmentDefinition {
    std::string_view name;              // in the products and prices files
    ProductPool defaultPool;            // where its stem carbon goes unless the products file says
    double AssortmentVolumes::*volume;  // m3/ha
};

// By Assortment. Sawn logs become sawnwood, machining wood becomes panels; fuel wood is
// burnt, and waste and unsorted wood count as emitted too, as nothing says they are
// used (conservative).
constexpr std::array<AssortmentDefinition, assortmentCount> assortmentDefinitions = {{
    {"rough_timber", ProductPool::sawnwood, &AssortmentVolumes::roughTimber},
    {"timber_machining", ProductPool::panels, &AssortmentVolumes::timberMachining},
    {"fuel_wood", ProductPool::emitted, &AssortmentVolumes::fuelWood},
    {"waste_wood", ProductPool::emitted, &AssortmentVolumes::wasteWood},
    {"unsorted", ProductPool::emitted, &AssortmentVolumes::unsorted},
}};

std::string_view poolName(ProductPool pool);

// The routing of stem carbon and the half-lives the decay uses.
struct ProductsSettings {
    std::array<ProductPool, assortmentCount> routing;  // by Assortment
    std::array<double, productPoolCount> halfLife;     // years, by ProductPool; 0 for emitted
};

// The routing and half-lives of the two tables above.
ProductsSettings defaultProductsSettings();

// The defaults changed by a products file: a CSV file with the columns `item` and
// `value`. An item is an assortment, whose value is the pool its stem carbon goes to
// (`rough_timber,sawnwood`), or a pool other than `emitted`, whose value is its
// half-life in years, a number above 0 (`sawnwood,30`). Names are read in any letter
// case. Every row that cannot be used is a problem with its line and column: an
// unknown item or pool, a half-life that is not a number above 0, an item given
// twice. Throws InventoryInputError as readItemFile does.
std::variant<ProductsSettings, std::vector<Problem>> readProductsFile(
    const std::string& fileName, InputEncoding encoding = InputEncoding::utf8);
std::variant<ProductsSettings, std::vector<Problem>> readProductsItems(
    const std::variant<ItemFile, Problem>& file, const std::string& fileName);

// Carbon by ProductPool, t C/ha (one removal) or t C (the ledger).
using PoolCarbon = std::array<double, productPoolCount>;

// The carbon of one removal by the pool it enters, t C/ha. The stem carbon is split by
// each assortment's share of the sorted volume (its volume over the sum of the five,
// so that nothing is lost or invented where they do not quite add up) and routed;
// without sorted volume all stem carbon is emitted. The carbon of bark, branches,
// foliage and roots is emitted at once: no dead wood or soil is modelled, so what is
// not modelled counts as not stored.
PoolCarbon routeRemoval(const Removal& removal, const ProductsSettings& settings);

// One year of first-order decay (IPCC 2006 Guidelines, Vol. 4, Ch. 12, Eq. 12.1):
// with k = ln(2) / halfLife, stockAfter = exp(-k) * stockBefore + ((1 - exp(-k)) / k)
// * inflow, the inflow entering evenly over the year; emission = stockBefore + inflow
// - stockAfter. 1 - exp(-k) is taken as -expm1(-k), the same value without the
// cancellation that would lose a very long half-life's inflow. A half-life of 0 (the
// `emitted` pool) keeps nothing: the emission is the inflow.
struct DecayYear {
    double stockAfter = 0;
    double emission = 0;
};
DecayYear decayYear(double halfLife, double stockBefore, double inflow);

// One pool of one scenario in one year, t C over the whole inventory. `stock` is the
// carbon in the pool at the end of the year, after that year's inflow and decay, so
// that a year's stock stands beside the standing carbon of the same year (which is
// after that year's treatments). Over years 0 to T, the sum of the inflows equals the
// stock of year T plus the sum of the emissions, to rounding.
struct ProductsRow {
    std::string scenario;
    std::int32_t year = 0;  // after each stand's measured age
    ProductPool pool = ProductPool::sawnwood;
    double inflow = 0;
    double stock = 0;
    double emission = 0;
};

// Collects the removals of an inventory, area-weighted, per scenario, year and pool, in
// the order they are added, and decays them over the years 0 to the last listed year.
class ProductsLedger {
  public:
    ProductsLedger(ProductsSettings settings, std::int32_t lastYear);

    // A scenario gets rows from its first mention, removals or not, in that order.
    void addScenario(const std::string& scenario);
    // Adds the removal's pools times the stand's area (ha). A removal after the last
    // listed year is outside the accounts and is left out.
    void addRemoval(const Removal& removal, double area);

    // Per scenario (in order of first mention), year 0 to the last, and pool.
    std::vector<ProductsRow> rows() const;

  private:
    struct Scenario {
        std::string name;
        std::vector<PoolCarbon> inflow;  // by year
    };
    Scenario& scenario(const std::string& name);

    ProductsSettings settings_;
    std::int32_t lastYear_;
    std::vector<Scenario> scenarios_;
};

// The carbon in all products of a scenario at the end of a year, t C: the stocks of
// the pools added in pool order; 0 when the rows hold no such scenario or year. The rows
// are those of ProductsLedger::rows(), in their order; the time taken grows with the
// number of scenarios, not of years.
double productsCarbon(const std::vector<ProductsRow>& rows, std::string_view scenario,
                      std::int32_t year);

// A parameter of the accounts as the run table records it.
struct RunParameter {
    std::string name;
    std::string value;
};

// Every half-life and route the products use, e.g. {"products.half_life.sawnwood",
// "35"}, {"products.route.rough_timber", "sawnwood"}, and the emitted parts of the tree.
std::vector<RunParameter> productsRunParameters(const ProductsSettings& settings);

}  // namespace arbora
