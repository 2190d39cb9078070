#include "estate/map_frame.h"

#include <cmath>

#include "inventory/number_text.h"

namespace arbora::page {

namespace {

bool hasFurniture(const EstateMap& map) {
    return map.northUp || map.metresPerUnit > 0;
}

// The scale bar's length in metres: 1, 2 or 5 times a power of ten, at most `longest`.
double roundLength(double longest) {
    const double power = std::pow(10.0, std::floor(std::log10(longest)));
    for (const double step : {5.0, 2.0}) {
        if (step * power <= longest) return step * power;
    }
    return power;
}

// A bar of a round length up to a quarter of the frame's width, at the lower left.
std::string scaleBar(const EstateMap& m, const MapWords& words) {
    const double metres = roundLength(mapWidth / 4.0 * m.metresPerUnit);
    std::string length;
    appendShortest(length, std::round(metres / m.metresPerUnit * 10) / 10);
    const std::string label =
        metres >= 1000 ? shortestText(metres / 1000) + " " + std::string(words.kilometres)
                       : shortestText(metres) + " " + std::string(words.metres);
    const std::string bar = std::to_string(m.height + mapMargin + 35);
    const std::string tick = std::to_string(m.height + mapMargin + 29);
    return "<g class=\"scale-bar\"><path d=\"M0 " + bar + "h" + length + "M0 " + tick + "v12M" +
           length + " " + tick + "v12\"/><text x=\"0\" y=\"" +
           std::to_string(m.height + mapMargin + 20) + "\">" + label + "</text></g>\n";
}

// An arrow pointing up with its letter, at the lower right.
std::string northArrow(const EstateMap& m, const MapWords& words) {
    const std::string x = std::to_string(mapWidth - 15);
    return "<g class=\"north-arrow\"><path d=\"M" + x + " " +
           std::to_string(m.height + mapMargin + 22) + "l8 26-8-6-8 6z\"/><text x=\"" + x +
           "\" y=\"" + std::to_string(m.height + mapMargin + 18) + "\">" +
           std::string(words.north) + "</text></g>\n";
}

}  // namespace

std::string mapViewBox(const EstateMap& map) {
    const std::int32_t band = hasFurniture(map) ? mapBand : 0;
    return std::to_string(-mapMargin) + " " + std::to_string(-mapMargin) + " " +
           std::to_string(mapWidth + 2 * mapMargin) + " " +
           std::to_string(map.height + 2 * mapMargin + band);
}

std::string mapFurniture(const EstateMap& map, const MapWords& words) {
    std::string out;
    if (map.metresPerUnit > 0) out += scaleBar(map, words);
    if (map.northUp) out += northArrow(map, words);
    return out;
}

}  // namespace arbora::page
