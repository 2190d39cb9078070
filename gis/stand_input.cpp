#include "gis/stand_input.h"

#include <fmt/format.h>
#include <sys/stat.h>

#include <cmath>
#include <cstring>
#include <fstream>

#include "gis/gis_module.h"
#include "inventory/number_text.h"
#include "inventory/projection_output.h"

namespace arbora {
namespace {

enum class InputKind { csv, sqliteTable, layer };

// A file named as CSV is read as CSV without asking GDAL, which would load the GIS module.
bool isNamedCsv(const std::string& fileName) {
    const std::string extension = lowerExtension(fileName);
    return extension == ".csv" || extension == ".txt";
}

std::variant<InputKind, Problem> kindOf(const std::string& fileName, bool layerNamed) {
    // A pipe or a device is read once, as it comes: only the CSV reader can take it, and
    // looking at its first bytes here would take them from that reader.
    struct stat info;
    if (::stat(fileName.c_str(), &info) == 0 && !S_ISREG(info.st_mode)) return InputKind::csv;
    char start[72] = {};
    std::ifstream(fileName, std::ios::binary).read(start, sizeof start);
    if (std::memcmp(start, "SQLite format 3", 16) == 0) {
        // A GeoPackage says so by the application id at byte 68 (GP10 and GP11 before 1.2).
        const std::string_view id(start + 68, 4);
        const bool geoPackage = id == "GPKG" || id == "GP10" || id == "GP11";
        return geoPackage || layerNamed ? InputKind::layer : InputKind::sqliteTable;
    }
    if (isNamedCsv(fileName)) return InputKind::csv;
    // CSV files keep the inventory's own reader: its encodings and strict numbers.
    return withGisModule<std::variant<InputKind, Problem>>([&](const GisModule& gis) {
        return gis.isVectorFile(fileName) ? InputKind::layer : InputKind::csv;
    });
}

Problem unusable(const std::string& message) {
    return Problem{Problem::Kind::unusable, message};
}

// The layer's polygon areas: the area column when it has none of its own (then they
// must be measurable), otherwise for the survey check. Gives their position in a row,
// -1 when they are not measured.
std::variant<int, Problem> measurePolygons(LayerSource& layer, StandColumnMap& columns,
                                           const std::string& fileName) {
    const auto area = static_cast<std::size_t>(StandColumn::area);
    if (!layer.mayHavePolygons()) return -1;
    const bool hasColumn = columns.position[area] >= 0;
    const std::string why = layer.addPolygonAreas();
    if (!why.empty()) {
        if (hasColumn) return -1;
        return unusable(fileName + ": layer \"" + layer.layerName() +
                        "\" has no area column, and its polygon areas cannot be measured: " + why +
                        "; give the area column (--columns area=FIELD)");
    }
    const int position = static_cast<int>(layer.header().size() - 1);
    columns.inputColumns = layer.header().size();
    if (!hasColumn) {
        columns.position[area] = position;
        columns.header[area] = std::string(LayerSource::polygonAreaColumn);
    }
    return position;
}

constexpr OutputColumn areaCheckColumns[] = {
    {"stand_id", OutputType::text, true},
    {"feature", OutputType::integer, true},
    {"area", OutputType::real, true},
    {"polygon_area", OutputType::real, true},
    {"difference_percent", OutputType::real, true},
};

// A share as a percentage to one decimal ("6", "12.5").
std::string percentText(double share) {
    return shortestText(std::round(std::abs(share) * 1000) / 10);
}

// Hectares to four decimals (a square metre).
std::string hectareText(double area) {
    return shortestText(std::round(area * 10000) / 10000);
}

}  // namespace

const OutputTable areaChecksTable{"area_checks", areaCheckColumns};

std::array<OutputValue, 5> areaCheckValues(const AreaCheck& check) {
    return {std::string_view(check.standId), check.line, check.area, check.polygonArea,
            (check.area / check.polygonArea - 1) * 100};
}

void listAreaChecks(const std::vector<AreaCheck>& checks, const std::string& fileName,
                    const std::string& areaColumn, std::ostream& err) {
    constexpr std::size_t listed = 20;
    for (std::size_t i = 0; i < checks.size() && i < listed; ++i) {
        const AreaCheck& c = checks[i];
        const double share = c.area / c.polygonArea - 1;
        err << fileName << ":" << c.line << ": " << areaColumn << ": " << hectareText(c.area)
            << " ha is " << percentText(share) << " % " << (share > 0 ? "above" : "below")
            << " the polygon's " << hectareText(c.polygonArea) << " ha\n";
    }
    if (checks.size() > listed) {
        err << fileName << ": " << checks.size() - listed << " more stands whose area is more than "
            << percentText(areaCheckTolerance)
            << " % from their polygon's (the output's table area_checks lists them all)\n";
    }
}

std::vector<std::pair<std::string, OwnedOutputValue>> inputRunParameters(
    const StandInput& input, const InputChoices& choices, InputEncoding encoding) {
    const auto textOrNull = [](const std::string& text) {
        return text.empty() ? OwnedOutputValue{} : OwnedOutputValue{text};
    };
    std::string columns;
    for (std::size_t c = 0; c < choices.columns.size(); ++c) {
        if (choices.columns[c].empty()) continue;
        columns += (columns.empty() ? "" : ",") + std::string(standColumnNames()[c].name) + "=" +
                   choices.columns[c];
    }
    std::string polygonAreas;
    if (input.areaMeasured()) {
        polygonAreas = input.geodesic() ? "geodesic" : "plane";
    } else if (input.checksAreas()) {
        polygonAreas = "checked";
    }
    return {
        {"layer", textOrNull(input.geometryLayer() ? input.geometryLayer()->layerName : "")},
        {"area_unit", std::string(choices.areaUnit == AreaUnit::mu ? "mu" : "ha")},
        {"polygon_areas", textOrNull(polygonAreas)},
        {"columns", textOrNull(columns)},
        {"species_map", textOrNull(choices.speciesMap.value_or(""))},
        {"encoding", std::string(encoding == InputEncoding::gbk ? "gbk" : "utf-8")},
    };
}

std::variant<StandInput, Problem> openStandInput(const std::string& fileName,
                                                 InputEncoding encoding,
                                                 const InputChoices& choices) {
    StandInput input;
    LayerSource* layer = nullptr;
    if (choices.layer && choices.layer->empty())
        return Problem{Problem::Kind::usage, "--layer: an empty name names no layer"};
    try {
        auto kind = kindOf(fileName, choices.layer.has_value());
        if (auto* problem = std::get_if<Problem>(&kind)) return std::move(*problem);
        if (std::get<InputKind>(kind) == InputKind::layer) {
            auto opened = withGisModule<std::variant<std::unique_ptr<LayerSource>, Problem>>(
                [&](const GisModule& gis) {
                    return gis.openLayerSource(fileName, choices.layer, encoding);
                });
            if (auto* problem = std::get_if<Problem>(&opened)) return std::move(*problem);
            layer = std::get<std::unique_ptr<LayerSource>>(opened).get();
            input.source_ = std::get<std::unique_ptr<LayerSource>>(std::move(opened));
        } else if (choices.layer) {
            return Problem{Problem::Kind::usage,
                           "--layer: \"" + fileName + "\" is a CSV file, which has no layers"};
        } else {
            input.source_ = openStandSource(fileName, encoding);
        }
    } catch (const InventoryInputError& e) {
        return Problem{e.kind() == InventoryInputError::unreadable ? Problem::Kind::unreadable
                                                                   : Problem::Kind::unusable,
                       e.what()};
    }

    auto mapped = mapStandColumns(input.source_->header(), choices.columns);
    if (const auto* missing = std::get_if<std::string>(&mapped)) {
        return unusable(fileName + ": " + *missing);
    }
    input.columns_ = std::get<StandColumnMap>(std::move(mapped));
    if (layer != nullptr) {
        if (auto problem = input.useLayer(*layer, fileName, encoding)) return std::move(*problem);
    }
    if (choices.speciesMap) {
        auto map = readSpeciesMap(*choices.speciesMap, encoding);
        if (auto* problem = std::get_if<Problem>(&map)) return std::move(*problem);
        input.speciesMap_ = std::get<SpeciesMap>(std::move(map));
    }
    input.areaUnit_ = choices.areaUnit;
    if (const auto problem = columnUnitProblem(input.columns_, choices.areaUnit == AreaUnit::mu))
        return unusable(fileName + ": " + *problem);
    return input;
}

std::optional<std::string> StandInput::areaUnitProblem() const {
    if (!(polygonAreaTotal_ > 0) || !(columnAreaTotal_ > 0)) return std::nullopt;
    // A factor of 15 within 2 %: the column in mu read as ha, or the reverse.
    const auto near = [](double ratio) { return std::fabs(ratio / 15 - 1) <= 0.02; };
    const auto hectares = [](double area) {  // to a tenth, as the summary shows areas
        return shortestText(std::round(area * 10) / 10) + " ha";
    };
    const std::string totals = "the area column " + quotedValue(headerOf(StandColumn::area)) +
                               " sums to " + hectares(columnAreaTotal_) +
                               ", the polygons measure " + hectares(polygonAreaTotal_);
    if (near(columnAreaTotal_ / polygonAreaTotal_))
        return totals + ", 15 times less: is the column in mu? Give --area-unit mu";
    if (near(polygonAreaTotal_ / columnAreaTotal_))
        return totals + ", 15 times more: is the column in ha? Leave out --area-unit mu";
    return std::nullopt;
}

std::optional<Problem> StandInput::useLayer(LayerSource& layer, const std::string& fileName,
                                            InputEncoding encoding) {
    auto measured = measurePolygons(layer, columns_, fileName);
    if (auto* problem = std::get_if<Problem>(&measured)) return std::move(*problem);
    polygonAreaPosition_ = std::get<int>(measured);
    layer_ = &layer;
    areaMeasured_ = columns_.header[static_cast<std::size_t>(StandColumn::area)] ==
                    LayerSource::polygonAreaColumn;
    geodesic_ = layer.areasGeodesic();
    if (areaMeasured_ && !layer.geodesicBecause().empty()) {
        notes_.push_back("polygon areas measured on the ellipsoid (geodesic), as " +
                         layer.geodesicBecause());
    }
    if (layer.hasGeometry()) geometry_ = LayerRef{fileName, layer.layerName(), encoding};
    return std::nullopt;
}

void StandInput::checkArea(const RawRow& row, const InventoryStand& stand) {
    const RawValue& polygon = row.values[static_cast<std::size_t>(polygonAreaPosition_)];
    if (polygon.kind != RawValue::Kind::real || !std::isfinite(polygon.real) || !(polygon.real > 0))
        return;
    const double ratio = stand.area / polygon.real;
    if (ratio > 1 + areaCheckTolerance || ratio < 1 - areaCheckTolerance)
        areaChecks_.push_back({row.line, stand.standId, stand.area, polygon.real});
}

std::optional<std::string> StandInput::translateSpecies(RawRow& row) const {
    const auto position =
        static_cast<std::size_t>(columns_.position[static_cast<std::size_t>(StandColumn::species)]);
    if (position >= row.values.size()) return std::nullopt;
    RawValue& value = row.values[position];
    const std::optional<std::string> code = speciesCodeOf(value);
    if (!code) return std::nullopt;  // an empty value is rejected as such
    const auto found = speciesMap_->speciesOfCode.find(*code);
    if (found == speciesMap_->speciesOfCode.end()) return code;
    value = RawValue{};
    value.kind = RawValue::Kind::integer;
    value.integer = found->second;
    return std::nullopt;
}

StandReading StandInput::read(RawRow& row) {
    const std::optional<std::string> unmapped = speciesMap_ ? translateSpecies(row) : std::nullopt;
    StandReading reading = readStand(columns_, row);
    std::optional<Rejection>& rejection = reading.rejection;
    // The species comes second: only a stand id that cannot be read is told before it.
    if (unmapped && (!rejection || rejection->column != headerOf(StandColumn::standId))) {
        rejection = rowRejection(
            row.line, reading.stand.standId, headerOf(StandColumn::species),
            quotedValue(*unmapped) + " is not in the species map " + speciesMap_->fileName);
    }
    const auto areaPosition = columns_.position[static_cast<std::size_t>(StandColumn::area)];
    if (rejection && areaMeasured_ && rejection->column == headerOf(StandColumn::area)) {
        const RawValue& area = row.values[static_cast<std::size_t>(areaPosition)];
        if (area.kind == RawValue::Kind::missing) {
            rejection->message = "the feature has no polygon to measure";
        } else if (!std::isfinite(area.real)) {
            rejection->message =
                "the polygon cannot be measured: a point is beyond the earth (a latitude beyond "
                "90 degrees) or outside what the projection covers";
        }
    }
    if (!rejection && areaUnit_ == AreaUnit::mu && !areaMeasured_ && areaPosition >= 0) {
        reading.stand.area = reading.stand.area / 15;
        if (!(reading.stand.area > 0)) {
            rejection = rowRejection(row.line, reading.stand.standId, headerOf(StandColumn::area),
                                     "is below the smallest number once in hectares");
        }
    }
    // A survey layer's areas only: a table's stray area is caught by its totals.
    if (!rejection && layer_ != nullptr && reading.stand.area > largestStandArea) {
        rejection = rowRejection(row.line, reading.stand.standId, headerOf(StandColumn::area),
                                 fmt::format("{:.6g}", reading.stand.area) +
                                     " ha is above 100,000 ha, beyond any stand: a wrong unit or a "
                                     "stray point?");
    }
    // A wrong geometry or text comes before the values, after an unreadable stand id.
    if (const auto* problem = layer_ != nullptr ? &layer_->featureProblem() : nullptr;
        problem != nullptr && *problem &&
        (!rejection || rejection->column != headerOf(StandColumn::standId) ||
         rejection->column == (*problem)->column)) {
        rejection =
            rowRejection(row.line, reading.stand.standId, (*problem)->column, (*problem)->reason);
    }
    if (!rejection && checksAreas()) checkArea(row, reading.stand);
    // The totals of the area column and the polygons, for the check of the column's unit.
    if (!rejection && polygonAreaPosition_ >= 0 && !areaMeasured_) {
        const RawValue& polygon = row.values[static_cast<std::size_t>(polygonAreaPosition_)];
        if (polygon.kind == RawValue::Kind::real && std::isfinite(polygon.real)) {
            columnAreaTotal_ += reading.stand.area;
            polygonAreaTotal_ += polygon.real;
        }
    }
    return reading;
}

}  // namespace arbora
