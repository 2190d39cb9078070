#include "inventory/projection.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

#include "growth/growth_and_yield.h"
#include "inventory/stand_columns.h"

namespace arbora {
namespace {

// A whole number of at least 0 within the 32-bit range, or empty.
std::optional<std::int32_t> offsetOf(std::string_view text) {
    text = trimBlanks(text);
    std::int32_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() || value < 0) {
        return std::nullopt;
    }
    return value;
}

}  // namespace

YearsList parseYearsList(std::string_view text) {
    YearsList list;
    const auto fail = [&](std::string problem) {
        list.offsets.clear();
        list.problem = std::move(problem);
        return list;
    };
    const auto tooMany = [&] {
        return fail("holds more than " + std::to_string(mostYears) + " years");
    };
    // The offsets are gathered, then sorted and made distinct whenever more than twice
    // the most a list holds have come: each merge follows at least mostYears new ones,
    // so the whole list takes n log n.
    std::vector<std::int64_t> offsets;
    const auto merge = [&] {
        std::sort(offsets.begin(), offsets.end());
        offsets.erase(std::unique(offsets.begin(), offsets.end()), offsets.end());
        return offsets.size() <= mostYears;
    };
    while (true) {
        const auto comma = text.find(',');
        const std::string_view item = text.substr(0, comma);
        std::int64_t from = 0, to = 0, step = 1;
        const auto colon = item.find(':');
        if (colon == std::string_view::npos) {
            const auto offset = offsetOf(item);
            if (!offset) return fail(quotedValue(item) + " is not a whole number of years from 0");
            from = to = *offset;
        } else {
            const auto second = item.find(':', colon + 1);
            const auto start = offsetOf(item.substr(0, colon));
            const auto stop = offsetOf(item.substr(colon + 1, second - colon - 1));
            std::optional<std::int32_t> by;
            if (second != std::string_view::npos) by = offsetOf(item.substr(second + 1));
            if (!start || !stop || !by) {
                return fail(quotedValue(item) +
                            " is not a range start:stop:step of whole numbers from 0");
            }
            if (*by < 1) return fail(quotedValue(item) + " has a step below 1");
            if (*start > *stop) return fail(quotedValue(item) + " starts after it stops");
            from = *start, to = *stop, step = *by;
        }
        if ((to - from) / step >= static_cast<std::int64_t>(mostYears)) return tooMany();
        for (std::int64_t offset = from; offset <= to; offset += step)
            offsets.push_back(offset);
        if (offsets.size() > 2 * mostYears && !merge()) return tooMany();
        if (comma == std::string_view::npos) break;
        text.remove_prefix(comma + 1);
    }
    if (!merge()) return tooMany();
    list.offsets.assign(offsets.begin(), offsets.end());
    return list;
}

std::string yearsText(const std::vector<std::int32_t>& offsets) {
    std::string text;
    for (const std::int32_t offset : offsets) {
        if (!text.empty()) text += ',';
        text += std::to_string(offset);
    }
    return text;
}

std::optional<std::string_view> firstNonFinite(const ProjectionRow& row) {
    const std::pair<std::string_view, double> values[] = {
        {"average_diameter", row.averageDiameter}, {"average_height", row.averageHeight},
        {"stand_volume", row.standVolume},         {"biomass_stem", row.biomass.stem},
        {"biomass_bark", row.biomass.bark},        {"biomass_branch", row.biomass.branch},
        {"biomass_foliage", row.biomass.foliage},  {"biomass_root", row.biomass.root},
        {"biomass_total", row.biomass.stand},      {"carbon_stem", row.carbon.stem},
        {"carbon_bark", row.carbon.bark},          {"carbon_branch", row.carbon.branch},
        {"carbon_foliage", row.carbon.foliage},    {"carbon_root", row.carbon.root},
        {"carbon_total", row.carbon.stand},        {"co2e", row.co2e},
    };
    for (const auto& [name, value] : values) {
        if (!std::isfinite(value)) return name;
    }
    return std::nullopt;
}

double carbonDioxideEquivalent(double carbon) {
    return carbon * double{44.0f} / double{12.0f};  // molar masses of CO2 and C
}

const std::optional<NormalStand>& InventoryProjector::normalStand(std::int32_t species,
                                                                  std::int32_t age) {
    if (age < 0 || age >= keptAges) {
        unkept_ = normalStandAt(species, age);
        return unkept_;
    }
    auto& ages = kept_[static_cast<std::size_t>(species - 1)];
    if (ages.empty()) ages.resize(keptAges);
    Kept& kept = ages[static_cast<std::size_t>(age)];
    if (!kept.known) kept = {true, normalStandAt(species, age)};
    return kept.stand;
}

std::variant<std::vector<ProjectionRow>, AgeOutsideCurves>
InventoryProjector::project(const InventoryStand& stand, const std::vector<std::int32_t>& offsets) {
    std::vector<ProjectionRow> rows;
    if (const auto outside = project(stand, offsets, rows)) return *outside;
    return rows;
}

std::optional<AgeOutsideCurves> InventoryProjector::project(
    const InventoryStand& stand, const std::vector<std::int32_t>& offsets,
    std::vector<ProjectionRow>& rows) {
    StandSettings settings;
    settings.species = stand.species;
    settings.standAge = stand.standAge;
    settings.averageDiameter = stand.averageDiameter;
    settings.averageHeight = stand.averageHeight;
    settings.standDensity = stand.standDensity;
    settings.standVolume = stand.standVolume;
    settings.siteClass = stand.siteClass.value_or(0);

    rows.clear();
    std::optional<NormalStand> atStandAge;
    for (const std::int32_t offset : offsets) {
        const std::int64_t age = std::int64_t{stand.standAge} + offset;
        ProjectionRow& row = rows.emplace_back();
        row.year = offset;
        row.age = static_cast<std::int32_t>(std::min<std::int64_t>(age, 0x7FFFFFFF));
        row.species = stand.species;
        if (offset == 0) {
            // The stand as measured.
            row.averageDiameter = stand.averageDiameter;
            row.averageHeight = stand.averageHeight;
            row.standDensity = stand.standDensity;
            row.standVolume = stand.standVolume;
        } else {
            if (!atStandAge) {
                atStandAge = normalStand(stand.species, stand.standAge);
                if (!atStandAge) return AgeOutsideCurves{stand.standAge};
            }
            if (age > std::numeric_limits<std::int32_t>::max()) return AgeOutsideCurves{age};
            const std::optional<NormalStand>& atAge = normalStand(stand.species, row.age);
            if (!atAge) return AgeOutsideCurves{age};
            settings.simulatingAge = row.age;
            const ProjectedStand projected = projectStandFrom(settings, *atStandAge, *atAge);
            row.averageDiameter = projected.diameter;
            row.averageHeight = projected.height;
            row.standDensity = projected.treesPerHectare;
            row.standVolume = projected.volume;
        }
        row.biomass = componentBiomass(stand.species, row.averageDiameter, row.averageHeight,
                                       static_cast<double>(row.standDensity));
        row.carbon = carbonStock(row.biomass);
        row.co2e = carbonDioxideEquivalent(row.carbon.stand);
    }
    return std::nullopt;
}

}  // namespace arbora
