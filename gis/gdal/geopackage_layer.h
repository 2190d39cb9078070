#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "gis/layer_ref.h"
#include "inventory/projection_output.h"

namespace arbora {

// A GeoPackage with every table of the SQLite output (registered as attribute tables)
// and the polygon layer "stand_results" in the input layer's coordinate system: each
// projected stand's feature with its geometry and attributes as read, and per
// listed year k its volume_yk (m3/ha), carbon_yk (t C/ha) and co2e_yk (t/ha) in the
// untreated scenario ("none"), then the fields given by addStandFields (the plan's
// regime). Input fields named fid or like a result field are left out.
//
// The tables are written by the SQLite output beside the temporary file; at the end the
// layer is written with GDAL from the input read a second time (so no geometry is held
// in memory: only three numbers per stand and listed year), the tables are copied in,
// and the whole is put in place at once. Throws OutputFileError.
std::unique_ptr<ProjectionOutput> openGeoPackageLayerOutput(
    const std::string& fileName, const LayerRef& input, const std::vector<std::int32_t>& years,
    std::span<const OutputTable* const> furtherTables = {});

}  // namespace arbora
