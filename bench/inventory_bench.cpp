// Times the inventory command on generated inventories projected over "0:50:10" (six
// rows a stand) to CSV and to SQLite, against two floors: a minimal C-style program
// inserting the same rows into SQLite, and the sqlite3 shell importing them; and the
// runner's seven single-stand reports in one process against /bin/true.
//   build-bench/inventory_bench [--benchmark_filter=Csv] [--benchmark_repetitions=5]
//
// Each inventory run goes in a child process of its own, so that its peak memory
// (ru_maxrss) is its own: counters rows_per_s (wall), rows_per_cpu_s (user + system)
// and peak_MiB. The benchmark's time is the run's wall time.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <random>
#include <sstream>
#include <vector>

#include "commands/report_commands.h"
#include "inventory/number_text.h"
#include "inventory/projection.h"
#include "run/inventory_run.h"

namespace {

namespace fs = std::filesystem;
using arbora::InventoryStand;
using arbora::ProjectionRow;

constexpr const char* yearsList = "0:50:10";

// A temporary folder for the inventories and outputs, removed at the end.
const fs::path& workFolder() {
    static const fs::path folder = [] {
        std::string pattern = (fs::temp_directory_path() / "arbora-bench-XXXXXX").string();
        return fs::path(::mkdtemp(pattern.data()));
    }();
    static const bool removedAtExit = std::atexit([] {
                                          std::error_code ignored;
                                          fs::remove_all(workFolder(), ignored);
                                      }) == 0;
    (void)removedAtExit;
    return folder;
}

// The generated stands: the four species, ages 15 to 64, plausible sizes.
std::vector<InventoryStand> generatedStands(std::int64_t count) {
    std::vector<InventoryStand> stands;
    std::mt19937 random(20261208);
    const auto between = [&](double low, double high) {
        return std::uniform_real_distribution<double>(low, high)(random);
    };
    for (std::int64_t i = 0; i < count; ++i) {
        InventoryStand s;
        s.standId = "S" + std::to_string(i);
        s.species = static_cast<std::int32_t>(1 + i % 4);
        s.siteClass = static_cast<std::int32_t>(1 + i % 3);
        s.standAge = 15 + static_cast<std::int32_t>(between(0, 50));
        s.averageDiameter = between(8, 30);
        s.averageHeight = between(6, 20);
        s.standDensity = static_cast<std::int32_t>(between(400, 3000));
        s.standVolume = between(50, 400);
        s.area = between(0.5, 30);
        stands.push_back(std::move(s));
    }
    return stands;
}

// The inventory of `count` stands as a CSV file, written once; the numbers in full, so
// that the file reads back to generatedStands exactly.
fs::path inventoryFile(std::int64_t count) {
    const fs::path file = workFolder() / ("stands-" + std::to_string(count) + ".csv");
    if (fs::exists(file)) return file;
    std::ofstream out(file);
    out << "stand_id,species,site_class,stand_age,average_diameter,average_height,"
           "stand_density,stand_volume,area\n";
    for (const InventoryStand& s : generatedStands(count)) {
        out << s.standId << "," << s.species << "," << *s.siteClass << "," << s.standAge << ","
            << arbora::shortestText(s.averageDiameter) << ","
            << arbora::shortestText(s.averageHeight) << "," << s.standDensity << ","
            << arbora::shortestText(s.standVolume) << "," << arbora::shortestText(s.area) << "\n";
    }
    return file;
}

// What a child process measured around its work.
struct Measured {
    double wallSeconds = 0;
    double cpuSeconds = 0;  // user + system
    double peakMiB = 0;     // the child's ru_maxrss, from its start (a copy of this process)
    bool succeeded = false;
};

double seconds(const timeval& t) {
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) * 1e-6;
}

// Runs `prepare` then `work` in a child process and measures `work` alone.
Measured measureInChild(const std::function<void()>& prepare, const std::function<bool()>& work) {
    int pipeEnds[2];
    if (::pipe(pipeEnds) != 0) return {};
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(pipeEnds[0]);
        prepare();
        rusage before{}, after{};
        ::getrusage(RUSAGE_SELF, &before);
        const auto start = std::chrono::steady_clock::now();
        Measured m;
        m.succeeded = work();
        m.wallSeconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        ::getrusage(RUSAGE_SELF, &after);
        m.cpuSeconds = seconds(after.ru_utime) + seconds(after.ru_stime) -
                       seconds(before.ru_utime) - seconds(before.ru_stime);
        m.peakMiB = static_cast<double>(after.ru_maxrss) / 1024;  // kilobytes on Linux
        const bool written = ::write(pipeEnds[1], &m, sizeof m) == sizeof m;
        ::_exit(written ? 0 : 1);
    }
    ::close(pipeEnds[1]);
    Measured m;
    if (child < 0 || ::read(pipeEnds[0], &m, sizeof m) != sizeof m) m = {};
    ::close(pipeEnds[0]);
    if (child > 0) ::waitpid(child, nullptr, 0);
    return m;
}

// One run of the inventory command, its screen and errors dropped.
bool inventorySucceeds(const arbora::InventoryOptions& options) {
    std::ostringstream out, err;
    arbora::InventoryRun run;
    return arbora::runInventory(options, out, err, run) == arbora::exitSuccess;
}

// Runs the measurement once per iteration and reports the rates over all of them.
void report(benchmark::State& state, std::int64_t rows, const std::function<void()>& prepare,
            const std::function<bool()>& work) {
    double wall = 0, cpu = 0, peak = 0;
    for (auto _ : state) {
        const Measured m = measureInChild(prepare, work);
        if (!m.succeeded) {
            state.SkipWithError("the run failed");
            return;
        }
        state.SetIterationTime(m.wallSeconds);
        wall += m.wallSeconds;
        cpu += m.cpuSeconds;
        peak = std::max(peak, m.peakMiB);
    }
    const double done = static_cast<double>(rows) * static_cast<double>(state.iterations());
    state.counters["rows_per_s"] = done / wall;
    state.counters["rows_per_cpu_s"] = done / cpu;
    state.counters["peak_MiB"] = peak;
}

// The inventory command from `stands` stands to the output, with `jobs` threads.
void inventoryRun(benchmark::State& state, const char* extension) {
    const std::int64_t stands = state.range(0);
    const std::int64_t jobs = state.range(1);
    arbora::InventoryOptions options;
    options.jobs = static_cast<std::size_t>(jobs);
    options.standsFile = inventoryFile(stands).string();
    options.years = arbora::parseYearsList(yearsList).offsets;
    options.outputFile = (workFolder() / ("projection" + std::string(extension))).string();
    const auto rows = stands * static_cast<std::int64_t>(options.years.size());
    // The output of the run before is removed first: freeing a gigabyte of page cache
    // is the file system's cost of replacing a file, not the command's.
    report(
        state, rows, [&] { ::unlink(options.outputFile->c_str()); },
        [&] { return inventorySucceeds(options); });
}

// Ten scenarios (the baseline and nine thinnings) to CSV: the rows in flight stay within
// their budget whatever the scenarios, years and jobs, so peak_MiB stays under 300 MiB
// for 2,000 stands over "0:1000:1" and for 100,000 stands over "0:50:10" at 64 jobs.
void InventoryTenScenarios(benchmark::State& state) {
    const std::int64_t stands = state.range(0);
    const std::int64_t lastYear = state.range(1), step = state.range(2);
    arbora::InventoryOptions options;
    options.jobs = static_cast<std::size_t>(state.range(3));
    options.standsFile = inventoryFile(stands).string();
    options.years =
        arbora::parseYearsList("0:" + std::to_string(lastYear) + ":" + std::to_string(step))
            .offsets;
    const fs::path treatments = workFolder() / "nine-thinnings.csv";
    std::ofstream(treatments) << "scenario,year,action,remove_trees\n"
                              << "t1,10,thin,10\nt2,10,thin,20\nt3,10,thin,30\n"
                              << "t4,20,thin,10\nt5,20,thin,20\nt6,20,thin,30\n"
                              << "t7,30,thin,10\nt8,30,thin,20\nt9,30,thin,30\n";
    options.treatmentsFile = treatments.string();
    options.outputFile = (workFolder() / "scenarios.csv").string();
    const auto rows = stands * 10 * static_cast<std::int64_t>(options.years.size());
    report(
        state, rows, [&] { ::unlink(options.outputFile->c_str()); },
        [&] { return inventorySucceeds(options); });
}

// A dense list of years with scenarios: 10 stands over "1:10000:1", felled and replanted
// at 60 and thinned at 30. The products carbon of each total is looked up by year, so
// the time grows with the years listed, not with their square (aim: under 2 s).
void InventoryDenseYears(benchmark::State& state) {
    // Chinese pine: its curves hold over ten thousand years untreated (the other species'
    // leave them before, and their stands would be rejected).
    const fs::path stands = workFolder() / "ten-pines.csv";
    std::ofstream file(stands);
    file << "stand_id,species,stand_age,average_diameter,average_height,stand_density,"
            "stand_volume\n";
    for (int i = 0; i < 10; ++i)
        file << "p" << i << ",1," << 20 + 5 * i << ",12,9," << 2000 - 100 * i << ",120\n";
    file.close();
    arbora::InventoryOptions options;
    options.standsFile = stands.string();
    options.years = arbora::parseYearsList("1:10000:1").offsets;
    const fs::path treatments = workFolder() / "rotation.csv";
    std::ofstream(treatments) << "scenario,age,action,remove_trees,regenerate\n"
                              << "rotation,30,thin,30,\nrotation,60,clearcut,,same\n";
    options.treatmentsFile = treatments.string();
    const auto rows = 10 * 2 * static_cast<std::int64_t>(options.years.size());
    report(
        state, rows, [] {}, [&] { return inventorySucceeds(options); });
}

void InventoryToCsv(benchmark::State& state) {
    inventoryRun(state, ".csv");
}
void InventoryToSqlite(benchmark::State& state) {
    inventoryRun(state, ".sqlite");
}

// A minimal C-style program writing the same projection rows to SQLite: the settings,
// table and primary key of the runner's projection table, one transaction, one
// prepared statement, then the file made durable as the runner makes it. The rows are
// worked out before the clock starts, so this is the floor of the writing alone.
bool insertRows(const std::vector<InventoryStand>& stands, const std::vector<ProjectionRow>& rows,
                std::size_t rowsPerStand, const std::string& file) {
    ::unlink(file.c_str());
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(file.c_str(), &db,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                        nullptr) != SQLITE_OK) {
        return false;
    }
    const char* schema =
        "PRAGMA journal_mode = OFF; PRAGMA synchronous = OFF; PRAGMA locking_mode = EXCLUSIVE;"
        "CREATE TABLE projection (scenario TEXT NOT NULL, stand_id TEXT NOT NULL, year INTEGER "
        "NOT NULL, age INTEGER NOT NULL, species INTEGER NOT NULL, average_diameter REAL, "
        "average_height REAL, stand_density INTEGER, stand_volume REAL, biomass_stem REAL, "
        "biomass_bark REAL, biomass_branch REAL, biomass_foliage REAL, biomass_root REAL, "
        "biomass_total REAL, carbon_stem REAL, carbon_bark REAL, carbon_branch REAL, "
        "carbon_foliage REAL, carbon_root REAL, carbon_total REAL, co2e REAL, "
        "PRIMARY KEY (scenario, stand_id, year)); BEGIN;";
    sqlite3_stmt* insert = nullptr;
    bool ok = sqlite3_exec(db, schema, nullptr, nullptr, nullptr) == SQLITE_OK &&
              sqlite3_prepare_v2(db,
                                 "INSERT INTO projection VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,"
                                 "?,?,?,?,?,?)",
                                 -1, &insert, nullptr) == SQLITE_OK;
    for (std::size_t i = 0; ok && i < rows.size(); ++i) {
        const ProjectionRow& r = rows[i];
        const std::string& id = stands[i / rowsPerStand].standId;
        sqlite3_bind_text(insert, 1, "none", 4, SQLITE_STATIC);
        sqlite3_bind_text(insert, 2, id.data(), static_cast<int>(id.size()), SQLITE_STATIC);
        sqlite3_bind_int(insert, 3, r.year);
        sqlite3_bind_int(insert, 4, r.age);
        sqlite3_bind_int(insert, 5, r.species);
        sqlite3_bind_double(insert, 6, r.averageDiameter);
        sqlite3_bind_double(insert, 7, r.averageHeight);
        sqlite3_bind_int(insert, 8, r.standDensity);
        const double stocks[] = {
            r.standVolume,     r.biomass.stem,  r.biomass.bark,   r.biomass.branch,
            r.biomass.foliage, r.biomass.root,  r.biomass.stand,  r.carbon.stem,
            r.carbon.bark,     r.carbon.branch, r.carbon.foliage, r.carbon.root,
            r.carbon.stand,    r.co2e};
        for (int k = 0; k < 14; ++k)
            sqlite3_bind_double(insert, 9 + k, stocks[k]);
        ok = sqlite3_step(insert) == SQLITE_DONE;
        sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    ok = ok && sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK;
    ok = sqlite3_close(db) == SQLITE_OK && ok;
    const int fd = ::open(file.c_str(), O_RDONLY);
    ok = ok && fd >= 0 && ::fsync(fd) == 0;
    if (fd >= 0) ::close(fd);
    return ok;
}

void SqliteMinimalInsert(benchmark::State& state) {
    const std::int64_t count = state.range(0);
    const std::vector<std::int32_t> years = arbora::parseYearsList(yearsList).offsets;
    std::vector<InventoryStand> stands;
    std::vector<ProjectionRow> rows;
    const auto prepare = [&] {
        stands = generatedStands(count);
        arbora::InventoryProjector projector;
        std::vector<ProjectionRow> ofStand;
        for (const InventoryStand& stand : stands) {
            if (projector.project(stand, years, ofStand)) std::_Exit(1);
            rows.insert(rows.end(), ofStand.begin(), ofStand.end());
        }
    };
    const std::string file = (workFolder() / "minimal.sqlite").string();
    report(state, count * static_cast<std::int64_t>(years.size()), prepare,
           [&] { return insertRows(stands, rows, years.size(), file); });
}

// The sqlite3 shell importing the CSV projection into a table of the same schema.
void SqliteShellImport(benchmark::State& state) {
    const std::int64_t count = state.range(0);
    const fs::path folder = workFolder();
    {
        arbora::InventoryOptions options;
        options.standsFile = inventoryFile(count).string();
        options.years = arbora::parseYearsList(yearsList).offsets;
        options.outputFile = (folder / "import.csv").string();
        std::ostringstream out, err;
        arbora::InventoryRun run;
        if (arbora::runInventory(options, out, err, run) != arbora::exitSuccess) {
            state.SkipWithError(err.str().c_str());
            return;
        }
    }
    std::ofstream(folder / "import.sql")
        << "PRAGMA journal_mode = OFF;\nPRAGMA synchronous = OFF;\n"
           "CREATE TABLE projection (scenario TEXT NOT NULL, stand_id TEXT NOT NULL, year "
           "INTEGER NOT NULL, age INTEGER NOT NULL, species INTEGER NOT NULL, average_diameter "
           "REAL, average_height REAL, stand_density INTEGER, stand_volume REAL, biomass_stem "
           "REAL, biomass_bark REAL, biomass_branch REAL, biomass_foliage REAL, biomass_root "
           "REAL, biomass_total REAL, carbon_stem REAL, carbon_bark REAL, carbon_branch REAL, "
           "carbon_foliage REAL, carbon_root REAL, carbon_total REAL, co2e REAL, PRIMARY KEY "
           "(scenario, stand_id, year));\n"
           ".import --csv --skip 1 import.csv projection\n";
    const std::string command =
        "cd '" + folder.string() +
        "' && rm -f imported.db && sqlite3 imported.db < import.sql > /dev/null";
    double wall = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        if (std::system(command.c_str()) != 0) state.SkipWithError("sqlite3 failed");
        const auto took = std::chrono::steady_clock::now() - start;
        state.SetIterationTime(std::chrono::duration<double>(took).count());
        wall += std::chrono::duration<double>(took).count();
    }
    state.counters["rows_per_s"] =
        static_cast<double>(count) * 6 * static_cast<double>(state.iterations()) / wall;
}

// Runs a program with its standard output to /dev/null in the work folder; the wall
// time from the fork to its end.
double runProgram(const std::vector<std::string>& arguments) {
    std::vector<char*> argv;
    for (const std::string& a : arguments)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const std::string folder = workFolder().string();
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = ::fork();
    if (child == 0) {
        const int devNull = ::open("/dev/null", O_WRONLY);
        if (devNull < 0 || ::dup2(devNull, 1) < 0 || ::chdir(folder.c_str()) != 0) ::_exit(127);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    int status = -1;
    if (child > 0) ::waitpid(child, &status, 0);
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? wall : -1;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// The runner with all seven report commands against /bin/true, run in turn so that
// both see the same load; the medians and their ratio.
void SevenReportsAgainstTrue(benchmark::State& state) {
    std::vector<std::string> reports = {ARBORA_REPORT_PATH};
    for (const arbora::ReportCommand& command : arbora::reportCommands())
        reports.emplace_back(command.name);
    const std::vector<std::string> nothing = {"/bin/true"};
    const int runs = static_cast<int>(state.range(0));
    for (auto _ : state) {
        std::vector<double> reportTimes, trueTimes;
        for (int i = 0; i < runs; ++i) {
            trueTimes.push_back(runProgram(nothing));
            reportTimes.push_back(runProgram(reports));
        }
        if (*std::min_element(reportTimes.begin(), reportTimes.end()) < 0 ||
            *std::min_element(trueTimes.begin(), trueTimes.end()) < 0) {
            state.SkipWithError("a run failed");
            return;
        }
        state.SetIterationTime(median(reportTimes));
        state.counters["reports_ms"] = 1000 * median(reportTimes);
        state.counters["true_ms"] = 1000 * median(trueTimes);
        state.counters["ratio"] = median(reportTimes) / median(trueTimes);
    }
}

// Arguments: stands, and jobs (one thread, and the build machine's two cores).
void inventorySizes(benchmark::internal::Benchmark* b) {
    b->ArgNames({"stands", "jobs"})
        ->Args({100000, 1})
        ->Args({500000, 1})
        ->Args({500000, 2})
        ->Unit(benchmark::kMillisecond)
        ->UseManualTime();
}
BENCHMARK(InventoryToCsv)->Apply(inventorySizes);
BENCHMARK(InventoryTenScenarios)
    ->ArgNames({"stands", "last_year", "step", "jobs"})
    ->Args({2000, 1000, 1, 1})
    ->Args({100000, 50, 10, 64})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime();
BENCHMARK(InventoryDenseYears)->Iterations(1)->Unit(benchmark::kMillisecond)->UseManualTime();
BENCHMARK(InventoryToSqlite)->Apply(inventorySizes);
BENCHMARK(SqliteMinimalInsert)
    ->ArgNames({"stands"})
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime();
BENCHMARK(SqliteShellImport)
    ->ArgNames({"stands"})
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime();
BENCHMARK(SevenReportsAgainstTrue)
    ->ArgNames({"runs"})
    ->Arg(36)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime();

}  // namespace

BENCHMARK_MAIN();
