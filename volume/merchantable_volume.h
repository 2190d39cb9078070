#pragma once

#include <cstdint>
#include <span>

#include "report/report_channel.h"
#include "settings/stand_settings.h"

namespace arbora {

// Shares, in percent of a tree's volume, of the assortments of one diameter class.
struct AssortmentRow {
    std::int32_t diameterClass;    // cm
    std::int32_t roughTimber;      // %
    std::int32_t timberMachining;  // %
    std::int32_t assortmentLog;    // %
    std::int32_t fuelWood;         // %
    std::int32_t wasteWood;        // %
};

// One assortment table: a title line ("  Out Put Class " and a GBK Roman numeral) for
// the output classes of Quercus aliena, none for the pines.
struct AssortmentTable {
    const char* classTitleLayout;  // nullptr when the species has a single table
    std::span<const AssortmentRow> rows;
};

// The assortment tables of a species, in printing order; none for Larix
// principis-ruprechtii and for a number that names no species.
std::span<const AssortmentTable> assortmentTables(std::int32_t species);

// The merchantable volume (assortment) table of the current species. Writes
// "merchantable volume table.txt".
void writeMerchantableVolumeTable(const StandSettings& settings, ReportChannel& channel);

}  // namespace arbora
