#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "gis/layer_ref.h"
#include "gis/species_map.h"
#include "inventory/projection_output.h"
#include "inventory/stand_columns.h"
#include "inventory/stand_sources.h"
#include "io/problem.h"

// The stands of an inventory from any of its forms: a CSV file, a SQLite database with a
// table "stands", or a GIS layer GDAL opens; with the user's column names, species codes
// and area unit applied.
namespace arbora {

enum class AreaUnit { hectare, mu };  // 1 mu = 1/15 ha

// No stand is larger: in a GIS layer an area above it (a column's, or a polygon's) is
// refused as a wrong unit or a stray point. The largest forest farms of north China hold some
// 100,000 ha in all, in thousands of stands.
constexpr double largestStandArea = 100000;  // ha

// The survey check of a layer with both an area column and polygons: a stand whose area
// column is further than this share from its polygon's area is told.
constexpr double areaCheckTolerance = 0.05;

// A stand whose area column is further than areaCheckTolerance from its polygon's area.
struct AreaCheck {
    std::int64_t line = 0;  // the feature's FID
    std::string standId;
    double area = 0, polygonArea = 0;  // ha
};

// The table area_checks of the output: one row an AreaCheck (stand_id, feature, area,
// polygon_area, difference_percent).
extern const OutputTable areaChecksTable;
std::array<OutputValue, 5> areaCheckValues(const AreaCheck& check);

// Tells the first 20 checks, a line each ("stands.gpkg:12: MIAN_JI: 1.06 ha is 6 % above
// the polygon's 1 ha"), and how many more there are.
void listAreaChecks(const std::vector<AreaCheck>& checks, const std::string& fileName,
                    const std::string& areaColumn, std::ostream& err);

// What the command line says about reading the stands, besides the file and encoding.
struct InputChoices {
    std::optional<std::string> layer{};       // the layer of a GIS file
    StandColumnOverrides columns{};           // input names for stand columns
    std::optional<std::string> speciesMap{};  // a CSV file code,species
    AreaUnit areaUnit = AreaUnit::hectare;    // of an area column (measured polygons are in ha)
};

class LayerSource;

class StandInput {
  public:
    StandSource& source() { return *source_; }
    const StandColumnMap& columns() const { return columns_; }

    // The stand of a row, or why it cannot be used. With a species map, the species
    // value is replaced by the species its code stands for (a code the map lacks rejects
    // the row, as an unknown species does); an area column in mu becomes hectares. A
    // layer's feature whose geometry is wrong, or whose area is above largestStandArea,
    // is rejected; an area column far from its polygon's area is kept in areaChecks().
    StandReading read(RawRow& row);

    // Whether the areas are checked against the polygons', and those found.
    bool checksAreas() const { return polygonAreaPosition_ >= 0 && !areaMeasured_; }
    bool areaMeasured() const { return areaMeasured_; }
    bool geodesic() const { return geodesic_; }
    const std::vector<AreaCheck>& areaChecks() const { return areaChecks_; }

    // Whether every stand counts as 1 ha: neither an area column nor polygon areas.
    bool areaAssumed() const {
        return columns_.position[static_cast<std::size_t>(StandColumn::area)] < 0;
    }
    // When a layer has both an area column and polygons in a projected system: why the
    // column's unit looks wrong, its total over the stands read so far being 15 times
    // (within 2 %) that of the polygons, or a fifteenth of it. None otherwise.
    std::optional<std::string> areaUnitProblem() const;

    // The layer the stands come from, when it has geometries.
    const std::optional<LayerRef>& geometryLayer() const { return geometry_; }

    // What the run should tell about the reading, e.g. that the polygon areas are
    // geodesic and why; a sentence each, without the file's name.
    const std::vector<std::string>& notes() const { return notes_; }

  private:
    friend std::variant<StandInput, Problem> openStandInput(const std::string&, InputEncoding,
                                                            const InputChoices&);
    std::optional<std::string> translateSpecies(RawRow& row) const;
    void checkArea(const RawRow& row, const InventoryStand& stand);
    // Measures or checks the areas by the layer's polygons; notes geodesic areas.
    std::optional<Problem> useLayer(LayerSource& layer, const std::string& fileName,
                                    InputEncoding encoding);
    const std::string& headerOf(StandColumn column) const {
        return columns_.header[static_cast<std::size_t>(column)];
    }

    std::unique_ptr<StandSource> source_;
    StandColumnMap columns_;
    std::optional<SpeciesMap> speciesMap_;
    AreaUnit areaUnit_ = AreaUnit::hectare;
    bool areaMeasured_ = false;  // the area is each feature's polygon area
    LayerSource* layer_ = nullptr;  // the source, when it is a GIS layer
    int polygonAreaPosition_ = -1;  // of the polygon areas in a row, when measured
    bool geodesic_ = false;         // the polygon areas are geodesic
    std::vector<AreaCheck> areaChecks_;
    // Over the stands read that have both an area column and a measured polygon, in ha:
    // read on one thread, in input order.
    mutable double columnAreaTotal_ = 0, polygonAreaTotal_ = 0;
    std::optional<LayerRef> geometry_;
    std::vector<std::string> notes_;
};

// Opens the inventory: a SQLite database by its file header (a GeoPackage, or any
// database with a layer named, through GDAL; otherwise its table "stands"), a file GDAL
// knows as a vector format other than CSV through GDAL, anything else as CSV. Maps its
// columns; a polygon layer in a projected coordinate system without an area column
// gives each stand its polygon area.
std::variant<StandInput, Problem> openStandInput(const std::string& fileName,
                                                 InputEncoding encoding,
                                                 const InputChoices& choices);

// How the stands were read, for the run table: layer (the one read), area_unit (of an
// area column), polygon_areas ("plane" or "geodesic" when they are the areas, "checked"
// when they check an area column), columns (the overrides, "stand_id=XBH,..."),
// species_map and encoding; NULL where there is none.
std::vector<std::pair<std::string, OwnedOutputValue>> inputRunParameters(
    const StandInput& input, const InputChoices& choices, InputEncoding encoding);

}  // namespace arbora
