#include "volume/merchantable_volume.h"

#include "settings/species.h"

namespace arbora {
namespace {

constexpr AssortmentRow pinusTabulaeformisRows[] = {
    {22, 40, 39, 79, 9, 12}, {24, 37, 43, 80, 7, 13}, {26, 33, 47, 80, 7, 13},
    {28, 29, 52, 81, 5, 14}, {30, 23, 58, 81, 5, 14}, {32, 18, 63, 81, 5, 14},
    {34, 15, 68, 83, 3, 14}, {36, 13, 71, 84, 2, 14},
};

constexpr AssortmentRow pinusArmandiiRows[] = {
    {12, 64, 0, 64, 26, 10},  {14, 59, 10, 69, 21, 10}, {16, 54, 17, 71, 19, 10},
    {18, 50, 21, 71, 18, 11}, {20, 47, 24, 71, 19, 10}, {22, 44, 26, 70, 21, 9},
    {24, 37, 21, 68, 22, 10},
};

constexpr AssortmentRow quercusClassOneRows[] = {
    {10, 43, 0, 43, 48, 9},   {12, 44, 0, 44, 40, 16},  {14, 43, 3, 46, 36, 13},
    {16, 44, 6, 50, 30, 20},  {18, 38, 14, 52, 29, 19}, {20, 33, 21, 54, 28, 18},
    {22, 24, 35, 59, 25, 16}, {24, 11, 49, 60, 24, 16}, {26, 8, 53, 61, 23, 16},
};

constexpr AssortmentRow quercusClassTwoRows[] = {
    {10, 37, 0, 37, 55, 8},  {12, 37, 0, 37, 48, 15},  {14, 36, 3, 39, 45, 16},
    {16, 33, 5, 38, 44, 18}, {18, 26, 10, 36, 46, 18},
};

constexpr AssortmentRow quercusClassThreeRows[] = {
    {10, 31, 0, 31, 60, 9},  {12, 30, 0, 30, 54, 16}, {14, 30, 2, 32, 50, 18},
    {16, 23, 3, 26, 54, 20}, {18, 15, 5, 20, 61, 19},
};

// The Roman numerals are the GBK pairs A2 F1, A2 F2 and A2 F3.
constexpr AssortmentTable pinusTabulaeformisTables[] = {{nullptr, pinusTabulaeformisRows}};
constexpr AssortmentTable pinusArmandiiTables[] = {{nullptr, pinusArmandiiRows}};
constexpr AssortmentTable quercusAlienaTables[] = {
    {R"(2X, "Out Put Class )"
     "\xA2\xF1"
     R"(")",
     quercusClassOneRows},
    {R"(2X, "Out Put Class )"
     "\xA2\xF2"
     R"(")",
     quercusClassTwoRows},
    {R"(2X, "Out Put Class )"
     "\xA2\xF3"
     R"(")",
     quercusClassThreeRows},
};

void writeHeading(ReportChannel& channel, Sink sink) {
    channel.writeLine(sink, R"(2X, "Diameter", 2X, "Rough", 5X, "Timber", 4X, "Assortment",)"
                            R"( 2X, "Fuel", 4X, "Waste")");
    channel.writeLine(sink, R"(3X, "Class", 4X, "Timber", 3X, "Machining", 5X, "Log", 6X,)"
                            R"( "Wood", 4X, "Wood")");
    channel.writeListLine(sink, "-------------------------------------------------------------");
}

void writeTable(ReportChannel& channel, Sink sink, const AssortmentTable& table) {
    if (table.classTitleLayout != nullptr) channel.writeLine(sink, table.classTitleLayout);
    for (const AssortmentRow& row : table.rows) {
        channel.writeLine(sink, R"(4X, I3, 5X, I4, 6X, I4, 8X, I4, 5X, I4, 4X, I4)",
                          {row.diameterClass, row.roughTimber, row.timberMachining,
                           row.assortmentLog, row.fuelWood, row.wasteWood});
    }
}

}  // namespace

std::span<const AssortmentTable> assortmentTables(std::int32_t species) {
    switch (species) {
        case pinusTabulaeformis:
            return pinusTabulaeformisTables;
        case pinusArmandii:
            return pinusArmandiiTables;
        case quercusAliena:
            return quercusAlienaTables;
        default:
            return {};
    }
}

void writeMerchantableVolumeTable(const StandSettings& settings, ReportChannel& channel) {
    const std::int32_t species = settings.species;

    channel.openReport("merchantable volume table.txt");
    writeHeading(channel, Sink::screen);
    writeHeading(channel, Sink::file);
    // Each table goes to the screen whole, then the same lines to the file. Larix
    // principis-ruprechtii, and any number that names no species, has no table: the
    // headings alone.
    for (const AssortmentTable& table : assortmentTables(species)) {
        writeTable(channel, Sink::screen, table);
        writeTable(channel, Sink::file, table);
    }
    channel.closeReport();
}

}  // namespace arbora
