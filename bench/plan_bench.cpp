// Times the plan command on the example inventory with its regimes (20 stands) and on
// 100,000 stands made of it (the example's stands again and again under new ids), each
// with the example regimes and prices, an allowable cut and an even flow of 15 percent.
//   build-bench/plan_bench [--benchmark_filter=100000]
//
// Each run goes in a child process of its own, so that its peak memory (ru_maxrss) is
// its own. Counters: projection_s and solver_s (from the run table), lp_rows,
// lp_columns and peak_MiB. The benchmark's time is the run's wall time.

#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "run/plan_run.h"

namespace {

namespace fs = std::filesystem;

const fs::path examples = fs::path(ARBORA_SOURCE_DIR) / "examples";

// The example inventory's rows repeated under new ids until `count` stands.
fs::path inventoryOf(std::int64_t count) {
    const fs::path file =
        fs::temp_directory_path() / ("arbora-plan-bench-" + std::to_string(count) + ".csv");
    std::ifstream in(examples / "stands.csv");
    std::string header, line;
    std::getline(in, header);
    std::vector<std::string> rows;
    while (std::getline(in, line))
        rows.push_back(line);
    std::ofstream out(file);
    out << header << "\n";
    for (std::int64_t i = 0; i < count; ++i) {
        const std::string& row = rows[static_cast<std::size_t>(i) % rows.size()];
        out << "S" << i << row.substr(row.find(',')) << "\n";
    }
    return file;
}

double runValue(const fs::path& database, const char* column) {
    sqlite3* db = nullptr;
    sqlite3_open_v2(database.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* statement = nullptr;
    sqlite3_prepare_v2(db, (std::string("SELECT ") + column + " FROM run").c_str(), -1, &statement,
                       nullptr);
    double value = 0;
    if (statement != nullptr && sqlite3_step(statement) == SQLITE_ROW)
        value = sqlite3_column_double(statement, 0);
    sqlite3_finalize(statement);
    sqlite3_close(db);
    return value;
}

void planRun(benchmark::State& state) {
    const std::int64_t stands = state.range(0);
    const fs::path inventory = inventoryOf(stands);
    const fs::path output = fs::temp_directory_path() / "arbora-plan-bench.sqlite";
    arbora::PlanOptions options;
    options.standsFile = inventory;
    options.regimesFile = examples / "regimes.csv";
    options.pricesFile = (examples / "prices.csv").string();
    options.outputFile = output.string();
    options.targets.harvestMax = 0.15 * static_cast<double>(stands);  // m3 a year
    options.targets.evenFlow = 15;
    options.jobs = 2;
    for (auto _ : state) {
        const auto started = std::chrono::steady_clock::now();
        const pid_t child = ::fork();
        if (child == 0) {
            std::ostringstream out, err;
            std::_Exit(arbora::runPlan(options, out, err));
        }
        int status = 0;
        struct rusage usage {};
        ::wait4(child, &status, 0, &usage);
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        state.SetIterationTime(seconds);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) state.SkipWithError("the plan failed");
        state.counters["peak_MiB"] = static_cast<double>(usage.ru_maxrss) / 1024;
    }
    state.counters["projection_s"] = runValue(output, "projection_seconds");
    state.counters["solver_s"] = runValue(output, "solver_seconds");
    state.counters["lp_rows"] = runValue(output, "lp_rows");
    state.counters["lp_columns"] = runValue(output, "lp_columns");
    fs::remove(inventory);
    fs::remove(output);
}
BENCHMARK(planRun)
    ->Arg(20)
    ->Arg(100000)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
