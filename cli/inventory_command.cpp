// The runner's inventory command: options read with CLI11, the run itself in the core.

#include "inventory_command.h"

#include <unistd.h>

#include <CLI/CLI.hpp>
#include <csignal>
#include <cstdlib>
#include <iostream>

#include "cli/inventory_run.h"
#include "inventory/projection.h"
#include "inventory/projection_output.h"

namespace {

constexpr const char* description =
    "Projects every stand of a forest inventory over a list of years with the growth,\n"
    "biomass and carbon models of the simulations, and prints the totals per year and\n"
    "species. STANDS is a CSV file with a header row, or a SQLite database with a table\n"
    "\"stands\". Columns, by name in any order (also under their Chinese names): stand_id,\n"
    "species (1 to 4, the Latin or the Chinese name), site_class (optional), stand_age,\n"
    "average_diameter (cm), average_height (m), stand_density (trees/ha), stand_volume\n"
    "(m3/ha), area (ha, optional, 1 when absent).\n\n"
    "Exit status: 0 on success, 1 when a file cannot be read or written, 2 for a usage\n"
    "error, 3 when the inventory has rows or columns that cannot be used (without\n"
    "--skip-bad-rows nothing is written then).";

// A run stopped by a signal, its files cleaned up, ends the process by that signal, so
// that a shell stops a loop around it and a caller sees the signal (status 130 for
// Ctrl-C in a shell).
[[noreturn]] void endBySignal(int signal) {
    std::cout.flush();
    std::cerr.flush();
    std::signal(signal, SIG_DFL);
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, signal);
    ::sigprocmask(SIG_UNBLOCK, &set, nullptr);
    std::raise(signal);
    std::_Exit(128 + signal);  // not reached: the default action ends the process
}

}  // namespace

int inventoryMain(int argc, char** argv) {
    CLI::App app(description, "arbora-report inventory");
    app.get_formatter()->column_width(30);
    std::string stands;
    std::string years(arbora::defaultYearsList);
    std::string output;
    bool skipBadRows = false;
    std::string encoding = "utf-8";
    app.add_option("STANDS", stands, "The inventory: a CSV file or a SQLite database")->required();
    app.add_option("--years", years,
                   "Years from each stand's age: numbers and start:stop:step ranges, "
                   "e.g. 0,5,10:50:10 (default 0:50:10)");
    app.add_option("--output", output,
                   "Write the projection to FILE: .sqlite or .db (tables stands, projection, "
                   "summary, rejected, run) or .csv (the projection table)");
    app.add_flag("--skip-bad-rows", skipBadRows,
                 "Write the usable rows even when others are rejected, and exit with 0 "
                 "(3 when no row is usable)");
    app.add_option("--encoding", encoding, "The CSV file's encoding: utf-8 (default) or gbk")
        ->check(CLI::IsMember({"utf-8", "gbk"}));
    std::string report;
    std::string language = "en";
    app.add_option("--report", report,
                   "Write the estate report to FILE.html: one self-contained page with key "
                   "figures, charts, the totals and the rejected rows");
    app.add_option("--lang", language, "The estate report's language: en (default) or zh")
        ->check(CLI::IsMember({"en", "zh"}));

    const auto usageError = [&](const std::string& message) {
        std::cerr
            << "arbora-report inventory: " << message << "\n"
            << "usage: arbora-report inventory STANDS [--years LIST] [--output FILE] "
               "[--skip-bad-rows] [--encoding utf-8|gbk] [--report FILE.html] [--lang en|zh]\n";
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
    const arbora::YearsList list = arbora::parseYearsList(years);
    if (!list.problem.empty()) return usageError("--years " + list.problem);
    options.years = list.offsets;
    if (!output.empty()) {
        if (arbora::outputKindOf(output) == arbora::OutputKind::none) {
            return usageError("--output \"" + output +
                              "\": the file name must end in .sqlite, .db or .csv");
        }
        options.outputFile = output;
    }
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
    options.encoding = encoding == "gbk" ? arbora::InputEncoding::gbk : arbora::InputEncoding::utf8;
    options.showProgress = ::isatty(STDERR_FILENO) == 1;

    arbora::InventoryRun run;
    const int status = arbora::runInventory(options, std::cout, std::cerr, run);
    if (run.stoppedBySignal != 0) endBySignal(run.stoppedBySignal);
    return status;
}
