#include "commands/report_commands.h"

#include <array>

#include "biomass/biomass.h"
#include "growth/growth_and_yield.h"
#include "growth/normal_stand.h"
#include "volume/merchantable_volume.h"
#include "volume/site_index.h"
#include "volume/standard_volume.h"

namespace arbora {

std::span<const ReportCommand> reportCommands() {
    static constexpr std::array commands = {
        ReportCommand{"normal-yield-table", "&Normal stand yield table", writeNormalYieldTable},
        ReportCommand{"site-index-table", "&Site index table", writeSiteIndexTable},
        ReportCommand{"standard-volume-table", "&Standard volume table", writeStandardVolumeTable},
        ReportCommand{"merchantable-volume-table", "&Merchantable volume table",
                      writeMerchantableVolumeTable},
        ReportCommand{"biomass-table", "&Biomass table", writeBiomassTable},
        ReportCommand{"growth-and-yield", "&Growth and yield", runGrowthAndYield},
        ReportCommand{"biomass-and-carbon", "&Biomass and carbon", runBiomassAndCarbon},
    };
    return commands;
}

}  // namespace arbora
