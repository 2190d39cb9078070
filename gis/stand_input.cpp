#include "gis/stand_input.h"

#include <sys/stat.h>

#include <cmath>
#include <cstring>
#include <fstream>

#include "gis/gis_module.h"
#include "inventory/projection_output.h"

namespace arbora {
namespace {

enum class InputKind { csv, sqliteTable, layer };

// A file named as CSV is read as CSV without asking GDAL, which would load the GIS module.
bool isNamedCsv(const std::string& fileName) {
    const std::string extension = lowerExtension(fileName);
    return extension == ".csv" || extension == ".txt";
}

std::variant<InputKind, GisProblem> kindOf(const std::string& fileName, bool layerNamed) {
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
    return withGisModule<std::variant<InputKind, GisProblem>>([&](const GisModule& gis) {
        return gis.isVectorFile(fileName) ? InputKind::layer : InputKind::csv;
    });
}

GisProblem unusable(const std::string& message) {
    return GisProblem{GisProblem::Kind::unusable, message};
}

// The layer's polygon areas as the area column, when it has none of its own.
std::optional<GisProblem> measurePolygons(LayerSource& layer, StandColumnMap& columns,
                                          const std::string& fileName) {
    const auto area = static_cast<std::size_t>(StandColumn::area);
    if (columns.position[area] >= 0 || !layer.mayHavePolygons()) return std::nullopt;
    const std::string why = layer.addPolygonAreas();
    if (!why.empty()) {
        return unusable(fileName + ": layer \"" + layer.layerName() +
                        "\" has no area column, and its polygon areas cannot be measured: " + why +
                        "; give the area column (--columns area=FIELD)");
    }
    columns.position[area] = static_cast<int>(layer.header().size() - 1);
    columns.header[area] = std::string(LayerSource::polygonAreaColumn);
    columns.inputColumns = layer.header().size();
    return std::nullopt;
}

}  // namespace

std::variant<StandInput, GisProblem> openStandInput(const std::string& fileName,
                                                    InputEncoding encoding,
                                                    const InputChoices& choices) {
    StandInput input;
    LayerSource* layer = nullptr;
    try {
        auto kind = kindOf(fileName, choices.layer.has_value());
        if (auto* problem = std::get_if<GisProblem>(&kind)) return std::move(*problem);
        if (std::get<InputKind>(kind) == InputKind::layer) {
            auto opened = withGisModule<std::variant<std::unique_ptr<LayerSource>, GisProblem>>(
                [&](const GisModule& gis) {
                    return gis.openLayerSource(fileName, choices.layer, encoding);
                });
            if (auto* problem = std::get_if<GisProblem>(&opened)) return std::move(*problem);
            layer = std::get<std::unique_ptr<LayerSource>>(opened).get();
            input.source_ = std::get<std::unique_ptr<LayerSource>>(std::move(opened));
        } else if (choices.layer) {
            return GisProblem{GisProblem::Kind::usage,
                              "--layer: \"" + fileName + "\" is a CSV file, which has no layers"};
        } else {
            input.source_ = openStandSource(fileName, encoding);
        }
    } catch (const InventoryInputError& e) {
        return GisProblem{e.kind() == InventoryInputError::unreadable ? GisProblem::Kind::unreadable
                                                                      : GisProblem::Kind::unusable,
                          e.what()};
    }

    auto mapped = mapStandColumns(input.source_->header(), choices.columns);
    if (const auto* missing = std::get_if<std::string>(&mapped)) {
        return unusable(fileName + ": " + *missing);
    }
    input.columns_ = std::get<StandColumnMap>(std::move(mapped));
    if (layer != nullptr) {
        if (auto problem = measurePolygons(*layer, input.columns_, fileName)) return *problem;
        input.areaMeasured_ = input.columns_.header[static_cast<std::size_t>(StandColumn::area)] ==
                              LayerSource::polygonAreaColumn;
        if (input.areaMeasured_ && !layer->geodesicBecause().empty()) {
            input.notes_.push_back("polygon areas measured on the ellipsoid (geodesic), as " +
                                   layer->geodesicBecause());
        }
        if (layer->hasGeometry())
            input.geometry_ = LayerRef{fileName, layer->layerName(), encoding};
    }
    if (choices.speciesMap) {
        auto map = readSpeciesMap(*choices.speciesMap, encoding);
        if (auto* problem = std::get_if<GisProblem>(&map)) return std::move(*problem);
        input.speciesMap_ = std::get<SpeciesMap>(std::move(map));
    }
    input.areaUnit_ = choices.areaUnit;
    return input;
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

StandReading StandInput::read(RawRow& row) const {
    const std::optional<std::string> unmapped = speciesMap_ ? translateSpecies(row) : std::nullopt;
    StandReading reading = readStand(columns_, row);
    std::optional<Rejection>& rejection = reading.rejection;
    // The species comes second: only a stand id that cannot be read is told before it.
    if (unmapped && (!rejection || rejection->column != headerOf(StandColumn::standId))) {
        rejection =
            Rejection{row.line, reading.stand.standId, headerOf(StandColumn::species),
                      "\"" + *unmapped + "\" is not in the species map " + speciesMap_->fileName};
    }
    const auto areaPosition = columns_.position[static_cast<std::size_t>(StandColumn::area)];
    if (rejection && areaMeasured_ && rejection->column == headerOf(StandColumn::area)) {
        const RawValue& area = row.values[static_cast<std::size_t>(areaPosition)];
        if (area.kind == RawValue::Kind::missing) {
            rejection->reason = "the feature has no polygon to measure";
        } else if (!std::isfinite(area.real)) {
            rejection->reason =
                "the polygon cannot be measured: a point is beyond the earth (a latitude beyond "
                "90 degrees) or outside what the projection covers";
        }
    }
    if (!rejection && areaUnit_ == AreaUnit::mu && !areaMeasured_ && areaPosition >= 0) {
        reading.stand.area = reading.stand.area / 15;
        if (!(reading.stand.area > 0)) {
            rejection = Rejection{row.line, reading.stand.standId, headerOf(StandColumn::area),
                                  "is below the smallest number once in hectares"};
        }
    }
    return reading;
}

}  // namespace arbora
