// The inventory projection: its numbers against the two simulations, the reading rules
// and rejections, the encodings, the totals, and all-or-nothing output.

#include <gtest/gtest.h>
#include <iconv.h>
#include <sqlite3.h>
#include <sys/resource.h>

#include <bit>
#include <charconv>
#include <cmath>
#include <csignal>
#include <fstream>
#include <nlohmann/json.hpp>
#include <random>
#include <sstream>

#include "commands/report_commands.h"
#include "estate/estate_report.h"
#include "growth/growth_and_yield.h"
#include "growth/normal_stand.h"
#include "inventory/number_text.h"
#include "inventory/projection.h"
#include "run/inventory_run.h"
#include "test_support.h"

namespace arbora::inventory_test {
namespace {

using testing::query;
using testing::readBytes;

constexpr std::string_view header =
    "stand_id,species,site_class,stand_age,average_diameter,average_height,stand_density,"
    "stand_volume,area\n";

using Outcome = testing::InventoryOutcome;
using testing::writeFile;

Outcome inventory(const std::string& stands, std::optional<std::string> output = {},
                  bool skipBadRows = false, std::vector<std::int32_t> years = {0, 10},
                  InputEncoding encoding = InputEncoding::utf8,
                  std::optional<std::string> report = {},
                  ReportLanguage language = ReportLanguage::english) {
    InventoryOptions options;
    options.reportFile = std::move(report);
    options.reportLanguage = language;
    options.standsFile = stands;
    options.years = std::move(years);
    options.outputFile = std::move(output);
    options.skipBadRows = skipBadRows;
    options.encoding = encoding;
    return testing::runInventoryHere(options);
}

TEST(InventoryNumbers, AreReadStrictly) {
    struct Case {
        const char* text;
        std::optional<double> real;
        std::optional<std::int64_t> whole;
    };
    const Case cases[] = {
        {" 12.5 ", 12.5, {}},
        {"+3", 3.0, 3},
        {"-0", 0.0, 0},
        {"1e2", 100.0, {}},
        {"1E-2", 0.01, {}},
        {"1e-400", 0.0, {}},
        {"12", 12.0, 12},
        {"2 3", {}, {}},
        {"12cm", {}, {}},
        {"1,5", {}, {}},
        {"", {}, {}},
        {"inf", {}, {}},
        {"nan", {}, {}},
        {"1e400", {}, {}},
        {"1e", {}, {}},
        {"0x10", {}, {}},
        {"99999999999999999999", 1e20, {}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(readInventoryNumber(c.text).value, c.real) << '"' << c.text << '"';
        EXPECT_EQ(readInventoryWholeNumber(c.text).value, c.whole) << '"' << c.text << '"';
    }
}

TEST(ShortestText, ReadsBackToTheSameDouble) {
    struct Case {
        double value;
        const char* text;
    };
    const Case cases[] = {
        {0.0, "0"},
        {-0.0, "-0"},
        {150.0, "150"},
        {0.1, "0.1"},
        {12.345, "12.345"},
        {1e-6, "0.000001"},
        {1.5e-7, "1.5e-7"},
        {1e20, "100000000000000000000"},
        {1e21, "1e+21"},
        {5e-324, "5e-324"},
        {1.7976931348623157e308, "1.7976931348623157e+308"},
        {-2.5, "-2.5"},
        {123456789012345680.0, "123456789012345680"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(shortestText(c.value), c.text);
    std::mt19937_64 random(42);
    for (int i = 0; i < 100000; ++i) {
        const double value = std::bit_cast<double>(random());
        if (!std::isfinite(value)) continue;
        const std::string text = shortestText(value);
        double back = 0;
        std::from_chars(text.data(), text.data() + text.size(), back);
        ASSERT_EQ(std::bit_cast<std::uint64_t>(back), std::bit_cast<std::uint64_t>(value)) << text;
    }
}

TEST(InventoryYears, ListsMergeAndSort) {
    struct Case {
        const char* text;
        std::vector<std::int32_t> offsets;  // empty: refused
    };
    const Case cases[] = {
        {"0:50:10", {0, 10, 20, 30, 40, 50}},
        {"0,5,10:50:10", {0, 5, 10, 20, 30, 40, 50}},
        {"30,0,30,10:12:5", {0, 10, 30}},
        {"7", {7}},
        {"5:1:1", {}},
        {"0:10:0", {}},
        {"-1", {}},
        {"0,,5", {}},
        {"1.5", {}},
        {"0:10", {}},
        {"0:100000:1", {}},  // more years than a projection can list
        {"2147483648", {}},
    };
    for (const Case& c : cases) {
        const YearsList list = parseYearsList(c.text);
        EXPECT_EQ(list.offsets, c.offsets) << c.text;
        EXPECT_EQ(list.problem.empty(), !c.offsets.empty()) << c.text;
    }
    // Long lists are merged at once (a list made item by item was quadratic), and the
    // 10,001 years 0 to 10,000 are the most a list holds.
    std::string descending, repeated = "0:9999:1";
    for (int year = 9999; year >= 0; --year)
        descending += std::to_string(year) + (year > 0 ? "," : "");
    for (int i = 0; i < 60000; ++i)
        repeated += ",5";
    const std::pair<std::string, std::size_t> sizes[] = {{descending, 10000},
                                                         {repeated, 10000},
                                                         {"0:10000:1", 10001},
                                                         {"0:10001:1", 0},
                                                         {"0:9999:1,10000,10001", 0}};
    for (const auto& [text, size] : sizes) {
        const YearsList list = parseYearsList(text);
        EXPECT_EQ(list.offsets.size(), size) << text.substr(0, 40) << " " << list.problem;
    }
}

class Inventory : public testing::InTempDir {};

// Every year of a stand, edited with the simulations' layouts, gives the lines the
// two simulations write for that age; year 0 is the stand as measured.
TEST_F(Inventory, ProjectionMatchesBothSimulationsDigitForDigit) {
    struct Case {
        InventoryStand stand;
        std::vector<std::int32_t> years;
    };
    const Case cases[] = {
        {{"a", 1, 2, 20, 12.0, 12.0, 2000, 150.0, 1.0, 2}, {0, 10, 30, 60}},
        {{"b", 2, {}, 35, 18.5, 14.25, 950, 210.5, 3.5, 3}, {0, 5, 45}},
        {{"c", 3, {}, 15, 9.4, 8.25, 3100, 96.0, 1.0, 4}, {0, 1, 25, 85}},
        {{"d", 4, {}, 40, 21.3, 11.8, 777, 140.0, 1.0, 5}, {0, 20, 400}},
    };
    InventoryProjector projector;
    for (const Case& c : cases) {
        const auto projected = projector.project(c.stand, c.years);
        ASSERT_TRUE(std::holds_alternative<std::vector<ProjectionRow>>(projected));
        const auto& rows = std::get<std::vector<ProjectionRow>>(projected);
        ASSERT_EQ(rows.size(), c.years.size());
        const ProjectionRow& measured = rows.front();
        EXPECT_EQ(measured.averageDiameter, c.stand.averageDiameter);
        EXPECT_EQ(measured.standDensity, c.stand.standDensity);
        EXPECT_EQ(measured.standVolume, c.stand.standVolume);
        EXPECT_EQ(measured.biomass.stand,
                  componentBiomass(c.stand.species, c.stand.averageDiameter, c.stand.averageHeight,
                                   c.stand.standDensity)
                      .stand);

        for (const ProjectionRow& row : rows) {
            if (row.year == 0) continue;
            StandSettings settings{c.stand.standVolume,
                                   c.stand.averageHeight,
                                   c.stand.averageDiameter,
                                   c.stand.standDensity,
                                   row.age,
                                   c.stand.standAge,
                                   0,
                                   c.stand.species};
            std::vector<std::string> simulated;
            ReportChannel channel([&](std::string_view line) { simulated.emplace_back(line); });
            runGrowthAndYield(settings, channel);
            runBiomassAndCarbon(settings, channel);
            std::vector<std::string> edited;
            const auto edit = [&](std::string_view layout, double value) {
                edited.push_back(formatLayout(layout, {value}).front());
            };
            edit(R"(2X, "Stand average diameter = ", F5.1, 2X, "cm")", row.averageDiameter);
            edit(R"(2X, "Stand average height = ", F5.1, 2X, "m")", row.averageHeight);
            edited.push_back(
                formatLayout(R"(2X, "Stand density = ", I6, 2X, "trees/ha")", {row.standDensity})
                    .front());
            edit(R"(2X, "Stand volume = ", F7.1, 2X, "m3/ha")", row.standVolume);
            edit(R"(2X, "Biomass of stem:", 2X, F6.1, 2X, "t/ha")", row.biomass.stem);
            edit(R"(2X, "Biomass of root:", 2X, F6.1, 2X, "t/ha")", row.biomass.root);
            edit(R"(2X, "Biomass of stand:", F7.1, 2X, "t/ha")", row.biomass.stand);
            edit(R"(2X, "Carbon of foliage:", F5.1, 2X, "t/ha")", row.carbon.foliage);
            edit(R"(2X, "Carbon of stand:", F7.1, 2X, "t/ha")", row.carbon.stand);
            for (const std::string& line : edited) {
                EXPECT_NE(std::find(simulated.begin(), simulated.end(), line), simulated.end())
                    << c.stand.standId << " year " << row.year << ": " << line;
            }
            // And to the last bit, not only to the printed digits.
            const auto direct = std::get<ProjectedStand>(projectStand(settings));
            EXPECT_EQ(row.averageHeight, direct.height);
            EXPECT_EQ(row.standVolume, direct.volume);
            EXPECT_EQ(row.co2e, row.carbon.stand * 44.0 / 12.0);
        }
    }
}

TEST_F(Inventory, RejectsEachBadRowWithItsLineColumnAndReason) {
    writeFile("stands.csv", std::string(header) +
                                "A,1,,20,12,12,2000,150,1\n"                // 2: accepted
                                "B,Pinus Armandii,x,20,12,12,2000,150,1\n"  // 3
                                "\"C\nwith a line break\",3,1,20,12cm,12,2000,150,1\n"  // 4-5
                                "\n"                                                    // 6: blank
                                "A,4,1,20,12,12,2000,150,1\n"                           // 7
                                "D,9,1,20,12,12,2000,150,1\n"                           // 8
                                "E,1,1,0,12,12,2000,150,1\n"                            // 9
                                "F,1,1,5,12,12,2000,150,1\n"                            // 10
                                "G,\"4\",1,20,-1,12,2000,150,1\n"                       // 11
                                "H,4,1,20,12,0,2000,150,1\n"                            // 12
                                "I,4,1,20,12,12,2.5,150,1\n"                            // 13
                                "J,4,1,20,12,12,-1,150,1\n"                             // 14
                                "K,4,1,20,12,12,20,-150,1\n"                            // 15
                                "L,4,1,20,12,12,20,150,0\n"                             // 16
                                ",4,1,20,12,12,20,150,1\n"                              // 17
                                "M,油松,1,20,12,12,20,150,\n"                           // 18
                                "N,2,1,1,12,12,20,150,1\n");                            // 19
    const Outcome run = inventory("stands.csv", "out.sqlite", true);
    EXPECT_EQ(run.status, exitSuccess) << run.err;
    const std::vector<std::string> expected = {
        "3|B|site_class|\"x\" is not a number",
        "4|C\nwith a line break|average_diameter|\"12cm\" is not a number",
        "7|A|stand_id|duplicate of line 2",
        "8|D|species|\"9\" is not a species: use 1 Pinus tabulaeformis (油松), 2 Pinus armandii "
        "(华山松), 3 Larix principis-ruprechtii (华北落叶松), 4 Quercus aliena (槲栎), by "
        "number, Latin or Chinese name; map other codes or names with --species-map FILE",
        "9|E|stand_age|\"0\" is below 1",
        "10|F|stand_age|age 5 is outside the growth curves of this species",
        "11|G|average_diameter|\"-1\" is not above 0",
        "12|H|average_height|\"0\" is not above 0",
        "13|I|stand_density|\"2.5\" is not a whole number",
        "14|J|stand_density|\"-1\" is below 0",
        "15|K|stand_volume|\"-150\" is below 0",
        "16|L|area|\"0\" is not above 0",
        "17||stand_id|is empty",
        "18|M|area|is empty",
        "19|N|stand_age|age 1 is outside the growth curves of this species",
    };
    EXPECT_EQ(query("out.sqlite", R"(SELECT line, stand_id, "column", reason FROM rejected)"),
              expected);
    EXPECT_EQ(query("out.sqlite", "SELECT stand_id, site_class, line FROM stands"),
              std::vector<std::string>{"A|NULL|2"});
    EXPECT_NE(run.err.find("stands.csv:4: average_diameter: \"12cm\" is not a number"),
              std::string::npos);
    EXPECT_NE(run.err.find("stands.csv:19: stand_age:"), std::string::npos);

    // Without --skip-bad-rows nothing is written and the status is 3.
    const Outcome strict = inventory("stands.csv", "strict.sqlite");
    EXPECT_EQ(strict.status, exitUnusableData);
    EXPECT_FALSE(std::filesystem::exists("strict.sqlite"));
    EXPECT_EQ(strict.out, "");
}

// The same inventory as UTF-8 with English headers, with a byte-order mark, CR LF and
// Chinese headers and names, and in GBK gives the same summary.
TEST_F(Inventory, ReadsBomCrLfChineseHeadersAndGbk) {
    const std::string english = std::string(header) +
                                "C01,1,2,25,14.6,9.6,1720,142.0,8.7\n"
                                "C02,Larix principis-ruprechtii,,15,9.9,7.2,2800,96.1,25\n";
    const std::string chinese =
        "\xEF\xBB\xBF"
        " 小班号 ,树种,地位级,林龄,平均胸径,平均树高,每公顷株数,每公顷蓄积,面积\r\n"
        "C01,油松,2,25,14.6,9.6,1720,142.0,8.7\r\n"
        "C02,华北落叶松,,15,9.9,7.2,2800,96.1,25\r\n";
    std::string gbk(chinese.size() * 2, '\0');
    {
        iconv_t toGbk = iconv_open("GBK", "UTF-8");
        char* in = const_cast<char*>(chinese.data()) + 3;  // GBK files carry no mark
        std::size_t inLeft = chinese.size() - 3, outLeft = gbk.size();
        char* out = gbk.data();
        ASSERT_NE(iconv(toGbk, &in, &inLeft, &out, &outLeft), static_cast<std::size_t>(-1));
        gbk.resize(gbk.size() - outLeft);
        iconv_close(toGbk);
    }
    writeFile("english.csv", english);
    writeFile("chinese.csv", chinese);
    writeFile("gbk.csv", gbk);
    const auto body = [](const Outcome& run) {
        EXPECT_EQ(run.status, exitSuccess) << run.err;
        return run.out.substr(run.out.find("stands accepted"));
    };
    const std::string expected = body(inventory("english.csv"));
    EXPECT_EQ(body(inventory("chinese.csv")), expected);
    EXPECT_EQ(body(inventory("gbk.csv", {}, false, {0, 10}, InputEncoding::gbk)), expected);
    const Outcome misread = inventory("gbk.csv");
    EXPECT_EQ(misread.status, exitUnusableData);
    EXPECT_NE(misread.err.find("--encoding gbk"), std::string::npos) << misread.err;
}

// A stand from a SQLite table gives the same projection as from CSV: INTEGER and REAL
// values are taken as stored, TEXT values read as in CSV.
TEST_F(Inventory, ReadsSqliteStandsAsStored) {
    writeFile("stands.csv", std::string(header) + "7,4,,30,15.3,11.1,1500,120.7,2\n");
    sqlite3* db = nullptr;
    sqlite3_open("stands.db", &db);
    sqlite3_exec(db,
                 "CREATE TABLE stands (Stand_ID, species, stand_age, average_diameter, "
                 "average_height, stand_density, stand_volume, area);"
                 "INSERT INTO stands VALUES (7, 'quercus aliena', 30.0, 15.3, '11.1', 1500, "
                 "120.7, 2)",
                 nullptr, nullptr, nullptr);
    sqlite3_close(db);
    ASSERT_EQ(inventory("stands.csv", "from-csv.csv").status, exitSuccess);
    const Outcome fromSqlite = inventory("stands.db", "from-sqlite.csv");
    ASSERT_EQ(fromSqlite.status, exitSuccess) << fromSqlite.err;
    EXPECT_EQ(readBytes("from-sqlite.csv"), readBytes("from-csv.csv"));
}

std::vector<double> numbersOf(const std::string& csvLine) {
    std::vector<double> numbers;
    std::istringstream fields(csvLine);
    for (std::string field; std::getline(fields, field, ',');) {
        double value = 0;
        std::from_chars(field.data(), field.data() + field.size(), value);
        numbers.push_back(value);
    }
    return numbers;
}

// The totals are each stand's per-hectare values times its area, summed in input
// order; the CSV numbers read back to the very doubles that were summed.
TEST_F(Inventory, SumsPerHectareValuesTimesAreaInInputOrder) {
    const std::vector<double> areas = {8.7, 0.35, 25.0};
    writeFile("stands.csv", std::string(header) + "a,1,2,25,14.6,9.6,1720,142.1,8.7\n" +
                                "b,4,,33,15.2,10.7,1333,133.3,0.35\n" +
                                "c,1,,41,20.9,11.5,820,176.3,25\n");
    ASSERT_EQ(inventory("stands.csv", "rows.csv", false, {0, 20}).status, exitSuccess);
    ASSERT_EQ(inventory("stands.csv", "all.sqlite", false, {0, 20}).status, exitSuccess);
    std::ifstream rows("rows.csv");
    std::string line;
    std::getline(rows, line);  // the header
    double volume[2] = {}, carbon[2] = {}, co2e[2] = {};
    for (std::size_t i = 0; std::getline(rows, line); ++i) {
        const std::vector<double> n = numbersOf(line);  // n[0], n[1]: scenario, stand id
        const std::size_t year = i % 2;
        volume[year] += n[8] * areas[i / 2];
        carbon[year] += n[20] * areas[i / 2];
        co2e[year] += n[21] * areas[i / 2];
    }
    sqlite3* db = nullptr;
    sqlite3_open("all.sqlite", &db);
    sqlite3_stmt* totals = nullptr;
    sqlite3_prepare_v2(db,
                       "SELECT year, stands, area, volume, carbon, co2e FROM summary "
                       "WHERE species IS NULL ORDER BY year",
                       -1, &totals, nullptr);
    for (std::size_t year = 0; year < 2; ++year) {
        ASSERT_EQ(sqlite3_step(totals), SQLITE_ROW);
        std::vector<double> n;
        for (int i = 0; i < 6; ++i)
            n.push_back(sqlite3_column_double(totals, i));
        EXPECT_EQ(n[1], 3);
        EXPECT_EQ(n[2], 8.7 + 0.35 + 25.0);
        EXPECT_EQ(n[3], volume[year]) << year;
        EXPECT_EQ(n[4], carbon[year]) << year;
        EXPECT_EQ(n[5], co2e[year]) << year;
    }
    sqlite3_finalize(totals);
    sqlite3_close(db);
    EXPECT_EQ(query("all.sqlite", "SELECT species, stands FROM summary WHERE year = 20"),
              (std::vector<std::string>{"NULL|3", "1|2", "4|1"}));
}

// A write that fails leaves an earlier output as it was and no temporary file.
TEST_F(Inventory, AFailedWriteKeepsTheEarlierOutput) {
    std::string stands(header);
    for (int i = 0; i < 3000; ++i)
        stands += "s" + std::to_string(i) + ",2,1,30,15.4,10.1,1390,149.7,11\n";
    writeFile("stands.csv", stands);
    for (const char* output : {"out.csv", "out.sqlite"}) {
        writeFile(output, "earlier");
        const auto previousSignal = std::signal(SIGXFSZ, SIG_IGN);
        rlimit previous;
        ::getrlimit(RLIMIT_FSIZE, &previous);
        rlimit small = previous;
        small.rlim_cur = 64 * 1024;
        ::setrlimit(RLIMIT_FSIZE, &small);
        const Outcome run = inventory("stands.csv", output);
        ::setrlimit(RLIMIT_FSIZE, &previous);
        std::signal(SIGXFSZ, previousSignal);
        EXPECT_EQ(run.status, exitFileFailure) << output;
        EXPECT_NE(run.err.find(std::string("cannot write \"") + output + "\""), std::string::npos)
            << run.err;
        EXPECT_EQ(readBytes(output), "earlier");
        for (const auto& entry : std::filesystem::directory_iterator(".")) {
            EXPECT_NE(entry.path().filename().string().front(), '.')
                << entry.path() << ": a temporary file was left";
        }
    }
}

// The estate report carries the summary rows of its run with full precision, for its
// charts, and refers to nothing outside itself.
TEST_F(Inventory, EstateReportEmbedsTheSummaryRowsAndLoadsNothing) {
    writeFile("stands.csv", std::string(header) + "a,1,2,25,14.6,9.6,1720,142.1,8.7\n" +
                                "b,4,,33,15.2,10.7,1333,133.3,0.35\n" +
                                "c,<Quercus>,,33,15.2,10.7,1333,133.3,1\n");
    const Outcome run =
        inventory("stands.csv", "all.sqlite", true, {0, 5, 20}, InputEncoding::utf8, "estate.html");
    ASSERT_EQ(run.status, exitSuccess) << run.err;
    const std::string page = readBytes("estate.html");
    const std::string open = R"(<script type="application/json" id="summary-data">)";
    const auto start = page.find(open) + open.size();
    const auto rows =
        nlohmann::json::parse(page.substr(start, page.find("</script>", start) - start));

    sqlite3* db = nullptr;
    sqlite3_open("all.sqlite", &db);
    sqlite3_stmt* summary = nullptr;
    sqlite3_prepare_v2(db,
                       "SELECT year, species, stands, area, volume, biomass, carbon, co2e "
                       "FROM summary ORDER BY rowid",
                       -1, &summary, nullptr);
    std::size_t count = 0;
    for (; sqlite3_step(summary) == SQLITE_ROW; ++count) {
        ASSERT_LT(count, rows.size());
        const auto& row = rows[count];
        EXPECT_EQ(row["year"], sqlite3_column_int(summary, 0));
        if (sqlite3_column_type(summary, 1) == SQLITE_NULL) {
            EXPECT_TRUE(row["species"].is_null());
        } else {
            EXPECT_EQ(row["species"], sqlite3_column_int(summary, 1));
        }
        EXPECT_EQ(row["stands"], sqlite3_column_int64(summary, 2));
        int column = 3;
        for (const char* name : {"area", "volume", "biomass", "carbon", "co2e"}) {
            EXPECT_EQ(row[name].get<double>(), sqlite3_column_double(summary, column++)) << name;
        }
    }
    sqlite3_finalize(summary);
    sqlite3_close(db);
    EXPECT_EQ(count, rows.size());
    EXPECT_EQ(count, 3u * 3u);  // all species, species 1 and 4, in each of three years

    for (const char* reference : {" src=", "href=", "<link", "@import", "url(", "<iframe"}) {
        EXPECT_EQ(page.find(reference), std::string::npos) << reference;
    }
    EXPECT_NE(page.find("&lt;Quercus&gt;"), std::string::npos);  // the rejected row, escaped

    // Without an area column, so that the page says every stand counts as 1 ha.
    writeFile("no-area.csv",
              "stand_id,species,stand_age,average_diameter,average_height,stand_density,"
              "stand_volume\na,1,75,14.6,9.6,1720,142.1\nb,4,33,15.2,10.7,1333,133.3\n"
              "c,<Quercus>,33,15.2,10.7,1333,133.3\n");
    ASSERT_EQ(inventory("no-area.csv", {}, true, {0, 10}, InputEncoding::utf8, "zh.html",
                        ReportLanguage::chinese)
                  .status,
              exitSuccess);
    for (const ReportLanguage language : {ReportLanguage::english, ReportLanguage::chinese})
        EXPECT_EQ(missingWords(language), std::vector<std::size_t>{});
    const std::string chinese = readBytes("zh.html");
    EXPECT_NE(chinese.find("<html lang=\"zh\">"), std::string::npos);
    for (const char* words :
         {"油松", "槲栎", "第 0 年碳储量", "清单没有面积列：每个小班均按 1 公顷计",
          "下层间伐径比（quotient_below）", "<td>锯材</td>",
          "不是可用的树种：可用 1 Pinus tabulaeformis（油松）",
          "超出收获表的最大林龄）、数值由生长曲线外推的小班：1 个"})
        EXPECT_NE(chinese.find(words), std::string::npos) << words;
    for (const char* english : {"<td>sawnwood</td>", "<td>emitted</td>", "is not a species"})
        EXPECT_EQ(chinese.find(english), std::string::npos) << english;
}

// Headers and values as spreadsheets and surveys write them: units in brackets, areas
// that must not silently become 1 ha, names the runner cannot take, inconsistent stands.
TEST_F(Inventory, TakesHeadersAsWrittenAndNeverAssumesSilently) {
    constexpr std::string_view names =
        "stand_id,species,stand_age,average_diameter,average_height,stand_density,"
        "stand_volume";
    const struct {
        const char* name;
        std::string header;  // replaces the last names of `names` given
        std::string row;
        AreaUnit unit;
        int status;
        const char* expected;  // in the summary (status 0) or on standard error
    } cases[] = {
        {"ASCII unit", ",Area (ha)", "A,1,25,14.6,9.6,1720,142,8.5", AreaUnit::hectare, exitSuccess,
         "1 stand accepted, 0 rejected, 8.5 ha"},
        {"full-width unit", ",面积（公顷）", "A,1,25,14.6,9.6,1720,142,8.5", AreaUnit::hectare,
         exitSuccess, "8.5 ha"},
        {"units on the others", ",area[ha]", "A,1,25,14.6,9.6,1720,142,2", AreaUnit::hectare,
         exitSuccess, "2.0 ha"},
        {"mu in the header and asked", ",面积(亩)", "A,1,25,14.6,9.6,1720,142,30", AreaUnit::mu,
         exitSuccess, "2.0 ha"},
        {"mu in the header only", ",面积(亩)", "A,1,25,14.6,9.6,1720,142,30", AreaUnit::hectare,
         exitUnusableData, "stands.csv: the column \"面积(亩)\" is in mu: give --area-unit mu"},
        {"ha in the header, mu asked", ",Area (ha)", "A,1,25,14.6,9.6,1720,142,2", AreaUnit::mu,
         exitUnusableData, "is in ha, but --area-unit mu is given"},
        {"an area unknown", ",Area (km2)", "A,1,25,14.6,9.6,1720,142,2", AreaUnit::hectare,
         exitUnusableData, "gives its unit as \"km2\", but area is read in ha"},
        {"an area not recognised", ",小班面积", "A,1,25,14.6,9.6,1720,142,2", AreaUnit::hectare,
         exitUnusableData,
         "has the column \"小班面积\", which reads like an area but is not one of its names: "
         "give it with --columns area=小班面积"},
        {"no area at all", "", "A,1,25,14.6,9.6,1720,142", AreaUnit::hectare, exitSuccess,
         "stands.csv: no area column: every stand counts as 1 ha"},
        {"one row rejected", "", "A,1,25,14.6,9.6,1720,-1", AreaUnit::hectare, exitUnusableData,
         "stands.csv: the only row rejected, nothing written"},
        {"a young stand without volume", "", "A,1,25,14.6,9.6,1720,0", AreaUnit::hectare,
         exitSuccess, "1 stand accepted"},
        {"volume without trees", "", "A,1,25,14.6,9.6,0,150", AreaUnit::hectare, exitUnusableData,
         "stands.csv:2: stand_density: is 0 with stand_volume 150: a stand without trees has "
         "no volume"},
        {"a short species name", "", "A,落叶松,25,14.6,9.6,1720,142", AreaUnit::hectare,
         exitUnusableData,
         "\"落叶松\" is not a species: use 1 Pinus tabulaeformis (油松), 2 Pinus armandii"},
    };
    for (const auto& c : cases) {
        writeFile("stands.csv", std::string(names) + c.header + "\n" + c.row + "\n");
        const Outcome run = testing::runInventoryHere(
            {.standsFile = "stands.csv", .years = {0}, .input = {.areaUnit = c.unit}});
        EXPECT_EQ(run.status, c.status) << c.name << ": " << run.err;
        const std::string text = run.out + run.err;
        EXPECT_NE(text.find(c.expected), std::string::npos) << c.name << ": " << text;
    }

    const struct {
        const char* header;
        const char* expected;
    } headers[] = {
        {" 小班号 ,树种,林龄（年）,平均胸径(cm),平均树高 (m),每公顷株数,每公顷蓄积[m3/ha]", ""},
        {"stand_id,species,stand_age,average_diameter (mm),average_height,stand_density,"
         "stand_volume",
         "the column \"average_diameter (mm)\" gives its unit as \"mm\", but average_diameter "
         "is read in cm"},
        {"stand_id,species,stand_age,DBH,average_height,stand_density,stand_volume",
         "has no column average_diameter (平均胸径); the header holds \"stand_id\", "
         "\"species\", \"stand_age\", \"DBH\", \"average_height\", \"stand_density\", "
         "\"stand_volume\"; name the input's column with --columns average_diameter=NAME"},
    };
    for (const auto& h : headers) {
        writeFile("stands.csv", std::string(h.header) + "\nA,1,25,14.6,9.6,1720,142\n");
        const Outcome run = inventory("stands.csv");
        EXPECT_EQ(run.status, *h.expected ? exitUnusableData : exitSuccess) << run.err;
        EXPECT_NE(run.err.find(h.expected), std::string::npos) << run.err;
    }
}

// The first ages of the growth curves, as the documentation gives them, and the stands
// projected beyond the yield tables' last age counted on screen and in the run table.
TEST_F(Inventory, CountsStandsProjectedBeyondTheYieldTables) {
    const std::int32_t firstAges[] = {11, 4, 3, 1};
    for (std::int32_t species = 1; species <= speciesCount; ++species)
        EXPECT_EQ(firstCurveAge(species), firstAges[species - 1]) << species;

    writeFile("stands.csv", std::string(header) + "a,1,,75,20,14,900,200,1\n" +
                                "b,1,,20,12,9,1700,120,1\nc,1,,60,18,13,1000,180,1\n");
    const struct {
        std::vector<std::int32_t> years;
        const char* expected;  // on standard error
        const char* counted;   // in the run table
    } cases[] = {
        {{0, 10}, "stands.csv: 1 stand projected beyond age 80", "1"},
        {{0, 30}, "stands.csv: 2 stands projected beyond age 80", "2"},
        {{0}, "", "0"},
    };
    for (const auto& c : cases) {
        const Outcome run = inventory("stands.csv", "out.sqlite", false, c.years);
        EXPECT_EQ(run.status, exitSuccess) << run.err;
        EXPECT_NE(run.err.find(c.expected), std::string::npos) << run.err;
        EXPECT_EQ(*c.expected == 0, run.err.empty()) << run.err;
        EXPECT_EQ(query("out.sqlite", "SELECT stands_beyond_yield_tables FROM run"),
                  std::vector<std::string>{c.counted});
    }
}

// A CSV output for spreadsheet programs on Windows starts with the UTF-8 byte-order mark.
TEST_F(Inventory, WritesTheByteOrderMarkWhenAsked) {
    writeFile("stands.csv", std::string(header) + "小班1,1,,20,12,9,1700,120,1\n");
    for (const bool mark : {false, true}) {
        const Outcome run = testing::runInventoryHere({.standsFile = "stands.csv",
                                                       .years = {0},
                                                       .outputFile = "out.csv",
                                                       .byteOrderMark = mark});
        ASSERT_EQ(run.status, exitSuccess) << run.err;
        EXPECT_EQ(readBytes("out.csv").starts_with("\xEF\xBB\xBFscenario,"), mark);
    }
}

}  // namespace
}  // namespace arbora::inventory_test
