#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <variant>

#include "gis/layer_ref.h"
#include "gis/map_outlines.h"
#include "io/problem.h"

namespace arbora {

// readMapOutlines (gis/map_outlines.h), done with GDAL.
std::variant<OutlineFrame, Problem> readLayerOutlines(
    const LayerRef& layer, const std::function<std::string*(std::int64_t)>& pathOf);

}  // namespace arbora
