#pragma once

#include <optional>
#include <string>
#include <variant>

#include "gis/stand_input.h"
#include "inventory/stand_columns.h"

namespace arbora {

// The options that say how to read the stands, as every command that reads them takes
// them: --encoding, --layer, --columns, --species-map and --area-unit.
struct InputOptionTexts {
    std::string encoding = "utf-8";
    bool layerGiven = false;  // --layer "" is refused as such, not taken as absent
    std::string layer;
    std::string columns;
    std::string speciesMap;
    std::string areaUnit = "ha";
};

// The texts into the run's encoding and input choices; the problem of --columns, with
// the option's name, when it cannot be read.
inline std::optional<std::string> readInputOptions(const InputOptionTexts& given,
                                                   InputEncoding& encoding, InputChoices& input) {
    encoding = given.encoding == "gbk" ? InputEncoding::gbk : InputEncoding::utf8;
    if (given.layerGiven) input.layer = given.layer;
    if (!given.columns.empty()) {
        auto overrides = parseStandColumnOverrides(given.columns);
        if (const auto* problem = std::get_if<std::string>(&overrides))
            return "--columns " + *problem;
        input.columns = std::get<StandColumnOverrides>(std::move(overrides));
    }
    if (!given.speciesMap.empty()) input.speciesMap = given.speciesMap;
    input.areaUnit = given.areaUnit == "mu" ? AreaUnit::mu : AreaUnit::hectare;
    return std::nullopt;
}

}  // namespace arbora
