// The runner's plan command: options read with CLI11, the run in plan_run.cpp.

#include "plan_command.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <iostream>
#include <map>
#include <thread>
#include <variant>

#include "command_main.h"
#include "end_by_signal.h"
#include "gis/geopackage_output.h"
#include "inventory/projection.h"
#include "inventory/projection_output.h"
#include "run/inventory_run.h"
#include "run/plan_run.h"

namespace arbora::plan_command {
namespace {

constexpr const char* description =
    "Finds the best harvest plan for the whole forest: every stand is projected under\n"
    "every regime of the regimes file it suits (and under none, no treatment), and a\n"
    "linear programme (COIN-OR Clp; Cbc with --whole-stands) chooses the share of each\n"
    "stand's area under each regime so that the objective is as high as it can be within\n"
    "the constraints asked for. Periods are the intervals between consecutive --years.\n"
    "STANDS is read as by the inventory command.\n\n"
    "Exit status: 0 on success, 1 when a file cannot be read or written, 2 for a usage\n"
    "error, 3 when the inventory, the regimes or the prices have rows that cannot be\n"
    "used, 4 when the constraints cannot all be met (the message names each one and its\n"
    "shortfall; nothing is written).";

constexpr const char* usageText =
    "usage: arbora-report plan STANDS --regimes FILE [--years LIST] [--starts LIST]\n"
    "                    [--prices FILE] [--products FILE] [--objective npv|carbon|volume]\n"
    "                    [--even-flow PCT] [--harvest-max M3_PER_YEAR]\n"
    "                    [--harvest-min M3_PER_YEAR] [--ending-volume PCT]\n"
    "                    [--carbon-floor PCT] [--whole-stands] [--time-limit S]\n"
    "                    [--frontier N] [--output FILE] [--treatments-out FILE]\n"
    "                    [--report FILE.html] [--lang en|zh]\n"
    "                    [--jobs N] [--skip-bad-rows] [--encoding utf-8|gbk] [--layer NAME]\n"
    "                    [--columns COLUMN=NAME,...] [--species-map FILE] [--area-unit ha|mu]\n";

// The objectives by their names on the command line.
const std::map<std::string, arbora::PlanObjective> objectives = {
    {"npv", arbora::PlanObjective::npv},
    {"carbon", arbora::PlanObjective::carbon},
    {"volume", arbora::PlanObjective::volume},
};

// An option that holds a number when given.
void addLimit(CLI::App& app, const char* name, const char* value, std::optional<double>& into,
              const char* help) {
    app.add_option_function<double>(
           name, [&into](double v) { into = v; }, help)
        ->check(CLI::NonNegativeNumber)
        ->type_name(value);
}

}  // namespace

void setup(CLI::App& app, Options& options) {
    app.name("arbora-report plan");
    app.description(description);
    app.get_formatter()->column_width(30);
    PlanOptions& plan = options.plan;
    app.add_option("STANDS", plan.standsFile,
                   "The inventory: a CSV file, a SQLite database or a GIS layer")
        ->required();
    app.add_option("--regimes", plan.regimesFile,
                   "The regimes offered to the stands: the treatments file's format with a "
                   "column regime in place of scenario and no stand_id")
        ->required()
        ->type_name("FILE");
    app.add_option("--years", options.years,
                   "Listed years from each stand's age; the periods lie between them "
                   "(default 0:50:5, ten periods of five years)")
        ->type_name("LIST");
    app.add_option("--starts", options.starts,
                   "Each regime is also offered held back to each of these years, as "
                   "REGIME@YEAR (default 0)")
        ->type_name("LIST");
    app.add_option("--prices", options.prices,
                   "Prices, costs and the discount rate (CSV item,value[,species]); needed "
                   "for the npv objective and --frontier")
        ->type_name("FILE");
    app.add_option("--products", options.products,
                   "Wood products routing and half-lives (CSV item,value)")
        ->type_name("FILE");
    app.add_option("--objective", options.objective,
                   "What the plan maximises: npv (NPV plus the discounted liquidation value "
                   "at the last year; the default), carbon (forest and product carbon at the "
                   "last year) or volume (total removed)")
        ->check(CLI::IsMember({"npv", "carbon", "volume"}))
        ->type_name("npv|carbon|volume");
    addLimit(app, "--even-flow", "PCT", plan.targets.evenFlow,
             "Each period's removed volume a year within PCT percent of the period before");
    addLimit(app, "--harvest-max", "M3_PER_YEAR", plan.targets.harvestMax,
             "Removed volume at most M3_PER_YEAR in every period (the allowable cut)");
    addLimit(app, "--harvest-min", "M3_PER_YEAR", plan.targets.harvestMin,
             "Removed volume at least M3_PER_YEAR in every period");
    addLimit(app, "--ending-volume", "PCT", plan.targets.endingVolume,
             "Standing volume at the last year at least PCT percent of that at year 0");
    addLimit(app, "--carbon-floor", "PCT", plan.targets.carbonFloor,
             "Forest and product carbon at every listed year at least PCT percent of the "
             "untreated baseline's");
    app.add_flag("--whole-stands", plan.wholeStands,
                 "Each stand under one regime (a mixed-integer programme, COIN-OR Cbc)");
    app.add_option("--time-limit", plan.timeLimit,
                   "Seconds the whole-stands search may take (default 60); the gap is reported")
        ->check(CLI::PositiveNumber)
        ->type_name("S");
    app.add_option("--frontier", plan.frontier,
                   "Solve N times with the npv objective, the carbon at the last year stepped "
                   "from the best NPV plan's to the most a plan can hold: the trade-off table")
        ->check(CLI::Range(1u, 1000u))
        ->type_name("N");
    app.add_option("--output", options.output,
                   "Write the plan to FILE.sqlite or .db: tables regime_options, plan, "
                   "plan_periods, plan_constraints, frontier, stands and run; or to "
                   "FILE.gpkg (stands with polygons): the tables and the layer stand_results "
                   "with each stand's regime (of the largest share) and regime_share")
        ->type_name("FILE");
    app.add_option("--treatments-out", options.treatmentsOut,
                   "Write the plan as a treatments file (CSV, scenario plan) for the inventory "
                   "command; a split stand takes its largest share's regime")
        ->type_name("FILE");
    app.add_option("--report", options.report,
                   "Write the plan's estate page to FILE.html: removed volume per period with "
                   "the allowable cut and the even-flow band, standing volume and carbon "
                   "against the baseline, the frontier, the constraints with their shadow "
                   "prices in words and the regimes")
        ->type_name("FILE.html");
    app.add_option("--lang", options.language, "The estate page's language: en (default) or zh")
        ->check(CLI::IsMember({"en", "zh"}))
        ->type_name("en|zh");
    app.add_option("--jobs", options.jobs,
                   "Project with N threads (default: the machine's cores); the output is the "
                   "same with any number")
        ->check(CLI::Range(1u, 1024u))
        ->type_name("N");
    app.add_flag("--skip-bad-rows", plan.skipBadRows,
                 "Plan the usable stands even when others are rejected");
    app.add_option("--encoding", options.input.encoding,
                   "The CSV files' encoding: utf-8 (default) or gbk")
        ->check(CLI::IsMember({"utf-8", "gbk"}));
    app.add_option("--layer", options.input.layer, "The layer of a GIS file")
        ->each([&options](const std::string&) { options.input.layerGiven = true; })
        ->type_name("NAME");
    app.add_option("--columns", options.input.columns,
                   "The input's names of stand columns, e.g. stand_id=XBH")
        ->type_name("COLUMN=NAME,...");
    app.add_option("--species-map", options.input.speciesMap, "A CSV file code,species")
        ->type_name("FILE");
    app.add_option("--area-unit", options.input.areaUnit,
                   "The area column's unit: ha (default) or mu")
        ->check(CLI::IsMember({"ha", "mu"}));
}

namespace {

int usageError(const std::string& message) {
    std::cerr << "arbora-report plan: " << message << "\n" << usageText;
    return exitUsage;
}

// The run's options from the command line's, or the usage error that stops the command.
std::variant<PlanOptions, int> runOptions(const Options& given) {
    PlanOptions options = given.plan;
    options.targets.objective = objectives.at(given.objective);
    const YearsList yearList = parseYearsList(given.years);
    if (!yearList.problem.empty()) return usageError("--years " + yearList.problem);
    options.years = yearList.offsets;
    const YearsList startList = parseYearsList(given.starts);
    if (!startList.problem.empty()) return usageError("--starts " + startList.problem);
    options.starts = startList.offsets;
    if (!given.output.empty()) {
        if (outputKindOf(given.output) != OutputKind::sqlite && !isGeoPackageName(given.output)) {
            return usageError("--output \"" + given.output +
                              "\": the plan is written to SQLite or a GeoPackage: the name "
                              "must end in .sqlite, .db or .gpkg");
        }
        options.outputFile = given.output;
    }
    if (!given.treatmentsOut.empty()) options.treatmentsOut = given.treatmentsOut;
    if (!given.report.empty()) {
        const std::string extension = lowerExtension(given.report);
        if (extension != ".html" && extension != ".htm") {
            return usageError("--report \"" + given.report + "\": the file name must end in .html");
        }
        options.reportFile = given.report;
    }
    options.reportLanguage =
        given.language == "zh" ? ReportLanguage::chinese : ReportLanguage::english;
    if (!given.products.empty()) options.productsFile = given.products;
    if (!given.prices.empty()) options.pricesFile = given.prices;
    options.jobs = given.jobs;
    if (const auto problem = readInputOptions(given.input, options.encoding, options.input))
        return usageError(*problem);
    return options;
}

}  // namespace

int run(const Options& given) {
    const auto options = runOptions(given);
    if (const int* status = std::get_if<int>(&options)) return *status;
    int stoppedBySignal = 0;
    const int status =
        runPlan(std::get<PlanOptions>(options), std::cout, std::cerr, &stoppedBySignal);
    if (stoppedBySignal != 0) endBySignal(stoppedBySignal);
    return status;
}

}  // namespace arbora::plan_command

int planMain(int argc, char** argv) {
    namespace command = arbora::plan_command;
    CLI::App app;
    command::Options options;
    command::setup(app, options);
    return arbora::parseAndRun(
        argc, argv, app, [&options] { return command::run(options); }, command::usageError);
}
