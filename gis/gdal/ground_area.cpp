#include "gis/gdal/ground_area.h"

#include <proj.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>
#include <optional>
#include <vector>

#include "inventory/number_text.h"

namespace arbora {
namespace {

constexpr double radiansPerDegree = std::numbers::pi / 180;

struct ProjContextCloser {
    void operator()(PJ_CONTEXT* context) const { proj_context_destroy(context); }
};
struct ProjCloser {
    void operator()(PJ* projection) const { proj_destroy(projection); }
};

// The projection's areal scale at a point (degrees), or nothing when PROJ cannot tell.
// PROJ is given the projection alone, as a PROJ string: its factors then come free of
// the system's length unit and axis order (given the whole system, PROJ 9.1 measures
// them in its unit, per foot in a system in feet).
std::optional<double> arealScaleAt(const OGRSpatialReference& crs, double longitude,
                                   double latitude) {
    char* text = nullptr;
    const OGRErr exported = crs.exportToProj4(&text);
    const std::string definition = text != nullptr ? text : "";
    CPLFree(text);
    if (exported != OGRERR_NONE || definition.empty()) return std::nullopt;
    const std::unique_ptr<PJ_CONTEXT, ProjContextCloser> context(proj_context_create());
    proj_log_level(context.get(), PJ_LOG_NONE);
    const std::unique_ptr<PJ, ProjCloser> projection(
        proj_create(context.get(), definition.c_str()));
    if (!projection) return std::nullopt;
    const PJ_FACTORS factors =
        proj_factors(projection.get(),
                     proj_coord(longitude * radiansPerDegree, latitude * radiansPerDegree, 0, 0));
    if (proj_errno(projection.get()) != 0 || !std::isfinite(factors.areal_scale) ||
        !(factors.areal_scale > 0)) {
        return std::nullopt;
    }
    return factors.areal_scale;
}

// The centre of an extent in longitude and latitude, when it can be had.
std::optional<OGRRawPoint> centreInDegrees(const OGREnvelope& extent,
                                           OGRCoordinateTransformation& toDegrees) {
    OGRRawPoint centre{(extent.MinX + extent.MaxX) / 2, (extent.MinY + extent.MaxY) / 2};
    if (!std::isfinite(centre.x) || !std::isfinite(centre.y) ||
        !toDegrees.Transform(1, &centre.x, &centre.y)) {
        return std::nullopt;
    }
    return centre;
}

// The layer's centre in longitude and latitude: that of its extent, or, when one stray
// point throws the extent off the earth, that of its first feature.
std::optional<OGRRawPoint> centreOf(OGRLayer& layer, OGRCoordinateTransformation& toDegrees) {
    const GdalErrors quiet;
    OGREnvelope extent;
    if (layer.GetExtent(&extent, TRUE) == OGRERR_NONE) {
        if (auto centre = centreInDegrees(extent, toDegrees)) return centre;
    }
    layer.ResetReading();
    const Feature first(layer.GetNextFeature());
    layer.ResetReading();
    if (!first || first->GetGeometryRef() == nullptr) return std::nullopt;
    first->GetGeometryRef()->getEnvelope(&extent);
    return centreInDegrees(extent, toDegrees);
}

}  // namespace

std::variant<GroundAreas, std::string> GroundAreas::of(OGRLayer& layer) {
    const GdalErrors quiet;  // what cannot be had is said in words, or makes areas geodesic
    const OGRSpatialReference* crs = layer.GetSpatialRef();
    if (crs == nullptr) return "the layer has no coordinate system";
    if (!crs->IsGeographic() && !crs->IsProjected())
        return "its coordinate system is neither geographic nor projected";
    GroundAreas areas;
    // Longitude and latitude in degrees on the system's own ellipsoid.
    std::unique_ptr<OGRSpatialReference> degrees(crs->CloneGeogCS());
    if (degrees == nullptr) return "its coordinate system has no ellipsoid";
    degrees->SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
    degrees->SetAngularUnits(SRS_UA_DEGREE, std::stod(SRS_UA_DEGREE_CONV));
    std::unique_ptr<OGRCoordinateTransformation> toDegrees(
        OGRCreateCoordinateTransformation(crs, degrees.get()));
    const double semiMajor = crs->GetSemiMajor(), inverseFlattening = crs->GetInvFlattening();
    if (toDegrees == nullptr || !(semiMajor > 0)) return "its coordinate system has no ellipsoid";
    geod_init(&areas.ellipsoid_, semiMajor, inverseFlattening > 0 ? 1 / inverseFlattening : 0);

    const std::optional<OGRRawPoint> centre = centreOf(layer, *toDegrees);
    if (crs->IsGeographic()) {
        areas.toDegrees_ = std::move(toDegrees);
        // A degree of latitude at the centre, along the meridian.
        const double latitude = centre ? std::clamp(centre->y, -89.5, 89.5) : 0;
        double metres = 0;
        geod_inverse(&areas.ellipsoid_, latitude - 0.5, 0, latitude + 0.5, 0, &metres, nullptr,
                     nullptr);
        areas.metresPerUnit_ = metres * crs->GetAngularUnits() / radiansPerDegree;
        return areas;
    }
    const double metres = crs->GetLinearUnits();
    if (!std::isfinite(metres) || !(metres > 0)) return "its coordinate system has no length unit";
    areas.squareMetresPerSquareUnit_ = metres * metres;
    areas.metresPerUnit_ = metres;
    const std::optional<double> scale =
        centre ? arealScaleAt(*crs, centre->x, centre->y) : std::nullopt;
    if (scale && std::abs(*scale - 1) <= arealScaleTolerance) return areas;
    areas.toDegrees_ = std::move(toDegrees);
    if (scale) {
        areas.metresPerUnit_ = metres / std::sqrt(*scale);
        areas.geodesicBecause_ = "the projection's areal scale at the layer's centre is " +
                                 shortestText(std::round(*scale * 1000) / 1000);
    } else {
        areas.geodesicBecause_ = "the projection's areal scale at the layer's centre is unknown";
    }
    return areas;
}

double GroundAreas::ringArea(const OGRLinearRing& ring) const {
    const int count = ring.getNumPoints();
    std::vector<double> x(static_cast<std::size_t>(count)), y(x.size());
    ring.getPoints(x.data(), sizeof(double), y.data(), sizeof(double));
    if (!toDegrees_->Transform(count, x.data(), y.data())) {
        return std::numeric_limits<double>::quiet_NaN();
    }
    double area = 0;
    // Latitudes first; the ring is closed by the routine, a repeated last point adds nothing.
    geod_polygonarea(&ellipsoid_, y.data(), x.data(), count, &area, nullptr);
    return std::abs(area);
}

double GroundAreas::squareMetres(const OGRGeometry& polygons) const {
    if (!toDegrees_) {
        // GDAL's C API takes no const.
        return OGR_G_Area(OGRGeometry::ToHandle(const_cast<OGRGeometry*>(&polygons))) *
               squareMetresPerSquareUnit_;
    }
    // Curves and collections of polygons become plain polygons first.
    const std::unique_ptr<OGRGeometry> multi(
        OGRGeometryFactory::forceToMultiPolygon(polygons.clone()));
    if (!multi || wkbFlatten(multi->getGeometryType()) != wkbMultiPolygon) {
        return std::numeric_limits<double>::quiet_NaN();
    }
    double area = 0;
    for (const OGRPolygon* polygon : *multi->toMultiPolygon()) {
        bool outside = true;  // the exterior ring comes first, then the holes
        for (const OGRLinearRing* ring : *polygon) {
            area += outside ? ringArea(*ring) : -ringArea(*ring);
            outside = false;
        }
    }
    return area;
}

}  // namespace arbora
