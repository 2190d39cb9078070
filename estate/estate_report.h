#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "accounting/finance.h"
#include "accounting/wood_products.h"
#include "inventory/inventory_stand.h"
#include "inventory/projection_output.h"
#include "inventory/summary.h"
#include "management/removal_totals.h"

// The estate report: one self-contained HTML page of an inventory projection for the
// forest owner, the manager and the carbon auditor: key figures, charts, the totals per
// year and species, the scenarios against the untreated baseline, the wood products and
// the finance, the rejected rows, and how the figures are obtained.
namespace arbora {

enum class ReportLanguage { english, chinese };

// A stand on the map: its outline and its values in the untreated baseline at the last
// listed year.
struct MapStand {
    std::string id;
    // SVG path data in the map's drawing units, y downward, as outlinePath writes it: one
    // absolute "M" at the start and none after, for the page finds the stands of a path
    // by their "M".
    std::string path;
    double carbon = 0;  // t C/ha
    double volume = 0;  // m3/ha
    double area = 0;    // ha
};

// The map of a polygon layer's stands, drawn in a frame of whole drawing units (the
// longer side 1000 units).
struct EstateMap {
    std::int32_t width = 0, height = 0;
    double metresPerUnit = 0;      // on the ground; 0 when unknown: no scale bar
    bool northUp = false;          // whether up is north: a north arrow
    std::vector<MapStand> stands;  // those with a polygon, in input order
};

struct EstateReportData {
    std::string input;       // the inventory's file name
    std::string startedUtc;  // e.g. "2026-12-08T15:44:50Z"
    std::string version;
    std::vector<std::int32_t> years;
    std::int64_t accepted = 0;
    std::int64_t rejected = 0;
    double area = 0;                     // ha
    std::vector<std::string> scenarios;  // the baseline first
    std::vector<SummaryRow> summary;     // with the products carbon
    std::vector<ComparisonRow> comparison;
    std::vector<RemovalPeriod> removals;  // per scenario and listed year
    std::vector<ProductsRow> products;    // the page shows those at the listed years
    std::vector<FinanceRow> finance;      // the inventory's rows; empty without prices
    // Area (ha) at year 0 by species and age class (class k: ages 10k + 1 to 10k + 10).
    std::map<std::pair<std::int32_t, std::int32_t>, double> areaByAgeClass;
    std::optional<EstateMap> map;  // with a polygon layer
    // At most the first 100; a row of another file than `input` is named in its column.
    std::vector<Rejection> firstRejections;
    bool areaAssumed = false;             // no area: every stand counted as 1 ha
    std::int64_t extrapolatedStands = 0;  // beyond the yield tables' last age
    // Every assumption of the run by name, as the run table records it.
    std::vector<std::pair<std::string, OwnedOutputValue>> parameters;
};

// Where the page's charting library comes from (Debian's libjs-chart.js); it is read
// when a report is written and inlined, so that the page loads nothing.
constexpr std::string_view chartJsFile = "/usr/share/javascript/chart.js/chart.min.js";

// The charting library's source text, for the estate and plan pages; throws
// OutputFileError when it cannot be read.
std::string chartLibrary();

// The page. chartJs is the library's source text.
std::string estateReportHtml(const EstateReportData& data, ReportLanguage language,
                             std::string_view chartJs);

// The JSON the charts draw: the summary rows with full precision, e.g.
// [{"scenario":"none","year":0,"species":null,"stands":20,"area":241,...},...].
std::string summaryJson(const std::vector<SummaryRow>& summary);

// The words of a language that are empty, by position; none when it is complete.
std::vector<std::size_t> missingWords(ReportLanguage language);

}  // namespace arbora
