#include "gis/map_outlines.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <optional>
#include <utility>

#include "gis/gis_module.h"

namespace arbora {
namespace {

double distanceToSegment(MapPoint p, MapPoint a, MapPoint b) {
    const double dx = b.x - a.x, dy = b.y - a.y;
    const double length2 = dx * dx + dy * dy;
    double t = 0;
    if (length2 > 0) t = std::clamp(((p.x - a.x) * dx + (p.y - a.y) * dy) / length2, 0.0, 1.0);
    const double ex = p.x - (a.x + t * dx), ey = p.y - (a.y + t * dy);
    return std::sqrt(ex * ex + ey * ey);
}

// Douglas-Peucker: which points of the line stay so that none left out lies farther than
// the tolerance from it. The distance is to the segment, not its line, so that a closed
// ring (first point = last) keeps its farthest point. Spans on a stack, not recursion: a
// ring of a million points must not run out of stack.
std::vector<bool> douglasPeucker(const MapRing& line, double tolerance) {
    std::vector<bool> kept(line.size(), false);
    kept.front() = kept.back() = true;
    std::vector<std::pair<std::size_t, std::size_t>> spans{{0, line.size() - 1}};
    while (!spans.empty()) {
        const auto [a, b] = spans.back();
        spans.pop_back();
        double farthest = tolerance;
        std::size_t at = a;
        for (std::size_t i = a + 1; i < b; ++i) {
            const double distance = distanceToSegment(line[i], line[a], line[b]);
            if (distance > farthest) {
                farthest = distance;
                at = i;
            }
        }
        if (at == a) continue;
        kept[at] = true;
        spans.emplace_back(a, at);
        spans.emplace_back(at, b);
    }
    return kept;
}

struct WholePoint {
    long x, y;
    bool operator==(const WholePoint&) const = default;
};

WholePoint rounded(MapPoint p) {
    return {std::lround(p.x), std::lround(p.y)};
}

// Whether b lies on the way from a to c, where it adds nothing to the outline.
bool onTheWay(WholePoint a, WholePoint b, WholePoint c) {
    const long long ux = b.x - a.x, uy = b.y - a.y, vx = c.x - b.x, vy = c.y - b.y;
    return ux * vy == uy * vx && ux * vx + uy * vy > 0;
}

// The ring thinned and rounded, without repeated points nor points on the way between
// their neighbours (rounding puts many in line); empty when fewer than 3 are left.
std::vector<WholePoint> simplifiedRing(const MapRing& ring, double tolerance) {
    MapRing line;
    line.reserve(ring.size() + 1);
    for (const MapPoint p : ring) {
        if (std::isfinite(p.x) && std::isfinite(p.y)) line.push_back(p);
    }
    if (line.size() < 3) return {};
    if (line.front().x != line.back().x || line.front().y != line.back().y)
        line.push_back(line.front());
    const std::vector<bool> kept = douglasPeucker(line, tolerance);
    std::vector<WholePoint> points;
    for (std::size_t i = 0; i + 1 < line.size(); ++i) {  // the closing point is the first
        if (!kept[i]) continue;
        const WholePoint p = rounded(line[i]);
        if (!points.empty() && p == points.back()) continue;
        while (points.size() > 1 && onTheWay(points[points.size() - 2], points.back(), p))
            points.pop_back();
        points.push_back(p);
    }
    while (points.size() > 1 && points.back() == points.front())
        points.pop_back();
    // Where the ring closes: its last point, then its first, may be on the way.
    while (points.size() > 2 && onTheWay(points[points.size() - 2], points.back(), points[0]))
        points.pop_back();
    while (points.size() > 2 && onTheWay(points.back(), points[0], points[1]))
        points.erase(points.begin());
    if (points.size() < 3) points.clear();
    return points;
}

// A number of path data: a minus sign separates it from the one before, else a space.
void appendNumber(std::string& out, long value, bool afterCommand) {
    if (!afterCommand && value >= 0) out += ' ';
    out += std::to_string(value);
}

// Twice the ring's area, positive when it runs clockwise on the page (y downward).
long long doubleArea(const std::vector<WholePoint>& points) {
    long long sum = 0;
    for (std::size_t i = 0; i < points.size(); ++i) {
        const WholePoint a = points[i], b = points[(i + 1) % points.size()];
        sum += static_cast<long long>(a.x) * b.y - static_cast<long long>(b.x) * a.y;
    }
    return sum;
}

// Turns the ring to run clockwise (an outside ring) or the other way (a hole), from the
// same first point. Taken from the rounded points, which are what is drawn.
void orient(std::vector<WholePoint>& points, bool outside) {
    const long long area = doubleArea(points);
    if (area != 0 && (area > 0) != outside) std::reverse(points.begin() + 1, points.end());
}

// One subpath, closed: the first of a path from an absolute "M", a later one from a
// relative "m" from `start` (the start of the subpath before, where a closed subpath
// leaves the pen); then each point from the one before, by "h" or "v" along an axis and
// "l" otherwise, a command left out where it repeats: the shortest text, since the steps
// of a small outline are one or two digits, and many along an axis once rounded.
void appendSubpath(std::string& out, const std::vector<WholePoint>& points, WholePoint& start) {
    const bool first = out.empty();
    out += first ? 'M' : 'm';
    const WholePoint from = first ? WholePoint{0, 0} : start;
    appendNumber(out, points[0].x - from.x, true);
    appendNumber(out, points[0].y - from.y, false);
    // After "M" further numbers would be absolute lines, after "m" relative ones.
    char command = first ? 'M' : 'l';
    for (std::size_t i = 1; i < points.size(); ++i) {
        const long dx = points[i].x - points[i - 1].x, dy = points[i].y - points[i - 1].y;
        const char step = dy == 0 ? 'h' : dx == 0 ? 'v' : 'l';
        const bool repeated = step == command;
        if (!repeated) out += step;
        command = step;
        if (step != 'v') appendNumber(out, dx, !repeated);
        if (step != 'h') appendNumber(out, dy, !repeated && step == 'v');
    }
    out += 'z';
    start = points.front();
}

}  // namespace

std::string outlinePath(const std::vector<MapPolygon>& polygons, double tolerance) {
    std::string path;
    WholePoint start{0, 0};
    const MapPoint* first = nullptr;
    for (const MapPolygon& polygon : polygons) {
        for (std::size_t r = 0; r < polygon.size(); ++r) {
            const MapRing& ring = polygon[r];
            for (std::size_t i = 0; first == nullptr && i < ring.size(); ++i) {
                if (std::isfinite(ring[i].x) && std::isfinite(ring[i].y)) first = &ring[i];
            }
            std::vector<WholePoint> points = simplifiedRing(ring, tolerance);
            if (points.empty()) continue;
            orient(points, r == 0);
            appendSubpath(path, points, start);
        }
    }
    if (path.empty() && first != nullptr) {
        // Too small to see: a mark, so that the stand can still be found and pointed at.
        const WholePoint p = rounded(*first);
        std::vector<WholePoint> mark{{p.x - 1, p.y + 1}, {p.x + 1, p.y + 1}, {p.x, p.y - 1}};
        orient(mark, true);
        appendSubpath(path, mark, start);
    }
    return path;
}

std::variant<OutlineFrame, Problem> readMapOutlines(
    const LayerRef& layer, const std::function<std::string*(std::int64_t)>& pathOf) {
    return withGisModule<std::variant<OutlineFrame, Problem>>(
        [&](const GisModule& gis) { return gis.readMapOutlines(layer, pathOf); });
}

}  // namespace arbora
