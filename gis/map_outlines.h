#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <variant>
#include <vector>

#include "gis/layer_ref.h"
#include "io/problem.h"

// The stands' outlines for a small map drawn in a page (the estate report's): polygons
// simplified to what can be seen at that size and written as SVG path data, so that a
// map of 100,000 stands takes some tens of bytes a stand.
namespace arbora {

// The longer side of a map, in drawing units. A unit is about a pixel on a page.
constexpr double mapSize = 1000;
// Douglas-Peucker tolerance in drawing units: half a unit, less than the eye can see.
constexpr double outlineTolerance = 0.5;

// A point in drawing units: x to the right, y downward.
struct MapPoint {
    double x = 0, y = 0;
};
using MapRing = std::vector<MapPoint>;    // closed or not; the last point may repeat the first
using MapPolygon = std::vector<MapRing>;  // its outside ring first, then its holes

// The SVG path data of one polygon's rings (or several polygons'), e.g.
// "M12 340l5-2v7zm3 1h1l-1 1z": the first ring from an absolute move (12,340), then a line
// by 5,-2 and one by 7 down; every later ring from a relative move, from the start of the
// ring before (where "z" leaves the pen), so that a stand's path has one "M", and many
// stands can be joined into one path and split again at the "M"s. Each ring is thinned by
// Douglas-Peucker with the tolerance, its points rounded to whole units, repeated points
// and points on the way between their neighbours left out; a ring left with fewer than 3
// points is dropped. When no ring is left, a triangle of 2 units at the first point, so
// that every stand keeps a mark. Empty only when there is no finite point. Outside rings
// run clockwise on the page (y downward) and holes the other way, whatever the layer's
// order, so that the path is filled right by the nonzero rule: holes stay open, and parts
// that overlap (or neighbours that overlap by a rounding) are filled rather than punched
// out as the even-odd rule would.
std::string outlinePath(const std::vector<MapPolygon>& polygons,
                        double tolerance = outlineTolerance);

// The map's drawing area and what a unit is on the ground.
struct OutlineFrame {
    std::int32_t width = 0, height = 0;  // drawing units; the longer side is mapSize
    // Metres on the ground a drawing unit stands for; 0 when the layer has no coordinate
    // system with a length unit (then no scale can be drawn).
    double metresPerUnit = 0;
    bool northUp = false;  // a projected or geographic coordinate system: up is north
};

// Reads the layer again and gives each feature that `pathOf` gives a place for (by its
// place in reading order, from 1, as the stand was read: FIDs may repeat) its outline
// path there. The frame fits the polygons of those features; features without
// a polygon are passed over. A geographic layer (degrees) is drawn in the equirectangular
// projection about the middle latitude. Empty frame (width 0) when nothing is drawn.
// Reads the layer twice (extent, then outlines), holding one feature at a time.
std::variant<OutlineFrame, Problem> readMapOutlines(
    const LayerRef& layer, const std::function<std::string*(std::int64_t)>& pathOf);

}  // namespace arbora
