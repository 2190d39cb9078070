#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "gis/map_outlines.h"
#include "inventory/projection_output.h"
#include "inventory/stand_sources.h"
#include "io/problem.h"

// What the runner does with GDAL, behind one table of functions in a module of its own
// (arbora-gis.so). GDAL brings some hundred shared libraries, whose loading costs a
// run ten times what the run itself does when it only writes a stand's reports or reads
// a CSV file; the module is loaded the first time a GIS file is read or written.
namespace arbora {

// The stand rows of a GIS layer: one per feature, numbered by its FID (the row's line)
// and by its place in reading order (the row's feature). The header is the
// layer's field names; integer and real fields give numbers, NULL and unset fields
// nothing, other fields their text.
class LayerSource : public StandSource {
  public:
    virtual const std::string& layerName() const = 0;
    virtual bool hasGeometry() const = 0;
    // Whether the layer's geometries are (or may be) polygons.
    virtual bool mayHavePolygons() const = 0;
    // Appends the column "polygon area": each feature's polygon area on the ground in
    // hectares (see gis/gdal/ground_area.h: plane areas in a projected coordinate system
    // that keeps areas within 1 %, otherwise geodesic ones on its ellipsoid); nothing for
    // a feature without a polygon. Empty when added, otherwise why the areas cannot be
    // measured.
    virtual std::string addPolygonAreas() = 0;
    // Empty, or why the polygon areas of a projected coordinate system are geodesic.
    virtual std::string geodesicBecause() const = 0;
    // Whether the polygon areas are geodesic (in degrees, or by the reason above).
    virtual bool areasGeodesic() const = 0;

    // What is wrong with the feature of the row given last beyond its values: a polygon
    // with a coordinate that is not finite, or one GEOS finds invalid (self-intersecting,
    // a spike, ...); the column is the geometry's.
    struct FeatureProblem {
        std::string column, reason;
    };
    virtual const std::optional<FeatureProblem>& featureProblem() const = 0;
    static constexpr std::string_view polygonAreaColumn = "polygon area";
};

struct GisModule {
    // The release the module was built for: only that release's runner takes it.
    const char* release;
    // Whether GDAL knows the file as a vector format, other than CSV.
    bool (*isVectorFile)(const std::string& fileName);
    // Opens the file read-only and chooses its layer: the one named, else "stands" when
    // there is one, else the only one. A shapefile's .dbf text is read in the encoding
    // its .cpg file names, or in GBK when asked (overriding the .cpg).
    std::variant<std::unique_ptr<LayerSource>, Problem> (*openLayerSource)(
        const std::string& fileName, const std::optional<std::string>& layerName,
        InputEncoding encoding);
    // See openStandOutput (gis/geopackage_output.h). Throws OutputFileError.
    std::unique_ptr<ProjectionOutput> (*openGeoPackageOutput)(
        const std::string& fileName, const LayerRef& input, const std::vector<std::int32_t>& years,
        std::span<const OutputTable* const> furtherTables);
    // See readMapOutlines (gis/map_outlines.h).
    std::variant<OutlineFrame, Problem> (*readMapOutlines)(
        const LayerRef& layer, const std::function<std::string*(std::int64_t)>& pathOf);
};

// The C name the module gives its table under.
inline constexpr const char* gisModuleEntry = "arbora_gis_module";

// The module, loaded once per process from beside the program (the build tree) or from
// the library folder it is installed in; or why it cannot be loaded.
std::variant<const GisModule*, Problem> loadGisModule();

// What `use` gives with the module, or why the module cannot be loaded: a Result is a
// variant that can hold a Problem.
template <typename Result, typename Use>
Result withGisModule(Use&& use) {
    auto module = loadGisModule();
    if (auto* problem = std::get_if<Problem>(&module)) return std::move(*problem);
    return use(*std::get<const GisModule*>(module));
}

}  // namespace arbora
