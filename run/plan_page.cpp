// The plan's estate page: what the run found, handed to the page in estate/.

#include <map>
#include <unordered_map>

#include "estate/estate_report.h"
#include "estate/plan_report.h"
#include "gis/map_outlines.h"
#include "run/plan_stages.h"

namespace arbora::plan_stages {

// The kept stands' outlines read from the layer again, each with its regime on the page.
void PlanRun::addMap(PlanReportData& d, const std::vector<std::size_t>& largest) const {
    std::map<std::string, std::size_t> regimeIndex;
    for (std::size_t r = 0; r < d.regimes.size(); ++r)
        regimeIndex[d.regimes[r].name] = r;
    std::vector<MapStand> stands(kept_.size());
    std::unordered_map<std::int64_t, std::size_t> byFeature;
    for (std::size_t k = 0; k < kept_.size(); ++k) {
        stands[k].id = kept_[k]->stand.standId;
        byFeature.emplace(kept_[k]->stand.feature, k);
    }
    auto read = readMapOutlines(*layer_, [&](std::int64_t feature) {
        const auto found = byFeature.find(feature);
        return found == byFeature.end() ? nullptr : &stands[found->second].path;
    });
    if (const auto* problem = std::get_if<Problem>(&read)) throw OutputFileError(problem->message);
    const OutlineFrame& frame = std::get<OutlineFrame>(read);
    if (frame.width == 0) return;
    EstateMap map{frame.width, frame.height, frame.metresPerUnit, frame.northUp, {}};
    for (std::size_t k = 0; k < kept_.size(); ++k) {
        if (stands[k].path.empty()) continue;
        map.stands.push_back(std::move(stands[k]));
        d.mapRegimes.push_back(regimeIndex.at(data_.columns[largest[k]].regime));
    }
    d.map = std::move(map);
}

std::string PlanRun::reportText() const {
    const PlanTargets& t = options_.targets;
    const LpSolution& s = plan_.solution;
    PlanReportData d{.input = options_.standsFile,
                     .startedUtc = started_,
                     .version = programVersion(),
                     .objective = objectiveName(t.objective),
                     .solver = CoinSolver::name(options_.wholeStands),
                     .solverStatus = statusName(s.status),
                     .objectiveValue = s.objective,
                     .stands = std::int64_t(data_.stands),
                     .splitStands = std::int64_t(splitStands().size()),
                     .harvestMax = t.harvestMax,
                     .harvestMin = t.harvestMin,
                     .evenFlow = t.evenFlow,
                     .carbonFloor = t.carbonFloor};
    for (const StandPlan* plan : kept_)
        d.area += plan->stand.area;
    const PlanYield& y = plan_.yield;
    const PlanYield& b = data_.baseline;
    for (std::size_t p = 1; p < data_.years.size(); ++p) {
        const double length = data_.periodLength(p);
        d.periods.push_back({data_.years[p - 1], data_.years[p], y.removed[p - 1] / length,
                             b.removed[p - 1] / length, y.standing[p], b.standing[p], y.carbonAt(p),
                             b.carbonAt(p)});
    }
    for (const ConstraintOutcome& c : constraintOutcomes(plan_.model, s, data_, y)) {
        d.constraints.push_back({c.row->name, c.row->period, c.row->year, c.value, c.bound, c.slack,
                                 c.shadowPrice, c.row->unit});
    }
    for (const FrontierStep& f : frontier_) {
        if (f.npv) d.frontier.emplace_back(f.carbon, *f.npv);
    }
    // The regimes by the largest shares, in the order they are offered.
    std::map<std::string, std::pair<std::int64_t, double>> chosen;
    const std::vector<std::size_t> largest = largestShares();
    for (std::size_t k = 0; k < largest.size(); ++k) {
        auto& [stands, area] = chosen[data_.columns[largest[k]].regime];
        ++stands;
        area += kept_[k]->stand.area;
    }
    for (const RegimeOffer& offer : offers_) {
        const auto found = chosen.find(offer.name);
        if (found == chosen.end()) continue;
        PlanReportRegime regime{offer.name, found->second.first, found->second.second, {}};
        for (const Treatment& treatment : regimes_.treatments) {
            if (treatment.scenario == offer.regime) regime.treatments.push_back(treatment);
        }
        d.regimes.push_back(std::move(regime));
    }
    if (layer_) addMap(d, largest);
    return planReportHtml(d, options_.reportLanguage, chartLibrary());
}

}  // namespace arbora::plan_stages
