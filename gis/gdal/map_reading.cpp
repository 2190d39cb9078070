#include "gis/gdal/map_reading.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <optional>
#include <utility>

#include "gis/gdal/vector_layer.h"

namespace arbora {
namespace {

// From the layer's coordinates to drawing units.
struct Transform {
    double minX = 0, maxY = 0;
    double xStretch = 1;  // for degrees of longitude
    double scale = 1;     // drawing units per unit of the layer (of latitude)
    MapPoint operator()(double x, double y) const {
        return {(x - minX) * xStretch * scale, (maxY - y) * scale};
    }
};

bool isFinite(const OGREnvelope& e) {
    return std::isfinite(e.MinX) && std::isfinite(e.MaxX) && std::isfinite(e.MinY) &&
           std::isfinite(e.MaxY);
}

// Calls `use` with each feature pathOf wants that has a polygon, and its place.
template <typename Use>
std::optional<Problem> forEachPolygon(OGRLayer& layer, const LayerRef& ref,
                                      const std::function<std::string*(std::int64_t)>& pathOf,
                                      Use use) {
    GdalErrors errors;
    layer.ResetReading();
    std::int64_t sequence = 0;
    while (const Feature feature{layer.GetNextFeature()}) {
        std::string* path = pathOf(++sequence);
        const OGRGeometry* geometry = feature->GetGeometryRef();
        if (path == nullptr || geometry == nullptr || geometry->IsEmpty() ||
            !isPolygonType(geometry->getGeometryType())) {
            continue;
        }
        use(*geometry, *path);
    }
    if (errors.failed())
        return Problem{Problem::Kind::unusable, ref.fileName + ": " + errors.last()};
    return std::nullopt;
}

std::vector<MapPolygon> polygonsOf(const OGRGeometry& geometry, const Transform& transform) {
    std::vector<MapPolygon> polygons;
    // Curves, surfaces and collections of polygons become plain polygons first.
    const std::unique_ptr<OGRGeometry> multi(
        OGRGeometryFactory::forceToMultiPolygon(geometry.clone()));
    if (!multi || wkbFlatten(multi->getGeometryType()) != wkbMultiPolygon) return polygons;
    for (const OGRPolygon* polygon : *multi->toMultiPolygon()) {
        MapPolygon& rings = polygons.emplace_back();
        for (const OGRLinearRing* ring : *polygon) {  // the exterior ring first
            MapRing& points = rings.emplace_back();
            points.reserve(static_cast<std::size_t>(ring->getNumPoints()));
            for (int i = 0; i < ring->getNumPoints(); ++i)
                points.push_back(transform(ring->getX(i), ring->getY(i)));
        }
    }
    return polygons;
}

// Metres on the ground a unit of the layer stands for at its centre (of latitude in
// degrees), or 0 when unknown.
double groundPerUnit(OGRLayer& layer) {
    auto areas = GroundAreas::of(layer);
    if (const auto* measured = std::get_if<GroundAreas>(&areas)) return measured->metresPerUnit();
    const OGRSpatialReference* crs = layer.GetSpatialRef();
    return crs != nullptr && !crs->IsGeographic() ? crs->GetLinearUnits() : 0;
}

// The frame and transform that fit the extent into mapSize, with what a unit is on the
// ground (metres per unit of the layer's coordinate system).
std::pair<OutlineFrame, Transform> frameOf(const OGREnvelope& extent,
                                           const OGRSpatialReference* crs, double groundPerUnit) {
    OutlineFrame frame;
    Transform transform{.minX = extent.MinX, .maxY = extent.MaxY};
    if (crs != nullptr && crs->IsGeographic()) {
        // Equirectangular about the middle latitude: true to scale along it, which is
        // close enough across an estate.
        const double radians = crs->GetAngularUnits();
        const double stretch = std::cos((extent.MinY + extent.MaxY) / 2 * radians);
        if (stretch > 0.01) transform.xStretch = stretch;
        frame.northUp = true;
    } else if (crs != nullptr) {
        frame.northUp = crs->IsProjected();
    }
    const double width = (extent.MaxX - extent.MinX) * transform.xStretch;
    const double height = extent.MaxY - extent.MinY;
    const double longer = std::max(width, height);
    if (longer > 0) transform.scale = mapSize / longer;
    frame.width = static_cast<std::int32_t>(std::max(1L, std::lround(width * transform.scale)));
    frame.height = static_cast<std::int32_t>(std::max(1L, std::lround(height * transform.scale)));
    if (std::isfinite(groundPerUnit) && groundPerUnit > 0)
        frame.metresPerUnit = groundPerUnit / transform.scale;
    return {frame, transform};
}

}  // namespace

std::variant<OutlineFrame, Problem> readLayerOutlines(
    const LayerRef& ref, const std::function<std::string*(std::int64_t)>& pathOf) {
    auto opened = openLayer(ref.fileName, ref.layerName, ref.encoding);
    if (auto* problem = std::get_if<Problem>(&opened)) return std::move(*problem);
    OGRLayer& layer = *std::get<OpenLayer>(opened).layer;

    OGREnvelope extent;
    auto problem =
        forEachPolygon(layer, ref, pathOf, [&](const OGRGeometry& geometry, std::string&) {
            OGREnvelope envelope;
            geometry.getEnvelope(&envelope);
            if (isFinite(envelope)) extent.Merge(envelope);
        });
    if (problem) return std::move(*problem);
    if (!extent.IsInit()) return OutlineFrame{};

    // (A pair, not a structured binding: clang 14 cannot capture those in a lambda.)
    const std::pair<OutlineFrame, Transform> framed =
        frameOf(extent, layer.GetSpatialRef(), groundPerUnit(layer));
    problem =
        forEachPolygon(layer, ref, pathOf, [&](const OGRGeometry& geometry, std::string& path) {
            path = outlinePath(polygonsOf(geometry, framed.second));
        });
    if (problem) return std::move(*problem);
    return framed.first;
}

}  // namespace arbora
