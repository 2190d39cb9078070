#pragma once

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "estate/estate_report.h"
#include "gis/stand_input.h"
#include "inventory/stand_sources.h"
#include "planning/plan_model.h"

// The plan command: every stand projected under every regime it is offered, and the
// linear programme that chooses each stand's regimes within the constraints.
namespace arbora {

struct PlanOptions {
    std::string standsFile{};
    std::string regimesFile{};
    std::vector<std::int32_t> years{0, 5, 10, 15, 20, 25, 30, 35, 40, 45, 50};
    std::vector<std::int32_t> starts{0};  // years each regime is also held back to
    std::optional<std::string> productsFile{};
    std::optional<std::string> pricesFile{};
    PlanTargets targets{};
    bool wholeStands = false;                    // each stand one regime (a MIP)
    double timeLimit = 60;                       // seconds, for whole stands
    std::size_t frontier = 0;                    // steps of the NPV-carbon trade-off, 0 for none
    std::optional<std::string> outputFile{};     // SQLite
    std::optional<std::string> treatmentsOut{};  // the plan as a treatments file (CSV)
    std::optional<std::string> reportFile{};     // the plan's estate page (HTML)
    ReportLanguage reportLanguage = ReportLanguage::english;
    bool skipBadRows = false;
    InputEncoding encoding = InputEncoding::utf8;
    InputChoices input{};
    std::size_t jobs = 1;  // threads projecting; the output is the same with any
};

// Runs the command: the plan to out; errors and rejections to err. Returns the exit
// status: 4 when the constraints cannot all be met (nothing is written then). A run
// stopped by Ctrl-C, a hang-up or a termination request changes no file, returns 1 and
// sets *stoppedBySignal to the signal, for the caller to end by it.
int runPlan(const PlanOptions& options, std::ostream& out, std::ostream& err,
            int* stoppedBySignal = nullptr);

}  // namespace arbora
