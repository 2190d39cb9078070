// Times the inventory command on a generated inventory of 100,000 stands projected over
// "0:50:10" (600,000 projection rows) to CSV and to SQLite, and the sqlite3 shell
// importing the same rows, for comparison.
//   build-bench/inventory_bench [--benchmark_repetitions=3]

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "cli/inventory_run.h"
#include "inventory/projection.h"

namespace {

constexpr int stands = 100000;

// A temporary folder with the generated inventory, made once.
const std::filesystem::path& workFolder() {
    static const std::filesystem::path folder = [] {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "arbora-bench-XXXXXX").string();
        const std::filesystem::path made = ::mkdtemp(pattern.data());
        std::ofstream out(made / "stands.csv");
        out << "stand_id,species,site_class,stand_age,average_diameter,average_height,"
               "stand_density,stand_volume,area\n";
        std::mt19937 random(20261208);
        const auto between = [&](double low, double high) {
            return std::uniform_real_distribution<double>(low, high)(random);
        };
        for (int i = 0; i < stands; ++i) {
            out << "S" << i << "," << 1 + i % 4 << "," << 1 + i % 3 << ","
                << 15 + static_cast<int>(between(0, 50)) << "," << between(8, 30) << ","
                << between(6, 20) << "," << static_cast<int>(between(400, 3000)) << ","
                << between(50, 400) << "," << between(0.5, 30) << "\n";
        }
        return made;
    }();
    return folder;
}

void runTo(benchmark::State& state, const char* output) {
    arbora::InventoryOptions options;
    options.standsFile = (workFolder() / "stands.csv").string();
    options.years = arbora::parseYearsList("0:50:10").offsets;
    options.outputFile = (workFolder() / output).string();
    for (auto _ : state) {
        std::ostringstream out, err;
        arbora::InventoryRun run;
        if (arbora::runInventory(options, out, err, run) != 0)
            state.SkipWithError(err.str().c_str());
    }
    state.counters["rows/s"] =
        benchmark::Counter(static_cast<double>(stands) * options.years.size() * state.iterations(),
                           benchmark::Counter::kIsRate);
}

void InventoryToCsv(benchmark::State& state) {
    runTo(state, "projection.csv");
}
void InventoryToSqlite(benchmark::State& state) {
    runTo(state, "projection.sqlite");
}

// The sqlite3 shell importing the CSV projection into a table of the same schema.
void SqliteShellImport(benchmark::State& state) {
    const std::filesystem::path folder = workFolder();
    if (!std::filesystem::exists(folder / "projection.csv")) {
        std::ostringstream out, err;
        arbora::InventoryRun run;
        arbora::InventoryOptions options;
        options.standsFile = (folder / "stands.csv").string();
        options.years = arbora::parseYearsList("0:50:10").offsets;
        options.outputFile = (folder / "projection.csv").string();
        arbora::runInventory(options, out, err, run);
    }
    std::ofstream(folder / "import.sql")
        << "PRAGMA journal_mode = OFF;\nPRAGMA synchronous = OFF;\n"
           "CREATE TABLE projection (stand_id TEXT NOT NULL, year INTEGER NOT NULL, age "
           "INTEGER NOT NULL, average_diameter REAL, average_height REAL, stand_density "
           "INTEGER, stand_volume REAL, biomass_stem REAL, biomass_bark REAL, biomass_branch "
           "REAL, biomass_foliage REAL, biomass_root REAL, biomass_total REAL, carbon_stem "
           "REAL, carbon_bark REAL, carbon_branch REAL, carbon_foliage REAL, carbon_root "
           "REAL, carbon_total REAL, co2e REAL, PRIMARY KEY (stand_id, year));\n"
           ".import --csv --skip 1 projection.csv projection\n";
    const std::string command =
        "cd '" + folder.string() + "' && rm -f imported.db && sqlite3 imported.db < import.sql";
    for (auto _ : state) {
        if (std::system(command.c_str()) != 0) state.SkipWithError("sqlite3 failed");
    }
    state.counters["rows/s"] = benchmark::Counter(
        static_cast<double>(stands) * 6 * state.iterations(), benchmark::Counter::kIsRate);
}

BENCHMARK(InventoryToCsv)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(InventoryToSqlite)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(SqliteShellImport)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
