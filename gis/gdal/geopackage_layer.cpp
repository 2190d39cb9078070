#include "gis/gdal/geopackage_layer.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <initializer_list>
#include <limits>
#include <unordered_map>

#include "gis/gdal/vector_layer.h"
#include "gis/geopackage_output.h"
#include "io/descriptors.h"
#include "io/sqlite.h"
#include "management/treatments.h"

namespace arbora {
namespace {

// A file of our own making, removed when its owner ends unless kept.
class ScratchFile {
  public:
    explicit ScratchFile(std::string name) : name_(std::move(name)) {}
    ~ScratchFile() {
        if (!name_.empty()) ::unlink(name_.c_str());
    }
    ScratchFile(const ScratchFile&) = delete;
    ScratchFile& operator=(const ScratchFile&) = delete;
    const std::string& name() const { return name_; }
    void release() { name_.clear(); }

  private:
    std::string name_;
};

// The columns the writer adds to the result layer: an input field of either name is left
// out.
constexpr const char* fidColumn = "fid";
constexpr const char* geometryColumn = "geom";

// Whether a layer declared Polygon may hold MultiPolygons too: a shapefile's polygon
// layer, whose records are multipart or not at will. Its result layer is declared
// MultiPolygon and every polygon promoted, as a GeoPackage's declared type must hold.
bool mayHoldMultipartPolygons(GDALDataset& dataset, OGRLayer& layer) {
    return wkbFlatten(layer.GetGeomType()) == wkbPolygon && dataset.GetDriver() != nullptr &&
           EQUAL(dataset.GetDriver()->GetDescription(), "ESRI Shapefile");
}

// The CREATE TABLE of the SQLite output's table for a GeoPackage, whose attribute tables
// need an integer primary key: a column "fid" first, the table's own key kept as UNIQUE.
std::string withIntegerKey(std::string sql) {
    const auto open = sql.find('(');
    if (open == std::string::npos) return sql;
    sql.insert(open + 1, "\"fid\" INTEGER PRIMARY KEY AUTOINCREMENT, ");
    const auto key = sql.rfind(", PRIMARY KEY (");
    if (key != std::string::npos) sql.replace(key, 15, ", UNIQUE (");
    return sql;
}

std::string quotedName(std::string_view name) {
    std::string quoted = "\"";
    for (const char c : name) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    return quoted + "\"";
}

class GeoPackageOutput : public ProjectionOutput {
  public:
    GeoPackageOutput(const std::string& fileName, LayerRef input, std::vector<std::int32_t> years,
                     std::span<const OutputTable* const> furtherTables)
        : file_(fileName),
          tablesFile_(file_.temporaryName() + "-tables.sqlite"),
          layerFile_(file_.temporaryName() + "-layer.gpkg"),
          tables_(openProjectionOutput(tablesFile_.name(), furtherTables)),
          input_(std::move(input)),
          years_(std::move(years)) {}

    void addStand(const InventoryStand& stand) override {
        current_ = &results_[stand.feature];
        currentFeature_ = stand.feature;
        current_->assign(resultsPerYear * years_.size(), std::numeric_limits<double>::quiet_NaN());
        tables_->addStand(stand);
    }

    void addRow(std::string_view scenario, const std::string& standId,
                const ProjectionRow& row) override {
        const auto year = std::lower_bound(years_.begin(), years_.end(), row.year);
        if (current_ != nullptr && scenario == baselineScenario && year != years_.end() &&
            *year == row.year) {
            const auto at = resultsPerYear * static_cast<std::size_t>(year - years_.begin());
            (*current_)[at] = row.standVolume;
            (*current_)[at + 1] = row.carbon.stand;
            (*current_)[at + 2] = row.co2e;
        }
        tables_->addRow(scenario, standId, row);
    }

    void addRejection(const Rejection& rejection) override { tables_->addRejection(rejection); }

    void addStandFields(std::span<const std::pair<std::string, OwnedOutputValue>> fields) override {
        if (current_ == nullptr) return;
        if (fieldNames_.empty()) {
            for (const auto& [name, value] : fields)
                fieldNames_.emplace_back(name, value);
        }
        std::vector<OwnedOutputValue>& values = fields_[currentFeature_];
        for (const auto& field : fields)
            values.push_back(field.second);
    }

    void addTableRow(const OutputTable& table, std::span<const OutputValue> values) override {
        tables_->addTableRow(table, values);
    }

    // The tables are completed in their scratch file, copied beside the layer, and the
    // whole GeoPackage made durable under the temporary name; commit puts it in place.
    void complete(const std::vector<SummaryRow>& summary,
                  const std::vector<ComparisonRow>& comparison, const RunRecord& run) override {
        tables_->complete(summary, comparison, run);
        tables_->commit();
        writeLayer();
        copyTables();
        makeDurable();
    }
    void commit() override { file_.commit(); }
    AtomicFile* file() override { return &file_; }

    void abandon() override {
        tables_->abandon();
        file_.abandon();
    }

  private:
    void writeLayer();
    std::vector<int> copyFields(OGRLayer& from, OGRLayer& to);
    void copyFeatures(OGRLayer& from, OGRLayer& to, const std::vector<int>& fieldMap);
    void copyTables();
    void makeDurable();
    void execute(sqlite3* db, const std::string& sql,
                 std::initializer_list<std::string_view> texts = {});

    AtomicFile file_;
    ScratchFile tablesFile_;  // the SQLite output's, once finished
    ScratchFile layerFile_;   // the GeoPackage being made
    std::unique_ptr<ProjectionOutput> tables_;
    LayerRef input_;
    std::vector<std::int32_t> years_;
    // By the stand's feature, its place in reading order.
    std::unordered_map<std::int64_t, std::vector<double>> results_;
    std::vector<double>* current_ = nullptr;
    std::int64_t currentFeature_ = 0;
    // The further fields by name, each with the first stand's value for its type, and
    // each stand's values by its feature.
    std::vector<std::pair<std::string, OwnedOutputValue>> fieldNames_;
    std::unordered_map<std::int64_t, std::vector<OwnedOutputValue>> fields_;
    bool promote_ = false;  // polygons to MultiPolygons
};

void GeoPackageOutput::writeLayer() {
    GdalErrors errors;
    auto opened = openLayer(input_.fileName, input_.layerName, input_.encoding);
    if (auto* problem = std::get_if<Problem>(&opened)) file_.fail(problem->message);
    OGRLayer& from = *std::get<OpenLayer>(opened).layer;
    GDALDriver* driver = GetGDALDriverManager()->GetDriverByName("GPKG");
    if (driver == nullptr) file_.fail("GDAL has no GeoPackage driver");
    Dataset out(driver->Create(layerFile_.name().c_str(), 0, 0, 0, GDT_Unknown, nullptr));
    if (!out) file_.fail(errors.last());
    CPLStringList options;
    options.SetNameValue("FID", fidColumn);
    options.SetNameValue("GEOMETRY_NAME", geometryColumn);
    promote_ = mayHoldMultipartPolygons(*std::get<OpenLayer>(opened).dataset, from);
    const OGRwkbGeometryType type =
        promote_ ? OGR_GT_SetModifier(wkbMultiPolygon, OGR_GT_HasZ(from.GetGeomType()),
                                      OGR_GT_HasM(from.GetGeomType()))
                 : from.GetGeomType();
    OGRLayer* to = out->CreateLayer("stand_results", from.GetSpatialRef(), type, options.List());
    if (to == nullptr) file_.fail(errors.last());
    const std::vector<int> fieldMap = copyFields(from, *to);
    if (out->StartTransaction() != OGRERR_NONE) file_.fail(errors.last());
    copyFeatures(from, *to, fieldMap);
    if (out->CommitTransaction() != OGRERR_NONE) file_.fail(errors.last());
    errors.clear();
    out.reset();  // GDAL writes the spatial index as it closes
    if (errors.failed()) file_.fail(errors.last());
}

// Creates the input's fields and then the result fields; gives the position of each
// input field in the output, -1 for one left out.
std::vector<int> GeoPackageOutput::copyFields(OGRLayer& from, OGRLayer& to) {
    std::vector<std::string> results;
    for (const std::int32_t year : years_) {
        for (const std::string_view name : resultNames)
            results.push_back(std::string(name) + std::to_string(year));
    }
    for (const auto& field : fieldNames_)
        results.push_back(field.first);
    const auto isTaken = [&](const char* name) {
        return EQUAL(name, fidColumn) || EQUAL(name, geometryColumn) ||
               to.GetLayerDefn()->GetFieldIndex(name) >= 0 ||
               std::any_of(results.begin(), results.end(),
                           [&](const std::string& result) { return EQUAL(name, result.c_str()); });
    };
    const OGRFeatureDefn& fields = *from.GetLayerDefn();
    std::vector<int> fieldMap(static_cast<std::size_t>(fields.GetFieldCount()), -1);
    for (int i = 0; i < fields.GetFieldCount(); ++i) {
        OGRFieldDefn field(fields.GetFieldDefn(i));
        if (isTaken(field.GetNameRef())) continue;
        // A .dbf width counts bytes of GBK; the GeoPackage's would count characters.
        if (field.GetType() == OFTString) field.SetWidth(0);
        if (to.CreateField(&field) != OGRERR_NONE) file_.fail(CPLGetLastErrorMsg());
        fieldMap[static_cast<std::size_t>(i)] = to.GetLayerDefn()->GetFieldCount() - 1;
    }
    for (std::size_t k = 0; k < results.size(); ++k) {
        const OwnedOutputValue* further =
            k >= results.size() - fieldNames_.size()
                ? &fieldNames_[k - (results.size() - fieldNames_.size())].second
                : nullptr;
        const OGRFieldType type = further == nullptr                               ? OFTReal
                                  : std::holds_alternative<std::string>(*further)  ? OFTString
                                  : std::holds_alternative<std::int64_t>(*further) ? OFTInteger64
                                                                                   : OFTReal;
        OGRFieldDefn field(results[k].c_str(), type);
        if (to.CreateField(&field) != OGRERR_NONE) file_.fail(CPLGetLastErrorMsg());
    }
    return fieldMap;
}

void GeoPackageOutput::copyFeatures(OGRLayer& from, OGRLayer& to,
                                    const std::vector<int>& fieldMap) {
    const int firstFurther =
        to.GetLayerDefn()->GetFieldCount() - static_cast<int>(fieldNames_.size());
    const int firstResult = firstFurther - static_cast<int>(resultsPerYear * years_.size());
    std::int64_t sequence = 0;
    from.ResetReading();
    for (const Feature& feature : from) {
        // The same place the stand was read from.
        const auto found = results_.find(++sequence);
        if (found == results_.end()) continue;  // a rejected feature
        OGRFeature result(to.GetLayerDefn());
        if (result.SetFrom(feature.get(), fieldMap.data(), TRUE) != OGRERR_NONE) {
            file_.fail(CPLGetLastErrorMsg());
        }
        if (promote_ && result.GetGeometryRef() != nullptr) {
            result.SetGeometryDirectly(
                OGRGeometryFactory::forceToMultiPolygon(result.StealGeometry()));
        }
        for (std::size_t k = 0; k < found->second.size(); ++k) {
            if (std::isfinite(found->second[k])) {
                result.SetField(firstResult + static_cast<int>(k), found->second[k]);
            }
        }
        if (const auto further = fields_.find(sequence); further != fields_.end()) {
            for (std::size_t k = 0; k < further->second.size(); ++k) {
                const int at = firstFurther + static_cast<int>(k);
                const OwnedOutputValue& value = further->second[k];
                if (const auto* text = std::get_if<std::string>(&value)) {
                    result.SetField(at, text->c_str());
                } else if (const auto* whole = std::get_if<std::int64_t>(&value)) {
                    result.SetField(at, static_cast<GIntBig>(*whole));
                } else if (const auto* number = std::get_if<double>(&value);
                           number != nullptr && std::isfinite(*number)) {
                    result.SetField(at, *number);
                }
            }
        }
        if (to.CreateFeature(&result) != OGRERR_NONE) file_.fail(CPLGetLastErrorMsg());
    }
}

void GeoPackageOutput::execute(sqlite3* db, const std::string& sql,
                               std::initializer_list<std::string_view> texts) {
    SqliteStatement statement;
    if (prepareSqlite(db, sql, statement) != SQLITE_OK) file_.fail(sqlite3_errmsg(db));
    int column = 0;
    for (const std::string_view text : texts)
        bindSqliteText(statement.get(), ++column, text, SqliteText::copied);
    const int step = sqlite3_step(statement.get());
    if (step != SQLITE_DONE && step != SQLITE_ROW) file_.fail(sqlite3_errmsg(db));
}

// Every table (and index) of the SQLite output, as it made it, into the GeoPackage, each
// table registered as an attribute table.
void GeoPackageOutput::copyTables() {
    SqliteDatabase db;
    if (openSqlite(layerFile_.name(), SQLITE_OPEN_READWRITE, db) != SQLITE_OK)
        file_.fail(sqliteMessage(db.get()));
    // The file is flushed once, whole, before it is put in place.
    execute(db.get(), "PRAGMA journal_mode = OFF");
    execute(db.get(), "PRAGMA synchronous = OFF");
    execute(db.get(), "ATTACH DATABASE ?1 AS tables", {tablesFile_.name()});
    execute(db.get(), "BEGIN");
    SqliteStatement list;
    if (prepareSqlite(db.get(),
                      "SELECT type, name, sql FROM tables.sqlite_master WHERE sql IS NOT NULL "
                      "ORDER BY type = 'index', rowid",
                      list) != SQLITE_OK) {
        file_.fail(sqlite3_errmsg(db.get()));
    }
    const auto text = [&](int column) { return std::string(sqliteColumnText(list.get(), column)); };
    int step;
    while ((step = sqlite3_step(list.get())) == SQLITE_ROW) {
        const std::string type = text(0), name = text(1);
        // Made in main, the unqualified schema.
        if (type != "table") {
            execute(db.get(), text(2));
            continue;
        }
        execute(db.get(), withIntegerKey(text(2)));
        execute(db.get(), "INSERT INTO main." + quotedName(name) + " SELECT NULL, * FROM tables." +
                              quotedName(name));
        execute(db.get(),
                "INSERT INTO gpkg_contents (table_name, data_type, identifier) "
                "VALUES (?1, 'attributes', ?1)",
                {name});
    }
    if (step != SQLITE_DONE) file_.fail(sqlite3_errmsg(db.get()));
    execute(db.get(), "COMMIT");
    execute(db.get(), "DETACH DATABASE tables");
}

// Flushes the GeoPackage, gives it the mode the target will have, and renames it over
// the temporary file, which then takes the target's place.
void GeoPackageOutput::makeDurable() {
    FileDescriptor fd(::open(layerFile_.name().c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd || ::fsync(fd.get()) != 0) file_.fail(std::strerror(errno));
    struct stat temporary;
    if (::fstat(file_.fd(), &temporary) == 0) ::fchmod(fd.get(), temporary.st_mode & 07777);
    fd.reset();
    if (::rename(layerFile_.name().c_str(), file_.temporaryName().c_str()) != 0) {
        file_.fail(std::strerror(errno));
    }
    layerFile_.release();
}

}  // namespace

std::unique_ptr<ProjectionOutput> openGeoPackageLayerOutput(
    const std::string& fileName, const LayerRef& input, const std::vector<std::int32_t>& years,
    std::span<const OutputTable* const> furtherTables) {
    registerGdal();
    return std::make_unique<GeoPackageOutput>(fileName, input, years, furtherTables);
}

}  // namespace arbora
