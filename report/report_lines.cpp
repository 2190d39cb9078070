#include "report/report_lines.h"

#include <string>

#include "settings/species.h"

namespace arbora {

void writeUnknownSpecies(ReportChannel& channel, std::int32_t species) {
    const std::string text = "Unknown tree species " + std::to_string(species) +
                             ": choose 1 to 4 in Settings, Tree species.";
    channel.writeLine(Sink::both, R"(2X, A)", {text});
}

void writeSpeciesHeading(ReportChannel& channel, std::int32_t species) {
    const std::string heading = std::string(speciesName(species)) + ":";
    channel.writeLine(Sink::both, R"(/, 2X, A)", {heading});
}

}  // namespace arbora
