#include "run/inventory_run.h"

#include <sqlite3.h>

#include <exception>
#include <memory>
#include <new>
#include <ostream>
#include <system_error>

#include "growth/normal_stand.h"
#include "inventory/number_text.h"
#include "io/stop_request.h"
#include "run/estate_page.h"
#include "run/non_finite.h"
#include "run/output_clashes.h"
#include "run/screen_lists.h"
#include "run/stand_runner.h"
#include "run/stop_signals.h"

// The inventory command as a list of stages: check the outputs against the inputs,
// read the products and prices, open the stands and the outputs, project the stands on
// the workers, check and sum them in input order, write every output, and put all of
// them in place together or none.
namespace arbora {
namespace {

// Every file the run reads, and every file it writes, named as the messages name them.
std::vector<NamedFile> inputFilesOf(const InventoryOptions& options) {
    std::vector<NamedFile> files{{"the inventory", options.standsFile}};
    const auto add = [&](const char* role, const std::optional<std::string>& path) {
        if (path) files.push_back({role, *path});
    };
    add("the treatments file", options.treatmentsFile);
    add("the products file", options.productsFile);
    add("the prices file", options.pricesFile);
    add("the species map", options.input.speciesMap);
    return files;
}

std::vector<NamedFile> outputFilesOf(const InventoryOptions& options) {
    std::vector<NamedFile> files;
    if (options.outputFile) files.push_back({"the output", *options.outputFile});
    if (options.reportFile) files.push_back({"the report", *options.reportFile});
    return files;
}

// What cannot run at all, before any file is read: an output that is an input, a list
// of years the scenarios cannot follow.
std::optional<RunEnd> usageProblem(const InventoryOptions& options) {
    if (const auto clash = outputClash(inputFilesOf(options), outputFilesOf(options))) {
        return RunEnd{exitUsage, *clash};
    }
    if (options.years.empty()) return RunEnd{exitUsage, "--years: no year listed"};
    if (options.treatmentsFile && options.years.back() > lastScenarioYear) {
        return RunEnd{exitUsage, "--years: with --treatments the years end at " +
                                     std::to_string(lastScenarioYear) +
                                     " at most: removals and wood products are followed year by "
                                     "year"};
    }
    return std::nullopt;
}

// The products and prices files' rejections: rows are listed, the first 20 of each file,
// and counted; a problem of a whole file (a column missing) is said once, in the closing
// message.
RunEnd accountingRefused(std::vector<Problem> problems, std::ostream& err) {
    std::string message;
    std::vector<Problem> rows;
    for (Problem& problem : problems) {
        if (problem.line > 0) {
            rows.push_back(std::move(problem));
        } else {
            message += (message.empty() ? "" : "; ") + problemText(problem);
        }
    }
    listProblems(rows, err);
    if (!rows.empty()) {
        message += (message.empty() ? "" : "; ") +
                   countText(static_cast<std::int64_t>(rows.size()), "row") +
                   " of the products or prices file rejected";
    }
    return {exitUnusableData, message + ", nothing written"};
}

// What the run records once the stands are open: where their areas come from.
void noteAreas(const InventoryOptions& options, const InventoryRunner& runner, InventoryRun& run,
               std::ostream& err) {
    run.areaAssumed = runner.input().areaAssumed();
    if (run.areaAssumed) {
        err << "arbora-report: " << options.standsFile << ": " << noAreaColumnNote << "\n";
    }
    run.parameters.emplace_back("area_source", areaSource(runner.input()));
}

// Why the rows read cannot be written, if they cannot: none read, an area column in the
// wrong unit, rejections without --skip-bad-rows, every row rejected.
std::optional<std::string> rowsRefused(const InventoryOptions& options,
                                       const InventoryRunner& runner, const InventoryRun& run) {
    const std::string& input = options.standsFile;
    if (runner.rows() == 0) return input + ": has a header but no stand rows";
    if (const auto problem = runner.input().areaUnitProblem()) return input + ": " + *problem;
    if (const std::int64_t rows = runner.rows(); runner.rejectedStands() == rows) {
        // No row to write: --skip-bad-rows would not help.
        return input + ": " +
               (rows == 1 ? std::string("the only row") : "all " + countText(rows, "row")) +
               " rejected, nothing written";
    }
    if (run.rejectedRows > 0 && !options.skipBadRows) {
        return rejectedRowsText(run) + ", nothing written (--skip-bad-rows writes the other rows)";
    }
    if (runner.summary().stands() == 0) {
        std::int64_t standRows = 0;
        for (const auto& [file, count] : run.rejectedByFile)
            standRows += file == input ? count : 0;
        return input + ": " +
               (standRows == 1 ? std::string("the only row")
                               : "all " + countText(standRows, "row")) +
               " rejected, nothing written";
    }
    return std::nullopt;
}

// The stands projected past the yield tables' last age, counted and said.
void noteExtrapolation(const InventoryOptions& options, const InventoryRunner& runner,
                       InventoryRun& run, std::ostream& err) {
    run.extrapolatedStands = runner.extrapolated();
    run.parameters.emplace_back("stands_beyond_yield_tables", run.extrapolatedStands);
    if (run.extrapolatedStands > 0) {
        err << "arbora-report: " << options.standsFile << ": "
            << beyondYieldTablesText(run.extrapolatedStands) << ": extrapolated\n";
    }
}

// The screen's text of a finished run: the totals, the treatments' notes, the finance.
void printRun(const InventoryOptions& options, const InventoryRun& run,
              const InventorySummary& summary, const std::vector<ComparisonRow>& comparison,
              const std::optional<Prices>& prices, std::ostream& out) {
    for (const std::string& line : summaryReportLines(options.standsFile, summary,
                                                      run.rejectedRows - run.rejectedTreatmentRows,
                                                      comparison, run.rejectedTreatmentRows))
        out << line << "\n";
    if (const std::int64_t n = run.overdueTreatments; n > 0) {
        const char* were = n == 1 ? "was" : "were";
        out << "\n  " << countText(n, "treatment") << " by age " << were
            << " overdue at year 0 (the stand already that old) and " << were
            << " carried out at year 1\n";
    }
    if (const std::int64_t n = run.emptyThinnings; n > 0) {
        out << "\n  " << countText(n, "thinning") << (n == 1 ? " was" : " were")
            << " not carried out: " << (n == 1 ? "it" : "they") << " would take no whole tree\n";
    }
    for (const std::string& line : financeReportLines(run.finance, prices))
        out << line << "\n";
}

// Completes every output, prints the run, and puts all outputs in place together: each
// file is made durable and the screen's text written first, then all are renamed. A
// total that is not a finite number refuses the run instead.
std::optional<RunEnd> writeAndCommit(const InventoryOptions& options, InventoryRun& run,
                                     InventoryRunner& runner, AtomicFile* report,
                                     const std::optional<Prices>& prices, std::ostream& out) {
    std::vector<SummaryRow> summaryRows;
    std::vector<ComparisonRow> comparison;
    runner.account(summaryRows, comparison);
    if (const auto total = nonFiniteTotal(summaryRows, run)) {
        if (ProjectionOutput* output = runner.output()) output->abandon();
        return RunEnd{exitUnusableData, options.standsFile + ": the " + *total +
                                            " is beyond the largest number, nothing written"};
    }
    InventorySummary& summary = runner.summary();
    OutputSet outputs;
    if (report) {
        report->write(estateReport(options, run, summary, summaryRows, comparison, runner.map()));
        report->sync();
        outputs.add(*report);
    }
    ProjectionOutput* output = runner.output();
    if (output) {
        output->complete(summaryRows, comparison,
                         {run.version, run.startedUtc, options.standsFile, yearsText(options.years),
                          run.parameters});
        if (AtomicFile* file = output->file()) outputs.add(*file);
    }
    printRun(options, run, summary, comparison, prices, out);
    outputs.commit(&out);
    if (output && !output->file()) output->commit();
    run.summary = std::move(summary);
    return std::nullopt;
}

// The stages from reading the products and prices to the outputs put in place. `stage`
// says what the run does, for a message when memory runs out.
std::optional<RunEnd> runStages(const InventoryOptions& options, std::ostream& out,
                                std::ostream& err, InventoryRun& run, const char*& stage) {
    stage = "reading the products and prices files";
    AccountingSetup accounting =
        readAccounting(options.productsFile, options.pricesFile, options.encoding);
    if (!accounting.problems.empty()) return accountingRefused(std::move(accounting.problems), err);
    run.parameters = runParameters(options, accounting);

    stage = "reading the treatments and opening the stands and the outputs";
    InventoryRunner runner(options, err, run, accounting.products, accounting.prices);
    if (const auto problem = runner.open())
        return RunEnd{exitStatusOf(problem->kind), problem->message};
    noteAreas(options, runner, run, err);
    // Every file to write is started before the work, so that one that cannot be
    // written is found at once.
    std::unique_ptr<AtomicFile> report;
    if (options.reportFile) report = std::make_unique<AtomicFile>(*options.reportFile);

    stage = "projecting the stands";
    runner.projectAll();
    if (options.treatmentsFile) {
        run.parameters.emplace_back("overdue_treatments", run.overdueTreatments);
        addStockingParameters(runner.schedule(), run.parameters);
    }

    stage = "writing the outputs";
    listRejections(run, err);
    runner.listAreaChecks();
    if (const auto refusal = rowsRefused(options, runner, run)) {
        if (ProjectionOutput* output = runner.output()) output->abandon();
        return RunEnd{exitUnusableData, *refusal};
    }
    noteExtrapolation(options, runner, run, err);
    return writeAndCommit(options, run, runner, report.get(), accounting.prices, out);
}

}  // namespace

int runInventory(const InventoryOptions& options, std::ostream& out, std::ostream& err,
                 InventoryRun& run) {
    // SQLite keeps no memory statistics, which nothing here reads: they cost a lock and an
    // unlock around each of its allocations. Only possible before SQLite's first use in
    // the process; later it is left as it is.
    static const int noStatistics = sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0);
    (void)noStatistics;
    run = InventoryRun{};
    run.startedUtc = utcNow();
    run.version = programVersion();
    std::optional<RunEnd> end = usageProblem(options);
    if (!end) {
        InterruptionGuard interruption;
        const char* stage = "starting";
        try {
            end = runStages(options, out, err, run, stage);
        } catch (...) {
            end = endOf(std::current_exception(), stage, run.stoppedBySignal);
        }
    }
    if (!end) return exitSuccess;
    err << "arbora-report: " << end->message << "\n";
    return end->status;
}

}  // namespace arbora
