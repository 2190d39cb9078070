// Inventories as other programs, crashes and hostile users leave them: each is read
// right or refused with the file, the line and what is wrong, an earlier output is
// never replaced by a failed run, and nothing that is not a finite number or not
// UTF-8 text reaches an output.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/file.h>

#include <chrono>
#include <climits>
#include <csignal>
#include <fstream>
#include <sstream>

#include "inventory/projection_output.h"
#include "inventory/stand_sources.h"
#include "io/atomic_file.h"
#include "io/stop_request.h"
#include "management/treatments.h"
#include "run/inventory_run.h"
#include "test_support.h"

namespace arbora::inventory_reliability_test {
namespace {

using testing::readBytes;

const std::string header =
    "stand_id,species,stand_age,average_diameter,average_height,stand_density,stand_volume\n";
const std::string goodRow = "A,1,20,10,8,1000,100\n";

// Rows with distinct ids, enough to pass the first 64 KB piece of the reader.
std::string manyRows(std::size_t count) {
    std::string rows;
    for (std::size_t i = 0; i < count; ++i)
        rows += "s" + std::to_string(i) + ",1,20,10,8,1000,100\n";
    return rows;
}

using Outcome = testing::InventoryOutcome;
using testing::writeFile;

InventoryOptions optionsFor(const std::string& stands, std::optional<std::string> output = {}) {
    InventoryOptions options;
    options.standsFile = stands;
    options.years = {0, 10};
    options.outputFile = std::move(output);
    return options;
}

Outcome run(const InventoryOptions& options) {
    return testing::runInventoryHere(options);
}

// The names in the working directory that start with a dot: temporary files left over.
std::vector<std::string> leftOvers() {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(".")) {
        const std::string name = entry.path().filename().string();
        if (name.front() == '.') names.push_back(name);
    }
    return names;
}

class Reliability : public testing::InTempDir {};

struct CsvCase {
    const char* name;
    std::string bytes;
    int status;
    std::string message;  // what standard error must hold
    InputEncoding encoding = InputEncoding::utf8;
};

TEST_F(Reliability, CsvFilesAreReadOrRefusedAtTheirLine) {
    const std::size_t pastOnePiece = 4000;  // about 100 KB of rows
    const std::string longValue(10000, 'x');
    const CsvCase cases[] = {
        {"a NUL byte in a row", header + std::string("A\0B,1,20,10,8,1000,100\n", 23), 3,
         "stands.csv: holds a NUL byte at line 2"},
        {"a tail of NUL bytes after the first piece",
         header + manyRows(pastOnePiece) + std::string(300000, '\0'), 3,
         "stands.csv: holds a NUL byte at line " + std::to_string(pastOnePiece + 2)},
        {"a byte that is not UTF-8 in a row", header + goodRow + "B\xFF,1,20,10,8,1000,100\n", 3,
         "stands.csv:3: is not UTF-8 text; for a file saved by a Chinese spreadsheet program, "
         "give --encoding gbk"},
        {"an overlong UTF-8 form after the first piece",
         header + manyRows(pastOnePiece) + "\xC0\xAF,1,20,10,8,1000,100\n", 3,
         "stands.csv:" + std::to_string(pastOnePiece + 2) + ": is not UTF-8 text"},
        {"a UTF-8 character cut by the end of the file", header + "\xE6\x9D", 3,
         "stands.csv:2: is not UTF-8 text"},
        {"an unclosed quote in the first field",
         header + goodRow + "B,1,20,10,8,1000,100\n\"C,1,20,10,8,1000,100\n", 3,
         "stands.csv:4: a quoted field is not closed"},
        {"a stray quote after a quoted line break past the first piece",
         header + manyRows(pastOnePiece) + "\"Q\nq\",1,20,10,8,1000,100\nR,1,20,10,8,1000,100\n" +
             "S\"s,1,20,10,8,1000,100\n",
         3,
         "stands.csv:" + std::to_string(pastOnePiece + 5) +
             ": a quote stands where CSV allows none"},
        {"a byte that is not GBK after the first piece",
         header + manyRows(pastOnePiece) + "\x81\x20,1,20,10,8,1000,100\n", 3,
         "stands.csv:" + std::to_string(pastOnePiece + 2) + ": is not GBK text",
         InputEncoding::gbk},
        {"lines ended by CR alone",
         "stand_id,species,stand_age,average_diameter,average_height,stand_density,stand_volume"
         "\rA,1,20,10,8,1000,100\r\r\"B\rb\",1,x,10,8,1000,100\rC,1,20,10,8,1000,100\r",
         3, "stands.csv:4: stand_age: \"x\" is not a number\n"},
        {"lines ended by CR LF with a blank line",
         "stand_id,species,stand_age,average_diameter,average_height,stand_density,stand_volume"
         "\r\nA,1,20,10,8,1000,100\r\n\r\n\"B\r\nb\",1,x,10,8,1000,100\r\n",
         3, "stands.csv:4: stand_age: \"x\" is not a number\n"},
        {"a huge value", header + "A," + longValue + ",20,10,8,1000,100\n", 3,
         "stands.csv:2: species: \"" + std::string(80, 'x') + "...\" is not a species"},
        {"a diameter whose biomass is not finite", header + "A,1,20,1e308,8,1000,100\n", 3,
         "stands.csv:2: average_diameter: 1e+308 gives a biomass_stem at year 0 that is not a "
         "finite number"},
        {"a projected volume that is not finite", header + "A,1,20,10,8,1000,1.7e308\n", 3,
         "stands.csv:2: stand_volume: 1.7e+308 gives a stand_volume at year 10 that is not a "
         "finite number"},
        {"an area whose totals are not finite",
         "stand_id,species,stand_age,average_diameter,average_height,stand_density,"
         "stand_volume,area\nA,1,20,10,8,1000,100,1e307\n",
         3, "stands.csv:2: area: 1e+307 gives a total for its area at year 0"},
        {"areas whose sum is not finite",
         "stand_id,species,stand_age,average_diameter,average_height,stand_density,"
         "stand_volume,area\nA,1,20,10,8,0,0,1e308\nB,1,20,10,8,0,0,1e308\n",
         3, "stands.csv: the area of year 0 is beyond the largest number, nothing written"},
    };
    for (const CsvCase& c : cases) {
        writeFile("stands.csv", c.bytes);
        writeFile("out.csv", "earlier");
        InventoryOptions options = optionsFor("stands.csv", "out.csv");
        options.encoding = c.encoding;
        const Outcome o = run(options);
        EXPECT_EQ(o.status, c.status) << c.name << ": " << o.err;
        EXPECT_NE(o.err.find(c.message), std::string::npos) << c.name << ": " << o.err;
        EXPECT_LT(o.err.size(), 1000u) << c.name;
        EXPECT_TRUE(readBytes("out.csv") == "earlier") << c.name;
        EXPECT_EQ(leftOvers(), std::vector<std::string>{}) << c.name;
    }
}

TEST_F(Reliability, LineEndsOfEveryKindGiveTheSameRowsAndLines) {
    const std::string rows = "A,1,20,10,8,1000,100|\"B|b\",2,30,12,10,900,120|C,3,25,11,9,800,90|";
    std::string previous;
    for (const std::string end : {"\n", "\r\n", "\r"}) {
        std::string text = header.substr(0, header.size() - 1) + "|" + rows;
        for (std::size_t at; (at = text.find('|')) != std::string::npos;)
            text.replace(at, 1, end);
        writeFile("stands.csv", text);
        ASSERT_EQ(run(optionsFor("stands.csv", "out.sqlite")).status, 0);
        sqlite3* db = nullptr;
        sqlite3_open("out.sqlite", &db);
        std::string lines;
        sqlite3_exec(
            db, "SELECT stand_id, line FROM stands",
            [](void* out, int, char** values, char**) {
                *static_cast<std::string*>(out) += std::string(values[0]) + "@" + values[1] + ";";
                return 0;
            },
            &lines, nullptr);
        sqlite3_close(db);
        EXPECT_EQ(lines, "A@2;B" + end + "b@3;C@5;");
    }
}

// With --skip-bad-rows a run that accepts no stand has failed all the same.
TEST_F(Reliability, ARunThatRejectsEveryRowKeepsTheEarlierFiles) {
    writeFile("stands.csv", header + "A,1,2,10,8,1000,100\nB,9,20,10,8,1000,100\n");
    writeFile("out.sqlite", "earlier");
    writeFile("estate.html", "earlier");
    InventoryOptions options = optionsFor("stands.csv", "out.sqlite");
    options.skipBadRows = true;
    options.reportFile = "estate.html";
    const Outcome o = run(options);
    EXPECT_EQ(o.status, exitUnusableData);
    EXPECT_NE(o.err.find("stands.csv: all 2 rows rejected, nothing written"), std::string::npos)
        << o.err;
    EXPECT_TRUE(readBytes("out.sqlite") == "earlier");
    EXPECT_TRUE(readBytes("estate.html") == "earlier");
}

TEST_F(Reliability, OutputPathsAreCheckedBeforeTheWork) {
    writeFile("stands.csv", header + "A,1,2,10,8,1000,100\n");
    InventoryOptions options = optionsFor("stands.csv");
    options.reportFile = "no such directory/estate.html";
    const Outcome missing = run(options);
    EXPECT_EQ(missing.status, exitFileFailure);
    EXPECT_NE(missing.err.find("cannot write \"no such directory/estate.html\""), std::string::npos)
        << missing.err;
    EXPECT_EQ(missing.err.find("stand_age"), std::string::npos) << "the rows were read first";

    // The longest name the system allows, with an earlier file of that name.
    writeFile("stands.csv", header + goodRow);
    const std::string longest = std::string(NAME_MAX - 4, 'n') + ".csv";
    writeFile(longest, "earlier");
    const Outcome written = run(optionsFor("stands.csv", longest));
    EXPECT_EQ(written.status, exitSuccess) << written.err;
    EXPECT_EQ(readBytes(longest).substr(0, 18), "scenario,stand_id,");
    EXPECT_EQ(leftOvers(), std::vector<std::string>{});
}

// A spreadsheet opening the CSV output must not run a stand id as a formula.
TEST_F(Reliability, CsvOutputShowsFormulaLikeIdsAsText) {
    const std::pair<std::string, std::string> ids[] = {
        {"=1+2", "'=1+2"}, {"@SUM(A1)", "'@SUM(A1)"}, {"+x", "'+x"},  {"-", "'-"},
        {"-5", "-5"},      {"+1.5e3", "+1.5e3"},      {"a=b", "a=b"}, {"\"=a,b\"", "\"'=a,b\""},
    };
    std::string stands = header;
    for (const auto& [id, written] : ids)
        stands += id + ",1,20,10,8,1000,100\n";
    writeFile("stands.csv", stands);
    InventoryOptions options = optionsFor("stands.csv", "out.csv");
    options.years = {0};
    ASSERT_EQ(run(options).status, 0);
    std::istringstream lines(readBytes("out.csv"));
    std::string line;
    std::getline(lines, line);
    for (const auto& [id, written] : ids) {
        ASSERT_TRUE(std::getline(lines, line));
        EXPECT_EQ(line.substr(0, written.size() + 6), "none," + written + ",") << id;
    }
}

// A huge stand id and value are shown cut in the estate report, as in the messages.
TEST_F(Reliability, HugeValuesAreCutInTheEstateReport) {
    const std::string huge(100000, 'h');
    writeFile("short.csv", header + goodRow + "B,9,20,10,8,1000,100\n");
    writeFile("huge.csv", header + goodRow + huge + "," + huge + ",20,10,8,1000,100\n");
    for (const char* stands : {"short.csv", "huge.csv"}) {
        InventoryOptions options = optionsFor(stands, std::string(stands) + ".sqlite");
        options.skipBadRows = true;
        options.reportFile = std::string(stands) + ".html";
        const Outcome o = run(options);
        ASSERT_EQ(o.status, exitSuccess) << o.err;
    }
    EXPECT_LT(readBytes("huge.csv.html").size(), readBytes("short.csv.html").size() + 400);
}

struct SqliteCase {
    const char* name;
    const char* sql;  // makes stands.db
    int status;
    const char* message;
    // What is done to the file after: cut it to its first page, damage its second
    // page, damage its header after the first 16 bytes, or leave a journal beside it.
    enum { none, truncate, damage, header, journal } after = none;
};

TEST_F(Reliability, SqliteFailuresSayWhatTheyAre) {
    const char* stands =
        "CREATE TABLE stands (stand_id, species, stand_age, average_diameter, average_height, "
        "stand_density, stand_volume);"
        "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < 500) "
        "INSERT INTO stands SELECT 's' || x, 1, 20, 10, 8, 1000, 100 FROM c;";
    const SqliteCase cases[] = {
        {"no table stands", "CREATE TABLE other (x);", 3,
         "stands.db: is a SQLite database without a table \"stands\""},
        {"a view over a missing table", "CREATE VIEW stands AS SELECT * FROM gone;", 3,
         "stands.db: the table \"stands\" cannot be read (no such table: main.gone)"},
        {"cut short", stands, 1, "cannot read \"stands.db\": is damaged", SqliteCase::truncate},
        {"a damaged page", stands, 1, "cannot read \"stands.db\": is damaged", SqliteCase::damage},
        {"a hot journal", stands, 1, "(a hot journal)", SqliteCase::journal},
        {"a damaged header", stands, 1, "cannot read \"stands.db\": is not a SQLite database",
         SqliteCase::header},
        {"a BLOB id",
         "CREATE TABLE stands (stand_id, species, stand_age, average_diameter, average_height, "
         "stand_density, stand_volume); INSERT INTO stands VALUES (x'00ff', 1, 20, 10, 8, "
         "1000, 100);",
         3, "stands.db:1: stand_id: is a BLOB, not text"},
        {"an id that is not UTF-8",
         "CREATE TABLE stands (stand_id, species, stand_age, average_diameter, average_height, "
         "stand_density, stand_volume); INSERT INTO stands VALUES (CAST(x'41ff' AS TEXT), 1, "
         "20, 10, 8, 1000, 100);",
         3, "stands.db:1: stand_id: is not UTF-8 text"},
        {"a column named rowid",
         "CREATE TABLE stands (rowid, stand_id, species, stand_age, average_diameter, "
         "average_height, stand_density, stand_volume);"
         "INSERT INTO stands VALUES (99, 'a', 1, 20, 10, 8, 1000, 100);"
         "INSERT INTO stands VALUES (98, 'b', 1, 2, 10, 8, 1000, 100);",
         3, "stands.db:2: stand_age: age 2 is outside"},
    };
    for (const SqliteCase& c : cases) {
        std::filesystem::remove("stands.db");
        sqlite3* db = nullptr;
        sqlite3_open("stands.db", &db);
        ASSERT_EQ(sqlite3_exec(db, c.sql, nullptr, nullptr, nullptr), SQLITE_OK) << c.name;
        sqlite3_close(db);
        if (c.after == SqliteCase::truncate) std::filesystem::resize_file("stands.db", 4096);
        if (c.after == SqliteCase::damage || c.after == SqliteCase::header) {
            std::fstream file("stands.db", std::ios::in | std::ios::out | std::ios::binary);
            file.seekp(c.after == SqliteCase::damage ? 4096 : 16);
            file << std::string(c.after == SqliteCase::damage ? 4096 : 84, '\x55');
        }
        if (c.after == SqliteCase::journal) writeFile("stands.db-journal", std::string(512, 'j'));
        const Outcome o = run(optionsFor("stands.db"));
        EXPECT_EQ(o.status, c.status) << c.name << ": " << o.err;
        EXPECT_NE(o.err.find(c.message), std::string::npos) << c.name << ": " << o.err;
        std::filesystem::remove("stands.db-journal");
    }
}

TEST_F(Reliability, ALockedDatabaseIsWaitedForThenRefused) {
    sqlite3* db = nullptr;
    sqlite3_open("stands.db", &db);
    sqlite3_exec(db, "CREATE TABLE stands (x); BEGIN EXCLUSIVE; INSERT INTO stands VALUES (1);",
                 nullptr, nullptr, nullptr);
    try {
        SourceTuning shortWait;
        shortWait.busyMilliseconds = 100;
        openStandSource("stands.db", InputEncoding::utf8, shortWait);
        ADD_FAILURE() << "a locked database was read";
    } catch (const InventoryInputError& e) {
        EXPECT_EQ(e.kind(), InventoryInputError::unreadable);
        EXPECT_NE(std::string(e.what()).find("is locked by another program"), std::string::npos)
            << e.what();
    }
    sqlite3_close(db);
}

// A stream whose every write fails, as standard output on a full disk.
struct FailingBuffer : std::streambuf {
    int overflow(int) override { return traits_type::eof(); }
};

// Every output is checked before the work, and all are put in place together or none.
TEST_F(Reliability, OutputsArePutInPlaceTogetherOrNotAtAll) {
    struct Case {
        const char* name;
        const char* directory;  // made where an output is named
        bool failingStdout;
        const char* message;
    };
    const Case cases[] = {
        {"a report that is a directory", "estate.html", false,
         "cannot write \"estate.html\": is a directory"},
        {"an output that is a directory", "out.sqlite", false,
         "cannot write \"out.sqlite\": is a directory"},
        {"standard output that cannot be written", nullptr, true, "the standard output"},
    };
    for (const Case& c : cases) {
        std::filesystem::remove_all("out.sqlite");
        std::filesystem::remove_all("estate.html");
        writeFile("stands.csv", header + goodRow + "B,1,2,10,8,1000,100\n");
        writeFile("out.sqlite", "earlier");
        writeFile("estate.html", "earlier");
        if (c.directory) {
            std::filesystem::remove(c.directory);
            std::filesystem::create_directory(c.directory);
        }
        InventoryOptions options = optionsFor("stands.csv", "out.sqlite");
        options.reportFile = "estate.html";
        options.skipBadRows = true;
        FailingBuffer failing;
        std::ostream failingOut(&failing);
        std::ostringstream out, err;
        InventoryRun record;
        const int status = runInventory(options, c.failingStdout ? failingOut : out, err, record);
        EXPECT_EQ(status, exitFileFailure) << c.name << ": " << err.str();
        EXPECT_NE(err.str().find(c.message), std::string::npos) << c.name << ": " << err.str();
        if (c.directory) {
            EXPECT_EQ(err.str().find("stand_age"), std::string::npos) << c.name << ": read first";
        }
        for (const char* file : {"out.sqlite", "estate.html"}) {
            if (c.directory && std::string(file) == c.directory) continue;
            EXPECT_TRUE(readBytes(file) == "earlier") << c.name << ": " << file;
        }
        EXPECT_EQ(leftOvers(), std::vector<std::string>{}) << c.name;
    }
}

// A rename that fails after others were done undoes them: every earlier file is back.
TEST_F(Reliability, AFailedRenameUndoesTheRenamesBeforeIt) {
    for (const bool firstExisted : {true, false}) {
        std::filesystem::remove_all("b.txt");
        std::filesystem::remove("a.txt");
        if (firstExisted) writeFile("a.txt", "earlier a");
        {
            AtomicFile a("a.txt"), b("b.txt");
            a.write("new a");
            b.write("new b");
            std::filesystem::create_directory("b.txt");  // made after b was checked
            OutputSet set;
            set.add(a);
            set.add(b);
            EXPECT_THROW(set.commit(), OutputFileError);
        }
        if (firstExisted) {
            EXPECT_EQ(readBytes("a.txt"), "earlier a");
        } else {
            EXPECT_FALSE(std::filesystem::exists("a.txt"));
        }
        EXPECT_EQ(leftOvers(), std::vector<std::string>{}) << firstExisted;
    }
}

// Every text from a treatments table that may reach an output is checked as a stand id
// is; a value a message quotes is cut.
TEST_F(Reliability, TreatmentTextsAreCheckedLikeStandIds) {
    struct Case {
        const char* name;
        const char* scenario;  // SQL
        const char* standId;   // SQL
        const char* action;    // SQL
        const char* column;
        std::string reason;
    };
    const Case cases[] = {
        {"a NUL byte in a scenario", "CAST(x'410042' AS TEXT)", "'A'", "'thin'", "scenario",
         "holds a NUL byte"},
        {"a scenario that is not UTF-8", "CAST(x'41ff' AS TEXT)", "'A'", "'thin'", "scenario",
         "is not UTF-8 text"},
        {"a BLOB scenario", "x'41'", "'A'", "'thin'", "scenario", "is a BLOB, not text"},
        {"a NUL byte in a stand id", "'s'", "CAST(x'410042' AS TEXT)", "'thin'", "stand_id",
         "holds a NUL byte"},
        {"a huge action", "'s'", "'A'", "hex(zeroblob(5000))", "action",
         "\"" + std::string(80, '0') + "...\" is not thin or clearcut"},
    };
    for (const Case& c : cases) {
        std::filesystem::remove("treatments.db");
        sqlite3* db = nullptr;
        sqlite3_open("treatments.db", &db);
        const std::string sql =
            "CREATE TABLE treatments (scenario, stand_id, year, action, remove_trees);"
            "INSERT INTO treatments VALUES (" +
            std::string(c.scenario) + ", " + c.standId + ", 10, " + c.action + ", 30);";
        ASSERT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK) << c.name;
        sqlite3_close(db);
        const TreatmentSchedule schedule = readTreatments("treatments.db", InputEncoding::utf8);
        ASSERT_EQ(schedule.rejections.size(), 1u) << c.name;
        EXPECT_EQ(schedule.rejections[0].column, c.column) << c.name;
        EXPECT_EQ(schedule.rejections[0].message, c.reason) << c.name;
        EXPECT_EQ(schedule.scenarios.size(), 1u) << c.name;
    }
}

// Every rejected row of every file is in `rejected` with its file, and the screen counts
// stands and treatment rows apart.
TEST_F(Reliability, RejectedHoldsTheRowsOfEveryFile) {
    writeFile("stands.csv", header + goodRow + "B,1,2,10,8,1000,100\nC,1,20,10,8,1000,100\n");
    writeFile("treatments.csv",
              "scenario,stand_id,year,action,remove_trees\ns,A,10,thin,30\ns,A,10,cut,30\n"
              "s,,10,thin,300\n");
    InventoryOptions options = optionsFor("stands.csv", "out.sqlite");
    options.treatmentsFile = "treatments.csv";
    options.skipBadRows = true;
    const Outcome o = run(options);
    ASSERT_EQ(o.status, exitSuccess) << o.err;
    EXPECT_EQ(testing::query("out.sqlite", "SELECT file, line, \"column\" FROM rejected"),
              (std::vector<std::string>{"treatments.csv|3|action", "treatments.csv|4|remove_trees",
                                        "stands.csv|3|stand_age"}));
    EXPECT_NE(o.out.find("2 stands accepted, 1 rejected, 2 treatment rows rejected"),
              std::string::npos)
        << o.out;
}

// Each file's rejections are listed as its first 20 and a count of the others.
TEST_F(Reliability, EachFilesRejectionsAreListedAsTheFirst20AndACount) {
    std::string stands = header, treatments = "scenario,year,action,remove_trees\n",
                products = "item,value\n";
    for (int i = 0; i < 25; ++i) {
        stands += "s" + std::to_string(i) + ",1,2,10,8,1000,100\n";
        treatments += "t,10,cut,30\n";
        products += "nothing" + std::to_string(i) + ",1\n";
    }
    writeFile("stands.csv", stands + goodRow);
    writeFile("treatments.csv", treatments);
    writeFile("products.csv", products);
    struct Case {
        const char* name;
        bool products;
        std::vector<std::string> counts;  // what stderr must hold
    };
    const Case cases[] = {
        {"stands and treatments",
         false,
         {"treatments.csv: 5 more rejected rows", "stands.csv: 5 more rejected rows"}},
        {"products", true, {"products.csv: 5 more rejected rows"}},
    };
    for (const Case& c : cases) {
        InventoryOptions options = optionsFor("stands.csv", "out.csv");
        options.treatmentsFile = "treatments.csv";
        if (c.products) options.productsFile = "products.csv";
        const Outcome o = run(options);
        EXPECT_EQ(o.status, exitUnusableData) << c.name;
        for (const std::string& count : c.counts)
            EXPECT_NE(o.err.find(count), std::string::npos) << c.name << ": " << o.err;
        // The listed rows and counts, the closing message, and for the stands the note
        // that without an area column every stand counts as 1 ha.
        const auto lines = std::count(o.err.begin(), o.err.end(), '\n');
        const long areaNote = o.err.find("no area column") != std::string::npos ? 1 : 0;
        EXPECT_EQ(lines, 21 * static_cast<long>(c.counts.size()) + 1 + areaNote)
            << c.name << ": " << o.err;
    }
}

// The temporary files of a run killed outright are removed by a later run over the same
// target once they are a day old, unless a process still holds them.
TEST_F(Reliability, StaleTemporaryFilesOfAKilledRunAreRemoved) {
    writeFile("stands.csv", header + goodRow);
    const auto daysAgo = [](const char* name, int days) {
        writeFile(name, "left");
        std::filesystem::last_write_time(
            name, std::filesystem::file_time_type::clock::now() - std::chrono::hours(24 * days));
    };
    daysAgo(".out.csv.Ab12Cd", 2);      // old: removed
    daysAgo(".out.csv.Ab12Cd-old", 2);  // with it
    daysAgo(".out.csv.Ef34Gh", 0);      // recent: kept
    daysAgo(".out.csv.Ij56Kl", 2);      // held by a process: kept
    daysAgo(".other.csv.Mn78Op", 2);    // another target's: kept
    const int held = ::open(".out.csv.Ij56Kl", O_RDONLY);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);
    ASSERT_EQ(run(optionsFor("stands.csv", "out.csv")).status, exitSuccess);
    ::close(held);
    EXPECT_EQ(leftOvers().size(), 3u);
    for (const char* kept : {".out.csv.Ef34Gh", ".out.csv.Ij56Kl", ".other.csv.Mn78Op"})
        EXPECT_TRUE(std::filesystem::exists(kept)) << kept;
}

// A huge value in any input file is cut in the messages.
TEST_F(Reliability, HugeValuesOfEveryFileAreCutInMessages) {
    const std::string huge(1000000, 'x');
    writeFile("stands.csv", header + goodRow);
    const std::pair<const char*, std::string> cases[] = {
        {"products", "item,value\n" + huge + ",1\nsawnwood," + huge + "\n"},
        {"prices", "item,value,species\nrough_timber,1," + huge + "\n" + huge + ",1,\n"},
        {"species map", "code,species\n1," + huge + "\n"},
        {"treatments", "scenario,year,action,method,remove_trees\ns,10,thin," + huge + ",30\n"},
    };
    for (const auto& [name, content] : cases) {
        writeFile("input.csv", content);
        InventoryOptions options = optionsFor("stands.csv", "out.csv");
        const std::string_view file = name;
        if (file == "products") options.productsFile = "input.csv";
        if (file == "prices") options.pricesFile = "input.csv";
        if (file == "species map") options.input.speciesMap = "input.csv";
        if (file == "treatments") options.treatmentsFile = "input.csv";
        const Outcome o = run(options);
        EXPECT_NE(o.status, exitSuccess) << name;
        EXPECT_LT(o.err.size(), 1500u) << name << ": " << o.err.substr(0, 300);
        EXPECT_NE(o.err.find(std::string(80, 'x') + "..."), std::string::npos) << name;
    }
}

// A stop requested while the finished file is flushed keeps the earlier file.
TEST_F(Reliability, AStopBeforeTheRenameKeepsTheEarlierFile) {
    writeFile("target.txt", "earlier");
    {
        AtomicFile file("target.txt");
        file.write("new");
        file.sync();
        requestStop(SIGTERM);
        EXPECT_THROW(file.commit(), RunStopped);
        clearStopRequest();
    }
    EXPECT_EQ(readBytes("target.txt"), "earlier");
    EXPECT_EQ(leftOvers(), std::vector<std::string>{});
}

// The bytes flushed on their own thread while more come, and the file then put in place
// or abandoned whole.
TEST_F(Reliability, AFileFlushedWhileWrittenIsWholeOrNotThere) {
    std::string expected;
    for (int i = 0; i < 300; ++i)
        expected += std::string(999, static_cast<char>('a' + i % 26)) + "\n";
    for (const bool keep : {true, false}) {
        writeFile("target.txt", "earlier");
        {
            AtomicFile file("target.txt", 4096);
            for (std::size_t at = 0; at < expected.size(); at += 1000)
                file.write(std::string_view(expected).substr(at, 1000));
            if (keep) file.commit();
        }
        EXPECT_EQ(readBytes("target.txt"), keep ? expected : "earlier");
        EXPECT_EQ(leftOvers(), std::vector<std::string>{});
    }
}

}  // namespace
}  // namespace arbora::inventory_reliability_test
