#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <variant>

#include "gis/gis_problem.h"
#include "gis/layer_ref.h"
#include "gis/map_outlines.h"

namespace arbora {

// readMapOutlines (gis/map_outlines.h), done with GDAL.
std::variant<OutlineFrame, GisProblem> readLayerOutlines(
    const LayerRef& layer, const std::function<std::string*(std::int64_t)>& pathOf);

}  // namespace arbora
