// The runner's inventory command: options read with CLI11, the run itself in the core.

#include "inventory_command.h"

#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <iostream>
#include <thread>
#include <variant>

#include "command_main.h"
#include "end_by_signal.h"
#include "gis/geopackage_output.h"
#include "inventory/projection.h"
#include "inventory/projection_output.h"
#include "run/inventory_run.h"

namespace arbora::inventory_command {
namespace {

constexpr const char* description =
    "Projects every stand of a forest inventory over a list of years with the growth,\n"
    "biomass and carbon models of the simulations, and prints the totals per year and\n"
    "species. STANDS is a CSV file with a header row, a SQLite database with a table\n"
    "\"stands\", or a GIS layer (GeoPackage, shapefile, GeoJSON, ...). Columns, by name in\n"
    "any order (also under their Chinese or survey pinyin names, or as --columns names\n"
    "them): stand_id, species (1 to 4, the Latin or the Chinese name), site_class\n"
    "(optional), stand_age, average_diameter (cm), average_height (m), stand_density\n"
    "(trees/ha), stand_volume (m3/ha), area (ha, optional: a polygon layer with a\n"
    "coordinate system gives each stand its polygon's ground area, otherwise 1 when absent,\n"
    "which the run says), output_class (optional, 1 to 3: the assortment table of Quercus\n"
    "aliena). A unit in brackets after a name is allowed when it is the column's:\n"
    "平均胸径(cm), 面积（公顷）, stand_volume [m3/ha].\n\n"
    "Exit status: 0 on success, 1 when a file cannot be read or written, 2 for a usage\n"
    "error, 3 when the inventory has rows or columns that cannot be used (without\n"
    "--skip-bad-rows nothing is written then).";

constexpr const char* usageText =
    "usage: arbora-report inventory STANDS [--years LIST] [--output FILE] [--treatments FILE]\n"
    "                         [--products FILE] [--prices FILE] [--jobs N] [--skip-bad-rows]\n"
    "                         [--bom]\n"
    "                         [--encoding utf-8|gbk] [--report FILE.html] [--lang en|zh]\n"
    "                         [--layer NAME] [--columns COLUMN=NAME,...] [--species-map FILE]\n"
    "                         [--area-unit ha|mu]\n";

}  // namespace

void setup(CLI::App& app, Options& options) {
    app.name("arbora-report inventory");
    app.footer(description);  // after the usage and the options
    app.get_formatter()->column_width(30);
    app.add_option("STANDS", options.stands,
                   "The inventory: a CSV file, a SQLite database or a GIS layer")
        ->required();
    app.add_option("--years", options.years,
                   "Years from each stand's age: numbers and start:stop:step ranges, "
                   "e.g. 0,5,10:50:10 (default 0:50:10)")
        ->type_name("LIST");
    app.add_option("--output", options.output,
                   "Write the projection to FILE: .sqlite or .db (tables stands, projection, "
                   "summary, comparison, rejected, run, and with --treatments removals and "
                   "products, with --prices finance), .csv (the projection table) or .gpkg (a "
                   "GeoPackage "
                   "with the same tables and the layer stand_results: each stand's polygon with "
                   "its volume_yK, carbon_yK and co2e_yK per hectare; needs a GIS layer)")
        ->type_name("FILE");
    app.add_option("--treatments", options.treatments,
                   "Project the scenarios of FILE besides the untreated baseline \"none\": "
                   "thinnings and clear-fellings per stand (CSV, or SQLite with a table "
                   "\"treatments\")")
        ->type_name("FILE");
    app.add_option("--products", options.products,
                   "Wood products routing and half-lives from FILE (CSV item,value), instead "
                   "of the defaults")
        ->type_name("FILE");
    app.add_option("--prices", options.prices,
                   "Prices, costs and the discount rate from FILE (CSV item,value[,species]): "
                   "writes the finance of each scenario")
        ->type_name("FILE");
    app.add_option("--jobs", options.jobs,
                   "Project with N threads, 1 to 1024, at most the machine's cores (default: all "
                   "of them); the output is the same with any number")
        ->type_name("N");
    app.add_flag("--bom", options.bom,
                 "Start a .csv output with the UTF-8 byte-order mark, so that Excel on "
                 "Windows reads its Chinese text right");
    app.add_flag("--skip-bad-rows", options.skipBadRows,
                 "Write the usable rows even when others are rejected, and exit with 0 "
                 "(3 when no row is usable)");
    app.add_option("--encoding", options.input.encoding,
                   "The CSV file's encoding: utf-8 (default) or gbk; gbk also for a "
                   "shapefile's .dbf (without it, its .cpg file says)")
        ->check(CLI::IsMember({"utf-8", "gbk"}));
    // Reading GIS layers and survey tables.
    app.add_option("--layer", options.input.layer,
                   "The layer of a GIS file (default: \"stands\", or the only layer)")
        ->each([&options](const std::string&) { options.input.layerGiven = true; })
        ->type_name("NAME");
    app.add_option("--columns", options.input.columns,
                   "The input's names of stand columns, e.g. stand_id=XBH,species=YOU_SHI_SZ")
        ->type_name("COLUMN=NAME,...");
    app.add_option("--species-map", options.input.speciesMap,
                   "A CSV file code,species: the survey's species codes or names and the "
                   "species (1 to 4, Latin or Chinese name) each stands for")
        ->type_name("FILE");
    app.add_option("--area-unit", options.input.areaUnit,
                   "The area column's unit: ha (default) or mu (1/15 ha)")
        ->check(CLI::IsMember({"ha", "mu"}));
    app.add_option("--report", options.report,
                   "Write the estate report to FILE.html: one self-contained page with key "
                   "figures, charts, the totals and the rejected rows")
        ->type_name("FILE.html");
    app.add_option("--lang", options.language, "The estate report's language: en (default) or zh")
        ->check(CLI::IsMember({"en", "zh"}));
}

namespace {

int usageError(const std::string& message) {
    std::cerr << "arbora-report inventory: " << message << "\n" << usageText;
    return exitUsage;
}

// The run's options from the command line's, or the usage error that stops the command.
std::variant<InventoryOptions, int> runOptions(const Options& given) {
    InventoryOptions options;
    options.standsFile = given.stands;
    if (!given.treatments.empty()) options.treatmentsFile = given.treatments;
    if (!given.products.empty()) options.productsFile = given.products;
    if (!given.prices.empty()) options.pricesFile = given.prices;
    const YearsList list = parseYearsList(given.years);
    if (!list.problem.empty()) return usageError("--years " + list.problem);
    options.years = list.offsets;
    const std::string& output = given.output;
    if (!output.empty()) {
        if (outputKindOf(output) == OutputKind::none && !isGeoPackageName(output)) {
            return usageError("--output \"" + output +
                              "\": the file name must end in .sqlite, .db or .csv (or .gpkg "
                              "for a GIS layer)");
        }
        options.outputFile = output;
    }
    if (given.bom && (output.empty() || outputKindOf(output) != OutputKind::csv))
        return usageError("--bom: only for a .csv output");
    options.byteOrderMark = given.bom;
    if (!given.report.empty()) {
        const std::string extension = lowerExtension(given.report);
        if (extension != ".html" && extension != ".htm") {
            return usageError("--report \"" + given.report + "\": the file name must end in .html");
        }
        options.reportFile = given.report;
    }
    options.reportLanguage =
        given.language == "zh" ? ReportLanguage::chinese : ReportLanguage::english;
    options.skipBadRows = given.skipBadRows;
    const std::string& jobs = given.jobs;
    // Decimal digits only: "0x10" or "1e3" is a mistake, not a count.
    const bool digits = !jobs.empty() && jobs.size() <= 4 &&
                        jobs.find_first_not_of("0123456789") == std::string::npos;
    if (!digits || std::stoul(jobs) < 1 || std::stoul(jobs) > 1024) {
        return usageError("--jobs \"" + shortenedText(jobs) +
                          "\" is not a whole number from 1 to 1024");
    }
    options.jobs = std::stoul(jobs);
    options.showProgress = ::isatty(STDERR_FILENO) == 1;
    if (const auto problem = readInputOptions(given.input, options.encoding, options.input))
        return usageError(*problem);
    return options;
}

}  // namespace

int run(const Options& given) {
    auto options = runOptions(given);
    if (const int* status = std::get_if<int>(&options)) return *status;
    InventoryRun inventoryRun;
    const int status =
        runInventory(std::get<InventoryOptions>(options), std::cout, std::cerr, inventoryRun);
    if (inventoryRun.stoppedBySignal != 0) endBySignal(inventoryRun.stoppedBySignal);
    return status;
}

}  // namespace arbora::inventory_command

int inventoryMain(int argc, char** argv) {
    namespace command = arbora::inventory_command;
    CLI::App app;
    command::Options options;
    command::setup(app, options);
    return arbora::parseAndRun(
        argc, argv, app, [&options] { return command::run(options); }, command::usageError);
}
