#include "run/screen_lists.h"

#include "inventory/number_text.h"
#include "report/layout.h"
#include "run/inventory_run.h"
#include "text/display_width.h"

namespace arbora {

std::vector<std::string> financeReportLines(const std::vector<FinanceRow>& finance,
                                            const std::optional<Prices>& prices) {
    std::vector<std::string> lines;
    if (finance.empty()) return lines;
    const auto add = [&](std::string_view layout, std::initializer_list<LayoutValue> values) {
        for (std::string& line : formatLayout(layout, values))
            lines.push_back(std::move(line));
    };
    const std::string currency = prices && !prices->currency.empty()
                                     ? prices->currency
                                     : std::string("money units of the prices file");
    const double rate =
        prices ? prices->general[static_cast<std::size_t>(PriceItem::discountRate)] : 0;
    lines.push_back("");
    lines.push_back("  Finance of the inventory (" + currency + "; NPV at the discount rate of " +
                    shortestText(rate) + " percent a year)");
    add(R"(/, 2X, "Scenario", 25X, "Revenue", 9X, "Costs", 6X, "Net cash", 11X, "NPV", 3X,)"
        R"( "Liquidation", 4X, "NPV + liq.", 4X, "Difference")",
        {});
    lines.push_back(" " + std::string(125, '-'));
    for (const FinanceRow& r : finance) {
        const std::string name = fitToColumns(r.scenario, 26);
        add(R"(2X, A, F14.2, F14.2, F14.2, F14.2, F14.2, F14.2, F14.2)",
            {name, r.revenue, r.costs, r.netCashFlow, r.npv, r.liquidationValue,
             r.npvWithLiquidation, r.npvWithLiquidationDifference.value_or(0)});
    }
    lines.push_back("");
    lines.push_back(
        "  Scenarios are compared on NPV + liquidation, the difference from none: the "
        "wood still standing at");
    lines.push_back(
        "  the last year is worth money too, so a scenario that fells more would "
        "otherwise seem worth more.");
    lines.push_back(
        "  The liquidation value is never below 0: an owner keeps trees that would "
        "sell at a loss.");
    return lines;
}

void listRejections(const InventoryRun& run, std::ostream& err) {
    for (const auto& [file, count] : run.rejectedByFile) {
        for (const Rejection& r : run.firstRejections) {
            if (r.file == file) err << rejectionLine(r) << "\n";
        }
        if (count > static_cast<std::int64_t>(rejectionsListed))
            err << file << ": "
                << countText(count - static_cast<std::int64_t>(rejectionsListed),
                             "more rejected row")
                << "\n";
    }
}

void listProblems(const std::vector<Problem>& problems, std::ostream& err) {
    std::vector<std::pair<std::string, std::int64_t>> byFile;
    for (const Problem& problem : problems) {
        if (byFile.empty() || byFile.back().first != problem.file)
            byFile.emplace_back(problem.file, 0);
        if (byFile.back().second++ < static_cast<std::int64_t>(rejectionsListed))
            err << problemText(problem) << "\n";
    }
    for (const auto& [file, count] : byFile) {
        if (count > static_cast<std::int64_t>(rejectionsListed))
            err << file << ": "
                << countText(count - static_cast<std::int64_t>(rejectionsListed),
                             "more rejected row")
                << "\n";
    }
}

std::string rejectedRowsText(const InventoryRun& run) {
    std::string text;
    for (const auto& [file, count] : run.rejectedByFile) {
        text += (text.empty() ? "" : ", ") + file + ": " + countText(count, "row") + " rejected";
    }
    return text;
}

}  // namespace arbora
