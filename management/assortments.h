#pragma once

#include <cstdint>

#include "management/removal.h"

// Removed wood sorted into assortments by the merchantable volume tables.
namespace arbora {

// The output class of a Quercus aliena stand when the inventory gives none.
constexpr std::int32_t defaultOutputClass = 1;

// Sorts `volume` (m3/ha) of trees of mean diameter `diameter` (cm) of a species. The
// diameter class is the even number 2 * floor((d + 1) / 2); above a table's largest
// class its largest row is used; below its smallest class, and for a species without a
// table, the whole volume is unsorted. A row's shares are its rough timber, timber for
// machining, fuel wood and waste wood each divided by the sum of the four, so that no
// volume is lost or invented where a stored row does not add up to 100. `outputClass`
// (1 to 3) chooses the Quercus aliena table and is ignored for the other species.
AssortmentVolumes sortIntoAssortments(std::int32_t species, std::int32_t outputClass,
                                      double diameter, double volume);

}  // namespace arbora
