// The runner's inventory command: options read with CLI11, the run itself in the core.

#include "inventory_command.h"

#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <iostream>
#include <thread>

#include "end_by_signal.h"
#include "gis/geopackage_output.h"
#include "inventory/projection.h"
#include "inventory/projection_output.h"
#include "run/inventory_run.h"

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

int inventoryMain(int argc, char** argv) {
    CLI::App app("", "arbora-report inventory");
    app.footer(description);  // after the usage and the options
    app.get_formatter()->column_width(30);
    std::string stands;
    std::string years(arbora::defaultYearsList);
    std::string output;
    bool skipBadRows = false;
    std::string encoding = "utf-8";
    app.add_option("STANDS", stands, "The inventory: a CSV file, a SQLite database or a GIS layer")
        ->required();
    app.add_option("--years", years,
                   "Years from each stand's age: numbers and start:stop:step ranges, "
                   "e.g. 0,5,10:50:10 (default 0:50:10)");
    app.add_option("--output", output,
                   "Write the projection to FILE: .sqlite or .db (tables stands, projection, "
                   "summary, comparison, rejected, run, and with --treatments removals and "
                   "products, with --prices finance), .csv (the projection table) or .gpkg (a "
                   "GeoPackage "
                   "with the same tables and the layer stand_results: each stand's polygon with "
                   "its volume_yK, carbon_yK and co2e_yK per hectare; needs a GIS layer)");
    std::string treatments;
    app.add_option("--treatments", treatments,
                   "Project the scenarios of FILE besides the untreated baseline \"none\": "
                   "thinnings and clear-fellings per stand (CSV, or SQLite with a table "
                   "\"treatments\")");
    std::string products;
    app.add_option("--products", products,
                   "Wood products routing and half-lives from FILE (CSV item,value), instead "
                   "of the defaults");
    std::string prices;
    app.add_option("--prices", prices,
                   "Prices, costs and the discount rate from FILE (CSV item,value[,species]): "
                   "writes the finance of each scenario");
    std::string jobs = std::to_string(std::max(1u, std::thread::hardware_concurrency()));
    app.add_option("--jobs", jobs,
                   "Project with N threads, 1 to 1024, at most the machine's cores (default: all "
                   "of them); the output is the same with any number");
    bool bom = false;
    app.add_flag("--bom", bom,
                 "Start a .csv output with the UTF-8 byte-order mark, so that Excel on "
                 "Windows reads its Chinese text right");
    app.add_flag("--skip-bad-rows", skipBadRows,
                 "Write the usable rows even when others are rejected, and exit with 0 "
                 "(3 when no row is usable)");
    app.add_option("--encoding", encoding,
                   "The CSV file's encoding: utf-8 (default) or gbk; gbk also for a "
                   "shapefile's .dbf (without it, its .cpg file says)")
        ->check(CLI::IsMember({"utf-8", "gbk"}));
    // Reading GIS layers and survey tables.
    std::string layer;
    std::string columns;
    std::string speciesMap;
    std::string areaUnit = "ha";
    const CLI::Option* layerOption = app.add_option(
        "--layer", layer, "The layer of a GIS file (default: \"stands\", or the only layer)");
    app.add_option("--columns", columns,
                   "The input's names of stand columns, e.g. stand_id=XBH,species=YOU_SHI_SZ");
    app.add_option("--species-map", speciesMap,
                   "A CSV file code,species: the survey's species codes or names and the "
                   "species (1 to 4, Latin or Chinese name) each stands for");
    app.add_option("--area-unit", areaUnit, "The area column's unit: ha (default) or mu (1/15 ha)")
        ->check(CLI::IsMember({"ha", "mu"}));
    std::string report;
    std::string language = "en";
    app.add_option("--report", report,
                   "Write the estate report to FILE.html: one self-contained page with key "
                   "figures, charts, the totals and the rejected rows");
    app.add_option("--lang", language, "The estate report's language: en (default) or zh")
        ->check(CLI::IsMember({"en", "zh"}));

    const auto usageError = [&](const std::string& message) {
        std::cerr << "arbora-report inventory: " << message << "\n" << usageText;
        return int{arbora::exitUsage};
    };
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        std::cout << app.help() << std::flush;
        return std::cout ? arbora::exitSuccess : arbora::exitFileFailure;
    } catch (const CLI::ParseError& error) {
        return usageError(error.what());
    }

    arbora::InventoryOptions options;
    options.standsFile = stands;
    if (!treatments.empty()) options.treatmentsFile = treatments;
    if (!products.empty()) options.productsFile = products;
    if (!prices.empty()) options.pricesFile = prices;
    const arbora::YearsList list = arbora::parseYearsList(years);
    if (!list.problem.empty()) return usageError("--years " + list.problem);
    options.years = list.offsets;
    if (!output.empty()) {
        if (arbora::outputKindOf(output) == arbora::OutputKind::none &&
            !arbora::isGeoPackageName(output)) {
            return usageError("--output \"" + output +
                              "\": the file name must end in .sqlite, .db or .csv (or .gpkg "
                              "for a GIS layer)");
        }
        options.outputFile = output;
    }
    if (bom && (output.empty() || arbora::outputKindOf(output) != arbora::OutputKind::csv))
        return usageError("--bom: only for a .csv output");
    options.byteOrderMark = bom;
    if (!report.empty()) {
        const std::string extension = arbora::lowerExtension(report);
        if (extension != ".html" && extension != ".htm") {
            return usageError("--report \"" + report + "\": the file name must end in .html");
        }
        options.reportFile = report;
    }
    options.reportLanguage =
        language == "zh" ? arbora::ReportLanguage::chinese : arbora::ReportLanguage::english;
    options.skipBadRows = skipBadRows;
    // Decimal digits only: "0x10" or "1e3" is a mistake, not a count.
    const bool digits = !jobs.empty() && jobs.size() <= 4 &&
                        jobs.find_first_not_of("0123456789") == std::string::npos;
    if (!digits || std::stoul(jobs) < 1 || std::stoul(jobs) > 1024) {
        return usageError("--jobs \"" + arbora::shortenedText(jobs) +
                          "\" is not a whole number from 1 to 1024");
    }
    options.jobs = std::stoul(jobs);
    options.encoding = encoding == "gbk" ? arbora::InputEncoding::gbk : arbora::InputEncoding::utf8;
    options.showProgress = ::isatty(STDERR_FILENO) == 1;
    if (layerOption->count() > 0) options.input.layer = layer;  // "" is refused as such
    if (!columns.empty()) {
        auto overrides = arbora::parseStandColumnOverrides(columns);
        if (const auto* problem = std::get_if<std::string>(&overrides)) {
            return usageError("--columns " + *problem);
        }
        options.input.columns = std::get<arbora::StandColumnOverrides>(std::move(overrides));
    }
    if (!speciesMap.empty()) options.input.speciesMap = speciesMap;
    options.input.areaUnit = areaUnit == "mu" ? arbora::AreaUnit::mu : arbora::AreaUnit::hectare;

    arbora::InventoryRun run;
    const int status = arbora::runInventory(options, std::cout, std::cerr, run);
    if (run.stoppedBySignal != 0) endBySignal(run.stoppedBySignal);
    return status;
}
