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

// The ring thinned and rounded, without repeated points; empty when fewer than 3 are left.
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
        if (points.empty() || !(p == points.back())) points.push_back(p);
    }
    while (points.size() > 1 && points.back() == points.front())
        points.pop_back();
    if (points.size() < 3) points.clear();
    return points;
}

// A number of path data: a minus sign separates it from the one before, else a space.
void appendNumber(std::string& out, long value, bool afterCommand) {
    if (!afterCommand && value >= 0) out += ' ';
    out += std::to_string(value);
}

// One subpath, closed: a relative move from `start` (the first subpath's from the origin,
// a later one's from the start of the one before, where a closed subpath leaves the pen),
// then each point from the one before as implicit relative lines: the shortest text, since
// the steps of a small outline are one or two digits.
void appendSubpath(std::string& out, const std::vector<WholePoint>& points, WholePoint& start) {
    out += 'm';
    WholePoint last = start;
    for (std::size_t i = 0; i < points.size(); ++i) {
        appendNumber(out, points[i].x - last.x, i == 0);
        appendNumber(out, points[i].y - last.y, false);
        last = points[i];
    }
    out += 'z';
    start = points.front();
}

}  // namespace

std::string outlinePath(const std::vector<MapRing>& rings, double tolerance) {
    std::string path;
    WholePoint start{0, 0};
    const MapPoint* first = nullptr;
    for (const MapRing& ring : rings) {
        for (std::size_t i = 0; first == nullptr && i < ring.size(); ++i) {
            if (std::isfinite(ring[i].x) && std::isfinite(ring[i].y)) first = &ring[i];
        }
        const std::vector<WholePoint> points = simplifiedRing(ring, tolerance);
        if (!points.empty()) appendSubpath(path, points, start);
    }
    if (path.empty() && first != nullptr) {
        // Too small to see: a mark, so that the stand can still be found and pointed at.
        const WholePoint p = rounded(*first);
        appendSubpath(path, {{p.x - 1, p.y + 1}, {p.x + 1, p.y + 1}, {p.x, p.y - 1}}, start);
    }
    return path;
}

std::variant<OutlineFrame, GisProblem> readMapOutlines(
    const LayerRef& layer, const std::function<std::string*(std::int64_t)>& pathOf) {
    auto module = loadGisModule();
    if (auto* problem = std::get_if<GisProblem>(&module)) return std::move(*problem);
    return std::get<const GisModule*>(module)->readMapOutlines(layer, pathOf);
}

}  // namespace arbora
