#include "report/report_commands.h"

#include <array>

#include "volume/site_index.h"
#include "volume/standard_volume.h"

namespace arbora {

std::span<const ReportCommand> reportCommands() {
    static constexpr std::array commands = {
        ReportCommand{"site-index-table", "&Site index table", writeSiteIndexTable},
        ReportCommand{"standard-volume-table", "&Standard volume table",
                      writeStandardVolumeTable},
    };
    return commands;
}

}  // namespace arbora
