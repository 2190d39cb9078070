#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "inventory/inventory_stand.h"
#include "inventory/summary.h"

// The estate report: one self-contained HTML page of an inventory projection for the
// forest owner, the manager and the carbon auditor: key figures, charts, the totals per
// year and species, the rejected rows, and how the figures are obtained.
namespace arbora {

enum class ReportLanguage { english, chinese };

struct EstateReportData {
    std::string input;       // the inventory's file name
    std::string startedUtc;  // e.g. "2026-12-08T15:44:50Z"
    std::string version;
    std::vector<std::int32_t> years;
    std::int64_t accepted = 0;
    std::int64_t rejected = 0;
    double area = 0;  // ha
    std::vector<SummaryRow> summary;
    // Area (ha) at year 0 by species and age class (class k: ages 10k + 1 to 10k + 10).
    std::map<std::pair<std::int32_t, std::int32_t>, double> areaByAgeClass;
    std::vector<Rejection> firstRejections;  // at most the first 100
};

// Where the page's charting library comes from (Debian's libjs-chart.js); it is read
// when a report is written and inlined, so that the page loads nothing.
constexpr std::string_view chartJsFile = "/usr/share/javascript/chart.js/chart.min.js";

// The page. chartJs is the library's source text.
std::string estateReportHtml(const EstateReportData& data, ReportLanguage language,
                             std::string_view chartJs);

// The JSON the charts draw: the summary rows with full precision, e.g.
// [{"year":0,"species":null,"stands":20,"area":241,...},...].
std::string summaryJson(const std::vector<SummaryRow>& summary);

}  // namespace arbora
