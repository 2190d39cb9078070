#pragma once

#include <string>

#include "inventory/stand_sources.h"

namespace arbora {

// Where a GIS layer is, so that it can be opened again (the GeoPackage output and the map
// read the geometries a second time rather than hold them all).
struct LayerRef {
    std::string fileName;
    std::string layerName;
    InputEncoding encoding = InputEncoding::utf8;  // gbk: a shapefile's .dbf text in GBK
};

}  // namespace arbora
