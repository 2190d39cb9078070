#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "estate/estate_report.h"

// The frame both estate pages draw their stands in: its measures, and the scale bar and
// north arrow below it.
namespace arbora::page {

// The frame is mapWidth drawing units across (an EstateMap's longer side), with a margin
// of mapMargin around it and, for the scale bar and the north arrow, a band of mapBand
// below.
constexpr std::int32_t mapWidth = 1000, mapMargin = 10, mapBand = 50;

// The words the scale bar and the north arrow are labelled with.
struct MapWords {
    std::string_view metres, kilometres, north;
};

// The value of the map's viewBox: the frame, its margin, and the band when the map has a
// scale bar or a north arrow.
std::string mapViewBox(const EstateMap& map);

// The scale bar (when the metres on the ground a drawing unit stands for are known) and
// the north arrow (when up is north), as SVG to end the map's <svg> with.
std::string mapFurniture(const EstateMap& map, const MapWords& words);

}  // namespace arbora::page
