#include "inventory/summary.h"

#include "report/editing.h"
#include "report/layout.h"
#include "settings/species.h"

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

}  // namespace

InventorySummary::InventorySummary(std::vector<std::int32_t> years)
    : years_(std::move(years)), all_(years_.size()), bySpecies_(years_.size()) {
    for (std::size_t y = 0; y < years_.size(); ++y) {
        all_[y].year = years_[y];
        for (std::int32_t species = 1; species <= speciesCount; ++species) {
            SummaryRow& row = bySpecies_[y][static_cast<std::size_t>(species - 1)];
            row.year = years_[y];
            row.species = species;
        }
    }
}

void InventorySummary::add(const InventoryStand& stand, const std::vector<ProjectionRow>& rows) {
    stands_ += 1;
    area_ += stand.area;
    areaByAgeClass_[{stand.species, (stand.standAge - 1) / 10}] += stand.area;
    for (std::size_t y = 0; y < rows.size() && y < years_.size(); ++y) {
        addTo(all_[y], stand.area, rows[y]);
        addTo(bySpecies_[y][static_cast<std::size_t>(stand.species - 1)], stand.area, rows[y]);
    }
}

std::vector<SummaryRow> InventorySummary::rows() const {
    std::vector<SummaryRow> rows;
    for (std::size_t y = 0; y < years_.size(); ++y) {
        rows.push_back(all_[y]);
        for (const SummaryRow& row : bySpecies_[y]) {
            if (row.stands > 0) rows.push_back(row);
        }
    }
    return rows;
}

std::vector<std::string> summaryReportLines(const std::string& inputName,
                                            const InventorySummary& summary,
                                            std::int64_t rejected) {
    std::vector<std::string> lines;
    const auto add = [&](std::string_view layout, std::initializer_list<LayoutValue> values) {
        for (std::string& line : formatLayout(layout, values))
            lines.push_back(std::move(line));
    };
    const std::string title = "Inventory projection of " + inputName;
    const std::string area = editFixed(summary.area(), 20, 1);
    const std::string counts = std::to_string(summary.stands()) + " stands accepted, " +
                               std::to_string(rejected) + " rejected, " +
                               area.substr(area.find_first_not_of(' ')) + " ha; years " +
                               yearsText(summary.years());
    add(R"(/, 2X, A, /, 2X, A)", {title, counts});
    add(R"(/, 2X, "Year", 2X, "Species", 20X, "Stands", 7X, "Area", 7X, "Volume", 6X,)"
        R"( "Biomass", 7X, "Carbon", 9X, "CO2e", 5X, "C change")",
        {});
    add(R"(50X, "ha", 11X, "m3", 12X, "t", 12X, "t", 12X, "t", 9X, "t/yr")", {});
    lines.push_back(" " + std::string(116, '-'));

    constexpr std::string_view row =
        R"(2X, I4, 2X, A26, I7, F11.1, F13.1, F13.1, F13.1, F13.1, F13.1)";
    const std::vector<SummaryRow> rows = summary.rows();
    std::map<std::optional<std::int32_t>, const SummaryRow*> previous;  // by species
    for (const SummaryRow& r : rows) {
        std::string name(r.species ? speciesName(*r.species) : "All species");
        name.resize(26, ' ');  // names stand left-aligned in their column
        const auto stands = static_cast<std::int32_t>(std::min<std::int64_t>(r.stands, 2147483647));
        const SummaryRow* before = previous[r.species];
        if (before == nullptr) {
            add(row,
                {r.year, name, stands, r.area, r.volume, r.biomass, r.carbon, r.co2e, blankField});
        } else {
            const double change = (r.carbon - before->carbon) / (r.year - before->year);
            add(row, {r.year, name, stands, r.area, r.volume, r.biomass, r.carbon, r.co2e, change});
        }
        previous[r.species] = &r;
    }
    return lines;
}

}  // namespace arbora
