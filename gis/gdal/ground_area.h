#pragma once

#include <geodesic.h>

#include <memory>
#include <string>
#include <variant>

#include "gis/gdal/gdal_handles.h"

// Polygon areas on the ground. In a geographic coordinate system (degrees) a polygon's
// area is its geodesic area on the system's ellipsoid (Karney's algorithm, PROJ's
// geod_polygonarea). In a projected system it is the plane area in the system's length
// unit, unless the projection's areal scale at the layer's centre (PROJ's projection
// factors) differs from 1 by more than arealScaleTolerance: then the polygon is taken
// back to the system's geographic coordinates and measured on the ellipsoid, as in
// Web Mercator, whose areal scale is 1.7 at 40 degrees.
namespace arbora {

// How far the areal scale may be from 1 before plane areas are no longer taken as
// ground areas: 1 %, about the scale at the edge of a 6-degree Gauss-Kruger zone
// (0.14 % at the edge of a 3-degree one).
constexpr double arealScaleTolerance = 0.01;

class GroundAreas {
  public:
    // How the layer's polygons are measured, or why they cannot be (the reason in
    // words, e.g. "the layer has no coordinate system").
    static std::variant<GroundAreas, std::string> of(OGRLayer& layer);

    // The polygon's (or polygons') area in square metres, its holes taken out; NaN when
    // a point cannot be taken to the ellipsoid.
    double squareMetres(const OGRGeometry& polygons) const;

    // Empty when the plane areas are taken; otherwise why the areas are geodesic,
    // e.g. "the areal scale of the projection at the layer's centre is 1.706".
    const std::string& geodesicBecause() const { return geodesicBecause_; }
    bool geodesic() const { return toDegrees_ != nullptr; }

    // Metres on the ground a unit of the layer stands for at its centre, for a scale
    // bar: along a meridian for degrees (of latitude); the length unit, corrected by the
    // projection's linear scale when areas are geodesic, in a projected system.
    double metresPerUnit() const { return metresPerUnit_; }

  private:
    double ringArea(const OGRLinearRing& ring) const;

    double squareMetresPerSquareUnit_ = 0;  // plane areas
    // Geodesic areas: from the layer's coordinates to longitude and latitude in degrees.
    std::unique_ptr<OGRCoordinateTransformation> toDegrees_;
    geod_geodesic ellipsoid_{};
    std::string geodesicBecause_;
    double metresPerUnit_ = 0;
};

}  // namespace arbora
