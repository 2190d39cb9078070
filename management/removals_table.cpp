#include "management/removals_table.h"

namespace arbora {
namespace {

constexpr OutputColumn removalsColumns[] = {
    {"scenario", OutputType::text, true},
    {"stand_id", OutputType::text, true},
    {"year", OutputType::integer, true},
    {"age", OutputType::integer, true},
    {"action", OutputType::text, true},
    {"trees", OutputType::integer},
    {"volume", OutputType::real},
    {"volume_rough_timber", OutputType::real},
    {"volume_timber_machining", OutputType::real},
    {"volume_fuel_wood", OutputType::real},
    {"volume_waste_wood", OutputType::real},
    {"volume_unsorted", OutputType::real},
    {"biomass_stem", OutputType::real},
    {"biomass_bark", OutputType::real},
    {"biomass_branch", OutputType::real},
    {"biomass_foliage", OutputType::real},
    {"biomass_root", OutputType::real},
    {"biomass_total", OutputType::real},
    {"carbon_stem", OutputType::real},
    {"carbon_bark", OutputType::real},
    {"carbon_branch", OutputType::real},
    {"carbon_foliage", OutputType::real},
    {"carbon_root", OutputType::real},
    {"carbon_total", OutputType::real},
    {"co2e", OutputType::real},
};
static_assert(std::size(removalsColumns) == std::tuple_size_v<decltype(removalValues({}))>);

}  // namespace

const OutputTable removalsTable{"removals", removalsColumns};

std::array<OutputValue, 25> removalValues(const Removal& r) {
    const auto& v = r.assortments;
    return {std::string_view(r.scenario),
            std::string_view(r.standId),
            std::int64_t{r.year},
            std::int64_t{r.age},
            std::string_view(r.action == TreatmentAction::thin ? "thin" : "clearcut"),
            std::int64_t{r.trees},
            r.volume,
            v.roughTimber,
            v.timberMachining,
            v.fuelWood,
            v.wasteWood,
            v.unsorted,
            r.biomass.stem,
            r.biomass.bark,
            r.biomass.branch,
            r.biomass.foliage,
            r.biomass.root,
            r.biomass.stand,
            r.carbon.stem,
            r.carbon.bark,
            r.carbon.branch,
            r.carbon.foliage,
            r.carbon.root,
            r.carbon.stand,
            r.co2e};
}

}  // namespace arbora
