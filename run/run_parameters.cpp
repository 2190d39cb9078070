#include "run/run_parameters.h"

#include "gis/gis_module.h"
#include "growth/normal_stand.h"
#include "inventory/number_text.h"
#include "management/scenario_projection.h"
#include "run/inventory_run.h"

namespace arbora {

std::string columnName(std::string_view name) {
    std::string column;
    for (const char c : name) {
        const bool letter = (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
        if (c >= 'A' && c <= 'Z') {
            column += static_cast<char>(c - 'A' + 'a');
        } else if (letter) {
            column += c;
        } else if (!column.empty() && column.back() != '_') {
            column += '_';
        }
    }
    while (!column.empty() && column.back() == '_')
        column.pop_back();
    return column;
}

AccountingSetup readAccounting(const std::optional<std::string>& productsFile,
                               const std::optional<std::string>& pricesFile,
                               InputEncoding encoding) {
    AccountingSetup setup;
    if (productsFile) {
        auto read = readProductsFile(*productsFile, encoding);
        if (auto* problems = std::get_if<std::vector<Problem>>(&read)) {
            setup.problems = std::move(*problems);
        } else {
            setup.products = std::get<ProductsSettings>(read);
        }
    }
    if (pricesFile) {
        auto read = readPricesFile(*pricesFile, encoding);
        if (auto* problems = std::get_if<std::vector<Problem>>(&read)) {
            setup.problems.insert(setup.problems.end(), problems->begin(), problems->end());
        } else {
            setup.prices = std::get<Prices>(read);
        }
    }
    return setup;
}

std::vector<std::pair<std::string, OwnedOutputValue>> runParameters(
    const InventoryOptions& options, const AccountingSetup& accounting) {
    std::vector<std::pair<std::string, OwnedOutputValue>> parameters;
    parameters.emplace_back("treatments", options.treatmentsFile
                                              ? OwnedOutputValue{*options.treatmentsFile}
                                              : OwnedOutputValue{});
    parameters.emplace_back("quotient_below", defaultQuotients.below);
    parameters.emplace_back("quotient_above", defaultQuotients.above);
    parameters.emplace_back("quotient_systematic", defaultQuotients.systematic);
    parameters.emplace_back("regeneration_age", std::int64_t{regenerationAge});
    parameters.emplace_back("regeneration_stocking", defaultRegenerationStocking);
    parameters.emplace_back("products", options.productsFile
                                            ? OwnedOutputValue{*options.productsFile}
                                            : OwnedOutputValue{});
    for (const RunParameter& p : productsRunParameters(accounting.products))
        parameters.emplace_back(columnName(p.name), p.value);
    parameters.emplace_back(
        "prices", options.pricesFile ? OwnedOutputValue{*options.pricesFile} : OwnedOutputValue{});
    if (accounting.prices) {
        for (const RunParameter& p : financeRunParameters(*accounting.prices))
            parameters.emplace_back(columnName(p.name), p.value);
    }
    return parameters;
}

void addStockingParameters(const TreatmentSchedule& schedule,
                           std::vector<std::pair<std::string, OwnedOutputValue>>& parameters) {
    for (const Treatment& t : schedule.treatments) {
        if (!t.regenerate && !t.regenerateSame) continue;
        parameters.emplace_back(
            columnName("regeneration_stocking (treatments line " + std::to_string(t.line) +
                       ", scenario " + schedule.scenarios[t.scenario] + ")"),
            t.stocking);
    }
}

std::string areaSource(const StandInput& input) {
    if (input.areaAssumed()) return "none: every stand counts as 1 ha";
    const std::string& column = input.columns().header[static_cast<std::size_t>(StandColumn::area)];
    if (column == LayerSource::polygonAreaColumn) return "polygons";
    return "column " + column;
}

bool beyondYieldTables(const InventoryStand& stand, std::int32_t lastYear) {
    return std::int64_t{stand.standAge} + lastYear > yieldTableLastAge;
}

std::string beyondYieldTablesText(std::int64_t stands) {
    return countText(stands, "stand") + " projected beyond age " +
           std::to_string(yieldTableLastAge) + ", the yield tables' last age";
}

}  // namespace arbora
