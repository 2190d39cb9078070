#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "settings/stand_settings.h"

// What the two settings dialogs do with their fields, apart from showing them: the
// texts they fill in, and how OK reads the texts back and stores them. The window
// supplies the dialog itself (templates 101 "Tree species" and 102 "Stand condition").
namespace arbora {

// Field ids of the dialog templates.
enum DialogFieldId : int {
    treeSpeciesField = 1000,
    siteClassField = 1001,
    standAgeField = 1002,
    averageDiameterField = 1003,
    averageHeightField = 1004,
    standDensityField = 1005,
    standVolumeField = 1006,
    simulatingAgeField = 1007,
};

// The values the dialogs edit, kept apart from StandSettings and copied into it only
// when the forester confirms with OK. They start with the same defaults, so the two
// agree whenever no dialog is open. A value is kept here with full precision even
// though its field shows it with one decimal.
struct DialogCopies {
    std::int32_t species = 1;
    std::int32_t siteClass = 1;
    std::int32_t standAge = 20;
    std::int32_t simulatingAge = 50;
    std::int32_t standDensity = 2000;
    double averageDiameter = 12.0;
    double averageHeight = 12.0;
    double standVolume = 150.0;
};

struct FieldText {
    int id;
    std::string_view label;  // the label beside the field, e.g. "Stand age"
    std::string text;        // I5 for whole numbers, F6.1 for the others
};

// The fields of each dialog with the texts to show, in the order they are filled and
// read: for Stand condition 1001, 1002, 1007, 1005, 1003, 1004, 1006.
std::vector<FieldText> treeSpeciesFields(const DialogCopies& copies);
std::vector<FieldText> standConditionFields(const DialogCopies& copies);

// Why OK could not store: the field, by id and label, and what is wrong with its text.
struct FieldRejection {
    int id;
    std::string_view label;
    std::string problem;
    std::string message() const;  // e.g. "Stand age: \"2.5\" is not a whole number ..."
};

// The text the forester left in a field, by id.
using FieldTextSource = std::function<std::string(int id)>;

// OK: reads every field by the field reading rules, in fill order. Only when every
// field reads are the copies updated and then copied into the settings (for Stand
// condition in the order siteClass, standAge, averageDiameter, averageHeight,
// standDensity, standVolume, simulatingAge). A field still showing exactly the
// asterisks it was given for a value too wide for its layout keeps that value.
std::optional<FieldRejection> acceptTreeSpecies(const FieldTextSource& textOf, DialogCopies& copies,
                                                StandSettings& settings);
std::optional<FieldRejection> acceptStandCondition(const FieldTextSource& textOf,
                                                   DialogCopies& copies, StandSettings& settings);

}  // namespace arbora
