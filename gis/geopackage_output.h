#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "gis/layer_ref.h"
#include "gis/stand_input.h"
#include "inventory/projection_output.h"
#include "io/problem.h"

// The projection as a GeoPackage that QGIS maps directly.
namespace arbora {

// Whether the file name ends in .gpkg, in any letter case.
bool isGeoPackageName(const std::string& fileName);

// The output a file name asks for, with the further tables the run fills: a GeoPackage
// for a .gpkg name (the tables of the SQLite output and the layer "stand_results": see
// gis/gdal/geopackage_layer.h), otherwise that of openProjectionOutput. A GeoPackage
// needs stands with geometries: without them it is a usage problem, as is a GIS module
// that cannot be loaded. Throws OutputFileError.
std::variant<std::unique_ptr<ProjectionOutput>, Problem> openStandOutput(
    const std::string& fileName, const StandInput& input, const std::vector<std::int32_t>& years,
    std::span<const OutputTable* const> furtherTables = {});

// The result fields of a listed year in the GeoPackage's layer, in this order.
constexpr std::string_view resultNames[] = {"volume_y", "carbon_y", "co2e_y"};
constexpr std::size_t resultsPerYear = std::size(resultNames);

}  // namespace arbora
