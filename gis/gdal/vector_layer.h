#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "gis/gdal/gdal_handles.h"
#include "gis/gdal/ground_area.h"
#include "gis/gis_module.h"
#include "gis/layer_ref.h"
#include "inventory/stand_sources.h"
#include "io/problem.h"

// A vector layer GDAL opens (GeoPackage, shapefile, GeoJSON, ...), read as stand rows.
namespace arbora {

struct OpenLayer {
    Dataset dataset;
    OGRLayer* layer = nullptr;  // owned by the dataset
    bool shapefile = false;
    // The encoding of a shapefile's text when it is left as bytes for the reader to
    // convert ("GB18030" for GBK); empty when GDAL gives UTF-8.
    std::string textEncoding;
};

// The name GDAL opens a file by: a .zip (other than a .shp.zip, which GDAL knows) as
// the folder it holds, through /vsizip/.
std::string gdalName(const std::string& fileName);

// Who turns a shapefile's text into UTF-8: GDAL, which puts "?" for what it cannot
// convert and warns once a process; or the reader, which can name the field.
enum class ShapefileText { byGdal, byReader };

// Opens the file read-only and chooses its layer: the one named, else "stands" when
// there is one, else the only one. A shapefile's .dbf text is read in the encoding its
// .cpg file names, or in GBK when asked (overriding the .cpg); a .cpg naming GB2312,
// GBK, 936, CP936 or GB18030 means GBK (Chinese programs write GB2312 for files in
// GBK), read as GB 18030, its superset.
std::variant<OpenLayer, Problem> openLayer(const std::string& fileName,
                                           const std::optional<std::string>& layerName,
                                           InputEncoding encoding,
                                           ShapefileText text = ShapefileText::byGdal);

// Whether a geometry type is a surface (polygon, curve polygon, ...) or a collection of
// them.
bool isPolygonType(OGRwkbGeometryType type);

// A layer's features as stand rows (see LayerSource).
class LayerStandSource : public LayerSource {
  public:
    LayerStandSource(OpenLayer layer, std::string fileName);
    const std::vector<std::string>& header() const override { return header_; }
    bool next(RawRow& row) override;
    double fractionDone() const override;
    const std::string& layerName() const override { return layerName_; }
    bool hasGeometry() const override;
    bool mayHavePolygons() const override;
    std::string addPolygonAreas() override;
    std::string geodesicBecause() const override {
        return areas_ ? areas_->geodesicBecause() : std::string();
    }
    bool areasGeodesic() const override { return areas_ && areas_->geodesic(); }
    const std::optional<FeatureProblem>& featureProblem() const override { return problem_; }

  private:
    void checkCount();
    void readFields(RawRow& row);
    void readGeometry(RawRow& row);
    std::string encodingName() const;  // of the shapefile's text, as told

    OpenLayer open_;
    std::string fileName_;
    std::string layerName_;
    std::vector<std::string> header_;
    int fields_ = 0;
    std::vector<std::string> texts_;        // the texts of fields that are not strings
    Feature feature_;                       // the row given last; its strings are the row's texts
    std::optional<GroundAreas> areas_;      // when the polygon areas are measured
    std::optional<FeatureProblem> problem_;  // of the row given last
    std::string geometryColumn_;
    std::int64_t done_ = 0;
    std::int64_t total_ = -1;
};

}  // namespace arbora
