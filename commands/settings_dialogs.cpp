#include "commands/settings_dialogs.h"

#include <variant>

#include "report/editing.h"
#include "settings/field_reading.h"

namespace arbora {
namespace {

struct EditedValue {
    int id;
    std::string_view label;
    std::variant<std::int32_t DialogCopies::*, double DialogCopies::*> copy;
};

constexpr EditedValue treeSpeciesValues[] = {
    {treeSpeciesField, "Tree species", &DialogCopies::species},
};

constexpr EditedValue standConditionValues[] = {
    {siteClassField, "Site class", &DialogCopies::siteClass},
    {standAgeField, "Stand age", &DialogCopies::standAge},
    {simulatingAgeField, "Simulating age", &DialogCopies::simulatingAge},
    {standDensityField, "Stand density", &DialogCopies::standDensity},
    {averageDiameterField, "Average diameter", &DialogCopies::averageDiameter},
    {averageHeightField, "Average height", &DialogCopies::averageHeight},
    {standVolumeField, "Stand volume", &DialogCopies::standVolume},
};

std::string shownText(std::int32_t value) {
    return editInteger(value, 5);
}
std::string shownText(double value) {
    return editFixed(value, 6, 1);
}

template <std::size_t n>
std::vector<FieldText> fieldsOf(const EditedValue (&values)[n], const DialogCopies& copies) {
    std::vector<FieldText> fields;
    for (const auto& value : values) {
        std::visit(
            [&](auto member) {
                fields.push_back({value.id, value.label, shownText(copies.*member)});
            },
            value.copy);
    }
    return fields;
}

// Reads every field into a scratch copy; the caller's copies change only if all read.
template <std::size_t n>
std::optional<FieldRejection> readAll(const EditedValue (&values)[n], const FieldTextSource& textOf,
                                      DialogCopies& copies) {
    DialogCopies scratch = copies;
    for (const auto& value : values) {
        std::optional<FieldRejection> rejection;
        std::visit(
            [&](auto member) {
                const std::string shown = shownText(copies.*member);
                const std::string text = textOf(value.id);
                const bool tooWide = shown.find_first_not_of('*') == std::string::npos;
                if (tooWide && text == shown) return;  // the field was left as shown
                const FieldReading reading = readField(text, scratch.*member);
                if (reading.outcome == FieldReading::failed) {
                    rejection = FieldRejection{value.id, value.label, reading.problem};
                }
            },
            value.copy);
        if (rejection) return rejection;
    }
    copies = scratch;
    return std::nullopt;
}

}  // namespace

std::string FieldRejection::message() const {
    return std::string(label) + ": the text " + problem + ".";
}

std::vector<FieldText> treeSpeciesFields(const DialogCopies& copies) {
    return fieldsOf(treeSpeciesValues, copies);
}

std::vector<FieldText> standConditionFields(const DialogCopies& copies) {
    return fieldsOf(standConditionValues, copies);
}

std::optional<FieldRejection> acceptTreeSpecies(const FieldTextSource& textOf, DialogCopies& copies,
                                                StandSettings& settings) {
    if (auto rejection = readAll(treeSpeciesValues, textOf, copies)) return rejection;
    settings.species = copies.species;
    return std::nullopt;
}

std::optional<FieldRejection> acceptStandCondition(const FieldTextSource& textOf,
                                                   DialogCopies& copies, StandSettings& settings) {
    if (auto rejection = readAll(standConditionValues, textOf, copies)) return rejection;
    settings.siteClass = copies.siteClass;
    settings.standAge = copies.standAge;
    settings.averageDiameter = copies.averageDiameter;
    settings.averageHeight = copies.averageHeight;
    settings.standDensity = copies.standDensity;
    settings.standVolume = copies.standVolume;
    settings.simulatingAge = copies.simulatingAge;
    return std::nullopt;
}

}  // namespace arbora
