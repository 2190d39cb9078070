#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "estate/estate_report.h"
#include "management/treatments.h"

// The harvest plan's estate page: one self-contained HTML page for the forest owner and
// the planning office: the removed volume per period within the allowable cut and the
// even-flow band, the standing volume and the carbon against the untreated baseline, the
// NPV-carbon frontier, the constraints with their shadow prices in words, and the
// regimes chosen.
namespace arbora {

struct PlanReportPeriod {
    std::int32_t start = 0, end = 0;            // listed years
    double removed = 0, baselineRemoved = 0;    // m3 a year over the period
    double standing = 0, baselineStanding = 0;  // m3 at the end
    double carbon = 0, baselineCarbon = 0;      // t C in the forest and the products, at the end
};

struct PlanReportConstraint {
    std::string name;         // the programme's row, e.g. "even_flow_1_2_min"
    std::int32_t period = 0;  // the (later) period; 0 for none
    std::int32_t year = 0;    // a carbon floor's or the ending volume's year
    double value = 0, bound = 0, slack = 0, shadowPrice = 0;
    std::string unit;  // "m3/yr", "m3" or "t C"
};

// A regime as the plan uses it: the stands whose largest share it is, and its
// treatments as the regimes file gives them (for the regime without "@start").
struct PlanReportRegime {
    std::string name;
    std::int64_t stands = 0;
    double area = 0;  // ha
    std::vector<Treatment> treatments;
};

struct PlanReportData {
    std::string input, startedUtc, version;
    std::string objective;  // "npv", "carbon" or "volume"
    std::string solver, solverStatus;
    double objectiveValue = 0;
    std::int64_t stands = 0, splitStands = 0;
    double area = 0;  // ha
    std::vector<PlanReportPeriod> periods{};
    std::optional<double> harvestMax{}, harvestMin{};  // m3 a year
    std::optional<double> evenFlow{}, carbonFloor{};   // percent
    std::vector<PlanReportConstraint> constraints{};
    std::vector<std::pair<double, double>> frontier{};  // carbon (t C), NPV: each step solved
    std::vector<PlanReportRegime> regimes{};
    // The stands with a polygon (their ids and outlines; the values are not used), and
    // each one's regime, by its place in `regimes`.
    std::optional<EstateMap> map{};
    std::vector<std::size_t> mapRegimes{};
};

// The page. chartJs is the charting library's source text.
std::string planReportHtml(const PlanReportData& data, ReportLanguage language,
                           std::string_view chartJs);

// The words of a language that are empty, by position; none when it is complete.
std::vector<std::size_t> missingPlanWords(ReportLanguage language);

}  // namespace arbora
