#include "gis/gdal/vector_layer.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <limits>
#include <filesystem>
#include <fstream>

namespace arbora {
namespace {

bool isShapefile(const std::string& fileName) {
    const GDALDriverH driver =
        GDALIdentifyDriverEx(gdalName(fileName).c_str(), GDAL_OF_VECTOR, nullptr, nullptr);
    return driver != nullptr && EQUAL(GDALGetDriverShortName(driver), "ESRI Shapefile");
}

// Whether a .shp has no .dbf beside it (GDAL reads it as a layer without fields).
bool lacksDbf(const std::string& fileName) {
    std::filesystem::path dbf(fileName);
    if (!EQUAL(dbf.extension().c_str(), ".shp")) return false;
    std::error_code error;
    return !std::filesystem::exists(dbf.replace_extension(".dbf"), error) &&
           !std::filesystem::exists(dbf.replace_extension(".DBF"), error);
}

// Whether the .cpg beside a .shp names GBK or one of its kin.
bool cpgMeansGbk(const std::string& fileName) {
    std::filesystem::path cpg(fileName);
    if (!EQUAL(cpg.extension().c_str(), ".shp")) return false;
    std::ifstream in(cpg.replace_extension(".cpg"));
    if (!in) in.open(cpg.replace_extension(".CPG"));
    std::string name;
    in >> name;
    for (const char* gbk : {"GB2312", "GBK", "936", "CP936", "GB18030"}) {
        if (EQUAL(name.c_str(), gbk)) return true;
    }
    return false;
}

std::string layerNames(GDALDataset& dataset) {
    std::string names;
    for (OGRLayer* layer : dataset.GetLayers())
        names += (names.empty() ? "\"" : ", \"") + std::string(layer->GetName()) + "\"";
    return names;
}

// The layer asked for, "stands", or the only one.
std::variant<OGRLayer*, Problem> chooseLayer(GDALDataset& dataset, const std::string& fileName,
                                             const std::optional<std::string>& layerName) {
    using Kind = Problem::Kind;
    if (layerName) {
        if (OGRLayer* layer = dataset.GetLayerByName(layerName->c_str())) return layer;
        return Problem{Kind::usage, fileName + ": has no layer \"" + *layerName +
                                        "\" (its layers: " + layerNames(dataset) + ")"};
    }
    if (dataset.GetLayerCount() == 0) {
        return Problem{Kind::unusable, fileName + ": has no layer of stands"};
    }
    if (OGRLayer* layer = dataset.GetLayerByName("stands")) return layer;
    if (dataset.GetLayerCount() == 1) return dataset.GetLayer(0);
    return Problem{Kind::usage, fileName +
                                    ": has several layers and none is called "
                                    "\"stands\"; choose one with --layer (" +
                                    layerNames(dataset) + ")"};
}

RawValue rawValue(RawValue::Kind kind) {
    RawValue value;
    value.kind = kind;
    return value;
}

// One field of a feature as a raw value. The text of a string field stays valid while
// the feature lives; that of any other field is kept in `text`.
RawValue valueOf(const OGRFeature& feature, int field, std::string& text) {
    if (!feature.IsFieldSetAndNotNull(field)) return {};
    RawValue value;
    switch (feature.GetFieldDefnRef(field)->GetType()) {
        case OFTInteger:
        case OFTInteger64:
            value = rawValue(RawValue::Kind::integer);
            value.integer = feature.GetFieldAsInteger64(field);
            // GDAL clamps a whole number beyond 64 bits (a GeoJSON id of 30 digits) to
            // the extremes, with a warning: such a value is refused, never read clamped.
            if (value.integer == std::numeric_limits<std::int64_t>::max() ||
                value.integer == std::numeric_limits<std::int64_t>::min()) {
                value.kind = RawValue::Kind::tooLarge;
            }
            return value;
        case OFTReal:
            value = rawValue(RawValue::Kind::real);
            value.real = feature.GetFieldAsDouble(field);
            return value;
        case OFTString:
            value = rawValue(RawValue::Kind::text);
            value.text = feature.GetFieldAsString(field);
            return value;
        case OFTBinary:
            return rawValue(RawValue::Kind::other);
        default:  // dates, times and lists, as text
            text = feature.GetFieldAsString(field);
            value = rawValue(RawValue::Kind::text);
            value.text = text;
            return value;
    }
}

// Whether every coordinate of the geometry is a finite number.
class FiniteCheck : public OGRDefaultConstGeometryVisitor {
  public:
    using OGRDefaultConstGeometryVisitor::visit;
    void visit(const OGRPoint* point) override {
        finite = finite && std::isfinite(point->getX()) && std::isfinite(point->getY());
    }
    bool finite = true;
};

// What is wrong with a polygon, in words; nothing when it can be measured and drawn.
std::optional<std::string> polygonProblem(const OGRGeometry& polygon) {
    FiniteCheck check;
    polygon.accept(&check);
    if (!check.finite) return "has a coordinate that is not a finite number";
    const GdalErrors errors;  // GEOS's reason comes as GDAL's warning
    if (!polygon.IsValid()) {
        return "is not a valid polygon (" + errors.last("GEOS gives no reason") +
               "): mend the layer with ogr2ogr -makevalid";
    }
    return std::nullopt;
}

}  // namespace

std::string gdalName(const std::string& fileName) {
    const std::string lower = CPLString(fileName).tolower();
    const auto endsWith = [&](std::string_view end) {
        return lower.size() >= end.size() &&
               lower.compare(lower.size() - end.size(), end.size(), end) == 0;
    };
    return endsWith(".zip") && !endsWith(".shp.zip") ? "/vsizip/" + fileName : fileName;
}

bool isPolygonType(OGRwkbGeometryType type) {
    type = wkbFlatten(type);
    return OGR_GT_IsSurface(type) || OGR_GT_IsSubClassOf(type, wkbMultiSurface);
}

// Opens the dataset into `open` with the options, and chooses its layer.
std::optional<Problem> openDataset(OpenLayer& open, const std::string& fileName,
                                   const std::optional<std::string>& layerName,
                                   const CPLStringList& options) {
    GdalErrors errors;
    open.layer = nullptr;
    open.dataset.reset(GDALDataset::Open(gdalName(fileName).c_str(),
                                         GDAL_OF_VECTOR | GDAL_OF_READONLY, nullptr, options.List(),
                                         nullptr));
    if (!open.dataset) {
        return Problem{Problem::Kind::unusable, fileName + ": cannot be read as a GIS layer (" +
                                                    errors.last("GDAL knows no format of it") +
                                                    ")"};
    }
    auto chosen = chooseLayer(*open.dataset, fileName, layerName);
    if (auto* problem = std::get_if<Problem>(&chosen)) return std::move(*problem);
    open.layer = std::get<OGRLayer*>(chosen);
    return std::nullopt;
}

std::variant<OpenLayer, Problem> openLayer(const std::string& fileName,
                                           const std::optional<std::string>& layerName,
                                           InputEncoding encoding, ShapefileText text) {
    registerGdal();
    if (::access(fileName.c_str(), R_OK) != 0) {
        return Problem{Problem::Kind::unreadable,
                       "cannot read \"" + fileName + "\": " + std::strerror(errno)};
    }
    CPLStringList options;
    OpenLayer open;
    open.shapefile = isShapefile(fileName);
    if (open.shapefile && lacksDbf(fileName)) {
        return Problem{Problem::Kind::unusable,
                       fileName + ": its .dbf file, which holds the attributes, is missing"};
    }
    // GB 18030, the superset of GBK, as for CSV files.
    const bool gbk = open.shapefile && (encoding == InputEncoding::gbk || cpgMeansGbk(fileName));
    if (gbk) options.SetNameValue("ENCODING", "GB18030");
    if (auto problem = openDataset(open, fileName, layerName, options)) return std::move(*problem);
    if (!open.shapefile || text == ShapefileText::byGdal) return open;
    // For the reader: the encoding GDAL found (by the .cpg or the .dbf's language
    // driver), the text opened again as bytes.
    const char* found =
        gbk ? "GB18030" : open.layer->GetMetadataItem("SOURCE_ENCODING", "SHAPEFILE");
    if (found == nullptr || *found == '\0' || EQUAL(found, "UTF-8")) return open;
    open.textEncoding = found;
    options.SetNameValue("ENCODING", "");
    if (auto problem = openDataset(open, fileName, layerName, options)) return std::move(*problem);
    return open;
}

LayerStandSource::LayerStandSource(OpenLayer layer, std::string fileName)
    : open_(std::move(layer)), fileName_(std::move(fileName)) {
    layerName_ = open_.layer->GetName();
    const OGRFeatureDefn& fields = *open_.layer->GetLayerDefn();
    fields_ = fields.GetFieldCount();
    for (int i = 0; i < fields_; ++i) {
        std::string& name = header_.emplace_back(fields.GetFieldDefn(i)->GetNameRef());
        if (!open_.textEncoding.empty() &&
            !textToUtf8(open_.textEncoding, std::string(name), name)) {
            throw InventoryInputError(InventoryInputError::unusable,
                                      fileName_ + ": the name of field " + std::to_string(i + 1) +
                                          " is not " + encodingName() + " text");
        }
    }
    texts_.resize(static_cast<std::size_t>(fields_));
    geometryColumn_ = open_.layer->GetGeometryColumn();
    if (geometryColumn_.empty()) geometryColumn_ = "geometry";
    total_ = open_.layer->GetFeatureCount(FALSE);
    open_.layer->ResetReading();
}

bool LayerStandSource::hasGeometry() const {
    return open_.layer->GetLayerDefn()->GetGeomFieldCount() > 0;
}

bool LayerStandSource::mayHavePolygons() const {
    const OGRwkbGeometryType type = open_.layer->GetGeomType();
    return hasGeometry() && (wkbFlatten(type) == wkbUnknown || isPolygonType(type));
}

std::string LayerStandSource::addPolygonAreas() {
    auto areas = GroundAreas::of(*open_.layer);
    open_.layer->ResetReading();  // after the extent
    if (auto* why = std::get_if<std::string>(&areas)) return std::move(*why);
    areas_.emplace(std::get<GroundAreas>(std::move(areas)));
    header_.emplace_back(polygonAreaColumn);
    return {};
}

bool LayerStandSource::next(RawRow& row) {
    GdalErrors errors;
    feature_.reset(open_.layer->GetNextFeature());
    // A truncated .shp gives its features without their shapes, and an error.
    if (errors.failed()) {
        throw InventoryInputError(InventoryInputError::unusable, fileName_ + ": " + errors.last());
    }
    if (!feature_) {
        checkCount();
        return false;
    }
    if (++done_ > total_ && total_ >= 0) checkCount();
    const GIntBig fid = feature_->GetFID();
    row.line = fid != OGRNullFID ? fid : done_;
    row.feature = done_;
    row.values.resize(header_.size());
    problem_.reset();
    readFields(row);
    readGeometry(row);
    return true;
}

// The fields' values, the text of a shapefile checked (and converted from GBK).
void LayerStandSource::readFields(RawRow& row) {
    for (int i = 0; i < fields_; ++i) {
        const auto at = static_cast<std::size_t>(i);
        RawValue& value = row.values[at];
        value = valueOf(*feature_, i, texts_[at]);
        if (value.kind != RawValue::Kind::text || problem_) continue;
        if (!open_.textEncoding.empty()) {
            if (textToUtf8(open_.textEncoding, value.text, texts_[at])) {
                value.text = texts_[at];
                continue;
            }
            problem_ = FeatureProblem{header_[at], "is not " + encodingName() +
                                                       " text, which the .cpg file (or "
                                                       "--encoding) says the shapefile is in"};
        } else if (open_.shapefile && !isUtf8Text(value.text)) {
            problem_ = FeatureProblem{header_[at],
                                      "is not UTF-8 text; a shapefile in GBK without a .cpg "
                                      "file needs --encoding gbk"};
        }
    }
}

// The feature's polygon checked, and measured when the areas are.
void LayerStandSource::readGeometry(RawRow& row) {
    const OGRGeometry* geometry = feature_->GetGeometryRef();
    const bool polygon =
        geometry != nullptr && !geometry->IsEmpty() && isPolygonType(geometry->getGeometryType());
    if (polygon && !problem_) {
        if (auto problem = polygonProblem(*geometry))
            problem_ = FeatureProblem{geometryColumn_, std::move(*problem)};
    }
    if (areas_) {
        RawValue& area = row.values.back();
        area = {};
        if (polygon && !problem_) {
            const GdalErrors quiet;  // a point PROJ cannot take gives NaN, told by the caller
            area = rawValue(RawValue::Kind::real);
            area.real = areas_->squareMetres(*geometry) / 10000;
        }
    }
}

std::string LayerStandSource::encodingName() const {
    return open_.textEncoding == "GB18030" ? "GBK" : open_.textEncoding;
}

// A shapefile whose .dbf counts other records than its .shp has shapes gives some of
// them without a word; any layer giving other than the features it declares is refused.
void LayerStandSource::checkCount() {
    if (total_ < 0 || done_ == total_) return;
    while (done_ > total_ && Feature(open_.layer->GetNextFeature()))
        ++done_;  // all it gives
    throw InventoryInputError(
        InventoryInputError::unusable,
        fileName_ + ": layer \"" + layerName_ + "\" declares " + std::to_string(total_) +
            " features but gives " + std::to_string(done_) +
            " (for a shapefile: its .dbf and .shp do not hold the same number of records; "
            "ogrinfo -al tells which)");
}

double LayerStandSource::fractionDone() const {
    if (total_ <= 0) return 0;
    return std::min(1.0, static_cast<double>(done_) / static_cast<double>(total_));
}

}  // namespace arbora
