#include "inventory/summary.h"

#include <algorithm>

#include "inventory/number_text.h"
#include "report/editing.h"
#include "report/layout.h"
#include "settings/species.h"
#include "text/display_width.h"

namespace arbora {
namespace {

void addTo(SummaryRow& total, double area, const ProjectionRow& row) {
    total.stands += 1;
    total.area += area;
    total.volume += row.standVolume * area;
    total.biomass += row.biomass.stand * area;
    total.carbon += row.carbon.stand * area;
    total.co2e += row.co2e * area;
}

void addRemovedTo(SummaryRow& total, double area, double volume, double carbon, double co2e) {
    total.removedVolume += volume * area;
    total.removedCarbon += carbon * area;
    total.removedCo2e += co2e * area;
}

}  // namespace

InventorySummary::InventorySummary(std::vector<std::int32_t> years,
                                   std::vector<std::string> scenarios)
    : years_(std::move(years)), scenarios_(std::move(scenarios)), totals_(scenarios_.size()) {
    for (std::size_t s = 0; s < scenarios_.size(); ++s) {
        totals_[s].resize(years_.size());
        for (std::size_t y = 0; y < years_.size(); ++y) {
            YearTotals& totals = totals_[s][y];
            totals.all.scenario = scenarios_[s];
            totals.all.year = years_[y];
            for (std::int32_t species = 1; species <= speciesCount; ++species) {
                SummaryRow& row = totals.bySpecies[static_cast<std::size_t>(species - 1)];
                row.scenario = scenarios_[s];
                row.year = years_[y];
                row.species = species;
            }
        }
    }
}

void InventorySummary::add(std::size_t scenario, const InventoryStand& stand,
                           const std::vector<ProjectionRow>& rows) {
    if (scenario == 0) {
        stands_ += 1;
        area_ += stand.area;
        areaByAgeClass_[{stand.species, (stand.standAge - 1) / 10}] += stand.area;
    }
    std::vector<YearTotals>& totals = totals_[scenario];
    for (std::size_t y = 0; y < rows.size() && y < years_.size(); ++y) {
        addTo(totals[y].all, stand.area, rows[y]);
        if (isKnownSpecies(rows[y].species)) {
            addTo(totals[y].bySpecies[static_cast<std::size_t>(rows[y].species - 1)], stand.area,
                  rows[y]);
        }
    }
}

void InventorySummary::addRemoval(std::size_t scenario, const InventoryStand& stand,
                                  std::int32_t year, std::int32_t species, double volume,
                                  double carbon, double co2e) {
    // The removal counts at the first year of the list that is not before it.
    const auto at = std::lower_bound(years_.begin(), years_.end(), year);
    if (at == years_.end()) return;
    YearTotals& totals = totals_[scenario][static_cast<std::size_t>(at - years_.begin())];
    addRemovedTo(totals.all, stand.area, volume, carbon, co2e);
    if (isKnownSpecies(species)) {
        addRemovedTo(totals.bySpecies[static_cast<std::size_t>(species - 1)], stand.area, volume,
                     carbon, co2e);
    }
}

std::vector<SummaryRow> InventorySummary::rows() const {
    std::vector<SummaryRow> rows;
    for (const std::vector<YearTotals>& scenario : totals_) {
        for (const YearTotals& totals : scenario) {
            rows.push_back(totals.all);
            for (const SummaryRow& row : totals.bySpecies) {
                if (row.stands > 0 || row.removedVolume != 0) rows.push_back(row);
            }
        }
    }
    return rows;
}

std::vector<ComparisonRow> InventorySummary::comparison() const {
    std::vector<ComparisonRow> rows;
    for (std::size_t s = 1; s < totals_.size(); ++s) {
        double removed = 0, baselineRemoved = 0;
        for (std::size_t y = 0; y < years_.size(); ++y) {
            const SummaryRow& scenario = totals_[s][y].all;
            const SummaryRow& baseline = totals_[0][y].all;
            removed += scenario.removedCarbon;
            baselineRemoved += baseline.removedCarbon;
            rows.push_back({scenario.scenario, scenario.year, scenario.carbon, scenario.co2e,
                            removed, scenario.carbon - baseline.carbon,
                            scenario.co2e - baseline.co2e, removed - baselineRemoved});
        }
    }
    return rows;
}

void addProductsCarbon(
    std::vector<SummaryRow>& rows, std::vector<ComparisonRow>& comparison,
    const std::function<double(std::string_view, std::int32_t)>& productsCarbonAt) {
    for (SummaryRow& row : rows) {
        if (!row.species) row.productsCarbon = productsCarbonAt(row.scenario, row.year);
    }
    if (rows.empty()) return;
    const std::string baselineName = rows.front().scenario;  // the rows begin with it
    for (ComparisonRow& c : comparison) {
        const auto baseline = std::find_if(rows.begin(), rows.end(), [&](const SummaryRow& r) {
            return r.scenario == baselineName && r.year == c.year && !r.species;
        });
        c.productsCarbon = productsCarbonAt(c.scenario, c.year);
        const double baselineProducts = productsCarbonAt(baselineName, c.year);
        if (baseline == rows.end()) continue;
        c.carbonWithProductsDifference =
            (c.carbon + c.productsCarbon) - (baseline->carbon + baselineProducts);
    }
}

std::vector<std::string> summaryReportLines(const std::string& inputName,
                                            const InventorySummary& summary, std::int64_t rejected,
                                            const std::vector<ComparisonRow>& comparison,
                                            std::int64_t rejectedTreatmentRows) {
    std::vector<std::string> lines;
    const auto add = [&](std::string_view layout, std::initializer_list<LayoutValue> values) {
        for (std::string& line : formatLayout(layout, values))
            lines.push_back(std::move(line));
    };
    const bool scenarios = summary.scenarios().size() > 1;
    const std::string title = "Inventory projection of " + inputName;
    const std::string area = editFixed(summary.area(), 20, 1);
    const std::string counts =
        countText(summary.stands(), "stand") + " accepted, " + std::to_string(rejected) +
        " rejected, " +
        (rejectedTreatmentRows > 0
             ? countText(rejectedTreatmentRows, "treatment row") + " rejected, "
             : std::string()) +
        area.substr(area.find_first_not_of(' ')) + " ha; years " + yearsText(summary.years());
    add(R"(/, 2X, A, /, 2X, A)", {title, counts});

    const std::vector<SummaryRow> rows = summary.rows();
    std::string scenario;
    std::map<std::optional<std::int32_t>, const SummaryRow*> previous;  // by species
    for (const SummaryRow& r : rows) {
        if (r.scenario != scenario) {
            scenario = r.scenario;
            previous.clear();
            if (scenarios) add(R"(/, 2X, "Scenario ", A)", {scenario});
            add(R"(/, 2X, "Year", 2X, "Species", 20X, "Stands", 7X, "Area", 7X, "Volume", 6X,)"
                R"( "Biomass", 7X, "Carbon", 9X, "CO2e", 5X, "C change")",
                {});
            add(R"(50X, "ha", 11X, "m3", 12X, "t", 12X, "t", 12X, "t", 9X, "t/yr")", {});
            lines.push_back(" " + std::string(116, '-'));
        }
        // Names stand left-aligned in 26 columns of the screen, cut by whole characters.
        const std::string name =
            fitToColumns(r.species ? speciesName(*r.species) : "All species", 26);
        const auto stands = static_cast<std::int32_t>(std::min<std::int64_t>(r.stands, 2147483647));
        constexpr std::string_view row =
            R"(2X, I4, 2X, A, I7, F11.1, F13.1, F13.1, F13.1, F13.1, F13.1)";
        const SummaryRow* before = previous[r.species];
        if (before == nullptr) {
            add(row,
                {r.year, name, stands, r.area, r.volume, r.biomass, r.carbon, r.co2e, blankField});
        } else {
            const double change = (r.carbon - before->carbon) / (r.year - before->year);
            add(row, {r.year, name, stands, r.area, r.volume, r.biomass, r.carbon, r.co2e, change});
        }
        if (scenarios && r.removedVolume != 0) {
            add(R"(8X, "removed", 37X, F13.1, 13X, F13.1, F13.1)",
                {r.removedVolume, r.removedCarbon, r.removedCo2e});
        }
        previous[r.species] = &r;
    }
    if (scenarios) {
        add(R"x(/, 2X, "Against the baseline (all species; differences are scenario minus none)")x",
            {});
        add(R"(/, 2X, "Year", 2X, "Scenario", 25X, "Carbon", 4X, "Removed C", 3X, "Products C",)"
            R"( 7X, "C diff", 2X, "C+prod. diff", 4X, "CO2e diff")",
            {});
        add(R"(46X, "t", 12X, "t", 12X, "t", 12X, "t", 12X, "t", 12X, "t")", {});
        lines.push_back(" " + std::string(111, '-'));
        for (const ComparisonRow& c : comparison) {
            const std::string name = fitToColumns(c.scenario, 26);
            add(R"(2X, I4, 2X, A, F13.1, F13.1, F13.1, F13.1, F13.1, F13.1)",
                {c.year, name, c.carbon, c.cumulativeRemovedCarbon, c.productsCarbon,
                 c.carbonDifference, c.carbonWithProductsDifference, c.co2eDifference});
        }
    }
    return lines;
}

}  // namespace arbora
