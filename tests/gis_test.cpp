// GIS layers in and GeoPackages out: the same stands in every form give the same numbers;
// survey field names, column names, species codes, mu and polygon areas; the layer
// written carries the input's geometries and coordinate system; rejections name the
// feature; the estate report's map draws each stand kept once, simplified.

#include <gdal_priv.h>
#include <gtest/gtest.h>
#include <ogrsf_frmts.h>
#include <sqlite3.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <numbers>
#include <regex>
#include <sstream>

#include "estate/estate_report.h"
#include "gis/map_outlines.h"
#include "run/inventory_run.h"
#include "test_support.h"

namespace arbora::gis_test {
namespace {

using testing::rowsOf;

using testing::readBytes;

const std::string examples = std::string(ARBORA_GOLDEN_DIR) + "/../../examples/";

using Outcome = testing::InventoryOutcome;
using testing::writeFile;

Outcome inventory(InventoryOptions options) {
    if (options.years.empty()) options.years = {0, 10};
    return testing::runInventoryHere(options);
}

// A GeoJSON layer in CGCS2000 / Gauss-Kruger CM 114E (or the CRS given) whose features
// are squares of `side` metres with the given ids and stand columns.
std::string geoJson(const std::vector<std::string>& features, const char* crs = "EPSG::4547") {
    std::string json = R"({"type":"FeatureCollection","crs":{"type":"name","properties":)"
                       R"({"name":"urn:ogc:def:crs:)" +
                       std::string(crs) + R"("}},"features":[)";
    for (std::size_t i = 0; i < features.size(); ++i)
        json += (i ? "," : "") + features[i];
    return json + "]}";
}

std::string feature(int id, const std::string& properties, double side = 100, double west = 452000,
                    double south = 4419000) {
    const std::string x = std::to_string(west), y = std::to_string(south);
    const std::string far = std::to_string(west + side), up = std::to_string(south + side);
    const std::string geometry = side > 0 ? R"({"type":"Polygon","coordinates":[[[)" + x + "," + y +
                                                "],[" + x + "," + up + "],[" + far + "," + up +
                                                "],[" + far + "," + y + "],[" + x + "," + y + "]]]}"
                                          : "null";
    return R"({"type":"Feature","id":)" + std::to_string(id) + R"(,"properties":{)" + properties +
           R"(},"geometry":)" + geometry + "}";
}

constexpr const char* oneStand =
    R"("stand_id":"A","species":1,"stand_age":20,"average_diameter":12,)"
    R"("average_height":10,"stand_density":2000,"stand_volume":150)";

class Gis : public testing::InTempDir {};

std::vector<std::string> standPathsOf(const std::string& page);
std::size_t countOf(const std::string& text, const std::string& part);

TEST_F(Gis, TheSameStandsAsCsvGeoPackageAndShapefileGiveTheSameNumbersToTheBit) {
    const InventoryOptions forms[] = {
        {.standsFile = examples + "stands.csv", .outputFile = "csv.sqlite"},
        // Without an area column: the areas are the polygons'.
        {.standsFile = examples + "stands.gpkg", .outputFile = "gpkg.sqlite"},
        // GBK text (by its .cpg), pinyin field names, Chinese species names, areas in mu.
        {.standsFile = examples + "xiaoban.shp",
         .outputFile = "shp.sqlite",
         .input = {.areaUnit = AreaUnit::mu}},
    };
    for (const InventoryOptions& form : forms) {
        const Outcome outcome = inventory(form);
        ASSERT_EQ(outcome.status, exitSuccess) << form.standsFile << ": " << outcome.err;
    }
    for (const char* sql : {"SELECT * FROM projection", "SELECT * FROM summary",
                            "SELECT stand_id, species, area FROM stands"}) {
        const auto csv = rowsOf("csv.sqlite", sql);
        ASSERT_FALSE(csv.empty()) << sql;
        EXPECT_EQ(rowsOf("gpkg.sqlite", sql), csv) << sql;
        EXPECT_EQ(rowsOf("shp.sqlite", sql), csv) << sql;
    }
}

TEST_F(Gis, ColumnOverridesAreParsedStrictly) {
    const struct {
        const char* text;
        const char* problem;  // empty when accepted
    } cases[] = {
        {"stand_id=XBH, Species = YOU SHI", ""},
        {"area=MJ", ""},
        {"stand=XBH", "\"stand\" is not a stand column (stand_id, species, "},
        {"stand_id", "gives no name for stand_id (COLUMN=NAME)"},
        {"stand_id=", "gives no name for stand_id"},
        {"stand_id=A,stand_id=B", "names stand_id twice"},
        {",stand_id=A", "\"\" is not a stand column"},
    };
    for (const auto& c : cases) {
        const auto parsed = parseStandColumnOverrides(c.text);
        if (*c.problem == '\0') {
            EXPECT_TRUE(std::holds_alternative<StandColumnOverrides>(parsed)) << c.text;
        } else {
            ASSERT_TRUE(std::holds_alternative<std::string>(parsed)) << c.text;
            EXPECT_EQ(std::get<std::string>(parsed).rfind(c.problem, 0), 0u)
                << c.text << ": " << std::get<std::string>(parsed);
        }
    }
    const auto spaced = std::get<StandColumnOverrides>(parseStandColumnOverrides(cases[0].text));
    EXPECT_EQ(spaced[static_cast<std::size_t>(StandColumn::species)], "YOU SHI");
}

// One survey CSV read under each set of choices: what is read, or the message.
TEST_F(Gis, SurveyNamesColumnOverridesSpeciesCodesAndMu) {
    writeFile("codes.csv", "code,species\nYS,1\n 110 ,油松\nLYS,Larix principis-ruprechtii\n");
    const std::string rows = "C1,YS,20,12,10,2000,150,15\nC2,110,20,12,10,2000,150,30\n";
    const std::string survey =
        "XIAO_BAN,YOU_SHI_SZ,PINGJUN_NL,PINGJUN_XJ,PINGJUN_SG,MEI_GQ_ZS,"
        "MEI_GQ_XJ,MIAN_JI\n";
    const struct {
        const char* name;
        std::string header;
        std::string rows;
        InputChoices choices;
        int status;
        const char* expected;  // the stands table's species|area rows, or the message
    } cases[] = {
        {"pinyin names, codes, mu",
         survey,
         rows,
         {.speciesMap = "codes.csv", .areaUnit = AreaUnit::mu},
         exitSuccess,
         "1|1.0 1|2.0"},
        {"two names of one column",
         "XBH," + survey,
         "X," + rows,
         {},
         exitUnusableData,
         "has the column stand_id twice (\"XBH\" and \"XIAO_BAN\")"},
        {"an override takes one of them",
         "XBH," + survey,
         "X1,C1,YS,20,12,10,2000,150,15\n",
         {.columns = {"xbh"}, .speciesMap = "codes.csv"},
         exitSuccess,
         "1|15.0"},
        {"an override names a missing column",
         survey,
         rows,
         {.columns = {"BH"}},
         exitUnusableData,
         "has no column \"BH\" (named for stand_id)"},
        {"one column named for two",
         survey,
         rows,
         {.columns = {"XIAO_BAN", "XIAO_BAN"}},
         exitUnusableData,
         "has the column \"XIAO_BAN\" named for two stand columns"},
        // With a map, only its codes count: "1" is no longer species 1.
        {"a code the map lacks",
         survey,
         "C1,1,20,12,10,2000,150,15\n",
         {.speciesMap = "codes.csv"},
         exitUnusableData,
         "stands.csv:2: YOU_SHI_SZ: \"1\" is not in the species map codes.csv"},
        {"a stand id before the species",
         survey,
         ",ZZ,20,12,10,2000,150,15\n",
         {.speciesMap = "codes.csv"},
         exitUnusableData,
         "stands.csv:2: XIAO_BAN: is empty"},
    };
    for (const auto& c : cases) {
        writeFile("stands.csv", c.header + c.rows);
        std::filesystem::remove("out.sqlite");
        const Outcome outcome =
            inventory({.standsFile = "stands.csv", .outputFile = "out.sqlite", .input = c.choices});
        EXPECT_EQ(outcome.status, c.status) << c.name << ": " << outcome.err;
        if (c.status != exitSuccess) {
            EXPECT_NE(outcome.err.find(c.expected), std::string::npos)
                << c.name << ": " << outcome.err;
            continue;
        }
        std::string stands;
        for (const std::string& row :
             rowsOf("out.sqlite", "SELECT species || '|' || printf('%.1f', area) FROM stands"))
            stands += (stands.empty() ? "" : " ") + row;
        EXPECT_EQ(stands, c.expected) << c.name;
    }
}

TEST_F(Gis, SpeciesMapsAreCheckedRowByRow) {
    const struct {
        const char* file;
        const char* message;
    } cases[] = {
        {"code,species\nYS,5\n", "map.csv:2: species: \"5\" is not a species"},
        {"code,species\nYS,1\nYS,2\n", "map.csv:3: code: \"YS\" is given on line 2 too"},
        {"code,species\n,1\n", "map.csv:2: code: is empty"},
        {"species,name\n1,YS\n", "map.csv:1: the header is not code,species"},
    };
    writeFile("stands.csv", std::string("stand_id,species,stand_age,average_diameter,"
                                        "average_height,stand_density,stand_volume\n") +
                                "A,YS,20,12,10,2000,150\n");
    for (const auto& c : cases) {
        writeFile("map.csv", c.file);
        const Outcome outcome =
            inventory({.standsFile = "stands.csv", .input = {.speciesMap = "map.csv"}});
        EXPECT_EQ(outcome.status, exitUnusableData) << c.file;
        EXPECT_NE(outcome.err.find(c.message), std::string::npos) << outcome.err;
    }
    EXPECT_EQ(inventory({.standsFile = "stands.csv", .input = {.speciesMap = "none.csv"}}).status,
              exitFileFailure);
}

// Layers read through GDAL: areas from polygons, the layer chosen, and rejections that
// name the feature by its FID.
TEST_F(Gis, LayersGiveAreasChooseLayersAndNameFeatures) {
    const std::string stand = oneStand;
    writeFile("square.geojson", geoJson({feature(1, stand, 250)}));
    writeFile("metres.geojson", geoJson({feature(1, stand + R"(,"area":2.5)", 250)}));
    writeFile("degrees.geojson", geoJson({feature(1, stand, 0.01)}, "EPSG::4490"));
    writeFile("bad.geojson", geoJson({feature(4, stand),
                                      feature(7, R"("stand_id":"B","species":1,)"
                                                 R"("stand_age":-3,"average_diameter":12,)"
                                                 R"("average_height":10,)"
                                                 R"("stand_density":2000,"stand_volume":150)"),
                                      feature(9, R"("stand_id":"C")" + stand.substr(14), 0)}));
    writeFile(
        "bigid.geojson",
        geoJson({feature(1, R"("stand_id":123456789012345678901234567890)" + stand.substr(14)),
                 feature(2, R"("stand_id":5)" + stand.substr(14))}));
    ASSERT_EQ(std::system("ogr2ogr -f GPKG two.gpkg square.geojson -nln first && "
                          "ogr2ogr -update two.gpkg metres.geojson -nln second"),
              0);
    const struct {
        const char* name;
        InventoryOptions options;
        int status;
        const char* expected;  // the area of stand A, or the message
    } cases[] = {
        {"a projected polygon's area", {.standsFile = "square.geojson"}, exitSuccess, "6.25"},
        {"an area column wins", {.standsFile = "metres.geojson"}, exitSuccess, "2.5"},
        {"a layer named",
         {.standsFile = "two.gpkg", .input = {.layer = "second"}},
         exitSuccess,
         "2.5"},
        {"degrees beyond the earth",
         {.standsFile = "degrees.geojson"},
         exitUnusableData,
         "degrees.geojson:1: polygon area: the polygon cannot be measured: a point is beyond the "
         "earth (a latitude beyond 90 degrees) or outside what the projection covers"},
        {"several layers",
         {.standsFile = "two.gpkg"},
         exitUsage,
         "two.gpkg: has several layers and none is called \"stands\"; choose one with --layer "
         "(\"first\", \"second\")"},
        {"no such layer",
         {.standsFile = "two.gpkg", .input = {.layer = "third"}},
         exitUsage,
         "two.gpkg: has no layer \"third\" (its layers: \"first\", \"second\")"},
        {"a value, by FID",
         {.standsFile = "bad.geojson"},
         exitUnusableData,
         "bad.geojson:7: stand_age: -3 is below 1"},
        {"no polygon, by FID",
         {.standsFile = "bad.geojson"},
         exitUnusableData,
         "bad.geojson:9: polygon area: the feature has no polygon to measure"},
        {"a numeric id beyond 64 bits, never clamped",
         {.standsFile = "bigid.geojson"},
         exitUnusableData,
         "bigid.geojson:1: stand_id: is a whole number beyond 64 bits"},
        {"a GeoPackage of a table",
         {.standsFile = examples + "stands.csv", .outputFile = "x.gpkg"},
         exitUsage,
         "a GeoPackage needs stands with geometries"},
    };
    for (const auto& c : cases) {
        InventoryOptions options = c.options;
        if (c.status == exitSuccess) options.outputFile = "out.sqlite";
        const Outcome outcome = inventory(options);
        EXPECT_EQ(outcome.status, c.status) << c.name << ": " << outcome.err;
        if (c.status == exitSuccess) {
            EXPECT_EQ(rowsOf("out.sqlite", "SELECT printf('%g', area) FROM stands"),
                      std::vector<std::string>{c.expected})
                << c.name;
        } else {
            EXPECT_NE(outcome.err.find(c.expected), std::string::npos)
                << c.name << ": " << outcome.err;
        }
    }
    EXPECT_FALSE(std::filesystem::exists("x.gpkg"));
}

// Metres on the ground a drawing unit stands for by the estate report's scale bar.
double scaleBarMetresPerUnit(const std::string& page) {
    const std::regex bar(
        R"(<g class="scale-bar"><path d="M0 [0-9]+h([0-9.]+)M.*?<text[^>]*>([0-9.]+) (k?m)</text>)");
    std::smatch match;
    if (!std::regex_search(page, match, bar)) return 0;
    return std::stod(match[2]) * (match[3] == "km" ? 1000 : 1) / std::stod(match[1]);
}

// The example stands in other coordinate systems keep their ground areas: plane areas
// where the projection keeps areas within 1 %, geodesic ones where it does not (Web
// Mercator's areal scale is 1.7 there) or in degrees; the map's scale bar keeps its
// ground length.
TEST_F(Gis, AreasAndTheScaleBarAreOnTheGroundInAnyCoordinateSystem) {
    const auto run = [](const std::string& file) {
        std::filesystem::remove("out.sqlite");
        const Outcome outcome = inventory(
            {.standsFile = file, .outputFile = "out.sqlite", .reportFile = "estate.html"});
        EXPECT_EQ(outcome.status, exitSuccess) << file << ": " << outcome.err;
        const auto sum = rowsOf("out.sqlite", "SELECT printf('%.17g', sum(area)) FROM stands");
        return std::pair{sum.empty() ? 0 : std::stod(sum[0]),
                         scaleBarMetresPerUnit(readBytes("estate.html"))};
    };
    const auto [area, metresPerUnit] = run(examples + "stands.gpkg");
    ASSERT_NEAR(area, 241.0, 0.05);
    // The plane areas of a projection within 1 % of its ground are taken as they are.
    const struct {
        const char* crs;
        bool geodesic;  // by the projection's areal scale, and the run says so
        double within;  // of the area in the system the example is made in
        bool turned;    // Massachusetts' plane turns China's stands: the frame is another
    } cases[] = {{"EPSG:3857", true, 1e-4, false},
                 {"EPSG:2249", false, 0.01, true},
                 {"EPSG:4490", false, 1e-4, false}};
    for (const auto& c : cases) {
        const std::string file = std::string(c.crs).substr(5) + ".gpkg";
        ASSERT_EQ(std::system(("ogr2ogr -t_srs " + std::string(c.crs) + " " + file + " " +
                               examples + "stands.gpkg")
                                  .c_str()),
                  0);
        const auto [reprojected, barMetres] = run(file);
        EXPECT_NEAR(reprojected / area, 1, c.within) << c.crs;
        if (!c.turned) {
            EXPECT_NEAR(barMetres / metresPerUnit, 1, 0.01) << c.crs;
        }
        const Outcome outcome = inventory({.standsFile = file});
        EXPECT_EQ(outcome.err.find("areal scale") != std::string::npos, c.geodesic)
            << c.crs << ": " << outcome.err;
    }
}

// A stand of a survey layer: its polygon's outer ring, in metres from (452000, 4419000),
// and its area column (ha), if any.
struct SurveyStand {
    std::vector<std::array<double, 2>> ring;
    double area = 0;  // none when 0
};

// The stands as the layer "stands" of a GeoPackage in EPSG:4547, ids s1, s2, ..., with
// an area column when one of them has an area.
void writeSurvey(const std::string& file, const std::vector<SurveyStand>& stands) {
    GDALAllRegister();
    GDALDriver* driver = GetGDALDriverManager()->GetDriverByName("GPKG");
    const GDALDatasetUniquePtr dataset(driver->Create(file.c_str(), 0, 0, 0, GDT_Unknown, nullptr));
    OGRSpatialReference crs;
    crs.importFromEPSG(4547);
    OGRLayer* layer = dataset->CreateLayer("stands", &crs, wkbPolygon, nullptr);
    const bool areas =
        std::any_of(stands.begin(), stands.end(), [](auto& s) { return s.area > 0; });
    const std::pair<const char*, double> values[] = {
        {"species", 1},         {"stand_age", 20},       {"average_diameter", 12},
        {"average_height", 10}, {"stand_density", 2000}, {"stand_volume", 150}};
    OGRFieldDefn id("stand_id", OFTString);
    layer->CreateField(&id);
    for (const auto& [name, value] : values) {
        OGRFieldDefn field(name, OFTReal);
        layer->CreateField(&field);
    }
    OGRFieldDefn area("area", OFTReal);
    if (areas) layer->CreateField(&area);
    for (std::size_t i = 0; i < stands.size(); ++i) {
        OGRFeature feature(layer->GetLayerDefn());
        feature.SetField("stand_id", ("s" + std::to_string(i + 1)).c_str());
        for (const auto& [name, value] : values)
            feature.SetField(name, value);
        if (areas) feature.SetField("area", stands[i].area);
        OGRLinearRing ring;
        for (const auto& [x, y] : stands[i].ring)
            ring.addPoint(452000 + x, 4419000 + y);
        OGRPolygon polygon;
        polygon.addRing(&ring);
        feature.SetGeometry(&polygon);
        EXPECT_EQ(layer->CreateFeature(&feature), OGRERR_NONE);
    }
}

// A square of `side` metres, closed.
std::vector<std::array<double, 2>> square(double side) {
    return {{0, 0}, {0, side}, {side, side}, {side, 0}, {0, 0}};
}

// Invalid, non-finite and implausible polygons and areas are refused, each with the
// feature and the reason.
TEST_F(Gis, InvalidNonFiniteAndImplausibleGeometriesAreRefused) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const struct {
        const char* name;
        std::vector<SurveyStand> stands;
        const char* message;
    } cases[] = {
        {"a figure-8 ring",
         {{{{0, 0}, {0, 100}, {100, 0}, {100, 100}, {0, 0}}}},
         "survey.gpkg:1: geom: is not a valid polygon (Self-intersection at or near point "
         "452050 4419050): mend the layer with ogr2ogr -makevalid"},
        {"a spike out and back",
         {{{{0, 0}, {0, 100}, {100, 100}, {-4000, -4000}, {100, 100}, {100, 0}, {0, 0}}}},
         "survey.gpkg:1: geom: is not a valid polygon ("},
        {"a NaN coordinate, with an area column",
         {{square(100), 1}, {{{0, 0}, {0, 100}, {nan, 100}, {100, 0}, {0, 0}}, 1}},
         "survey.gpkg:2: geom: has a coordinate that is not a finite number"},
        {"a far corner",
         {{square(100)}, {{{0, 0}, {0, 100}, {1e300, 100}, {100, 0}, {0, 0}}}},
         "survey.gpkg:2: polygon area: 5e+297 ha is above 100,000 ha, beyond any stand: a wrong "
         "unit or a stray point?"},
        {"an area column beyond any stand",
         {{square(100), 100001}},
         "survey.gpkg:1: area: 100001 ha is above 100,000 ha"},
    };
    for (const auto& c : cases) {
        std::filesystem::remove("survey.gpkg");
        writeSurvey("survey.gpkg", c.stands);
        const Outcome outcome = inventory({.standsFile = "survey.gpkg"});
        EXPECT_EQ(outcome.status, exitUnusableData) << c.name << ": " << outcome.err;
        EXPECT_NE(outcome.err.find(c.message), std::string::npos) << c.name << ": " << outcome.err;
    }
}

// The survey check: an area column more than 5 % from its polygon's area is told (the
// first 20 and a count) and listed in the table area_checks; the run goes on.
TEST_F(Gis, AreaColumnsFarFromTheirPolygonsAreWarnedOf) {
    std::vector<SurveyStand> stands;
    for (int i = 0; i < 23; ++i)
        stands.push_back({square(100), 1.06});  // 6 % above the polygon's 1 ha
    stands.push_back({square(100), 1.04});      // within 5 %
    stands.push_back({square(100), 0.95});      // 5 % below: within
    writeSurvey("survey.gpkg", stands);
    const Outcome outcome = inventory({.standsFile = "survey.gpkg", .outputFile = "out.sqlite"});
    ASSERT_EQ(outcome.status, exitSuccess) << outcome.err;
    EXPECT_EQ(countOf(outcome.err, ": area: 1.06 ha is 6 % above the polygon's 1 ha"), 20u)
        << outcome.err;
    EXPECT_NE(outcome.err.find("survey.gpkg:1: area: 1.06 ha is 6 % above the polygon's 1 ha"),
              std::string::npos);
    EXPECT_NE(outcome.err.find("survey.gpkg: 3 more stands whose area is more than 5 % from "
                               "their polygon's (the output's table area_checks lists them all)"),
              std::string::npos)
        << outcome.err;
    EXPECT_EQ(rowsOf("out.sqlite",
                     "SELECT count(*), min(feature), max(feature), min(stand_id), "
                     "printf('%.2f %.2f', min(area), min(polygon_area)) FROM area_checks"),
              std::vector<std::string>{"23|1|23|s1|1.06 1.00"});
}

// A layer that gives fewer features than it declares is refused with both counts: here
// a .dbf whose header counts 10 records beside a .shp of 20 shapes.
TEST_F(Gis, ALayerGivingOtherThanTheFeaturesItDeclaresIsRefused) {
    for (const char* part : {".shp", ".shx", ".dbf", ".prj", ".cpg"})
        std::filesystem::copy_file(examples + "xiaoban" + part, std::string("short") + part);
    std::fstream dbf("short.dbf", std::ios::in | std::ios::out | std::ios::binary);
    dbf.seekp(4);  // the record count, 32 bits little-endian
    dbf.write("\x0a\0\0\0", 4);
    dbf.close();
    const Outcome outcome =
        inventory({.standsFile = "short.shp", .input = {.areaUnit = AreaUnit::mu}});
    EXPECT_EQ(outcome.status, exitUnusableData) << outcome.err;
    EXPECT_NE(outcome.err.find("short.shp: layer \"short\" declares 20 features but gives 10"),
              std::string::npos)
        << outcome.err;
}

// A shapefile's text by its .cpg: GB2312 (which Chinese programs write for files in GBK)
// and its kin are read as GB 18030; bytes that are not text in the encoding the .cpg
// names reject the feature with the field named; GBK without a .cpg gets the hint.
TEST_F(Gis, ShapefileTextIsReadInTheEncodingItsCpgMeans) {
    const std::string stand = R"("YOU_SHI_SZ":1,"PINGJUN_NL":20,"PINGJUN_XJ":12,)"
                              R"("PINGJUN_SG":10,"MEI_GQ_ZS":2000,"MEI_GQ_XJ":150)";
    const struct {
        const char* name;
        const char* id;
        const char* remark;    // a further text field
        const char* encoding;  // the .dbf's, as ogr2ogr writes it
        const char* cpg;       // none when empty
        const char* expected;  // the stand id read, or the message
    } cases[] = {
        {"GB2312 meaning GBK", "堃C01-01", "", "GBK", "GB2312", "堃C01-01"},
        {"CP936", "堃C01-01", "", "GBK", "cp936\r\n", "堃C01-01"},
        // ÿ is the byte 0xff in ISO-8859-1, which no GB 18030 character starts with.
        {"bytes that are not GBK", "C01-01", "ÿ", "ISO-8859-1", "GBK",
         "gbk.shp:0: BEI_ZHU: is not GBK text"},
        // U+0081 is the byte 0x81 in ISO-8859-1, which Windows-1252 leaves undefined.
        {"bytes that are not CP1252", "C01-01", "\xc2\x81", "ISO-8859-1", "1252",
         "gbk.shp:0: BEI_ZHU: is not CP1252 text"},
        {"GBK without a .cpg", "堃C01-01", "", "GBK", "",
         "gbk.shp:0: XIAO_BAN: is not UTF-8 text; a shapefile in GBK without a .cpg file needs "
         "--encoding gbk"},
    };
    for (const auto& c : cases) {
        for (const char* part : {".shp", ".shx", ".dbf", ".prj", ".cpg"})
            std::filesystem::remove(std::string("gbk") + part);
        writeFile("gbk.geojson",
                  geoJson({feature(1, R"("XIAO_BAN":")" + std::string(c.id) + R"(","BEI_ZHU":")" +
                                          c.remark + "\"," + stand)}));
        ASSERT_EQ(std::system(
                      ("ogr2ogr -lco ENCODING=" + std::string(c.encoding) + " gbk.shp gbk.geojson")
                          .c_str()),
                  0);
        std::filesystem::remove("gbk.cpg");
        if (*c.cpg != '\0') writeFile("gbk.cpg", c.cpg);
        std::fstream dbf("gbk.dbf", std::ios::in | std::ios::out | std::ios::binary);
        dbf.seekp(29);  // no language driver either
        dbf.put('\0');
        dbf.close();
        std::filesystem::remove("out.sqlite");
        const Outcome outcome = inventory({.standsFile = "gbk.shp", .outputFile = "out.sqlite"});
        if (outcome.status == exitSuccess) {
            EXPECT_EQ(rowsOf("out.sqlite", "SELECT stand_id FROM stands"),
                      std::vector<std::string>{c.expected})
                << c.name;
        } else {
            EXPECT_NE(outcome.err.find(c.expected), std::string::npos)
                << c.name << ": " << outcome.err;
        }
    }
}

// The run table records how the stands were read, so that an area assumption (mu, a
// column named) can be audited.
TEST_F(Gis, TheRunRecordsHowTheStandsWereRead) {
    writeFile("codes.csv",
              "code,species\n1,1\n2,2\n3,3\n4,4\nPinus tabulaeformis,1\n"
              "Pinus armandii,2\nLarix principis-ruprechtii,3\nQuercus aliena,4\n");
    const struct {
        InventoryOptions options;
        const char* expected;  // layer|area_unit|polygon_areas|columns|species_map|encoding
    } cases[] = {
        {{.standsFile = examples + "stands.csv"}, "|ha||||utf-8"},
        {{.standsFile = examples + "stands.gpkg", .input = {.speciesMap = "codes.csv"}},
         "stands|ha|plane||codes.csv|utf-8"},
        {{.standsFile = examples + "xiaoban.shp",
          .encoding = InputEncoding::gbk,
          .input = {.layer = "xiaoban", .columns = {"XIAO_BAN"}, .areaUnit = AreaUnit::mu}},
         "xiaoban|mu|checked|stand_id=XIAO_BAN||gbk"},
    };
    for (const auto& c : cases) {
        std::filesystem::remove("out.sqlite");
        InventoryOptions options = c.options;
        options.outputFile = "out.sqlite";
        const Outcome outcome = inventory(options);
        EXPECT_EQ(outcome.status, exitSuccess) << outcome.err;
        EXPECT_EQ(rowsOf("out.sqlite",
                         "SELECT ifnull(layer, '') || '|' || area_unit || '|' || "
                         "ifnull(polygon_areas, '') || '|' || ifnull(columns, '') || '|' || "
                         "ifnull(species_map, '') || '|' || encoding FROM run"),
                  std::vector<std::string>{c.expected})
            << c.options.standsFile;
    }
}

// Smaller messages: each says what is wrong, with the right status.
TEST_F(Gis, SmallFaultsGetTheirOwnMessages) {
    for (const char* part : {".shp", ".shx", ".prj"})
        std::filesystem::copy_file(examples + "xiaoban" + part, std::string("nodbf") + part);
    for (const char* part : {".shp", ".shx", ".dbf", ".prj", ".cpg"})
        std::filesystem::copy_file(examples + "xiaoban" + part, std::string("cut") + part);
    std::filesystem::resize_file("cut.shp", 1500);  // 10 of its 20 shapes
    writeFile("stands.csv",
              "stand_id,species,stand_age,average_diameter,average_height,"
              "stand_density,stand_volume\nA,9,20,12,10,2000,150\n");
    const struct {
        const char* name;
        InventoryOptions options;
        int status;
        const char* message;
    } cases[] = {
        {"an empty layer name",
         {.standsFile = examples + "stands.gpkg", .input = {.layer = ""}},
         exitUsage,
         "--layer: an empty name names no layer"},
        {"a shapefile without its .dbf",
         {.standsFile = "nodbf.shp"},
         exitUnusableData,
         "nodbf.shp: its .dbf file, which holds the attributes, is missing"},
        {"a truncated .shp, like a truncated .dbf",
         {.standsFile = "cut.shp", .input = {.areaUnit = AreaUnit::mu}},
         exitUnusableData,
         "cut.shp: Error in fread() reading object of size 136 at offset 1460 from .shp file"},
        {"every row rejected: no --skip-bad-rows hint",
         {.standsFile = "stands.csv"},
         exitUnusableData,
         "stands.csv: the only row rejected, nothing written\n"},
    };
    for (const auto& c : cases) {
        const Outcome outcome = inventory(c.options);
        EXPECT_EQ(outcome.status, c.status) << c.name << ": " << outcome.err;
        EXPECT_NE(outcome.err.find(c.message), std::string::npos) << c.name << ": " << outcome.err;
    }
    // A .zip holding a shapefile is read like a .shp.zip, not as a CSV file.
    ASSERT_EQ(
        std::system(
            ("ogr2ogr -lco ENCODING=UTF-8 zipped.shp.zip " + examples + "xiaoban.shp").c_str()),
        0);
    std::filesystem::rename("zipped.shp.zip", "zipped.zip");
    const Outcome zipped =
        inventory({.standsFile = "zipped.zip", .input = {.areaUnit = AreaUnit::mu}});
    EXPECT_EQ(zipped.status, exitSuccess) << zipped.err;
}

// Every file option naming a folder ends with the system's reason and status 1.
TEST_F(Gis, FileOptionsNamingAFolderAreUnreadable) {
    std::filesystem::create_directory("folder");
    const std::string stands = examples + "stands.csv";
    const InventoryOptions cases[] = {
        {.standsFile = stands, .input = {.speciesMap = "folder"}},
        {.standsFile = stands, .treatmentsFile = "folder"},
        {.standsFile = stands, .productsFile = "folder"},
        {.standsFile = stands, .pricesFile = "folder"},
        {.standsFile = "folder"},
    };
    for (const InventoryOptions& options : cases) {
        const Outcome outcome = inventory(options);
        EXPECT_EQ(outcome.status, exitFileFailure) << outcome.err;
        EXPECT_NE(outcome.err.find("cannot read \"folder\": Is a directory"), std::string::npos)
            << outcome.err;
    }
}

// Each feature's geometry, in order, as WKT (as a MultiPolygon when promoted); and the
// layer's coordinate system.
struct LayerShape {
    std::vector<std::string> geometries;
    OGRSpatialReference crs;
};

LayerShape shapeOf(const std::string& file, const char* layerName, bool promoted = false) {
    GDALAllRegister();
    const GDALDatasetUniquePtr dataset(GDALDataset::Open(file.c_str(), GDAL_OF_VECTOR));
    LayerShape shape;
    if (!dataset) return shape;
    OGRLayer* layer = dataset->GetLayerByName(layerName);
    if (layer == nullptr) return shape;
    if (layer->GetSpatialRef() != nullptr) shape.crs = *layer->GetSpatialRef();
    for (const OGRFeatureUniquePtr& feature : *layer) {
        std::unique_ptr<OGRGeometry> geometry(feature->StealGeometry());
        if (promoted) geometry.reset(OGRGeometryFactory::forceToMultiPolygon(geometry.release()));
        shape.geometries.push_back(geometry->exportToWkt());
    }
    return shape;
}

TEST_F(Gis, TheResultLayerCarriesTheInputGeometriesAndCoordinateSystem) {
    // An earlier output stays as it was when a run fails.
    writeFile("out.gpkg", "earlier");
    writeFile("bad.geojson", geoJson({feature(1, R"("stand_id":"A","species":9)")}));
    EXPECT_EQ(inventory({.standsFile = "bad.geojson", .outputFile = "out.gpkg"}).status,
              exitUnusableData);
    EXPECT_EQ(readBytes("out.gpkg"), "earlier");

    const Outcome outcome = inventory({.standsFile = examples + "xiaoban.shp",
                                       .years = {0, 30},
                                       .outputFile = "out.gpkg",
                                       .input = {.areaUnit = AreaUnit::mu}});
    ASSERT_EQ(outcome.status, exitSuccess) << outcome.err;
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator("."),
                            std::filesystem::directory_iterator()),
              2)
        << "only bad.geojson and out.gpkg";
    ASSERT_EQ(std::system("ogrinfo -so out.gpkg stand_results > ogrinfo.txt"), 0);
    const std::string info = readBytes("ogrinfo.txt");
    EXPECT_NE(info.find("Feature Count: 20"), std::string::npos) << info;

    // A shapefile's polygons, which may be multipart, as MultiPolygons.
    const LayerShape input = shapeOf(examples + "xiaoban.shp", "xiaoban", true);
    const LayerShape output = shapeOf("out.gpkg", "stand_results");
    EXPECT_EQ(output.geometries, input.geometries);
    EXPECT_TRUE(output.crs.IsSame(&input.crs));

    // The attributes as read, the results beside them, the tables of the SQLite output.
    EXPECT_EQ(rowsOf("out.gpkg",
                     "SELECT XIAO_BAN, YOU_SHI_SZ, MIAN_JI, carbon_y30, co2e_y0 "
                     "FROM stand_results WHERE fid = 1"),
              rowsOf("out.gpkg",
                     "SELECT s.stand_id, '油松', 186.0, p.carbon_total, q.co2e "
                     "FROM stands s JOIN projection p USING (stand_id) JOIN "
                     "projection q USING (stand_id) WHERE s.stand_id = 'C01-01' "
                     "AND p.year = 30 AND q.year = 0"));
    EXPECT_EQ(rowsOf("out.gpkg",
                     "SELECT table_name, data_type FROM gpkg_contents "
                     "WHERE table_name IN ('stand_results', 'projection', 'run') "
                     "ORDER BY table_name"),
              (std::vector<std::string>{"projection|attributes", "run|attributes",
                                        "stand_results|features"}));
}

// The GeoPackage's requirements that apply to what the runner writes: a layer declared
// MultiPolygon holds multipart polygons of a shapefile (promoted, every one), each table
// has an integer primary key, the contents' extent is the layer's; an input field named
// like a column the writer adds (geom) is left out like fid.
TEST_F(Gis, TheGeoPackageWrittenMeetsItsRequirements) {
    // Survey names, which fit a .dbf's 10 characters.
    const std::string stand = R"("YOU_SHI_SZ":1,"PINGJUN_NL":20,"PINGJUN_XJ":12,)"
                              R"("PINGJUN_SG":10,"MEI_GQ_ZS":2000,"MEI_GQ_XJ":150)";
    const std::string two =
        R"({"type":"Feature","properties":{"XIAO_BAN":"B","geom":"x",)" + stand +
        R"(},"geometry":{"type":"MultiPolygon","coordinates":[[[[452000,4419200],[452000,)"
        R"(4419300],[452100,4419300],[452100,4419200],[452000,4419200]]],[[[452200,4419200],)"
        R"([452200,4419300],[452300,4419300],[452300,4419200],[452200,4419200]]]]}})";
    writeFile("parts.geojson", geoJson({feature(1, R"("XIAO_BAN":"A","geom":"y",)" + stand), two}));
    ASSERT_EQ(std::system("ogr2ogr parts.shp parts.geojson"), 0);
    const Outcome outcome = inventory({.standsFile = "parts.shp", .outputFile = "out.gpkg"});
    ASSERT_EQ(outcome.status, exitSuccess) << outcome.err;
    EXPECT_EQ(rowsOf("out.gpkg", "SELECT geometry_type_name FROM gpkg_geometry_columns"),
              std::vector<std::string>{"MULTIPOLYGON"});
    EXPECT_EQ(rowsOf("out.gpkg",
                     "SELECT table_name FROM gpkg_contents c WHERE (SELECT count(*) FROM "
                     "pragma_table_info(c.table_name) WHERE pk > 0) != 1 OR NOT EXISTS (SELECT 1 "
                     "FROM pragma_table_info(c.table_name) WHERE pk = 1 AND type = 'INTEGER')"),
              std::vector<std::string>{});
    EXPECT_EQ(rowsOf("out.gpkg", "SELECT count(*) FROM projection"), std::vector<std::string>{"4"});

    GDALAllRegister();
    const GDALDatasetUniquePtr dataset(GDALDataset::Open("out.gpkg", GDAL_OF_VECTOR));
    ASSERT_TRUE(dataset);
    OGRLayer* layer = dataset->GetLayerByName("stand_results");
    for (const OGRFeatureUniquePtr& feature : *layer)
        EXPECT_EQ(feature->GetGeometryRef()->getGeometryType(), wkbMultiPolygon);
    OGREnvelope extent;
    ASSERT_EQ(layer->GetExtent(&extent, TRUE), OGRERR_NONE);
    EXPECT_EQ(rowsOf("out.gpkg",
                     "SELECT printf('%.1f %.1f %.1f %.1f', min_x, min_y, max_x, max_y) FROM "
                     "gpkg_contents WHERE table_name = 'stand_results'"),
              std::vector<std::string>{"452000.0 4419000.0 452300.0 4419300.0"});
    EXPECT_EQ(extent.MinX, 452000);
    EXPECT_EQ(extent.MaxY, 4419300);
}

// With scenarios the layer holds the untreated baseline, and the scenario tables come along.
TEST_F(Gis, TheResultLayerHoldsTheBaselineOfScenarios) {
    const Outcome outcome = inventory({.standsFile = examples + "stands.gpkg",
                                       .years = {0, 50},
                                       .outputFile = "out.gpkg",
                                       .treatmentsFile = examples + "treatments.csv"});
    ASSERT_EQ(outcome.status, exitSuccess) << outcome.err;
    EXPECT_EQ(rowsOf("out.gpkg",
                     "SELECT count(*) FROM stand_results r JOIN projection p ON p.stand_id = "
                     "r.stand_id AND p.scenario = 'none' AND p.year = 50 "
                     "WHERE r.carbon_y50 = p.carbon_total"),
              std::vector<std::string>{"20"});
    EXPECT_EQ(
        rowsOf("out.gpkg", "SELECT data_type FROM gpkg_contents WHERE table_name = 'removals'"),
        std::vector<std::string>{"attributes"});
}

// Each feature's stand_id and polygon area in hectares, in order.
std::vector<std::string> standsAndAreasOf(const std::string& file, const char* layerName) {
    GDALAllRegister();
    const GDALDatasetUniquePtr dataset(GDALDataset::Open(file.c_str(), GDAL_OF_VECTOR));
    std::vector<std::string> rows;
    OGRLayer* layer = dataset ? dataset->GetLayerByName(layerName) : nullptr;
    if (layer == nullptr) return rows;
    for (const OGRFeatureUniquePtr& feature : *layer) {
        const double area = OGR_G_Area(OGRGeometry::ToHandle(feature->GetGeometryRef()));
        rows.push_back(std::string(feature->GetFieldAsString("stand_id")) + "|" +
                       std::to_string(area / 10000));
    }
    return rows;
}

// GDAL keeps repeated GeoJSON ids as FIDs: the stands are matched to their features by
// the order they are read in, never by FID.
TEST_F(Gis, FeaturesWithRepeatedIdsKeepTheirOwnResultsAndPolygons) {
    std::vector<std::string> features;
    const int ids[] = {5, 3, 5, 1, 2};
    for (int i = 0; i < 5; ++i) {
        const std::string properties =
            R"("stand_id":"s)" + std::to_string(i) + R"(","species":)" + (i == 1 ? "9" : "1") +
            R"(,"stand_age":20,"average_diameter":12,"average_height":10,)"
            R"("stand_density":2000,"stand_volume":)" +
            std::to_string(100 + 10 * i);
        features.push_back(feature(ids[i], properties, 100 * (i + 1), 452000 + 1000 * i));
    }
    writeFile("repeated.geojson", geoJson(features));
    const Outcome outcome = inventory({.standsFile = "repeated.geojson",
                                       .outputFile = "out.gpkg",
                                       .skipBadRows = true,
                                       .reportFile = "estate.html"});
    ASSERT_EQ(outcome.status, exitSuccess) << outcome.err;
    EXPECT_EQ(
        standsAndAreasOf("out.gpkg", "stand_results"),
        (std::vector<std::string>{"s0|1.000000", "s2|9.000000", "s3|16.000000", "s4|25.000000"}));
    EXPECT_EQ(rowsOf("out.gpkg",
                     "SELECT r.stand_id FROM stand_results r JOIN projection p ON "
                     "p.stand_id = r.stand_id AND p.year = 0 AND r.volume_y0 = p.stand_volume "
                     "ORDER BY r.fid"),
              (std::vector<std::string>{"s0", "s2", "s3", "s4"}));
    EXPECT_EQ(standPathsOf(readBytes("estate.html")).size(), 4u);
}

// The points of the outlines' SVG path data (an absolute "M", relative "m", "l", "h" and
// "v", a command's numbers repeated, "z"), by subpath.
std::vector<std::vector<MapPoint>> pointsOf(const std::string& path) {
    std::vector<std::vector<MapPoint>> subpaths;
    MapPoint pen;  // where the next step starts: after "z", the subpath's first point
    char command = 0;
    double x = 0;
    bool haveX = false;  // the first number of a pair read
    const std::regex token("[Mmlhvz]|-?[0-9]+");
    for (auto it = std::sregex_iterator(path.begin(), path.end(), token);
         it != std::sregex_iterator(); ++it) {
        const std::string text = it->str();
        if (std::isalpha(text[0])) {
            if (text == "z") pen = subpaths.back().front();
            if (text == "M" || text == "m") subpaths.emplace_back();
            command = text[0];
            continue;
        }
        const double number = std::stod(text);
        if (command == 'h' || command == 'v') {
            pen =
                command == 'h' ? MapPoint{pen.x + number, pen.y} : MapPoint{pen.x, pen.y + number};
        } else if (!haveX) {
            x = number;
            haveX = true;
            continue;
        } else {
            pen = command == 'M' ? MapPoint{x, number} : MapPoint{pen.x + x, pen.y + number};
            haveX = false;
        }
        subpaths.back().push_back(pen);
        if (command == 'M' || command == 'm') command = command == 'M' ? 'L' : 'l';
    }
    return subpaths;
}

// Twice the area of a subpath, positive when it runs clockwise on the page.
double doubleAreaOf(const std::vector<MapPoint>& points) {
    double sum = 0;
    for (std::size_t i = 0; i < points.size(); ++i) {
        const MapPoint a = points[i], b = points[(i + 1) % points.size()];
        sum += a.x * b.y - b.x * a.y;
    }
    return sum;
}

MapRing circle(double radius, int points) {
    MapRing ring;
    for (int i = 0; i <= points; ++i) {
        const double angle = 2 * std::numbers::pi * i / points;
        ring.push_back({500 + radius * std::cos(angle), 500 + radius * std::sin(angle)});
    }
    return ring;
}

MapRing reversed(MapRing ring) {
    std::reverse(ring.begin(), ring.end());
    return ring;
}

// Simplified, every stand keeps one path, of few points, close to its outline; outside
// rings run clockwise on the page and holes the other way, as the nonzero fill needs.
TEST(GisMapOutlines, AreSimplifiedToOnePathAStand) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const MapRing square{{0, 0}, {0, 10}, {10, 10}, {10, 0}};
    const struct {
        const char* name;
        std::vector<MapPolygon> polygons;
        std::size_t subpaths, fewest, most;  // points of each subpath
        std::vector<double> radii;  // each subpath's points lie about that far from (500, 500)
    } cases[] = {
        {"a dense circle", {{circle(300, 20000)}}, 1, 20, 100, {300}},
        {"a ring with a hole, both one way",
         {{circle(300, 5000), circle(100, 5000)}},
         2,
         10,
         100,
         {300, 100}},
        {"a ring with a hole, both the other way",
         {{reversed(circle(300, 5000)), reversed(circle(100, 5000))}},
         2,
         10,
         100,
         {300, 100}},
        {"two parts, the first with a hole",
         {{circle(100, 500), circle(50, 500)}, {circle(300, 500)}},
         3,
         10,
         100,
         {100, 50, 300}},
        {"a square", {{square}}, 1, 4, 4, {}},
        {"a square the other way", {{reversed(square)}}, 1, 4, 4, {}},
        {"a square with points along its sides",
         {{{{0, 5}, {0, 0}, {5, 0}, {10, 0}, {10, 10}, {5, 10}, {0, 10}, {0, 7}}}},
         1,
         4,
         4,
         {}},
        {"points in a line: a mark", {{{{0, 0}, {5, 0}, {10, 0}}}}, 1, 3, 3, {}},
        {"too small to see", {{circle(0.2, 50)}}, 1, 3, 3, {}},
        {"a small part dropped", {{circle(300, 500)}, {circle(0.2, 50)}}, 1, 20, 100, {300}},
        {"no finite point", {{{{nan, 1}, {2, nan}, {nan, nan}}}}, 0, 0, 0, {}},
    };
    // One absolute move, then relative steps only, a space between two numbers only where
    // no minus sign is, no command repeated.
    const std::string numbers = "-?[0-9]+(-[0-9]+| [0-9]+)*", steps = "([hvl]" + numbers + ")";
    const std::regex shortest("(M-?[0-9]+( [0-9]+|-[0-9]+)" + steps + "+z(m" + numbers + steps +
                              "*z)*)?");
    const std::regex repeated("([hvl])[- 0-9]*\\1");
    for (const auto& c : cases) {
        const std::string path = outlinePath(c.polygons);
        EXPECT_TRUE(std::regex_match(path, shortest)) << c.name << ": " << path;
        EXPECT_FALSE(std::regex_search(path, repeated)) << c.name << ": " << path;
        const auto subpaths = pointsOf(path);
        ASSERT_EQ(subpaths.size(), c.subpaths) << c.name << ": " << path;
        for (std::size_t s = 0; s < subpaths.size(); ++s) {
            const auto& points = subpaths[s];
            EXPECT_GE(points.size(), c.fewest) << c.name << ": " << path;
            EXPECT_LE(points.size(), c.most) << c.name << ": " << path;
            // In every case the second subpath, where there is one, is a hole.
            const bool outside = s != 1;
            EXPECT_EQ(doubleAreaOf(points) > 0, outside) << c.name << " " << s << ": " << path;
        }
        for (std::size_t s = 0; s < c.radii.size(); ++s) {
            for (const MapPoint p : subpaths[s])
                EXPECT_NEAR(std::hypot(p.x - 500, p.y - 500), c.radii[s], 1.5) << c.name;
        }
    }
}

std::size_t countOf(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

// The path data of the map's stands, in page order: its colour classes' paths split
// before each "M".
std::vector<std::string> standPathsOf(const std::string& page) {
    std::vector<std::string> paths;
    const auto from = page.find("<g class=\"stands\"");
    if (from == std::string::npos) return paths;
    const std::string stands = page.substr(from, page.find("</g>", from) - from);
    const std::regex path("<path class=\"k[0-4]\" d=\"([^\"]*)\"/>");
    for (auto it = std::sregex_iterator(stands.begin(), stands.end(), path);
         it != std::sregex_iterator(); ++it) {
        const std::string d = (*it)[1];
        for (auto at = d.find('M'); at != std::string::npos;) {
            const auto next = d.find('M', at + 1);
            paths.push_back(d.substr(at, next - at));
            at = next;
        }
    }
    return paths;
}

// The estate report of a polygon layer has a map of the stands kept, and loads nothing.
TEST_F(Gis, TheEstateReportMapsEachStandKept) {
    ASSERT_EQ(inventory({.standsFile = examples + "stands.gpkg",
                         .years = {0, 50},
                         .reportFile = "estate.html",
                         .reportLanguage = ReportLanguage::chinese})
                  .status,
              exitSuccess);
    const std::string page = readBytes("estate.html");
    EXPECT_EQ(standPathsOf(page).size(), 20u);
    EXPECT_EQ(countOf(page, "<path class=\"k"), 10u);  // a path a colour class and band
    for (const char* part : {"<div class=\"legend\">", "class=\"scale-bar\"",
                             "class=\"north-arrow\"", "<h2>小班分布图</h2>", "第 50 年碳密度"}) {
        EXPECT_EQ(countOf(page, part), 1u) << part;
    }
    for (const char* reference : {" src=", "href=", "url("})
        EXPECT_EQ(page.find(reference), std::string::npos) << reference;

    // A rejected stand and one without a polygon are not drawn; a table has no map.
    const std::string stand = oneStand;
    writeFile("three.geojson",
              geoJson({feature(1, stand + R"(,"area":1)"),
                       feature(2, R"("stand_id":"B","species":9,"area":1)"),
                       feature(3, R"("stand_id":"C")" + stand.substr(14) + R"(,"area":1)", 0)}));
    for (const auto& [input, paths] :
         {std::pair{std::string("three.geojson"), 1u}, std::pair{examples + "stands.csv", 0u}}) {
        const Outcome outcome =
            inventory({.standsFile = input, .skipBadRows = true, .reportFile = "estate.html"});
        ASSERT_EQ(outcome.status, exitSuccess) << outcome.err;
        const std::string drawn = readBytes("estate.html");
        EXPECT_EQ(standPathsOf(drawn).size(), paths) << input;
        EXPECT_EQ(countOf(drawn, "<figure class=\"map\">"), paths) << input;
        EXPECT_EQ(countOf(drawn, "Stands without a polygon, not drawn: 1"), paths) << input;
    }
}

// The page finds a stand's values by the place of its "M" among the paths: the data block
// lists the stands in the order they are drawn (by class, a path each), rounded as the
// tooltip shows them.
TEST(GisMap, ListsTheStandsInTheOrderTheyAreDrawn) {
    EstateReportData data;
    data.years = {0};
    data.accepted = 5;
    data.scenarios = {"none"};
    data.map.emplace();
    data.map->width = 100;
    data.map->height = 10;
    const struct {
        const char* id;
        double carbon, volume, area;
    } stands[] = {{"A|1", 90.04, 100, 1},
                  {"B</script>", 10, 123.456, 2.345678},
                  {"C", 50, 0.04, 3},
                  {"D", 30, 1e6, 4},
                  {"E", 70, std::numeric_limits<double>::quiet_NaN(), 5.555}};
    for (std::size_t i = 0; i < std::size(stands); ++i) {
        const auto& s = stands[i];
        data.map->stands.push_back({.id = s.id,
                                    .path = "M" + std::to_string(10 * i) + " 0l1 0 0 1z",
                                    .carbon = s.carbon,
                                    .volume = s.volume,
                                    .area = s.area});
    }
    const std::string page = estateReportHtml(data, ReportLanguage::english, "");
    // Five quantile classes of one stand each, drawn from the lowest carbon up.
    EXPECT_EQ(standPathsOf(page),
              (std::vector<std::string>{"M10 0l1 0 0 1z", "M30 0l1 0 0 1z", "M20 0l1 0 0 1z",
                                        "M40 0l1 0 0 1z", "M0 0l1 0 0 1z"}));
    // The ids joined by a character none holds; the values in base 36, none for NaN.
    EXPECT_NE(page.find(R"(<script type="application/json" id="map-data">)"
                        R"({"tip":"{}: {} t C/ha, {} m3/ha, {} ha","separator":",",)"
                        R"("id":"B\u003c/script>,D,C,E,A|1",)"
                        R"("carbonTenths":"2s,8c,dw,jg,p0",)"
                        R"("volumeTenths":"yb,5yc1s,0,,rs",)"
                        R"("areaHundredths":"6j,b4,8c,fg,2s"}</script>)"),
              std::string::npos);

    // Within a class, a path a band of 128 units down the frame, in input order within.
    EstateReportData bands = data;
    for (const auto& [i, path] : {std::pair{0, "M0 300l1 0 0 1z"},
                                  {1, "M5 127h1v1z"},
                                  {2, "M9 128h1v1z"},
                                  {3, "M3 1h1v1z"},
                                  {4, "M4 299h1v1z"}}) {
        bands.map->stands[static_cast<std::size_t>(i)].path = path;
        bands.map->stands[static_cast<std::size_t>(i)].carbon = 50;
    }
    const std::string banded = estateReportHtml(bands, ReportLanguage::english, "");
    EXPECT_EQ(countOf(banded, "<path class=\"k"), 3u);
    EXPECT_EQ(standPathsOf(banded),
              (std::vector<std::string>{"M5 127h1v1z", "M3 1h1v1z", "M9 128h1v1z",
                                        "M0 300l1 0 0 1z", "M4 299h1v1z"}));
    EXPECT_NE(banded.find(R"("id":"B\u003c/script>,D,C,A|1,E")"), std::string::npos);

    // Ids that hold every character they could be joined by stay a list.
    data.map->stands[0].id = R"(|,;~^!*+=#$%@`{}[]:?'() /._-)";
    EXPECT_NE(estateReportHtml(data, ReportLanguage::english, "")
                  .find(R"("id":["B\u003c/script>","D","C","E","|,;~^!*+=#$%@`{}[]:?'() /._-"],)"),
              std::string::npos);

    // Outlined while a stand has 100 square units of the frame (here 200), not below.
    EXPECT_NE(page.find("<svg class=\"map\" "), std::string::npos);
    data.map->width = 40;
    EXPECT_NE(estateReportHtml(data, ReportLanguage::english, "").find("<svg class=\"map dense\" "),
              std::string::npos);
}

// An area column whose total is 15 times the polygons' (within 2 %) is in mu read as
// ha, or the reverse: the run stops and says which --area-unit to give.
TEST_F(Gis, AnAreaColumnFifteenTimesThePolygonsStopsTheRun) {
    // A square of 100 m: 1 ha.
    const struct {
        const char* area;
        AreaUnit unit;
        int status;
        const char* expected;
    } cases[] = {
        {"15", AreaUnit::hectare, exitUnusableData,
         "15 times less: is the column in mu? Give --area-unit mu"},
        {"15.25", AreaUnit::hectare, exitUnusableData, "Give --area-unit mu"},
        {"1", AreaUnit::mu, exitUnusableData,
         "15 times more: is the column in ha? Leave out --area-unit mu"},
        {"15", AreaUnit::mu, exitSuccess, ""},
        {"1.05", AreaUnit::hectare, exitSuccess, ""},
        {"16", AreaUnit::hectare, exitSuccess, ""},
    };
    for (const auto& c : cases) {
        writeFile("stands.geojson",
                  geoJson({feature(1, oneStand + std::string(R"(,"area":)") + c.area)}));
        const Outcome outcome =
            inventory({.standsFile = "stands.geojson", .input = {.areaUnit = c.unit}});
        EXPECT_EQ(outcome.status, c.status) << c.area << ": " << outcome.err;
        EXPECT_NE(outcome.err.find(c.expected), std::string::npos) << outcome.err;
    }
}

}  // namespace
}  // namespace arbora::gis_test
