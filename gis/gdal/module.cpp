// The GIS module's table of functions: what the runner does with GDAL.

#include "gis/gdal/geopackage_layer.h"
#include "gis/gdal/map_reading.h"
#include "gis/gdal/vector_layer.h"
#include "gis/gis_module.h"

namespace arbora {
namespace {

bool isVectorFile(const std::string& fileName) {
    registerGdal();
    const GdalErrors quiet;
    const GDALDriverH driver =
        GDALIdentifyDriverEx(gdalName(fileName).c_str(), GDAL_OF_VECTOR, nullptr, nullptr);
    return driver != nullptr && !EQUAL(GDALGetDriverShortName(driver), "CSV");
}

std::variant<std::unique_ptr<LayerSource>, Problem> openLayerSource(
    const std::string& fileName, const std::optional<std::string>& layerName,
    InputEncoding encoding) {
    auto opened = openLayer(fileName, layerName, encoding, ShapefileText::byReader);
    if (auto* problem = std::get_if<Problem>(&opened)) return std::move(*problem);
    return std::make_unique<LayerStandSource>(std::get<OpenLayer>(std::move(opened)), fileName);
}

const GisModule module{
    .release = ARBORA_VERSION,
    .isVectorFile = isVectorFile,
    .openLayerSource = openLayerSource,
    .openGeoPackageOutput = openGeoPackageLayerOutput,
    .readMapOutlines = readLayerOutlines,
};

}  // namespace
}  // namespace arbora

extern "C" __attribute__((visibility("default"))) const arbora::GisModule* arbora_gis_module() {
    return &arbora::module;
}
