#include "gis/geopackage_output.h"

#include "gis/gis_module.h"

namespace arbora {

bool isGeoPackageName(const std::string& fileName) {
    return lowerExtension(fileName) == ".gpkg";
}

std::variant<std::unique_ptr<ProjectionOutput>, Problem> openStandOutput(
    const std::string& fileName, const StandInput& input, const std::vector<std::int32_t>& years,
    std::span<const OutputTable* const> furtherTables) {
    if (!isGeoPackageName(fileName)) return openProjectionOutput(fileName, furtherTables);
    if (!input.geometryLayer()) {
        return Problem{Problem::Kind::usage,
                       "--output \"" + fileName +
                           "\": a GeoPackage needs stands with geometries (a GIS layer), "
                           "and the inventory has none; write .sqlite, .db or .csv"};
    }
    // SQLite's limit of 2000 columns a table, less the FID and the geometry; found out
    // now rather than after the whole projection.
    constexpr std::size_t mostFields = 1998;
    const std::size_t fields = input.columns().inputColumns + resultsPerYear * years.size();
    if (fields > mostFields) {
        return Problem{Problem::Kind::usage,
                       "--output \"" + fileName + "\": the layer would have " +
                           std::to_string(fields) + " fields (the input's and " +
                           std::to_string(resultsPerYear) + " a listed year), more than " +
                           std::to_string(mostFields) + "; list fewer years"};
    }
    return withGisModule<std::variant<std::unique_ptr<ProjectionOutput>, Problem>>(
        [&](const GisModule& gis) {
            return gis.openGeoPackageOutput(fileName, *input.geometryLayer(), years, furtherTables);
        });
}

}  // namespace arbora
