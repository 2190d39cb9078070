#pragma once

#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "gis/gis_problem.h"
#include "gis/layer_ref.h"
#include "gis/species_map.h"
#include "inventory/stand_columns.h"
#include "inventory/stand_sources.h"

// The stands of an inventory from any of its forms: a CSV file, a SQLite database with a
// table "stands", or a GIS layer GDAL opens; with the user's column names, species codes
// and area unit applied.
namespace arbora {

enum class AreaUnit { hectare, mu };  // 1 mu = 1/15 ha

// What the command line says about reading the stands, besides the file and encoding.
struct InputChoices {
    std::optional<std::string> layer{};       // the layer of a GIS file
    StandColumnOverrides columns{};           // input names for stand columns
    std::optional<std::string> speciesMap{};  // a CSV file code,species
    AreaUnit areaUnit = AreaUnit::hectare;    // of an area column (measured polygons are in ha)
};

class StandInput {
  public:
    StandSource& source() { return *source_; }
    const StandColumnMap& columns() const { return columns_; }

    // The stand of a row, or why it cannot be used. With a species map, the species
    // value is replaced by the species its code stands for (a code the map lacks rejects
    // the row, as an unknown species does); an area column in mu becomes hectares.
    StandReading read(RawRow& row) const;

    // The layer the stands come from, when it has geometries.
    const std::optional<LayerRef>& geometryLayer() const { return geometry_; }

    // What the run should tell about the reading, e.g. that the polygon areas are
    // geodesic and why; a sentence each, without the file's name.
    const std::vector<std::string>& notes() const { return notes_; }

  private:
    friend std::variant<StandInput, GisProblem> openStandInput(const std::string&, InputEncoding,
                                                               const InputChoices&);
    std::optional<std::string> translateSpecies(RawRow& row) const;
    const std::string& headerOf(StandColumn column) const {
        return columns_.header[static_cast<std::size_t>(column)];
    }

    std::unique_ptr<StandSource> source_;
    StandColumnMap columns_;
    std::optional<SpeciesMap> speciesMap_;
    AreaUnit areaUnit_ = AreaUnit::hectare;
    bool areaMeasured_ = false;  // the area is each feature's polygon area
    std::optional<LayerRef> geometry_;
    std::vector<std::string> notes_;
};

// Opens the inventory: a SQLite database by its file header (a GeoPackage, or any
// database with a layer named, through GDAL; otherwise its table "stands"), a file GDAL
// knows as a vector format other than CSV through GDAL, anything else as CSV. Maps its
// columns; a polygon layer in a projected coordinate system without an area column
// gives each stand its polygon area.
std::variant<StandInput, GisProblem> openStandInput(const std::string& fileName,
                                                    InputEncoding encoding,
                                                    const InputChoices& choices);

}  // namespace arbora
